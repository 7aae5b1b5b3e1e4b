// A worksheet (or a saved query) being read through DAO: a forward cursor
// over one DAO Recordset that, when it is opened, also describes its table
// for the rest of the system: the schema (one column descriptor per field,
// with the marks that tell dates from times) and the primary and unique
// indexes. Each get_item hands out the current row as a dao_record, which
// the recordset keeps and fills again with the next get_item.
#pragma once

#include "OLE/ole_ptr.hpp"
#include "UDB/udb_recs.hpp"
#include "platform/dao/pl_daoif.hpp"
#include "platform/dao/pl_table.hpp"

#include <cstdint>
#include <memory>
#include <string>

class dao_record;

class dao_recordset : public udb_recordset {
public:
    // Marks of t_ftd::reserved that the workbook side sets.
    enum : uint32_t {
        date_time = 1,  // a DAO date column (also set for a GUID column)
        date_only = 2,
        time_only = 3,
        now_default = 9,
        date_default = 10,
        time_default = 11,
        attachment = 101,
    };

    // A table: with its definition, the schema, the indexes and the record
    // count come from it. A null Recordset is an internal error.
    dao_recordset(udb_database* database, const std::wstring& name, DAORecordset* recordset, _DAOTableDef* table);
    // A query: its schema from the query definition, the count as given.
    dao_recordset(udb_database* database, const std::wstring& name, const std::wstring& sql, DAORecordset* recordset,
                  _DAOQueryDef* query, int32_t count);
    ~dao_recordset() override;

    // Stores the record as a new row of the table (a workbook's rows can
    // only be read: the engine refuses).
    void append_record(const udb_record& record) override;
    udb_record* get_item() override;
    bool is_eof() override;
    void next() override;
    void prev() override;
    void reset() override;

    // The worksheet the recordset reads whole from where it stands, its
    // cells as the workbook keeps them; null for anything else.
    const platform::dao::sheet_table* sheet() const;

    void init_schema(_DAOTableDef* table);
    void init_schema(_DAOQueryDef* query);
    void init_indexes(_DAOTableDef* table);

private:
    void read_eof();
    void check_record(const udb_record& record) const;
    DAORecordset* cursor(int assertion_line) const;

    int32_t record_count = 0;
    VARIANT_BOOL eof = VARIANT_FALSE;
    std::unique_ptr<dao_record> last_record;
    ole_com_ptr<DAORecordset> recordset;
    ole_com_ptr<_DAOTableDef> table_def;
    ole_com_ptr<_DAOQueryDef> query_def;
};
