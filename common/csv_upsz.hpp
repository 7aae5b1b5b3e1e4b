// Widens a destination text column as soon as a CSV value no longer fits:
// every CSV column starts as a text of 255 characters. A column is widened at
// its first longer value, and again only by a value longer than its wider
// type takes. The column is the one the destination writes the value to (by
// its name in a table that was there before). The destination's back end says
// how to widen (do_upsize), and whether the column needs it.
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
    // Widens the column for the value where it is narrower; returns the
    // characters the column surely takes then.
    virtual uint32_t do_upsize(const t_ftd& column, const udb_field& value) = 0;

    udb_database* database;
    udb_recordset* recordset;

private:
    std::vector<uint32_t> room;  // characters each column takes
};
