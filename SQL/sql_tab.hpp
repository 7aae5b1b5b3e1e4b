// One existing server table opened for writing. Opening reads its structure
// (columns with their defaults, indexes, foreign keys) without reading its
// rows. Records are appended in one of two ways:
//   fast: rows gathered into one multi-row INSERT (REPLACE with the
//         database's mode bit 0x100), sent before it would pass 1,000,000
//         bytes (or the server's max_allowed_packet, when smaller) and when
//         a record brings another number of fields;
//   slow: one INSERT (or REPLACE) a row, once any row was over 1,000,000
//         bytes: the engine then leaves fast mode for the rest of the run.
//         Values over 1 MiB go as long data of a prepared statement.
// A gathered statement goes without waiting for the server's answer, which
// is taken before the next one is sent: the server stores one batch while
// the next is built. A gathered statement that the server refuses is sent
// again row by row (after the rows a table without transactions kept of
// it), so only the rows the server itself refuses are lost; they are
// reported together, by the append or the flush that took the answer. A row
// refused for one value (truncated, out of range, a bad date, NULL in a NOT
// NULL column) is sent again with IGNORE and goes in with the server's
// nearest value: the values the server changed are reported too, once per
// statement with their records. A full table, a privilege missing or the
// table gone ends the copy, naming the first record not written. A row
// whose statement would pass the server's max_allowed_packet is refused
// before it is sent: the server would close the connection on it. A lost
// connection raises sql_connection_lost at once. The last gathered statement goes with flush(), which the run
// calls; the destructor sends what is still pending and only logs a failure.
#pragma once

#include "SQL/sql_engi.hpp"
#include "SQL/sql_exc.hpp"
#include "SQL/sql_recs.hpp"

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

class udb_validator;
struct t_ftd;

// The report of rows refused and values changed by the server: a level-0
// failure that names its records itself.
class sql_batch_report : public sql_exception {
public:
    using sql_exception::sql_exception;
};

// The destination names of a record's fields, made as table creation makes
// column names, so a column finds the field it was made from.
class sql_field_finder {
public:
    explicit sql_field_finder(const udb_record& record);
    ~sql_field_finder();
    // The destination name of the record's field at position.
    const std::wstring& get_name(size_t position) const { return names[position]; }

private:
    std::unique_ptr<udb_validator> validator;
    std::vector<std::wstring> names;
};

// Gives each name still without a column (-1 in column_of) a column that no
// name took yet (taken): the column of exactly that name first, then one the
// server holds equal to it. An empty name takes none.
void sql_take_columns(const udb_schema& columns, const std::vector<std::wstring>& names, std::vector<int>& column_of,
                      std::vector<bool>& taken);

class sql_table : public sql_recordset {
public:
    static constexpr uint32_t max_buffer_size = 1000000;
    static constexpr uint32_t long_field_size = 0x100000;

    sql_table(sql_database* database, const std::wstring& name, udb_relationships* relationships, uint32_t mode);
    ~sql_table() override;

    void append_record(const udb_record& record) override;
    const t_ftd* column_for(const udb_record& record, size_t position) override;
    // Makes a text column (CHAR, VARCHAR or a TEXT type) too narrow for the
    // value the next record brings the smallest TEXT type that holds it,
    // keeping everything else of its definition. Returns the characters
    // the column now surely takes; the most there are for a column of
    // another type, which is never widened.
    uint32_t widen_for(const t_ftd& column, const udb_field& value);
    // Sends the gathered rows. Rows the server refuses raise one
    // sql_exception (level 0) that names each of them.
    void flush();

    static uint32_t get_max_buffer_size() { return max_buffer_size; }

    // Rows not written because their key was already in the table (the
    // server's 1062), counted since the last call.
    struct skipped_rows {
        uint64_t count = 0;
        std::string first;  // the server's text for the first of them
    };
    skipped_rows take_duplicates();
    // The rows this table object put into the table, as the server's
    // answers tell: the rows of a statement that failed are counted as the
    // server kept them.
    uint64_t rows_taken() const { return taken; }
    // The server may have taken more: the answer to a statement was lost.
    bool rows_taken_unsure() const { return taken_unsure; }
    // The copy ended early: the gathered rows are sent as the destructor
    // would send them, a failure only logged, so that rows_taken counts
    // what the server kept. Never throws.
    void finish_quietly() noexcept;

