#include "SQL/sql_lock.hpp"

#include "SQL/sql_db.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_case.hpp"

#include <cstdio>

std::string sql_table_lock::lock_name(const std::wstring& database, const std::wstring& table, bool folded)
{
    const std::string full = tk_to_utf8(folded ? platform::table_name_key(database) + L"." +
                                                     platform::table_name_key(table)
                                               : database + L"." + table);
    const std::string prefix = "ravelin:";
    if (prefix.size() + full.size() <= 64)
        return prefix + full;
    // A long name is known by its hash (FNV-1a), which fits.
    uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : full)
        hash = (hash ^ c) * 1099511628211ull;
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return prefix + hex;
}

sql_table_lock::sql_table_lock(sql_database& database_, const std::wstring& table, unsigned seconds,
                               const std::function<void()>& waiting, const std::function<void()>& between)
    : database(database_), name(lock_name(database_.name, table, !database_.case_sensitive))
{
    if (try_take(0))
        return;
    had_to_wait = true;
    waiting();
    for (unsigned waited = 0; waited < seconds; ++waited) {
        if (try_take(1))
            return;
        between();
    }
    throw tk_exception(L"The table '" + database.name + L"." + table +
                           L"' is being written by another run, which still held it after " +
                           std::to_wstring(seconds) + L" seconds: the table is not converted.",
                       0);
}

bool sql_table_lock::try_take(unsigned seconds)
{
    const sql_result_ptr result =
        database.use_result("SELECT GET_LOCK(" + to_mysql_str(name, VT_BSTR) + ", " + std::to_string(seconds) + ")");
    MYSQL_ROW row = result ? mysql_fetch_row(result.get()) : nullptr;
    const bool taken = row != nullptr && row[0] != nullptr && row[0][0] == '1';
    tk_logger::log(2, "GET_LOCK(%s): %s", name.c_str(), taken ? "taken" : "held by another session");
    return taken;
}

sql_table_lock::~sql_table_lock()
{
    try {
        database.use_result("SELECT RELEASE_LOCK(" + to_mysql_str(name, VT_BSTR) + ")");
    } catch (const std::exception& e) {
        tk_logger::log(3, "Cannot release the lock %s: %s", name.c_str(), e.what());
    }
}
