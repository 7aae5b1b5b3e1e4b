// One database of the connected MySQL server, on the engine's one connection
// (borrowed, never closed here). It keeps the table list read when it was
// opened and updates it itself on create and drop, and the views it had when
// opened; it creates tables, drops and empties them, opens them for writing
// (sql_table), runs single statements and adds foreign keys and views. Every statement goes with its length (mysql_real_query), so a
// NUL byte inside a value cannot cut it short.
#pragma once

#include "SQL/sql_recs.hpp"
#include "UDB/udb_db.hpp"

#include <mysql.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class udb_field;
class udb_validator;

class sql_database : public udb_database {
public:
    sql_database(const std::wstring& name, MYSQL* connection, uint32_t mode);

    // An existing table (by the list, ignoring case) is opened with mode 8
    // and nothing is sent; else CREATE TABLE, then the new table with mode 2.
    std::unique_ptr<udb_recordset> create_table(const std::wstring& name, const udb_schema& schema,
                                                const udb_indexes& indexes) override;
    bool delete_tab(const std::wstring& name) override;

    // A table is replaced without being lost when its replacement fails:
    // the new table `name` is created under a stand-in name (a name of
    // new_standin_name) with everything else as create_table makes it, is
    // filled there, and takes the name by put_in_place (or copy_in_place)
    // once it holds its rows.
    void create_standin(const std::wstring& standin, const std::wstring& name, const udb_schema& schema,
                        const udb_indexes& indexes);
    // A name nothing of the database has (no table, view or sequence), 64
    // characters at most, unique to this connection on the server.
    std::wstring new_standin_name();
    // A stand-in that a run which ended without cleaning up left in the
    // database (its connection is gone), with its rows (-1 when they cannot
    // be counted).
    struct leftover {
        std::wstring name;
        int64_t rows;
    };
    std::vector<leftover> leftover_standins();
    // The stand-in takes the name `name`; a table of that name goes in the
    // same statement (RENAME TABLE is all or nothing) and is then dropped.
    // A refused rename changes nothing and raises sql_exception.
    void put_in_place(const std::wstring& standin, const std::wstring& name);
    // The same for a user who may not rename: once the old table is dropped
    // (drop_waiting), the new one is made like the stand-in and given its
    // rows, and the stand-in dropped.
    void copy_in_place(const std::wstring& standin, const std::wstring& name);
    // Drops the table, when there is one, waiting as set_table_wait says.
    void drop_waiting(const std::wstring& table);
    // How long the statements that replace and drop tables wait for another
    // session's hold on a table (seconds); `waiting` is told once per
    // statement that must wait, `between` is called between two tries of
    // it, a fraction of a second apart (a stop request ends the wait by
    // raising there). A wait that runs out is a level-0 tk_exception naming
    // the table.
    void set_table_wait(unsigned seconds, std::function<void(const std::wstring&)> waiting,
                        std::function<void()> between);
    // Reads the table list anew, for tables another session made or dropped.
    void reread_tables();
    // What the user may do here, asked of the server with statements on a
    // name nothing has, so nothing changes: drop a table (DROP), rename
    // one (ALTER and DROP), insert rows (INSERT).
    bool may_drop();
    bool may_rename();
    bool may_insert();
    // Drops a table the run made, on the paths that give up: a failure is
    // only logged, since the first failure is the one to report.
    void drop_quietly(const std::wstring& name) noexcept;
    // The kind of what the database holds under `name` ("table", "view",
    // "sequence", "system-versioned table"), empty for nothing.
    std::wstring object_kind(const std::wstring& name);
    // "trigger 'db.tr'" for each trigger of the table.
    std::vector<std::wstring> triggers_of(const std::wstring& table);
    // The foreign keys of other tables (of any database) that reference the
    // table, one text each; for an empty name, those of tables of other
    // databases that reference any table of this one.
    std::vector<std::wstring> references_to(const std::wstring& table);
    // What the database holds besides `kept`, as the server lists it now,
    // and dropping one of them (with its triggers): one text per object
    // that went ("table 'db.t'", "view 'db.v'", "trigger 'db.tr'").
    struct held_object {
        std::wstring name;
        std::wstring kind;
    };
    std::vector<held_object> objects_but(const std::vector<std::wstring>& kept);
    std::vector<std::wstring> drop_object(const held_object& object);

