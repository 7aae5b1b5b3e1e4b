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
