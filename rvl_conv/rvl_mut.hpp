// The user's changes of destination tables and fields (names, types,
// dropped columns). Until such changes can be made, every table keeps its
// name, schema and index list, and every record passes unchanged.
#pragma once

#include "UDB/udb_idx.hpp"
#include "UDB/udb_rec.hpp"
#include "UDB/udb_sch.hpp"

#include <string>

class sql_db_mutator {
public:
    virtual ~sql_db_mutator() = default;

    // The destination name of a source table; its schema and indexes are
    // changed in place.
    std::wstring modify1(const std::wstring& table, udb_schema& schema, udb_indexes& indexes);
    // The record to append for a source record of the table.
    const udb_record& modify2(const std::wstring& table, const udb_record& record);
};
