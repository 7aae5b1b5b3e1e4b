// The record loops of one table, shared by the workbook and CSV roads. The
// copy passes each record through the user's changes, the widening of long
// CSV columns and the append. For a table the run creates with refinement
// on, a first reading settles the column types from all the values before
// the table is created, so the copy meets its final types; only a number
// column that is to become text is altered after the copy.
#include "rvl_conv/rvl_conv.hpp"

#include "SQL/sql_tab.hpp"
#include "SQL/sql_util.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "common/csv_util.hpp"
#include "common/type_map.hpp"
#include "rvl_conv/rvl_errh.hpp"
#include "rvl_conv/rvl_fin.hpp"
#include "rvl_conv/rvl_mut.hpp"
#include "rvl_conv/rvl_upsz.hpp"
#include "rvl_conv/rvl_xstat.hpp"

#include <algorithm>
#include <exception>
#include <functional>
#include <new>
#include <optional>
#include <utility>

namespace {

// A failure of the server while one record was written: the copy goes on.
bool is_server_error(const tk_exception& e) { return (e.get_code() & 0xFFFF0000u) == 0x400000u; }

// Every table's record count starts at 0, however the previous copy ended.
// A copy that a failure or a stop ends keeps its count: the front end tells
// how far it got. What a table that failed holds is noted first.
struct rows_reset {
    std::atomic<uint64_t>& rows;
    std::function<void()> failed;
    const int unwinding = std::uncaught_exceptions();
    rows_reset(std::atomic<uint64_t>& rows_, std::function<void()> failed_) : rows(rows_), failed(std::move(failed_))
    {
        rows.store(0, std::memory_order_relaxed);
    }
    ~rows_reset()
    {
        if (std::uncaught_exceptions() == unwinding) {
            rows.store(0, std::memory_order_relaxed);
            return;
        }
        failed();
    }
};

// The characters of the longest value of each column.
void note_lengths(const udb_record& record, std::vector<uint32_t>& longest)
{
    if (longest.size() < record.size())
        longest.resize(record.size(), 0);
    for (size_t i = 0; i < record.size(); ++i)
        if (record[i] != nullptr)
            longest[i] = std::max(longest[i], record[i]->get_size());
}

// The same for UTF-8 texts: a character is each byte but those that continue
// one.
void note_lengths(const std::vector<std::string_view>& texts, std::vector<uint32_t>& longest)
{
    if (longest.size() < texts.size())
        longest.resize(texts.size(), 0);
    for (size_t i = 0; i < texts.size(); ++i) {
        if (texts[i].size() <= longest[i])
            continue;  // no more characters than bytes
        const auto continuing = std::count_if(texts[i].begin(), texts[i].end(),
                                              [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; });
        longest[i] = std::max(longest[i], static_cast<uint32_t>(texts[i].size() - continuing));
    }
}

bool all_empty(const std::vector<std::string_view>& texts)
{
    return std::all_of(texts.begin(), texts.end(), [](std::string_view text) { return text.empty(); });
}

// A value a type the user gave cannot take fails its table before any row of
// it is written, naming its record: in every mode, into a server or a dump,
// so a table it would replace stays, and no row that fits is lost while
// the table holds others.
class value_refusal : public tk_exception {
public:
    explicit value_refusal(const std::wstring& text) : tk_exception(text + L" No row of the table is written.", 0) {}
};

// `types`: the parsed type of each column the user typed, none elsewhere.
void refuse_user_values(const udb_record& record, const udb_schema& columns,
                        const std::vector<std::optional<sql_type_text>>& types, uint64_t number)
{
    for (size_t i = 0; i < record.size() && i < columns.size() && i < types.size(); ++i) {
        const udb_field* value = record[i].get();
        if (!types[i] || value == nullptr || value->get_type() == VT_EMPTY || value->get_type() == VT_NULL)
            continue;
        const std::wstring& type = columns[i]->native_type;
        const std::wstring failure = sql_value_failure(*types[i], value->to_wstring());
        if (!failure.empty())
            throw value_refusal(L"Record #" + std::to_wstring(number) + L": " + failure + L" '" + columns[i]->name +
                                L"' (" + type + L"), which a server in strict mode refuses.");
    }
}

} // namespace

