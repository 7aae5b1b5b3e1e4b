#include "SQL/sql_util.hpp"

#include "OLE/ole_date.hpp"
#include "OLE/ole_guid.hpp"
#include "OLE/ole_misc.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_fld.hpp"
#include "UDB/udb_ftd.hpp"
#include "UDB/udb_rule.hpp"
#include "platform/text/pl_format.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstring>
#include <type_traits>

namespace {

const char source_file[] = "sql_util";
constexpr uint32_t long_data_size = 0x100000;  // larger values go as long data

bool is_empty_type(VARTYPE vt)
{
    return vt == VT_EMPTY || vt == VT_NULL;
}

bool is_binary_type(VARTYPE vt)
{
    return vt == VT_BLOB || vt == VT_BLOB_OBJECT || vt == ole_vt_bytes;
}

template <class C>
std::basic_string<C> widen(const char* ascii)
{
    return std::basic_string<C>(ascii, ascii + std::char_traits<char>::length(ascii));
}

template <class C>
bool is_digit(C c)
{
    return c >= '0' && c <= '9';
}

template <class C>
bool is_hex_digit(C c)
{
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The escape sequence of a character inside a quoted literal, as the client
// library writes them; null for a character that stands as it is.
template <class C>
constexpr const char* escape_of(C c)
{
    switch (c) {
    case '\\': return "\\\\";
    case '\'': return "\\'";
    case '\0': return "\\0";
    case '\r': return "\\r";
    case '\n': return "\\n";
    case '\x1A': return "\\Z";
    default: return nullptr;
    }
}

// The characters below 0x80 that stand in a quoted literal as they are:
// looked up, as this runs for every character of every text.
constexpr auto plain_ascii = [] {
    std::array<bool, 0x80> table{};
    for (size_t i = 0; i < table.size(); ++i)
        table[i] = escape_of(static_cast<char>(i)) == nullptr;
    return table;
}();

// Every character from 0x80 up stands as it is too (in UTF-8 text, every
// byte of such a character).
template <class C>
bool stands_as_it_is(C c)
{
    const auto code = static_cast<std::make_unsigned_t<C>>(c);
    return code >= 0x80 || plain_ascii[code];
}

// Whether any of eight bytes may need an escape: a quote, a backslash or a
// control character (a few others may be taken for one, and are looked at).
bool may_need_escape(uint64_t bytes)
{
    constexpr uint64_t ones = 0x0101010101010101u, highs = 0x8080808080808080u;
    const auto has_zero = [](uint64_t v) { return (v - ones) & ~v & highs; };
    return (has_zero(bytes ^ (ones * '\'')) | has_zero(bytes ^ (ones * '\\')) | ((bytes - ones * 0x20) & ~bytes & highs))
           != 0;
}

// Where the next character from `from` on needs an escape; the text's size
// when none does. Narrow text is looked at eight bytes at a time.
template <class C>
size_t next_escape(std::basic_string_view<C> text, size_t from)
{
    size_t i = from;
    while (i < text.size()) {
        if constexpr (sizeof(C) == 1) {
            uint64_t bytes = 0;
            if (i + sizeof bytes <= text.size()) {
                std::memcpy(&bytes, text.data() + i, sizeof bytes);
                if (!may_need_escape(bytes)) {
                    i += sizeof bytes;
                    continue;
                }
            }
        }
        const size_t stop = std::min(text.size(), i + 8);
        for (; i < stop; ++i)
            if (!stands_as_it_is(text[i]))
                return i;
    }
    return text.size();
}

// Appends text escaped: runs of characters that stand as they are go in one
// piece, which is most of any text.
template <class C>
void append_escaped(std::basic_string<C>& out, std::basic_string_view<C> text)
{
    size_t run = 0;
    for (size_t i = next_escape(text, 0); i < text.size(); i = next_escape(text, i + 1)) {
        out.append(text.substr(run, i - run));
        for (const char* sequence = escape_of(text[i]); *sequence != '\0'; ++sequence)
            out += C(*sequence);
        run = i + 1;
    }
    out.append(text.substr(run));
}

template <class C>
std::basic_string<C> escape(const std::basic_string<C>& text)
{
    std::basic_string<C> out;
    out.reserve(text.size() + 8);
    append_escaped(out, std::basic_string_view<C>(text));
    return out;
}

template <class C>
void append_quoted(std::basic_string<C>& out, std::basic_string_view<C> text)
{
    // Most texts need no escape: they go in with their quotes in one piece.
    if (next_escape(text, 0) == text.size()) {
        const size_t at = out.size();
        out.resize(at + text.size() + 2);
        C* to = out.data() + at;
        *to = C('\'');
        to = std::copy(text.begin(), text.end(), to + 1);
        *to = C('\'');
        return;
    }
    out += C('\'');
    append_escaped(out, text);
    out += C('\'');
}

template <class C>
std::basic_string<C> quoted(const std::basic_string<C>& text)
{
    std::basic_string<C> out;
    append_quoted(out, std::basic_string_view<C>(text));
    return out;
}

bool is_ascii(wchar_t c) { return static_cast<uint32_t>(c) < 0x80; }

bool is_plain_ascii(wchar_t c) { return is_ascii(c) && stands_as_it_is(c); }

// Appends wide text as a quoted, escaped UTF-8 literal in one pass: the text
// of every cell of a text column goes through here. A run of ASCII that needs
// no escape is copied with one resize of out.
void append_quoted_utf8(std::string& out, std::wstring_view text)
{
    out += '\'';
    for (size_t i = 0; i < text.size();) {
        size_t run = i;
        while (run < text.size() && is_plain_ascii(text[run]))
            ++run;
        if (run > i) {
            const size_t at = out.size();
            out.resize(at + (run - i));
            char* to = out.data() + at;
            for (; i < run; ++i)
                *to++ = static_cast<char>(text[i]);
            continue;
        }
        if (const char* sequence = escape_of(text[i])) {
            out += sequence;
            ++i;
            continue;
        }
        while (run < text.size() && !is_ascii(text[run]))
            ++run;
        platform::append_utf8(out, text.substr(i, run - i));
        i = run;
    }
    out += '\'';
}

template <class C>
bool is_number(std::basic_string_view<C> text)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    size_t digits = 0;
    for (; i < text.size() && is_digit(text[i]); ++i)
        ++digits;
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && is_digit(text[i]); ++i)
            ++digits;
    if (digits == 0)
        return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        const size_t start = i;
        for (; i < text.size() && is_digit(text[i]); ++i) {
        }
        if (i == start)
            return false;
    }
    return i == text.size();
}

