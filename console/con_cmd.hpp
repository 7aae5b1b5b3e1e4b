// The console program's command line: the options, applied in the order
// given, the checks of what a conversion needs, the usage text and the
// table-list file.
#pragma once

#include <string>
#include <vector>

class ravelin_converter;
class error_handler;

// The program's name as it was called: the base name of argv[0].
std::string program_name(const char* argv0);
// The usage text, with the program's version and name filled in.
std::string usage_text(const std::string& program);

// Applies every option to the converter and the error handler; false when an
// argument is unknown (the caller prints the usage text). A missing setting
// or a refused value ends the program with its message. The value of
// --pswd= is overwritten in argv once read, so that other users' process
// listings no longer show it.
bool parse_cmd_line(int argc, char* const* argv, ravelin_converter& converter, error_handler& errors);

// The names of the table-list file, one a line, UTF-8 after a byte-order mark
// and the ANSI code page otherwise; empty lines are skipped. A file that
// names none ends the program with its message.
std::vector<std::wstring> process_tab_file(const std::string& path);

// Text of the ANSI code page as wide text; a level-0 tk_exception_ex when it
// cannot be converted.
std::wstring ansi_to_wstring(const std::string& text);
