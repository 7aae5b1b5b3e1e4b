// How a run ends its use of a destination table and database, on both roads.
#pragma once

#include "UDB/udb_db.hpp"
#include "rvl_conv/rvl_hook.hpp"

#include <memory>

// Ends the run's use of its destination: a dump is closed (and takes its
// name), and a dump that did not reach its file in full is reported.
void close_destination(std::unique_ptr<udb_database> database);

// Sends the rows a server table still gathers, so that rows the server
// refuses or changes are reported like any other record's failure (level 0,
// with the table as context) instead of being left to the table's
// destructor. Rows the server skipped because their key was already there
// are told as a notice when the table held rows before the run (skipping
// them is what appending asks), and as a failure when the run made the
// table, where they are rows of the source that were lost.
void flush_rows(udb_recordset* table, converter_hooks& hooks, bool existed_before);
