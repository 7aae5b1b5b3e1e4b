#include "SQL/sql_exc.hpp"

#include "SQL/sql_engi.hpp"
#include "TK/tk_log.hpp"

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

sql_auth_not_supported_exception::sql_auth_not_supported_exception()
    : tk_exception("The program does not support authentication protocol requested by server. See "
                   "'Troubleshooting' article of the product documentation.",
                   1)
{
}

sql_prep_stmt_failed_exception::sql_prep_stmt_failed_exception()
    : tk_exception("Failed to execute prepared statement", 1)
{
    code = 0x400BB9;
}
