#include "SQL/sql_vali.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_idx.hpp"
#include "UDB/udb_rec.hpp"
#include "UDB/udb_sch.hpp"
#include "platform/text/pl_case.hpp"
#include "platform/text/pl_sname.hpp"

#include <unicode/uchar.h>

#include <algorithm>

namespace {

constexpr uint32_t max_identifier = 64;

// Fields and indexes refuse the first eight, tables and databases all.
const wchar_t illegal_chars[] = {L'`', L'"', L'\'', L'^', L'*', L'\\', L';', L'+',
                                 L'|', L':', L'<',  L'>', L'?', L'/'};
constexpr size_t field_illegal_count = 8;

const wchar_t* const reserved_words[] = {
    L"add", L"all", L"alter", L"and", L"as", L"asc", L"between", L"bigint", L"binary", L"blob", L"both", L"by",
    L"cascade", L"case", L"char", L"character", L"change", L"column", L"columns", L"constraint", L"create",
    L"cross", L"current_date", L"current_time", L"current_timestamp", L"database", L"databases", L"day_hour",
    L"day_minute", L"day_second", L"dec", L"decimal", L"default", L"delayed", L"delete", L"desc", L"describe",
    L"distinct", L"distinctrow", L"double", L"drop", L"else", L"escaped", L"enclosed", L"explain", L"exists",
    L"fields", L"float", L"float4", L"float8", L"foreign", L"from", L"for", L"grant", L"group", L"having",
    L"high_priority", L"hour_minute", L"hour_second", L"ignore", L"in", L"index", L"infile", L"inner", L"insert",
    L"insert_id", L"int", L"int1", L"int2", L"int3", L"int4", L"int8", L"integer", L"interval", L"into", L"if",
    L"is", L"join", L"key", L"keys", L"kill", L"last_insert_id", L"leading", L"left", L"like", L"lines", L"limit",
    L"load", L"lock", L"long", L"longblob", L"longtext", L"low_priority", L"match", L"mediumblob", L"mediumtext",
    L"mediumint", L"middleint", L"minute_second", L"natural", L"numeric", L"not", L"null", L"on", L"optimize",
    L"option", L"optionally", L"or", L"order", L"outer", L"outfile", L"partial", L"precision", L"primary",
    L"procedure", L"privileges", L"read", L"real", L"regexp", L"rename", L"replace", L"restrict", L"returns",
    L"revoke", L"rlike", L"select", L"set", L"show", L"smallint", L"soname", L"sql_big_tables",
    L"sql_big_selects", L"sql_low_priority_updates", L"sql_log_off", L"sql_log_update", L"sql_select_limit",
    L"sql_small_result", L"sql_big_result", L"sql_warnings", L"straight_join", L"starting", L"table", L"tables",
    L"terminated", L"then", L"tinyblob", L"tinytext", L"tinyint", L"trailing", L"to", L"usage", L"use", L"using",
    L"unique", L"unlock", L"unsigned", L"update", L"values", L"varchar", L"varying", L"varbinary", L"with",
    L"write", L"when", L"where", L"year_month", L"zerofill",
};

bool is_ascii_digit(wchar_t c)
{
    return c >= L'0' && c <= L'9';
}

// Letters and digits of any script within the Basic Multilingual Plane, as
// the old servers' identifier rule has it.
bool is_name_char(wchar_t c)
{
    return (static_cast<uint32_t>(c) <= 0xFFFF && u_isalnum(static_cast<UChar32>(c))) || c == L'_' || c == L'$';
}

bool is_ascii_word_char(wchar_t c)
{
    return (c >= L'a' && c <= L'z') || (c >= L'A' && c <= L'Z') || is_ascii_digit(c) || c == L'_';
}

bool all_digits(const std::wstring& name)
{
    return std::all_of(name.begin(), name.end(), is_ascii_digit);
}

void register_names(udb_validator& validator, const std::vector<std::wstring>& names)
{
    for (const std::wstring& name : names)
        validator.add_existing_name(name);
}

// Table names are one name when a server that folds table names makes them
// one; accents make other tables.
void seed_table_names(udb_validator& validator, const std::vector<std::wstring>& names1,
                      const std::vector<std::wstring>& names2)
{
    validator.same_name = platform::equal_table_names;
    register_names(validator, names1);
    register_names(validator, names2);
}

// A table's name is also the name of its files, where a character may take
// five bytes: a name the file system cannot hold makes no table.
bool file_name_fits(const std::wstring& name)
{
    if (platform::table_file_bytes(name) <= platform::max_table_file_bytes)
        return true;
    tk_logger::log(1, "The table's file name is too long");
    return false;
}

size_t file_stored_length(const std::wstring& name, size_t suffix)
{
    size_t bytes = suffix;
    for (size_t n = 0; n < name.size(); ++n) {
        bytes += platform::table_file_bytes(std::wstring_view(name).substr(n, 1));
        if (bytes > platform::max_table_file_bytes)
            return n;
    }
    return name.size();
}

void register_fields(udb_validator& validator, const udb_record& record)
{
    for (const auto& field : record)
        validator.add_existing_name(field->name);
}

void register_columns(udb_validator& validator, const udb_schema& schema)
{
    for (const auto& column : schema)
        validator.add_existing_name(column->name);
}

void register_indexes(udb_validator& validator, const udb_indexes& indexes)
{
    for (const udb_index& index : indexes)
        validator.add_existing_name(index.name);
}

} // namespace

bool sql_is_plain_name(const std::wstring& name)
{
    return !name.empty() && std::all_of(name.begin(), name.end(), is_ascii_word_char);
}

