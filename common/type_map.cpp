#include "common/type_map.hpp"

#include "TK/tk_log.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <type_traits>

namespace {

bool in_int32(int64_t v)
{
    return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

template <class C>
bool is_digit(C c)
{
    return c >= C('0') && c <= C('9');
}

// The digits of a plain integer: an optional "-", then "0" or digits without
// a leading zero; "-0" is refused (a number column would drop the sign).
template <class C>
bool plain_integer(std::basic_string_view<C> text, std::basic_string_view<C>& digits)
{
    const bool negative = !text.empty() && text.front() == C('-');
    if (negative)
        text.remove_prefix(1);
    if (text.empty() || (text.front() == C('0') && (text.size() > 1 || negative)))
        return false;
    for (C c : text)
        if (!is_digit(c))
            return false;
    digits = text;
    return true;
}

// The plain integer's value; false beyond 64 bits.
template <class C>
bool integer_value(std::basic_string_view<C> text, int64_t& value)
{
    std::basic_string_view<C> digits;
    if (!plain_integer(text, digits) || digits.size() > 19)
        return false;
    uint64_t magnitude = 0;
    for (C c : digits) {
        const uint64_t next = magnitude * 10 + static_cast<uint64_t>(c - C('0'));
        if (next / 10 != magnitude)
            return false;
        magnitude = next;
    }
    const bool negative = text.front() == C('-');
    const uint64_t limit = negative ? uint64_t(1) << 63 : (uint64_t(1) << 63) - 1;
    if (magnitude > limit)
        return false;
    value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return true;
}

// The digits of an exponent, with an optional sign.
template <class C>
bool exponent_digits(std::basic_string_view<C> text)
{
    if (!text.empty() && (text.front() == C('+') || text.front() == C('-')))
        text.remove_prefix(1);
    return !text.empty() && std::all_of(text.begin(), text.end(), is_digit<C>);
}

// Whether a number's text (ASCII, already checked) reads as a double of full
// precision: neither beyond its range nor below its normal numbers, where
// digits are lost; zero is zero.
bool read_double(std::string_view text, double& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() &&
           (value == 0 || std::fabs(value) >= std::numeric_limits<double>::min());
}

// The significant digits of a mantissa's text into `out`: its digits without
// the sign, the point and the zeros that lead or trail them; 0 when there are
// more than `out` holds.
size_t significant_digits(std::string_view mantissa, char (&out)[24])
{
    size_t n = 0;
    for (const char c : mantissa) {
        if (!is_digit(c) || (n == 0 && c == '0'))
            continue;
        if (n == sizeof out)
            return 0;
        out[n++] = c;
    }
    while (n > 0 && out[n - 1] == '0')
        --n;
    return n;
}

// Whether the text's digits are those of its double's shortest form, the
// digits a DOUBLE column gives back: 0.30000000000000004 is, while
// 0.10000000000000001 reads back as 0.1.
bool reads_back_digit_for_digit(std::string_view text)
{
    double value = 0;
    if (!read_double(text, value))
        return false;
    char shortest[32];
    const auto written = std::to_chars(shortest, shortest + sizeof shortest, value, std::chars_format::scientific);
    const std::string_view form(shortest, static_cast<size_t>(written.ptr - shortest));
    char given[24], back[24];
    const size_t n = significant_digits(text.substr(0, text.find_first_of("eE")), given);
    return n > 0 && n == significant_digits(form.substr(0, form.find('e')), back) && std::equal(given, given + n, back);
}

// The double checks on a text of any width, narrowed in place: the
// statistics meet them for every such value.
template <class C>
bool double_check(std::basic_string_view<C> text, bool digit_for_digit)
{
    if constexpr (!std::is_same_v<C, char>) {
        char narrow[64];
        if (text.size() <= sizeof narrow) {
            std::copy(text.begin(), text.end(), narrow);
            return double_check(std::string_view(narrow, text.size()), digit_for_digit);
        }
        return double_check(std::string_view(std::string(text.begin(), text.end())), digit_for_digit);
    } else {
        double value = 0;
        return digit_for_digit ? reads_back_digit_for_digit(text) : read_double(text, value);
    }
}

template <class C>
bool fits_double_t(std::basic_string_view<C> text)
{
    std::basic_string_view<C> digits;
    return plain_integer(text, digits) && digits.size() <= 15;
}

// A decimal a DOUBLE holds: an optional "-", an integer part as a plain
// integer's (or none before the point: ".5", as statistics packages write
// it), an optional fraction and an optional exponent ("1e5", "1.23E-05", as
// spreadsheets write small numbers), so that the column keeps the number the
// text says: at most 15 significant digits, or 16 and 17 where they are the
// digits the double reads back as (Python and JavaScript write every float
// so). Zeros at the end of a fraction say nothing of the number ("19.90" is
// 19.9): they count neither as digits nor against the column. A value beyond
// the double's range (1e400, 1e-400) is none.
template <class C>
bool is_double_t(std::basic_string_view<C> text)
{
    const size_t exponent_at = std::min(text.find(C('e')), text.find(C('E')));
    const std::basic_string_view<C> mantissa = text.substr(0, exponent_at);
    const size_t point = mantissa.find(C('.'));
    if (point == text.npos && exponent_at == text.npos)
        return false;
    const std::basic_string_view<C> integer_part = mantissa.substr(0, point);
    const bool bare = integer_part.empty() || (integer_part.size() == 1 && integer_part[0] == C('-'));
    const bool minus_zero = integer_part.size() == 2 && integer_part[0] == C('-') && integer_part[1] == C('0');
    std::basic_string_view<C> whole;
    if (!bare && !minus_zero && !plain_integer(integer_part, whole))
        return false;
    std::basic_string_view<C> fraction;
    if (point != text.npos) {
        fraction = mantissa.substr(point + 1);
        if (fraction.empty() || !std::all_of(fraction.begin(), fraction.end(), is_digit<C>))
            return false;
    } else if (bare) {
        return false;
    }
    if (exponent_at != text.npos && !exponent_digits(text.substr(exponent_at + 1)))
        return false;
    fraction = fraction.substr(0, fraction.find_last_not_of(C('0')) + 1);  // npos + 1 is 0: no digit left
    if (whole.size() == 1 && whole[0] == C('0'))
        whole = {};
    const size_t leading_zeros = whole.empty() ? std::min(fraction.find_first_not_of(C('0')), fraction.size()) : 0;
    const size_t digits = whole.size() + fraction.size() - leading_zeros;
    // A plain decimal of up to 15 digits lies far within the double's range
    // (below 1e15, and above 1e-300 while fewer zeros follow the point): the
    // statistics meet one in most values of a decimal column, and need not
    // read it.
    if (exponent_at == text.npos && digits <= 15 && leading_zeros < 300)
        return true;
    return digits <= 17 && double_check(text, digits > 15);
}

// Which of the number states a text is.
template <class C>
int32_t number_kind(std::basic_string_view<C> text)
{
    int64_t value = 0;
    if (integer_value(text, value))
        return in_int32(value) ? num_map::is_integer : num_map::is_bigint;
    return is_double_t(text) ? num_map::is_double_state : num_map::not_numeric;
}

int32_t double_kind(double v)
{
    if (!std::isfinite(v))
        return num_map::not_numeric;
    if (v == std::trunc(v) && std::fabs(v) < 9.2e18)
        return in_int32(static_cast<int64_t>(v)) ? num_map::is_integer : num_map::is_bigint;
    return num_map::is_double_state;
}

// The number state of a value held as a floating or exact number, judged by
// the number itself: its text (an exponent form, seventeen digits) says
// nothing of the column it needs. False for values held otherwise.
bool held_number_kind(const udb_record& record, size_t n, int32_t& kind)
{
    if (n >= record.size() || !record[n])
        return false;
    const VARTYPE vt = record[n]->get_type();
    if (vt != VT_R4 && vt != VT_R8 && vt != VT_CY && vt != VT_DECIMAL)
        return false;
    kind = double_kind(record[n]->to_double());
    return true;
}

// Two digits at text[pos] within [low, high]; -1 when they are not.
template <class C>
int two_digits(std::basic_string_view<C> text, size_t pos, int low, int high)
{
    const C a = text[pos], b = text[pos + 1];
    if (a < C('0') || a > C('9') || b < C('0') || b > C('9'))
        return -1;
    const int v = (a - C('0')) * 10 + (b - C('0'));
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
template <class C>
bool valid_date(std::basic_string_view<C> text, size_t pos, C sep)
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

// A time of day 00:00:00 to 23:59:59 at text[pos] (a TIME of up to
// 99:59:59 with most_hour 99), parts separated by sep when sep is not 0.
template <class C>
bool valid_time(std::basic_string_view<C> text, size_t pos, C sep, int most_hour = 23)
{
    const size_t step = sep != 0 ? 1 : 0;
    if (sep != 0 && (text[pos + 2] != sep || text[pos + 5] != sep))
        return false;
    return two_digits(text, pos, 0, most_hour) >= 0 && two_digits(text, pos + 2 + step, 0, 59) >= 0 &&
           two_digits(text, pos + 4 + 2 * step, 0, 59) >= 0;
}

// An elapsed time of 100 to 838 hours, "HHH:MM:SS", which a TIME holds.
template <class C>
bool valid_long_time(std::basic_string_view<C> text)
{
    const C h = text[0];
    if (h < C('1') || h > C('8'))
        return false;
    const int hundreds = h - C('0'), rest = two_digits(text, 1, 0, 99);
    return rest >= 0 && hundreds * 100 + rest <= 838 && valid_time(text, 1, C(':'), 99);
}

// How the system writes a time of day alone in narrow text.
template <class C>
bool starts_with_zero_date(std::basic_string_view<C> text)
{
    constexpr std::string_view zero_date = "0000-00-00 ";
    if (text.size() < zero_date.size())
        return false;
    for (size_t i = 0; i < zero_date.size(); ++i)
        if (text[i] != C(zero_date[i]))
            return false;
    return true;
}

template <class C>
int32_t date_kind(std::basic_string_view<C> text)
{
    const C none = 0;
    switch (text.size()) {
    case 19:
        if (starts_with_zero_date(text))
            return valid_time(text, 11, C(':')) ? dates_map::time_only : dates_map::no_date;
        return valid_date(text, 0, C('-')) && text[10] == C(' ') && valid_time(text, 11, C(':')) ? dates_map::date_time
                                                                                                : dates_map::no_date;
    case 14:
        return valid_date(text, 0, none) && valid_time(text, 8, none) ? dates_map::date_time : dates_map::no_date;
    case 10:
        return valid_date(text, 0, C('-')) ? dates_map::date_only : dates_map::no_date;
    case 9:
        return valid_long_time(text) ? dates_map::time_only : dates_map::no_date;
    case 8:
        // a time alone may be an elapsed time, which a TIME holds up to 838 hours
        if (text[2] == C(':'))
            return valid_time(text, 0, C(':'), 99) ? dates_map::time_only : dates_map::no_date;
        return valid_date(text, 0, none) ? dates_map::date_only : dates_map::no_date;
    default:
        return dates_map::no_date;
    }
}

// The state of a date column once it met a value of the given kind; a
// fraction counts only while the column is a date with time or a time.
void note_date(types_map::entry& e, int32_t kind, bool fraction = false)
{
    e.fraction = e.fraction || fraction;
    if (!e.seen) {
        e.state = kind;
        e.seen = true;
    } else if (kind == dates_map::no_date || (e.state == dates_map::time_only) != (kind == dates_map::time_only)) {
        tk_logger::log(1, "switch to char(19)");
        e.state = dates_map::no_date;
    } else if (e.state == dates_map::date_only && kind == dates_map::date_time) {
        tk_logger::log(1, "switch to datetime");
        e.state = dates_map::date_time;
    }
    if (e.state != dates_map::date_time && e.state != dates_map::time_only)
        e.fraction = false;
}

// The state of a number column once it met a value of the given kind.
void note_number(types_map::entry& e, int32_t kind)
{
    if (!e.seen) {
        e.seen = true;
        e.state = kind;
    } else if (kind == num_map::not_numeric) {
        tk_logger::log(1, "Switch to VARCHAR");
        e.state = num_map::not_numeric;
    } else if (kind == num_map::is_double_state || (kind == num_map::is_bigint && e.state == num_map::is_integer)) {
        tk_logger::log(1, kind == num_map::is_double_state ? "Switch to DOUBLE" : "Switch to VT_I8");
        e.state = kind;
    }
    if (e.state == num_map::is_double_state && !e.fits_double)
        e.state = num_map::not_numeric;
}

template <class C>
int32_t text_number_kind(types_map::entry& e, std::basic_string_view<C> text)
{
    const int32_t kind = number_kind(text);
    e.fits_double = e.fits_double && (kind == num_map::is_double_state || fits_double_t(text));
    return kind;
}

// Hands the text of the field at the entry's position to use: a text where it
// is (this runs for every value read), any other value as its narrow text,
// which is ASCII. False for a missing field, one without a value and an empty
// text, which a typed column takes as NULL.
template <class F>
bool use_text_of(const udb_record& record, const types_map::entry& e, std::string& scratch, F use)
{
    if (e.n_field >= record.size() || !record[e.n_field])
        return false;
    const udb_field& field = *record[e.n_field];
    switch (field.get_type()) {
    case VT_EMPTY:
    case VT_NULL:
        return false;
    case VT_BSTR: {
        const BSTR value = field.get_variant().bstrVal;
        const std::wstring_view text =
            value != nullptr ? std::wstring_view(value, field.get_text_length()) : std::wstring_view();
        tk_logger::wlog(1, L"Got string representation: '%s'", text.empty() ? L"" : text.data());
        if (text.empty())
            return false;
        use(text);
        return true;
    }
    default:
        scratch = field.to_string();
        tk_logger::log(1, "Got string representation: '%s'", scratch.c_str());
        use(std::string_view(scratch));
        return true;
    }
}

} // namespace

types_map::types_map(const std::wstring& table_name_) : table_name(table_name_)
{
    tk_logger::wlog(2, L"types_map::ctor(%s)", table_name.c_str());
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
        entries.push_back({i, schema[i]->name, no_date, declared_state(*schema[i])});
    }
}

int32_t dates_map::declared_state(const t_ftd& column)
{
    if (column.vartype != VT_DATE)
        return no_date;
    if (column.reserved == now_default)
        return date_time;
    if (column.reserved == date_default)
        return date_only;
    return static_cast<int32_t>(column.reserved & 3);
}

int32_t dates_map::get_kind(std::wstring_view text)
{
    return date_kind(text);
}

int32_t dates_map::get_kind(std::string_view text)
{
    return date_kind(text);
}

int32_t dates_map::held_date_kind(std::string_view text, bool& fraction)
{
    constexpr size_t whole = 19;  // "YYYY-MM-DD HH:MM:SS", a time with the zero date
    fraction = text.size() > whole + 1 && text.size() <= whole + 4 && text[whole] == '.' &&
               std::all_of(text.begin() + whole + 1, text.end(), is_digit<char>);
    return date_kind(fraction ? text.substr(0, whole) : text);
}

const wchar_t* dates_map::type_name(int32_t state)
{
    static const wchar_t* const names[] = {L"CHAR(19)", L"DATETIME", L"DATE", L"TIME"};
    return names[state];
}

void dates_map::set_type(t_ftd& column, const entry& e)
{
    if (e.state == no_date) {
        // Room for the longest text a date prints: "2004-08-01 12:30:45.123".
        column.vartype = VT_BSTR;
        column.size = 23;
        column.reserved = 0;
        return;
    }
    // The date writers read which of the types it is from the mark.
    column.vartype = VT_DATE;
    column.size = 8;
    column.reserved = static_cast<uint32_t>(e.state);
    column.precision = e.fraction ? 3 : 0;
}

void dates_map::add_rec_stat(const udb_record& record)
{
    tk_logger::log(1, "dates_map::add_rec_stat(map size=%d)", static_cast<int>(entries.size()));
    std::string scratch;
    for (entry& e : entries) {
        // A column that held a value no date type takes stays as it is.
        if (e.seen && e.state == no_date) {
            tk_logger::log(1, "skip mapping CHAR(19)");
            continue;
        }
        // A date the record holds prints its fraction of a second, if any.
        const bool held = e.n_field < record.size() && record[e.n_field] && record[e.n_field]->get_type() == VT_DATE;
        use_text_of(record, e, scratch, [&e, held](auto text) {
            bool fraction = false;
            if constexpr (std::is_same_v<decltype(text), std::string_view>) {
                const int32_t kind = held ? held_date_kind(text, fraction) : date_kind(text);
                note_date(e, kind, fraction);
            } else {
                note_date(e, date_kind(text));
            }
        });
    }
    tk_logger::log(1, "End of dates_map::add_rec_stat");
}

void dates_map::add_text_stat(const std::vector<std::string_view>& values)
{
    for (entry& e : entries)
        if (!(e.seen && e.state == no_date) && e.n_field < values.size() && !values[e.n_field].empty())
            note_date(e, get_kind(values[e.n_field]));
}

void dates_map::add_text(size_t index, std::string_view text)
{
    if (!text.empty())
        note_date(entries[index], get_kind(text));
}

void dates_map::add_kind(size_t index, int32_t kind, bool fraction) { note_date(entries[index], kind, fraction); }

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
    return number_kind(std::string_view(text)) == is_bigint;
}

