// The last page of ravelin: the run's outcome in the words of its source,
// what it dropped and skipped, and where every file the run wrote is, or
// that nothing was written.
#pragma once

#include "GUI2/g_finish.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_shel/rs_prog.hpp"

#include <string>

// How a run ended, as the console's exit code tells it.
enum class run_outcome {
    completed,              // to its end, nothing reported (exit 0)
    completed_with_errors,  // to its end, failures reported on the way (exit 1)
    failed,                 // a failure, Abort or a stop ended it (255)
    nothing_written,        // it ended before it reached its destination (255)
};

// The outcome of the run the progress page started.
run_outcome outcome_of(const progress_page& progress);
int exit_code_of(run_outcome outcome);

class finish_page : public gui_finish_page_t<ravelin_converter, finish_page_id> {
public:
    explicit finish_page(const progress_page& progress);

    int page_init() override;
    // The progress page's help tells what the result means.
    void on_help() override;

private:
    const progress_page& progress;
};

// A path as the user finds it again: absolute, from the program's working
// folder.
std::wstring full_path(const std::wstring& path);
// The table the run was writing when it ended: a worksheet's, or the CSV
// file's as the user's changes name it; empty before any.
std::wstring table_in_hand(const ravelin_converter& converter);
// A run that never reached its destination: the sentence that says so.
std::wstring nothing_written(const ravelin_converter& converter);
// What the run dropped on the server and the existing tables it left alone,
// one sentence each; empty when there were none.
std::wstring dropped_and_skipped(const ravelin_converter& converter);
// What the run left behind: the dump's full path, the database, or that
// nothing was written; what was dropped and skipped; and the log file.
// Empty lines are left out.
std::wstring written_note(const ravelin_converter& converter, run_outcome outcome);