bool sql_is_bare_identifier(const std::wstring& name)
{
    return !name.empty() && !all_digits(name) && std::all_of(name.begin(), name.end(), is_name_char);
}

sql_new_validator::sql_new_validator(bool all_chars) : udb_validator(max_identifier)
{
    tk_logger::log(1, "sql_new_validator::ctor");
    illegal_chars.assign(std::begin(::illegal_chars),
                         std::begin(::illegal_chars) + (all_chars ? std::size(::illegal_chars) : field_illegal_count));
}

bool sql_new_validator::is_acceptable(const std::wstring& name) const
{
    tk_logger::wlog(1, L"sql_new_validator::is_acceptable(%s)", name.c_str());
    if (name.empty() || name.size() > max_identifier) {
        tk_logger::log(1, "Invalid length");
        return false;
    }
    if (name.front() == L' ' || name.back() == L' ') {
        tk_logger::log(1, "ID cannot starts or ends with ' '");
        return false;
    }
    if (udb_identifier_text(name) != name) {
        tk_logger::log(1, "The name holds a character no identifier can");
        return false;
    }
    return udb_validator::is_acceptable(name);
}

std::wstring sql_new_validator::get_safe_name(const std::wstring& name)
{
    tk_logger::wlog(1, L"sql_new_validator::get_safe_name(%s)", name.c_str());
    return udb_validator::get_safe_name(udb_identifier_text(tk_wtrim(name)));
}

sql_new_fn_validator::sql_new_fn_validator(const udb_record& record) : sql_new_validator(false)
{
    tk_logger::log(1, "sql_new_fn_validator::ctor");
    register_fields(*this, record);
}

sql_new_fn_validator::sql_new_fn_validator(const udb_schema& schema) : sql_new_validator(false)
{
    tk_logger::log(1, "sql_new_fn_validator::ctor");
    register_columns(*this, schema);
}

sql_new_in_validator::sql_new_in_validator(const udb_indexes& indexes) : sql_new_validator(false)
{
    tk_logger::log(1, "sql_new_in_validator::ctor");
    register_indexes(*this, indexes);
}

sql_new_tn_validator::sql_new_tn_validator(const std::vector<std::wstring>& names1,
                                           const std::vector<std::wstring>& names2)
    : sql_new_validator(true)
{
    tk_logger::log(1, "sql_new_tn_validator::ctor");
    seed_table_names(*this, names1, names2);
}

bool sql_new_tn_validator::is_acceptable(const std::wstring& name) const
{
    return sql_new_validator::is_acceptable(name) && file_name_fits(name);
}

size_t sql_new_tn_validator::stored_length(const std::wstring& name, size_t suffix) const
{
    return file_stored_length(name, suffix);
}

sql_old_validator::sql_old_validator() : udb_validator(max_identifier)
{
    tk_logger::log(1, "sql_old_validator::ctor");
    restricted_names.assign(std::begin(reserved_words), std::end(reserved_words));
}

bool sql_old_validator::is_acceptable(const std::wstring& name) const
{
    tk_logger::wlog(1, L"sql_old_validator::is_acceptable(%s)", name.c_str());
    if (!udb_validator::is_acceptable(name))
        return false;
    const auto bad = std::find_if_not(name.begin(), name.end(), is_name_char);
    if (bad != name.end()) {
        tk_logger::wlog(1, L"Name contains invalid symbol: '%c'", *bad);
        return false;
    }
    if (all_digits(name)) {
        tk_logger::log(1, "Name consists of digits only");
        return false;
    }
    return true;
}

std::wstring sql_old_validator::get_safe_name(const std::wstring& name)
{
    tk_logger::wlog(1, L"sql_old_validator::get_safe_name(%s)", name.c_str());
    std::wstring safe = name;
    std::replace_if(safe.begin(), safe.end(), [](wchar_t c) { return !is_name_char(c); }, L'_');
    // Digits alone are no name, and neither is nothing: an empty name would
    // only ever be followed by digits.
    if (safe.empty())
        safe = L"_";
    else if (all_digits(safe))
        safe[0] = L'_';
    return udb_validator::get_safe_name(safe);
}

sql_old_dn_validator::sql_old_dn_validator()
{
    tk_logger::log(1, "sql_old_dn_validator::ctor");
}

bool sql_old_dn_validator::is_acceptable(const std::wstring& name) const
{
    tk_logger::wlog(1, L"sql_old_dn_validator::is_acceptable(%s)", name.c_str());
    return sql_old_validator::is_acceptable(name) && !is_ascii_digit(name[0]);
}

sql_old_fn_validator::sql_old_fn_validator(const udb_record& record)
{
    tk_logger::log(1, "sql_old_fn_validator::ctor");
    register_fields(*this, record);
}

sql_old_fn_validator::sql_old_fn_validator(const udb_schema& schema)
{
    tk_logger::log(1, "sql_old_fn_validator::ctor");
    register_columns(*this, schema);
}

sql_old_in_validator::sql_old_in_validator(const udb_indexes& indexes)
{
    tk_logger::log(1, "sql_old_in_validator::ctor");
    register_indexes(*this, indexes);
}

sql_old_tn_validator::sql_old_tn_validator(const std::vector<std::wstring>& names1,
                                           const std::vector<std::wstring>& names2)
{
    tk_logger::log(1, "sql_old_tn_validator::ctor");
    seed_table_names(*this, names1, names2);
}

bool sql_old_tn_validator::is_acceptable(const std::wstring& name) const
{
    return sql_old_validator::is_acceptable(name) && file_name_fits(name);
}

size_t sql_old_tn_validator::stored_length(const std::wstring& name, size_t suffix) const
{
    return file_stored_length(name, suffix);
}
