// What a run does to the tables that stand where its own go: a server table
// is replaced only once its replacement, filled under a stand-in name, holds
// the run's rows, and a run holds a named lock on each table it writes or
// drops, so that two runs into one table take turns.
#include "rvl_conv/rvl_conv.hpp"

#include "SQL/sql_db.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_lock.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "rvl_conv/rvl_errh.hpp"

#include <functional>
#include <utility>

ravelin_converter::standin_fill::~standin_fill()
{
    if (database == nullptr)
        return;
    if (converter.filling == this)
        converter.filling = nullptr;
    if (standin.empty())
        return;
    database->drop_quietly(standin);
    try {
        converter.note_given_up(name, database->is_table_exist(name));
    } catch (const std::exception& e) {
        tk_logger::log(3, "Cannot tell of the table kept: %s", e.what());
    }
}

void ravelin_converter::note_given_up(const std::wstring& name, bool present)
{
    const std::wstring table = table_text(name);
    // The rows its stand-in took went with it.
    const auto outcome = std::find_if(outcomes.begin(), outcomes.end(),
                                      [&](const table_outcome& held) { return held.name == table; });
    if (outcome != outcomes.end())
        outcomes.erase(outcome);
    if (!present)
        return;
    outcomes.push_back(table_outcome{table, 0, false, false, true, true});
    kept.push_back(table);
    hooks.notice(L"The " + table + L" was left as it was: its replacement did not go to its end.");
}

std::wstring ravelin_converter::table_text(const std::wstring& name) const
{
    return L"table '" + dest + L"." + name + L"'";
}

