// The clauses of a MySQL CREATE TABLE for one table definition: one clause per
// column (names made acceptable to the server, types, character sets, NOT
// NULL, defaults, AUTO_INCREMENT, comments) and one per index the server can
// take, plus an index for an AUTO_INCREMENT column that none covers. The live
// server and the dump writer build their statements from the same clauses.
#pragma once

#include "UDB/udb_idx.hpp"
#include "UDB/udb_nmap.hpp"
#include "UDB/udb_sch.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class udb_validator;

// What the user's changes say about one table's statement: its storage
// engine and character set, and the character set of each column by its new
// name. Empty texts mean no choice.
struct sql_table_options {
    std::wstring engine;
    std::wstring char_set;
    std::map<std::wstring, std::wstring> column_char_sets;
};

// The columns of the table under their new names, keeping the row within the
// server's 65,535 bytes and, in an InnoDB table, the part of the row kept in
// its page (DYNAMIC row format: under half the server's page less 66 bytes;
// a column of more than 255 bytes may go off-page, leaving 21 bytes): when
// the VARCHAR columns the run chose would exceed either, the largest of them
// become LONGTEXT (size 0) until the row fits. Text is counted in the bytes a
// character of the column's character set may take: the one the user chose
// for the column (by its name), else the engine's.
class sql_schema : public udb_schema {
public:
    explicit sql_schema(bool innodb = false, std::map<std::wstring, std::wstring> column_char_sets = {});
    ~sql_schema() override;
    void push_back(const std::shared_ptr<t_ftd>& column);

    // What keeps the server from creating the table: empty when it fits.
    std::wstring row_failure(const std::wstring& table_name) const;
    // The column's type and character set as the statement gives them.
    std::wstring type_of(const t_ftd& column) const;
    const std::wstring& char_set_of(const t_ftd& column) const;

private:
    bool is_convertible(const t_ftd& column) const;
    uint32_t row_bytes(const t_ftd& column) const;
    uint32_t page_bytes(const t_ftd& column) const;
    uint32_t row_total() const;
    uint32_t page_row() const;
    void make_long_text(uint32_t at);

    uint32_t total_size = 0;     // the columns' bytes in the row, NULL flags aside
    uint32_t page_size = 0;      // the columns' bytes in an InnoDB page
    uint32_t nullable = 0;       // columns that take a NULL flag
    std::vector<uint32_t> lobs;  // positions of convertible text columns, largest first
    std::wstring char_set;
    std::map<std::wstring, std::wstring> column_char_sets;
    uint32_t page_limit;         // the in-page bytes a row must stay under
    bool innodb;
};

class sql_schema_initializer {
public:
    // auto_increment_name receives the name of the AUTO_INCREMENT column.
    sql_schema_initializer(const std::wstring& table_name, const udb_schema& source, const udb_indexes& indexes,
                           std::wstring& auto_increment_name);
    ~sql_schema_initializer();

    // One clause per column, in column order.
    void get_init_chunks(std::vector<std::wstring>& out, const sql_table_options* options);

    const sql_schema& get_schema() const { return schema; }
    // Source name -> new name, for each column whose name changed.
    const t_names_map& get_names_map() const;

private:
    std::wstring column_clause(const t_ftd& column, const t_ftd& source, const sql_table_options* options);
    bool can_have_def_value(const t_ftd& column, const std::wstring& char_set) const;
    bool can_have_auto_num(const t_ftd& column) const;

    std::wstring table_name;
    sql_schema schema;
    std::wstring* auto_increment_name;
    const udb_indexes* source_indexes;
    std::unique_ptr<udb_validator> validator;
    const udb_schema* source;
};

class sql_indexes_initializer {
public:
    sql_indexes_initializer(const sql_schema& schema, const udb_indexes& source, const std::wstring& auto_increment_name,
                            const t_names_map& names);

    // One clause per index the server can take, then the AUTO_INCREMENT
    // column's own index when it needs one.
    void get_init_chunks(std::vector<std::wstring>& out);

    const udb_indexes& get_indexes() const { return indexes; }

private:
    bool index_clause(const udb_index& index, std::wstring& clause, bool& covers_auto_increment) const;

    udb_indexes indexes;
    std::wstring auto_increment_name;
    const sql_schema* schema;
    const t_names_map* names;
};

// Every clause of one table's statement, in the order the writers use them.
struct sql_table_clauses {
    std::vector<std::wstring> columns;
    std::vector<std::wstring> indexes;
    t_names_map column_names;  // source name -> new name, for renamed columns
};

// The user's choices for a table about to be created, from the settings the
// engine was given (the converter's table and field changes): the table's
// "engine" and "character set", and each column's "character_set" by the
// column's name in schema. Nothing when the table has no change.
std::optional<sql_table_options> sql_user_table_options(const std::wstring& table_name, const udb_schema& schema);

// A table the server cannot create is refused before any statement on it:
// MySQL takes at most 4096 columns in a table, InnoDB 1017, a type whose
// size fits 32 bits, a definition (names, comments, DEFAULT expressions) of
// at most 65,535 bytes, a row no wider than sql_schema lets it be, and no
// type the table's engine cannot hold (MEMORY: TEXT, BLOB, geometry; CSV: a
// column that may be NULL). The failure names the table; empty when the
// table can be created. Without with_row the row and the engine's types are
// not counted, for a table whose types are not settled yet (its names are
// counted as given).
std::wstring sql_column_count_failure(const std::wstring& table_name, const udb_schema& schema,
                                      bool with_row = true);
// The failure above, as a tk_exception of level 0.
void sql_check_column_count(const std::wstring& table_name, const udb_schema& schema);

sql_table_clauses sql_make_table_clauses(const std::wstring& table_name, const udb_schema& schema,
                                         const udb_indexes& indexes, const sql_table_options* options);

// The live server's statement: CREATE TABLE, the clauses, the table's
// character set when the user chose one, and the storage engine.
std::wstring sql_make_create_table(const std::wstring& table_name, const sql_table_clauses& clauses,
                                   const sql_table_options* options);
