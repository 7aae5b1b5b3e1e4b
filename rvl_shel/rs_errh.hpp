// The wizard's form of the error handler: a failure the run goes on after is
// shown in the continue dialog (Abort ends the run where the caller allows
// it), one that ends the operation in an error box, an internal error in the
// internal-error dialog, after which the program ends with 255. Reports may
// come from the worker thread: their boxes and dialogs run on the window
// thread, and the messages enter the finish page's list.
#pragma once

#include "rvl_conv/rvl_errh.hpp"

#include <mutex>

class wizard_error_handler : public error_handler {
public:
    // The DAO, MySQL and workbook message tables.
    wizard_error_handler();

    void handle(const tk_exception& e, bool no_abort) override;

private:
    [[noreturn]] void internal_error(const tk_exception& e);
    void continue_dialog(const std::string& message, bool no_abort);

    // quiet is read and set from the worker and the window thread.
    std::mutex quiet_mutex;
};