// TRUE and FALSE, in any case: MySQL's own words for 1 and 0.
template <class C>
bool is_truth_word(std::basic_string_view<C> text)
{
    std::string word;
    for (const C c : text)
        word += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : (c < 128 ? c : '?'));
    return word == "true" || word == "false";
}

// A binary value given as text passes unquoted only as a hexadecimal literal
// (0x and at least one digit) or a decimal number.
template <class C>
bool is_blob_literal(std::basic_string_view<C> text)
{
    if (text.size() < 2 || !is_digit(text[0]))
        return false;
    if (text[1] == 'x' || text[1] == 'X') {
        if (text[0] != '0' || text.size() < 3)
            return false;
        for (size_t i = 2; i < text.size(); ++i)
            if (!is_hex_digit(text[i]))
                return false;
        return true;
    }
    for (size_t i = 1; i < text.size(); ++i)
        if (!is_digit(text[i]))
            return false;
    return true;
}

std::string date_text(const ole_date& date, std::string_view)
{
    return date.to_string(6);
}

std::wstring date_text(const ole_date& date, std::wstring_view)
{
    return date.to_wstring(6);
}

template <class C>
void append_literal(std::basic_string<C>& out, std::type_identity_t<std::basic_string_view<C>> text, VARTYPE vt)
{
    if (is_empty_type(vt)) {
        tk_logger::log(1, "******* NULL VALUE ******");
        out += widen<C>("NULL");
    } else if (text.empty()) {
        out += widen<C>("''");
    } else if (vt == VT_DATE) {
        // A text that is no date stays as it is, for the server to judge.
        const ole_date date{std::basic_string<C>(text)};
        if (date.is_valid())
            append_quoted(out, std::basic_string_view<C>(date_text(date, text)));
        else
            append_quoted(out, text);
    } else if (is_binary_type(vt)) {
        tk_logger::log(1, "GOT BLOB");
        if (is_blob_literal(text)) {
            tk_logger::log(1, "BLOB IS VALID");
            out += text;
        } else {
            append_quoted(out, text);
        }
    } else if (vt != VT_BSTR && (is_number(text) || (vt == VT_BOOL && is_truth_word(text)))) {
        // Numbers and truth values go bare, but only what reads as one: any
        // other text in a numeric column is a string, never part of the
        // statement.
        out += text;
    } else {
        append_quoted(out, text);
    }
}

