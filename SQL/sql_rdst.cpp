// Reading the structure of an existing server table when it is opened: the
// column definitions refine the schema the result metadata gave (text sizes,
// decimals, defaults), then the indexes and the foreign keys. A text column
// too narrow for a value is widened here, from its definition on the server.
#include "SQL/sql_tab.hpp"

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_fkp.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_nmap.hpp"
#include "UDB/udb_ftd.hpp"
#include "platform/text/pl_case.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cwchar>
#include <iterator>

namespace {

constexpr uint32_t current_time_default = 9;

sql_engine& engine()
{
    return tk_singleton<sql_engine>::instance();
}

bool ends_with(const std::wstring& text, const wchar_t* tail)
{
    const size_t n = std::wcslen(tail);
    return text.size() >= n && text.compare(text.size() - n, n, tail) == 0;
}

// CURRENT_TIMESTAMP as MySQL shows it, or current_timestamp() and
// current_timestamp(6) as MariaDB does.
bool is_current_timestamp(const std::wstring& text)
{
    const std::wstring word = L"current_timestamp";
    if (text.size() < word.size() || !platform::equal_no_case(text.substr(0, word.size()), word))
        return false;
    const std::wstring rest = text.substr(word.size());
    if (rest.empty())
        return true;
    if (rest.front() != L'(' || rest.back() != L')')
        return false;
    for (size_t i = 1; i + 1 < rest.size(); ++i)
        if (rest[i] < L'0' || rest[i] > L'9')
            return false;
    return true;
}

void refine_type(t_ftd& column, const std::wstring& type)
{
    int size = 0;
    int precision = 0;
    int scale = 0;
    if (std::swscanf(type.c_str(), L"varchar(%d)", &size) == 1) {
        tk_logger::log(2, "Refining type/size for varchar(%d)", size);
        column.vartype = VT_BSTR;
        column.size = static_cast<uint32_t>(size);
    } else if (std::swscanf(type.c_str(), L"float(%d,%d)", &precision, &scale) == 2) {
        if (precision != 0 && scale != 0 && scale < precision) {
            tk_logger::log(2, "Refining type for FLOAT(%d,%d)", precision, scale);
            column.vartype = VT_DECIMAL;
            column.precision = static_cast<uint32_t>(precision);
            column.scale = static_cast<uint32_t>(scale);
        }
    } else if (ends_with(type, L"text") || ends_with(type, L"TEXT")) {
        tk_logger::log(2, "Change type from BLOB to TEXT");
        column.vartype = VT_BSTR;
    }
}

void refine_default(t_ftd& column, const std::wstring& text)
{
    tk_logger::wlog(2, L"Got default value: %s", text.c_str());
    if (!column.b_not_null && text.empty())
        return;
    tk_logger::log(2, "Default value's type: %08X", column.vartype);
    if (column.vartype == VT_DATE) {
        if (text.empty() || text == L"0000-00-00" || text == L"0000-00-00 00:00:00" || text == L"00000000000000") {
            tk_logger::log(2, "Skip empty def.values for date column");
            column.b_not_null = false;
        } else if (is_current_timestamp(text)) {
            tk_logger::log(2, "Special processing for CURRENT_TIMESTAMP");
            column.reserved = current_time_default;
        }
        return;
    }
    if (column.vartype == VT_BOOL) {
        tk_logger::log(2, "Special processing for boolean");
        if (platform::equal_no_case(text, L"b'0'"))
            column.default_value = ole_variant(false);
        else if (platform::equal_no_case(text, L"b'1'"))
            column.default_value = ole_variant(true);
        return;
    }
    try {
        column.default_value = get_variant(column.vartype, text.c_str());
    } catch (const tk_exception& e) {
        tk_logger::log(2, "Default value not taken: %s", e.what());
    }
}

} // namespace

void sql_table::initialize(uint32_t mode)
{
    tk_logger::log(2, "sql_table::initialize(%d)", mode);
    read_columns();
    if ((mode | 0x60) == 0x60) {
        tk_logger::log(2, "Mode=no_indexes, nothing to do");
        return;
    }
    read_indexes();
    if (engine().get_version() >= sql_version_3_23_44)
        read_foreign_keys();
}

void sql_table::read_columns()
{
    // The column listing types text columns as BLOB on some servers.
    const sql_blob_as_text text_columns;
    const std::wstring table =
        engine().is_old_version() ? sql_engine::old_dialect_name(name) : sql_engine::get_safe_name(name);
    std::unique_ptr<udb_recordset> rows = get_database()->query(L"SHOW COLUMNS FROM " + table);
    for (; rows && !rows->is_eof(); rows->next()) {
        const udb_record& row = *rows->get_item();
        const std::wstring column_name = row.at(0)->to_wstring();
        const std::wstring type = row.at(1)->to_wstring();
        tk_logger::wlog(2, L"Field '%s' has type: %s", column_name.c_str(), type.c_str());
        if (!schema.find_field(column_name)) {
            tk_logger::wlog(3, L"Column '%s' is not in the table's result", column_name.c_str());
            continue;
        }
        t_ftd& column = *schema.get_field2(column_name);
        refine_type(column, type);
        refine_default(column, row.at(row.size() - 2)->to_wstring());
    }
}

