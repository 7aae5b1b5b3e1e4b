// Preparing the destination of a run: the checks of a dump file's path, what
// the database mode asks before the run, and opening or creating the run's
// destination database.
#include "rvl_conv/rvl_conv.hpp"

#include "DAO/dao_db.hpp"
#include "SQL/sql_dump.hpp"
#include "SQL/sql_init.hpp"
#include "TK/tk_files.hpp"
#include "TK/tk_fname.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "common/csv_util.hpp"
#include "platform/dao/pl_wbook.hpp"
#include "rvl_conv/rvl_errh.hpp"

void common_check_dest(const std::wstring& path)
{
    tk_logger::wlog(1, L"common_check_dest(%s)", path.c_str());
    if (tk_is_path_exist(path))
        throw tk_exception("Destination name should specify a file, not folder.", 1);
    if (tk_is_file_exist2(path, tk_exist_not_folder) && !tk_is_file_exist2(path, tk_exist_writable))
        throw tk_exception("Destination name specifies an existing read-only file.", 1);
    const tk_file_wname name(path);
    const std::wstring folder = name.drive + name.dir;
    if (!tk_is_path_exist(folder))
        throw tk_exception("Destination path does not exist.\nPlease verify the correct path was given.", 1);
    if (!tk_has_write_access(folder, tk_generic_write))
        throw tk_exception(
            "Cannot create or write into the destination file.\nRun the program as Administrator or change folder.", 1);
}

std::wstring workbook_as_csv_failure(const std::wstring& path)
{
    if (!platform::dao::has_workbook_signature(tk_to_utf8(path)))
        return {};
    return L"The source file " + path + L" is a workbook, not a CSV file: convert it as an MS Excel spreadsheet.";
}

std::unique_ptr<csv_file> ravelin_converter::open_csv_source() const
{
    // Read as text, a workbook's bytes would make a table of garbage.
    if (const std::wstring failure = workbook_as_csv_failure(src); !failure.empty())
        throw tk_exception(tk_to_utf8(failure), 1);
    return std::make_unique<csv_file>(src, get_delimiter(), x_fnames);
}

void ravelin_converter::check_dest()
{
    tk_logger::wlog(1, L"check_dest(%s)", dest.c_str());
    // Nothing is dropped or deleted for a source that cannot be read, nor
    // for a run whose every table is one the server could not create.
    if (!direct)
        engine.set_dump_version(dump_opts.b_new_ver);  // the dialect's limits apply
    std::unique_ptr<csv_file> reader;
    if (from_xls) {
        read_selected_sheets();
        refuse_sheets_all_too_wide();
    } else {
        reader = open_csv_source();
        udb_schema columns = reader->schema;
        udb_indexes indexes;
        sql_check_column_count(modify1(tab_name, columns, indexes), columns);
    }
    if (direct) {
        check_mysql_db_name(dest);
        sql_engine::refuse_system_schema(dest);
        check_profile_names();
        if (is_mysql_base_exist(dest) && mode == 0)
            del_mysql_base(dest);
        if (from_xls) {
            tk_logger::log(1, "from_xls=true");
            return;
        }
        tk_logger::log(1, "from_xls=false");
        if (!is_mysql_base_exist(dest))
            return;
        std::unique_ptr<udb_database> database = open_mysql_base(dest, 4);
        // The table the run will write, as the run names it.
        udb_schema columns = reader->schema;
        udb_indexes indexes = reader->indexes;
        const std::wstring table = csv_table_name(columns, indexes);
        if (mode == 1 && database->is_table_exist(table))
            database->delete_tab(table);
        return;
    }
    // An existing dump stays whole until the new one takes its name at the
    // end of the run (sql_dump.hpp).
    common_check_dest(dest);
    dmp_database::check_target(dest, dump_opts);
}

void ravelin_converter::refuse_sheets_all_too_wide()
{
    std::wstring first_table, first_failure;
    for (const auto& [table, sheet] : worksheets) {
        // The table as the run creates it: the user's changes go to copies.
        const std::unique_ptr<udb_recordset> source = xls_book->get_table(sheet, udb_database::mode_read_only);
        udb_schema columns = source->schema;
        udb_indexes indexes = source->indexes;
        const std::wstring failure = sql_column_count_failure(modify1(table, columns, indexes), columns);
        if (failure.empty())
            return;
        if (first_failure.empty()) {
            first_table = table;
            first_failure = failure;
        }
    }
    if (first_failure.empty())
        return;
    // Named as the run names a worksheet's failure: by its table.
    error_handler::instance().set_context(first_table);
    throw tk_exception(first_failure, 0);
}

std::unique_ptr<udb_database> ravelin_converter::get_dest_base()
{
    tk_logger::log(2, "ravelin_converter::get_dest_base(mode=%d, direct=%d)", mode, direct ? 1 : 0);
    if (direct) {
        sql_engine::refuse_system_schema(dest);
        std::unique_ptr<udb_database> database =
            is_mysql_base_exist(dest) ? open_mysql_base(dest, mode != 0 ? 8 : 4) : create_mysql_base(dest);
        dest_reached = true;
        return database;
    }
    dump_opts.created_by = tk_to_ansi(get_title(), tk_cp_thread_acp);
    std::unique_ptr<dmp_database> dump = engine.create_dump(dest, dump_opts);
    dump_written = dmp_database::writing_path(dest);
    dest_reached = true;
    return dump;
}

std::wstring ravelin_converter::unfinished_dump() const
{
    if (dump_written.empty() || dump_written == dest || !tk_is_file_exist2(dump_written, tk_exist_not_folder))
        return std::wstring();
    return dump_written;
}
