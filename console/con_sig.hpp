// SIGINT (Ctrl+C), SIGTERM and SIGHUP (the terminal or the ssh session
// closed) ask the running conversion to stop at its next record, through the
// run's own stop request, so the destination is closed with whole
// statements. A second signal of any of them ends the program at once, as it
// would without this.
//
// A stop also ends a wait the run is blocked in. The handlers do not restart
// the system calls they interrupt, so a blocked read or open (a pipe being
// copied, a FIFO without a reader) fails at once and the run, seeing the stop
// request, ends as interrupted. When the run still goes on a second after
// the stop, a watchdog thread calls `unblock`, which breaks a wait no signal
// breaks (the answer of a server that stopped answering), and interrupts the
// run's thread every 200 ms until it ends: a signal that came between two
// calls interrupted neither.
//
// SIGXFSZ is ignored meanwhile: a file over the size limit (ulimit -f) fails
// its write with EFBIG, which the run reports, instead of killing the
// program without a word.
#pragma once

#include "TK/tk_threa.hpp"

#include <functional>
#include <pthread.h>
#include <thread>

class console_stop_signals {
public:
    // run: the work that the signals ask to stop; it outlives this object.
    console_stop_signals(tk_thread_functor& run, std::function<void()> unblock);
    // Puts back the handlers that were there before.
    ~console_stop_signals();
    console_stop_signals(const console_stop_signals&) = delete;
    console_stop_signals& operator=(const console_stop_signals&) = delete;

private:
    void watch() const;

    std::function<void()> unblock;
    pthread_t run_thread;
    std::thread watchdog;
};
