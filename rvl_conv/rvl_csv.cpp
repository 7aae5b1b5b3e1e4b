// The two roads of a run. A CSV file becomes one table: the file is opened
// first (nothing is created for a source that cannot be read), then the
// destination, and its rows are copied by convert_step with the widening of
// long columns; refinement runs after the table is complete. A level-0
// failure of the table is reported and the run still closes its destination.
#include "rvl_conv/rvl_conv.hpp"

#include "UDB/udb_vali.hpp"
#include "TK/tk_log.hpp"
#include "common/csv_util.hpp"
#include "rvl_conv/rvl_errh.hpp"
#include "rvl_conv/rvl_fin.hpp"

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
    // The reader names its records from its own schema, so the user's changes
    // go to a copy: records keep their source names until modify2 maps them.
    udb_schema columns = reader->schema;
    udb_indexes indexes = reader->indexes;
    std::wstring name = modify1(tab_name, columns, indexes);
    if (!validator->is_acceptable(name))
        name = validator->get_safe_name(name);
    const bool existed = database->is_table_exist(name);
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
        try {
            std::unique_ptr<udb_recordset> table = database->create_table(name, columns, indexes);
            tk_logger::wlog(3, L"Converting CSV file %s", src.c_str());
            hooks.progress_line(L"Converting CSV file " + src);
            convert_step(reader.get(), table.get(), database.get(), columns, keep_stats);
            flush_rows(table.get(), hooks, existed);
        } catch (const tk_exception& e) {
            // A failure of the table, as a worksheet's: reported, and the run
            // goes to its end with what was written.
            if (e.get_level() != 0)
                throw;
            error_handler::instance().handle(e, true);
        }
    }
    reader.reset();
    if (refine_types)
        mysql_refine_types(*database);
    close_destination(std::move(database));
}
