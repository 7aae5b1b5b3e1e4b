// Points XDG_CONFIG_HOME at a fresh temporary folder for one test, so the
// settings store never touches the user's own settings.
#pragma once

#include "test_dir.hpp"

#include <cstdlib>
#include <optional>
#include <string>

class config_home {
public:
    config_home()
    {
        if (const char* old = std::getenv("XDG_CONFIG_HOME"))
            saved = old;
        ::setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    }
    ~config_home()
    {
        if (saved)
            ::setenv("XDG_CONFIG_HOME", saved->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
    }
    config_home(const config_home&) = delete;
    config_home& operator=(const config_home&) = delete;

    const std::filesystem::path& path() const { return dir.path(); }

private:
    test_dir dir;
    std::optional<std::string> saved;
};
