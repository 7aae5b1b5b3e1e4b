// A table or query being read or written. Every back end (workbook, CSV file,
// MySQL server, dump file) derives its recordsets from this one; the base
// holds what they share: names, the column schema, the index list with the
// position of the row key, and the database that opened the recordset.
//
// Reading: while !is_eof(), get_item() then next(). The record get_item
// returns stays the recordset's: it lives until the next get_item or the
// recordset's end.
#pragma once

#include "UDB/udb_idx.hpp"
#include "UDB/udb_nmap.hpp"
#include "UDB/udb_rec.hpp"
#include "UDB/udb_sch.hpp"

#include <cstdint>
#include <memory>
#include <string>

class udb_database;

class udb_recordset {
public:
    udb_recordset(udb_database* database, const std::wstring& name, const std::wstring& query_text, bool schema_flag);
    udb_recordset(udb_database* database, const std::wstring& name, bool schema_flag);
    explicit udb_recordset(const std::wstring& name);
    udb_recordset(const udb_recordset&) = delete;
    udb_recordset& operator=(const udb_recordset&) = delete;
    virtual ~udb_recordset();

    virtual void append_record(const udb_record& record) = 0;
    virtual void update2(const std::wstring& key);
    virtual void update1(const udb_record& record);
    virtual udb_record* get_item();
    virtual bool is_eof();
    // True for a recordset opened on a query.
    virtual bool has_name() const;
    virtual void move_to(int32_t row);
    virtual void next() {}
    virtual void prev() {}
    virtual void reset() {}
    virtual void delete_key(const std::wstring& /*key*/) {}
    virtual void delete_key(const udb_record& /*record*/) {}
    // The column the record's field at position is written to; null when
    // none takes it. Here the column at the same position, as in a table
    // made from the records' own fields.
    virtual const t_ftd* column_for(const udb_record& record, size_t position);

    // Copies of the record's key fields (primary key, or the first unique
    // index), in key order; null when the record lacks one of them.
    std::unique_ptr<udb_record> get_key(const udb_record& record) const;
    // The WHERE condition for a key text: one tag pair per key field, the
    // field's name as the tag, its value between the tags with <, > and &
    // written as entities.
    std::wstring get_filter_subquery(const std::wstring& key) const;

    // Adds an index unless one of its name is listed; a primary index, or the
    // first unique one, becomes the row key.
    void add_index(const udb_index& index);

    std::wstring query_text;  // the SELECT of a recordset over a query
    std::wstring name;
    int32_t key_position = -1;  // of the row key in indexes; -1 while none
    udb_schema schema;
    udb_indexes indexes;
    udb_database* database = nullptr;  // not owned
    int32_t row_count = 0;

protected:
    // A column name as an identifier of the destination; values compared
    // with it in get_filter_subquery are literals of the same.
    virtual std::wstring quote_identifier(const std::wstring& column) const;

private:
    std::wstring get_filter_term(const std::wstring& column, std::wstring value) const;
};
