// The CSV road of a run: a CSV file becomes one table. The file is opened
// first (nothing is created for a source that cannot be read), then the
// destination. With refinement on, a first reading of the file settles the
// column types and widths; then the table is created and its rows are copied
// by convert_step. A level-0 failure of the table is reported and the run
// still closes its destination.
#include "rvl_conv/rvl_conv.hpp"

#include "SQL/sql_init.hpp"
#include "SQL/sql_lock.hpp"
#include "SQL/sql_tab.hpp"
#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"
#include "UDB/udb_vali.hpp"
#include "common/csv_util.hpp"
#include "platform/text/pl_format.hpp"
#include "rvl_conv/rvl_errh.hpp"
#include "rvl_conv/rvl_fin.hpp"

namespace {

void report(const std::wstring& message)
{
    error_handler::instance().handle(tk_exception(tk_to_ansi(message, tk_cp_thread_acp), 0), false);
}

// What the reader met in the file: data it could not convert is an error of
// the run, a file read in another encoding is only worth knowing.
void report_findings(const csv_file& reader, const std::wstring& src, converter_hooks& hooks)
{
    const csv_findings& found = reader.findings();
    if (found.unclosed_quote > 0)
        report(platform::format(L"The CSV file '%s' ends inside the quoted field opened at line %I64d: the rest of "
                                L"the file was read into that field.",
                                src.c_str(), found.unclosed_quote));
    const size_t columns = reader.schema.size();
    const std::wstring column_count = std::to_wstring(columns) + (columns == 1 ? L" column" : L" columns");
    if (reader.long_records() == 1)
        report(platform::format(L"1 record of the CSV file '%s' has more fields than its %s, at line %I64d; "
                                L"the extra fields were not converted.",
                                src.c_str(), column_count.c_str(), reader.first_long_record()));
    else if (reader.long_records() > 1)
        report(platform::format(L"%I64d records of the CSV file '%s' have more fields than its %s, the "
                                L"first at line %I64d; the extra fields were not converted.",
                                reader.long_records(), src.c_str(), column_count.c_str(), reader.first_long_record()));
    if (reader.stray_quote_records() == 1)
        report(platform::format(L"1 record of the CSV file '%s' has a quote that neither doubles nor closes its "
                                L"quoted field, at line %I64d, field %d; the field was read as it stands up to "
                                L"its delimiter.",
                                src.c_str(), reader.first_stray_quote_line(),
                                static_cast<int>(reader.first_stray_quote_field())));
    else if (reader.stray_quote_records() > 1)
        report(platform::format(L"%I64d records of the CSV file '%s' have a quote that neither doubles nor closes "
                                L"its quoted field, the first at line %I64d, field %d; those fields were read as "
                                L"they stand up to their delimiters.",
                                reader.stray_quote_records(), src.c_str(), reader.first_stray_quote_line(),
                                static_cast<int>(reader.first_stray_quote_field())));
    if (found.lone_surrogates > 0) {
        const std::wstring halves = found.lone_surrogates == 1
                                        ? std::wstring(L"1 half of a surrogate pair")
                                        : std::to_wstring(found.lone_surrogates) + L" halves of surrogate pairs";
        report(platform::format(L"The CSV file '%s' is not well-formed UTF-16: it holds %s without the other half, "
                                L"the first at line %I64d; each was read as U+FFFD.",
                                src.c_str(), halves.c_str(), found.first_lone_surrogate));
    }
    if (found.cut_character > 0)
        report(platform::format(L"The CSV file '%s' ends inside a UTF-16 character, at line %I64d; the incomplete "
                                L"character was left out.",
                                src.c_str(), found.cut_character));
    if (reader.first_ansi_line() > 0)
        hooks.notice(platform::format(L"The CSV file '%s' is not all UTF-8: bytes that are not, the first on line "
                                      L"%I64d, were read as Windows-1252.",
                                      src.c_str(), reader.first_ansi_line()));
}

// Appending: a field whose header names a column of the table is written
// to that column under its name, however the reader told repeated headers
// apart. The others keep the reader's names.
void name_fields_after_columns(csv_file& reader, const udb_schema& columns)
{
    const std::vector<std::wstring>& headers = reader.header_names();
    std::vector<int> column_of(headers.size(), -1);
    std::vector<bool> taken(columns.size(), false);
    sql_take_columns(columns, headers, column_of, taken);
    for (size_t i = 0; i < headers.size() && i < reader.schema.size(); ++i)
        if (column_of[i] >= 0)
            reader.schema[i]->name = columns[static_cast<size_t>(column_of[i])]->name;
}

} // namespace

