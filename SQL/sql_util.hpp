// Values and types between the system's value model and MySQL text.
// Outward: the literal of a value in an INSERT statement, quoted and escaped
// so that any text, binary value or control character reaches the server (or
// reloads from a dump) byte for byte; the MySQL column type of a column
// description or of a user's type choice; the text of a DEFAULT clause.
// Inward: the cell value of a column of a MySQL result, and the VARTYPE of a
// MySQL field type or type name.
#pragma once

#include "OLE/ole_var.hpp"

#include <cstdint>
#include <optional>
#include <string>

class udb_field;
struct t_ftd;
struct sql_native_type;

// The literal of a field for an INSERT into a column, as UTF-8, appended to
// out (the statement being built). With prepared set, a value over 1 MiB is
// "?" and goes as long data.
void append_fld_literal(std::string& out, const udb_field* field, const t_ftd* column, bool prepared);
std::string get_fld_append_str(const udb_field* field, const t_ftd* column, bool prepared);

// The literal of a text taken as a value of the given type: NULL, a quoted
// and escaped string, a number (only when the text is a well-formed number),
// or a hexadecimal binary value.
std::wstring to_mysql_wstr(const std::wstring& text, VARTYPE vt);
std::string to_mysql_str(const std::string& text, VARTYPE vt);
// The literal of a field: byte arrays as 0x and hexadecimal digits.
std::string to_mysql_str(const udb_field* field);

// The characters of text escaped for a single-quoted MySQL string, as the
// client library escapes them: backslash, quote, NUL, CR, LF and Ctrl-Z.
std::wstring sql_escape(const std::wstring& text);
std::string sql_escape(const std::string& text);
// A decimal number as MySQL reads one: sign, digits with an optional point,
// optional exponent. Anything else is written quoted.
bool sql_is_number(const std::wstring& text);
bool sql_is_number(const std::string& text);
// The text a number or a date takes in a text column, as a sheet shows it:
// a floating value (VT_R8, VT_R4) in General format (platform::general_number,
// 1.21 for 1.1*1.1; a DOUBLE column keeps every bit instead), a date with a
// time of day alone as that time, without the zero date or day zero before
// it, and its fraction of a second as its text has it (a workbook's to the
// millisecond). False for any other value, NaN and the infinities.
bool sql_shown_text(const udb_field& field, std::string& text);

// The most characters a VARCHAR column of the character set holds: a row is
// at most 65,535 bytes, two of them the length; utf8 takes three bytes a
// character, utf8mb4 four.
uint32_t sql_varchar_limit(const std::wstring& char_set);
// The most bytes one character of the character set takes (4 for a set not
// known here).
uint32_t sql_bytes_per_char(const std::wstring& char_set);

// The MySQL column type of a column description: with its size, or precision
// and scale, unless name_only. Text columns take VARCHAR within the limit of
// the column's character set and MEDIUMTEXT or LONGTEXT beyond it.
std::wstring get_sql_native_type2(const t_ftd* column, bool name_only, const std::wstring& char_set);
// True when the column's MySQL type is TIME.
bool sql_is_time_column(const t_ftd& column);
// The column type of a user's type choice.
std::wstring get_sql_native_type1(const sql_native_type& type);
// Why a column of the type a user chose, with its length, precision, scale
// (as given, before any conversion to unsigned) and default value, is one
// the server refuses: empty when it takes it.
std::wstring sql_user_type_failure(const std::wstring& type, int64_t length, int64_t precision, int64_t scale,
                                   const std::wstring& default_value, const std::wstring& char_set);
// A column type as a CREATE TABLE gives it ("VARCHAR(20)", "DECIMAL(6,2)",
// "INT UNSIGNED", "DATETIME/*!50604 (3)*/", "ENUM('a','b')"), read once: its
// name in capitals and the numbers in its parentheses.
struct sql_type_text {
    std::wstring name;      // "VARCHAR", "TINYINT"...
    bool has_size = false;  // a number in parentheses follows the name
    uint32_t first = 0;     // length, precision or digits of a second
    uint32_t second = 0;    // scale
    bool is_unsigned = false;
};
// Nothing when a number of the type is no whole number of 32 bits (the
// server refuses such a type; a number cut to 32 bits would pass for a small
// one).
std::optional<sql_type_text> sql_parse_type(const std::wstring& type);
// The server's words for a value that a column of the type refuses in strict
// mode: too long for its length or outside its range. Empty when the value
// fits or the type is none of those.
std::wstring sql_value_failure(const sql_type_text& type, const std::wstring& value);
// Whether sql_value_failure may refuse a value of the type at all: the
// values of any other type need not be read as text for it.
bool sql_checks_values(const sql_type_text& type);
// The text after " DEFAULT ", empty when the column gets no DEFAULT clause.
std::wstring make_mysql_def_val(const t_ftd* column);

// Inward: the value of one column of a result row (data null for SQL NULL).
ole_variant get_variant(int mysql_type, uint32_t length, uint32_t flags, const char* data);
ole_variant get_variant(int mysql_type, uint32_t length, uint32_t flags, const wchar_t* data);
ole_variant get_variant(VARTYPE vt, const char* text);
ole_variant get_variant(VARTYPE vt, const wchar_t* text);
VARTYPE get_vartype(int mysql_type, uint32_t flags);
// For the fixed-size types size becomes the type's size in bytes.
VARTYPE get_vartype_by_name(const std::wstring& name, uint32_t& size);
