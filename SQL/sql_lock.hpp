// A server's named lock (GET_LOCK) on one destination table, held while a
// run drops, creates and fills it, so two runs into one table take turns
// instead of dropping each other's rows. The lock lives on the connection:
// it goes with it, however the run ends.
#pragma once

#include <functional>
#include <string>

class sql_database;

class sql_table_lock {
public:
    // Waits up to `seconds` for the lock on `table` of `database`, calling
    // `waiting` once when it must wait and `between` after each second (a
    // stop request ends the wait by raising there). When the wait runs out,
    // a level-0 tk_exception names the table and the other run.
    sql_table_lock(sql_database& database, const std::wstring& table, unsigned seconds,
                   const std::function<void()>& waiting, const std::function<void()>& between);
    ~sql_table_lock();
    sql_table_lock(const sql_table_lock&) = delete;
    sql_table_lock& operator=(const sql_table_lock&) = delete;

    // The lock was held by another session when asked for: what the run
    // knew of the database may have changed while it waited.
    bool waited() const { return had_to_wait; }

    // The lock's name: one per table of a server, as the server compares
    // names (whatever case they are written in where it folds them), and no
    // longer than a server takes (64 characters).
    static std::string lock_name(const std::wstring& database, const std::wstring& table, bool folded);

private:
    // True when the server gave the lock within `seconds`.
    bool try_take(unsigned seconds);

    sql_database& database;
    std::string name;
    bool had_to_wait = false;
};
