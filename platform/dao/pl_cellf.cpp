#include "platform/dao/pl_cellf.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform::dao {

namespace {

bool is_date_letter(char c)
{
    switch (c) {
    case 'y': case 'Y': case 'm': case 'M': case 'd': case 'D':
    case 'h': case 'H': case 's': case 'S':
        return true;
    default:
        return false;
    }
}

// $, and the UTF-8 forms of the cent, pound, currency, yen, euro and rupee signs.
bool starts_currency_sign(std::string_view s)
{
    if (s.empty())
        return false;
    if (s[0] == '$')
        return true;
    static constexpr std::string_view signs[] = {"\xC2\xA2", "\xC2\xA3", "\xC2\xA4", "\xC2\xA5",
                                                 "\xE2\x82\xAC", "\xE2\x82\xB9"};
    for (std::string_view sign : signs)
        if (s.substr(0, sign.size()) == sign)
            return true;
    return false;
}

// A bracket holds a colour, a condition, an elapsed-time unit or a locale;
// "[$€-407]" or "[$USD]" carries a currency symbol, "[$-409]" only a locale.
bool bracket_is_currency(std::string_view inner)
{
    return inner.size() >= 2 && inner[0] == '$' && inner[1] != '-';
}

} // namespace

cell_kind classify_format_code(std::string_view code)
{
    bool currency = false, date_part = false, time_part = false, month_or_minute = false, elapsed = false;
    for (size_t i = 0; i < code.size(); ++i) {
        const char c = code[i];
        if (c == '"') {
            const size_t end = code.find('"', i + 1);
            const std::string_view quoted = code.substr(i + 1, end == code.npos ? code.npos : end - i - 1);
            for (size_t j = 0; j < quoted.size(); ++j)
                currency = currency || starts_currency_sign(quoted.substr(j));
            if (end == code.npos)
                break;
            i = end;
        } else if (c == '[') {
            const size_t end = code.find(']', i + 1);
            if (end == code.npos)
                break;
            const std::string_view inner = code.substr(i + 1, end - i - 1);
            currency = currency || bracket_is_currency(inner);
            // elapsed time, [h]:mm or [ss]
            elapsed = elapsed || (!inner.empty() && is_date_letter(inner[0]) && inner.find_first_not_of(inner[0]) == inner.npos);
            i = end;
        } else if (c == '\\' || c == '_' || c == '*') {
            // an escaped literal, a padding width or a fill character
            if (i + 1 < code.size())
                currency = currency || (c == '\\' && starts_currency_sign(code.substr(i + 1)));
            ++i;
        } else if (is_date_letter(c)) {
            const char lower = char(c | 0x20);
            date_part = date_part || lower == 'y' || lower == 'd';
            time_part = time_part || lower == 'h' || lower == 's';
            month_or_minute = month_or_minute || lower == 'm';
        } else if (starts_currency_sign(code.substr(i))) {
            currency = true;
        }
    }
    if (elapsed)
        return cell_kind::duration;
    if (date_part || (month_or_minute && !time_part))
        return cell_kind::date;
    if (time_part)
        return cell_kind::time;
    return currency ? cell_kind::currency : cell_kind::number;
}

cell_kind classify_builtin_format(uint32_t id)
{
    if (id == 46)
        return cell_kind::duration;
    if ((id >= 18 && id <= 21) || id == 45 || id == 47)
        return cell_kind::time;
    if ((id >= 14 && id <= 22) || (id >= 27 && id <= 36) || (id >= 45 && id <= 47) || (id >= 50 && id <= 58))
        return cell_kind::date;
    if ((id >= 5 && id <= 8) || id == 42 || id == 44)
        return cell_kind::currency;
    return cell_kind::number;
}

namespace {

constexpr double days_1900_to_1904 = 1462;

// Days from 1899-12-30 00:00 on a straight line, as an OLE date: before that
// day the whole days count back while the time of day still counts forward.
double line_to_ole(double line)
{
    const double day = std::floor(line);
    return line >= 0 || line == day ? line : day - (line - day);
}

double ole_to_line(double ole)
{
    const double day = std::trunc(ole);
    return ole >= 0 ? ole : day + std::fabs(ole - day);
}

} // namespace

double serial_to_ole_date(double serial, bool date1904, cell_kind kind)
{
    if (serial >= 0 && serial < 1 && (!date1904 || kind == cell_kind::time))
        return serial;
    if (date1904)
        return line_to_ole(serial + days_1900_to_1904);
    return line_to_ole(serial >= 1 && serial < 61 ? serial + 1 : serial);
}

