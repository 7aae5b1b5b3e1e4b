// The column half of CREATE TABLE: names the server accepts, the row-size
// rule, and one clause per column.
#include "SQL/sql_init.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "UDB/udb_rule.hpp"
#include "UDB/udb_vali.hpp"
#include "platform/text/pl_case.hpp"

#include <algorithm>
#include <cwchar>
#include <cwctype>

namespace {

const char source_file[] = "sql_schm";

constexpr uint32_t max_row_size = 65535;
constexpr uint32_t max_convertible = 21844;   // text columns the row-size rule may turn into LONGTEXT
constexpr uint32_t length_bytes = 2;          // a VARCHAR's length prefix
constexpr uint32_t lob_bytes = 12;            // a TEXT or BLOB column's part in the row
constexpr uint32_t null_bytes = 1;            // a column's share of the row's NULL flags, rounded up
constexpr uint32_t version_3_23_2 = 0x031702; // from here only the primary key makes a column NOT NULL
constexpr size_t max_columns = 4096;          // in any table the server creates
constexpr size_t max_innodb_columns = 1017;
// InnoDB's part of a row in its 16 KiB page: the row must stay under half a
// page; each row carries a 5-byte header and, without a primary key, 19
// bytes of its own columns besides its NULL flags.
constexpr uint32_t max_page_row = 8126;
constexpr uint32_t page_row_overhead = 5 + 19;
constexpr uint32_t in_page_limit = 255;       // a longer string may be kept off-page
constexpr uint32_t off_page_bytes = 20 + 1;   // what stays of it: a reference and its length

bool is_geometry(const t_ftd& column)
{
    return column.reserved == 2 || column.reserved == 8;
}

bool is_binary(const t_ftd& column)
{
    return column.vartype == VT_BLOB || column.vartype == VT_BLOB_OBJECT || column.vartype == ole_vt_bytes;
}

// The bytes of a DECIMAL's digits: four for each nine, fewer for the rest.
uint32_t decimal_bytes(uint32_t digits)
{
    static const uint32_t rest[] = {0, 1, 1, 2, 2, 3, 3, 4, 4};
    return digits / 9 * 4 + rest[digits % 9];
}

// A column type as a CREATE TABLE gives it: "VARCHAR(20)", "DECIMAL(6,2)",
// "INT UNSIGNED"; the name in capitals.
struct type_text {
    std::wstring name;
    bool has_size = false;
    uint32_t first = 0;   // length or precision
    uint32_t second = 0;  // scale

