// The workbook road of a run: the workbook is opened once through DAO, and
// each selected worksheet becomes a table of its own, in the order of the
// table names. A failure inside one worksheet's work (opening it, creating
// its table, copying its rows) is reported with the table's name and the run
// goes on with the next one.
#include "rvl_conv/rvl_conv.hpp"

#include "DAO/dao_db.hpp"
#include "SQL/sql_exc.hpp"
#include "TK/tk_log.hpp"
#include "UDB/udb_vali.hpp"
#include "rvl_conv/rvl_errh.hpp"
#include "rvl_conv/rvl_fin.hpp"

void ravelin_converter::open_xls_source() const
{
    std::unique_ptr<dao_engine> dao = create_dao_engine();
    if (!dao)
        throw tk_exception(dao_missing_message, 1);
    open_xls(*dao, src, x_fnames);
}

void ravelin_converter::sheet_not_found(const std::wstring& name) { hooks.sheet_not_found(name); }

void ravelin_converter::convert_from_xls()
{
    tk_logger::wlog(2, L"ravelin_converter::convert_from_xls(src=%s, dest=%s)", src.c_str(), dest.c_str());
    std::unique_ptr<dao_engine> dao = create_dao_engine();
    if (!dao)
        throw tk_exception(dao_missing_message, 1);
    std::unique_ptr<dao_database> workbook = open_xls(*dao, src, x_fnames);
    std::unique_ptr<udb_database> database = get_dest_base();
    tk_logger::log(1, "After initializing DBs");
    if (form == converter_form::console && worksheets.empty()) {
        std::vector<std::wstring> all;
        get_all_sheets2(*workbook, all);
        set_sel_sheets1(all);
    }
    if (worksheets.empty())
        for (const auto& [name, text] : sel_queries)
            worksheets.emplace(name, name);
    tables_total = static_cast<uint32_t>(worksheets.size());
    tk_logger::wlog(3, L"Converting spreadsheet %s (%d worksheets)", src.c_str(), static_cast<int>(tables_total));
    hooks.progress_line(L"Converting spreadsheet " + src + L" (" + std::to_wstring(tables_total) + L" worksheets)");
    tk_logger::log(2, "sel_tables.size()=%d", static_cast<int>(sel_tables.size()));
    tk_logger::log(2, "sel_queries.size()=%d", static_cast<int>(sel_queries.size()));
    std::unique_ptr<udb_validator> validator = engine.create_tn_validator(sel_tables, database->get_tables());
    for (const auto& [table, sheet] : worksheets) {
        throw_if_stop_requested();
        convert_sheet(*workbook, *database, *validator, table, sheet);
        tables_done.fetch_add(1, std::memory_order_relaxed);
    }
    validator.reset();
    close_destination(std::move(database));
}

void ravelin_converter::convert_sheet(dao_database& workbook, udb_database& database, udb_validator& validator,
                                      const std::wstring& table, const std::wstring& sheet)
{
    set_cur_table(table);
    try {
        std::unique_ptr<udb_recordset> source = workbook.get_table(sheet, udb_database::mode_read_only);
        tk_logger::wlog(2, L"udb_db_mutator::modify1(%s)", table.c_str());
        // Records carry the source's column names until modify2 maps them,
        // so the user's changes go to copies of the schema and indexes.
        udb_schema columns = source->schema;
        udb_indexes indexes = source->indexes;
        std::wstring name = modify1(table, columns, indexes);
        const bool refused = !validator.is_acceptable(name);
        if (refused)
            name = validator.get_safe_name(name);
        if (database.is_table_exist(name)) {
            if (mode == 2)
                return;  // skipped: nothing created, nothing refined
            if (mode == 1)
                database.delete_tab(name);
        }
        const bool existed = database.is_table_exist(name);
        const bool keep_stats = keeps_statistics(database, name);
        std::unique_ptr<udb_recordset> destination = database.create_table(name, columns, indexes);
        if (refused) {
            tk_logger::wlog(2, L"Store generated table name '%s'", name.c_str());
            validator.add_existing_name(name);
        }
        validator.restricted_names.push_back(name);
        convert_step(source.get(), destination.get(), &database, columns, keep_stats);
        flush_rows(destination.get(), hooks, existed);
    } catch (const sql_connection_lost&) {
        throw;  // nothing more reaches the server: the run ends
    } catch (const tk_exception& e) {
        error_handler::instance().set_context(table);
        error_handler::instance().handle(e, false);
    }
    if (refine_types)
        mysql_refine_types(database);
}
