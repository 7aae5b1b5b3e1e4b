// SIGINT (Ctrl+C) and SIGTERM ask the running conversion to stop at its next
// record, through the run's own stop request, so the destination is closed
// with whole statements. A second signal of either kind ends the program at
// once, as it would without this.
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