// The progress display reads the reader only while one of these holds it.
struct ravelin_converter::published {
    ravelin_converter& self;
    published(ravelin_converter& s, const csv_file* reader) : self(s)
    {
        std::lock_guard<std::mutex> lock(self.csv_reader_mutex);
        self.csv_reader = reader;
    }
    ~published()
    {
        std::lock_guard<std::mutex> lock(self.csv_reader_mutex);
        // A failure ends the reading: the display keeps what was read.
        self.csv_read_last.store(percent_read(*self.csv_reader), std::memory_order_relaxed);
        self.csv_reader = nullptr;
    }
    published(const published&) = delete;
    published& operator=(const published&) = delete;
};

bool ravelin_converter::settles_types(udb_database& database, const std::wstring& table)
{
    // Modes 0 and 1 replace an existing table with one the run creates.
    return refines_types() && (mode <= 1 || !database.is_table_exist(table));
}

std::wstring ravelin_converter::safe_table_name(const std::wstring& name) const
{
    // The destination's tables are no names taken: what becomes of a table
    // of the name is the mode's to say, before the run.
    const std::unique_ptr<udb_validator> validator = engine.create_tn_validator({}, {});
    return validator->is_acceptable(name) ? name : validator->get_safe_name(name);
}

void ravelin_converter::refuse_csv_table(const std::wstring& failure) const
{
    if (!failure.empty())
        throw tk_exception(L"The CSV file '" + src + L"' is not converted. " + failure, 0);
}

std::wstring ravelin_converter::default_csv_table() const { return safe_table_name(tk_file_wname(src).name); }

std::wstring ravelin_converter::csv_dest_table() const { return dest_table_of(tab_name); }

std::wstring ravelin_converter::dest_table_of(const std::wstring& source) const
{
    return safe_table_name(destination_name(source));
}

std::wstring ravelin_converter::csv_table_name(udb_schema& columns, udb_indexes& indexes)
{
    return safe_table_name(modify1(tab_name, columns, indexes));
}

void ravelin_converter::convert_from_csv()
{
    tk_logger::wlog(1, L"ravelin_converter::convert_from_csv(src=%s, dest=%s, tab=%s)", src.c_str(), dest.c_str(),
                    tab_name.c_str());
    std::unique_ptr<csv_file> reader = open_csv_source();
    if (reader->is_empty()) {
        // Nothing tells a column, so there is no table to make.
        report(L"The CSV file '" + src + L"' is empty: no table was made.");
        return;
    }
    std::unique_ptr<udb_database> database = get_dest_base();
    set_cur_table(tab_name);
    // The reader names its records from its own schema, so the user's changes
    // go to a copy: records keep their source names until modify2 maps them.
    udb_schema columns = reader->schema;
    udb_indexes indexes = reader->indexes;
    const std::wstring name = csv_table_name(columns, indexes);
    // Modes 0 and 1 replace a table that is there, modes 2 and 3 append.
    const bool existed = mode >= 2 && database->is_table_exist(name);
    const bool settle = settles_types(*database, name);
    std::vector<text_later> later;
    // A failure of the table, as a worksheet's: reported, and the run goes to
    // its end with what was written.
    const auto table_step = [](auto step) {
        try {
            step();
            return true;
        } catch (const tk_exception& e) {
            if (e.get_level() != 0)
                throw;
            error_handler::instance().handle(e, true);
            return false;
        }
    };
    const bool settled = table_step([&] {
        if (settle || needs_value_check(tab_name, columns)) {
            // The first reading shows its progress too: a large file takes a while.
            std::unique_ptr<csv_file> first = open_csv_source();
            const published progress(*this, first.get());
            if (settle)
                later = settle_types(*first, columns, first.get(), replaces(*database, name));
            else
                check_values(*first, columns);
        }
    });
    // The file is the run's one table: one the server cannot create ends the
    // run, and an old table it would replace is kept.
    if (settled && !existed)
        refuse_csv_table(sql_column_count_failure(name, columns));
    if (settled)
        table_step([&] {
            const std::unique_ptr<sql_table_lock> lock = lock_table(*database, name);
            const published progress(*this, reader.get());
            standin_fill fill(*this);
            std::unique_ptr<udb_recordset> table = make_table(*database, name, columns, indexes, fill);
            // The user's changes name the fields by the reader's names.
            if (existed && !has_field_changes(tab_name))
                name_fields_after_columns(*reader, table->schema);
            tk_logger::wlog(3, L"Converting CSV file %s", src.c_str());
            hooks.progress_line(L"Converting CSV file " + src);
            convert_step(reader.get(), table.get(), database.get(), !settle);
            finish_table(*database, std::move(table), existed, later);
            place_standin(fill);
        });
    report_findings(*reader, src, hooks);
    report_changed_source(*reader);
    reader.reset();
    close_destination(std::move(database), hooks);
}
