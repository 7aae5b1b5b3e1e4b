// What a cell holds, and how a number format and the workbook's date system
// turn a stored number into a date, a currency amount or a plain number.
// Dates leave here as OLE automation dates (days since 1899-12-30), the form
// the layer above hands out.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::dao {

// A time is a number whose format shows a time of day without a date, a
// duration one whose format counts elapsed time ([h]:mm, [mm]:ss); an error
// is a cell holding an error value (#DIV/0!, #N/A...), which reads as no
// value. An ISO date is a date or time the workbook writes as itself
// ("1899-12-31T12:00"): it is held as its OLE date, not as a serial, since
// the 1900 system has no serial for some days it can name (1899-12-31).
enum class cell_kind : uint8_t { null, boolean, number, date, currency, text, time, error, duration, iso_date };

// number, date, time, duration or currency, for a cell whose number format
// has that code.
cell_kind classify_format_code(std::string_view code);
// The same for the formats every workbook knows by number without storing them.
cell_kind classify_builtin_format(uint32_t id);

// A stored serial number in the workbook's date system as an OLE date. The
// 1900 system counts the non-existent 1900-02-29, so its first two months are
// one day off; its values from 0 to below 1 are times of day and stay on
// 1899-12-30, as are a time's (kind time) in either system. Serial 0 of the
// 1904 system is 1904-01-01; negative serials are days before the start.
double serial_to_ole_date(double serial, bool date1904, cell_kind kind = cell_kind::date);
// The serial of an OLE date in the workbook's date system (the reverse).
double ole_date_to_serial(double ole, bool date1904);
// Whether an OLE date lies within 1000-01-01 and 9999-12-31, the days a
// DATETIME column holds.
bool fits_datetime(double ole);

// A duration of that many days as an elapsed-time format shows it:
// "36:00:00", "-01:30:00", "563137:00:00", to the second; empty for one
// beyond any count of hours (not finite, a billion days).
std::string format_elapsed(double days);
// The same as a TIME column holds it, empty beyond that column's range
// (838:59:59 either way); and whether it lies within that range.
std::string format_duration(double days);
bool fits_time(double days);

// "2024-03-01", "2024-03-01T10:20:30.5Z" or a time "10:20:30" as an OLE
// date; false when the text is none of these.
bool parse_iso_date(std::string_view text, double& ole);

// The text of an OLE date: "yyyy-mm-dd", "hh:mm:ss" for a time of day alone
// (a date on day zero, midnight included), or both; the time ends in ".mmm"
// where it has a fraction of a second. A time of day alone that rounds up to
// 24:00 stays "23:59:59.999".
std::string format_ole_date(double ole);

} // namespace platform::dao
