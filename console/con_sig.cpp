#include "console/con_sig.hpp"

#include <atomic>
#include <csignal>

namespace {

// A signal handler may only touch lock-free atomics and call
// async-signal-safe functions (sem_post among them).
std::atomic<tk_thread_functor*> stop_target{nullptr};
static_assert(std::atomic<tk_thread_functor*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

std::atomic<bool> stop_asked{false};

constexpr int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction saved[std::size(stop_signals)];
// A signal ignored when the program started (SIGHUP under nohup) stays
// ignored: whoever started it asked for that.
bool ignored_at_start[std::size(stop_signals)];
struct sigaction saved_xfsz;

extern "C" void ask_to_stop(int number)
{
    // The next stop signal, of whichever kind, takes its default action;
    // one that reached another thread before that ends the program too.
    struct sigaction fall_back{};
    fall_back.sa_handler = SIG_DFL;
    sigemptyset(&fall_back.sa_mask);
    for (size_t i = 0; i < std::size(stop_signals); ++i)
        if (!ignored_at_start[i])
            sigaction(stop_signals[i], &fall_back, nullptr);
    if (stop_asked.exchange(true)) {
        raise(number);  // taken when the handler returns
        return;
    }
    if (tk_thread_functor* run = stop_target.load())
        run->request_stop();
}

} // namespace

console_stop_signals::console_stop_signals(tk_thread_functor& run)
{
    stop_target.store(&run);
    stop_asked.store(false);
    sigset_t blocked;
    sigemptyset(&blocked);
    for (const int number : stop_signals)
        sigaddset(&blocked, number);
    struct sigaction action{};
    action.sa_handler = ask_to_stop;
    // A second stop signal waits until the first one's handler has put the
    // default action back. No SA_RESTART: a blocked call returns EINTR.
    action.sa_mask = blocked;
    action.sa_flags = 0;
    for (size_t i = 0; i < std::size(stop_signals); ++i) {
        sigaction(stop_signals[i], nullptr, &saved[i]);
        ignored_at_start[i] = saved[i].sa_handler == SIG_IGN;
        if (!ignored_at_start[i])
            sigaction(stop_signals[i], &action, nullptr);
    }
    struct sigaction ignore{};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGXFSZ, &ignore, &saved_xfsz);
}

console_stop_signals::~console_stop_signals()
{
    for (size_t i = 0; i < std::size(stop_signals); ++i)
        if (!ignored_at_start[i])
            sigaction(stop_signals[i], &saved[i], nullptr);
    sigaction(SIGXFSZ, &saved_xfsz, nullptr);
    stop_target.store(nullptr);
}