    explicit type_text(const std::wstring& type)
    {
        const size_t open = type.find(L'(');
        name = type.substr(0, type.find_first_of(L"( /"));  // "/": a comment of the server's version
        for (wchar_t& c : name)
            c = static_cast<wchar_t>(std::towupper(c));
        has_size = open != std::wstring::npos;
        if (!has_size)
            return;
        first = static_cast<uint32_t>(std::wcstoul(type.c_str() + open + 1, nullptr, 10));
        if (const size_t comma = type.find(L',', open); comma != std::wstring::npos)
            second = static_cast<uint32_t>(std::wcstoul(type.c_str() + comma + 1, nullptr, 10));
    }
    bool is_text() const { return name == L"CHAR" || name == L"VARCHAR"; }
    bool is_binary() const { return name == L"BINARY" || name == L"VARBINARY"; }
    // The most bytes of a string type's value: 0 for any other type.
    uint32_t string_bytes(uint32_t char_bytes) const
    {
        if (is_text())
            return std::max(first, 1u) * char_bytes;
        return is_binary() ? std::max(first, 1u) : 0;
    }
};

// The bytes a column of this MySQL type keeps in an InnoDB page (DYNAMIC row
// format): fixed types their size, strings of at most 255 bytes their length
// and a length byte, longer strings, TEXT and BLOB what stays when they go
// off-page. A type not known here counts nothing: the server has the last
// word on it.
uint32_t in_page_bytes(const std::wstring& type, uint32_t char_bytes)
{
    const type_text parsed(type);
    struct fixed {
        const wchar_t* name;
        uint32_t bytes;
    };
    static const fixed fixed_types[] = {
        {L"TINYINT", 1}, {L"BOOL", 1}, {L"BOOLEAN", 1}, {L"YEAR", 1}, {L"SMALLINT", 2}, {L"MEDIUMINT", 3},
        {L"INT", 4}, {L"INTEGER", 4}, {L"FLOAT", 4}, {L"BIGINT", 8}, {L"DOUBLE", 8}, {L"REAL", 8},
        {L"DATE", 3}, {L"TIME", 3}, {L"DATETIME", 5}, {L"TIMESTAMP", 4}, {L"ENUM", 2}, {L"SET", 8},
    };
    for (const fixed& f : fixed_types)
        if (parsed.name == f.name)
            return f.bytes;
    if (parsed.name == L"DECIMAL" || parsed.name == L"NUMERIC") {
        if (!parsed.has_size)
            return decimal_bytes(10);
        return decimal_bytes(parsed.first - std::min(parsed.first, parsed.second)) + decimal_bytes(parsed.second);
    }
    if (parsed.name == L"BIT")
        return (std::max(parsed.first, 1u) + 7) / 8;
    if (const uint32_t bytes = parsed.string_bytes(char_bytes); bytes != 0)
        return bytes <= in_page_limit ? bytes + 1 : off_page_bytes;
    if (parsed.name.find(L"TEXT") != std::wstring::npos || parsed.name.find(L"BLOB") != std::wstring::npos ||
        parsed.name == L"GEOMETRY" || parsed.name == L"JSON")
        return off_page_bytes;
    return 0;
}

std::wstring with_digits(uint32_t number)
{
    std::wstring text = std::to_wstring(number);
    for (size_t at = text.size(); at > 3; at -= 3)
        text.insert(at - 3, L",");
    return text;
}

// The storage engine the table is created with.
bool is_innodb_table(const std::wstring& table_name, const udb_schema& schema)
{
    const sql_engine& engine = tk_singleton<sql_engine>::instance();
    const std::optional<sql_table_options> options = sql_user_table_options(table_name, schema);
    std::wstring storage = options ? options->engine : std::wstring();
    if (storage.empty())
        storage = engine.is_old_version() ? L"MyISAM" : engine.get_tab_type();
    return platform::equal_no_case(storage, L"InnoDB");
}

} // namespace

std::wstring sql_column_count_failure(const std::wstring& table_name, const udb_schema& schema, bool with_row)
{
    const bool innodb = is_innodb_table(table_name, schema);
    if (schema.size() > (innodb ? max_innodb_columns : max_columns))
        return L"The table '" + table_name + L"' has " + std::to_wstring(schema.size()) +
               L" columns: MySQL creates at most " + std::to_wstring(max_innodb_columns) +
               L" columns in an InnoDB table and " + std::to_wstring(max_columns) +
               L" in any table. The table is not created.";
    if (!with_row)
        return {};
    // Counted as the statement will have them, long texts chosen where they help.
    sql_schema row(innodb);
    for (const std::shared_ptr<t_ftd>& column : schema)
        row.push_back(std::make_shared<t_ftd>(*column));
    return row.row_failure(table_name);
}

void sql_check_column_count(const std::wstring& table_name, const udb_schema& schema)
{
    if (std::wstring failure = sql_column_count_failure(table_name, schema); !failure.empty())
        throw tk_exception(failure, 0);
}

sql_schema::sql_schema(bool innodb_)
    : udb_schema(true), char_set(tk_singleton<sql_engine>::instance().get_char_set()), innodb(innodb_)
{
    char_bytes = sql_bytes_per_char(char_set);
    max_varchar = std::min(max_convertible, sql_varchar_limit(char_set));
}

sql_schema::~sql_schema() = default;

// VARCHAR columns the run typed: text that is neither geometry nor
// fixed-width CHAR, of a size that is no TEXT type already. A type the user
// gave stays as given.
bool sql_schema::is_convertible(const t_ftd& column) const
{
    return column.native_type.empty() && column.vartype == VT_BSTR && !is_geometry(column) &&
           column.reserved != 16 && column.size >= 1 && column.size <= max_varchar;
}

uint32_t sql_schema::page_bytes(const t_ftd& column) const
{
    const std::wstring type =
        column.native_type.empty() ? get_sql_native_type2(&column, false, char_set) : column.native_type;
    return in_page_bytes(type, char_bytes);
}

