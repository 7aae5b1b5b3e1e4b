#include "SQL/sql_db.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_init.hpp"
#include "SQL/sql_tab.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"

namespace {

const char source_file[] = "sql_db";
constexpr uint32_t version_5_0_1 = 0x050001;  // SHOW FULL TABLES tells tables from views

sql_engine& engine()
{
    return tk_singleton<sql_engine>::instance();
}

} // namespace

sql_database::sql_database(const std::wstring& name_, MYSQL* connection_, uint32_t mode_)
    : udb_database(name_, mode_, !engine().table_names_folded()), connection(connection_)
{
    tk_logger::wlog(2, L"sql_database::sql_database(%s, mode=%d)", name.c_str(), mode);
    init_tables();
    if ((mode & mode_no_views) != 0)
        return;
    try {
        init_views();
    } catch (const sql_exception& e) {
        tk_logger::log(3, "Failed to initialize views:\n%s", e.what());
    }
}

std::wstring sql_database::listed_name(const std::wstring& table) const
{
    const auto found = find_table(table);
    return found != tables.end() ? *found : table;
}

sql_result_ptr sql_database::use_result(const std::string& statement)
{
    engine().wait_async();
    mysql_real_query(connection, statement.data(), statement.size());
    sql_result_ptr result(mysql_use_result(connection));
    if (mysql_errno(connection) != 0) {
        tk_logger::log(3, "QUERY=%s", statement.c_str());
        sql_raise_last_error();
    }
    return result;
}

void sql_database::init_tables()
{
    tk_logger::log(2, "sql_database::init_tables");
    sql_result_ptr result;
    if (engine().get_version() >= version_5_0_1) {
        tk_logger::log(2, "Extracting tables in new way");
        result = use_result("show full tables where Table_type='BASE TABLE'");
    } else {
        tk_logger::log(2, "Extracting tables in old way");
        engine().wait_async();
        result.reset(mysql_list_tables(connection, nullptr));
    }
    if (!result)
        sql_raise_last_error();
    sql_tmp_recordset rows(result.release());
    for (; !rows.is_eof(); rows.next()) {
        const std::wstring table = rows.get_item()->at(0)->to_wstring();
        tk_logger::wlog(2, L"Got table name: '%s'", table.c_str());
        tables.push_back(table);
    }
}

std::unique_ptr<udb_recordset> sql_database::create_table(const std::wstring& table, const udb_schema& schema,
                                                          const udb_indexes& indexes)
{
    tk_logger::wlog(2, L"sql_database::create_table(%s)", table.c_str());
    if ((mode & mode_read_only) != 0)
        throw tk_mail_assertion(source_file, 336);
    if (is_table_exist(table))
        return get_table(table, 8);
    send_create(table, table, schema, indexes);
    return get_table(table, 2);
}

void sql_database::send_create(const std::wstring& created, const std::wstring& table, const udb_schema& schema,
                               const udb_indexes& indexes)
{
    // The user's changes and the messages know the table by its own name.
    const std::optional<sql_table_options> options = sql_user_table_options(table, schema);
    const sql_table_options* chosen = options ? &*options : nullptr;
    const sql_table_clauses clauses = sql_make_table_clauses(table, schema, indexes, chosen);
    const std::wstring statement = sql_make_create_table(created, clauses, chosen);
    tk_logger::wlog(2, L"Run SQL-query: %s\n", statement.c_str());
    query_append(tk_to_utf8(statement));
    tables.push_back(created);
    tk_logger::log(1, "Step #1");
    tk_logger::wlog(2, L"udb_names_map::add_fn_map(%s)", table.c_str());
    if (names_map.field_map.find(table) == names_map.field_map.end())
        names_map.add_fn_map(table, clauses.column_names);
    tk_logger::log(1, "Step #2");
}

bool sql_database::delete_tab(const std::wstring& table)
{
    tk_logger::wlog(2, L"sql_database::delete_tab (%s)", table.c_str());
    if ((mode & mode_read_only) != 0)
        throw tk_mail_assertion(source_file, 446);
    if (!is_table_exist(table))
        throw tk_mail_assertion(source_file, 447);
    const fk_checks_off unchecked(*this);
    query_append(tk_to_utf8(L"DROP TABLE IF EXISTS " + sql_engine::get_safe_name(listed_name(table)) +
                            L" CASCADE"));
    return udb_database::delete_tab(table);
}

void sql_database::empty_table(const std::wstring& table)
{
    udb_database::empty_table(sql_engine::get_safe_name(table));
}

std::unique_ptr<udb_recordset> sql_database::get_query(const std::wstring& query_name, const std::wstring& sql,
                                                       uint32_t)
{
    tk_logger::wlog(2, L"sql_database::get_query(%s,%s)", query_name.c_str(), sql.c_str());
    return std::make_unique<sql_recordset>(this, query_name, sql, &relationships);
}

std::unique_ptr<udb_recordset> sql_database::get_table(const std::wstring& table, uint32_t table_mode)
{
    tk_logger::wlog(2, L"sql_database::get_table(%s)", table.c_str());
    if (!is_table_exist(table)) {
        tk_logger::wlog(2, L"Table '%s' does not exists", table.c_str());
        throw tk_mail_assertion(source_file, 75);
    }
    return std::make_unique<sql_table>(this, listed_name(table), &relationships, table_mode);
}

std::unique_ptr<udb_recordset> sql_database::query(const std::wstring& statement)
{
    tk_logger::wlog(2, L"sql_database::query(%s)", statement.c_str());
    tk_logger::wlog(1, L"sql_database::do_query2(%s)", statement.c_str());
    sql_result_ptr result = use_result(tk_to_utf8(statement));
    if (!result)
        return nullptr;
    return std::make_unique<sql_tmp_recordset>(result.release());
}

void sql_database::query_append(const std::string& statement)
{
    tk_logger::log(2, "sql_database::query_append(q_len=%d)", static_cast<int>(statement.size()));
    tk_logger::log(2, "(%s)", statement.c_str());
    tk_logger::log(1, "sql_database::do_query1(%s)", statement.c_str());
    use_result(statement);
}

bool sql_database::test_query(const std::wstring& statement)
{
    tk_logger::wlog(2, L"sql_database::query(%s)", statement.c_str());
    const std::string text = tk_to_utf8(statement);
    engine().wait_async();
    const int answer = mysql_real_query(connection, text.data(), text.size());
    sql_result_ptr result(mysql_use_result(connection));
    return answer == 0;
}
