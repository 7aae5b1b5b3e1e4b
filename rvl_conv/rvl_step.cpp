// The record loop of one table, shared by the workbook and CSV roads: each
// record passes the user's changes, the widening of long CSV columns and the
// append, and feeds the type statistics; after the last one the refinement
// statements for the table are stored.
#include "rvl_conv/rvl_conv.hpp"

#include "SQL/sql_tab.hpp"
#include "TK/tk_log.hpp"
#include "common/type_map.hpp"
#include "rvl_conv/rvl_errh.hpp"
#include "rvl_conv/rvl_upsz.hpp"

#include <optional>

namespace {

// A failure of the server while one record was written: the copy goes on.
bool is_server_error(const tk_exception& e) { return (e.get_code() & 0xFFFF0000u) == 0x400000u; }

// Every table's record count starts at 0, however the previous copy ended.
struct rows_reset {
    std::atomic<uint64_t>& rows;
    ~rows_reset() { rows.store(0, std::memory_order_relaxed); }
};

} // namespace

void ravelin_converter::convert_step(udb_recordset* source, udb_recordset* destination, udb_database* database,
                                     const udb_schema& columns, bool keep_stats)
{
    tk_logger::log(1, "ravelin_converter::convert_step");
    if (tab_def)
        return;
    if (source == nullptr || destination == nullptr)
        throw tk_mail_assertion("rvl_conv", 445);
    sql_field_upsizer upsizer(database, destination);
    if (from_xls) {
        tk_logger::wlog(3, L"Converting worksheet %s", source->name.c_str());
        hooks.progress_line(L"Converting table " + source->name);
    }
    std::optional<dates_map> dates;
    std::optional<num_map> numbers;
    if (keep_stats) {
        dates.emplace(destination->name, columns, false);
        numbers.emplace(destination->name, columns);
    }
    const std::wstring table = get_cur_table();
    rows_reset reset{rows_done};
    for (; !source->is_eof(); source->next()) {
        throw_if_stop_requested();
        tk_logger::log(1, "Converting %d record", static_cast<int>(rows_done.load(std::memory_order_relaxed)));
        const udb_record* item = source->get_item();
        if (item == nullptr)
            throw tk_mail_assertion("rvl_conv", 478);
        tk_logger::wlog(2, L"udb_db_mutator::modify2(%s)", table.c_str());
        const udb_record& record = modify2(table, *item);
        if (from_xls && skip_empty_rows && record.is_empty()) {
            tk_logger::log(1, "Empty -> skip");
            continue;
        }
        try {
            if (!from_xls)
                upsizer.process(record);
            destination->append_record(record);
            if (keep_stats) {
                dates->add_rec_stat(record);
                numbers->add_rec_stat(record);
            }
        } catch (const tk_exception& e) {
            if (!is_server_error(e))
                throw;
            // A report of earlier batches names its records itself.
            if (dynamic_cast<const sql_batch_report*>(&e) != nullptr)
                error_handler::instance().set_context(destination->name);
            else if (from_xls)
                error_handler::instance().set_record_context(table, static_cast<int>(rows_done + 1));
            error_handler::instance().handle(e, false);
        }
        rows_done.fetch_add(1, std::memory_order_relaxed);
    }
    if (keep_stats) {
        // A type the user chose is what the user wants, whatever the values.
        const std::vector<bool> kept = user_typed(table, columns);
        date_post_process(destination->schema, *dates, kept);
        num_post_process(destination->schema, *numbers, kept);
    }
}
