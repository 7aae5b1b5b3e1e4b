// The client's read and write timeouts. The client library reads its option
// files itself under the engine's group (connect-timeout among the keys) but
// knows no key for these two, so they are read here from the same files in
// the same order: /etc/my.cnf, /etc/mysql/my.cnf, $MARIADB_HOME/my.cnf (else
// $MYSQL_HOME/my.cnf), ~/.my.cnf, following "!include" and "!includedir".
// Keys "read-timeout" and "write-timeout" (or with "_"), in seconds; a later
// value stands over an earlier one, a value that is no positive number is
// ignored.
#pragma once

#include <string>
#include <vector>

struct sql_client_timeouts {
    // A statement may run this long before its answer (refinement ALTERs of
    // large tables take minutes); a server that stops answering ends the run
    // after it instead of hanging it.
    unsigned read = 600;
    unsigned write = 120;
};

sql_client_timeouts sql_read_timeouts(const std::string& group);
// The same from the given files only.
sql_client_timeouts sql_read_timeouts(const std::string& group, const std::vector<std::string>& files);
