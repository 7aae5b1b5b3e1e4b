// Dates of OLE Automation: a double counting days from 1899-12-30, whose
// fraction is the time of day; before that day the integer part counts back
// while the fraction still counts forward (-1.25 is 1899-12-29 06:00).
#pragma once

#include "platform/ole/pl_oletp.hpp"

#include <cstdint>
#include <string>
#include <string_view>

// Years 100 to 9999. Returns false (and leaves *out) for fields out of range.
bool SystemTimeToVariantTime(const SYSTEMTIME* st, DATE* out);
// Rounds to the nearest second; milliseconds are 0. False outside years 100
// to 9999, for NaN and infinities.
bool VariantTimeToSystemTime(DATE in, SYSTEMTIME* st);
// A plain text-to-date parser: "yyyy-mm-dd", "yyyy/mm/dd", "mm/dd/yyyy",
// "dd.mm.yyyy", month names ("Jan 2, 2024", "2 January 2024"), each with an
// optional time "hh:mm[:ss]" and AM/PM, or a time alone. Anything else, and
// fields out of range, give DISP_E_TYPEMISMATCH.
HRESULT VarDateFromStr(const OLECHAR* text, LCID lcid, uint32_t flags, DATE* out);

namespace pl_ole {

// VarDateFromStr on narrow text (bytes beyond ASCII are no date).
HRESULT date_from_text(std::string_view text, DATE& out);
// The text a date converts to: "yyyy-mm-dd hh:mm:ss", the date alone at
// midnight, the time alone on day zero. False outside the supported years.
bool date_text(DATE in, std::string& out);
// A date as its day (counted from day zero) and the second of that day,
// rounded as VariantTimeToSystemTime rounds it, without the calendar. False
// for NaN, the infinities and days far outside the supported years.
bool date_parts(DATE in, int64_t& day, int64_t& second);
// date_parts to the millisecond: a date whose time, rounded to the
// millisecond, is no whole second keeps its second and the milliseconds
// beyond it (1 to 999); any other is date_parts' with millisecond 0.
bool date_parts_ms(DATE in, int64_t& day, int64_t& second, int& millisecond);
// The milliseconds of date_parts_ms; 0 for what date_parts refuses.
int millisecond_of(DATE in);
// VariantTimeToSystemTime to the millisecond: a date with a fraction of a
// second keeps its second and the milliseconds beyond it.
bool system_time_ms(DATE in, SYSTEMTIME& st);
// The day of a calendar date, counted from day zero.
int64_t day_of(int year, int month, int day);

} // namespace pl_ole
