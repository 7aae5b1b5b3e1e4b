// What makes a stop end every wait of a run, in both programs. A stop
// request (a signal in MORVANTE, Cancel in the wizard) is checked by the run
// at its steps, which a run blocked in a wait never reaches. While a run is
// watched, a thread of the watchdog's own sees the request within 100 ms and
// then, until the run ends:
// - interrupts the run's thread every 200 ms with a signal whose handler
//   does nothing and restarts nothing, so a blocked read, write or open (a
//   pipe, a FIFO without a reader) fails with EINTR; one that came between
//   two calls interrupted neither, hence again;
// - a second after the request, and every second after that, calls
//   `unblock`, which ends what no signal ends (a statement the server keeps
//   waiting): a clean-up that follows a stop is bounded the same way.
#pragma once

#include "TK/tk_threa.hpp"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <pthread.h>
#include <thread>

class run_watchdog {
public:
    // run: whose stop request is watched; unblock: called on the watchdog's
    // thread. Both outlive the watchdog.
    run_watchdog(const tk_thread_functor& run, std::function<void()> unblock);
    run_watchdog(const run_watchdog&) = delete;
    run_watchdog& operator=(const run_watchdog&) = delete;

    // While one lives, the thread that made it is watched; nested ones (of
    // that thread) share the watch.
    class watch {
    public:
        explicit watch(run_watchdog& dog);
        ~watch();
        watch(const watch&) = delete;
        watch& operator=(const watch&) = delete;

    private:
        run_watchdog& dog;
    };

private:
    void arm();
    void disarm();
    void look(pthread_t target);

    const tk_thread_functor& run;
    std::function<void()> unblock;
    std::mutex lock;
    std::condition_variable woken;
    int depth = 0;
    bool ending = false;
    std::thread thread;
};