double ole_date_to_serial(double ole, bool date1904)
{
    const double line = ole_to_line(ole);
    if (date1904)
        return line - days_1900_to_1904;
    return line >= 1 && line < 61 ? line - 1 : line;
}

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
constexpr int64_t days_from_civil(int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civil_from_days(int64_t z, int& y, unsigned& m, unsigned& d)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

constexpr int64_t ole_epoch = -25569;  // 1899-12-30 in days from 1970-01-01

// Reads exactly n digits at pos.
bool digits(std::string_view s, size_t& pos, size_t n, unsigned& out)
{
    if (pos + n > s.size())
        return false;
    out = 0;
    for (size_t i = 0; i < n; ++i) {
        const char c = s[pos + i];
        if (c < '0' || c > '9')
            return false;
        out = out * 10 + unsigned(c - '0');
    }
    pos += n;
    return true;
}

bool parse_time(std::string_view s, size_t& pos, double& fraction)
{
    unsigned h, mi, sec = 0;
    if (!digits(s, pos, 2, h) || pos >= s.size() || s[pos++] != ':' || !digits(s, pos, 2, mi))
        return false;
    double part = 0;
    if (pos < s.size() && s[pos] == ':') {
        ++pos;
        if (!digits(s, pos, 2, sec))
            return false;
        if (pos < s.size() && s[pos] == '.') {
            double scale = 0.1;
            for (++pos; pos < s.size() && s[pos] >= '0' && s[pos] <= '9'; ++pos, scale /= 10)
                part += (s[pos] - '0') * scale;
        }
    }
    if (h > 24 || mi > 59 || sec > 59)
        return false;
    fraction = (h * 3600.0 + mi * 60.0 + sec + part) / 86400.0;
    return true;
}

} // namespace

bool parse_iso_date(std::string_view s, double& ole)
{
    size_t pos = 0;
    double fraction = 0;
    if (s.size() >= 3 && s[2] == ':') {
        if (!parse_time(s, pos, fraction) || pos != s.size())
            return false;
        ole = fraction;
        return true;
    }
    unsigned y, m, d;
    if (!digits(s, pos, 4, y) || pos >= s.size() || s[pos++] != '-' || !digits(s, pos, 2, m) ||
        pos >= s.size() || s[pos++] != '-' || !digits(s, pos, 2, d) || m < 1 || m > 12 || d < 1 || d > 31)
        return false;
    if (pos < s.size()) {
        if (s[pos++] != 'T' || !parse_time(s, pos, fraction))
            return false;
        if (pos < s.size() && s[pos] == 'Z')
            ++pos;
        if (pos != s.size())
            return false;
    }
    ole = line_to_ole(static_cast<double>(days_from_civil(y, m, d) - ole_epoch) + fraction);
    return true;
}

bool fits_datetime(double ole)
{
    if (!std::isfinite(ole) || std::fabs(ole) > 3e6)
        return false;
    // 1000-01-01 and 10000-01-01 in seconds from the OLE epoch
    constexpr double first = double(days_from_civil(1000, 1, 1) - ole_epoch) * 86400.0;
    constexpr double beyond = double(days_from_civil(10000, 1, 1) - ole_epoch) * 86400.0;
    const double seconds = std::round(ole_to_line(ole) * 86400.0);
    return seconds >= first && seconds < beyond;
}

namespace {

constexpr int64_t most_time_seconds = 838 * 3600 + 59 * 60 + 59;
constexpr int64_t ms_per_day = 86400000;

// "hh:mm:ss" of a count of milliseconds, the hours as many as there are,
// with ".mmm" where there is a fraction of a second.
std::string clock_text(int64_t ms)
{
    char out[48];
    const int n = std::snprintf(out, sizeof out, "%02lld:%02lld:%02lld", static_cast<long long>(ms / 3600000),
                                static_cast<long long>(ms / 60000 % 60), static_cast<long long>(ms / 1000 % 60));
    if (ms % 1000 != 0)
        std::snprintf(out + n, sizeof out - size_t(n), ".%03lld", static_cast<long long>(ms % 1000));
    return out;
}

} // namespace

bool fits_time(double days)
{
    return std::isfinite(days) && std::fabs(days) < 1e6 && std::llabs(std::llround(days * 86400.0)) <= most_time_seconds;
}

std::string format_elapsed(double days)
{
    if (!std::isfinite(days) || std::fabs(days) >= 1e9)
        return "";
    const int64_t total = std::llround(days * 86400.0);
    return (total < 0 ? "-" : "") + clock_text(std::llabs(total) * 1000);
}

std::string format_duration(double days) { return fits_time(days) ? format_elapsed(days) : ""; }

std::string format_ole_date(double ole)
{
    if (!std::isfinite(ole) || std::fabs(ole) > 3e6)
        return "";
    // to the millisecond, counted from 1899-12-30 00:00:00; a time of day
    // alone that rounds to the day's end stays the day's last millisecond,
    // never the next day
    int64_t total = static_cast<int64_t>(std::llround(ole_to_line(ole) * double(ms_per_day)));
    if (ole >= 0 && ole < 1)
        total = std::min(total, ms_per_day - 1);
    int64_t days = total / ms_per_day, ms = total % ms_per_day;
    if (ms < 0) {
        ms += ms_per_day;
        --days;
    }
    if (days == 0)
        return clock_text(ms);
    int y;
    unsigned m, d;
    civil_from_days(days + ole_epoch, y, m, d);
    char out[32];
    std::snprintf(out, sizeof out, "%04d-%02u-%02u", y, m, d);
    return ms == 0 ? std::string(out) : std::string(out) + " " + clock_text(ms);
}

} // namespace platform::dao
