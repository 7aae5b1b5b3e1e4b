#include "common/type_map.hpp"

#include "TK/tk_log.hpp"

#include <cerrno>
#include <cstdlib>
#include <limits>

namespace {

// The digits of a plain integer: an optional "-", then "0" or digits without
// a leading zero; "-0" is refused (a number column would drop the sign).
bool plain_integer(const std::string& text, std::string_view& digits)
{
    std::string_view rest(text);
    const bool negative = !rest.empty() && rest.front() == '-';
    if (negative)
        rest.remove_prefix(1);
    if (rest.empty() || (rest.front() == '0' && (rest.size() > 1 || negative)))
        return false;
    for (char c : rest)
        if (c < '0' || c > '9')
            return false;
    digits = rest;
    return true;
}

// The plain integer's value; false beyond 64 bits.
bool integer_value(const std::string& text, int64_t& value)
{
    std::string_view digits;
    if (!plain_integer(text, digits) || digits.size() > 19)
        return false;
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno == ERANGE || *end != '\0')
        return false;
    value = v;
    return true;
}

bool in_int32(int64_t v)
{
    return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

// Two digits at text[pos] within [low, high]; -1 when they are not.
int two_digits(const std::wstring& text, size_t pos, int low, int high)
{
    const wchar_t a = text[pos], b = text[pos + 1];
    if (a < L'0' || a > L'9' || b < L'0' || b > L'9')
        return -1;
    const int v = (a - L'0') * 10 + (b - L'0');
    return v >= low && v <= high ? v : -1;
}

int days_in_month(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// A calendar date: year 1000 to 9999 (the DATE range) at text[pos], then
// month and day, each part followed by sep when sep is not 0.
bool valid_date(const std::wstring& text, size_t pos, wchar_t sep)
{
    const size_t step = sep != 0 ? 1 : 0;
    const int century = two_digits(text, pos, 10, 99);
    const int year_low = two_digits(text, pos + 2, 0, 99);
    if (century < 0 || year_low < 0)
        return false;
    const size_t month_at = pos + 4 + step, day_at = month_at + 2 + step;
    if (sep != 0 && (text[pos + 4] != sep || text[month_at + 2] != sep))
        return false;
    const int year = century * 100 + year_low;
    const int month = two_digits(text, month_at, 1, 12);
    return month > 0 && two_digits(text, day_at, 1, days_in_month(year, month)) > 0;
}

// A time of day 00:00:00 to 23:59:59 at text[pos], parts separated by sep
// when sep is not 0.
bool valid_time(const std::wstring& text, size_t pos, wchar_t sep)
{
    const size_t step = sep != 0 ? 1 : 0;
    if (sep != 0 && (text[pos + 2] != sep || text[pos + 5] != sep))
        return false;
    return two_digits(text, pos, 0, 23) >= 0 && two_digits(text, pos + 2 + step, 0, 59) >= 0 &&
           two_digits(text, pos + 4 + 2 * step, 0, 59) >= 0;
}

} // namespace

types_map::types_map(const std::wstring& table_name_) : table_name(table_name_)
{
    tk_logger::wlog(2, L"types_map::ctor(%s)", table_name.c_str());
}

const udb_field* types_map::value_of(const udb_record& record, const entry& e)
{
    if (e.n_field >= record.size() || !record[e.n_field])
        return nullptr;
    const udb_field* field = record[e.n_field].get();
    const VARTYPE vt = field->get_type();
    return vt == VT_EMPTY || vt == VT_NULL ? nullptr : field;
}

dates_map::dates_map(const std::wstring& table_name_, const udb_schema& schema, bool only_dates)
    : types_map(table_name_)
{
    tk_logger::log(2, "dates_map::ctor(size=%d)", static_cast<int>(schema.size()));
    for (uint32_t i = 0; i < schema.size(); ++i) {
        const VARTYPE vt = schema[i]->vartype;
        tk_logger::log(1, "Field #%d has type %d", i, static_cast<int>(vt));
        if (only_dates && vt != VT_DATE) {
            tk_logger::log(1, "Field #%d has not a date type", i);
            continue;
        }
        tk_logger::log(1, "Add map entry for field #%d", i);
        entries.push_back({i, schema[i]->name, no_date, vt == VT_DATE ? date_time : no_date});
    }
}

int32_t dates_map::get_kind(const std::wstring& text)
{
    switch (text.size()) {
    case 19:
        return valid_date(text, 0, L'-') && text[10] == L' ' && valid_time(text, 11, L':') ? date_time : no_date;
    case 14:
        return valid_date(text, 0, 0) && valid_time(text, 8, 0) ? date_time : no_date;
    case 10:
        return valid_date(text, 0, L'-') ? date_only : no_date;
    case 8:
        if (text[2] == L':')
            return valid_time(text, 0, L':') ? time_only : no_date;
        return valid_date(text, 0, 0) ? date_only : no_date;
    default:
        return no_date;
    }
}

const wchar_t* dates_map::type_name(int32_t state)
{
    static const wchar_t* const names[] = {L"CHAR(19)", L"DATETIME", L"DATE", L"TIME"};
    return names[state];
}

void dates_map::add_rec_stat(const udb_record& record)
{
    tk_logger::log(1, "dates_map::add_rec_stat(map size=%d)", static_cast<int>(entries.size()));
    for (entry& e : entries) {
        const udb_field* field = value_of(record, e);
        if (field == nullptr)
            continue;
        const std::wstring text = field->to_wstring();
        tk_logger::wlog(1, L"Got string representation: '%s'", text.c_str());
        const int32_t kind = get_kind(text);
        if (!e.seen) {
            e.state = kind;
            e.seen = true;
        } else if (e.state == no_date) {
            tk_logger::log(1, "skip mapping CHAR(19)");
        } else if (kind == no_date || (e.state == time_only) != (kind == time_only)) {
            tk_logger::log(1, "switch to char(19)");
            e.state = no_date;
        } else if (e.state == date_only && kind == date_time) {
            tk_logger::log(1, "switch to datetime");
            e.state = date_time;
        }
    }
    tk_logger::log(1, "End of dates_map::add_rec_stat");
}

num_map::num_map(const std::wstring& table_name_, const udb_schema& schema) : types_map(table_name_)
{
    tk_logger::log(2, "num_map::ctor(size=%d)", static_cast<int>(schema.size()));
    for (uint32_t i = 0; i < schema.size(); ++i) {
        const VARTYPE vt = schema[i]->vartype;
        tk_logger::log(1, "Field #%d has type %d", i, static_cast<int>(vt));
        int32_t declared = not_numeric;
        if (vt == VT_I4)
            declared = is_integer;
        else if (vt == VT_R4 || vt == VT_R8)
            declared = is_double_state;
        else if (vt == VT_I8)
            declared = is_bigint;
        entries.push_back({i, schema[i]->name, not_numeric, declared});
    }
}

bool num_map::is_i8(const std::string& text)
{
    tk_logger::log(1, "num_map::is_i8(%s)", text.c_str());
    int64_t value = 0;
    return integer_value(text, value) && !in_int32(value);
}

bool num_map::is_int(const std::string& text)
{
    tk_logger::log(1, "num_map::is_int(%s)", text.c_str());
    int64_t value = 0;
    return integer_value(text, value) && in_int32(value);
}

bool num_map::fits_double(const std::string& text)
{
    std::string_view digits;
    return plain_integer(text, digits) && digits.size() <= 15;
}

bool num_map::is_double(const std::string& text)
{
    tk_logger::log(1, "num_map::is_double(%s)", text.c_str());
    const size_t point = text.find('.');
    if (point == std::string::npos || point + 1 == text.size() || text.back() == '0')
        return false;
    std::string_view whole;
    const std::string integer_part = text.substr(0, point);
    if (!plain_integer(integer_part, whole) && integer_part != "-0")
        return false;
    const std::string_view fraction = std::string_view(text).substr(point + 1);
    for (char c : fraction)
        if (c < '0' || c > '9')
            return false;
    if (whole.empty() || whole == "0") {
        // Below 0.0001 a DOUBLE is shown in exponent form.
        const size_t zeros = fraction.find_first_not_of('0');
        return zeros <= 3 && fraction.size() - zeros <= 15;
    }
    return whole.size() + fraction.size() <= 15;
}

const wchar_t* num_map::type_name(int32_t state)
{
    static const wchar_t* const names[] = {L"VARCHAR (255)", L"DOUBLE", L"BIGINT", L"INT"};
    return names[state];
}

void num_map::add_rec_stat(const udb_record& record)
{
    tk_logger::log(1, "num_map::add_rec_stat(map size=%d)", static_cast<int>(entries.size()));
    for (entry& e : entries) {
        const udb_field* field = value_of(record, e);
        if (field == nullptr)
            continue;
        const std::string text = field->to_string();
        tk_logger::log(1, "Got string representation: '%s'", text.c_str());
        if (e.seen && e.state == not_numeric) {
            tk_logger::log(1, "skip mapping VARCHAR");
            continue;
        }
        int32_t kind = not_numeric;
        if (is_int(text))
            kind = is_integer;
        else if (is_i8(text))
            kind = is_bigint;
        else if (is_double(text))
            kind = is_double_state;
        e.fits_double = e.fits_double && (kind == is_double_state || fits_double(text));
        if (!e.seen) {
            e.seen = true;
            e.state = kind;
        } else if (kind == not_numeric) {
            tk_logger::log(1, "Switch to VARCHAR");
            e.state = not_numeric;
        } else if (kind == is_double_state || (kind == is_bigint && e.state == is_integer)) {
            tk_logger::log(1, kind == is_double_state ? "Switch to DOUBLE" : "Switch to VT_I8");
            e.state = kind;
        }
        if (e.state == is_double_state && !e.fits_double)
            e.state = not_numeric;
    }
}
