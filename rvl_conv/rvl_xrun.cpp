// The workbook road of a run: the workbook is opened once through DAO, and
// each selected worksheet becomes a table of its own, in the order of the
// table names. Before anything is dropped or deleted, every selected
// worksheet is read once (the workbook keeps what it read for the run). A
// failure inside one worksheet's work (opening it, creating its table,
// copying its rows) is reported with the table's name and the run goes on
// with the next one.
#include "rvl_conv/rvl_conv.hpp"

#include "DAO/dao_db.hpp"
#include "DAO/dao_recs.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_init.hpp"
#include "SQL/sql_lock.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_vali.hpp"
#include "rvl_conv/rvl_errh.hpp"
#include "rvl_conv/rvl_fin.hpp"

namespace {

const char unusable_sheet_message[] =
    "The worksheet's name holds a NUL character, which no table name can take: the worksheet is not converted.";

// A worksheet that is not converted is a failure of the run, never a silence.
void report_unusable_sheet(std::wstring name)
{
    for (size_t at = name.find(L'\0'); at != std::wstring::npos; at = name.find(L'\0', at))
        name.replace(at, 1, L"\\0");
    error_handler::instance().set_context(name);
    error_handler::instance().handle(tk_exception(unusable_sheet_message, 0), true);
    error_handler::instance().set_context(std::wstring());
}

// How the worksheet's cells were read, where the user should know it (error
// cells written as NULL, dates no date column holds): one line each, naming
// the worksheet.
void tell_sheet_notices(udb_recordset& source, const std::wstring& sheet, converter_hooks& hooks)
{
    const auto* records = dynamic_cast<const dao_recordset*>(&source);
    const platform::dao::sheet_table* table = records != nullptr ? records->sheet() : nullptr;
    if (table == nullptr)
        return;
    for (const std::string& line : table->notices())
        hooks.notice(L"Worksheet '" + sheet + L"': " + tk_to_unicode(line));
}

} // namespace

void ravelin_converter::open_xls_source()
{
    xls_book.reset();
    std::unique_ptr<dao_engine> dao = create_dao_engine();
    if (!dao)
        throw tk_exception(dao_missing_message, 1);
    xls_book = open_xls(*dao, source_to_read(), x_fnames);
    xls_engine = std::move(dao);
}

void ravelin_converter::settle_worksheets(dao_database& workbook)
{
    if (form == converter_form::console && worksheets.empty()) {
        std::vector<std::wstring> all;
        get_all_sheets2(workbook, all);
        set_sel_sheets1(all);
        for (const std::wstring& sheet : unusable_sheets)
            report_unusable_sheet(sheet);
    }
    if (worksheets.empty())
        for (const auto& [name, text] : sel_queries)
            worksheets.emplace(name, name);
}

void ravelin_converter::read_selected_sheets()
{
    open_xls_source();
    settle_worksheets(*xls_book);
    for (const auto& [table, sheet] : worksheets) {
        throw_if_stop_requested();
        error_handler::instance().set_context(table);  // the failure's context, when it fails
        xls_book->get_table(sheet, udb_database::mode_read_only);
    }
    error_handler::instance().set_context(std::wstring());
}

void ravelin_converter::sheet_not_found(const std::wstring& name) { hooks.sheet_not_found(name); }

void ravelin_converter::convert_from_xls()
{
    tk_logger::wlog(2, L"ravelin_converter::convert_from_xls(src=%s, dest=%s)", src.c_str(), dest.c_str());
    if (!xls_book)
        open_xls_source();
    // Released when the run ends, however it ends: the next check reads anew.
    const std::unique_ptr<dao_engine> dao = std::move(xls_engine);
    const std::unique_ptr<dao_database> workbook = std::move(xls_book);
    std::unique_ptr<udb_database> database = get_dest_base();
    tk_logger::log(1, "After initializing DBs");
    settle_worksheets(*workbook);
    tables_total = static_cast<uint32_t>(worksheets.size());
    tk_logger::wlog(3, L"Converting spreadsheet %s (%d worksheets)", src.c_str(), static_cast<int>(tables_total));
    hooks.progress_line(L"Converting spreadsheet " + src + L" (" + std::to_wstring(tables_total) + L" worksheets)");
    tk_logger::log(2, "sel_tables.size()=%d", static_cast<int>(sel_tables.size()));
    tk_logger::log(2, "sel_queries.size()=%d", static_cast<int>(sel_queries.size()));
    // The destination's tables are no names taken: a name made safe is made
    // the same in every run, and the mode decides what becomes of a table
    // of that name, as for any other. The worksheets' own names are taken: a
    // name made safe never takes the name of a worksheet that comes later.
    std::vector<std::wstring> sheet_tables;
    for (const auto& entry : worksheets)
        sheet_tables.push_back(entry.first);
    std::unique_ptr<udb_validator> validator = engine.create_tn_validator(sel_tables, sheet_tables);
    for (const auto& [table, sheet] : worksheets) {
        throw_if_stop_requested();
        convert_sheet(*workbook, *database, *validator, table, sheet);
        tables_done.fetch_add(1, std::memory_order_relaxed);
    }
    validator.reset();
    close_destination(std::move(database), hooks);
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
        sql_check_column_count(name, columns);
        if (mode == 2 && database.is_table_exist(name)) {
            skipped.push_back(name);
            return;  // nothing created
        }
        // Modes 0 and 1 replace a table that is there, modes 2 and 3 append.
        const bool existed = mode >= 2 && database.is_table_exist(name);
        tell_sheet_notices(*source, table, hooks);
        std::vector<text_later> later;
        if (settles_types(database, name)) {
            // A worksheet is read once for the run: a second recordset over
            // it starts at its first row again.
            later = settle_types(*source, columns, nullptr, replaces(database, name));
            source = workbook.get_table(sheet, udb_database::mode_read_only);
        }
        const std::unique_ptr<sql_table_lock> lock = lock_table(database, name);
        std::unique_ptr<udb_recordset> destination = make_table(database, name, columns, indexes);
        if (refused) {
            tk_logger::wlog(2, L"Store generated table name '%s'", name.c_str());
            validator.add_existing_name(name);
        }
        validator.restricted_names.push_back(name);
        convert_step(source.get(), destination.get(), &database, false);
        finish_table(database, std::move(destination), existed, later);
    } catch (const sql_connection_lost&) {
        throw;  // nothing more reaches the server: the run ends
    } catch (const tk_exception& e) {
        error_handler::instance().set_context(table);
        error_handler::instance().handle(e, false);
    }
}
