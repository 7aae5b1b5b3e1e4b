#include "common/csv_upsz.hpp"

#include "TK/tk_log.hpp"

csv_field_upsizer::csv_field_upsizer(udb_database* database_, udb_recordset* recordset_)
    : database(database_), recordset(recordset_)
{
}

void csv_field_upsizer::process(const udb_record& record)
{
    tk_logger::log(1, "csv_field_upsizer::process");
    for (size_t i = 0; i < record.size(); ++i) {
        if (room.size() <= i)
            room.resize(i + 1, text_size);
        const uint32_t size = record[i] != nullptr ? record[i]->get_size() : 0;
        tk_logger::log(1, "Field size: %d", size);
        if (size <= room[i])
            continue;
        // A field no column takes is not written: the append tells of it.
        const t_ftd* column = recordset->column_for(record, i);
        tk_logger::log(1, "csv_field_upsizer::process - upsize field #%d", static_cast<int>(i));
        room[i] = column != nullptr ? do_upsize(*column, *record[i]) : UINT32_MAX;
    }
}
