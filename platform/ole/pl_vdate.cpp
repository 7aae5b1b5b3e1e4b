// Calendar arithmetic of OLE dates and the plain date parser. Day numbers
// come from the proleptic Gregorian calendar, counted from 1899-12-30.
#include "platform/ole/pl_vdate.hpp"

#include "platform/ole/pl_vnum.hpp"

#include <array>
#include <cmath>
#include <cstdio>

namespace {

constexpr int min_year = 100;
constexpr int max_year = 9999;
constexpr int seconds_per_day = 86400;

// Days from 1970-01-01 of a civil date (month 1 to 12).
int64_t days_from_civil(int64_t y, int m, int d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const int64_t yoe = y - era * 400;
    const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civil_from_days(int64_t z, int64_t& y, int& m, int& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = yoe + era * 400 + (m <= 2);
}

const int64_t day_zero = days_from_civil(1899, 12, 30);

bool leap(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

int month_days(int y, int m)
{
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leap(y) ? 29 : days[m - 1];
}

bool valid_fields(int y, int m, int d, int h, int mi, int s, int ms)
{
    return y >= min_year && y <= max_year && m >= 1 && m <= 12 && d >= 1 && d <= month_days(y, m) && h >= 0 &&
           h < 24 && mi >= 0 && mi < 60 && s >= 0 && s < 60 && ms >= 0 && ms < 1000;
}

DATE make_date(int y, int m, int d, int h, int mi, int s, int ms)
{
    const double days = static_cast<double>(days_from_civil(y, m, d) - day_zero);
    const double fraction = (h * 3600.0 + mi * 60.0 + s + ms / 1000.0) / seconds_per_day;
    return days >= 0 ? days + fraction : days - fraction;
}

// ASCII classes: the parser reads English month names and digits only, the
// same in every locale.
bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The plain parser. Tokens: digit runs, letter runs, single separators.
struct token {
    char kind;  // 'n' number, 'w' word, else the separator itself
    std::string_view text;
    int value = 0;
};

constexpr size_t max_tokens = 24;  // longer texts are no dates

bool tokenize(std::string_view text, std::array<token, max_tokens>& out, size_t& count)
{
    count = 0;
    for (size_t i = 0; i < text.size();) {
        if (count == max_tokens)
            return false;
        token& t = out[count];
        const char c = text[i];
        size_t j = i + 1;
        if (is_digit(c)) {
            while (j < text.size() && is_digit(text[j]))
                ++j;
            if (j - i > 9)
                return false;
            t.kind = 'n';
            t.value = 0;
            for (size_t k = i; k < j; ++k)
                t.value = t.value * 10 + (text[k] - '0');
        } else if (is_alpha(c)) {
            while (j < text.size() && is_alpha(text[j]))
                ++j;
            t.kind = 'w';
        } else if (c == ' ' || c == '\t') {
            while (j < text.size() && (text[j] == ' ' || text[j] == '\t'))
                ++j;
            t.kind = ' ';
        } else if (c == '-' || c == '/' || c == '.' || c == ',' || c == ':') {
            t.kind = c;
        } else {
            return false;
        }
        t.text = text.substr(i, j - i);
        ++count;
        i = j;
    }
    return true;
}

// 1 to 12 for a month's name or its first three letters; 0 otherwise.
int month_of(std::string_view word)
{
    static constexpr const char* names[] = {"january", "february", "march",     "april",   "may",      "june",
                                            "july",    "august",   "september", "october", "november", "december"};
    for (int m = 0; m < 12; ++m) {
        const std::string_view name(names[m]);
        if (pl_ole::ascii_word_is(word, name) || (word.size() == 3 && pl_ole::ascii_word_is(word, name.substr(0, 3))))
            return m + 1;
    }
    return 0;
}

struct fields {
    int y = 1899, m = 12, d = 30, h = 0, mi = 0, s = 0, ms = 0;
};

// Finds "h:m[:s[.fff]] [AM|PM]" and blanks its tokens out; false on a
// malformed time. No time at all is fine.
bool take_time(std::array<token, max_tokens>& t, size_t n, fields& f)
{
    for (size_t i = 0; i + 2 < n; ++i) {
        if (t[i].kind != 'n' || t[i + 1].kind != ':' || t[i + 2].kind != 'n')
            continue;
        f.h = t[i].value;
        f.mi = t[i + 2].value;
        size_t end = i + 3;
        if (end + 1 < n && t[end].kind == ':' && t[end + 1].kind == 'n') {
            f.s = t[end + 1].value;
            end += 2;
            if (end + 1 < n && t[end].kind == '.' && t[end + 1].kind == 'n') {
                const std::string_view digits = t[end + 1].text;
                f.ms = 0;
                for (size_t k = 0; k < 3; ++k)
                    f.ms = f.ms * 10 + (k < digits.size() ? digits[k] - '0' : 0);
                end += 2;
            }
        }
        size_t marker = end;
        while (marker < n && t[marker].kind == ' ')
            ++marker;
        if (marker < n && t[marker].kind == 'w' && (pl_ole::ascii_word_is(t[marker].text, "am") || pl_ole::ascii_word_is(t[marker].text, "pm"))) {
            if (f.h < 1 || f.h > 12)
                return false;
            f.h = f.h % 12 + (pl_ole::ascii_word_is(t[marker].text, "pm") ? 12 : 0);
            end = marker + 1;
        }
        for (size_t k = i; k < end; ++k)
            t[k].kind = ' ';
        return true;
    }
    return true;
}

int full_year(const token& t) { return t.text.size() <= 2 ? (t.value < 30 ? 2000 + t.value : 1900 + t.value) : t.value; }

// The date from what is left once the time is out.
bool take_date(const std::array<token, max_tokens>& t, size_t n, fields& f)
{
    const token* numbers[3];
    size_t count = 0;
    int month = 0;
    char separator = 0;
    for (size_t i = 0; i < n; ++i) {
        if (t[i].kind == 'n') {
            if (count == 3)
                return false;
            numbers[count++] = &t[i];
        } else if (t[i].kind == 'w') {
            if (month != 0 || (month = month_of(t[i].text)) == 0)
                return false;
        } else if (t[i].kind == ':') {
            return false;
        } else if (t[i].kind != ' ' && t[i].kind != ',' && separator == 0) {
            separator = t[i].kind;
        }
    }
    if (count == 0 && month == 0)
        return true;  // a time alone
    if (month != 0) {
        if (count != 2)
            return false;
        const bool year_first = numbers[0]->text.size() > 2 || numbers[0]->value > 31;
        f.y = full_year(*numbers[year_first ? 0 : 1]);
        f.m = month;
        f.d = numbers[year_first ? 1 : 0]->value;
        return true;
    }
    if (count != 3)
        return false;
    if (numbers[0]->text.size() > 2) {  // year first
        f.y = numbers[0]->value;
        f.m = numbers[1]->value;
        f.d = numbers[2]->value;
        return true;
    }
    f.y = full_year(*numbers[2]);
    const bool day_first = separator == '.' || numbers[0]->value > 12;
    f.d = numbers[day_first ? 0 : 1]->value;
    f.m = numbers[day_first ? 1 : 0]->value;
    return true;
}

// A day counted from day zero and a time of it; false outside the years
// supported.
bool to_system_time(int64_t days, int64_t seconds, int millisecond, SYSTEMTIME& st)
{
    int64_t y = 0;
    int m = 0, d = 0;
    civil_from_days(days + day_zero, y, m, d);
    if (y < min_year || y > max_year)
        return false;
    st.wYear = static_cast<uint16_t>(y);
    st.wMonth = static_cast<uint16_t>(m);
    st.wDay = static_cast<uint16_t>(d);
    st.wDayOfWeek = static_cast<uint16_t>(((days + 6) % 7 + 7) % 7);  // day zero was a Saturday
    st.wHour = static_cast<uint16_t>(seconds / 3600);
    st.wMinute = static_cast<uint16_t>(seconds / 60 % 60);
    st.wSecond = static_cast<uint16_t>(seconds % 60);
    st.wMilliseconds = static_cast<uint16_t>(millisecond);
    return true;
}

} // namespace

bool SystemTimeToVariantTime(const SYSTEMTIME* st, DATE* out)
{
    if (st == nullptr || out == nullptr ||
        !valid_fields(st->wYear, st->wMonth, st->wDay, st->wHour, st->wMinute, st->wSecond, st->wMilliseconds))
        return false;
    *out = make_date(st->wYear, st->wMonth, st->wDay, st->wHour, st->wMinute, st->wSecond, st->wMilliseconds);
    return true;
}

bool VariantTimeToSystemTime(DATE in, SYSTEMTIME* st)
{
    int64_t days = 0, seconds = 0;
    return st != nullptr && pl_ole::date_parts(in, days, seconds) && to_system_time(days, seconds, 0, *st);
}

HRESULT VarDateFromStr(const OLECHAR* text, LCID, uint32_t, DATE* out)
{
    std::string narrow;
    if (text == nullptr || out == nullptr)
        return E_INVALIDARG;
    if (!pl_ole::ascii_text(text, narrow))
        return DISP_E_TYPEMISMATCH;
    return pl_ole::date_from_text(narrow, *out);
}

namespace pl_ole {

HRESULT date_from_text(std::string_view text, DATE& out)
{
    std::array<token, max_tokens> tokens;
    size_t n = 0;
    fields f;
    if (!tokenize(text, tokens, n))
        return DISP_E_TYPEMISMATCH;
    bool any = false;
    for (size_t i = 0; i < n; ++i)
        any = any || tokens[i].kind != ' ';
    if (!any || !take_time(tokens, n, f) || !take_date(tokens, n, f) ||
        !valid_fields(f.y, f.m, f.d, f.h, f.mi, f.s, f.ms))
        return DISP_E_TYPEMISMATCH;
    out = make_date(f.y, f.m, f.d, f.h, f.mi, f.s, f.ms);
    return S_OK;
}

bool date_parts(DATE in, int64_t& day, int64_t& second)
{
    if (!std::isfinite(in) || std::fabs(in) > 3e6)
        return false;
    day = static_cast<int64_t>(in >= 0 ? std::floor(in) : std::ceil(in));
    second = std::llround(std::fabs(in - static_cast<double>(day)) * seconds_per_day);
    if (second >= seconds_per_day) {
        second -= seconds_per_day;
        ++day;
    }
    return true;
}

bool date_parts_ms(DATE in, int64_t& day, int64_t& second, int& millisecond)
{
    millisecond = 0;
    if (!date_parts(in, day, second))
        return false;
    const double whole_day = in >= 0 ? std::floor(in) : std::ceil(in);
    int64_t of_day = std::llround(std::fabs(in - whole_day) * seconds_per_day * 1000);
    // A time of day alone stays one: at most the day's last millisecond.
    if (whole_day == 0 && of_day >= seconds_per_day * 1000)
        of_day = seconds_per_day * 1000 - 1;
    if (of_day % 1000 != 0) {  // short of the day's end: no second to carry
        day = static_cast<int64_t>(whole_day);
        second = of_day / 1000;
        millisecond = static_cast<int>(of_day % 1000);
    }
    return true;
}

int millisecond_of(DATE in)
{
    int64_t day = 0, second = 0;
    int millisecond = 0;
    date_parts_ms(in, day, second, millisecond);
    return millisecond;
}

bool system_time_ms(DATE in, SYSTEMTIME& st)
{
    int64_t day = 0, second = 0;
    int millisecond = 0;
    return date_parts_ms(in, day, second, millisecond) && to_system_time(day, second, millisecond, st);
}

int64_t day_of(int year, int month, int day) { return days_from_civil(year, month, day) - day_zero; }

bool date_text(DATE in, std::string& out)
{
    SYSTEMTIME st;
    if (!VariantTimeToSystemTime(in, &st))
        return false;
    char buffer[64];
    const bool no_time = st.wHour == 0 && st.wMinute == 0 && st.wSecond == 0;
    if (no_time)
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", st.wYear, st.wMonth, st.wDay);
    else if (std::fabs(in) < 1.0)
        std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", st.wHour, st.wMinute, st.wSecond);
    else
        std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", st.wYear, st.wMonth, st.wDay,
                      st.wHour, st.wMinute, st.wSecond);
    out = buffer;
    return true;
}

} // namespace pl_ole
