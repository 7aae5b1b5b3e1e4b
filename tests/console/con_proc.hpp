// MORVANTE started without waiting for it, for tests that act while it runs
// (a signal to it, a server stopped under it): its output goes to files in
// the test's folder; waiting is bounded, so a hung program fails the test
// instead of hanging it.
#pragma once

#include "test_dir.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#ifndef MORVANTE_PATH
#error MORVANTE_PATH must name the built program
#endif

// Polls until the condition holds or the bound passes; true when it held.
inline bool eventually(const std::function<bool()>& condition, std::chrono::seconds bound)
{
    const auto end = std::chrono::steady_clock::now() + bound;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class morvante_process {
public:
    // env: variables set for the program only (HOME, to give it an option
    // file of the test's own); ignored: signals the program starts with
    // ignored, as nohup starts it.
    morvante_process(const test_dir& dir, const std::vector<std::string>& args,
                     const std::vector<std::pair<std::string, std::string>>& env = {},
                     const std::vector<int>& ignored = {})
        : out_file(dir.file("stdout.txt")), err_file(dir.file("stderr.txt"))
    {
        const std::string config = dir.file("config");
        pid = ::fork();
        if (pid != 0)
            return;
        if (::chdir(dir.path().c_str()) != 0)
            ::_exit(127);
        ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
        for (const auto& [name, value] : env)
            ::setenv(name.c_str(), value.c_str(), 1);
        for (const int number : ignored)
            ::signal(number, SIG_IGN);
        ::dup2(::open(out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
        ::dup2(::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        std::vector<char*> argv{const_cast<char*>(MORVANTE_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(MORVANTE_PATH, argv.data());
        ::_exit(127);
    }
    // A program still running is killed.
    ~morvante_process()
    {
        if (!code && pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    morvante_process(const morvante_process&) = delete;
    morvante_process& operator=(const morvante_process&) = delete;

    void signal(int number) const { ::kill(pid, number); }
    pid_t id() const { return pid; }
    std::string out() const { return test_dir::read(out_file); }
    std::string err() const { return test_dir::read(err_file); }

    // The exit code once the program ended within the bound (-1 when a
    // signal ended it); nothing when it still runs.
    std::optional<int> wait(std::chrono::seconds bound)
    {
        eventually(
            [&] {
                int status = 0;
                if (code || ::waitpid(pid, &status, WNOHANG) != pid)
                    return code.has_value();
                code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
                return true;
            },
            bound);
        return code;
    }

private:
    std::string out_file;
    std::string err_file;
    pid_t pid = -1;
    std::optional<int> code;
};

// A CSV file of the given number of rows "id,name,amount", for runs long
// enough to act on while they go.
inline void write_long_csv(const std::string& path, int rows)
{
    std::string text = "id,name,amount\n";
    text.reserve(static_cast<size_t>(rows) * 32);
    for (int i = 1; i <= rows; ++i)
        text += std::to_string(i) + ",name " + std::to_string(i) + "," + std::to_string(i) + ".5\n";
    test_dir::write(path, text);
}

// The report with each count of rows a table holds ("(1,125 rows", "(at least
// 3 rows", "(an unknown number of rows") written "(# rows": what a stopped
// run had written depends on when it stopped.
inline std::string counts_hidden(const std::string& report)
{
    static const std::regex count("\\((at least [0-9][0-9,]*|an unknown number of|[0-9][0-9,]*) row");
    return std::regex_replace(report, count, "(# row");
}
