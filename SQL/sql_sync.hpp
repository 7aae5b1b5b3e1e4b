// The WHERE condition of a key text for a server table. The table is opened
// anew so the condition follows the columns the server holds now: numbers
// and binary values stand bare when they are plain literals, everything else
// is an escaped string.
#pragma once

#include <string>

class sql_database;

class sql_sync {
public:
    explicit sql_sync(sql_database* database);

    // A tk_exception when the key text names a column the table lacks.
    std::wstring get_filter_subquery(const std::wstring& table, const std::wstring& key) const;

private:
    sql_database* database;  // not owned
};
