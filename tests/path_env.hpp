// Environment variables changed for one test: what was there (or its
// absence) comes back at the end.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

class scoped_env {
public:
    scoped_env(std::string name_, const std::string& value) : name(std::move(name_))
    {
        if (const char* old = std::getenv(name.c_str()))
            saved = old;
        ::setenv(name.c_str(), value.c_str(), 1);
    }
    ~scoped_env()
    {
        if (saved)
            ::setenv(name.c_str(), saved->c_str(), 1);
        else
            ::unsetenv(name.c_str());
    }
    scoped_env(const scoped_env&) = delete;
    scoped_env& operator=(const scoped_env&) = delete;

private:
    std::string name;
    std::optional<std::string> saved;
};

// Replaces PATH for one test, so that programs the code runs are looked for
// only where the test says.
class path_env : public scoped_env {
public:
    explicit path_env(const std::string& path) : scoped_env("PATH", path) {}
};
