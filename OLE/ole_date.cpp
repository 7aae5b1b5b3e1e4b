// Dates and times of cells. The numeric forms are read by a small scanner with
// the rules of the C library's formatted input (a width-limited or free
// number, literal separators, a run of non-blanks for the seconds), never into
// a buffer of fixed size; the rest goes to the platform's date parser.
#include "OLE/ole_date.hpp"

#include "OLE/ole_num.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "platform/ole/pl_vdate.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr int month_lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

int days_in_month(int year, int month)
{
    return month == 2 && ole_is_leap_year(year) ? 29 : month_lengths[month - 1];
}

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

// A cursor over the text with the input rules of scanf: numbers skip leading
// white space, take an optional sign and at most width characters.
class scanner {
public:
    explicit scanner(std::string_view text) : text(text) {}

    bool number(int& out, size_t width = std::string_view::npos)
    {
        while (pos < text.size() && is_space(text[pos]))
            ++pos;
        size_t end = width == std::string_view::npos ? text.size() : std::min(text.size(), pos + width);
        size_t i = pos;
        bool negative = false;
        if (i < end && (text[i] == '+' || text[i] == '-'))
            negative = text[i++] == '-';
        const size_t first_digit = i;
        long long value = 0;
        for (; i < end && text[i] >= '0' && text[i] <= '9'; ++i)
            if (value < 100000000)  // saturate: any larger value fails the range tests
                value = value * 10 + (text[i] - '0');
        if (i == first_digit)
            return false;
        pos = i;
        out = static_cast<int>(negative ? -value : value);
        return true;
    }

    // A literal character of the format; a blank of the format matches any
    // white space, none included.
    bool literal(char c)
    {
        if (c == ' ') {
            while (pos < text.size() && is_space(text[pos]))
                ++pos;
            return true;
        }
        if (pos < text.size() && text[pos] == c) {
            ++pos;
            return true;
        }
        return false;
    }

    // %s: white space skipped, then a run of non-blank characters.
    bool word(std::string_view& out)
    {
        while (pos < text.size() && is_space(text[pos]))
            ++pos;
        const size_t start = pos;
        while (pos < text.size() && !is_space(text[pos]))
            ++pos;
        out = text.substr(start, pos - start);
        return !out.empty();
    }

private:
    std::string_view text;
    size_t pos = 0;
};

// As tk_trim: spaces at both ends.
std::string_view trim_spaces(std::string_view text)
{
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return std::string_view();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

bool fits_u16(int v) { return v >= 0 && v <= 0xFFFF; }

template <class C>
void put(std::basic_string<C>& out, unsigned value, int width)
{
    C digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<C>('0' + value % 10);
        value /= 10;
    } while (value != 0 || n < width);
    while (n > 0)
        out.push_back(digits[--n]);
}

// The printed forms; a pure time's narrow form has a zero date in front.
template <class C>
std::basic_string<C> format_date(const ole_date& d, int style, bool zero_date_for_time)
{
    std::basic_string<C> out;
    if (d.kind == ole_date::kind_none)
        return out;
    const SYSTEMTIME& st = d.st;
    const bool midnight = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0 && st.wMilliseconds == 0;
    const bool has_fraction = style != 0 && (st.wMilliseconds != 0 || d.microseconds != 0);
    const bool show_date = d.kind != ole_date::kind_time;
    const bool show_time = d.kind == ole_date::kind_time || (d.kind == ole_date::kind_date_time &&
                                                             !(midnight && d.b_date_only != 0));
    out.reserve(32);
    if (show_date) {
        put(out, st.wYear, 4);
        out.push_back('-');
        put(out, st.wMonth, 2);
        out.push_back('-');
        put(out, st.wDay, 2);
    } else if (zero_date_for_time) {
        for (const char* p = "0000-00-00"; *p != 0; ++p)
            out.push_back(static_cast<C>(*p));
    }
    if (!show_time)
        return out;
    if (!out.empty())
        out.push_back(' ');
    put(out, st.wHour % 24u, 2);
    out.push_back(':');
    put(out, st.wMinute, 2);
    out.push_back(':');
    put(out, st.wSecond, 2);
    if (has_fraction) {
        out.push_back('.');
        if (style == 6 && d.microseconds != 0)
            put(out, static_cast<unsigned>(d.microseconds), 6);
        else
            put(out, st.wMilliseconds, 3);
    }
    return out;
}

} // namespace

