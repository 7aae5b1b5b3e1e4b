// The two roads of a run. A CSV file becomes one table: the file is opened
// first (nothing is created for a source that cannot be read), then the
// destination, and its rows are copied by convert_step with the widening of
// long columns; refinement runs after the table is complete.
#include "rvl_conv/rvl_conv.hpp"

#include "SQL/sql_dump.hpp"
#include "SQL/sql_tab.hpp"
#include "UDB/udb_vali.hpp"
#include "TK/tk_log.hpp"
#include "common/csv_util.hpp"
#include "rvl_conv/rvl_errh.hpp"

namespace {

// Ends the run's use of its destination: a dump is closed, and a dump that
// did not reach its file in full is reported.
void close_destination(std::unique_ptr<udb_database> database)
{
    if (auto* dump = dynamic_cast<dmp_database*>(database.get()))
        dump->close();
}

// Sends the rows a server table still gathers, so that rows the server
// refuses are reported like any other record's failure (level 0, with the
// table as context) instead of being left to the table's destructor.
void flush_rows(udb_recordset* table)
{
    auto* server_table = dynamic_cast<sql_table*>(table);
    if (server_table == nullptr)
        return;
    try {
        server_table->flush();
    } catch (const tk_exception& e) {
        error_handler::instance().set_context(server_table->name);
        error_handler::instance().handle(e, false);
    }
}

} // namespace

void ravelin_converter::open_xls_source() const
{
    // This build has no workbook engine.
    throw tk_exception("Failed to load Data Access Objects (DAO) support library.\r\nPlease reinstall the "
                       "application to repair it.\r\n",
                       1);
}

void ravelin_converter::convert_from_xls()
{
    tk_logger::wlog(2, L"ravelin_converter::convert_from_xls(src=%s, dest=%s)", src.c_str(), dest.c_str());
    open_xls_source();
}

bool ravelin_converter::keeps_statistics(udb_database& database, const std::wstring& table)
{
    return refine_types && mode != 3 && !database.is_table_exist(table);
}

void ravelin_converter::convert_from_csv()
{
    tk_logger::wlog(1, L"ravelin_converter::convert_from_csv(src=%s, dest=%s, tab=%s)", src.c_str(), dest.c_str(),
                    tab_name.c_str());
    std::unique_ptr<csv_file> reader = open_csv_source();
    std::unique_ptr<udb_database> database = get_dest_base();
    std::unique_ptr<udb_validator> validator = engine.create_tn_validator({}, database->get_tables());
    set_cur_table(tab_name);
    std::wstring name = modify1(tab_name, reader->schema, reader->indexes);
    if (!validator->is_acceptable(name))
        name = validator->get_safe_name(name);
    const bool keep_stats = keeps_statistics(*database, name);
    {
        // The progress display reads the reader only while this scope holds it.
        struct published {
            ravelin_converter& self;
            published(ravelin_converter& s, const csv_file* reader) : self(s)
            {
                std::lock_guard<std::mutex> lock(self.csv_reader_mutex);
                self.csv_reader = reader;
            }
            ~published()
            {
                std::lock_guard<std::mutex> lock(self.csv_reader_mutex);
                self.csv_reader = nullptr;
            }
        } progress(*this, reader.get());
        std::unique_ptr<udb_recordset> table = database->create_table(name, reader->schema, reader->indexes);
        tk_logger::wlog(3, L"Converting CSV file %s", src.c_str());
        hooks.progress_line(L"Converting CSV file " + src);
        convert_step(reader.get(), table.get(), database.get(), keep_stats);
        flush_rows(table.get());
    }
    reader.reset();
    if (refine_types)
        mysql_refine_types(*database);
    close_destination(std::move(database));
}