const udb_record* ravelin_converter::record_to_copy(udb_recordset& source, const std::wstring& table)
{
    throw_if_stop_requested();
    const udb_record* item = source.get_item();
    if (item == nullptr)
        throw tk_mail_assertion("rvl_conv", 478);
    tk_logger::wlog(2, L"udb_db_mutator::modify2(%s)", table.c_str());
    const udb_record& record = modify2(table, *item);
    // A CSV line of delimiters alone is as empty as an empty worksheet row.
    if (skip_empty_rows && record.is_empty()) {
        tk_logger::log(1, "Empty -> skip");
        return nullptr;
    }
    return &record;
}

std::vector<std::optional<sql_type_text>> ravelin_converter::value_checks(const std::wstring& table,
                                                                         const udb_schema& columns) const
{
    const std::vector<bool> kept = user_typed(table, columns);
    // Parsed once for the table, and only the types that may refuse a value
    // kept: the values are many.
    std::vector<std::optional<sql_type_text>> types(kept.size());
    for (size_t i = 0; i < types.size() && i < columns.size(); ++i) {
        if (!kept[i])
            continue;
        std::optional<sql_type_text> type = sql_parse_type(columns[i]->native_type);
        if (type && sql_checks_values(*type))
            types[i] = std::move(type);
    }
    if (std::none_of(types.begin(), types.end(), [](const auto& type) { return type.has_value(); }))
        types.clear();
    return types;
}

const udb_record* ravelin_converter::checked_record(udb_recordset& source, const std::wstring& table,
                                                    const udb_schema& columns,
                                                    const std::vector<std::optional<sql_type_text>>& types,
                                                    uint64_t& number)
{
    const udb_record* record = nullptr;
    try {
        record = record_to_copy(source, table);
    } catch (const sql_conversion_failure& e) {
        throw value_refusal(tk_to_unicode(e.get_message()) + L": " + e.what_failed() + L", record #" +
                            std::to_wstring(number + 1) + L".");
    }
    if (record == nullptr)
        return nullptr;
    ++number;
    if (!types.empty())
        refuse_user_values(*record, columns, types, number);
    return record;
}

bool ravelin_converter::needs_value_check(const std::wstring& table, const udb_schema& columns) const
{
    const std::vector<bool> typed = user_typed(table, columns);
    return !tab_def && std::find(typed.begin(), typed.end(), true) != typed.end();
}

void ravelin_converter::check_values(udb_recordset& source, const udb_schema& columns)
{
    tk_logger::log(1, "ravelin_converter::check_values");
    const std::wstring table = get_cur_table();
    const std::vector<std::optional<sql_type_text>> types = value_checks(table, columns);
    uint64_t number = 0;
    for (; !source.is_eof(); source.next())
        checked_record(source, table, columns, types, number);
}

void ravelin_converter::keep_fractions(udb_recordset& source, udb_schema& columns)
{
    tk_logger::log(1, "ravelin_converter::keep_fractions");
    const std::wstring table = get_cur_table();
    dates_map dates(table, columns, false);
    const bool from_sheet =
        !has_field_changes(table) && sheet_statistics(source, skip_empty_rows, *this, dates, nullptr);
    const std::vector<std::optional<sql_type_text>> types = value_checks(table, columns);
    uint64_t number = 0;
    for (; !from_sheet && !source.is_eof(); source.next())
        if (const udb_record* record = checked_record(source, table, columns, types, number))
            dates.add_rec_stat(*record);
    const std::vector<bool> kept = user_typed(table, columns);
    for (const types_map::entry& e : dates.get_entries()) {
        if (!e.fraction || e.n_field >= columns.size() || kept[e.n_field] || columns[e.n_field]->vartype != VT_DATE)
            continue;
        auto column = std::make_shared<t_ftd>(*columns[e.n_field]);  // schemas share their descriptors
        column->precision = 3;
        columns[e.n_field] = column;
    }
}