// A GUID column (the workbook side marks one so) holds the GUID alone; a
// text that holds none stays as written.
bool is_guid_column(const t_ftd& column) { return column.reserved == 1; }

std::wstring guid_text(const std::wstring& text)
{
    const ole_guid_extractor guid(text);
    if (!guid.b_valid)
        return text;
    tk_logger::log(1, "BSTR IS AN GUID");
    return guid.get_wguid();
}

// A time of day alone: as itself in a TIME column; in any other date column
// on day zero of the dates it comes with (1899-12-30), never on the zero date
// that strict servers refuse.
void append_time_literal(std::string& out, std::string_view time, const t_ftd& column)
{
    out += sql_is_time_column(column) ? "'" : "'1899-12-30 ";
    out += time;
    out += '\'';
}

std::string hex_literal(const ole_variant& value)
{
    const unsigned char* bytes = nullptr;
    std::unique_ptr<char[]> buffer;
    const int count = value.get_bytes1(bytes, buffer);
    if (count <= 0)
        return "NULL";
    std::string out(2 + 2 * static_cast<size_t>(count) + 1, '\0');
    out[0] = '0';
    out[1] = 'x';
    tk_bytes_to_hex(static_cast<size_t>(count), bytes, out.data() + 2);
    out.pop_back();
    return out;
}

} // namespace

std::wstring sql_escape(const std::wstring& text)
{
    return escape(text);
}

std::string sql_escape(const std::string& text)
{
    return escape(text);
}

bool sql_is_number(const std::wstring& text)
{
    return is_number(std::wstring_view(text));
}

bool sql_is_number(const std::string& text)
{
    return is_number(std::string_view(text));
}

bool sql_shown_text(const udb_field& field, std::string& text)
{
    const VARIANT& value = field.get_variant();
    if (field.get_type() != value.vt)
        return false;
    if (value.vt == VT_DATE) {
        text = field.to_string();
        for (const std::string_view day : {"0000-00-00 ", "1899-12-30 "})
            if (text.starts_with(day))
                text.erase(0, day.size());
    } else if (value.vt == VT_R8 && std::isfinite(value.dblVal)) {
        text = platform::general_number(value.dblVal);
    } else if (value.vt == VT_R4 && std::isfinite(value.fltVal)) {
        text = platform::general_number(value.fltVal);
    } else {
        return false;
    }
    return true;
}

std::wstring to_mysql_wstr(const std::wstring& text, VARTYPE vt)
{
    tk_logger::wlog(1, L"to_mysql_wstr(%s)", text.c_str());
    std::wstring out;
    append_literal(out, text, vt);
    return out;
}

