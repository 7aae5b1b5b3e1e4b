#include "console/con_sig.hpp"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <pthread.h>
#include <semaphore.h>
#include <system_error>

namespace {

// A signal handler may only touch lock-free atomics and call
// async-signal-safe functions (sem_post among them).
std::atomic<tk_thread_functor*> stop_target{nullptr};
static_assert(std::atomic<tk_thread_functor*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

// Posted by the first stop signal, and by the destructor to end the watchdog.
sem_t wake;
std::atomic<bool> ending{false};
std::atomic<bool> stop_asked{false};

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction saved[std::size(stop_signals)];
struct sigaction saved_xfsz;
// Sent by the watchdog to the run's thread, to break a blocked call that a
// stop signal missed (it came between two calls).
constexpr int kick_signal = SIGURG;
struct sigaction saved_kick;

extern "C" void ask_to_stop(int number)
{
    // The next stop signal, of whichever kind, takes its default action;
    // one that reached another thread before that ends the program too.
    struct sigaction fall_back{};
    fall_back.sa_handler = SIG_DFL;
    sigemptyset(&fall_back.sa_mask);
    for (const int each : stop_signals)
        sigaction(each, &fall_back, nullptr);
    if (stop_asked.exchange(true)) {
        raise(number);  // taken when the handler returns
        return;
    }
    if (tk_thread_functor* run = stop_target.load())
        run->request_stop();
    sem_post(&wake);
}

extern "C" void take_kick(int) {}

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
    : unblock(std::move(unblock_)), run_thread(pthread_self())
{
    stop_target.store(&run);
    ending.store(false);
    stop_asked.store(false);
    sem_init(&wake, 0, 0);
    // The watchdog never takes the signals: they go to the thread of the
    // run, whose blocked call they interrupt.
    sigset_t blocked, before;
    sigemptyset(&blocked);
    for (const int number : stop_signals)
        sigaddset(&blocked, number);
    pthread_sigmask(SIG_BLOCK, &blocked, &before);
    try {
        watchdog = std::thread([this] { watch(); });
    } catch (const std::system_error&) {
        // No thread to spare (memory): a stop still breaks blocked reads and
        // opens, only not a wait on the server.
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);

    struct sigaction action{};
    action.sa_handler = ask_to_stop;
    // A second stop signal waits until the first one's handler has put the
    // default action back. No SA_RESTART: a blocked call returns EINTR.
    action.sa_mask = blocked;
    action.sa_flags = 0;
    for (size_t i = 0; i < std::size(stop_signals); ++i)
        sigaction(stop_signals[i], &action, &saved[i]);
    action.sa_handler = take_kick;
    sigemptyset(&action.sa_mask);
    sigaction(kick_signal, &action, &saved_kick);
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &saved_xfsz);
}

console_stop_signals::~console_stop_signals()
{
    for (size_t i = 0; i < std::size(stop_signals); ++i)
        sigaction(stop_signals[i], &saved[i], nullptr);
    ending.store(true);
    sem_post(&wake);
    if (watchdog.joinable())
        watchdog.join();
    sigaction(SIGXFSZ, &saved_xfsz, nullptr);
    sigaction(kick_signal, &saved_kick, nullptr);
    stop_target.store(nullptr);
    sem_destroy(&wake);
}

void console_stop_signals::watch() const
{
    if (!wait_for_wake(nullptr) || ending.load())
        return;
    // The stop was asked: a run that does not end within a second is
    // blocked in a wait of its own, which is broken until the run ends.
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);
    deadline.tv_sec += 1;
    if (wait_for_wake(&deadline) || ending.load())
        return;
    unblock();
    do {
        pthread_kill(run_thread, kick_signal);
        deadline.tv_nsec += 200'000'000;
        if (deadline.tv_nsec >= 1'000'000'000) {
            deadline.tv_nsec -= 1'000'000'000;
            ++deadline.tv_sec;
        }
    } while (!wait_for_wake(&deadline) && !ending.load());
}