void sql_table::read_indexes()
{
    std::unique_ptr<udb_recordset> rows =
        get_database()->query(L"SHOW INDEX FROM " + sql_engine::get_safe_name(name));
    for (; rows && !rows->is_eof(); rows->next()) {
        const udb_record& row = *rows->get_item();
        const std::wstring key_name = row.at(2)->to_wstring();
        const std::wstring column = row.at(4)->to_wstring();
        udb_index index;
        index.name = key_name;
        index.primary = key_name == L"PRIMARY";
        index.unique = !row.at(1)->to_bool();
        tk_logger::wlog(2, L"Got index '%s' (primary=%d, unique=%d)", key_name.c_str(), index.primary ? 1 : 0,
                        index.unique ? 1 : 0);
        if (indexes.find2(key_name)) {
            indexes.get_index(key_name).fields.push_back(column);
            continue;
        }
        index.fields.push_back(column);
        add_index(index);
    }
}

std::string sql_table::create_statement() const
{
    std::unique_ptr<udb_recordset> rows =
        get_database()->query(L"SHOW CREATE TABLE " + sql_engine::get_safe_name(name));
    std::string statement;
    if (rows && !rows->is_eof())
        statement = rows->get_item()->back()->to_string();
    return statement;
}

void sql_table::read_foreign_keys()
{
    tk_logger::log(2, "Extracting foreign keys");
    sql_fk_parser(name, create_statement()).do_parse(*relationships);
}

namespace {

// A text type of the server and the bytes its values take at most.
struct text_type {
    const char* name;
    uint64_t bytes;
};
constexpr text_type text_types[] = {
    {"tinytext", 255}, {"text", 65535}, {"mediumtext", 16777215}, {"longtext", 4294967295u}};

// A column's definition as SHOW CREATE TABLE gives it: its type and what
// follows the type (character set, collation, NULL, default, comment...).
struct column_definition {
    std::string type;
    std::string attributes;
};

column_definition definition_in(const std::string& create, const std::wstring& column)
{
    const std::string head = "\n  " + tk_to_utf8(udb_backquoted(column)) + " ";
    const size_t start = create.find(head);
    if (start == std::string::npos)
        return {};
    size_t end = create.find('\n', start + head.size());
    if (end == std::string::npos)
        end = create.size();
    std::string text = create.substr(start + head.size(), end - start - head.size());
    if (!text.empty() && text.back() == ',')
        text.pop_back();
    // The type ends at the first blank outside its parentheses and quotes.
    size_t depth = 0;
    char quote = 0;
    size_t i = 0;
    for (; i < text.size() && (depth > 0 || quote != 0 || text[i] != ' '); ++i) {
        if (quote != 0)
            quote = text[i] == quote ? 0 : quote;
        else if (text[i] == '\'' || text[i] == '"')
            quote = text[i];
        else if (text[i] == '(')
            ++depth;
        else if (text[i] == ')' && depth > 0)
            --depth;
    }
    return {text.substr(0, i), i < text.size() ? text.substr(i) : std::string()};
}

// The characters (CHAR, VARCHAR) or bytes (the TEXT types) a text type
// holds; false for a type that is no text.
bool text_capacity(std::string type, uint64_t& capacity, bool& in_bytes)
{
    for (char& c : type)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const text_type& t : text_types) {
        if (type == t.name) {
            capacity = t.bytes;
            in_bytes = true;
            return true;
        }
    }
    unsigned long long characters = 0;
    for (const char* prefix : {"char(", "varchar("}) {
        const std::string p = prefix;
        if (type.compare(0, p.size(), p) == 0 && std::sscanf(type.c_str() + p.size(), "%llu)", &characters) == 1) {
            capacity = characters;
            in_bytes = false;
            return true;
        }
    }
    return false;
}

uint64_t utf8_bytes(const udb_field& value)
{
    std::string_view text;
    return value.get_utf8(text) ? text.size() : tk_to_utf8(value.to_wstring()).size();
}

} // namespace

uint32_t sql_table::widen_for(const t_ftd& column, const udb_field& value)
{
    constexpr uint32_t never = UINT32_MAX;
    const column_definition defined = definition_in(create_statement(), column.name);
    uint64_t capacity = 0;
    bool in_bytes = false;
    // A column of another type takes what the server lets it take.
    if (!text_capacity(defined.type, capacity, in_bytes))
        return never;
    // A UTF-8 character takes at most three bytes a UTF-16 unit.
    const auto room = [](uint64_t characters) { return static_cast<uint32_t>(std::min<uint64_t>(characters, never)); };
    const uint64_t bytes = utf8_bytes(value);
    if (in_bytes ? bytes <= capacity : value.get_size() <= capacity)
        return room(in_bytes ? capacity / 3 : capacity);
    const text_type* wider = &text_types[std::size(text_types) - 1];
    for (const text_type& t : text_types)
        if (t.bytes >= std::max<uint64_t>(bytes, 256) && t.bytes < wider->bytes)
            wider = &t;
    // Only the type changes: the column keeps its character set,
    // collation, NULL, default and comment.
    const std::string quoted = tk_to_utf8(udb_backquoted(column.name));
    try {
        get_database()->query_append("ALTER TABLE " + tk_to_utf8(udb_backquoted(name)) + " CHANGE " + quoted + " " +
                                     quoted + " " + wider->name + defined.attributes);
    } catch (const sql_exception& e) {
        if (sql_is_privilege_error(e.get_code()))
            throw rows_not_written(e.get_message(), record_number + 1);
        throw;
    }
    return room(wider->bytes / 3);
}
