// The recordset of one table of a dump: every appended record becomes INSERT
// text. While the engine's fast-insert flag is on, rows gather into one
// multi-row statement that is written once it is longer than 1,000,000 bytes
// (and when the recordset goes, so delete it when the table is done); a row
// over 1,000,000 bytes turns the flag off for the rest of the run, and rows
// then go one statement each. Values over 1 MiB are streamed into the file in
// pieces instead of being copied into a statement.
#pragma once

#include "SQL/sql_util.hpp"
#include "UDB/udb_recs.hpp"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class dmp_database;
class dmp_out;

class dmp_recordset : public udb_recordset {
public:
    dmp_recordset(dmp_out& out, dmp_database* db, const std::wstring& name, const udb_schema& schema);
    // Writes the pending statement.
    ~dmp_recordset() override;

    void append_record(const udb_record& record) override;

    static constexpr int64_t row_limit = 1000000;          // bytes of a row or a pending statement
    static constexpr uint32_t max_field_size = 1048576;    // larger values are streamed

private:
    // The fields of one row in statement order, with the columns they go to.
    struct row_values {
        std::vector<const udb_field*> fields;
        std::vector<const t_ftd*> columns;
        std::vector<const sql_type_text*> types;  // each column's checked type (user_type), or null
    };

    // A row the loading server refuses in strict mode (a value too long for
    // or outside a column type the user gave) is a level-0 failure naming
    // the record; it is not written.
    void check_user_types(const row_values& row) const;
    void fast_append(const udb_record& record);
    void slow_append(const udb_record& record);
    void begin_batch(const udb_record& record);
    const row_values& match_batch(const udb_record& record);
    row_values match_by_schema(const udb_record& record, std::string& column_list) const;
    row_values match_by_record(const udb_record& record, std::string& column_list) const;
    // Appends the literals of a row that streams nothing to text.
    static void append_literals(std::string& text, const row_values& row);
    // Writes head and the values up to the last streamed one into the file,
    // and returns the text of the values after it.
    std::string write_streamed(const std::string& head, const row_values& row);
    void flush_pending();
    // Rows written while another table is locked would fail to load: the
    // lock is closed first. (The table's own lock stays.)
    void release_other_lock();
    std::string identifier(const std::wstring& name) const;
    // The type the user gave the column, read when the recordset was made;
    // null for a type the run chose or one whose values are not checked.
    const sql_type_text* user_type(const t_ftd* column) const;

    dmp_out& out;
    dmp_database* db;
    std::string append_buffer;  // the pending statement, without its ";"
    udb_schema batch_schema;    // the columns of the pending statement
    std::vector<std::wstring> batch_sources;  // their source names
    std::string batch_head;     // "INSERT INTO t(columns)"
    row_values batch_row;       // batch_schema's columns and types, the fields of the row being gathered
    // Each column of a type the user gave whose values a server may refuse,
    // its type read once: a value's check reads no type text, and a value
    // of any other column is not checked.
    std::map<const t_ftd*, sql_type_text> user_types;
    int64_t record_number = 0;
};