bool ole_is_leap_year(int year)
{
    if (year < 1)
        ++year;
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

ole_date::ole_date()
{
    tk_logger::log(1, "ole_date::ole_date()");
}

ole_date::ole_date(const SYSTEMTIME& time) : kind(kind_date_time), st(time)
{
    tk_logger::log(1, "ole_date::ole_date(SYSTEMTIME)");
    refine_type();
}

ole_date::ole_date(const std::string& text)
{
    parse(text);
}

ole_date::ole_date(const std::wstring& text)
{
    parse(platform::to_utf8(text));
}


bool ole_date::is_valid() const
{
    tk_logger::log(1, "ole_date::is_valid");
    if (kind == kind_none)
        return false;
    if (st.wDay == 0 && st.wMonth == 0 && st.wYear == 0) {
        tk_logger::log(1, "DATETIME is a pute time");
        return time_in_range();
    }
    if (st.wMonth < 1 || st.wMonth > 12) {
        tk_logger::log(1, "Invalid month");
        return false;
    }
    if (st.wDay >= 32) {
        tk_logger::log(1, "Invalid day (1)");
        return false;
    }
    if (st.wDay > days_in_month(st.wYear, st.wMonth)) {
        tk_logger::log(1, "Invalid day (2)");
        return false;
    }
    if (st.wDay == 0 || st.wMonth == 0 || st.wYear == 0) {
        tk_logger::log(1, "Got zero day/month/year");
        return false;
    }
    if (!time_in_range()) {
        tk_logger::log(2, "Invalid time");
        return false;
    }
    return true;
}

// A clock time: hour below 24, minute and second below 60.
bool ole_date::time_in_range() const
{
    return st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60;
}

void ole_date::refine_type()
{
    tk_logger::log(1, "ole_date::refine_type(%d,%d,%d,%d,%d,%d)", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                   st.wSecond);
    const bool zero_date = st.wDay == 0 && st.wMonth == 0 && st.wYear == 0;
    if (zero_date) {
        tk_logger::log(1, "Switch to 'pure' time");
        kind = kind_time;
    } else if (st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0 && st.wMilliseconds == 0 && st.wDay != 0 &&
               st.wMonth != 0 && st.wYear != 0) {
        tk_logger::log(1, "Switch to 'pure' date");
        kind = kind_date;
    }
}

std::string ole_date::to_string(int style) const
{
    tk_logger::log(1, "ole_date::to_string(%d)", style);
    return format_date<char>(*this, style, true);
}

std::wstring ole_date::to_wstring(int style) const
{
    tk_logger::log(1, "ole_date::to_wstring(%d)", style);
    return format_date<wchar_t>(*this, style, false);
}

void ole_date::process_milliseconds(const char* seconds)
{
    if (seconds == nullptr)
        throw tk_mail_assertion("ole_date.cpp", 581);
    set_seconds(seconds);
}

void ole_date::set_seconds(std::string_view seconds)
{
    // Whole seconds, by far the most common, need no floating point.
    if (seconds.size() <= 2 && !seconds.empty() && std::all_of(seconds.begin(), seconds.end(), [](char c) {
            return c >= '0' && c <= '9';
        })) {
        st.wSecond = static_cast<uint16_t>(seconds.size() == 1 ? seconds[0] - '0'
                                                               : (seconds[0] - '0') * 10 + (seconds[1] - '0'));
        st.wMilliseconds = 0;
        microseconds = 0;
        return;
    }
    double x = 0;
    if (!ole_leading_real(seconds, x) || !(x >= 0 && x < 60)) {  // no second of a minute: fails the range test
        st.wSecond = 60;
        return;
    }
    int second = static_cast<int>(x);
    const double f = x - second;
    int ms = static_cast<int>(std::lround(f * 1000));
    int us = static_cast<int>(std::lround(f * 1000000));
    if (us >= 1000000 || (us == 0 && ms >= 1000)) {
        ms = us = 0;
        if (++second > 59) {
            second = 0;
            if (++st.wMinute > 59) {
                st.wMinute = 0;
                st.wHour = static_cast<uint16_t>((st.wHour + 1) % 24);
            }
        }
    }
    st.wSecond = static_cast<uint16_t>(second);
    st.wMilliseconds = static_cast<uint16_t>(ms);
    microseconds = us;
}

void ole_date::parse(const std::string& given)
{
    tk_logger::log(1, "ole_date::ole_date('%s')", given.c_str());
    st = SYSTEMTIME{};
    std::string_view view = trim_spaces(given);
    for (const std::string_view marker : {std::string_view("AM"), std::string_view("PM"), std::string_view("am"),
                                          std::string_view("pm")}) {
        const size_t at = view.find(marker);
        if (at != std::string_view::npos) {
            view = trim_spaces(view.substr(0, at));
            break;
        }
    }
    // Most cells need no trimming: their text is parsed without a copy.
    std::string trimmed;
    const std::string& text = view.size() == given.size() ? given : (trimmed = std::string(view));
    if (text.size() < 5) {
        tk_logger::log(2, "Invalid date/time format: '%s'", text.c_str());
        return;
    }
    import_from_string(text);
    const bool pm = given.find(std::string_view("PM")) != std::string::npos ||
                    given.find(std::string_view("pm")) != std::string::npos;
    if (pm && st.wHour < 12)
        st.wHour = static_cast<uint16_t>(st.wHour + 12);
    if (kind != kind_none && !is_valid())  // seconds are known only now
        kind = kind_none;
}

bool ole_date::import_from_string(const std::string& text)
{
    tk_logger::log(1, "ole_date::import_from_string(%s)", text.c_str());
    if (try_compact(text) || try_time(text) || try_separated(text) || try_system_parser(text))
        return true;
    kind = kind_none;
    st = SYSTEMTIME{};
    tk_logger::log(2, "Invalid date/time format: '%s'", text.c_str());
    return false;
}

// yyyymmddhhmmss (14 characters) or yyyymmdd (8).
bool ole_date::try_compact(std::string_view text)
{
    const bool with_time = text.size() == 14;
    if (!with_time && text.size() != 8)
        return false;
    tk_logger::log(1, with_time ? "Trying timestamp format (1)..." : "Trying timestamp format (2)...");
    scanner in(text);
    int f[6] = {0, 0, 0, 0, 0, 0};
    const int wanted = with_time ? 6 : 3;
    for (int i = 0; i < wanted; ++i)
        if (!in.number(f[i], i == 0 ? 4 : 2))
            return false;
    if (with_time && f[2] > 31 && f[0] < 32) {
        tk_logger::log(1, "Swap day and year: day=%d, year=%d", f[2], f[0]);
        std::swap(f[0], f[2]);
    }
    for (int v : f)
        if (!fits_u16(v))
            return false;
    st = SYSTEMTIME{};
    st.wYear = static_cast<uint16_t>(f[0]);
    st.wMonth = static_cast<uint16_t>(f[1]);
    st.wDay = static_cast<uint16_t>(f[2]);
    st.wHour = static_cast<uint16_t>(f[3]);
    st.wMinute = static_cast<uint16_t>(f[4]);
    st.wSecond = static_cast<uint16_t>(f[5]);
    kind = with_time ? kind_date_time : kind_date;
    if (is_valid())
        return true;
    st = SYSTEMTIME{};
    return false;
}

// h:m or h:m:s with an optional fraction of the second.
bool ole_date::try_time(std::string_view text)
{
    tk_logger::log(1, "Trying pure time format...");
    scanner in(text);
    int hour = 0, minute = 0;
    std::string_view seconds;
    if (!in.number(hour) || !in.literal(':') || !in.number(minute) || !fits_u16(hour) || !fits_u16(minute))
        return false;
    const bool has_seconds = in.literal(':') && in.word(seconds);
    st = SYSTEMTIME{};
    st.wHour = static_cast<uint16_t>(hour);
    st.wMinute = static_cast<uint16_t>(minute);
    kind = kind_time;
    if (is_valid()) {
        if (has_seconds)
            set_seconds(seconds);
        return true;
    }
    st = SYSTEMTIME{};
    return false;
}

// y-m-d, y/m/d or y.m.d (or with day and year exchanged), optionally followed
// by h:m:s with an optional fraction of the second.
bool ole_date::try_separated(std::string_view text)
{
    static constexpr char separators[] = {'-', '/', '.'};
    for (int format = 0; format < 3; ++format) {
        tk_logger::log(1, "Trying datetime format #%d", format);
        const char sep = separators[format];
        scanner in(text);
        int f[5] = {0, 0, 0, 0, 0};
        std::string_view seconds;
        int items = 0;
        if (in.number(f[0]) && ++items && in.literal(sep) && in.number(f[1]) && ++items && in.literal(sep) &&
            in.number(f[2]) && ++items && in.literal(' ') && in.number(f[3]) && ++items && in.literal(':') &&
            in.number(f[4]) && ++items && in.literal(':') && in.word(seconds))
            ++items;
        if (items != 3 && items != 6)
            continue;
        if (f[2] > 31 && f[0] < 32) {
            tk_logger::log(1, "Swap day and year: day=%d, year=%d", f[2], f[0]);
            std::swap(f[0], f[2]);
        }
        bool fits = true;
        for (int v : f)
            fits = fits && fits_u16(v);
        if (!fits)
            continue;
        st = SYSTEMTIME{};
        st.wYear = static_cast<uint16_t>(f[0]);
        st.wMonth = static_cast<uint16_t>(f[1]);
        st.wDay = static_cast<uint16_t>(f[2]);
        if (items == 3) {
            kind = kind_date;
            if (is_valid()) {
                tk_logger::log(1, "Format #%d succeeded (3 items)", format);
                return true;
            }
            st = SYSTEMTIME{};
            continue;
        }
        st.wHour = static_cast<uint16_t>(f[3]);
        st.wMinute = static_cast<uint16_t>(f[4]);
        kind = kind_date_time;
        if (!is_valid()) {
            st = SYSTEMTIME{};
            continue;
        }
        tk_logger::log(1, "Format #%d succeeded (6 items)", format);
        set_seconds(seconds);
        refine_type();
        return true;
    }
    return false;
}

bool ole_date::try_system_parser(std::string_view text)
{
    DATE value = 0;
    SYSTEMTIME parsed{};
    if (FAILED(pl_ole::date_from_text(text, value)) || !VariantTimeToSystemTime(value, &parsed))
        return false;
    st = parsed;
    kind = kind_date_time;
    refine_type();
    tk_logger::log(1, "Got datetime using Microsoft API");
    return true;
}
