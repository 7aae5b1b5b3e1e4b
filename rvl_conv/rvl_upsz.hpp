// Widens a destination column to TEXT as soon as a CSV value is longer than
// its 255 characters, and to MEDIUMTEXT or LONGTEXT for a value longer than
// TEXT takes, by an ALTER TABLE run (or written into the dump) just before
// the record that needs it.
#pragma once

#include "common/csv_upsz.hpp"

class sql_field_upsizer : public csv_field_upsizer {
public:
    sql_field_upsizer(udb_database* database, udb_recordset* recordset);

protected:
    uint32_t do_upsize(t_ftd& column, uint32_t size) override;
};
