// Widens a destination text column as soon as a CSV value no longer fits:
// every CSV column starts as a text of 255 characters. A column is widened at
// its first longer value, and again only by a value longer than its wider
// type takes. The destination's back end says how to widen (do_upsize).
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

    // Characters every CSV column takes before it is widened.
    static constexpr uint32_t text_size = 255;

protected:
    // Widens the column for a value of size characters; returns the most
    // characters the column takes then.
    virtual uint32_t do_upsize(t_ftd& column, uint32_t size) = 0;

    udb_database* database;
    udb_recordset* recordset;

private:
    std::vector<uint32_t> room;  // characters each column takes
};