    void empty_table(const std::wstring& name) override;
    std::unique_ptr<udb_recordset> get_query(const std::wstring& name, const std::wstring& sql,
                                             uint32_t mode) override;
    // The table opened for writing; one not in the list is an internal error.
    std::unique_ptr<udb_recordset> get_table(const std::wstring& name, uint32_t mode) override;
    // A recordset over the statement's result, or null when it has none.
    std::unique_ptr<udb_recordset> query(const std::wstring& statement) override;
    bool test_query(const std::wstring& statement) override;

    // Foreign keys between tables already on the server, each with a
    // supporting index where no index starts with its columns. Nothing is
    // sent before 3.23.44 or for a database opened with the mode 8 (append).
    // A relationship that fails is reported to the error handler and the
    // next one is made; the tables locked for one are unlocked after it.
    void create_relationships(const udb_relationships& relationships) override;
    // Drops the constraint from the table that holds it (the child).
    void delete_fk(const udb_relationship& relationship) override;
    // A view per SELECT query, its text in MySQL's dialect; a view that fails
    // is reported to the error handler and the next one is made.
    void create_views(const udb_views& views) override;
    std::wstring refine_view_in(const std::wstring& sql) const;
    std::wstring refine_view_out(const std::wstring& sql) const;

    // Sends a statement already in UTF-8 whose result is not wanted.
    void query_append(const std::string& statement);
    // Sends an INSERT or REPLACE whose long values stand as "?": each given
    // field, in placeholder order, goes as long data in pieces. Text goes as
    // its UTF-8 bytes (MYSQL_TYPE_STRING), binary values as their own bytes
    // (MYSQL_TYPE_BLOB).
    void prepared_statement(const std::string& statement, const std::vector<const udb_field*>& long_fields,
                            int64_t row_size);
    // Sends a statement and takes its result (null for none); sql_exception
    // when the server refuses it.
    sql_result_ptr use_result(const std::string& statement);

    MYSQL* get_connection() const { return connection; }

    // The server's foreign-key checks are off while this lives: dropping a
    // table that others reference needs it. Rows always go in with the
    // checks on, so they end with the scope.
    class fk_checks_off {
    public:
        explicit fk_checks_off(sql_database& database_);
        ~fk_checks_off();
        fk_checks_off(const fk_checks_off&) = delete;
        fk_checks_off& operator=(const fk_checks_off&) = delete;

    private:
        sql_database& database;
    };

private:
    void init_tables();
    // Reads the database's views into the view list.
    void init_views();
    void create_relationship(const udb_relationship& relationship, udb_validator& validator);
    void create_fk_index_if(const std::wstring& table, const std::vector<std::wstring>& fields);
    void create_view(udb_validator& validator, const std::wstring& name, const std::wstring& sql);
    // A statement whose failure is only logged with this format ("...%s").
    void query_logged(const std::wstring& statement, const char* failure_format);
    // The destination name of a source table, spelt as the table list has
    // it; a tk_exception (level 0) when it is not in the list.
    std::wstring existing_table(const std::wstring& source, const char* log_format);
    // A listed table as the table list spells it (the server knows a table
    // only by its own spelling on case-sensitive file systems).
    std::wstring listed_name(const std::wstring& table) const;

    // Sends CREATE TABLE for the table `table` under the name `created`.
    void send_create(const std::wstring& created, const std::wstring& table, const udb_schema& schema,
                     const udb_indexes& indexes);
    // True when the server refused the statement for want of a privilege.
    bool access_denied(const std::wstring& statement);
    // The rows of a statement's result, each field as text.
    std::vector<std::vector<std::wstring>> rows_of(const std::string& statement);
    // Sends a statement that may wait for another session's hold on the
    // table, as set_table_wait bounds it.
    void send_waiting(const std::wstring& statement, const std::wstring& table);

    MYSQL* connection;
    unsigned standins = 0;
    unsigned wait_seconds = 0;
    std::function<void(const std::wstring&)> on_wait;
    std::function<void()> between_waits;
};
