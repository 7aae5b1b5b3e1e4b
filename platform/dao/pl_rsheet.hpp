// The worksheet behind a recordset of the layer, for readers that take a
// sheet's values column by column instead of row by row through fields.
#pragma once

#include "platform/dao/pl_daoif.hpp"
#include "platform/dao/pl_table.hpp"

namespace platform::dao {

// The worksheet a recordset reads when it stands on its first row and shows
// every row of one sheet; null for any other recordset. The table lives as
// long as the recordset does.
const sheet_table* dao_sheet_of(DAORecordset* recordset);

} // namespace platform::dao
