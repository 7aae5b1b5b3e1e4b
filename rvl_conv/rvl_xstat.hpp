// The values of a worksheet for type refinement, read column by column from
// the workbook's own store of its cells instead of record by record. What
// the maps note is what the records would give them: each value counts as
// the text its field prints, and a row the copy skips as empty counts for
// nothing.
#pragma once

#include "platform/ole/pl_oletp.hpp"

#include <cstdint>

class dates_map;
class num_map;
class tk_thread_functor;
class udb_recordset;

// The date state of the text a workbook's date value prints as, from the
// value itself: a day alone, a time of day alone (a date on day zero), both,
// or no state for a date that cannot be read or falls outside the years of
// the date types. `fraction`, when given, says whether the value has a
// fraction of a second.
int32_t sheet_date_kind(DATE value, bool* fraction = nullptr);

// Notes every value of a worksheet the source reads whole from its first
// row into maps made from its schema (`numbers` may be null: dates alone),
// checking for a stop request between columns. False, noting nothing, for any other source, or a sheet with a
// column of booleans or currency amounts (whose texts the records make).
bool sheet_statistics(udb_recordset& source, bool skip_empty_rows, const tk_thread_functor& run, dates_map& dates,
                      num_map* numbers);
