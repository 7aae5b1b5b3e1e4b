#include "rvl_conv/rvl_stop.hpp"

#include <chrono>
#include <csignal>
#include <system_error>

namespace {

using namespace std::chrono_literals;

// Sent to the run's thread; the handler is there only so that the signal
// interrupts a blocked call instead of ending the program.
constexpr int kick_signal = SIGURG;
struct sigaction saved_kick;

extern "C" void take_kick(int) {}

} // namespace

run_watchdog::run_watchdog(const tk_thread_functor& run_, std::function<void()> unblock_)
    : run(run_), unblock(std::move(unblock_))
{
}

run_watchdog::watch::watch(run_watchdog& dog_) : dog(dog_) { dog.arm(); }

run_watchdog::watch::~watch() { dog.disarm(); }

void run_watchdog::arm()
{
    if (depth++ > 0)
        return;
    struct sigaction action{};
    action.sa_handler = take_kick;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;  // no SA_RESTART: the interrupted call fails with EINTR
    sigaction(kick_signal, &action, &saved_kick);
    ending = false;
    // Signals meant for the process (a stop signal) go to the run's thread,
    // whose blocked call they interrupt, never to the watchdog's.
    sigset_t all, before;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before);
    try {
        thread = std::thread([this, target = pthread_self()] { look(target); });
    } catch (const std::system_error&) {
        // No thread to spare (memory): a stop still ends the run at its next
        // step and a stop signal still breaks a blocked read or open.
    }
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

void run_watchdog::disarm()
{
    if (--depth > 0)
        return;
    {
        std::lock_guard<std::mutex> held(lock);
        ending = true;
    }
    woken.notify_all();
    if (thread.joinable())
        thread.join();
    sigaction(kick_signal, &saved_kick, nullptr);
}

void run_watchdog::look(pthread_t target)
{
    std::unique_lock<std::mutex> held(lock);
    while (!ending && !run.stop_requested())
        woken.wait_for(held, 100ms);
    auto next_unblock = std::chrono::steady_clock::now() + 1s;
    while (!ending) {
        pthread_kill(target, kick_signal);
        if (std::chrono::steady_clock::now() >= next_unblock) {
            held.unlock();
            unblock();
            held.lock();
            next_unblock = std::chrono::steady_clock::now() + 1s;
        }
        woken.wait_for(held, 200ms);
    }
}
