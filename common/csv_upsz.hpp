// Widens a destination text column as soon as a CSV value no longer fits:
// every CSV column starts as a text of 255 characters. Each column is widened
// at most once per table, at its first longer value. The destination's back
// end says how to widen (do_upsize).
#pragma once

#include "UDB/udb_db.hpp"

#include <vector>

class csv_field_upsizer {
public:
    // Neither is owned; the recordset's schema gives the columns.
    csv_field_upsizer(udb_database* database, udb_recordset* recordset);
    virtual ~csv_field_upsizer() = default;

    // Call for every record before it is appended.
    void process(const udb_record& record);

protected:
    virtual void do_upsize(t_ftd& column) = 0;

    udb_database* database;
    udb_recordset* recordset;

private:
    std::vector<bool> widened;
};