bool num_map::is_int(const std::string& text)
{
    tk_logger::log(1, "num_map::is_int(%s)", text.c_str());
    return number_kind(std::string_view(text)) == is_integer;
}

bool num_map::fits_double(const std::string& text) { return fits_double_t(std::string_view(text)); }

bool num_map::is_double(const std::string& text)
{
    tk_logger::log(1, "num_map::is_double(%s)", text.c_str());
    return is_double_t(std::string_view(text));
}

const wchar_t* num_map::type_name(int32_t state)
{
    static const wchar_t* const names[] = {L"VARCHAR (255)", L"DOUBLE", L"BIGINT", L"INT"};
    return names[state];
}

void num_map::set_type(t_ftd& column, const entry& e)
{
    static const VARTYPE types[] = {VT_BSTR, VT_R8, VT_I8, VT_I4};
    static const uint32_t sizes[] = {255, 8, 8, 4};
    column.vartype = types[e.state];
    column.size = sizes[e.state];
    column.reserved = 0;
}

void num_map::add_rec_stat(const udb_record& record)
{
    tk_logger::log(1, "num_map::add_rec_stat(map size=%d)", static_cast<int>(entries.size()));
    std::string scratch;
    for (entry& e : entries) {
        if (e.seen && e.state == not_numeric) {
            tk_logger::log(1, "skip mapping VARCHAR");
            continue;
        }
        int32_t kind = not_numeric;
        if (held_number_kind(record, e.n_field, kind) ||
            use_text_of(record, e, scratch, [&](auto text) { kind = text_number_kind(e, text); }))
            note_number(e, kind);
    }
}

void num_map::add_text_stat(const std::vector<std::string_view>& values)
{
    for (entry& e : entries)
        if (!(e.seen && e.state == not_numeric) && e.n_field < values.size() && !values[e.n_field].empty())
            note_number(e, text_number_kind(e, values[e.n_field]));
}

void num_map::add_text(size_t index, std::string_view text)
{
    entry& e = entries[index];
    if (!text.empty())
        note_number(e, text_number_kind(e, text));
}

void num_map::add_number(size_t index, double value) { note_number(entries[index], double_kind(value)); }
