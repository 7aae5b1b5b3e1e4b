#include "rvl_conv/rvl_fin.hpp"

#include "SQL/sql_dump.hpp"
#include "SQL/sql_tab.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_conv/rvl_errh.hpp"

#include <algorithm>

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

// "1,368,687 rows": a count as people read one.
std::wstring rows_text(uint64_t rows)
{
    std::wstring digits = std::to_wstring(rows);
    for (size_t at = digits.size(); at > 3; at -= 3)
        digits.insert(at - 3, L",");
    return digits + (rows == 1 ? L" row" : L" rows");
}

// One table that holds rows of the run, with how many.
std::wstring held_text(const ravelin_converter::table_outcome& table)
{
    std::wstring how;
    if (table.failed)
        how = table.appended ? L" appended before the failure" : L" written before the failure";
    std::wstring rows = rows_text(table.rows);
    if (table.at_least)
        rows = table.rows == 0 ? L"an unknown number of rows" : L"at least " + rows;
    return table.name + L" (" + rows + how + L")";
}

std::wstring joined(const std::vector<std::wstring>& items)
{
    std::wstring text;
    for (const std::wstring& item : items)
        text += (text.empty() ? L"" : L", ") + item;
    return text;
}

} // namespace

void ravelin_converter::note_outcome(udb_recordset& table, bool failed)
{
    auto* server_table = dynamic_cast<sql_table*>(&table);
    if (server_table == nullptr)
        return;
    if (failed)
        server_table->finish_quietly();
    table_outcome outcome;
    const bool standin = filling != nullptr && table.name == filling->standin;
    outcome.name = table_text(standin ? filling->name : table.name);
    outcome.rows = server_table->rows_taken();
    outcome.at_least = server_table->rows_taken_unsure();
    outcome.failed = failed;
    // A table the run did not create was there before it: appended to, or
    // (by a replacing mode) not replaced.
    const bool created = standin || std::find(written.begin(), written.end(), outcome.name) != written.end();
    outcome.appended = !created && mode >= 2;
    // A stand-in that failed goes: the table it was to replace is kept.
    outcome.kept = (standin && failed) || (!created && (mode < 2 || (outcome.rows == 0 && !outcome.at_least)));
    outcomes.push_back(outcome);
}

std::vector<std::wstring> ravelin_converter::written_items() const
{
    std::vector<std::wstring> items;
    for (const std::wstring& item : written)
        if (item.rfind(L"database '", 0) == 0)
            items.push_back(item);
    for (const table_outcome& table : outcomes)
        if (!table.kept && (table.rows != 0 || table.at_least))
            items.push_back(held_text(table));
    return items;
}

std::vector<std::wstring> ravelin_converter::tables_held() const
{
    std::vector<std::wstring> lines;
    std::vector<std::wstring> empty;
    std::vector<std::wstring> kept;
    for (const table_outcome& table : outcomes) {
        if (table.kept)
            kept.push_back(table.name);
        else if (table.rows == 0 && !table.at_least)
            empty.push_back(table.name);
    }
    if (const std::vector<std::wstring> items = written_items(); !items.empty())
        lines.push_back(L"Written: " + joined(items) + L".");
    if (!empty.empty())
        lines.push_back(L"Made without rows: " + joined(empty) + L".");
    if (!kept.empty())
        lines.push_back(L"Left as it was: " + joined(kept) + L".");
    return lines;
}

void close_destination(std::unique_ptr<udb_database> database, converter_hooks& hooks)
{
    auto* dump = dynamic_cast<dmp_database*>(database.get());
    if (dump == nullptr)
        return;
    dump->close();
    constexpr uint64_t mib = 1024 * 1024;
    for (const auto& [table, bytes] : dump->get_oversized_statements()) {
        const std::wstring needed = std::to_wstring((bytes + mib - 1) / mib);
        hooks.notice(L"The dump holds a statement of " + std::to_wstring(bytes) + L" bytes for table '" + table +
                     L"', more than the 16 MiB a server takes by default: the server and client loading it need "
                     L"max_allowed_packet=" + needed + L"M or more.");
    }
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
