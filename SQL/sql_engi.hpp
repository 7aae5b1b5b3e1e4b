// The one MySQL engine of the process. It holds the client connection and
// everything the MySQL side decides by: the server version as one number
// (major<<16 | minor<<8 | patch; every dialect rule compares against it), the
// character set and default storage engine of new tables, and the run-wide
// flags that the table and row writers share. It also quotes identifiers, names
// MySQL types by code and lists the character sets and storage engines offered
// to the user.
#pragma once

#include "TK/tk_singl.hpp"
#include "UDB/udb_engi.hpp"

#include <mysql.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class udb_validator;
class udb_record;
class udb_schema;
class udb_indexes;
class sql_tmp_recordset;
class dmp_database;
struct dump_options;

// Versions at which the dialect changes.
inline constexpr uint32_t sql_version_3_23_44 = 0x03172C;  // foreign keys
inline constexpr uint32_t sql_version_4_1_0 = 0x040100;  // quoted identifiers, character sets
inline constexpr uint32_t sql_version_5_5_3 = 0x050503;  // utf8mb4
// What a dump writes for: the dump's new-version option picks one.
inline constexpr uint32_t default_innodb_page_size = 16384;
inline constexpr uint32_t sql_dump_new_version = 0x040100;
inline constexpr uint32_t sql_dump_old_version = 0x031401;

// The statement that keeps backslash escapes on in a session whose server
// mode would turn them off (NO_BACKSLASH_ESCAPES); every literal the system
// writes relies on them.
inline constexpr const char no_backslash_escapes_off[] =
    "SET SESSION sql_mode = REPLACE(@@SESSION.sql_mode, 'NO_BACKSLASH_ESCAPES', '')";

class sql_engine : public udb_engine, public tk_singleton<sql_engine> {
public:
    sql_engine();
    ~sql_engine() override;
    sql_engine(const sql_engine&) = delete;
    sql_engine& operator=(const sql_engine&) = delete;

    // Prepares the client handle for a (new) connection: the option group
    // "BV MySQL Lib", a connect timeout of 10 s, and the read and write
    // timeouts of sql_optf.hpp, so a server that stops answering ends the
    // run instead of hanging it.
    void initialize();

    // Connects the one client connection (closing an earlier one first) and
    // sets up the session: character set, wait_timeout of at least 28800 s,
    // foreign-key checks off, every warning of a statement listed. The port must be 1..65535. A refusal raises
    // sql_exception; a 4.1.0 server with a password raises
    // sql_auth_not_supported_exception. The password is never logged.
    void connect(const std::string& host, const std::string& user, const std::string& password, int port);

    // Databases on the connected server. create_db and open_db return the
    // database opened (create_db with mode 2); the caller owns it. The
    // server's own schemas (mysql, information_schema, performance_schema,
    // sys) are never dropped: db_delete refuses them (refuse_system_schema).
    std::unique_ptr<udb_database> create_db(const std::wstring& name) override;
    std::unique_ptr<udb_database> open_db(const std::wstring& name, uint32_t mode,
                                          const std::wstring& password) override;
    void db_delete(const std::wstring& name) override;
    // True when the server takes the name as the current database (which it
    // then is).
    bool is_db_exist(const std::wstring& name) override;
    static bool is_system_schema(const std::wstring& name);
    // A level-1 failure naming the database when it is one of those schemas:
    // no mode writes into them and no dump drops or creates them.
    static void refuse_system_schema(const std::wstring& name);

    // The server's max_allowed_packet, asked once; 0 while not connected.
    uint32_t get_max_allowed_packet();

    // A statement sent without waiting for the server's answer, so the
    // caller can prepare the next one meanwhile (one at a time). Whatever
    // uses the connection next first takes the answer with wait_async, which
    // never throws: a refusal is kept until take_async_failure.
    void send_async(const std::string& utf8);
    void wait_async();
    struct async_failure {
        std::string message;
        unsigned error_number = 0;
    };
    std::optional<async_failure> take_async_failure();
    // The warnings of the statement sent last, read when its answer was
    // taken; empty after a refusal and once taken.
    struct warning {
        unsigned code = 0;
        std::string message;
    };
    struct warnings {
        uint64_t total = 0;           // as the server counted them
        std::vector<warning> listed;  // what SHOW WARNINGS gave (the server lists a limited number)
    };
    warnings take_async_warnings();
    // The warnings of the statement just answered (SHOW WARNINGS when its
    // count is not 0). Never throws: a listing that fails is one warning
    // of its own.
    warnings read_warnings();

    // The version number of a server's version text ("8.0.36", "5.7.44-log",
    // "10.11.6-MariaDB-..."): its three leading dot-separated numbers. A text
    // without three numbers is an internal error.
    static uint32_t parse_version(const char* text);

    uint32_t get_version() const { return server_version; }
    // The version a connected server reported.
    void set_server_version(uint32_t version);
    // A dump run writes for the dialect of its version option instead.
    void set_dump_version(bool new_version);
    // True below 4.1.0: bare identifiers, no character sets, the old name rules.
    bool is_old_version() const;

    // A new dump database that writes the file (see sql_dump.hpp); stopped:
    // true once the user asked to stop, which ends a wait for a reader.
    std::unique_ptr<dmp_database> create_dump(const std::wstring& file_name, const dump_options& options,
                                              std::function<bool()> stopped = {});

