// Views in a dump: one CREATE OR REPLACE VIEW per SELECT query of the source,
// its name made acceptable to MySQL and its text rewritten into MySQL's
// dialect.
#include "SQL/sql_dump.hpp"

#include "SQL/sql_vali.hpp"
#include "SQL/sql_view.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_rprt.hpp"

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
        if (!sql_view_converter::is_select(sql)) {
            tk_logger::log(2, "Skip non-select query");
            continue;
        }
        const std::wstring view_name = sql_view_converter::make_view_name(validator, names_map, source_name,
                                                                          L"Store generated column name '%s'");
        // A view MySQL cannot have is reported and left out; the next is made.
        std::wstring refined;
        try {
            refined = refine_view_in(view_name, sql);
        } catch (const tk_exception& e) {
            tk_logger::log(2, "Error while creating view:\n%s\n", e.what());
            tk_reporter& reporter = tk_reporter::current();
            reporter.set_context(L"View '" + source_name + L"'");
            reporter.handle(e, false);
            continue;
        }
        // A view is a table of its own: no lock may be open while it is made.
        unlock_tables("dmp_database::create_views - right before unlock tables");
        write_wline(sql_view_converter::create_statement(view_name, refined));
    }
}
