// Runs part of a test in a forked child process: for what must not touch the
// test process itself (a lowered limit, another user) or must happen in a
// process of its own (a second program using the same settings).
#pragma once

#include <sys/wait.h>
#include <unistd.h>

// The child's exit code: what `body` answered, or -1 when it died otherwise.
template <class F>
int run_in_child(F body)
{
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(body());
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child)
        return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// In a child: gives up root, so that permission bits apply; the user
// "nobody" is 65534 on Debian. True when the process is not root after it.
inline bool drop_root()
{
    if (::geteuid() != 0)
        return true;
    return ::setgid(65534) == 0 && ::setuid(65534) == 0;
}
