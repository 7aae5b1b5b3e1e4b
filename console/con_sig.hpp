// SIGINT (Ctrl+C), SIGTERM and SIGHUP (the terminal or the ssh session
// closed) ask the running conversion to stop at its next record, through the
// run's own stop request, so the destination is closed with whole
// statements. A second signal of any of them ends the program at once, as it
// would without this.
//
// A stop also ends a wait the run is blocked in. The handlers do not restart
// the system calls they interrupt, so a blocked read or open (a pipe being
// copied, a FIFO without a reader) fails at once and the run, seeing the stop
// request, ends as interrupted; the converter's watchdog (rvl_conv/rvl_stop)
// ends the waits that no signal breaks. A signal ignored when the program
// started (SIGHUP under nohup) stays ignored.
//
// SIGXFSZ is ignored meanwhile: a file over the size limit (ulimit -f) fails
// its write with EFBIG, which the run reports, instead of killing the
// program without a word.
#pragma once

#include "TK/tk_threa.hpp"

class console_stop_signals {
public:
    // run: the work that the signals ask to stop; it outlives this object.
    explicit console_stop_signals(tk_thread_functor& run);
    // Puts back the handlers that were there before.
    ~console_stop_signals();
    console_stop_signals(const console_stop_signals&) = delete;
    console_stop_signals& operator=(const console_stop_signals&) = delete;
};