std::string to_mysql_str(const std::string& text, VARTYPE vt)
{
    tk_logger::log(1, "to_mysql_str(%s)", text.c_str());
    std::string out;
    append_literal(out, text, vt);
    return out;
}

namespace {

// A double as the shortest text that reads back as the same double: "1", not
// the cell text form's "1.0000000000000000e+00" (a third of a workbook's dump
// and of the server's parsing). NaN and the infinities are no numbers: "0",
// as the text form gives them.
void append_real(std::string& out, double value)
{
    if (!std::isfinite(value)) {
        out += '0';
        return;
    }
    char buffer[32];
    out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, value).ptr);
}

void append_field_literal(std::string& out, const udb_field& field)
{
    const VARTYPE own = field.get_type();
    if (own == ole_vt_bytes) {
        tk_logger::log(1, "special processing for BLOBs");
        out += hex_literal(field);
    } else if (const VARIANT& v = field.get_variant(); v.vt == VT_R8 && own == VT_R8) {
        append_real(out, v.dblVal);
    } else {
        append_literal(out, field.to_string(), own);
    }
}

// The literal of a value for a text column.
void append_text_literal(std::string& out, const udb_field& field, const t_ftd& column, VARTYPE own)
{
    if (column.reserved == 2 || column.reserved == 8) {
        // No text is no geometry: NULL, where '' would fail the row.
        const std::wstring text = field.to_wstring();
        if (is_empty_type(own) || text.empty())
            out += "NULL";
        else
            out += tk_to_utf8(L"ST_GeomFromText(" + quoted(text) + L")");
        return;
    }
    // A number or a date goes as the sheet shows it: a bare number the server
    // would print its own way, a date's own text its whole date and time.
    if (std::string shown; sql_shown_text(field, shown)) {
        append_quoted(out, std::string_view(shown));
        return;
    }
    if (own != VT_BSTR) {
        out += tk_to_utf8(to_mysql_wstr(field.to_wstring(), own));
        return;
    }
    // A text is read where it is, without a copy: most cells take this way,
    // the text of a UTF-8 file as its own bytes.
    std::string_view utf8;
    if (!is_guid_column(column) && field.get_utf8(utf8)) {
        append_quoted(out, utf8);
        return;
    }
    const VARIANT& v = field.get_variant();
    if (v.vt == VT_BSTR && !is_guid_column(column)) {
        tk_logger::wlog(1, L"Got BSTR value: %s, flags=%d", v.bstrVal != nullptr ? v.bstrVal : L"", column.reserved);
        append_quoted_utf8(out, bstr_view(v.bstrVal));
        return;
    }
    const std::wstring text = field.to_wstring();
    tk_logger::wlog(1, L"Got BSTR value: %s, flags=%d", text.c_str(), column.reserved);
    append_quoted_utf8(out, is_guid_column(column) ? guid_text(text) : text);
}

// The UTF-8 text of a value: a UTF-8 file's text where it is, any other in
// storage kept from value to value, so that a text read into a typed column
// takes no allocation.
std::string_view text_of(const udb_field& field)
{
    std::string_view utf8;
    if (field.get_utf8(utf8))
        return utf8;
    thread_local std::string text;
    if (const VARIANT& v = field.get_variant(); v.vt == VT_BSTR && field.get_type() == VT_BSTR) {
        text.clear();
        platform::append_utf8(text, bstr_view(v.bstrVal));
    } else {
        text = field.to_string();
    }
    return text;
}

// Whether a text may hold a time of day alone, for ole_date to tell: one
// begins with a number followed by ':' (10:30), or with the zero of the zero
// date (0000-00-00 10:30:00). Any other text is a date, a date and time or no
// date at all: most values of a date column are not parsed a second time.
bool may_be_time(std::string_view text)
{
    size_t i = 0;
    while (i < text.size() && static_cast<unsigned char>(text[i]) <= ' ')
        ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    const size_t digits = i;
    bool zero = true;
    for (; i < text.size() && is_digit(text[i]); ++i)
        zero = zero && text[i] == '0';
    return i == digits || zero || (i < text.size() && text[i] == ':');
}