    // The character set of new databases, tables and text columns: the one the
    // user chose, or else utf8mb4 where the target has it (servers from 5.5.3,
    // new-version dumps) and utf8 elsewhere. An empty text clears the choice.
    std::wstring get_char_set() const;
    void set_char_set(const std::wstring& name) { char_set = name; }
    bool has_char_set_choice() const { return !char_set.empty(); }
    // The bytes of the server's InnoDB pages (innodb_page_size), read when it
    // is connected: a row must keep under half a page in its page. A dump
    // and a server that does not tell count 16 KiB, InnoDB's default.
    uint32_t get_innodb_page_size() const { return innodb_page_size; }
    void set_innodb_page_size(uint32_t bytes) { innodb_page_size = bytes; }
    // The server compares table (and database) names without regard to case
    // (lower_case_table_names 1 or 2), read when it is connected; else
    // exactly, so that `People` and `people` are two tables. A dump and a
    // server that does not tell count as folding: the names one run makes
    // stay unique either way.
    bool table_names_folded() const { return names_folded; }
    void set_table_names_folded(bool folded) { names_folded = folded; }
    // The default storage engine of new tables.
    const std::wstring& get_tab_type() const { return tab_type; }
    void set_tab_type(const std::wstring& name) { tab_type = name; }

    bool is_fast_insert() const { return fast_insert; }
    // Once a row is too large to gather, rows go one statement each for the
    // rest of the run.
    void clear_fast_insert() { fast_insert = false; }
    bool is_tables_locked() const { return tables_locked; }
    void set_tables_locked(bool locked) { tables_locked = locked; }
    bool is_blob_to_text() const { return blob_to_text; }
    void set_blob_to_text(bool on);
    bool is_connected() const { return connected; }
    // Ends the statement the connection waits on, from any thread. The
    // server is asked, on a short connection of its own, to end it (KILL
    // QUERY): the statement fails and the connection stays usable for what
    // follows. A server that does not take that within a second or two has
    // the connection's socket shut down instead: the statement fails at once
    // as a lost connection. Nothing happens while no connection is open.
    void interrupt_statement();
    MYSQL* get_handle() { return &handle; }

    // The built-in lists stand in for the server's catalogue while no server
    // is connected; both are filled once per process. An engine the server
    // lists as not supported (disabled, or left out at start) is not listed.
    const std::vector<std::wstring>& get_charsets();
    const std::vector<std::wstring>& get_storage_engines();

    // The name as a backquoted identifier (udb_backquoted): cut to 63
    // characters when longer than 64. An empty name is returned as it stands,
    // one that is already a backquoted identifier is quoted again from its
    // inside.
    static std::wstring get_safe_name(const std::wstring& name);
    // A database or table name as this dialect writes it: before 4.1.0 as
    // old_dialect_name, else backquoted (never cut).
    std::wstring dialect_name(const std::wstring& name) const;
    // Bare when an old server takes the name so, else backquoted: no name
    // ever reaches a statement unquoted unless it is a plain word.
    static std::wstring old_dialect_name(const std::wstring& name);

    // Validators of table, field and index names for the target's dialect,
    // seeded with the names already taken.
    std::unique_ptr<udb_validator> create_tn_validator(const std::vector<std::wstring>& names1,
                                                       const std::vector<std::wstring>& names2) const;
    std::unique_ptr<udb_validator> create_fn_validator(const udb_record& record) const;
    std::unique_ptr<udb_validator> create_fn_validator(const udb_schema& schema) const;
    std::unique_ptr<udb_validator> create_in_validator(const udb_indexes& indexes) const;

    // MySQL type names by the codes of the type editor and the type tables.
    static std::wstring get_mysql_type_name(int code);

private:
    // Sends one statement; sql_exception when the server refuses it.
    void execute(const std::string& utf8);
    // The same, only logged on failure with the given format ("...: %s").
    void execute_logged(const char* statement, const char* failure_format);
    // Sends one statement and returns its rows; sql_exception on refusal.
    std::unique_ptr<sql_tmp_recordset> select(const std::string& utf8);
    void set_up_session(const std::string& password);
    template <size_t N>
    const std::vector<std::wstring>& fill_once(std::vector<std::wstring>& list, const wchar_t* const (&builtin)[N],
                                               const char* statement, bool two_columns);
    void read_innodb_page_size();
    void read_name_rule();
    // No connection is open for interrupt_statement to reach.
    void forget_connection();

    std::wstring char_set;  // empty: no choice made
    std::wstring tab_type = L"InnoDB";
    bool tables_locked = false;
    bool connected = false;
    bool fast_insert = true;
    bool blob_to_text = false;
    bool utf8mb4_available = false;
    uint32_t server_version = 0;
    uint32_t max_packet_size = 0;
    uint32_t innodb_page_size = default_innodb_page_size;
    bool names_folded = true;
    bool in_flight = false;
    std::optional<async_failure> async_refusal;
    warnings async_warnings;
    MYSQL handle;
    // Asks the server on a new connection to end the open connection's
    // statement; false when that could not be done.
    bool kill_query();

    // The socket of the open connection, -1 while none, and what reaches
    // that connection from another thread (interrupt_statement).
    std::atomic<int> live_socket{-1};
    struct connection_line {
        std::string host;
        std::string user;
        std::string password;
        unsigned port = 0;
        unsigned long id = 0;
    };
    std::mutex line_lock;
    std::optional<connection_line> line;
};

// Reads BLOB columns as text while it lives: the server hands statement texts
// (SHOW CREATE TABLE, view definitions) as BLOBs. The flag is put back also
// when the reading fails.
class sql_blob_as_text {
public:
    sql_blob_as_text() : saved(sql_engine::instance().is_blob_to_text())
    {
        sql_engine::instance().set_blob_to_text(true);
    }
    ~sql_blob_as_text() { sql_engine::instance().set_blob_to_text(saved); }
    sql_blob_as_text(const sql_blob_as_text&) = delete;
    sql_blob_as_text& operator=(const sql_blob_as_text&) = delete;

private:
    bool saved;
};