void ravelin_converter::meet_server_database(sql_database& database)
{
    database.set_table_wait(
        table_lock_seconds,
        [this](const std::wstring& name) {
            hooks.notice(L"Waiting for another session to finish with the " + table_text(name) +
                         L" (an open transaction or LOCK TABLES).");
        },
        [this] { throw_if_stop_requested(); });
    // Never dropped unannounced: it may hold the only copy of a table's rows.
    for (const sql_database::leftover& left : database.leftover_standins())
        hooks.notice(L"The " + table_text(left.name) + L" (" +
                     (left.rows < 0 ? std::wstring(L"rows unknown")
                                    : std::to_wstring(left.rows) + (left.rows == 1 ? L" row" : L" rows")) +
                     L") was left by a run that did not end: it may hold the rows of a table that run was "
                     L"replacing. It is kept; drop it once it is not needed.");
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
                                                             const udb_schema& columns, const udb_indexes& indexes,
                                                             standin_fill& fill)
{
    auto* server = dynamic_cast<sql_database*>(&database);
    const bool present = database.is_table_exist(name);
    if (replaces(database, name))
        return replace_table(*server, name, columns, indexes, fill);
    if (server != nullptr && !present)
        refuse_other_object(*server, name);
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

void ravelin_converter::refuse_unless_permitted(sql_database& database, const std::wstring& replaced)
{
    if (!database.may_drop())
        throw tk_exception(L"The user may not drop tables in the database '" + dest + L"': the " + replaced +
                               L" is not replaced and was left as it was.",
                           0);
    if (!database.may_insert())
        throw tk_exception(L"The user may not insert rows into tables of the database '" + dest + L"': the " +
                               replaced + L" is not replaced and was left as it was.",
                           0);
}

void ravelin_converter::refuse_referenced(sql_database& database, const std::vector<std::wstring>& tables)
{
    std::vector<std::wstring> references;
    for (const std::wstring& table : tables.empty() ? std::vector<std::wstring>{std::wstring()} : tables) {
        const std::vector<std::wstring> found = database.references_to(table);
        references.insert(references.end(), found.begin(), found.end());
    }
    if (references.empty())
        return;
    std::wstring text;
    for (const std::wstring& reference : references)
        text += (text.empty() ? L"" : L"; ") + reference;
    // Their keys would follow the old table under its stand-in name, and
    // point at nothing once it is dropped.
    throw tk_exception(L"Replacing would leave foreign keys of other tables pointing at no table: " + text +
                           L". Nothing was replaced; drop or change those keys first, or append to the tables.",
                       1);
}

void ravelin_converter::refuse_other_object(sql_database& database, const std::wstring& name)
{
    const std::wstring kind = database.object_kind(name);
    if (kind.empty() || kind == L"table" || kind == L"system-versioned table")
        return;
    throw tk_exception(L"The name '" + name + L"' is taken by a " + kind + L" of the database '" + dest +
                           L"', not a table: the table is not created, and the " + kind + L" was left as it was.",
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
                                                                const udb_indexes& indexes, standin_fill& fill)
{
    const bool whole_database = mode == 0;
    const std::wstring replaced = whole_database ? L"database '" + dest + L"'" : table_text(name);
    refuse_referenced(database, whole_database ? std::vector<std::wstring>{} : std::vector<std::wstring>{name});
    refuse_unless_permitted(database, replaced);
    keeping(replaced, [&] { begin_fill(fill, database, name, columns, indexes); });
    fill.whole_database = whole_database;
    return database.get_table(fill.standin, 2);
}

void ravelin_converter::begin_fill(standin_fill& fill, sql_database& database, const std::wstring& name,
                                   const udb_schema& columns, const udb_indexes& indexes)
{
    fill.database = &database;
    fill.name = name;
    fill.standin = make_standin(database, name, columns, indexes);
    fill_now(fill);
}

void ravelin_converter::fill_now(const standin_fill& fill)
{
    filling = &fill;
    error_handler::instance().set_shown_table(fill.standin, fill.name);
}

void ravelin_converter::place_standin(standin_fill& fill)
{
    if (fill.standin.empty())
        return;
    sql_database& database = *fill.database;
    const bool present = database.is_table_exist(fill.name);
    const std::wstring replaced = fill.whole_database ? L"database '" + dest + L"'" : table_text(fill.name);
    std::vector<std::wstring> triggers;
    keeping(replaced, [&] {
        if (present)
            triggers = database.triggers_of(fill.name);
        // Mode 0 replaces all the database holds: a view or a sequence of
        // the table's name makes way.
        const std::wstring kind = present || !fill.whole_database ? std::wstring() : database.object_kind(fill.name);
        if (!kind.empty()) {
            const std::vector<std::wstring> gone = database.drop_object({fill.name, kind});
            dropped.insert(dropped.end(), gone.begin(), gone.end());
        }
        put_standin_in_place(database, fill.standin, fill.name);
    });
    if (present) {
        dropped.push_back(table_text(fill.name));
        dropped.insert(dropped.end(), triggers.begin(), triggers.end());
    }
    if (fill.whole_database)
        clear_database(database, {fill.name});
    written.push_back(table_text(fill.name));
}

void ravelin_converter::clear_database(sql_database& database, const std::vector<std::wstring>& kept_tables)
{
    for (const sql_database::held_object& object : database.objects_but(kept_tables)) {
        // Another run writing a table under its lock keeps it until done.
        sheet_step(object.name, [&] {
            const std::unique_ptr<sql_table_lock> lock =
                object.kind == L"view" ? nullptr : lock_table(database, object.name);
            const std::vector<std::wstring> gone = database.drop_object(object);
            dropped.insert(dropped.end(), gone.begin(), gone.end());
        });
    }
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

void ravelin_converter::put_standin_in_place(sql_database& database, std::wstring& standin, const std::wstring& name)
{
    if (database.may_rename()) {
        database.put_in_place(standin, name);
        standin.clear();
        return;
    }
    // Without ALTER nothing can be renamed: the old table goes and a table
    // like the stand-in takes its rows. From then on the stand-in holds the
    // only copy of them, so it stays, named, until they are in place.
    database.drop_waiting(name);
    const std::wstring held = std::exchange(standin, std::wstring());
    try {
        database.copy_in_place(held, name);
    } catch (const std::exception&) {
        hooks.notice(L"The old " + table_text(name) + L" was dropped and its replacement could not take its rows: "
                     L"they are kept in the " + table_text(held) + L".");
        throw;
    }
}
