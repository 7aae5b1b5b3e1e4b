// The last page of ravelin: the run's result in the words of its source, and
// where every file the run wrote is, or that nothing was written.
#pragma once

#include "GUI2/g_finish.hpp"
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_shel/rs_prog.hpp"

#include <string>

class finish_page : public gui_finish_page_t<ravelin_converter, finish_page_id> {
public:
    finish_page();

    int page_init() override;
    // The progress page's help tells what the result means.
    void on_help() override;
};

// A path as the user finds it again: absolute, from the program's working
// folder.
std::wstring full_path(const std::wstring& path);
// A run that never reached its destination: the sentence that says so.
std::wstring nothing_written(const ravelin_converter& converter);
// What the run left behind: the dump's full path, the database, or that
// nothing was written; and the log file. Empty lines are left out.
std::wstring written_note(const ravelin_converter& converter);
