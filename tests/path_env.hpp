// Replaces PATH for one test, so that programs the code runs are looked for
// only where the test says.
#pragma once

#include <cstdlib>
#include <string>

class path_env {
public:
    explicit path_env(const std::string& path)
    {
        if (const char* old = std::getenv("PATH"))
            saved = old;
        ::setenv("PATH", path.c_str(), 1);
    }
    ~path_env() { ::setenv("PATH", saved.c_str(), 1); }
    path_env(const path_env&) = delete;
    path_env& operator=(const path_env&) = delete;

private:
    std::string saved;
};