std::vector<mysql_converter_impl::text_later> ravelin_converter::settle_types(udb_recordset& source,
                                                                             udb_schema& columns, csv_file* lines,
                                                                             bool refuse)
{
    tk_logger::log(1, "ravelin_converter::settle_types");
    const std::wstring table = get_cur_table();
    dates_map dates(table, columns, false);
    num_map numbers(table, columns);
    std::vector<uint32_t> longest;
    // Without changes of the user the columns are the source's, in its order:
    // a file's lines, or a worksheet's cells, give the values as they are.
    const bool as_is = !has_field_changes(table);
    if (!as_is)
        lines = nullptr;
    std::vector<std::string_view> texts;
    const bool from_sheet = from_xls && as_is && sheet_statistics(source, skip_empty_rows, *this, dates, &numbers);
    // A type the user chose is what the user wants, whatever the values.
    const std::vector<bool> kept = user_typed(table, columns);
    const std::vector<std::optional<sql_type_text>> user_types = value_checks(table, columns);
    uint64_t number = 0;
    try {
        for (; !from_sheet && !source.is_eof(); source.next()) {
            if (lines != nullptr && lines->get_texts(texts)) {
                throw_if_stop_requested();
                if (skip_empty_rows && all_empty(texts))
                    continue;
                dates.add_text_stat(texts);
                numbers.add_text_stat(texts);
                note_lengths(texts, longest);
                continue;
            }
            const udb_record* record = checked_record(source, table, columns, user_types, number);
            if (record == nullptr)
                continue;
            dates.add_rec_stat(*record);
            numbers.add_rec_stat(*record);
            if (!from_xls)
                note_lengths(*record, longest);
        }
    } catch (const value_refusal&) {
        throw;
    } catch (const tk_exception& e) {
        // The copy fails on the same record and reports it; the types are
        // those of the records before it, which the copy writes.
        if (e.get_level() != 0 || refuse)
            throw;
    }
    std::vector<text_later> later;
    date_post_process(columns, dates, kept);
    num_post_process(columns, numbers, kept, later);
    sql_settle_widths(columns, longest);
    return later;
}

void ravelin_converter::finish_table(udb_database& database, std::unique_ptr<udb_recordset> table, bool existed,
                                     const std::vector<text_later>& later)
{
    try {
        flush_rows(table.get(), hooks, existed);
    } catch (const std::exception&) {
        note_outcome(*table, true);
        throw;
    }
    note_outcome(*table, false);
    const std::wstring name = table->name;
    const udb_schema columns = table->schema;
    table.reset();  // a dump table writes its last rows as it closes
    mysql_refine_types(database, name, columns, later);
}

void ravelin_converter::convert_step(udb_recordset* source, udb_recordset* destination, udb_database* database,
                                     bool widen)
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
    const std::wstring table = get_cur_table();
    rows_reset reset{rows_done, [&] { note_outcome(*destination, true); }};
    try {
        copy_records(*source, *destination, upsizer, table, widen);
    } catch (const std::bad_alloc&) {
        throw memory_failure(rows_done + 1);
    }
}

void ravelin_converter::copy_records(udb_recordset& source, udb_recordset& destination, sql_field_upsizer& upsizer,
                                     const std::wstring& table, bool widen)
{
    for (; !source.is_eof(); source.next()) {
        tk_logger::log(1, "Converting %d record", static_cast<int>(rows_done.load(std::memory_order_relaxed)));
        const udb_record* record = record_to_copy(source, table);
        if (record == nullptr)
            continue;
        try {
            if (widen)
                upsizer.process(*record);
            destination.append_record(*record);
        } catch (const tk_exception& e) {
            if (!is_server_error(e))
                throw;
            // A report of earlier batches names its records itself.
            if (dynamic_cast<const sql_batch_report*>(&e) != nullptr)
                error_handler::instance().set_context(destination.name);
            else if (from_xls)
                error_handler::instance().set_record_context(table, static_cast<int>(rows_done + 1));
            error_handler::instance().handle(e, false);
        }
        rows_done.fetch_add(1, std::memory_order_relaxed);
    }
}