uint32_t sql_schema::page_row() const
{
    return page_size + page_row_overhead + static_cast<uint32_t>((size() + 7) / 8);
}

void sql_schema::make_long_text(uint32_t at)
{
    t_ftd& column = *(*this)[at];
    tk_logger::wlog(3, L"Column '%s' converted into LONG TEXT", column.name.c_str());
    total_size -= std::min(total_size, row_bytes(column));
    page_size -= std::min(page_size, page_bytes(column));
    column.size = 0;
    total_size += row_bytes(column);
    page_size += page_bytes(column);
}

std::wstring sql_schema::row_failure(const std::wstring& table_name) const
{
    if (total_size > max_row_size)
        return L"The table '" + table_name + L"' is too wide: its row takes " + with_digits(total_size) +
               L" bytes, more than the " + with_digits(max_row_size) +
               L" MySQL allows in a row. The table is not created.";
    if (innodb && page_row() >= max_page_row)
        return L"The table '" + table_name + L"' is too wide: its row keeps " + with_digits(page_row()) +
               L" bytes in an InnoDB page, where InnoDB keeps fewer than " + with_digits(max_page_row) +
               L", long texts stored off-page. The table is not created.";
    return {};
}

// The bytes a column takes in the row as the server counts them, length
// prefixes and NULL flags included; TEXT and BLOB columns keep only a
// pointer there.
uint32_t sql_schema::row_bytes(const t_ftd& column) const
{
    // A string type the user gave counts as given.
    if (!column.native_type.empty()) {
        const type_text given(column.native_type);
        if (const uint32_t bytes = given.string_bytes(char_bytes); bytes != 0)
            return bytes + (given.name.starts_with(L"VAR") ? length_bytes : 0) + null_bytes;
    }
    if (is_convertible(column))
        return char_bytes * column.size + length_bytes + null_bytes;
    if (column.vartype == VT_BSTR && column.reserved == 16)
        return char_bytes * column.size + null_bytes;
    if (column.vartype == VT_BSTR || (is_binary(column) && (column.size == 0 || column.size > 255)))
        return lob_bytes + null_bytes;
    if (is_binary(column))
        return column.size + length_bytes + null_bytes;
    return column.size + null_bytes;
}

void sql_schema::push_back(const std::shared_ptr<t_ftd>& column)
{
    if (column == nullptr)
        throw tk_mail_assertion(source_file, 61);
    if (is_convertible(*column)) {
        const auto place = std::find_if(lobs.begin(), lobs.end(),
                                        [&](uint32_t at) { return (*this)[at]->size <= column->size; });
        lobs.insert(place, static_cast<uint32_t>(size()));
    }
    total_size += row_bytes(*column);
    page_size += page_bytes(*column);
    udb_schema::push_back(column);
    if (total_size > max_row_size)
        tk_logger::log(1, "Schema total size %d exceeds %d bytes, transforming schema...", total_size, max_row_size);
    while (total_size > max_row_size && !lobs.empty()) {
        make_long_text(lobs.front());
        lobs.erase(lobs.begin());
    }
    // Only a string kept whole in the page gains from going off-page.
    while (innodb && page_row() >= max_page_row) {
        const auto in_page = std::find_if(lobs.begin(), lobs.end(),
                                          [this](uint32_t at) { return page_bytes(*(*this)[at]) > off_page_bytes; });
        if (in_page == lobs.end())
            break;
        make_long_text(*in_page);
        lobs.erase(in_page);
    }
}

namespace {

// Text columns take a character set; geometry and every other type take none.
bool takes_char_set(const t_ftd& column)
{
    if (!column.native_type.empty())
        return column.native_type.find(L"CHAR") != std::wstring::npos ||
               column.native_type.find(L"TEXT") != std::wstring::npos;
    return column.vartype == VT_BSTR && !is_geometry(column);
}

bool is_integer_type(VARTYPE vt)
{
    return vt == VT_I2 || vt == VT_I4 || vt == VT_BOOL || (vt >= VT_I1 && vt <= VT_UINT);
}

} // namespace

