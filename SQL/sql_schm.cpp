// The column half of CREATE TABLE: names the server accepts, the row-size
// rule, and one clause per column.
#include "SQL/sql_init.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
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
constexpr uint32_t version_3_23_2 = 0x031702; // from here only the primary key makes a column NOT NULL
constexpr size_t max_columns = 4096;          // in any table the server creates
constexpr size_t max_innodb_columns = 1017;
// InnoDB's part of a row in its page: the row must stay under half a page
// less 66 bytes (8,126 in a 16 KiB page, 1,982 in a 4 KiB one); each row
// carries a 5-byte header and, without a primary key, 19 bytes of its own
// columns besides its NULL flags.
constexpr uint32_t page_reserve = 66;
constexpr uint32_t page_row_overhead = 5 + 19;
constexpr uint32_t in_page_limit = 255;       // a longer string may be kept off-page
constexpr uint32_t off_page_bytes = 20 + 1;   // what stays of it: a reference and its length
// The server keeps a table's definition in at most 65,535 bytes: 290 of its
// own, 17 and the name with its end for each column, the comments, and for
// DEFAULT expressions 16 more and 6, the name and the expression each.
constexpr size_t max_definition = 65535;
constexpr size_t definition_bytes = 288 + 2;
constexpr size_t column_definition_bytes = 17 + 1;
constexpr size_t expressions_bytes = 16;
constexpr size_t expression_bytes = 6;
constexpr size_t max_name = 64;               // longer names are cut (sql_engine::get_safe_name)

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

bool is_text_type(const sql_type_text& type)
{
    return type.name == L"CHAR" || type.name == L"VARCHAR";
}

bool is_binary_type(const sql_type_text& type)
{
    return type.name == L"BINARY" || type.name == L"VARBINARY";
}

// The most bytes of a string type's value: 0 for any other type.
uint32_t string_bytes(const sql_type_text& type, uint32_t char_bytes)
{
    const uint64_t length = std::max(type.first, 1u);
    const uint64_t bytes = is_text_type(type) ? length * char_bytes : is_binary_type(type) ? length : 0;
    return static_cast<uint32_t>(std::min<uint64_t>(bytes, UINT32_MAX));
}

// A fixed-width string: BINARY, and CHAR in a character set of one byte a
// character (InnoDB keeps CHAR of a wider set as a string of its own length).
bool is_fixed_string(const sql_type_text& type, uint32_t char_bytes)
{
    return type.name == L"BINARY" || (type.name == L"CHAR" && char_bytes == 1);
}

bool is_long_type(const sql_type_text& type)
{
    return type.name.find(L"TEXT") != std::wstring::npos || type.name.find(L"BLOB") != std::wstring::npos ||
           type.name == L"GEOMETRY" || type.name == L"JSON";
}

// The bytes a column of this MySQL type keeps in an InnoDB page (DYNAMIC row
// format): fixed types their size (a time's fractions of a second one byte
// for each two digits), strings of at most 255 bytes their length and a
// length byte (none for a fixed-width one), longer strings, TEXT and BLOB
// what stays when they go off-page. A type not known here counts nothing:
// the server has the last word on it.
uint32_t in_page_bytes(const sql_type_text& type, uint32_t char_bytes)
{
    struct fixed {
        const wchar_t* name;
        uint32_t bytes;
    };
    static const fixed fixed_types[] = {
        {L"TINYINT", 1}, {L"BOOL", 1}, {L"BOOLEAN", 1}, {L"YEAR", 1}, {L"SMALLINT", 2}, {L"MEDIUMINT", 3},
        {L"INT", 4}, {L"INTEGER", 4}, {L"FLOAT", 4}, {L"BIGINT", 8}, {L"DOUBLE", 8}, {L"REAL", 8},
        {L"DATE", 3}, {L"ENUM", 2}, {L"SET", 8},
    };
    for (const fixed& f : fixed_types)
        if (type.name == f.name)
            return f.bytes;
    static const fixed times[] = {{L"TIME", 3}, {L"DATETIME", 5}, {L"TIMESTAMP", 4}};
    for (const fixed& f : times)
        if (type.name == f.name)
            return f.bytes + (type.has_size ? (std::min(type.first, 6u) + 1) / 2 : 0);
    if (type.name == L"DECIMAL" || type.name == L"NUMERIC") {
        if (!type.has_size)
            return decimal_bytes(10);
        return decimal_bytes(type.first - std::min(type.first, type.second)) + decimal_bytes(type.second);
    }
    if (type.name == L"BIT")
        return (std::max(type.first, 1u) + 7) / 8;
    if (const uint32_t bytes = string_bytes(type, char_bytes); bytes != 0) {
        if (is_fixed_string(type, char_bytes))
            return bytes;
        return bytes <= in_page_limit ? bytes + 1 : off_page_bytes;
    }
    return is_long_type(type) ? off_page_bytes : 0;
}

