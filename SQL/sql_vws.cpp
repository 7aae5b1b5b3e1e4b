// Views on the live server: the views the database already has, read when
// it is opened, and views made from the source's SELECT queries, their text
// rewritten into MySQL's dialect.
#include "SQL/sql_db.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_view.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_rprt.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_vali.hpp"

void sql_database::init_views()
{
    tk_logger::log(2, "sql_database::init_views");
    // The definitions are long texts, which the server describes as BLOBs.
    const sql_blob_as_text definitions_as_text;
    // The name goes in as a string literal, escaped as the connection's
    // character set requires.
    const std::string database = tk_to_utf8(name);
    std::string escaped(database.size() * 2 + 1, '\0');
    escaped.resize(mysql_real_escape_string(connection, escaped.data(), database.data(), database.size()));
    const std::unique_ptr<udb_recordset> rows =
        query(tk_to_unicode("SELECT table_name, view_definition FROM information_schema.views WHERE "
                            "table_schema='" + escaped + "'"));
    for (; rows && !rows->is_eof(); rows->next()) {
        const udb_record& row = *rows->get_item();
        const std::wstring view_name = row.at(0)->to_wstring();
        tk_logger::wlog(2, L"Got query name: '%s'", view_name.c_str());
        const std::wstring definition = row.at(1)->to_wstring();
        tk_logger::wlog(2, L"Got query SQL: '%s'", definition.c_str());
        views.emplace_back(view_name, refine_view_out(definition));
    }
}

std::wstring sql_database::refine_view_out(const std::wstring& sql) const
{
    tk_logger::wlog(2, L"sql_database::refine_view_out(%s)", sql.c_str());
    return sql_view_converter::refine_view_out(name, sql);
}

std::wstring sql_database::refine_view_in(const std::wstring& sql) const
{
    tk_logger::wlog(2, L"sql_database::refine_view_in(%s)", sql.c_str());
    return sql_view_converter::refine_view_in(names_map, sql);
}

void sql_database::create_views(const udb_views& source_views)
{
    tk_logger::log(2, "sql_database::create_views");
    std::vector<std::wstring> names;
    for (const auto& view : source_views)
        names.push_back(view.first);
    const std::unique_ptr<udb_validator> validator = sql_engine::instance().create_tn_validator(names, {});
    for (const auto& [view_name, sql] : source_views) {
        try {
            create_view(*validator, view_name, sql);
        } catch (const tk_exception& e) {
            tk_logger::log(2, "Error while creating view:\n%s\n", e.what());
            tk_reporter& handler = tk_reporter::current();
            handler.set_context(L"View '" + view_name + L"'");
            handler.handle(e, false);
        }
    }
}

void sql_database::create_view(udb_validator& validator, const std::wstring& source_name, const std::wstring& sql)
{
    tk_logger::wlog(2, L"Processing '%s'", source_name.c_str());
    tk_logger::wlog(2, L"\t'%s'", sql.c_str());
    if (!sql_view_converter::is_select(sql)) {
        tk_logger::log(2, "Skip non-select query");
        return;
    }
    const std::wstring view_name =
        sql_view_converter::make_view_name(validator, names_map, source_name, L"Store generated view name '%s'");
    query(sql_view_converter::create_statement(view_name, refine_view_in(sql)));
}
