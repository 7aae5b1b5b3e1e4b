// Reading from the server. Results are streamed (mysql_use_result): a result
// belongs to the object that took it, which reads it to its end or frees it
// before the connection sends another statement.
//
//   sql_record         one row of a result as a udb_record
//   sql_tmp_recordset  the rows of one statement already sent, 1000 at a time
//   sql_limited_query  the SELECT of a sql_recordset, 256 rows at a time
//   sql_recordset      a table or a SELECT query read in batches of 256 rows;
//                      sql_table derives from it to write a table
#pragma once

#include "UDB/udb_rec.hpp"
#include "UDB/udb_recs.hpp"
#include "UDB/udb_rel.hpp"

#include <mysql.h>

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class sql_database;

// The field flags a value is read by: BINARY_FLAG only for the binary
// character set, so text of a binary collation (utf8mb4_bin) stays text.
uint32_t sql_value_flags(const MYSQL_FIELD& field);

class sql_record : public udb_record {
public:
    // From the result's field descriptions: text columns decoded from UTF-8,
    // binary ones as bytes, others parsed into their value type.
    sql_record(unsigned n_fields, const MYSQL_FIELD* fields, const unsigned long* lengths, MYSQL_ROW row);
    // From a schema: column i gives field i its name and value type.
    sql_record(unsigned n_fields, const udb_schema& schema, const unsigned long* lengths, MYSQL_ROW row);
};

struct sql_result_free {
    void operator()(MYSQL_RES* result) const { mysql_free_result(result); }
};
using sql_result_ptr = std::unique_ptr<MYSQL_RES, sql_result_free>;

class sql_tmp_recordset : public udb_recordset {
public:
    static constexpr size_t cache_size = 1000;

    // A result from mysql_use_result; a null one is an internal error. The
    // first rows are read at once.
    explicit sql_tmp_recordset(MYSQL_RES* result);
    ~sql_tmp_recordset() override;

    void append_record(const udb_record& record) override;
    udb_record* get_item() override;
    // Reads the next rows when the cached ones are used up.
    bool is_eof() override;
    void next() override { ++position; }
    // Back to the first row of the cached rows; the result is not rewound.
    void reset() override { position = 0; }

    unsigned get_field_count() const { return n_fields; }
    const MYSQL_FIELD* get_fields() const { return fields; }

private:
    void fill_cache();

    unsigned n_fields;
    MYSQL_FIELD* fields;
    size_t position = 0;
    sql_result_ptr result;
    std::vector<std::unique_ptr<sql_record>> cache;
};

class sql_limited_query {
public:
    static constexpr size_t batch_size = 256;
    using slots = std::array<std::unique_ptr<sql_record>, batch_size>;

    // Sends "SELECT * FROM" the table, or over the query as a derived table;
    // sql_exception when the server refuses it.
    sql_limited_query(sql_database& database, const std::wstring& source, bool is_query);

    // Fills the slots with the next rows (from the schema when it is not
    // empty, else from the field descriptions); slots past the last row
    // stay empty. The number of rows stored.
    size_t store_to(slots& cache, const udb_schema* schema);

private:
    sql_result_ptr result;
};

class sql_recordset : public udb_recordset {
public:
    // A table. structure_only: only its columns are described (a table
    // opened for writing); its rows are neither counted nor read.
    sql_recordset(sql_database* database, const std::wstring& table, udb_relationships* relationships,
                  bool structure_only = false);
    // A SELECT query named name.
    sql_recordset(sql_database* database, const std::wstring& name, const std::wstring& query,
                  udb_relationships* relationships);
    ~sql_recordset() override;

    void append_record(const udb_record& record) override;
    udb_record* get_item() override;
    bool is_eof() override;
    void next() override;
    void prev() override;
    // Counts the rows again and reads the first batch; reading starts here.
    void reset() override;

    // The SELECT that reads the rows: the columns with geometry as text.
    const std::wstring& get_local_select() const { return local_select; }

protected:
    sql_database* get_database() const;
    udb_relationships* relationships;

private:
    void initialize(bool structure_only);
    void describe_columns(const MYSQL_FIELD* fields, unsigned n_fields, std::wstring& auto_number);
    void read_last_auto_number(const std::wstring& column);
    int32_t get_rec_count();
    // The statement text that reads the rows and whether it is a query.
    std::wstring source() const { return has_name() ? query_text : name; }

    std::unique_ptr<sql_limited_query> open_query;
    uint32_t row_position = 0;
    uint32_t cache_position = 0;
    sql_limited_query::slots cache;
    std::wstring local_select;
};
