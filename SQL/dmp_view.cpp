// Views in a dump: one CREATE OR REPLACE VIEW per SELECT query of the source,
// its name made acceptable to MySQL and its text rewritten into MySQL's
// dialect.
#include "SQL/sql_dump.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_vali.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/text/pl_case.hpp"

void dmp_database::create_views(const udb_views& source_views)
{
    tk_logger::log(2, "dmp_database::create_views");
    std::vector<std::wstring> names;
    for (const auto& view : source_views)
        names.push_back(view.first);
    sql_new_tn_validator validator(names, {});
    for (const auto& [source_name, sql] : source_views) {
        tk_logger::wlog(2, L"Processing '%s'", source_name.c_str());
        tk_logger::wlog(2, L"\t'%s'", sql.c_str());
        if (sql.size() < 6 || !platform::equal_no_case(std::wstring_view(sql).substr(0, 6), L"select")) {
            tk_logger::log(2, "Skip non-select query");
            continue;
        }
        std::wstring view_name = source_name;
        if (!validator.is_acceptable(view_name)) {
            view_name = validator.get_safe_name(tk_wtrim(view_name));
            names_map.add_tn_mapping(source_name, view_name);
            tk_logger::wlog(2, L"Store generated column name '%s'", view_name.c_str());
            tk_logger::wlog(1, L"udb_validator::add_existing_name(%s)", view_name.c_str());
            validator.add_existing_name(view_name);
        }
        // A view is a table of its own: no lock may be open while it is made.
        unlock_tables("dmp_database::create_views - right before unlock tables");
        write_wline(L"CREATE OR REPLACE VIEW " + sql_engine::get_safe_name(view_name) + L" AS " +
                    refine_view_in(view_name, sql));
    }
}