std::wstring with_digits(uint32_t number)
{
    std::wstring text = std::to_wstring(number);
    for (size_t at = text.size(); at > 3; at -= 3)
        text.insert(at - 3, L",");
    return text;
}

// The storage engine the table is created with.
std::wstring table_engine(const std::optional<sql_table_options>& options)
{
    const sql_engine& engine = tk_singleton<sql_engine>::instance();
    std::wstring storage = options ? options->engine : std::wstring();
    if (storage.empty())
        storage = engine.is_old_version() ? L"MyISAM" : engine.get_tab_type();
    return storage;
}

std::map<std::wstring, std::wstring> column_char_sets(const std::optional<sql_table_options>& options)
{
    return options ? options->column_char_sets : std::map<std::wstring, std::wstring>();
}

bool is_innodb(const std::wstring& storage)
{
    return platform::equal_no_case(storage, L"InnoDB");
}

// The name as the server keeps it: inside its quotes, cut as get_safe_name
// cuts it, in UTF-8.
size_t stored_name_bytes(const std::wstring& name)
{
    std::wstring inside = name;
    if (inside.size() >= 2 && inside.front() == L'`' && inside.back() == L'`')
        inside = inside.substr(1, inside.size() - 2);
    else if (inside.size() > max_name)
        inside.resize(max_name - 1);
    return tk_to_utf8(inside).size();
}

// The server's text of a DEFAULT expression the column gets, empty for a
// constant or none (make_mysql_def_val).
size_t default_expression_bytes(const t_ftd& column)
{
    if (column.vartype != VT_DATE)
        return 0;
    const std::wstring def = make_mysql_def_val(&column);
    return def == L"CURRENT_DATE()" || def == L"CURRENT_TIME()" ? std::wstring(L"curdate()").size() : 0;
}

// What keeps the server from keeping the table's definition (error 1117,
// "Table definition is too large"): empty when it fits.
std::wstring definition_failure(const std::wstring& table_name, const udb_schema& columns)
{
    size_t bytes = definition_bytes;
    size_t expressions = 0;
    for (const std::shared_ptr<t_ftd>& column : columns) {
        const size_t name = stored_name_bytes(column->name);
        bytes += column_definition_bytes + name + tk_to_utf8(column->description).size();
        if (const size_t expression = default_expression_bytes(*column); expression != 0)
            expressions += expression_bytes + name + expression;
    }
    if (expressions != 0)
        bytes += expressions_bytes + expressions;
    if (bytes <= max_definition)
        return {};
    return L"The table '" + table_name + L"' has a definition of " + with_digits(static_cast<uint32_t>(bytes)) +
           L" bytes (its column names, comments and default expressions), more than the " +
           with_digits(static_cast<uint32_t>(max_definition)) +
           L" MySQL keeps: give it fewer columns or shorter names. The table is not created.";
}

