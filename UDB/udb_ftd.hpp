// The description of one column of a table: name, declared size, value type,
// the source's or target's type text, flags, default value and comment.
#pragma once

#include "OLE/ole_var.hpp"

#include <cstdint>
#include <string>

class udb_field;

struct t_ftd {
    // From a field of a record: its size, name, type and flags.
    t_ftd(const udb_field& field, const ole_variant& default_value, uint32_t reserved);
    t_ftd(uint32_t size, const std::wstring& name, VARTYPE vartype, bool b_not_null, bool b_auto_increment,
          const ole_variant& default_value, uint32_t reserved, const std::wstring& native_type);

    uint32_t size;            // characters for text, 0 for unlimited
    uint32_t precision = 0;   // digits of a decimal column
    uint32_t scale = 0;       // of those, digits after the point
    std::wstring name;
    VARTYPE vartype;
    std::wstring native_type;  // the source's or target's type text, often empty
    bool b_auto_increment;
    bool b_not_null;
    ole_variant default_value;  // empty when the column has none
    // Marks the creator gives and the writers read: 9 a default of the
    // current time, 2 and 8 geometry values, date-only and time-only columns;
    // for decimals the scale in the low byte and the precision in the next.
    uint32_t reserved;
    std::wstring description;  // the column's comment

private:
    void log_members() const;
};
