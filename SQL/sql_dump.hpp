// The dump writer's database: a conversion into an SQL script instead of a
// live server. It is driven exactly like a server database (tables created,
// records appended to the recordsets create_table returns, statements run
// through query) and writes each of those steps as statements into one UTF-8
// file whose lines end as the options say.
//
// Table locks: a script loads only when every statement written while LOCK
// TABLES is in force touches a locked table, so the writer remembers which
// tables its last LOCK TABLES named and closes the lock with UNLOCK TABLES
// before any statement on another one. Whether a lock is open is the engine's
// run-wide flag.
#pragma once

#include "SQL/dmp_opts.hpp"
#include "SQL/dmp_out.hpp"
#include "UDB/udb_db.hpp"

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class sql_schema_initializer;
struct sql_table_options;

class dmp_database : public udb_database {
public:
    // Creates the file and writes the preamble; a file that cannot be created
    // is a level-1 tk_exception_ex naming the path. The bytes go to a work
    // file of the run's own beside the path (get_written_path) until close()
    // gives the file its name, so an earlier file of that name stays whole
    // until the new one is complete.
    dmp_database(const std::wstring& path, const dump_options& options, std::function<bool()> stopped = {});
    // Ends the statements and closes the file when close() was not called,
    // leaving it under its writing name when a row reached it and removing
    // it when none did; a failure can then only be logged.
    ~dmp_database() override;

    // Where the dump is written: a new file "<path>.~<pid>.<n>.part" in the
    // folder of the file the path leads to (links followed; the name cut
    // short where it would be too long), or the path itself when it names
    // something that is not a plain file (a device or pipe is written to,
    // never replaced).
    const std::wstring& get_written_path() const { return written_path; }

    std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    void create_index(const std::wstring& table, const std::wstring& context, const udb_index& index) override;
    void create_views(const udb_views& views) override;
    void delete_fk(const udb_relationship& relationship) override;
    void delete_idx(const std::wstring& table, const udb_index& index) override;
    bool delete_tab(const std::wstring& name) override;
    // The name is quoted, as the server database quotes it.
    void empty_table(const std::wstring& name) override;
    std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                             uint32_t mode) override;
    // A dump cannot be read back: an internal error.
    std::unique_ptr<udb_recordset> get_table(const std::wstring& name, uint32_t mode) override;
    // Writes the statement; there is never a result.
    std::unique_ptr<udb_recordset> query(const std::wstring& statement) override;
    bool test_query(const std::wstring& statement) override;
    void create_relationships(const udb_relationships& relationships) override;

    // Writes the final UNLOCK TABLES when a lock is open, closes the file and
    // gives it its name; a level-1 tk_exception_ex naming the path when any
    // byte of the dump failed to reach it or the name cannot be given (the
    // written file then stays under its writing name). Call it at the end of
    // a run; later writes are lost.
    void close();

    // "\n" when n_line_break is set, else "\r\n".
    const char* get_eol() const;
    const wchar_t* get_weol() const;
    // One statement (UTF-8, without its semicolon) with ";" and the line end;
    // CREATE FUNCTION statements between DELIMITER lines.
    void write_statement(const std::string& statement);
    // A view's SELECT rewritten into MySQL's dialect, ended by ";".
    std::wstring refine_view_in(const std::wstring& name, const std::wstring& sql) const;

    // The name in a statement of the dump's dialect: quoted (cut to 63
    // characters when longer than 64) for new-version dumps, else bare.
    std::wstring dialect_name(const std::wstring& name) const;
    // The name enclosed in backquotes for new-version dumps, else bare.
    std::wstring backquoted_name(const std::wstring& name) const;
    // The name enclosed in backquotes, inner backquotes doubled.
    static std::wstring enclose(const std::wstring& name);

    // The database a dump of that path creates (options.db_name, else the
    // file's base name), made safe.
    static std::wstring get_db_name(const std::wstring& path, const dump_options& options);

    // A dump that drops and creates its database refuses the server's own
    // schemas (sql_engine::refuse_system_schema), before anything is written.
    static void check_target(const std::wstring& path, const dump_options& options);

    // The server that loads a dump refuses a statement longer than its
    // max_allowed_packet, 16 MiB by default: the longest statement of each
    // table that is longer, by table name.
    static constexpr uint64_t default_packet_size = 16 * 1024 * 1024;
    void note_statement_size(const std::wstring& table, uint64_t bytes);
    const std::map<std::wstring, uint64_t>& get_oversized_statements() const { return oversized; }

    // Closes an open lock that does not hold this table, so that a statement
    // on it may follow.
    void unlock_unless_locked(const std::wstring& table, const char* log_line);

private:
    void write(std::string_view bytes) { out.write(bytes); }
    void write_line(std::string_view bytes);
    void write_wline(const std::wstring& text);
    void write_preamble();
    void write_database_statements();
    void write_comment_block(const char* title, const std::wstring& table);
    std::wstring build_create_table(const std::wstring& name, sql_schema_initializer& columns,
                                    const udb_indexes& indexes, const std::wstring& auto_increment_name,
                                    const sql_table_options* chosen) const;
    std::wstring get_engine_clause(const sql_table_options* chosen) const;

    // Records a LOCK TABLES just written over these tables.
    void note_lock(std::vector<std::wstring> tables);
    // Writes UNLOCK TABLES when a lock is open, logging the given line first.
    void unlock_tables(const char* log_line);
    // True when a lock is open and the statement alters or empties one of
    // the locked tables, which the lock allows.
    bool is_on_locked_table(const std::string& statement) const;

    // Ends the statements and closes the file; false when a byte was lost.
    bool finish_file();

    // The descriptor of the work file for path, its name in `written`, the
    // file it is to replace in `target`.
    static int open_work_file(const std::wstring& path, std::wstring& written, std::string& target);

    std::wstring path;
    std::wstring written_path;  // declared before out, which opens it
    std::string replaced;       // what close() renames the work file to; also before out
    // Removes the work file when the dump goes, unless it is kept (it got
    // its name, or it holds rows of an unfinished run). Made before out, so
    // a failure while out is made (memory) leaves no empty file behind.
    struct work_file_removal {
        const dmp_database& db;
        bool keep = false;
        ~work_file_removal();
    } removal{*this};
    dmp_out out;
    dump_options options;
    std::map<std::wstring, udb_indexes> table_indexes;
    std::vector<std::wstring> locked_tables;
    std::map<std::wstring, uint64_t> oversized;
    bool closed = false;
};
