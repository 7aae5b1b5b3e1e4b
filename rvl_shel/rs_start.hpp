// The start-up and the end of the ravelin program. Without arguments the
// wizard walks its pages; with a profile on its command line it runs it at
// once (quick launch): the progress page, then the finish page.
#pragma once

#include <string>

// The command line as the program takes it: the arguments after the
// program's name joined by blanks, quotes kept.
std::string join_command_line(int argc, const char* const* argv);

// The clipboard writer and the window library's version, which the toolkit
// asks the wizard for.
void install_window_services();

// Checks the window library; false (after the message) when it is too old.
bool gui_initialize();

// The whole program once an application exists: the logger, the error
// handler, the converter, the shell and its pages. The exit code is the
// console's for the same run: 0 completed, 1 completed with failures
// reported, 255 when a failure, Abort or Cancel ended it or the program
// ended by a failure; 0 when the wizard was left before any run.
int ravelin_run(const std::string& command_line);
