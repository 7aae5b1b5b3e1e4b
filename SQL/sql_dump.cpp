#include "SQL/sql_dump.hpp"

#include "SQL/sql_engi.hpp"
#include "SQL/sql_vali.hpp"
#include "SQL/sql_view.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/files/pl_files.hpp"
#include "platform/syserr/pl_syserr.hpp"

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace {

const char source_file[] = "sql_dump";

// A comment line ends at the line end the writer puts there: a line break
// inside a path or a name would turn the rest of it into statements.
std::string comment_safe(std::string text)
{
    std::replace(text.begin(), text.end(), '\r', ' ');
    std::replace(text.begin(), text.end(), '\n', ' ');
    return text;
}

// The file's name without folder and extension; both separators count, as
// the paths users give may be written either way.
std::wstring file_base_name(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"/\\");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind(L'.');
    if (dot != std::wstring::npos)
        name.resize(dot);
    return name;
}

// A keyword (any case) followed by exactly this identifier and then a blank
// or the end of the statement.
bool begins_with_on(const std::string& statement, const std::string& keyword, const std::string& identifier)
{
    if (!tk_string::compare_no_case(statement, keyword, false))
        return false;
    if (statement.compare(keyword.size(), identifier.size(), identifier) != 0)
        return false;
    const size_t end = keyword.size() + identifier.size();
    return statement.size() == end || statement[end] == ' ';
}

} // namespace

std::unique_ptr<dmp_database> sql_engine::create_dump(const std::wstring& file_name, const dump_options& options,
                                                      std::function<bool()> stopped)
{
    tk_logger::wlog(2, L"sql_engine::create_dump (%s)", file_name.c_str());
    tk_logger::wlog(3, L"Creating MySQL dump file '%s'", file_name.c_str());
    dmp_database::check_target(file_name, options);
    return std::make_unique<dmp_database>(file_name, options, std::move(stopped));
}

dmp_database::dmp_database(const std::wstring& path_, const dump_options& options_, std::function<bool()> stopped)
    : udb_database(path_, 1, false), path(path_), out(open_work_file(path_, written_path, replaced), std::move(stopped)),
      options(options_)
{
    tk_logger::wlog(2, L"dmp_database::ctor(%s)", path.c_str());
    sql_engine::instance().set_dump_version(options.b_new_ver);
    tk_logger::log(1, "b_new_ver=%d", options.b_new_ver ? 1 : 0);
    if (!out.is_open()) {
        tk_logger::log(2, "Failed to open file");
        platform::set_last_error(static_cast<uint32_t>(out.error()));
        throw tk_exception_ex("Cannot create the dump file '" + tk_to_utf8(written_path) + "': ", 1);
    }
    write_preamble();
}

dmp_database::~dmp_database()
{
    if (closed)
        return;
    closed = true;
    if (!finish_file())
        tk_logger::wlog(3, L"Cannot write the dump file '%s'", written_path.c_str());
    removal.keep = out.holds_rows();
    if (removal.keep)
        tk_logger::wlog(3, L"The unfinished dump stays in '%s'", written_path.c_str());
}

dmp_database::work_file_removal::~work_file_removal()
{
    // A device or pipe written in place is no work file.
    if (!keep && db.written_path != db.path)
        ::unlink(tk_to_ansi(db.written_path, tk_cp_thread_acp).c_str());
}

int dmp_database::open_work_file(const std::wstring& path, std::wstring& written, std::string& target)
{
    const std::string name = tk_to_ansi(path, tk_cp_thread_acp);
    std::error_code ec;
    const std::filesystem::file_status status = std::filesystem::status(name, ec);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
        written = path;
        return ::open(name.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    }
    // A name of its own: no leftover file or link of an earlier run is
    // written through, and runs into one destination never share a file.
    // It replaces the file the path leads to, keeping its mode and owner.
    std::string created;
    const int fd = platform::create_replacement(name, ".part", target, created);
    written = fd >= 0 ? tk_to_unicode(created) : path;
    return fd;
}

