// Runs a built program as a user would, in a folder of the test's own, with
// the settings store pointed into that folder, and collects its exit code,
// standard output and standard error.
#pragma once

#include "test_dir.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

struct program_result {
    int code = -1;
    std::string out;
    std::string err;
};

// `set` and `unset` change the child's environment only.
inline program_result run_program(const char* path, const test_dir& dir, const std::vector<std::string>& args,
                                  const std::vector<std::pair<std::string, std::string>>& set = {},
                                  const std::vector<std::string>& unset = {})
{
    const std::string out_file = dir.file("stdout.txt"), err_file = dir.file("stderr.txt");
    const std::string config = dir.file("config");
    const pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(dir.path().c_str()) != 0)
            ::_exit(127);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        for (const std::string& name : unset)
            ::unsetenv(name.c_str());
        for (const auto& [name, value] : set)
            ::setenv(name.c_str(), value.c_str(), 1);
        const int out = ::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> argv{const_cast<char*>(path)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(path, argv.data());
        ::_exit(127);
    }
    program_result result;
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
        result.code = WEXITSTATUS(status);
    result.out = test_dir::read(out_file);
    result.err = test_dir::read(err_file);
    return result;
}
