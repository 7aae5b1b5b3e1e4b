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
#include "SQL/sql_db.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_init.hpp"
#include "SQL/sql_lock.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_vali.hpp"
#include "rvl_conv/rvl_errh.hpp"
#include "rvl_conv/rvl_fin.hpp"

#include <functional>
#include <utility>

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
// the worksheet. A value lost (a place given two values) is told the same
// way, and the run does not say it carried everything.
void tell_sheet_notices(udb_recordset& source, const std::wstring& sheet, converter_hooks& hooks)
{
    const auto* records = dynamic_cast<const dao_recordset*>(&source);
    const platform::dao::sheet_table* table = records != nullptr ? records->sheet() : nullptr;
    if (table == nullptr)
        return;
    for (const std::string& line : table->notices())
        hooks.notice(L"Worksheet '" + sheet + L"': " + tk_to_unicode(line));
    for (const std::string& line : table->losses()) {
        hooks.notice(L"Worksheet '" + sheet + L"': " + tk_to_unicode(line));
        error_handler::instance().count_failure();
    }
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
            if (text.empty())  // a query is no worksheet
                worksheets.emplace(name, name);
}

void ravelin_converter::report_queries()
{
    // Asked for and not converted: the run did not do all it was asked.
    for (const auto& [name, text] : sel_queries)
        if (!text.empty()) {
            hooks.notice(L"The query '" + name + L"' was not converted: queries are kept in profiles, and only "
                         L"worksheets are converted.");
            error_handler::instance().count_failure();
        }
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
    report_queries();
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
    // Refused before any table is replaced: the run changes all or nothing.
    if (auto* server = dynamic_cast<sql_database*>(database.get()); server != nullptr && mode == 1) {
        std::vector<std::wstring> replaced;
        for (const std::wstring& table : sheet_tables)
            if (const std::wstring name = dest_table_of(table); server->is_table_exist(name))
                replaced.push_back(name);
        if (!replaced.empty())
            refuse_referenced(*server, replaced);
    }
    if (replaces(*database, std::wstring())) {
        convert_replacing(*workbook, static_cast<sql_database&>(*database), *validator);
    } else {
        for (const auto& [table, sheet] : worksheets) {
            throw_if_stop_requested();
            convert_sheet(*workbook, *database, *validator, table, sheet);
            tables_done.fetch_add(1, std::memory_order_relaxed);
        }
    }
    validator.reset();
    close_destination(std::move(database), hooks);
}

struct ravelin_converter::sheet_plan {
    sheet_plan(std::wstring table_, std::wstring sheet_) : table(std::move(table_)), sheet(std::move(sheet_)) {}
    std::wstring table;
    std::wstring sheet;
    std::wstring name;  // the destination table
    bool existed = false;
    udb_schema columns;
    udb_indexes indexes;
    std::vector<text_later> later;
    std::unique_ptr<udb_recordset> source;
    std::unique_ptr<sql_table_lock> lock;
};

void ravelin_converter::sheet_step(const std::wstring& table, const std::function<void()>& step)
{
    try {
        step();
    } catch (const sql_connection_lost&) {
        throw;  // nothing more reaches the server: the run ends
    } catch (const tk_exception& e) {
        error_handler::instance().set_context(table);
        error_handler::instance().handle(e, false);
    }
}

bool ravelin_converter::plan_sheet(dao_database& workbook, udb_database& database, udb_validator& validator,
                                   sheet_plan& plan)
{
    plan.source = workbook.get_table(plan.sheet, udb_database::mode_read_only);
    tk_logger::wlog(2, L"udb_db_mutator::modify1(%s)", plan.table.c_str());
    // Records carry the source's column names until modify2 maps them, so
    // the user's changes go to copies of the schema and indexes.
    plan.columns = plan.source->schema;
    plan.indexes = plan.source->indexes;
    plan.name = modify1(plan.table, plan.columns, plan.indexes);
    const bool refused = !validator.is_acceptable(plan.name);
    if (refused)
        plan.name = validator.get_safe_name(plan.name);
    sql_check_column_count(plan.name, plan.columns);
    const bool present = database.is_table_exist(plan.name);
    if (mode == 2 && present) {
        skipped.push_back(table_text(plan.name));
        return false;  // nothing created
    }
    // Modes 0 and 1 replace a table that is there, modes 2 and 3 append.
    plan.existed = mode >= 2 && present;
    tell_sheet_notices(*plan.source, plan.table, hooks);
    // A worksheet is read once for the run: a second recordset over it
    // starts at its first row again.
    if (settles_types(database, plan.name)) {
        plan.later = settle_types(*plan.source, plan.columns, nullptr, replaces(database, plan.name));
        plan.source = workbook.get_table(plan.sheet, udb_database::mode_read_only);
    } else if (!refine_types && !tab_def) {
        keep_fractions(*plan.source, plan.columns);
        plan.source = workbook.get_table(plan.sheet, udb_database::mode_read_only);
    } else if (needs_value_check(plan.table, plan.columns)) {
        check_values(*plan.source, plan.columns);
        plan.source = workbook.get_table(plan.sheet, udb_database::mode_read_only);
    }
    if (refused) {
        tk_logger::wlog(2, L"Store generated table name '%s'", plan.name.c_str());
        validator.add_existing_name(plan.name);
    }
    validator.restricted_names.push_back(plan.name);
    return true;
}

