// The base of every converter: the unit of work of the worker thread, with
// the fields both front ends set and read. The converter's run sets `done`
// when it ends, whatever the cause; the window thread polls it. A run checks
// the stop request of tk_thread_functor before each record and worksheet.
#pragma once

#include "TK/tk_threa.hpp"

#include <atomic>
#include <string>

class tk_converter : public tk_thread_functor {
public:
    tk_converter();
    ~tk_converter() override = default;

    virtual void set_silent(bool on) { silent = on; }
    bool is_silent() const { return silent; }

    // Names the log file and switches logging on. The name is kept in
    // `log_file` even when it is refused. An empty name switches logging off
    // (no log was asked for); a name that is an existing folder or read-only
    // file, or lies in a missing or unwritable folder, is refused through
    // refuse_logfile.
    void set_logfile(const std::string& name);
    const std::string& get_logfile() const { return log_file; }

    // Read by the window thread while the worker writes it.
    std::atomic<bool> done{false};

protected:
    // A log file name set_logfile cannot use, with the reason: the base
    // raises it as a level-1 tk_exception.
    virtual void refuse_logfile(const std::string& reason);

    bool silent = false;
    std::wstring src;
    std::wstring dest;
    std::string log_file;
};
