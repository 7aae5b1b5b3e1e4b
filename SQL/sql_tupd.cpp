// Changing and deleting rows of a server table by key. A statement names its
// rows only through values that identify them: an update by the table's key
// needs every key field with a value, since a partial key or a NULL (which a
// unique index admits many times) could reach rows the caller never meant.
#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "SQL/sql_sync.hpp"
#include "SQL/sql_tab.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"

#include <algorithm>
#include <exception>

namespace {

const char source_file[] = "sql_tupd.cpp";

std::string quoted_name(const std::wstring& name)
{
    return tk_to_utf8(sql_engine::get_safe_name(name));
}

// Values without a declared size may be too long for one statement; the
// updates leave them as they are.
bool is_large_value(const udb_field& field)
{
    const VARTYPE vt = field.get_type();
    return field.size == 0 && (vt == VT_BLOB || vt == (VT_ARRAY | VT_UI1) || vt == VT_BSTR);
}

void append_joined(std::string& text, const std::string& term, const char* separator)
{
    if (!text.empty())
        text += separator;
    text += term;
}

} // namespace

sql_sync::sql_sync(sql_database* database_) : database(database_)
{
    tk_logger::log(2, "sql_sync::ctor");
}

std::wstring sql_sync::get_filter_subquery(const std::wstring& table, const std::wstring& key) const
{
    tk_logger::wlog(1, L"sql_sync::get_filter_subquery(%s,%s)", table.c_str(), key.c_str());
    const std::unique_ptr<udb_recordset> opened = database->get_table(table, 1);
    return opened->get_filter_subquery(key);
}

std::vector<sql_table::field_term> sql_table::field_terms(const udb_record& record) const
{
    const std::vector<int> column_of = columns_of_fields(record);
    std::vector<field_term> terms;
    for (size_t i = 0; i < record.size(); ++i) {
        if (column_of[i] < 0) {
            tk_logger::wlog(1, L"Field '%s' is not found in schema", record[i]->name.c_str());
            continue;
        }
        const udb_field* field = record[i].get();
        const t_ftd& column = *schema[static_cast<size_t>(column_of[i])];
        const std::string literal = to_mysql_str(field);
        terms.push_back({field, &column, quoted_name(column.name) + "=" + literal, literal == "NULL"});
    }
    return terms;
}

std::string sql_table::update_head() const
{
    return "UPDATE " + quoted_name(name) + " SET ";
}

std::string sql_table::key_condition(const std::wstring& key) const
{
    return tk_to_utf8(sql_sync(get_database()).get_filter_subquery(name, key));
}

void sql_table::send_change(const std::string& statement, const char* what, int level)
{
    try {
        get_database()->query_append(statement);
    } catch (const std::exception& e) {
        tk_logger::log(level, "ERROR on %s: %s", what, e.what());
        throw;
    }
}

void sql_table::update1(const udb_record& record)
{
    tk_logger::log(1, "sql_table::update");
    if (key_position < 0) {
        tk_logger::log(1, "There's no primary/unique key");
        return;
    }
    if (static_cast<size_t>(key_position) >= indexes.size())
        throw tk_mail_assertion(source_file, 95);
    const std::vector<std::wstring>& key_fields = indexes[key_position].fields;
    std::vector<std::wstring> found;
    std::string assignments;
    std::string condition;
    for (const field_term& term : field_terms(record)) {
        const std::wstring& column = term.column->name;
        if (std::find(key_fields.begin(), key_fields.end(), column) != key_fields.end()) {
            tk_logger::wlog(1, L"Field %s is a part of UKey", column.c_str());
            if (term.is_null) {
                tk_logger::wlog(1, L"Key field %s is NULL", column.c_str());
                continue;
            }
            if (std::find(found.begin(), found.end(), column) == found.end())
                found.push_back(column);
            append_joined(condition, term.text, " AND ");
        } else {
            tk_logger::wlog(1, L"Field %s is NOT a part of UKey", column.c_str());
            if (is_large_value(*term.field))
                tk_logger::wlog(2, L"Field %s is LOB, skip it", term.field->name.c_str());
            else
                append_joined(assignments, term.text, ", ");
        }
    }
    const std::string statement = update_head() + assignments + " WHERE " + condition;
    tk_logger::log(2, "UPDATE QUERY: %s", statement.c_str());
    if (found.size() != key_fields.size()) {
        tk_logger::log(1, "Missing primary/unique key");
        return;
    }
    send_change(statement, "UPDATE0", 2);
}

void sql_table::update2(const udb_record& record, const std::wstring& key)
{
    tk_logger::wlog(1, L"sql_table::update(key=%s)", key.c_str());
    if (key.empty()) {
        tk_logger::log(1, "Missing key for update");
        return;
    }
    std::string assignments;
    for (const field_term& term : field_terms(record)) {
        if (is_large_value(*term.field))
            tk_logger::wlog(2, L"Field %s is LOB, skip it", term.field->name.c_str());
        else
            append_joined(assignments, term.text, ", ");
    }
    std::string statement;
    try {
        statement = update_head() + assignments + " WHERE " + key_condition(key);
    } catch (const std::exception& e) {
        tk_logger::log(3, "ERROR on UPDATE: %s", e.what());
        throw;
    }
    tk_logger::log(2, "UPDATE QUERY: %s", statement.c_str());
    send_change(statement, "UPDATE", 3);
}

void sql_table::delete_key(const std::wstring& key)
{
    tk_logger::wlog(2, L"sql_table::delete_key(%s)", key.c_str());
    std::string statement;
    try {
        statement = "delete from " + quoted_name(name) + " where " + key_condition(key);
    } catch (const std::exception& e) {
        tk_logger::log(2, "ERROR on DELETE: %s", e.what());
        throw;
    }
    send_change(statement, "DELETE", 2);
}

void sql_table::delete_key(const udb_record& record)
{
    tk_logger::log(1, "sql_table::delete_key");
    std::string condition;
    for (const field_term& term : field_terms(record)) {
        // "=" never holds for NULL: the row is found by IS NULL.
        const std::string text = term.is_null ? quoted_name(term.column->name) + " IS NULL" : term.text;
        append_joined(condition, text, " AND ");
    }
    send_change("DELETE FROM " + quoted_name(name) + " WHERE " + condition, "DELETE", 2);
}
