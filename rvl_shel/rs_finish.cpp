#include "rvl_shel/rs_finish.hpp"

#include "GUI2/g_guard.hpp"
#include "GUI2/g_wiz_sh.hpp"
#include "SQL/sql_dump.hpp"
#include "TK/tk_utils.hpp"

#include <algorithm>
#include <filesystem>

namespace {

// "MS Excel data" is no name for a CSV file.
std::wstring source_words(const ravelin_converter& converter)
{
    return converter.from_xls ? L"your MS Excel data" : L"your CSV file";
}

const wchar_t finish_hint[] = L"Click 'Finish' to exit the wizard.";

QString heading_of(run_outcome outcome)
{
    switch (outcome) {
    case run_outcome::completed:
        return QStringLiteral("Conversion completed");
    case run_outcome::completed_with_errors:
        return QStringLiteral("Conversion completed with errors");
    case run_outcome::failed:
        return QStringLiteral("Conversion failed");
    case run_outcome::nothing_written:
        break;
    }
    return QStringLiteral("Nothing was converted");
}

std::wstring first_sentence(run_outcome outcome, const std::wstring& words)
{
    switch (outcome) {
    case run_outcome::completed:
        return L"Wizard has converted " + words + L"\ninto MySQL format successfully.";
    case run_outcome::completed_with_errors:
        return L"Wizard has converted " + words + L" to its end, with the errors listed below: each one names a "
                                                  L"table, record or value that was left out or changed.";
    case run_outcome::failed:
        return L"The conversion of " + words + L" ended before its end, by the failure listed below.";
    case run_outcome::nothing_written:
        break;
    }
    return L"The conversion of " + words + L" ended before anything was written, by the failure listed below.";
}

std::wstring joined(const std::vector<std::wstring>& items)
{
    std::wstring text;
    for (const std::wstring& item : items)
        text += (text.empty() ? L"" : L", ") + item;
    return text;
}

// Every selected worksheet's table was there and "Skip existing tables" left
// it alone: the run wrote nothing.
bool skipped_every_table(const ravelin_converter& converter)
{
    const size_t total = converter.tables_total.load(std::memory_order_relaxed);
    return converter.from_xls && converter.destination_reached() && total > 0 &&
           converter.skipped_tables().size() == total;
}

// The run went to its end making only the tables' definitions, as the user
// chose ("Do not migrate the data").
bool made_definitions(const ravelin_converter& converter, run_outcome outcome)
{
    return converter.tab_def && outcome == run_outcome::completed && !skipped_every_table(converter);
}

// The tables a run of definitions made, as its reports name them; those it
// skipped were not made.
std::vector<std::wstring> tables_made(const ravelin_converter& converter)
{
    std::vector<std::wstring> names;
    if (converter.from_xls)
        for (const auto& [sheet, table] : converter.sheet_dest_tables())
            names.push_back(table);
    else
        names.push_back(converter.csv_dest_table());
    const std::vector<std::wstring> skipped = converter.skipped_tables();
    std::vector<std::wstring> made;
    for (const std::wstring& name : names) {
        const std::wstring text = converter.direct ? converter.table_text(name) : L"table '" + name + L"'";
        if (std::find(skipped.begin(), skipped.end(), text) == skipped.end())
            made.push_back(text);
    }
    return made;
}

// The heading and first sentence where what the run wrote is not what its
// outcome alone tells: nothing at all, or tables without rows.
void tell_what_was_made(const ravelin_converter& converter, run_outcome outcome, QString& heading,
                        std::wstring& sentence)
{
    const std::wstring words = source_words(converter);
    if (skipped_every_table(converter) &&
        (outcome == run_outcome::completed || outcome == run_outcome::completed_with_errors)) {
        heading = QStringLiteral("Nothing was converted");
        sentence = L"Every table of " + words + L" exists in the database '" + converter.get_dest() +
                   L"' and was skipped, as \"Skip existing tables\" asks: nothing was written.";
    } else if (made_definitions(converter, outcome)) {
        heading = QStringLiteral("Tables made without rows");
        sentence = L"Wizard has made the tables of " + words + L" without their rows, as \"Do not migrate the "
                   L"data\" asks: " + joined(tables_made(converter)) + L".";
    }
}

// What each table of the run holds, a line each kind.
std::wstring tables_held(const ravelin_converter& converter)
{
    std::wstring text;
    for (const std::wstring& line : converter.tables_held())
        text += L"\n" + line;
    return text;
}

// A run that ended early in a live database: what the database keeps.
std::wstring kept_in_database(const ravelin_converter& converter)
{
    return L"Database '" + converter.get_dest() + L"' keeps what was written before the end." +
           tables_held(converter);
}

std::wstring destination_note(const ravelin_converter& converter, run_outcome outcome)
{
    if (!converter.destination_reached())
        return nothing_written(converter);
    if (converter.direct && outcome == run_outcome::failed)
        return kept_in_database(converter);
    if (converter.direct && skipped_every_table(converter))
        return std::wstring();  // the skipped tables are named below
    if (converter.direct && made_definitions(converter, outcome))
        return L"No rows were written into the database '" + converter.get_dest() + L"'.";
    // After errors a table may have been left out: only what was converted is there.
    if (converter.direct && outcome == run_outcome::completed)
        return L"The data was written into the database '" + converter.get_dest() + L"'.";
    if (converter.direct)
        return L"What was converted was written into the database '" + converter.get_dest() + L"'." +
               tables_held(converter);
    if (!converter.unfinished_dump().empty())
        return std::wstring();  // the list says which file holds the dump written so far
    std::wstring note = L"The dump was written to " + full_path(converter.get_dest()) + L".";
    const dump_options& options = converter.dump_opts;
    if (options.b_ins_db && options.b_ins_tables && converter.get_mode() != 2 && converter.get_mode() != 3)
        note += L" Loading it drops the database '" + dmp_database::get_db_name(converter.get_dest(), options) +
                L"' and creates it again.";
    return note;
}

void add_line(std::wstring& text, const std::wstring& line)
{
    if (!line.empty())
        text += (text.empty() ? L"" : L"\n") + line;
}

} // namespace

