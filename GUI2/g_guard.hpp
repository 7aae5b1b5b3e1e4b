// No exception may cross Qt's event loop: each action of the window thread
// (a button, a timer tick, a page's step) runs inside ui_guard, which reports
// what it raised and lets the wizard stay where it is.
#pragma once

#include <functional>

// Ends the wizard program with its code once an internal error has been
// reported. Not a standard exception, so the handlers of a run let it pass
// and the run unwinds (closing its destination) before the program ends.
struct wizard_exit {
    int code;
};

inline constexpr int wizard_failure = 255;  // -1 as the shell sees it

// A tk_exception goes to the error handler (Abort acting as Continue), any
// other standard exception to an error box; tk_final_exception only ends the
// action; wizard_exit ends the wizard with its code.
void ui_guard(const std::function<void()>& action);