bool dmp_database::finish_file()
{
    unlock_tables("dmp_database::~dmp_database - right before unlock tables");
    return out.close();
}

void dmp_database::close()
{
    if (closed)
        return;
    closed = true;
    if (!finish_file()) {
        removal.keep = out.holds_rows();
        platform::set_last_error(static_cast<uint32_t>(out.error()));
        throw tk_exception_ex("Cannot write the dump file '" + tk_to_utf8(written_path) + "': ", 1);
    }
    if (written_path == path)
        return;
    removal.keep = true;  // renamed, or kept under its writing name when that fails
    if (std::rename(tk_to_ansi(written_path, tk_cp_thread_acp).c_str(), replaced.c_str()) != 0) {
        platform::set_last_error_from_errno();
        throw tk_exception_ex("Cannot give the dump file '" + tk_to_utf8(written_path) + "' its name '" +
                                  tk_to_utf8(path) + "': ",
                              1);
    }
}

const char* dmp_database::get_eol() const
{
    return options.n_line_break != 0 ? "\n" : "\r\n";
}

const wchar_t* dmp_database::get_weol() const
{
    return options.n_line_break != 0 ? L"\n" : L"\r\n";
}

void dmp_database::write_line(std::string_view bytes)
{
    out.write(bytes);
    out.write(get_eol());
    out.mark_whole();  // lines end between statements, or end them
}

void dmp_database::write_wline(const std::wstring& text)
{
    write_line(tk_to_utf8(text));
}

void dmp_database::write_preamble()
{
    if (options.b_ins_comments) {
        std::wstring shown = path;
        tk_wstring::replace_all(shown, L"\\", L"/");
        write_line("# File name: " + comment_safe(tk_to_utf8(shown)));
        write_line("# Creation date: " + tk_iso_date(tk_local_now()));
        write_line("# Created by " + comment_safe(options.created_by));
        write_line("# " + std::string(50, '-'));
        write_line("# Statements to be run by the mysql command-line client");
    }
    write_line("");
    // The file is UTF-8 whatever the tables' character set; servers that
    // know utf8mb4 (5.5.3 on) take characters outside the Basic Multilingual
    // Plane through it, older ones skip the versioned comment.
    write_line("SET NAMES utf8;");
    if (options.b_new_ver)
        write_line("/*!50503 SET NAMES utf8mb4 */;");
    // The literals' backslash escapes hold on a server whose mode would
    // take them as plain characters (from 4.1.1, which has the mode).
    write_line(std::string("/*!40101 ") + no_backslash_escapes_off + " */;");
    if (options.b_ins_db && options.b_ins_tables)
        write_database_statements();
}

void dmp_database::check_target(const std::wstring& path, const dump_options& options)
{
    if (options.b_ins_db && options.b_ins_tables)
        sql_engine::refuse_system_schema(get_db_name(path, options));
}

std::wstring dmp_database::get_db_name(const std::wstring& path, const dump_options& options)
{
    std::wstring name_ = options.db_name.empty() ? file_base_name(path) : tk_to_unicode(options.db_name);
    std::unique_ptr<udb_validator> validator;
    if (options.b_new_ver)
        validator = std::make_unique<sql_new_validator>(true);
    else
        validator = std::make_unique<sql_old_dn_validator>();
    if (validator->is_acceptable(name_))
        return name_;
    // Old servers refuse a database name that begins with a digit, which no
    // replacement of characters mends.
    if (!options.b_new_ver && (name_.empty() || (name_[0] >= L'0' && name_[0] <= L'9')))
        name_ = L"_" + name_;
    if (!validator->is_acceptable(name_))
        name_ = validator->get_safe_name(name_);
    tk_logger::wlog(2, L"Database name made '%s'", name_.c_str());
    return name_;
}

void dmp_database::write_database_statements()
{
    const std::string db = tk_to_utf8(backquoted_name(get_db_name(path, options)));
    write_line("");
    if (!options.b_keep_existing)
        write_line("DROP DATABASE IF EXISTS " + db + ";");
    write_line("CREATE DATABASE " + std::string(options.b_keep_existing ? "IF NOT EXISTS " : "") + db +
               " character set " + tk_to_utf8(sql_engine::instance().get_char_set()) + ";");
    write_line("USE " + db + ";");
}

