// What a conversion run shows the user, which each front end does its own
// way: the console prints lines on its streams, the wizard updates its pages
// from a timer and shows message boxes.
#pragma once

#include <exception>
#include <string>

class converter_hooks {
public:
    virtual ~converter_hooks() = default;

    // A step the user follows ("Converting CSV file ...").
    virtual void progress_line(const std::wstring& line) = 0;
    // A worksheet chosen by name that the workbook lacks; it is skipped.
    virtual void sheet_not_found(const std::wstring& name) = 0;
    // The run has begun: a front end that polls the progress starts now.
    virtual void start_timer() = 0;
    // Something the user should know that is not a failure (rows a merge
    // skipped as duplicates, a file read in another encoding); it does not
    // change the run's outcome.
    virtual void notice(const std::wstring& line) = 0;
    // A standard exception that is not the system's own ended the run.
    virtual void report_std_exception(const std::exception& e) = 0;
};
