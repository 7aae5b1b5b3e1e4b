#include "console/con_sig.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <semaphore.h>

namespace {

// A signal handler may only touch lock-free atomics and call
// async-signal-safe functions (sem_post among them).
std::atomic<tk_thread_functor*> stop_target{nullptr};
static_assert(std::atomic<tk_thread_functor*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

// Posted by the first stop signal, and by the destructor to end the watchdog.
sem_t wake;
std::atomic<bool> ending{false};

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction saved[std::size(stop_signals)];
struct sigaction saved_xfsz;

extern "C" void ask_to_stop(int)
{
    if (tk_thread_functor* run = stop_target.load())
        run->request_stop();
    sem_post(&wake);
}

// Waits for a post; false when the deadline (if any) passed first.
bool wait_for_wake(const timespec* deadline)
{
    for (;;) {
        if ((deadline ? sem_timedwait(&wake, deadline) : sem_wait(&wake)) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

} // namespace

console_stop_signals::console_stop_signals(tk_thread_functor& run, std::function<void()> unblock_)
    : unblock(std::move(unblock_))
{
    stop_target.store(&run);
    ending.store(false);
    sem_init(&wake, 0, 0);
    // The watchdog never takes the signals: they go to the thread of the
    // run, whose blocked call they interrupt.
    sigset_t blocked, before;
    sigemptyset(&blocked);
    for (const int number : stop_signals)
        sigaddset(&blocked, number);
    pthread_sigmask(SIG_BLOCK, &blocked, &before);
    watchdog = std::thread([this] { watch(); });
    pthread_sigmask(SIG_SETMASK, &before, nullptr);

    struct sigaction action{};
    action.sa_handler = ask_to_stop;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a blocked call returns EINTR. The handler stays for
    // one signal only.
    action.sa_flags = SA_RESETHAND;
    for (size_t i = 0; i < std::size(stop_signals); ++i)
        sigaction(stop_signals[i], &action, &saved[i]);
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &saved_xfsz);
}

console_stop_signals::~console_stop_signals()
{
    for (size_t i = 0; i < std::size(stop_signals); ++i)
        sigaction(stop_signals[i], &saved[i], nullptr);
    sigaction(SIGXFSZ, &saved_xfsz, nullptr);
    stop_target.store(nullptr);
    ending.store(true);
    sem_post(&wake);
    watchdog.join();
    sem_destroy(&wake);
}

void console_stop_signals::watch() const
{
    if (!wait_for_wake(nullptr) || ending.load())
        return;
    // The stop was asked: a run that does not end within a second is
    // blocked in a wait of its own.
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 1;
    if (!wait_for_wake(&deadline) && !ending.load())
        unblock();
}
