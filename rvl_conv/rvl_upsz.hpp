// Widens a destination column to TEXT as soon as a CSV value is longer than
// its 255 characters, and to MEDIUMTEXT or LONGTEXT for a value longer than
// TEXT takes, by an ALTER TABLE run (or written into the dump) just before
// the record that needs it. A server table's column is widened only where
// it is a text narrower than the value, and keeps the rest of its
// definition. A table whose values were all seen before it was
// created takes those types at once (sql_settle_widths).
#pragma once

#include "common/csv_upsz.hpp"

class sql_field_upsizer : public csv_field_upsizer {
public:
    sql_field_upsizer(udb_database* database, udb_recordset* recordset);

protected:
    uint32_t do_upsize(const t_ftd& column, const udb_field& value) override;
};

// Gives each column whose longest CSV value (longest[i], in characters) is
// longer than 255 characters the text type the copy would widen it to, as
// the widening does: without NOT NULL or a default.
void sql_settle_widths(udb_schema& columns, const std::vector<uint32_t>& longest);
