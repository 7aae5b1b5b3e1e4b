// What a run does to the tables that stand where its own go: a server table
// is replaced only once the server has taken its replacement, and a run
// holds a named lock on each table it writes, so that two runs into one
// table take turns.
#include "rvl_conv/rvl_conv.hpp"

#include "SQL/sql_db.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_lock.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"

#include <functional>

namespace {

// A stand-in the run made goes again on every way out but the one that put
// it in place.
struct standin_guard {
    sql_database& database;
    std::wstring name;
    ~standin_guard()
    {
        if (!name.empty())
            database.drop_quietly(name);
    }
};

} // namespace

std::wstring ravelin_converter::table_text(const std::wstring& name) const
{
    return L"table '" + dest + L"." + name + L"'";
}

std::unique_ptr<sql_table_lock> ravelin_converter::lock_table(udb_database& database, const std::wstring& name)
{
    auto* server = dynamic_cast<sql_database*>(&database);
    if (server == nullptr)
        return nullptr;
    auto lock = std::make_unique<sql_table_lock>(
        *server, name, table_lock_seconds,
        [&] { hooks.notice(L"Waiting for another run to finish with the " + table_text(name) + L"."); },
        [&] { throw_if_stop_requested(); });
    // The other run may have made or dropped the table meanwhile.
    if (lock->waited())
        server->reread_tables();
    return lock;
}

bool ravelin_converter::replaces(udb_database& database, const std::wstring& name)
{
    auto* server = dynamic_cast<sql_database*>(&database);
    if (server == nullptr)
        return false;
    if (mode == 1)
        return database.is_table_exist(name);
    // A database that holds nothing has nothing to lose.
    return mode == 0 && !database_cleared && !(server->tables.empty() && server->views.empty());
}

std::unique_ptr<udb_recordset> ravelin_converter::make_table(udb_database& database, const std::wstring& name,
                                                             const udb_schema& columns, const udb_indexes& indexes)
{
    auto* server = dynamic_cast<sql_database*>(&database);
    const bool present = database.is_table_exist(name);
    if (replaces(database, name))
        return replace_table(*server, name, columns, indexes, mode == 0);
    // Mode 0 into a database that held nothing: the tables this run makes
    // are no cause to clear it for the next one.
    database_cleared = database_cleared || (server != nullptr && mode == 0);
    // A dump is a script: its mode 1 drops the table before it creates it.
    if (server == nullptr && mode == 1 && present)
        database.delete_tab(name);
    std::unique_ptr<udb_recordset> table = database.create_table(name, columns, indexes);
    // A table opened to append to keeps what it held.
    if (server != nullptr && !present)
        written.push_back(table_text(name));
    return table;
}

void ravelin_converter::refuse_unless_droppable(sql_database& database, const std::wstring& replaced)
{
    if (!database.may_drop())
        throw tk_exception(L"The user may not drop tables in the database '" + dest + L"': the " + replaced +
                               L" is not replaced and was left as it was.",
                           0);
}

void ravelin_converter::keeping(const std::wstring& replaced, const std::function<void()>& step)
{
    try {
        step();
    } catch (const sql_exception& e) {
        throw sql_exception(e.what() + ("; nothing was dropped: the " + tk_to_utf8(replaced) + " was left as it was."),
                            e.get_code() & 0xFFFF);
    }
}

std::unique_ptr<udb_recordset> ravelin_converter::replace_table(sql_database& database, const std::wstring& name,
                                                                const udb_schema& columns,
                                                                const udb_indexes& indexes, bool whole_database)
{
    const std::wstring replaced = whole_database ? L"database '" + dest + L"'" : table_text(name);
    refuse_unless_droppable(database, replaced);
    const bool present = database.is_table_exist(name);
    std::unique_ptr<udb_recordset> table;
    keeping(replaced, [&] {
        if (!present) {
            table = database.create_table(name, columns, indexes);
            return;
        }
        standin_guard standin{database, make_standin(database, name, columns, indexes)};
        put_standin_in_place(database, standin.name, name, columns, indexes);
        table = database.get_table(name, 2);
    });
    if (present)
        dropped.push_back(table_text(name));
    if (whole_database)
        clear_database(database, {name});
    written.push_back(table_text(name));
    return table;
}

void ravelin_converter::clear_database(sql_database& database, const std::vector<std::wstring>& kept)
{
    const std::vector<std::wstring> gone = database.drop_all_but(kept);
    dropped.insert(dropped.end(), gone.begin(), gone.end());
    database_cleared = true;
}

std::wstring ravelin_converter::make_standin(sql_database& database, const std::wstring& name,
                                             const udb_schema& columns, const udb_indexes& indexes)
{
    // The new table is made first, under a stand-in name: a definition, a
    // privilege or an engine the server refuses leaves the old one as it
    // was. The name is the old table's, so the server takes it.
    const std::wstring standin = database.new_standin_name();
    try {
        database.create_standin(standin, name, columns, indexes);
    } catch (const sql_exception& e) {
        // The server's words name the stand-in, which the user never chose.
        std::string text = e.what();
        tk_string::replace_all(text, tk_to_utf8(standin), tk_to_utf8(name));
        throw sql_exception(text, e.get_code() & 0xFFFF);
    }
    return standin;
}

void ravelin_converter::put_standin_in_place(sql_database& database, std::wstring& standin, const std::wstring& name,
                                             const udb_schema& columns, const udb_indexes& indexes)
{
    if (database.may_rename()) {
        database.put_in_place(standin, name);
        standin.clear();
        return;
    }
    // Without ALTER nothing can be renamed: the server has taken this
    // definition from this user, so the old table goes and the new one is
    // made under its own name.
    database.drop_quietly(standin);
    standin.clear();
    database.delete_tab(name);
    database.create_table(name, columns, indexes);
}