// A type text the server cannot take, such as a length beyond 32 bits.
std::wstring type_text_failure(const std::wstring& table_name, const udb_schema& columns)
{
    for (const std::shared_ptr<t_ftd>& column : columns)
        if (!column->native_type.empty() && !sql_parse_type(column->native_type))
            return L"The column '" + column->name + L"' of the table '" + table_name + L"' has the type " +
                   column->native_type + L", whose size MySQL cannot take. The table is not created.";
    return {};
}

// An engine that cannot hold a column of the table's types: MEMORY keeps no
// TEXT, BLOB or geometry, CSV no column that may be NULL.
std::wstring engine_types_failure(const std::wstring& table_name, const std::wstring& storage, const sql_schema& row)
{
    const bool memory = platform::equal_no_case(storage, L"MEMORY") || platform::equal_no_case(storage, L"HEAP");
    const bool csv = platform::equal_no_case(storage, L"CSV");
    if (!memory && !csv)
        return {};
    for (const std::shared_ptr<t_ftd>& column : row) {
        const std::wstring type = row.type_of(*column);
        const std::optional<sql_type_text> parsed = sql_parse_type(type);
        const bool refused =
            memory ? parsed && is_long_type(*parsed) : !column->b_not_null && !column->b_auto_increment;
        if (refused)
            return L"The table '" + table_name + L"' cannot be created with the storage engine " + storage +
                   L", which cannot hold its column '" + column->name + L"' (" + type +
                   (memory ? L"" : L", which may be NULL") + L"). The table is not created.";
    }
    return {};
}

} // namespace

std::wstring sql_column_count_failure(const std::wstring& table_name, const udb_schema& schema, bool with_row)
{
    const std::optional<sql_table_options> options = sql_user_table_options(table_name, schema);
    const std::wstring storage = table_engine(options);
    if (schema.size() > (is_innodb(storage) ? max_innodb_columns : max_columns))
        return L"The table '" + table_name + L"' has " + std::to_wstring(schema.size()) +
               L" columns: MySQL creates at most " + std::to_wstring(max_innodb_columns) +
               L" columns in an InnoDB table and " + std::to_wstring(max_columns) +
               L" in any table. The table is not created.";
    if (std::wstring failure = type_text_failure(table_name, schema); !failure.empty())
        return failure;
    if (!with_row)
        return definition_failure(table_name, schema);
    // Counted as the statement will have them: names as the server gets
    // them, long texts chosen where they help.
    std::wstring auto_increment_name;
    const udb_indexes no_indexes;
    const sql_schema_initializer statement(table_name, schema, no_indexes, auto_increment_name);
    const sql_schema& row = statement.get_schema();
    for (const auto& failure : {definition_failure(table_name, row), row.row_failure(table_name),
                                engine_types_failure(table_name, storage, row)})
        if (!failure.empty())
            return failure;
    return {};
}

void sql_check_column_count(const std::wstring& table_name, const udb_schema& schema)
{
    if (std::wstring failure = sql_column_count_failure(table_name, schema); !failure.empty())
        throw tk_exception(failure, 0);
}

sql_schema::sql_schema(bool innodb_, std::map<std::wstring, std::wstring> column_char_sets_)
    : udb_schema(true), char_set(tk_singleton<sql_engine>::instance().get_char_set()),
      column_char_sets(std::move(column_char_sets_)),
      page_limit(tk_singleton<sql_engine>::instance().get_innodb_page_size() / 2 - page_reserve), innodb(innodb_)
{
}

sql_schema::~sql_schema() = default;

const std::wstring& sql_schema::char_set_of(const t_ftd& column) const
{
    const auto chosen = column_char_sets.find(column.name);
    return chosen != column_char_sets.end() && !chosen->second.empty() ? chosen->second : char_set;
}

std::wstring sql_schema::type_of(const t_ftd& column) const
{
    return column.native_type.empty() ? get_sql_native_type2(&column, false, char_set_of(column)) : column.native_type;
}