// A time of day written as the server writes one, "HH:MM:SS" within the day:
// ole_date reads it and prints it back the same, so it is used as it stands.
bool is_plain_time(std::string_view text)
{
    const auto two = [&](size_t at, int high) {
        return is_digit(text[at]) && is_digit(text[at + 1]) && (text[at] - '0') * 10 + (text[at + 1] - '0') <= high;
    };
    return text.size() == 8 && text[2] == ':' && text[5] == ':' && two(0, 23) && two(3, 59) && two(6, 59);
}

// The literal of a value for a column of any other type; an empty value is
// NULL, or the column's default where it takes no NULL.
void append_typed_literal(std::string& out, const udb_field& field, const t_ftd& column, VARTYPE own)
{
    const size_t start = out.size();
    if (column.vartype == VT_DATE && !is_empty_type(own)) {
        // The text is made once: parsed for a time of day, else the literal.
        const std::string_view text = text_of(field);
        if (is_plain_time(text)) {
            append_time_literal(out, text, column);
            return;
        }
        if (may_be_time(text)) {
            const ole_date date{std::string(text)};
            if (date.is_valid() && date.kind == ole_date::kind_time) {
                append_time_literal(out, tk_to_utf8(date.to_wstring(6)), column);
                return;
            }
        }
        if (own == VT_R8 || own == ole_vt_bytes)
            append_field_literal(out, field);
        else
            append_literal(out, text, own);
    } else if (ole_is_numeric_type(column.vartype) && !ole_is_numeric_type(own)) {
        append_literal(out, text_of(field), column.vartype);
    } else {
        append_field_literal(out, field);
    }
    const std::string_view literal = std::string_view(out).substr(start);
    const bool empty = is_empty_type(own) || literal.empty() || literal == "''" || literal == "\"\"";
    if (!empty || is_binary_type(column.vartype))
        return;
    const std::string none(literal);
    out.resize(start);
    if (!column.b_not_null) {
        tk_logger::log(1, "Put NULL-field");
        out += "NULL";
        return;
    }
    tk_logger::log(1, "Put default value");
    const std::string default_text = column.default_value.to_string();
    if (!default_text.empty())
        append_literal(out, default_text, column.vartype);
    else if (ole_is_numeric_type(column.vartype))
        out += "NULL";  // no number of the program's own: the server refuses or changes it, and says so
    else
        out += none;
}

} // namespace

std::string to_mysql_str(const udb_field* field)
{
    if (field == nullptr)
        throw tk_mail_assertion(source_file, 907);
    std::string out;
    append_field_literal(out, *field);
    return out;
}

void append_fld_literal(std::string& out, const udb_field* field, const t_ftd* column, bool prepared)
{
    if (field == nullptr)
        throw tk_mail_assertion(source_file, 1138);
    if (column == nullptr)
        throw tk_mail_assertion(source_file, 1139);
    tk_logger::log(1, "get_fld_append_str");
    const VARTYPE own = field->get_type();
    if (prepared && own != VT_EMPTY && field->get_size() > long_data_size) {
        tk_logger::log(1, "fld->get_size()=%d", static_cast<int>(field->get_size()));
        tk_logger::log(1, "Returns placeholder for prepared statement");
        out += '?';
    } else if (udb_custom_conversion::is_acceptable2(*field)) {
        tk_logger::log(1, "udb_custom_conversion::is_acceptable");
        out += tk_to_utf8(udb_custom_conversion::handle2(*field));
    } else if (column->vartype == VT_BSTR) {
        append_text_literal(out, *field, *column, own);
    } else {
        append_typed_literal(out, *field, *column, own);
    }
}

std::string get_fld_append_str(const udb_field* field, const t_ftd* column, bool prepared)
{
    std::string out;
    append_fld_literal(out, field, column, prepared);
    return out;
}
