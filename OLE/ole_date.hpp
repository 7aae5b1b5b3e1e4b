// A date, a time of day or both, as spreadsheets and CSV files write them.
// It remembers which of the three it holds, keeps milliseconds and
// microseconds, reads the many numeric forms of dates (year first or day
// first, compact digits, a time alone, with or without AM/PM) and prints the
// form MySQL accepts, "%04d-%02d-%02d %02d:%02d:%02d".
#pragma once

#include "platform/ole/pl_oletp.hpp"

#include <cstdint>
#include <string>
#include <string_view>

bool ole_is_leap_year(int year);

struct ole_date {
    enum : int32_t { kind_none = 0, kind_date_time = 1, kind_date = 2, kind_time = 3 };

    int32_t kind = kind_none;
    int32_t tz_hours = 0;      // no time zone is ever read or printed
    int32_t b_date_only = 1;   // a date with time at exactly midnight prints as a date
    int32_t microseconds = 0;  // fraction of the second
    SYSTEMTIME st{};

    // An invalid, all-zero value.
    ole_date();
    explicit ole_date(const SYSTEMTIME& time);
    // Parse a text; a text that is no date or time leaves the value invalid.
    explicit ole_date(const std::string& text);
    explicit ole_date(const std::wstring& text);

    bool is_valid() const;
    // A zero date becomes a pure time; a midnight with a date a pure date.
    void refine_type();
    // Every caller passes style 6: microseconds are printed when there are any.
    std::string to_string(int style) const;
    std::wstring to_wstring(int style) const;
    // Sets second, milliseconds and microseconds from a text of seconds with
    // an optional fraction, carrying a rounded-up second into the minutes and
    // hours. A null text is an internal error.
    void process_milliseconds(const char* seconds);
    // The numeric forms, then the general date parser; false when none reads it.
    bool import_from_string(const std::string& text);

private:
    void parse(const std::string& text);
    void set_seconds(std::string_view seconds);
    bool try_compact(std::string_view text);
    bool try_time(std::string_view text);
    bool try_separated(std::string_view text);
    bool try_system_parser(std::string_view text);
    bool time_in_range() const;
};
