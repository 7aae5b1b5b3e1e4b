#include "rvl_conv/rvl_fin.hpp"

#include "SQL/sql_dump.hpp"
#include "SQL/sql_tab.hpp"
#include "rvl_conv/rvl_errh.hpp"

namespace {

void report_duplicates(sql_table& table, converter_hooks& hooks, bool existed_before)
{
    const sql_table::skipped_rows skipped = table.take_duplicates();
    if (skipped.count == 0)
        return;
    const std::string text = std::to_string(skipped.count) +
                             (skipped.count == 1 ? " row was skipped because its key was"
                                                 : " rows were skipped because their keys were") +
                             " already in the table (first: " + skipped.first + ")";
    if (existed_before) {
        hooks.notice(table.name + L": " + tk_to_unicode(text));
        return;
    }
    error_handler::instance().set_context(table.name);
    error_handler::instance().handle(tk_exception(text, 0), false);
}

} // namespace

void close_destination(std::unique_ptr<udb_database> database)
{
    if (auto* dump = dynamic_cast<dmp_database*>(database.get()))
        dump->close();
}

void flush_rows(udb_recordset* table, converter_hooks& hooks, bool existed_before)
{
    auto* server_table = dynamic_cast<sql_table*>(table);
    if (server_table == nullptr)
        return;
    try {
        server_table->flush();
    } catch (const sql_exception& e) {
        error_handler::instance().set_context(server_table->name);
        error_handler::instance().handle(e, false);
    }
    report_duplicates(*server_table, hooks, existed_before);
}
