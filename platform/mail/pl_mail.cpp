#include "platform/mail/pl_mail.hpp"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace platform {

namespace {

std::atomic<mail_sender> custom_sender{nullptr};

// The full path of `program` on the search path, or empty.
std::string find_on_path(const std::string& program)
{
    const char* path = std::getenv("PATH");
    std::string folders = path != nullptr ? path : "";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        const std::string folder = end > start ? folders.substr(start, end - start) : ".";
        const std::string candidate = folder + '/' + program;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

} // namespace

void set_mail_sender(mail_sender sender) { custom_sender.store(sender); }

mail_sender find_mail_sender()
{
    if (mail_sender sender = custom_sender.load())
        return sender;
    return find_on_path("xdg-email").empty() ? nullptr : &send_with_xdg_email;
}

int send_with_xdg_email(const mail_message& message)
{
    const std::string program = find_on_path("xdg-email");
    if (program.empty())
        return ENOENT;
    std::vector<std::string> args = {"xdg-email", "--utf8", "--subject", message.subject,
                                     "--body", message.body, message.recipient};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int error = ::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (error != 0)
        return error;
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return errno;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace platform