sql_schema_initializer::sql_schema_initializer(const std::wstring& table_name_, const udb_schema& source_,
                                               const udb_indexes& indexes, std::wstring& auto_increment_name_)
    : table_name(table_name_), schema(is_innodb_table(table_name_, source_)),
      auto_increment_name(&auto_increment_name_), source_indexes(&indexes),
      validator(tk_singleton<sql_engine>::instance().create_fn_validator(source_)), source(&source_)
{
    tk_logger::wlog(2, L"sql_schema_initializer::ctor(%s)", table_name.c_str());
    for (const std::shared_ptr<t_ftd>& column : source_) {
        if (column == nullptr)
            throw tk_mail_assertion(source_file, 120);
        const bool accepted = validator->is_acceptable(column->name);
        const std::wstring name = accepted ? column->name : validator->get_safe_name(column->name);
        auto copy = std::make_shared<t_ftd>(*column);
        copy->name = name;
        schema.push_back(copy);
        if (!accepted) {
            validator->add_existing_name(name);
            validator->add_mapped_pair(column->name, name);
            tk_logger::wlog(2, L"Store generated column name '%s'", name.c_str());
        }
        // A later column of the same name, in any case, must take another.
        validator->restricted_names.push_back(name);
    }
}

sql_schema_initializer::~sql_schema_initializer() = default;

const t_names_map& sql_schema_initializer::get_names_map() const
{
    return validator->mapped_pairs;
}

void sql_schema_initializer::get_init_chunks(std::vector<std::wstring>& out, const sql_table_options* options)
{
    tk_logger::log(1, "sql_schema_initializer::get_init_chunks(n_columns=%d)", static_cast<int>(schema.size()));
    auto_increment_name->clear();
    for (size_t i = 0; i < schema.size(); ++i)
        out.push_back(column_clause(*schema[i], *(*source)[i], options));
}

std::wstring sql_schema_initializer::column_clause(const t_ftd& column, const t_ftd& original,
                                                   const sql_table_options* options)
{
    const sql_engine& engine = tk_singleton<sql_engine>::instance();
    const bool old_version = engine.is_old_version();
    std::wstring char_set = engine.get_char_set();
    if (options != nullptr) {
        const auto chosen = options->column_char_sets.find(column.name);
        if (chosen != options->column_char_sets.end() && !chosen->second.empty())
            char_set = chosen->second;
    }

    std::wstring clause =
        (old_version ? sql_engine::old_dialect_name(column.name) : sql_engine::get_safe_name(column.name)) + L" ";
    if (udb_custom_conversion::is_acceptable1(column))
        clause += udb_custom_conversion::handle1(column);
    else if (!column.native_type.empty())
        clause += column.native_type;
    else
        clause += get_sql_native_type2(&column, false, char_set);
    if (!old_version && takes_char_set(column))
        clause += L" CHARACTER SET " + char_set;
    if (column.b_not_null || column.b_auto_increment || source_indexes->is_idx_field(original.name, true) ||
        (engine.get_version() < version_3_23_2 && source_indexes->is_idx_field(original.name, false)))
        clause += L" NOT NULL";
    if (can_have_def_value(column, char_set)) {
        const std::wstring def = make_mysql_def_val(&column);
        if (!def.empty())
            clause += L" DEFAULT " + def;
    }
    if (can_have_auto_num(column)) {
        if (!auto_increment_name->empty())
            throw tk_mail_assertion(source_file, 196);
        clause += L" AUTO_INCREMENT";
        *auto_increment_name = column.name;
    }
    if (!column.description.empty())
        clause += L" COMMENT '" + sql_escape(column.description) + L"'";
    tk_logger::wlog(1, L"sql_query=%s", clause.c_str());
    return clause;
}

bool sql_schema_initializer::can_have_def_value(const t_ftd& column, const std::wstring& char_set) const
{
    if (column.b_auto_increment) {
        tk_logger::log(2, "WARNING: auto_increment columns cannot have default value!");
        return false;
    }
    if (column.vartype == VT_BLOB || column.vartype == VT_BLOB_OBJECT)
        return false;
    // TEXT columns take no DEFAULT on most servers.
    return column.vartype != VT_BSTR || (column.size != 0 && column.size <= sql_varchar_limit(char_set));
}

bool sql_schema_initializer::can_have_auto_num(const t_ftd& column) const
{
    return column.b_auto_increment && is_integer_type(column.vartype);
}