void dmp_database::write_comment_block(const char* title, const std::wstring& table)
{
    write_line("");
    write_line("#");
    write_line(std::string("# ") + title + " '" + tk_to_utf8(udb_identifier_text(table)) + "'");
    write_line("#");
    write_line("");
}

void dmp_database::write_statement(const std::string& statement)
{
    const bool function = tk_string::compare_no_case(statement, "CREATE FUNCTION ", false);
    if (function)
        write_line("DELIMITER $$");
    out.write(statement);
    write_line(";");
    if (function) {
        write_line("$$");
        write_line("DELIMITER ;");
    }
}

std::unique_ptr<udb_recordset> dmp_database::query(const std::wstring& statement)
{
    tk_logger::wlog(1, L"dmp_database::query(%s)", statement.c_str());
    const std::string text = tk_to_utf8(statement);
    if (!is_on_locked_table(text))
        unlock_tables("dmp_database::query - right before unlock tables");
    write_statement(text);
    return nullptr;
}

void dmp_database::empty_table(const std::wstring& table)
{
    udb_database::empty_table(backquoted_name(table));
}

std::unique_ptr<udb_recordset> dmp_database::get_query(const std::wstring&, const std::wstring&, uint32_t)
{
    return nullptr;
}

std::unique_ptr<udb_recordset> dmp_database::get_table(const std::wstring&, uint32_t)
{
    throw tk_mail_assertion(source_file, 153);
}

bool dmp_database::test_query(const std::wstring&)
{
    return false;
}

std::wstring dmp_database::dialect_name(const std::wstring& table) const
{
    return options.b_new_ver ? sql_engine::get_safe_name(table) : sql_engine::old_dialect_name(table);
}

std::wstring dmp_database::backquoted_name(const std::wstring& table) const
{
    return options.b_new_ver ? enclose(table) : sql_engine::old_dialect_name(table);
}

std::wstring dmp_database::enclose(const std::wstring& table)
{
    return udb_backquoted(table);
}

void dmp_database::note_statement_size(const std::wstring& table, uint64_t bytes)
{
    if (bytes <= default_packet_size)
        return;
    uint64_t& largest = oversized[table];
    largest = std::max(largest, bytes);
}

void dmp_database::note_lock(std::vector<std::wstring> tables_)
{
    sql_engine::instance().set_tables_locked(true);
    locked_tables = std::move(tables_);
}

void dmp_database::unlock_tables(const char* log_line)
{
    sql_engine& engine = sql_engine::instance();
    if (engine.is_tables_locked()) {
        engine.set_tables_locked(false);
        tk_logger::log(2, "%s", log_line);
        write_line("UNLOCK TABLES;");
    }
    locked_tables.clear();
}

void dmp_database::unlock_unless_locked(const std::wstring& table, const char* log_line)
{
    if (std::find(locked_tables.begin(), locked_tables.end(), table) == locked_tables.end())
        unlock_tables(log_line);
}

bool dmp_database::is_on_locked_table(const std::string& statement) const
{
    if (!sql_engine::instance().is_tables_locked())
        return false;
    for (const std::wstring& table : locked_tables) {
        for (const std::wstring& form : {dialect_name(table), backquoted_name(table), sql_engine::get_safe_name(table)}) {
            const std::string identifier = tk_to_utf8(form);
            if (begins_with_on(statement, "ALTER TABLE ", identifier) ||
                begins_with_on(statement, "DELETE FROM ", identifier))
                return true;
        }
    }
    return false;
}

std::wstring dmp_database::refine_view_in(const std::wstring&, const std::wstring& sql) const
{
    tk_logger::wlog(2, L"dmp_database::refine_view_in(%s)", sql.c_str());
    return sql_view_converter::refine_view_in(names_map, sql);
}
