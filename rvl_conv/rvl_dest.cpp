// Preparing the destination of a run: the checks of a dump file's path, what
// the database mode asks before the run, and opening or creating the run's
// destination database.
#include "rvl_conv/rvl_conv.hpp"

#include "DAO/dao_db.hpp"
#include "SQL/sql_db.hpp"
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
    // Each refusal names what it refuses: the destination is one of the
    // files a run names.
    const std::wstring named = L"Destination name '" + path + L"'";
    if (tk_is_path_exist(path))
        throw tk_exception(named + L" should specify a file, not folder.", 1);
    if (tk_is_file_exist2(path, tk_exist_not_folder) && !tk_is_file_exist2(path, tk_exist_writable))
        throw tk_exception(named + L" specifies an existing read-only file.", 1);
    const tk_file_wname name(path);
    const std::wstring folder = name.drive + name.dir;
    if (!tk_is_path_exist(folder))
        throw tk_exception(L"Destination path '" + folder +
                               L"' does not exist.\nPlease verify the correct path was given.",
                           1);
    // Administrator rights are no remedy here: the user picks another folder.
    if (!tk_has_write_access(folder, tk_generic_write))
        throw tk_exception(L"Cannot create or write into the destination file.\nPermission denied for the folder '" +
                               folder + L"': choose a folder you may write into.",
                           1);
}

void ravelin_converter::refuse_same_files() const
{
    struct named {
        std::wstring what;
        std::wstring path;
    };
    std::vector<named> files{{L"source", src}};
    for (const auto& [what, path] : files_read)
        files.push_back({what, path});
    // The files written come last: each is compared with all before it.
    const size_t first_written = files.size();
    if (!direct)
        files.push_back({L"destination", dest});
    if (!log_file.empty())
        files.push_back({L"log file", tk_to_unicode(log_file)});
    for (size_t j = first_written; j < files.size(); ++j) {
        for (size_t i = 0; i < j; ++i) {
            if (files[i].path.empty() || files[j].path.empty() || !tk_is_same_file(files[i].path, files[j].path))
                continue;
            // The report must not go into the file it is about.
            const bool log_named = !log_file.empty() && j == files.size() - 1;
            if (tk_logger* logger = tk_logger::try_instance(); logger != nullptr && log_named)
                logger->set_enabled(false);
            throw tk_exception(L"The " + files[i].what + L" '" + files[i].path + L"' and the " + files[j].what +
                                   L" '" + files[j].path + L"' are the same file.",
                               1);
        }
    }
}

namespace {

// The content of `read` decides; the message names the file as the user gave it.
std::wstring workbook_failure(const std::wstring& read, const std::wstring& named)
{
    if (!platform::dao::has_workbook_signature(tk_to_utf8(read)))
        return {};
    return L"The source file " + named + L" is a workbook, not a CSV file: convert it as an MS Excel spreadsheet.";
}

} // namespace

std::wstring workbook_as_csv_failure(const std::wstring& path) { return workbook_failure(path, path); }

std::unique_ptr<csv_file> ravelin_converter::open_csv_source()
{
    const std::wstring& read = source_to_read();
    // Read as text, a workbook's bytes would make a table of garbage.
    if (const std::wstring failure = workbook_failure(read, src); !failure.empty())
        throw tk_exception(tk_to_utf8(failure), 1);
    // A copy is read under the source's name: messages name what the user gave.
    return std::make_unique<csv_file>(read, get_delimiter(), x_fnames,
                                      csv_line_reader::default_line_limit, source_read_limit(), src);
}

void ravelin_converter::check_dest()
{
    tk_logger::wlog(1, L"check_dest(%s)", dest.c_str());
    refuse_same_files();
    take_source();
    // The source is read and its tables measured first: a source that cannot
    // be read, or a run whose every table the server could not create, ends
    // here with nothing written or dropped.
    if (!direct)
        engine.set_dump_version(dump_opts.b_new_ver);  // the dialect's limits apply
    if (from_xls) {
        read_selected_sheets();
        refuse_table_name_clash();
        refuse_sheets_all_too_wide();
    } else {
        const std::unique_ptr<csv_file> reader = open_csv_source();
        udb_schema columns = reader->schema;
        udb_indexes indexes;
        const std::wstring table = modify1(tab_name, columns, indexes);
        // Types the run settles from the values give the row its width
        // later (convert_from_csv); the columns count now.
        refuse_csv_table(sql_column_count_failure(table, columns, !refines_types()));
    }
    if (direct) {
        check_mysql_db_name(dest);
        sql_engine::refuse_system_schema(dest);
        check_profile_names();
        check_storage_engine();
        // What modes 0 and 1 replace goes in the run, once the server has
        // taken its replacement (make_table): nothing is dropped here.
        tk_logger::log(1, from_xls ? "from_xls=true" : "from_xls=false");
        return;
    }
    // An existing dump stays whole until the new one takes its name at the
    // end of the run (sql_dump.hpp).
    common_check_dest(dest);
    dmp_database::check_target(dest, dump_opts);
}

void ravelin_converter::refuse_table_name_clash() const
{
    std::vector<std::wstring> tables;
    for (const auto& entry : worksheets)
        tables.push_back(entry.first);
    // Rows of two worksheets in one table, and the other's under a name
    // nobody gave: neither is what the user asked for.
    if (const std::optional<table_name_clash> clash = first_name_clash(tables))
        throw tk_exception(L"The worksheets '" + clash->first + L"' and '" + clash->second +
                               L"' would both be written to the table '" + clash->name +
                               L"': the table changes give them one name. Give each its own; nothing is changed.",
                           1);
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
        const bool exists = is_mysql_base_exist(dest);
        std::unique_ptr<udb_database> database =
            exists ? open_mysql_base(dest, mode != 0 ? 8 : 4) : create_mysql_base(dest);
        if (!exists)
            written.push_back(L"database '" + dest + L"'");
        meet_server_database(static_cast<sql_database&>(*database));
        dest_reached = true;
        return database;
    }
    dump_opts.created_by = tk_to_ansi(get_title(), tk_cp_thread_acp);
    // Appending modes load into tables that may hold rows already.
    dump_options run_opts = dump_opts;
    run_opts.b_keep_existing = mode == 2 || mode == 3;
    std::unique_ptr<dmp_database> dump = engine.create_dump(dest, run_opts, [this] { return stop_requested(); });
    dump_written = dump->get_written_path();
    dest_reached = true;
    return dump;
}

std::wstring ravelin_converter::unfinished_dump() const
{
    if (dump_written.empty() || dump_written == dest || !tk_is_file_exist2(dump_written, tk_exist_not_folder))
        return std::wstring();
    return dump_written;
}
