// Replacing what a database holds without losing it on the way: new tables
// are made under stand-in names and filled there, and the old ones go only
// once the new ones hold their rows.
#include "SQL/sql_db.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_case.hpp"

#include <algorithm>
#include <chrono>
#include <thread>

#include <mysqld_error.h>

namespace {

std::wstring quoted(const std::wstring& name) { return sql_engine::get_safe_name(name); }

std::string literal(const std::wstring& text) { return to_mysql_str(tk_to_utf8(text), VT_BSTR); }

const wchar_t standin_prefix[] = L"rvl_standin_";

// What the server's TABLE_TYPE calls the object, as the run's reports name it.
std::wstring kind_of_type(const std::wstring& type)
{
    if (type == L"VIEW")
        return L"view";
    if (type == L"SEQUENCE")
        return L"sequence";
    if (type == L"SYSTEM VERSIONED")
        return L"system-versioned table";
    return L"table";
}

} // namespace

std::vector<std::vector<std::wstring>> sql_database::rows_of(const std::string& statement)
{
    std::vector<std::vector<std::wstring>> rows;
    sql_tmp_recordset result(use_result(statement).release());
    for (; !result.is_eof(); result.next()) {
        std::vector<std::wstring> row;
        for (const auto& field : *result.get_item())
            row.push_back(field ? field->to_wstring() : std::wstring());
        rows.push_back(std::move(row));
    }
    return rows;
}

std::wstring sql_database::object_kind(const std::wstring& object)
{
    // The listing compares names without case; the object of exactly the
    // name is the one meant when there are two.
    std::wstring kind;
    for (const auto& row : rows_of("SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES WHERE "
                                   "TABLE_SCHEMA = " + literal(name) + " AND TABLE_NAME = " + literal(object))) {
        if (row.size() < 2)
            continue;
        if (kind.empty() || row[0] == object)
            kind = kind_of_type(row[1]);
    }
    return kind;
}

std::wstring sql_database::new_standin_name()
{
    // The connection's id keeps two runs on one server apart; the count, the
    // tables of this one. A name anything of the database holds is passed
    // over: a leftover of an earlier run, or an object of the user's.
    const std::wstring base = standin_prefix + std::to_wstring(mysql_thread_id(connection)) + L"_";
    std::wstring standin;
    do
        standin = base + std::to_wstring(++standins);
    while (is_table_exist(standin) || !object_kind(standin).empty());
    return standin;
}

std::vector<sql_database::leftover> sql_database::leftover_standins()
{
    std::vector<leftover> found;
    const std::string pattern = "rvl\\\\_standin\\\\_%";
    for (const auto& row : rows_of("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = " +
                                   literal(name) + " AND TABLE_NAME LIKE '" + pattern + "' ORDER BY TABLE_NAME")) {
        const std::wstring& table = row.at(0);
        // A stand-in of a run still connected is that run's to fill.
        const size_t end = table.find(L'_', std::size(standin_prefix) - 1);
        const std::wstring id = table.substr(std::size(standin_prefix) - 1, end - (std::size(standin_prefix) - 1));
        if (id.empty() || id.find_first_not_of(L"0123456789") != std::wstring::npos)
            continue;
        if (std::to_wstring(mysql_thread_id(connection)) == id ||
            !rows_of("SELECT 1 FROM information_schema.PROCESSLIST WHERE ID = " + tk_to_utf8(id)).empty())
            continue;
        leftover item{table, -1};
        try {
            item.rows = std::stoll(rows_of("SELECT COUNT(*) FROM " + tk_to_utf8(quoted(table))).at(0).at(0));
        } catch (const std::exception& e) {
            tk_logger::log(3, "Cannot count the rows of a stand-in left behind: %s", e.what());
        }
        found.push_back(item);
    }
    return found;
}

void sql_database::create_standin(const std::wstring& standin, const std::wstring& name, const udb_schema& schema,
                                  const udb_indexes& indexes)
{
    tk_logger::wlog(2, L"sql_database::create_standin(%s as %s)", name.c_str(), standin.c_str());
    send_create(standin, name, schema, indexes);
}

