// What a cell holds, and how a number format and the workbook's date system
// turn a stored number into a date, a currency amount or a plain number.
// Dates leave here as OLE automation dates (days since 1899-12-30), the form
// the layer above hands out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::dao {

enum class cell_kind : uint8_t { null, boolean, number, date, currency, text };

// number, date or currency, for a cell whose number format has that code.
cell_kind classify_format_code(std::string_view code);
// The same for the formats every workbook knows by number without storing them.
cell_kind classify_builtin_format(uint32_t id);

// A stored serial number in the workbook's date system as an OLE date. The
// 1900 system counts the non-existent 1900-02-29, so its first two months are
// one day off; values below one are times of day and stay on 1899-12-30.
double serial_to_ole_date(double serial, bool date1904);

// "2024-03-01", "2024-03-01T10:20:30.5Z" or a time "10:20:30" as an OLE
// date; false when the text is none of these.
bool parse_iso_date(std::string_view text, double& ole);

// The text of an OLE date: "yyyy-mm-dd", "hh:mm:ss" for a time of day alone,
// or both.
std::string format_ole_date(double ole);

} // namespace platform::dao
