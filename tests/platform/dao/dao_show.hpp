// Cells and columns as short texts, so tests compare whole rows at once:
// NULL, T/F, numbers, D<date>, E<elapsed time>, $<currency>, 'text'.
#pragma once

#include "platform/dao/pl_table.hpp"

#include <cstdio>
#include <string>

inline std::string show(const platform::dao::cell& c)
{
    using platform::dao::cell_kind;
    char n[40];
    std::snprintf(n, sizeof n, "%.15g", c.number);
    switch (c.kind) {
    case cell_kind::null: return "NULL";
    case cell_kind::boolean: return c.boolean ? "T" : "F";
    case cell_kind::text: return std::string("'").append(c.text).append("'");
    case cell_kind::date:
    case cell_kind::time: return std::string("D").append(platform::dao::format_ole_date(c.number));
    case cell_kind::currency: return std::string("$") + n;
    case cell_kind::duration: return std::string("E").append(platform::dao::format_duration(c.number));
    default: return n;
    }
}

inline std::string show_row(const platform::dao::sheet_table& t, size_t row)
{
    std::string out;
    for (size_t c = 0; c < t.column_count(); ++c)
        out.append(c ? "|" : "").append(show(t.get(c, row)));
    return out;
}

// "Name:type" for each column, the type as the engine's field type number.
inline std::string show_columns(const platform::dao::sheet_table& t)
{
    std::string out;
    for (size_t c = 0; c < t.column_count(); ++c)
        out += (c ? "," : "") + t.column_name(c) + ":" + std::to_string(int(t.column_type(c)));
    return out;
}