// VARCHAR columns the run typed: text that is neither geometry nor
// fixed-width CHAR, of a size that is no TEXT type already. A type the user
// gave stays as given.
bool sql_schema::is_convertible(const t_ftd& column) const
{
    return column.native_type.empty() && column.vartype == VT_BSTR && !is_geometry(column) &&
           column.reserved != 16 && column.size >= 1 &&
           column.size <= std::min(max_convertible, sql_varchar_limit(char_set_of(column)));
}

uint32_t sql_schema::page_bytes(const t_ftd& column) const
{
    const std::optional<sql_type_text> type = sql_parse_type(type_of(column));
    return type ? in_page_bytes(*type, sql_bytes_per_char(char_set_of(column))) : 0;
}

uint32_t sql_schema::row_total() const
{
    return total_size + (nullable + 7) / 8;
}

uint32_t sql_schema::page_row() const
{
    return page_size + page_row_overhead + (nullable + 7) / 8;
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
    if (row_total() > max_row_size)
        return L"The table '" + table_name + L"' is too wide: its row takes " + with_digits(row_total()) +
               L" bytes, more than the " + with_digits(max_row_size) +
               L" MySQL allows in a row. The table is not created.";
    if (innodb && page_row() >= page_limit)
        return L"The table '" + table_name + L"' is too wide: its row keeps " + with_digits(page_row()) +
               L" bytes in an InnoDB page, where InnoDB keeps fewer than " + with_digits(page_limit) +
               L" in its pages of " + std::to_wstring((page_limit + page_reserve) / 512) +
               L" KiB, long texts stored off-page. The table is not created.";
    return {};
}

namespace {

// A VARCHAR's length takes one byte up to 255 bytes, two beyond.
uint32_t length_prefix(uint32_t bytes)
{
    return bytes > in_page_limit ? length_bytes : 1;
}

} // namespace

// The bytes a column takes in the row as the server counts them, length
// prefixes included; TEXT and BLOB columns keep only a pointer there.
uint32_t sql_schema::row_bytes(const t_ftd& column) const
{
    const uint32_t char_bytes = sql_bytes_per_char(char_set_of(column));
    // A string type the user gave counts as given.
    if (!column.native_type.empty()) {
        const std::optional<sql_type_text> given = sql_parse_type(column.native_type);
        if (const uint32_t bytes = given ? string_bytes(*given, char_bytes) : 0; bytes != 0)
            return bytes + (given->name.starts_with(L"VAR") ? length_prefix(bytes) : 0);
    }
    if (is_convertible(column))
        return char_bytes * column.size + length_prefix(char_bytes * column.size);
    if (column.vartype == VT_BSTR && column.reserved == 16)
        return char_bytes * column.size;
    if (column.vartype == VT_BSTR || (is_binary(column) && (column.size == 0 || column.size > 255)))
        return lob_bytes;
    if (is_binary(column))
        return column.size + length_prefix(column.size);
    return column.size;
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
    if (!column->b_not_null && !column->b_auto_increment)
        ++nullable;
    udb_schema::push_back(column);
    if (row_total() > max_row_size)
        tk_logger::log(1, "Schema total size %d exceeds %d bytes, transforming schema...", row_total(), max_row_size);
    while (row_total() > max_row_size && !lobs.empty()) {
        make_long_text(lobs.front());
        lobs.erase(lobs.begin());
    }
    // Only a string kept whole in the page gains from going off-page.
    while (innodb && page_row() >= page_limit) {
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

// The empty schema of the table: its engine and the character sets the user
// chose for its columns, the user's options read once.
sql_schema schema_for(const std::wstring& table_name, const udb_schema& columns)
{
    const std::optional<sql_table_options> options = sql_user_table_options(table_name, columns);
    return sql_schema(is_innodb(table_engine(options)), column_char_sets(options));
}

} // namespace

sql_schema_initializer::sql_schema_initializer(const std::wstring& table_name_, const udb_schema& source_,
                                               const udb_indexes& indexes, std::wstring& auto_increment_name_)
    : table_name(table_name_), schema(schema_for(table_name_, source_)),
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
