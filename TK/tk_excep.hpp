// The system's exception family. Every failure travels as a tk_exception whose
// level tells the error handler how to report it:
//   0  one item failed (a record, a worksheet, a table); the caller goes on;
//   1  the current run or operation ends;
//   2  an internal error: a broken invariant; the process ends.
// tk_final_exception stands apart: it ends a run without further report.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

class tk_exception : public std::exception {
public:
    tk_exception(const std::string& message, int level);
    tk_exception(const char* message, int level) : tk_exception(std::string(message ? message : ""), level) {}
    tk_exception(const std::wstring& message, int level);
    tk_exception(const wchar_t* message, int level) : tk_exception(std::wstring(message ? message : L""), level) {}
    explicit tk_exception(int level);
    tk_exception(const tk_exception&) = default;
    tk_exception& operator=(const tk_exception&) = default;
    ~tk_exception() override = default;

    const char* what() const noexcept override { return message.c_str(); }

    const std::string& get_message() const { return message; }
    uint32_t get_code() const { return code; }
    int get_level() const { return level; }

protected:
    std::string message;  // ANSI code page (UTF-8 here)
    uint32_t code = 0;    // picks the error handler's friendly message
    int level;
};

// A tk_exception whose code is the platform's last error number and whose
// message ends with the system's text for it.
class tk_exception_ex : public tk_exception {
public:
    tk_exception_ex(const std::string& message, int level);
    tk_exception_ex(const char* message, int level) : tk_exception_ex(std::string(message ? message : ""), level) {}
    tk_exception_ex();
    tk_exception_ex(const tk_exception_ex&) = default;

private:
    void format_last_error(const std::string& given);
};

// An internal error at a source file and line. The file is a literal of the
// caller's (a source file's bare name, or a header's path into TK); it becomes
// part of the message as hexadecimal digits.
class tk_mail_assertion : public tk_exception {
public:
    tk_mail_assertion(const char* file, int line);
    tk_mail_assertion(const tk_mail_assertion&) = default;
};

// Ends a run quietly: the user chose to abort after an error. Not a
// tk_exception, so handlers of that family let it pass.
class tk_final_exception : public std::exception {
public:
    tk_final_exception();
    tk_final_exception(const tk_final_exception&) = default;
};

// "Internal error: \ncode=" followed by the hexadecimal digits of "file\line".
std::string make_err_meggase(const char* file, int line);