    // Changing and deleting existing rows, chosen by the table's key, by a
    // key text (as get_key and get_filter_subquery describe it) or by every
    // field of a record. Each sends one statement. An operation that cannot
    // name its rows safely (no key, a key field missing or NULL) sends
    // nothing and logs why; a statement the server refuses, or a key text
    // that names no column, is logged and raised.
    using udb_recordset::update2;
    void update2(const udb_record& record, const std::wstring& key);
    void update1(const udb_record& record) override;
    void delete_key(const std::wstring& key) override;
    void delete_key(const udb_record& record) override;

private:
    // How the fields of records with these names go to the table's columns.
    struct column_match {
        std::vector<std::wstring> field_names;
        std::vector<std::pair<size_t, const t_ftd*>> pairs;  // record field, column
        std::string fast_columns;                            // head, table, "(", columns
        std::string slow_columns;
    };
    struct pending_row {
        size_t offset;  // of its "(" in its statement
        size_t length;
        int64_t number;
    };
    // One gathered statement and where its rows stand in it.
    struct batch {
        std::string text;
        size_t head = 0;  // head and column list with ")"
        std::vector<pending_row> rows;
    };
    // What the answers to statements brought that the user must hear of:
    // rows the server refused and values it changed (its warnings), to be
    // reported as one failure.
    struct batch_report {
        size_t refused = 0;
        size_t total = 0;
        uint32_t first_code = 0;
        std::string refused_rows;
        uint64_t changed = 0;
        uint32_t changed_code = 0;
        size_t changed_listed = 0;
        std::string changed_values;
        bool any() const { return refused != 0 || changed != 0; }
        std::string message() const;
        // One sql_batch_report naming the rows and values, then the given
        // failure's text.
        [[noreturn]] void raise(const std::string& then = std::string()) const;
    };

    void initialize(uint32_t mode);
    void read_columns();
    void read_indexes();
    void read_foreign_keys();
    // The table's CREATE TABLE as the server shows it.
    std::string create_statement() const;

    // The column each field of the record goes to (its position in the
    // schema), -1 for a field no column takes. A field takes the column of
    // its own name (exactly, else as the server compares names) before any
    // field is renamed as table creation renames it.
    std::vector<int> columns_of_fields(const udb_record& record) const;
    const column_match& match(const udb_record& record);
    // Fields of the record that no column of the table takes, not told of
    // yet: left_out receives the report that names them.
    void note_left_out(const udb_record& record, const column_match& matched);
    // The end of the table's copy at a refusal every further row would meet
    // (the table gone, a privilege missing): not a server error of one row,
    // so the copy does not go on.
    tk_exception rows_not_written(const std::string& failure, int64_t first) const;
    // The same for a refusal met by a sent statement: the rows gathered
    // after it are not sent either.
    tk_exception rows_after_not_written(const std::string& failure, int64_t first);
    // A refusal every further row would meet.
    static bool ends_copy(unsigned error_number);
    uint64_t count_rows() const;
    // Whether the table's engine takes back a statement that failed; for
    // one that does not, its rows when opened.
    void note_engine();
    // The leading rows of a failed statement that the table kept.
    size_t rows_kept(const batch& failed);
    // The refusal of the record in hand, longer than max_allowed_packet.
    sql_exception packet_refusal() const;
    // The literals of a record's values, joined by ", ", into values (whose
    // storage is kept from row to row).
    void values_of(std::string& values, const udb_record& record, const column_match& match, bool prepared,
                   std::vector<const udb_field*>* long_fields) const;
    void fast_append(const udb_record& record, batch_report& report);
    void slow_append(const udb_record& record, batch_report& report);
    // Takes the answer to the batch sent before, then sends the gathered one.
    void send_gathered(batch_report& report);
    void complete_sent(batch_report& report);
    void retry_rows(const batch& rows, size_t first, const std::string& failure, batch_report& report);
    // The row a value refused sent again with IGNORE, so it goes in with the
    // server's nearest value, reported as changed; false when the server
    // skipped it even so.
    bool insert_changed(const std::string& head, const std::string& values, const pending_row& row,
                        batch_report& report);
    static void refuse_row(const pending_row& row, const sql_exception& e, batch_report& report);
    // The warnings of a statement holding these rows: duplicate keys are
    // counted, every other warning is a value the server changed.
    void note_warnings(const sql_engine::warnings& warnings, const pending_row* rows, size_t count,
                       batch_report& report);
    uint32_t gather_limit();
    std::string name_text(const std::wstring& identifier, bool always_quoted) const;

    // A field of a record as "column=value", for a column the table holds.
    struct field_term {
        const udb_field* field;
        const t_ftd* column;
        std::string text;
        bool is_null;
    };
    std::vector<field_term> field_terms(const udb_record& record) const;
    std::string update_head() const;
    std::string key_condition(const std::wstring& key) const;
    // Sends a changing statement; a failure is logged with what, then raised.
    void send_change(const std::string& statement, const char* what, int level);

    uint32_t cached_rec_size = 0;
    int64_t record_number = 0;  // of the record in hand, counting those that failed
    skipped_rows duplicates;
    bool transactional = true;
    uint64_t rows_at_open = 0;  // known only where not transactional
    uint64_t taken = 0;
    bool taken_unsure = false;
    batch pending;  // being gathered
    batch sent;     // sent, its answer not taken yet
    std::string row_values;  // the literals of the row being gathered
    bool awaiting_answer = false;
    uint32_t limit = 0;
    std::unique_ptr<column_match> last_match;
    std::set<std::wstring> left_out_told;
    std::string left_out;
};
