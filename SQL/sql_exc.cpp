#include "SQL/sql_exc.hpp"

#include "SQL/sql_engi.hpp"
#include "TK/tk_log.hpp"

#include <errmsg.h>
#include <mysqld_error.h>

#include <algorithm>
#include <iterator>

namespace {

// Read before the exception's base is built: reaching a missing engine is
// an internal error of its own.
MYSQL* engine_handle()
{
    return tk_singleton<sql_engine>::instance_ptr()->get_handle();
}

} // namespace

sql_exception::sql_exception() : sql_exception(mysql_error(engine_handle()), mysql_errno(engine_handle())) {}

sql_exception::sql_exception(const std::string& message_, unsigned error_number) : tk_exception(message_, 0)
{
    code = sql_error_base | (error_number & 0xFFFF);
    tk_logger::log(2, "sql_exception::sql_exception( msg=%s)", message.c_str());
    tk_logger::log(2, "Got MySQL error code=%d", code);
}

namespace {

std::string lost_text(const std::string& client_text, unsigned error_number)
{
    const std::string error = "(error " + std::to_string(error_number) + ": " + client_text + ")";
    if (error_number == ER_QUERY_INTERRUPTED)
        return "The MySQL server ended the statement the conversion was waiting on " + error +
               "; the conversion ended here.";
    return "The connection to the MySQL server was lost " + error +
           ". The server stopped, closed the connection or did not answer within the client's read or write "
           "timeout; the conversion ended here.";
}

} // namespace

sql_connection_lost::sql_connection_lost(const std::string& client_text, unsigned error_number)
    : tk_exception(lost_text(client_text, error_number), 1)
{
    tk_logger::log(3, "Connection lost: %d %s", static_cast<int>(error_number), client_text.c_str());
}

bool sql_is_connection_lost(unsigned error_number)
{
    return error_number == CR_SERVER_GONE_ERROR || error_number == CR_SERVER_LOST ||
           error_number == CR_SERVER_LOST_EXTENDED || error_number == ER_QUERY_INTERRUPTED;
}

bool sql_is_privilege_error(unsigned error_number)
{
    static constexpr unsigned refusals[] = {
        ER_OPEN_AS_READONLY,          ER_DBACCESS_DENIED_ERROR,        ER_ACCESS_DENIED_ERROR,
        ER_TABLEACCESS_DENIED_ERROR,  ER_COLUMNACCESS_DENIED_ERROR,    ER_SPECIFIC_ACCESS_DENIED_ERROR,
        ER_OPTION_PREVENTS_STATEMENT, ER_PROCACCESS_DENIED_ERROR,      ER_ACCESS_DENIED_NO_PASSWORD_ERROR};
    return std::find(std::begin(refusals), std::end(refusals), error_number & 0xFFFF) != std::end(refusals);
}

void sql_raise(const std::string& message, unsigned error_number)
{
    if (sql_is_connection_lost(error_number))
        throw sql_connection_lost(message, error_number);
    throw sql_exception(message, error_number);
}

void sql_raise_last_error()
{
    sql_raise(mysql_error(engine_handle()), mysql_errno(engine_handle()));
}

sql_auth_not_supported_exception::sql_auth_not_supported_exception()
    : tk_exception("The program does not support authentication protocol requested by server. See "
                   "'Troubleshooting' in the product documentation.",
                   1)
{
}

sql_prep_stmt_failed_exception::sql_prep_stmt_failed_exception()
    : tk_exception("Failed to execute prepared statement", 1)
{
    code = 0x400BB9;
}