void sql_database::set_table_wait(unsigned seconds, std::function<void(const std::wstring&)> waiting,
                                  std::function<void()> between)
{
    wait_seconds = seconds;
    on_wait = std::move(waiting);
    between_waits = std::move(between);
}

void sql_database::send_waiting(const std::wstring& statement, const std::wstring& table)
{
    // The server would wait for another session's hold on the table (an
    // open transaction that read it, LOCK TABLES) up to its
    // lock_wait_timeout, a day by default, without a word. The run has it
    // give up at once (a server whose least wait is a second takes 0 as
    // that) and tries again: it tells the user, hears a stop between two
    // tries, gives up in time, and leaves no statement waiting there.
    query_append("SET SESSION lock_wait_timeout = 0");
    struct restore {
        sql_database& database;
        ~restore()
        {
            try {
                database.query_append("SET SESSION lock_wait_timeout = DEFAULT");
            } catch (const std::exception& e) {
                tk_logger::log(3, "Cannot set lock_wait_timeout back: %s", e.what());
            }
        }
    } back{*this};
    const std::string text = tk_to_utf8(statement);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(wait_seconds);
    for (bool told = false;; told = true) {
        try {
            query_append(text);
            return;
        } catch (const sql_exception& e) {
            if ((e.get_code() & 0xFFFF) != ER_LOCK_WAIT_TIMEOUT)
                throw;
        }
        if (std::chrono::steady_clock::now() >= end)
            throw tk_exception(L"The table '" + name + L"." + table +
                                   L"' is held by another session (an open transaction or LOCK TABLES), which "
                                   L"still held it after " + std::to_wstring(wait_seconds) +
                                   L" seconds: the table is not replaced.",
                               0);
        if (!told && on_wait)
            on_wait(table);
        if (between_waits)
            between_waits();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

void sql_database::put_in_place(const std::wstring& standin, const std::wstring& name)
{
    tk_logger::wlog(2, L"sql_database::put_in_place(%s, %s)", standin.c_str(), name.c_str());
    if (!is_table_exist(name)) {
        send_waiting(L"RENAME TABLE " + quoted(standin) + L" TO " + quoted(name), name);
        udb_database::delete_tab(standin);
        tables.push_back(name);
        return;
    }
    const std::wstring old = new_standin_name();
    const std::wstring listed = listed_name(name);
    send_waiting(L"RENAME TABLE " + quoted(listed) + L" TO " + quoted(old) + L", " + quoted(standin) + L" TO " +
                     quoted(listed),
                 listed);
    udb_database::delete_tab(standin);
    tables.push_back(old);
    delete_tab(old);
}

void sql_database::drop_waiting(const std::wstring& table)
{
    if (!is_table_exist(table))
        return;
    const std::wstring listed = listed_name(table);
    send_waiting(L"DROP TABLE " + quoted(listed), listed);
    udb_database::delete_tab(listed);
}

void sql_database::copy_in_place(const std::wstring& standin, const std::wstring& name)
{
    tk_logger::wlog(2, L"sql_database::copy_in_place(%s, %s)", standin.c_str(), name.c_str());
    query_append(tk_to_utf8(L"CREATE TABLE " + quoted(name) + L" LIKE " + quoted(standin)));
    tables.push_back(name);
    query_append(tk_to_utf8(L"INSERT INTO " + quoted(name) + L" SELECT * FROM " + quoted(standin)));
    drop_quietly(standin);
}

void sql_database::reread_tables()
{
    tables.clear();
    init_tables();
}

bool sql_database::access_denied(const std::wstring& statement)
{
    // The probe on a name no table has is meant to fail when the user may
    // do it ("no such table"), so its answer is no failure of the run and
    // stays out of the log, whose failed statements the user reads.
    if (test_query(statement))
        return false;
    const unsigned error = mysql_errno(connection);
    return error == ER_TABLEACCESS_DENIED_ERROR || error == ER_DBACCESS_DENIED_ERROR ||
           error == ER_SPECIFIC_ACCESS_DENIED_ERROR;
}

bool sql_database::may_drop()
{
    return !access_denied(L"DROP TABLE IF EXISTS " + quoted(new_standin_name()));
}

bool sql_database::may_rename()
{
    const std::wstring nowhere = quoted(new_standin_name());
    return !access_denied(L"RENAME TABLE " + nowhere + L" TO " + nowhere);
}

bool sql_database::may_insert()
{
    // The server checks the privilege before it looks for the table.
    return !access_denied(L"INSERT INTO " + quoted(new_standin_name()) + L" () VALUES ()");
}

void sql_database::drop_quietly(const std::wstring& name) noexcept
{
    try {
        tk_logger::wlog(2, L"sql_database::drop_quietly(%s)", name.c_str());
        const fk_checks_off unchecked(*this);
        query_append(tk_to_utf8(L"DROP TABLE IF EXISTS " + quoted(name)));
        udb_database::delete_tab(name);
    } catch (const std::exception& e) {
        tk_logger::log(3, "Cannot drop the table the run made: %s", e.what());
    }
}

std::vector<std::wstring> sql_database::triggers_of(const std::wstring& table)
{
    std::vector<std::wstring> found;
    for (const auto& row : rows_of("SELECT TRIGGER_NAME FROM information_schema.TRIGGERS WHERE EVENT_OBJECT_SCHEMA = " +
                                   literal(name) + " AND EVENT_OBJECT_TABLE = " + literal(table) +
                                   " ORDER BY TRIGGER_NAME"))
        found.push_back(L"trigger '" + name + L"." + row.at(0) + L"'");
    return found;
}

std::vector<std::wstring> sql_database::references_to(const std::wstring& table)
{
    // A table's keys on itself go with it.
    std::string condition = "UNIQUE_CONSTRAINT_SCHEMA = " + literal(name);
    if (!table.empty())
        condition += " AND REFERENCED_TABLE_NAME = " + literal(table) + " AND NOT (CONSTRAINT_SCHEMA = " +
                     literal(name) + " AND TABLE_NAME = " + literal(table) + ")";
    else
        condition += " AND CONSTRAINT_SCHEMA <> " + literal(name);
    std::vector<std::wstring> found;
    for (const auto& row : rows_of("SELECT CONSTRAINT_NAME, CONSTRAINT_SCHEMA, TABLE_NAME, REFERENCED_TABLE_NAME "
                                   "FROM information_schema.REFERENTIAL_CONSTRAINTS WHERE " + condition +
                                   " ORDER BY CONSTRAINT_SCHEMA, TABLE_NAME, CONSTRAINT_NAME"))
        found.push_back(L"the foreign key '" + row.at(0) + L"' of the table '" + row.at(1) + L"." + row.at(2) +
                        L"' references the table '" + name + L"." + row.at(3) + L"'");
    return found;
}

std::vector<sql_database::held_object> sql_database::objects_but(const std::vector<std::wstring>& kept)
{
    // Read anew: views and tables made since the database was opened count.
    std::vector<held_object> held;
    for (const auto& row : rows_of("SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES WHERE "
                                   "TABLE_SCHEMA = " + literal(name) + " ORDER BY TABLE_NAME")) {
        const std::wstring& table = row.at(0);
        const auto is_kept = [&](const std::wstring& k) {
            return case_sensitive ? k == table : platform::equal_no_case(k, table);
        };
        if (std::find_if(kept.begin(), kept.end(), is_kept) == kept.end())
            held.push_back({table, kind_of_type(row.at(1))});
    }
    return held;
}

std::vector<std::wstring> sql_database::drop_object(const held_object& object)
{
    const bool view = object.kind == L"view";
    std::vector<std::wstring> gone{object.kind + L" '" + name + L"." + object.name + L"'"};
    if (!view) {
        const std::vector<std::wstring> triggers = triggers_of(object.name);
        gone.insert(gone.end(), triggers.begin(), triggers.end());
    }
    {
        const fk_checks_off unchecked(*this);
        send_waiting((view ? L"DROP VIEW " : L"DROP TABLE ") + quoted(object.name), object.name);
    }
    if (!view)
        udb_database::delete_tab(object.name);
    return gone;
}
