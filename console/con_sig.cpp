#include "console/con_sig.hpp"

#include <atomic>
#include <csignal>

namespace {

// A signal handler may only touch lock-free atomics: the stop request is one.
std::atomic<tk_thread_functor*> stop_target{nullptr};
static_assert(std::atomic<tk_thread_functor*>::is_always_lock_free);
static_assert(std::atomic<bool>::is_always_lock_free);

struct sigaction saved_int;
struct sigaction saved_term;

extern "C" void ask_to_stop(int)
{
    if (tk_thread_functor* run = stop_target.load())
        run->request_stop();
}

} // namespace

console_stop_signals::console_stop_signals(tk_thread_functor& run)
{
    stop_target.store(&run);
    struct sigaction action{};
    action.sa_handler = ask_to_stop;
    sigemptyset(&action.sa_mask);
    // Reads and writes of the run go on where the signal found them; the
    // handler stays for one signal only.
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    sigaction(SIGINT, &action, &saved_int);
    sigaction(SIGTERM, &action, &saved_term);
}

console_stop_signals::~console_stop_signals()
{
    sigaction(SIGINT, &saved_int, nullptr);
    sigaction(SIGTERM, &saved_term, nullptr);
    stop_target.store(nullptr);
}