void ravelin_converter::copy_sheet(udb_database& database, sheet_plan& plan,
                                   std::unique_ptr<udb_recordset> destination, standin_fill& fill)
{
    convert_step(plan.source.get(), destination.get(), &database, false);
    finish_table(database, std::move(destination), plan.existed, plan.later);
    place_standin(fill);
}

void ravelin_converter::convert_sheet(dao_database& workbook, udb_database& database, udb_validator& validator,
                                      const std::wstring& table, const std::wstring& sheet)
{
    set_cur_table(table);
    sheet_plan plan(table, sheet);
    sheet_step(table, [&] {
        if (!plan_sheet(workbook, database, validator, plan))
            return;
        plan.lock = lock_table(database, plan.name);
        standin_fill fill(*this);
        copy_sheet(database, plan, make_table(database, plan.name, plan.columns, plan.indexes, fill), fill);
    });
}

void ravelin_converter::convert_replacing(dao_database& workbook, sql_database& database, udb_validator& validator)
{
    refuse_referenced(database, {});
    refuse_unless_permitted(database, L"database '" + dest + L"'");
    // Each worksheet's table is filled under a stand-in name. Until every
    // one holds its rows, a stop or a failure of the run takes them all
    // away: the database stays as it was.
    std::vector<sheet_plan> plans;
    std::vector<std::unique_ptr<standin_fill>> fills;
    // A worksheet that fails keeps the table of its name: it is not
    // replaced by nothing.
    std::vector<std::wstring> kept_tables;
    for (const auto& [table, sheet] : worksheets) {
        throw_if_stop_requested();
        set_cur_table(table);
        sheet_plan plan(table, sheet);
        bool ready = false;
        sheet_step(table, [&] {
            if (!plan_sheet(workbook, database, validator, plan))
                return;
            plan.lock = lock_table(database, plan.name);
            auto fill = std::make_unique<standin_fill>(*this);
            keeping(table_text(plan.name), [&] {
                begin_fill(*fill, database, plan.name, plan.columns, plan.indexes);
                filling = nullptr;
            });
            plans.push_back(std::move(plan));
            fills.push_back(std::move(fill));
            ready = true;
        });
        if (ready)
            continue;
        if (!plan.name.empty())
            kept_tables.push_back(plan.name);
        tables_done.fetch_add(1, std::memory_order_relaxed);
    }
    std::vector<size_t> filled;
    for (size_t i = 0; i < plans.size(); ++i) {
        throw_if_stop_requested();
        sheet_plan& plan = plans[i];
        standin_fill& fill = *fills[i];
        set_cur_table(plan.table);
        fill_now(fill);
        sheet_step(plan.table, [&] {
            std::unique_ptr<udb_recordset> destination = database.get_table(fill.standin, 2);
            convert_step(plan.source.get(), destination.get(), &database, false);
            finish_table(database, std::move(destination), plan.existed, plan.later);
            filled.push_back(i);
        });
        filling = nullptr;
        tables_done.fetch_add(1, std::memory_order_relaxed);
        // A table whose copy did not go to its end keeps the old one.
        if (filled.empty() || filled.back() != i) {
            kept_tables.push_back(plan.name);
            fills[i].reset();
        }
    }
    // No table holds its rows: the database stays as it was.
    if (filled.empty())
        return;
    for (const size_t i : filled) {
        sheet_plan& plan = plans[i];
        kept_tables.push_back(plan.name);
        sheet_step(plan.table, [&] { place_standin(*fills[i]); });
        plan.lock.reset();
    }
    clear_database(database, kept_tables);
}
