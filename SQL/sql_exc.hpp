// Failures of the MySQL side. A server's refusal carries the client library's
// text and the code 0x400000 | the server's error number, so the error
// handler can put a friendly message in its place; the two others end the
// operation (level 1).
#pragma once

#include "TK/tk_excep.hpp"

#include <cstdint>
#include <string>

inline constexpr uint32_t sql_error_base = 0x400000;

// The error of the engine's connection, read right after the failing call.
// Level 0: one statement, record or table failed; the run goes on.
class sql_exception : public tk_exception {
public:
    sql_exception();
    // A failure already read (from a statement handle, or gathered from
    // several rows): the given text and server error number.
    sql_exception(const std::string& message, unsigned error_number);
    sql_exception(const sql_exception&) = default;
};

// The connection to the server is gone (the server closed it, died, or did
// not answer within the read or write timeout), or the server ended the
// statement it was running (KILL QUERY, which a stop sends). Level 1: what
// the run was doing cannot go on, so it ends here instead of failing every
// row.
class sql_connection_lost : public tk_exception {
public:
    sql_connection_lost(const std::string& client_text, unsigned error_number);
    sql_connection_lost(const sql_connection_lost&) = default;
};

// True for the client library's codes of a connection that is gone, and
// for a statement the server ended.
bool sql_is_connection_lost(unsigned error_number);
// True for the server's refusals of what the user may not do (a privilege
// missing, a server or table read-only): every further row of the
// statement's table is refused the same way.
bool sql_is_privilege_error(unsigned error_number);
// Raises the failure of the given text and number: sql_connection_lost when
// the connection is gone, else sql_exception.
[[noreturn]] void sql_raise(const std::string& message, unsigned error_number);
// The same with the engine connection's last error.
[[noreturn]] void sql_raise_last_error();

class sql_auth_not_supported_exception : public tk_exception {
public:
    sql_auth_not_supported_exception();
    sql_auth_not_supported_exception(const sql_auth_not_supported_exception&) = default;
};

class sql_prep_stmt_failed_exception : public tk_exception {
public:
    sql_prep_stmt_failed_exception();
    sql_prep_stmt_failed_exception(const sql_prep_stmt_failed_exception&) = default;
};
