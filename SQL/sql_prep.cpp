// The prepared statement of a row with values over 1 MiB: those values stand
// as "?" in the statement and go as long data, in pieces, so no statement
// text has to hold them.
#include "SQL/sql_db.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_exc.hpp"
#include "TK/tk_log.hpp"
#include "UDB/udb_fld.hpp"
#include "platform/text/pl_utf8.hpp"

#include <algorithm>

namespace {

constexpr size_t piece_size = 0x20000;

struct stmt_close {
    void operator()(MYSQL_STMT* statement) const { mysql_stmt_close(statement); }
};
using stmt_ptr = std::unique_ptr<MYSQL_STMT, stmt_close>;

bool is_binary(const udb_field& field)
{
    const VARTYPE vt = field.get_type();
    return vt == ole_vt_bytes || vt == VT_BLOB || vt == VT_BLOB_OBJECT;
}

// The bytes a long value puts into its column: a binary value's own bytes,
// a text's UTF-8 (the session's character set).
struct long_value {
    std::string text;
    const unsigned char* bytes = nullptr;
    size_t size = 0;

    explicit long_value(const udb_field& field)
    {
        if (is_binary(field)) {
            std::unique_ptr<char[]> unused;  // arrays lend their own bytes
            const int count = field.get_bytes1(bytes, unused);
            size = count > 0 ? static_cast<size_t>(count) : 0;
        } else {
            text = platform::to_utf8(field.to_wstring());
            bytes = reinterpret_cast<const unsigned char*>(text.data());
            size = text.size();
        }
    }
};

// A lost connection ends the run as on every other road.
void raise_if_lost(MYSQL_STMT* statement)
{
    if (sql_is_connection_lost(mysql_stmt_errno(statement)))
        throw sql_connection_lost(mysql_stmt_error(statement), mysql_stmt_errno(statement));
}

[[noreturn]] void fail(const char* format, MYSQL_STMT* statement)
{
    tk_logger::log(2, format, mysql_stmt_error(statement));
    raise_if_lost(statement);
    throw sql_prep_stmt_failed_exception();
}

} // namespace

void sql_database::prepared_statement(const std::string& statement, const std::vector<const udb_field*>& long_fields,
                                      int64_t row_size)
{
    tk_logger::log(1, "sql_database::prepared_statement(%s, %d)", statement.c_str(),
                   static_cast<int>(long_fields.size()));
    tk_singleton<sql_engine>::instance().wait_async();
    stmt_ptr handle(mysql_stmt_init(connection));
    if (!handle) {
        tk_logger::log(2, "mysql_stmt_prepare failed: error=%s", mysql_error(connection));
        throw sql_prep_stmt_failed_exception();
    }
    if (mysql_stmt_prepare(handle.get(), statement.data(), statement.size()) != 0)
        fail("mysql_stmt_prepare failed: error=%s", handle.get());
    std::vector<MYSQL_BIND> binds(long_fields.size());
    std::vector<long_value> values;
    values.reserve(long_fields.size());
    for (size_t i = 0; i < long_fields.size(); ++i) {
        values.emplace_back(*long_fields[i]);
        binds[i] = MYSQL_BIND{};
        binds[i].buffer_type = is_binary(*long_fields[i]) ? MYSQL_TYPE_BLOB : MYSQL_TYPE_STRING;
    }
    if (!binds.empty() && mysql_stmt_bind_param(handle.get(), binds.data()) != 0)
        fail("Binding failed: error=%s", handle.get());
    for (size_t i = 0; i < values.size(); ++i) {
        for (size_t position = 0; position < values[i].size; position += piece_size) {
            const size_t length = std::min(piece_size, values[i].size - position);
            if (mysql_stmt_send_long_data(handle.get(), static_cast<unsigned>(i),
                                          reinterpret_cast<const char*>(values[i].bytes + position), length) != 0) {
                tk_logger::log(2, "mysql_stmt_send_long_data failed (pos=%d, res=%d, error=%s)",
                               static_cast<int>(position), 1, mysql_stmt_error(handle.get()));
                raise_if_lost(handle.get());
                throw sql_prep_stmt_failed_exception();
            }
        }
    }
    if (mysql_stmt_execute(handle.get()) != 0) {
        tk_logger::log(3, "QUERY=%s", statement.c_str());
        tk_logger::log(3, "mysql_stmt_execute failed: error=%s", mysql_stmt_error(handle.get()));
        tk_logger::log(3, "row size=%d", static_cast<int>(row_size));
        raise_if_lost(handle.get());
        throw sql_prep_stmt_failed_exception();
    }
}