run_outcome outcome_of(const progress_page& progress)
{
    const ravelin_converter& converter = tk_singleton<ravelin_converter>::instance();
    if (progress.ended_early() || converter.was_interrupted())
        return converter.destination_reached() ? run_outcome::failed : run_outcome::nothing_written;
    if (progress.errors_in_run() == 0)
        return run_outcome::completed;
    return converter.destination_reached() ? run_outcome::completed_with_errors : run_outcome::nothing_written;
}

int exit_code_of(run_outcome outcome)
{
    switch (outcome) {
    case run_outcome::completed:
        return 0;
    case run_outcome::completed_with_errors:
        return 1;
    case run_outcome::failed:
    case run_outcome::nothing_written:
        break;
    }
    return wizard_failure;
}

finish_page::finish_page(const progress_page& progress_) : gui_finish_page_t(L"", L"", L"rvl"), progress(progress_)
{
}

int finish_page::page_init()
{
    tk_logger::log(2, "gui_finish_page::page_init");
    const ravelin_converter& converter = tk_singleton<ravelin_converter>::instance();
    const run_outcome outcome = outcome_of(progress);
    QString heading = heading_of(outcome);
    std::wstring text = first_sentence(outcome, source_words(converter));
    tell_what_was_made(converter, outcome, heading, text);
    if (const std::wstring note = written_note(converter, outcome); !note.empty())
        text += L"\n" + note;
    panel.show_outcome(heading, text + L"\n\n" + finish_hint);
    return 1;
}

void finish_page::on_help() { wizard_shell::display_help(progress_help_topic); }

std::wstring full_path(const std::wstring& path)
{
    std::error_code failed;
    const std::filesystem::path absolute = std::filesystem::absolute(path, failed);
    return failed ? path : absolute.lexically_normal().wstring();
}

std::wstring table_in_hand(const ravelin_converter& converter)
{
    const std::wstring table = converter.get_cur_table();
    return table.empty() || converter.from_xls ? table : converter.csv_dest_table();
}

std::wstring nothing_written(const ravelin_converter& converter)
{
    return converter.direct ? L"Nothing was written to the MySQL server."
                            : L"Nothing was written: no dump file was made.";
}

std::wstring dropped_and_skipped(const ravelin_converter& converter)
{
    std::wstring text;
    if (const std::vector<std::wstring> dropped = converter.dropped_items(); !dropped.empty())
        add_line(text, L"Dropped by the run: " + joined(dropped) + L".");
    if (const std::vector<std::wstring> skipped = converter.skipped_tables(); !skipped.empty())
        add_line(text, L"Skipped because they existed, left as they were: " + joined(skipped) + L".");
    return text;
}

std::wstring written_note(const ravelin_converter& converter, run_outcome outcome)
{
    std::wstring note = destination_note(converter, outcome);
    add_line(note, dropped_and_skipped(converter));
    // A log that lost lines was named by a notice; no log, none claimed.
    if (const std::string& log = converter.get_logfile(); !log.empty() && !converter.log_lost())
        add_line(note, L"The log was written to " + full_path(tk_to_unicode(log)) + L".");
    return note;
}
