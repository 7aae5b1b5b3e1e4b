// What the workbook asks of a file format's reader: the worksheets' names in
// tab order, and one worksheet's cells on demand. Readers raise format_fault
// (and encrypted_fault) and know nothing of file names.
#pragma once

#include "platform/dao/pl_table.hpp"

#include <string>
#include <vector>

namespace platform::dao {

class sheet_source {
public:
    virtual ~sheet_source() = default;
    // Worksheets only, hidden ones included; chart, dialog and macro sheets
    // are left out.
    const std::vector<std::string>& names() const { return sheet_names; }
    virtual void load(size_t index, table_builder& out) = 0;

protected:
    std::vector<std::string> sheet_names;
};

} // namespace platform::dao
