// How the console program reports: progress lines, notices and "Error:" reports on
// standard output, the usage text, option messages, worksheet-not-found lines
// and standard exceptions of the run on standard error, every line flushed.
// --silent mutes all of it but internal errors. A dump written to standard
// output (--dest=/dev/stdout | mariadb) takes standard output for itself:
// every message then goes to standard error.
//
// A failure that ends the program does not leave it at once: it throws
// console_exit, which unwinds to main, so every object of the run (an open
// dump file above all) is closed with what it holds before the exit code is
// returned.
#pragma once

#include "rvl_conv/rvl_errh.hpp"
#include "rvl_conv/rvl_hook.hpp"

#include <iosfwd>
#include <string>
#include <vector>

// Not a standard exception, so the run's own handlers let it pass.
struct console_exit {
    int code;
};

inline constexpr int console_failure = 255;  // -1 as the shell sees it

// True when the registered converter is silent.
bool console_silent();
// Wide names as the console prints them.
std::string console_text(const std::wstring& text);
// Where the lines of standard output go: standard error once the registered
// converter's dump is known to be written to standard output.
std::ostream& console_out();

// Logs the message, prints it on standard error unless silent, and ends the
// program with the failure code.
[[noreturn]] void print_fatal_and_exit(const std::string& message);

class console_error_handler : public error_handler {
public:
    // The DAO, MySQL and workbook message tables (the workbook table without
    // its last row).
    console_error_handler();

    // Level 0: "Error:" and the message, then return. Level 1: the same, then
    // the program ends. Level 2: "Internal error: " and the text, even when
    // quiet, and the program ends.
    void handle(const tk_exception& e, bool no_abort) override;
};

class console_hooks : public converter_hooks {
public:
    void progress_line(const std::wstring& line) override;
    void sheet_not_found(const std::wstring& name) override;
    void notice(const std::wstring& line) override;
    void start_timer() override {}
    void report_std_exception(const std::exception& e) override;

    // While on, notices are kept, not printed nor logged: before the command
    // line is read, neither --silent, nor where a dump goes, nor whether the
    // log may be written is known. Switching off gives the kept ones.
    void hold_notices(bool on);

private:
    bool holding = false;
    std::vector<std::wstring> held;
};
