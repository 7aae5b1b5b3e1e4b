// The process-wide trace log: one text file to which any thread appends single
// lines with a level (1 detail, 2 trace, 3 important) and a printf-style text,
// narrow or wide (the formats follow the platform rules of pl_format.hpp).
// Nothing is written until a log file is named and logging switched on; the
// first line written after that creates the file when it is missing. An existing file
// is never emptied, only appended to (a log named by a profile from elsewhere
// must not destroy a file of the user's). Each line is one open, append and
// close, so the file is complete at every moment.
//
// A dropped line costs a look at two flags: the level is tested before any
// formatting or allocation.
#pragma once

#include "TK/tk_singl.hpp"
#include "platform/text/pl_format.hpp"
#include "platform/text/pl_utf8.hpp"

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

class tk_logger : public tk_singleton<tk_logger> {
public:
    // file: the log file, or null for the program's own path with ".log".
    tk_logger(const char* file, bool enabled, int min_level, bool timestamps);
    ~tk_logger() override;

    template <class... A>
    static void log(int level, const char* format, const A&... args)
    {
        tk_logger* self = try_instance();
        if (self != nullptr && self->accepts(level))
            self->write(platform::format(format, args...));
    }

    template <class... A>
    static void wlog(int level, const wchar_t* format, const A&... args)
    {
        tk_logger* self = try_instance();
        if (self != nullptr && self->accepts(level))
            self->write(platform::to_utf8(platform::format(format, args...)));
    }

    // True when a line of that level reaches the log file: a loop that logs
    // for every value asks once.
    static bool logs(int level)
    {
        const tk_logger* self = try_instance();
        return self != nullptr && self->is_enabled() && level >= self->min_level;
    }

    // A null name is an internal error.
    void set_file_name(const char* name);
    std::string get_file_name() const;
    void set_enabled(bool on) { enabled.store(on, std::memory_order_release); }
    bool is_enabled() const { return enabled.load(std::memory_order_acquire); }
    int get_min_level() const { return min_level; }

    // Called once, on the logging thread and outside the logger's lock, with
    // the file's name and the system's reason, the first time a line cannot
    // be written (a full disk, a file that cannot be opened); later lost
    // lines are not reported again. An empty function reports nothing.
    using failure_report = std::function<void(const std::string& file, const std::string& reason)>;
    void set_failure_report(failure_report report);

private:
    bool accepts(int level)
    {
        // A line below the minimum creates no file: a log named for a file
        // the run then refuses to touch must not appear by itself.
        if (!enabled.load(std::memory_order_acquire) || level < min_level)
            return false;
        if (!created.load(std::memory_order_acquire))
            create_once();
        return true;
    }
    void create_once();
    void write(std::string_view line);
    // The line into the open file; false when a byte of it was lost.
    bool append(std::string_view line);

    mutable std::mutex mutex;  // one line at a time, from any thread
    std::string file_name;
    const int min_level;
    const bool crlf = true;
    std::atomic<bool> enabled;
    std::atomic<bool> created{false};
    const bool timestamps;
    failure_report report_failure;  // under mutex
    bool failure_reported = false;  // under mutex
};
