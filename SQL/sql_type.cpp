// MySQL type names of columns, DEFAULT texts, and the way back from MySQL
// field types and type names to VARTYPEs and cell values.
#include "SQL/sql_util.hpp"

#include "OLE/ole_date.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_ntyp.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_ftd.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_utf8.hpp"

#include <cerrno>
#include <cwchar>
#include <cwctype>
#include <set>
#include <vector>

namespace {

const char source_file[] = "sql_util";

constexpr uint32_t max_mediumtext = 5592405;   // characters of MEDIUMTEXT in utf8
constexpr uint32_t max_varchar = 21845;        // characters of a one- or two-byte set
constexpr uint32_t max_mediumblob = 16777215;
constexpr uint32_t max_row_bytes = 65535;
constexpr uint32_t varchar_length_bytes = 2;

constexpr uint32_t binary_flag = 0x80;
constexpr uint32_t unsigned_flag = 0x20;

// Character sets by the most bytes a character takes: one, two, three; any
// other takes up to four.
const wchar_t* const single_byte_sets[] = {
    L"dec8",   L"cp850",  L"hp8",      L"koi8r",    L"latin1",  L"latin2",   L"swe7",   L"ascii",   L"hebrew",
    L"tis620", L"koi8u",  L"greek",    L"cp1250",   L"latin5",  L"armscii8", L"cp866", L"keybcs2", L"macce",
    L"macroman", L"cp852", L"latin7",  L"cp1251",   L"cp1256",  L"cp1257",   L"binary", L"geostd8",
};
const wchar_t* const double_byte_sets[] = {L"big5", L"sjis", L"euckr", L"gb2312", L"gbk", L"ucs2", L"cp932"};
const wchar_t* const three_byte_sets[] = {L"utf8", L"utf8mb3", L"ujis", L"eucjpms"};

template <size_t N>
bool is_one_of(const std::wstring& name, const wchar_t* const (&names)[N])
{
    for (const wchar_t* listed : names)
        if (platform::equal_no_case(name, listed))
            return true;
    return false;
}

std::wstring with_size(const wchar_t* name, uint32_t size, bool name_only)
{
    return name_only ? std::wstring(name) : name + (L"(" + std::to_wstring(size) + L")");
}

std::wstring with_digits(const wchar_t* name, uint32_t precision, uint32_t scale, bool name_only)
{
    if (name_only)
        return name;
    return name + (L"(" + std::to_wstring(precision) + L"," + std::to_wstring(scale) + L")");
}

bool equals_any(const std::wstring& text, std::initializer_list<const wchar_t*> words)
{
    for (const wchar_t* word : words)
        if (platform::equal_no_case(text, word))
            return true;
    return false;
}

bool begins_with(const std::wstring& text, const wchar_t* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// Which MySQL type a date column takes: a default of the current moment or
// day decides it, else the kind of values the column holds.
enum class date_column { timestamp, date, text, date_time, time };

date_column date_kind(const t_ftd& column)
{
    const std::wstring def = column.default_value.to_wstring();
    tk_logger::wlog(1, L"Got date def.value: '%s'", def.c_str());
    if (column.reserved == 9 || equals_any(def, {L"NOW()", L"sysdate", L"getdate()", L"getutcdate()", L"CURRENT_TIMESTAMP"})) {
        tk_logger::log(1, "Customize date type due to NOW() def.value");
        return date_column::timestamp;
    }
    if (column.reserved == 10 || equals_any(def, {L"date()"})) {
        tk_logger::log(1, "Customize date type due to date() def.value");
        return date_column::date;
    }
    switch (column.reserved & 3) {
    case 0: return date_column::text;
    case 1: return date_column::date_time;
    case 2: tk_logger::log(1, "Got pure date"); return date_column::date;
    default: return date_column::time;
    }
}

// Milliseconds of a DATETIME or TIME column whose values have fractions of
// a second: servers have them from 5.6.4 on. For any other (a dump's target
// among them) they go in a comment that only such a server reads, so the
// script still loads into one without them, which drops the fractions.
std::wstring with_fraction(const wchar_t* type, const t_ftd& column, bool name_only)
{
    constexpr uint32_t fractional_seconds = 0x050604;
    if (column.precision == 0 || name_only)
        return type;
    const std::wstring digits = L"(" + std::to_wstring(column.precision) + L")";
    if (tk_singleton<sql_engine>::instance().get_version() >= fractional_seconds)
        return type + digits;
    return type + (L"/*!50604 " + digits + L"*/");
}

std::wstring date_type(const t_ftd& column, bool name_only)
{
    switch (date_kind(column)) {
    case date_column::timestamp: return L"TIMESTAMP";
    case date_column::date: return L"DATE";
    case date_column::text: return with_size(L"CHAR", 19, name_only);
    case date_column::date_time: return with_fraction(L"DATETIME", column, name_only);
    default: return with_fraction(L"TIME", column, name_only);
    }
}

std::wstring text_type(const t_ftd& column, bool name_only, const std::wstring& char_set)
{
    tk_logger::log(1, "process as text");
    if (column.reserved == 2 || column.reserved == 8) {
        tk_logger::log(1, "process VT_BSTR as geometry");
        return L"geometry";
    }
    if (column.reserved == 16) {
        tk_logger::log(1, "process VT_BSTR as fixed width CHAR");
        return with_size(L"CHAR", column.size, name_only);
    }
    if (column.size == 0 || column.size > max_mediumtext)
        return L"LONGTEXT";
    if (column.size > sql_varchar_limit(char_set)) {
        tk_logger::log(1, "case insensitive MEDIUMTEXT");
        return L"MEDIUMTEXT";
    }
    tk_logger::log(1, "case insensitive VARCHAR");
    return with_size(L"VARCHAR", column.size, name_only);
}

std::wstring blob_type(const t_ftd& column, bool name_only)
{
    tk_logger::log(1, "process as blob");
    if (column.size == 0 || column.size > max_mediumblob)
        return L"LONGBLOB";
    if (column.size >= 65536)
        return L"MEDIUMBLOB";
    if (column.size >= 256)
        return L"BLOB";
    return with_size(L"VARBINARY", column.size, name_only);
}

// The text when it reads back as itself through a signed or unsigned integer
// of the type's width; 007, +7 and out-of-range texts give nothing.
std::wstring exact_integer(const std::wstring& text, long long min, unsigned long long max, bool is_unsigned)
{
    if (text.empty() || text.find_first_of(L" \t\r\n") != std::wstring::npos)
        return std::wstring();
    errno = 0;
    wchar_t* end = nullptr;
    std::wstring back;
    if (is_unsigned) {
        if (text[0] == L'-')
            return std::wstring();
        const unsigned long long value = std::wcstoull(text.c_str(), &end, 10);
        if (errno != 0 || *end != L'\0' || value > max)
            return std::wstring();
        back = std::to_wstring(value);
    } else {
        const long long value = std::wcstoll(text.c_str(), &end, 10);
        if (errno != 0 || *end != L'\0' || value < min || (value > 0 && static_cast<unsigned long long>(value) > max))
            return std::wstring();
        back = std::to_wstring(value);
    }
    return back == text ? text : std::wstring();
}

std::wstring integer_default(const std::wstring& text, VARTYPE vt)
{
    const char* verdict = "Int/long default value is correct";
    std::wstring kept;
    if (vt == VT_I8) {
        verdict = "__int64 default value is correct";
        kept = exact_integer(text, INT64_MIN, INT64_MAX, false);
    } else if (vt == VT_UI8) {
        verdict = "unsigned __int64 default value is correct";
        kept = exact_integer(text, 0, UINT64_MAX, true);
    } else {
        kept = exact_integer(text, INT32_MIN, INT32_MAX, false);
    }
    if (!kept.empty())
        tk_logger::log(1, verdict);
    return kept;
}

std::wstring date_default(const std::wstring& text, const t_ftd& column)
{
    tk_logger::log(1, "Got DATE def value");
    if (equals_any(text, {L"getdate()", L"sysdate()", L"sysdate"})) {
        tk_logger::log(1, "Special processing for getdate()");
        return L"CURRENT_TIMESTAMP";
    }
    ole_date date(text);
    if (!date.is_valid())
        return std::wstring();
    if ((column.reserved & 3) == 2)
        date.kind = ole_date::kind_date;
    else if ((column.reserved & 3) == 3)
        date.kind = ole_date::kind_time;
    const std::wstring canonical = date.to_wstring(6);
    tk_logger::wlog(1, L"After canonization: %s", canonical.c_str());
    return canonical.empty() ? canonical : L"\"" + canonical + L"\"";
}

// SQL NULL: a value that holds nothing (the cell values have no separate
// null; every writer treats VT_EMPTY and VT_NULL alike).
ole_variant null_value()
{
    return ole_variant();
}

bool blob_to_text()
{
    return tk_singleton<sql_engine>::instance().is_blob_to_text();
}

ole_variant bytes_value(const unsigned char* data, uint32_t length)
{
    return ole_variant(std::vector<unsigned char>(data, data + length));
}

std::vector<unsigned char> low_bytes(const wchar_t* data, uint32_t length)
{
    std::vector<unsigned char> bytes(length);
    for (uint32_t i = 0; i < length; ++i)
        bytes[i] = static_cast<unsigned char>(data[i] & 0xFF);
    return bytes;
}

ole_variant text_value(const char* data, uint32_t length)
{
    ole_variant value;
    value.attach_string(std::string(data, length));
    return value;
}

ole_variant text_value(const wchar_t* data, uint32_t length)
{
    ole_variant value;
    value.attach_wstring(std::wstring(data, length));
    return value;
}

// Which form a value of a result column takes: text, bytes or a typed value.
enum class value_form { text, bytes, typed };

value_form form_of(int mysql_type, uint32_t flags)
{
    const bool binary = (flags & binary_flag) != 0;
    if (mysql_type == MYSQL_TYPE_VAR_STRING) {
        tk_logger::log(1, binary ? "Process TEXT as BINARY" : "Extract TEXT value");
        return binary ? value_form::bytes : value_form::text;
    }
    if (mysql_type >= MYSQL_TYPE_TINY_BLOB && mysql_type <= MYSQL_TYPE_BLOB) {
        const bool as_text = blob_to_text() || !binary;
        tk_logger::log(1, as_text ? "Process BINARY as TEXT" : "Extract BINARY value");
        return as_text ? value_form::text : value_form::bytes;
    }
    return value_form::typed;
}

} // namespace

uint32_t sql_bytes_per_char(const std::wstring& char_set)
{
    if (is_one_of(char_set, single_byte_sets))
        return 1;
    if (is_one_of(char_set, double_byte_sets))
        return 2;
    return is_one_of(char_set, three_byte_sets) ? 3 : 4;
}

uint32_t sql_varchar_limit(const std::wstring& char_set)
{
    const uint32_t by_bytes = (max_row_bytes - varchar_length_bytes) / sql_bytes_per_char(char_set);
    return by_bytes < max_varchar ? by_bytes : max_varchar;
}

std::wstring get_sql_native_type2(const t_ftd* column, bool name_only, const std::wstring& char_set)
{
    if (column == nullptr)
        throw tk_mail_assertion(source_file, 604);
    tk_logger::wlog(1, L"get_sql_native_type2: %s(%d,%d,%d)", column->name.c_str(), column->vartype, column->size,
                    column->reserved);
    switch (column->vartype) {
    case VT_I2: return L"SMALLINT";
    case VT_I4:
    case VT_INT: return L"INT";
    case VT_R4: return L"FLOAT";
    case VT_R8: return L"DOUBLE";
    case VT_CY: return with_digits(L"DECIMAL", 19, 4, name_only);
    case VT_BOOL: return with_size(L"TINYINT", 1, name_only);
    case VT_DECIMAL:
        if (column->precision == 0)
            return L"DOUBLE";
        tk_logger::log(1, "Scale/precision for decimal column: (%d, %d)", column->scale, column->precision);
        return with_digits(L"DECIMAL", column->precision, column->scale, name_only);
    case VT_I1: return L"TINYINT";
    case VT_UI1: return L"TINYINT UNSIGNED";
    case VT_UI2: return L"SMALLINT UNSIGNED";
    case VT_UI4:
    case VT_UINT: return L"INT UNSIGNED";
    case VT_I8: return L"BIGINT";
    case VT_UI8: return L"BIGINT UNSIGNED";
    case VT_DATE: return date_type(*column, name_only);
    case VT_BSTR: return text_type(*column, name_only, char_set);
    case VT_BLOB:
    case ole_vt_bytes: return blob_type(*column, name_only);
    default: throw tk_mail_assertion(source_file, 604);
    }
}

bool sql_is_time_column(const t_ftd& column)
{
    // Asked for every time of day a date column takes: a column of any other
    // kind is told by its flags, and one without a default by them alone.
    if (column.vartype != VT_DATE || (column.reserved & 3) != 3)
        return false;
    const VARTYPE def = column.default_value.get_type();
    return def == VT_EMPTY || def == VT_NULL || date_kind(column) == date_column::time;
}

std::wstring get_sql_native_type1(const sql_native_type& type)
{
    tk_logger::log(1, "get_sql_native_type1");
    std::wstring text = type.type;
    if (begins_with(text, L"VARCHAR") || begins_with(text, L"CHAR"))
        text += L"(" + std::to_wstring(type.length) + L")";
    else if (begins_with(text, L"DECIMAL"))
        text += L"(" + std::to_wstring(type.precision) + L"," + std::to_wstring(type.scale) + L")";
    tk_logger::wlog(1, L"buf=%s", text.c_str());
    return text;
}

namespace {

constexpr int64_t max_char = 255;
constexpr int64_t max_decimal_precision = 65;
constexpr int64_t max_decimal_scale = 30;

// The range of an integer type by its name; false for a type that is no
// integer.
bool integer_range(const sql_type_text& type, long long& min, unsigned long long& max)
{
    struct range {
        const wchar_t* name;
        long long min;
        unsigned long long max;
    };
    static const range ranges[] = {
        {L"TINYINT", INT8_MIN, INT8_MAX},       {L"SMALLINT", INT16_MIN, INT16_MAX},
        {L"MEDIUMINT", -8388608, 8388607},      {L"INT", INT32_MIN, INT32_MAX},
        {L"INTEGER", INT32_MIN, INT32_MAX},     {L"BIGINT", INT64_MIN, INT64_MAX},
    };
    for (const range& r : ranges) {
        if (type.name != r.name)
            continue;
        min = type.is_unsigned ? 0 : r.min;
        max = type.is_unsigned ? r.max * 2 + 1 : r.max;
        return true;
    }
    return false;
}

// The digits of a plain decimal number before its point; -1 for no number.
int integer_digits(const std::wstring& text)
{
    size_t at = text.find_first_not_of(L"+-");
    if (at > 1 || !sql_is_number(text) || text.find_first_of(L"eE") != std::wstring::npos)
        return -1;
    at = text.find_first_not_of(L'0', at);
    const size_t point = text.find(L'.');
    const size_t end = point == std::wstring::npos ? text.size() : point;
    return at == std::wstring::npos || at >= end ? 0 : static_cast<int>(end - at);
}

std::wstring default_failure(const sql_type_text& type, int64_t length, int64_t precision, int64_t scale,
                             const std::wstring& value)
{
    const std::wstring& name = type.name;
    const std::wstring refused = L"its default value " + value + L" is outside the type";
    long long min = 0;
    unsigned long long max = 0;
    if (integer_range(type, min, max)) {
        const bool is_unsigned = min == 0;
        const std::wstring kept = exact_integer(value, min, max, is_unsigned);
        if (kept.empty() && !exact_integer(value, INT64_MIN, UINT64_MAX, value.empty() || value[0] != L'-').empty())
            return refused;
        return {};
    }
    if (name == L"DECIMAL") {
        // DECIMAL(0) is the server's DECIMAL(10).
        const int64_t allowed = (precision == 0 ? 10 : precision) - scale;
        return integer_digits(value) > allowed ? refused : std::wstring();
    }
    if ((name == L"VARCHAR" || name == L"CHAR") && static_cast<int64_t>(value.size()) > length)
        return L"its default value is longer than its " + std::to_wstring(length) + L" characters";
    return {};
}

// The first word of a type the user gave that no MySQL or MariaDB server
// takes there: a type name first, then only the words that qualify one
// ("INT UNSIGNED", "DOUBLE PRECISION", "CHAR BINARY"); empty when all are.
std::wstring unknown_type_word(const std::wstring& type)
{
    static const std::set<std::wstring> names = {
        L"BIT", L"TINYINT", L"BOOL", L"BOOLEAN", L"SMALLINT", L"MEDIUMINT", L"MIDDLEINT", L"INT", L"INTEGER",
        L"BIGINT", L"INT1", L"INT2", L"INT3", L"INT4", L"INT8", L"SERIAL", L"DECIMAL", L"DEC", L"NUMERIC",
        L"FIXED", L"FLOAT", L"FLOAT4", L"FLOAT8", L"DOUBLE", L"REAL", L"DATE", L"DATETIME", L"TIMESTAMP",
        L"TIME", L"YEAR", L"CHAR", L"CHARACTER", L"NCHAR", L"NATIONAL", L"VARCHAR", L"NVARCHAR", L"VARCHAR2",
        L"VARCHARACTER", L"BINARY", L"VARBINARY", L"TINYBLOB", L"BLOB", L"MEDIUMBLOB", L"LONGBLOB", L"LONG",
        L"TINYTEXT", L"TEXT", L"MEDIUMTEXT", L"LONGTEXT", L"ENUM", L"SET", L"JSON", L"GEOMETRY", L"POINT",
        L"LINESTRING", L"POLYGON", L"MULTIPOINT", L"MULTILINESTRING", L"MULTIPOLYGON", L"GEOMETRYCOLLECTION",
        L"INET4", L"INET6", L"UUID"};
    static const std::set<std::wstring> qualifiers = {L"UNSIGNED", L"SIGNED",  L"ZEROFILL", L"PRECISION",
                                                      L"VARYING",  L"BINARY",  L"ASCII",    L"UNICODE",
                                                      L"BYTE",     L"VARCHAR", L"CHAR",     L"CHARACTER",
                                                      L"VARBINARY", L"TEXT"};
    std::vector<std::wstring> words;
    tk_wstring::split(type, L' ', words);
    for (size_t i = 0; i < words.size(); ++i) {
        std::wstring word = words[i];
        for (wchar_t& c : word)
            c = static_cast<wchar_t>(std::towupper(c));
        if (!word.empty() && (i == 0 ? names : qualifiers).count(word) == 0)
            return words[i];
    }
    return {};
}

} // namespace

std::wstring sql_user_type_failure(const std::wstring& type, int64_t length, int64_t precision, int64_t scale,
                                   const std::wstring& default_value, const std::wstring& char_set)
{
    const std::optional<sql_type_text> parsed = sql_parse_type(type);
    if (!parsed)
        return L"its type holds a number MySQL cannot take";
    if (const std::wstring unknown = unknown_type_word(type); !unknown.empty())
        return L"'" + unknown + L"' is no MySQL type there";
    const std::wstring& name = parsed->name;
    if (name == L"ENUM" || name == L"SET")
        return (name == L"ENUM" ? L"an " : L"a ") + name + L" column needs its list of values, which a type mapping cannot give";
    const int64_t longest = name == L"CHAR" ? max_char : sql_varchar_limit(char_set);
    if ((name == L"VARCHAR" || name == L"CHAR") && (length < 0 || length > longest))
        return L"its length must be 0 to " + std::to_wstring(longest);
    if (name == L"DECIMAL") {
        if (precision < 0 || precision > max_decimal_precision)
            return L"its precision must be 0 to " + std::to_wstring(max_decimal_precision);
        if (scale < 0 || scale > max_decimal_scale || scale > precision)
            return L"its scale must be 0 to " + std::to_wstring(max_decimal_scale) + L" and at most its precision";
    }
    return default_value.empty() ? std::wstring() : default_failure(*parsed, length, precision, scale, default_value);
}

namespace {

// The number at text[at], blanks before it skipped; false when there is none
// or it does not fit 32 bits. at moves past it.
bool read_type_number(const std::wstring& text, size_t& at, uint32_t& number)
{
    at = text.find_first_not_of(L' ', at);
    if (at == std::wstring::npos || !std::iswdigit(text[at]))
        return false;
    errno = 0;
    wchar_t* end = nullptr;
    const unsigned long long value = std::wcstoull(text.c_str() + at, &end, 10);
    if (errno != 0 || value > UINT32_MAX)
        return false;
    number = static_cast<uint32_t>(value);
    at = static_cast<size_t>(end - text.c_str());
    return true;
}

} // namespace

std::optional<sql_type_text> sql_parse_type(const std::wstring& type)
{
    sql_type_text parsed;
    std::wstring capitals = type;
    for (wchar_t& c : capitals)
        c = static_cast<wchar_t>(std::towupper(c));
    // "/": a comment of the server's version
    parsed.name = capitals.substr(0, capitals.find_first_of(L"( /"));
    parsed.is_unsigned = capitals.find(L" UNSIGNED") != std::wstring::npos;
    size_t at = type.find(L'(');
    if (at == std::wstring::npos)
        return parsed;
    // A list of values (ENUM, SET) holds no size.
    const size_t inside = type.find_first_not_of(L' ', at + 1);
    if (inside != std::wstring::npos && (type[inside] == L'\'' || type[inside] == L'"'))
        return parsed;
    if (!read_type_number(type, ++at, parsed.first))
        return std::nullopt;
    parsed.has_size = true;
    if (at = type.find_first_not_of(L' ', at); at != std::wstring::npos && type[at] == L',' &&
                                               !read_type_number(type, ++at, parsed.second))
        return std::nullopt;
    return parsed;
}

bool sql_checks_values(const sql_type_text& type)
{
    long long min = 0;
    unsigned long long max = 0;
    const bool sized = type.name == L"VARCHAR" || type.name == L"CHAR" || type.name == L"DECIMAL";
    return (sized && type.has_size) || integer_range(type, min, max);
}

std::wstring sql_value_failure(const sql_type_text& type, const std::wstring& value)
{
    const std::wstring& name = type.name;
    if (name == L"VARCHAR" || name == L"CHAR") {
        // Blanks past the length are dropped with a note only.
        const bool too_long = type.has_size && value.size() > type.first &&
                              value.find_first_not_of(L' ', type.first) != std::wstring::npos;
        return too_long ? L"Data too long for column" : std::wstring();
    }
    const wchar_t* const out_of_range = L"Out of range value for column";
    long long min = 0;
    unsigned long long max = 0;
    if (integer_range(type, min, max)) {
        if (!sql_is_number(value))
            return {};
        const long double number = std::wcstold(value.c_str(), nullptr);
        return number < static_cast<long double>(min) || number > static_cast<long double>(max) ? out_of_range
                                                                                                  : std::wstring();
    }
    if (name == L"DECIMAL" && type.has_size)
        return integer_digits(value) > static_cast<int64_t>(type.first) - static_cast<int64_t>(type.second)
                   ? out_of_range
                   : std::wstring();
    return {};
}

std::wstring make_mysql_def_val(const t_ftd* column)
{
    if (column == nullptr)
        throw tk_mail_assertion(source_file, 53);
    const std::wstring text = column->default_value.to_wstring();
    tk_logger::wlog(1, L"make_mysql_def_val(%d,%s)", column->vartype, text.c_str());
    if (text == L"to_char(sysdate,'yyyy-mm-dd hh24:mi:ss')") {
        tk_logger::log(3, "Cannot set def.value as current timetsamp for varchar column");
        return std::wstring();
    }
    if (column->vartype == VT_DATE && column->reserved >= 9 && column->reserved <= 11) {
        tk_logger::log(1, "Got NOW() def.value");
        const wchar_t* const current[] = {L"CURRENT_TIMESTAMP", L"CURRENT_DATE()", L"CURRENT_TIME()"};
        return current[column->reserved - 9];
    }
    if (column->vartype == VT_BSTR && !text.empty()) {
        tk_logger::wlog(1, L"Got BSTR def value: %s", text.c_str());
        return to_mysql_wstr(text, VT_BSTR);
    }
    if (text.empty()) {
        tk_logger::log(1, "Got empty def value");
        return text;
    }
    if (platform::equal_no_case(text, L"newid()")) {
        tk_logger::log(1, "newid() is not supported");
        return std::wstring();
    }
    switch (column->vartype) {
    case VT_I2: case VT_I4: case VT_BOOL: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4: case VT_INT:
    case VT_UINT: case VT_I8: case VT_UI8:
        return integer_default(text, column->vartype);
    case VT_DECIMAL: case VT_R4: case VT_R8: case VT_CY:
        // Written bare into the statement: only a well-formed number will do.
        return sql_is_number(text) ? text : std::wstring();
    case VT_DATE:
        return date_default(text, *column);
    default:
        return std::wstring();
    }
}

ole_variant get_variant(int mysql_type, uint32_t length, uint32_t flags, const char* data)
{
    tk_logger::log(1, "get_variant(char)");
    tk_logger::log(1, "get_variant(2), type=%d, lenght=%d", mysql_type, length);
    if (data == nullptr) {
        tk_logger::log(1, "process NULL-values");
        return null_value();
    }
    switch (form_of(mysql_type, flags)) {
    case value_form::text: return text_value(data, length);
    case value_form::bytes: return bytes_value(reinterpret_cast<const unsigned char*>(data), length);
    default: return get_variant(get_vartype(mysql_type, flags), data);
    }
}

ole_variant get_variant(int mysql_type, uint32_t length, uint32_t flags, const wchar_t* data)
{
    tk_logger::log(1, "get_variant(wchar_t)");
    tk_logger::log(1, "get_variant(2), type=%d, lenght=%d", mysql_type, length);
    if (data == nullptr) {
        tk_logger::log(1, "process NULL-values");
        return null_value();
    }
    switch (form_of(mysql_type, flags)) {
    case value_form::text: return text_value(data, length);
    case value_form::bytes: return ole_variant(low_bytes(data, length));
    default: return get_variant(get_vartype(mysql_type, flags), data);
    }
}

ole_variant get_variant(VARTYPE vt, const char* text)
{
    if (text == nullptr)
        return null_value();
    tk_logger::log(1, "Type=%d, src=%s", vt, text);
    if (vt == VT_BOOL)
        return ole_variant(*text != '\0');
    return ole_variant::from_string(text, vt);
}

ole_variant get_variant(VARTYPE vt, const wchar_t* text)
{
    if (text == nullptr)
        return null_value();
    tk_logger::wlog(1, L"Type=%d, src=%s", vt, text);
    if (vt == VT_BOOL)
        return ole_variant(*text != L'\0');
    return ole_variant::from_wstring(text, vt);
}

VARTYPE get_vartype(int mysql_type, uint32_t flags)
{
    tk_logger::log(1, "get_vartype(%d,%d)", mysql_type, flags);
    const bool is_unsigned = (flags & unsigned_flag) != 0;
    switch (mysql_type) {
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL: return VT_DECIMAL;
    case MYSQL_TYPE_TINY: return is_unsigned ? VT_UI1 : VT_I1;
    case MYSQL_TYPE_SHORT: return is_unsigned ? VT_UI2 : VT_I2;
    case MYSQL_TYPE_LONG: return is_unsigned ? VT_UI4 : VT_I4;
    case MYSQL_TYPE_FLOAT: return VT_R4;
    case MYSQL_TYPE_DOUBLE: return VT_R8;
    case MYSQL_TYPE_TIMESTAMP:
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_TIME:
    case MYSQL_TYPE_DATETIME: return VT_DATE;
    case MYSQL_TYPE_LONGLONG: return is_unsigned ? VT_UI8 : VT_I8;
    case MYSQL_TYPE_INT24: return VT_I4;
    case MYSQL_TYPE_YEAR: return VT_UI2;
    case MYSQL_TYPE_BIT: return VT_BOOL;
    case MYSQL_TYPE_TINY_BLOB:
    case MYSQL_TYPE_MEDIUM_BLOB:
    case MYSQL_TYPE_LONG_BLOB:
    case MYSQL_TYPE_BLOB: {
        const bool as_text = blob_to_text();
        tk_logger::log(1, "Processing BLOB, blob_to_text=%d", as_text ? 1 : 0);
        return as_text ? VARTYPE(VT_BSTR) : ole_vt_bytes;
    }
    case MYSQL_TYPE_VAR_STRING: return (flags & binary_flag) != 0 ? ole_vt_bytes : VARTYPE(VT_BSTR);
    default: return VT_BSTR;
    }
}

VARTYPE get_vartype_by_name(const std::wstring& name, uint32_t& size)
{
    if (begins_with(name, L"VARCHAR") || begins_with(name, L"CHAR")) {
        if (const std::optional<sql_type_text> parsed = sql_parse_type(name); parsed && parsed->has_size)
            size = parsed->first;
        return VT_BSTR;
    }
    struct fixed {
        const wchar_t* name;
        uint32_t size;
        VARTYPE vt;
    };
    static const fixed fixed_types[] = {
        {L"BIT", 1, VT_I1},      {L"TINYINT", 1, VT_I1},   {L"TINYINT UNSIGNED", 1, VT_UI1},
        {L"SMALLINT", 2, VT_I2}, {L"SMALLINT UNSIGNED", 2, VT_UI2}, {L"INT", 4, VT_I4},
        {L"INT UNSIGNED", 4, VT_UI4}, {L"BIGINT", 8, VT_I8}, {L"BIGINT UNSIGNED", 8, VT_UI8},
        {L"DATE", 8, VT_DATE},   {L"TIME", 8, VT_DATE},    {L"DOUBLE", 8, VT_R8},
        {L"FLOAT", 4, VT_R4},
    };
    for (const fixed& f : fixed_types) {
        if (name == f.name) {
            size = f.size;
            return f.vt;
        }
    }
    if (begins_with(name, L"DECIMAL"))
        return VT_DECIMAL;
    return VT_BSTR;
}
