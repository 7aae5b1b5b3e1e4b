// Replacing what a database holds without losing it on the way: new tables
// are made under stand-in names, and the old ones go only once the server
// has taken the new.
#include "SQL/sql_db.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_exc.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_case.hpp"

#include <algorithm>

#include <mysqld_error.h>

namespace {

std::wstring quoted(const std::wstring& name) { return sql_engine::get_safe_name(name); }

} // namespace

std::wstring sql_database::new_standin_name()
{
    // The connection's id keeps two runs on one server apart; the count, the
    // tables of this one. A leftover of an earlier run is passed over.
    const std::wstring base = L"rvl_standin_" + std::to_wstring(mysql_thread_id(connection)) + L"_";
    std::wstring name;
    do
        name = base + std::to_wstring(++standins);
    while (is_table_exist(name));
    return name;
}

void sql_database::create_standin(const std::wstring& standin, const std::wstring& name, const udb_schema& schema,
                                  const udb_indexes& indexes)
{
    tk_logger::wlog(2, L"sql_database::create_standin(%s as %s)", name.c_str(), standin.c_str());
    send_create(standin, name, schema, indexes);
}

void sql_database::put_in_place(const std::wstring& standin, const std::wstring& name)
{
    tk_logger::wlog(2, L"sql_database::put_in_place(%s, %s)", standin.c_str(), name.c_str());
    if (!is_table_exist(name)) {
        query_append(tk_to_utf8(L"RENAME TABLE " + quoted(standin) + L" TO " + quoted(name)));
        udb_database::delete_tab(standin);
        tables.push_back(name);
        return;
    }
    const std::wstring old = new_standin_name();
    const std::wstring listed = listed_name(name);
    query_append(tk_to_utf8(L"RENAME TABLE " + quoted(listed) + L" TO " + quoted(old) + L", " + quoted(standin) +
                            L" TO " + quoted(listed)));
    udb_database::delete_tab(standin);
    tables.push_back(old);
    delete_tab(old);
}

void sql_database::reread_tables()
{
    tables.clear();
    init_tables();
}

bool sql_database::access_denied(const std::wstring& statement)
{
    try {
        query_append(tk_to_utf8(statement));
        return false;
    } catch (const sql_exception& e) {
        const unsigned error = e.get_code() & 0xFFFF;
        return error == ER_TABLEACCESS_DENIED_ERROR || error == ER_DBACCESS_DENIED_ERROR ||
               error == ER_SPECIFIC_ACCESS_DENIED_ERROR;
    }
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

void sql_database::drop_quietly(const std::wstring& name) noexcept
{
    try {
        tk_logger::wlog(2, L"sql_database::drop_quietly(%s)", name.c_str());
        query_append(tk_to_utf8(L"DROP TABLE IF EXISTS " + quoted(name)));
        udb_database::delete_tab(name);
    } catch (const std::exception& e) {
        tk_logger::log(3, "Cannot drop the table the run made: %s", e.what());
    }
}

std::vector<std::wstring> sql_database::drop_all_but(const std::vector<std::wstring>& kept)
{
    // Read anew: views and tables made since the database was opened count.
    std::vector<std::pair<std::wstring, bool>> held;  // name, is a view
    {
        sql_tmp_recordset rows(use_result("SHOW FULL TABLES").release());
        for (; !rows.is_eof(); rows.next()) {
            const udb_record& row = *rows.get_item();
            const std::wstring table = row.at(0)->to_wstring();
            const auto is_kept = [&](const std::wstring& k) {
                return case_sensitive ? k == table : platform::equal_no_case(k, table);
            };
            if (std::find_if(kept.begin(), kept.end(), is_kept) == kept.end())
                held.emplace_back(table, row.size() > 1 && row.at(1)->to_wstring() == L"VIEW");
        }
    }
    std::vector<std::wstring> dropped;
    for (const auto& [table, is_view] : held) {
        query_append(tk_to_utf8((is_view ? L"DROP VIEW " : L"DROP TABLE ") + quoted(table)));
        if (!is_view)
            udb_database::delete_tab(table);
        dropped.push_back((is_view ? L"view '" : L"table '") + name + L"." + table + L"'");
    }
    return dropped;
}
