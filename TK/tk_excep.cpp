#include "TK/tk_excep.hpp"

#include "TK/tk_log.hpp"
#include "TK/tk_utils.hpp"
#include "platform/syserr/pl_syserr.hpp"

namespace {
const char unknown_exception[] = "Unknown exception";
}

tk_exception::tk_exception(const std::string& message_, int level_)
    : message(message_.empty() ? std::string(unknown_exception) : message_), level(level_)
{
}

tk_exception::tk_exception(const std::wstring& message_, int level_) : level(level_)
{
    // A text that cannot be narrowed leaves the message empty.
    std::unique_ptr<char[]> narrow;
    if (tk_unicode_to_ansi2(message_.c_str(), narrow))
        message = narrow.get();
}

tk_exception::tk_exception(int level_) : message(unknown_exception), level(level_) {}

tk_exception_ex::tk_exception_ex(const std::string& given, int level_) : tk_exception(1)
{
    level = level_;
    format_last_error(given);
}

tk_exception_ex::tk_exception_ex() : tk_exception(1)
{
    format_last_error(std::string());
}

void tk_exception_ex::format_last_error(const std::string& given)
{
    code = platform::last_error();
    std::string system_text;
    if (!platform::system_message(code, system_text))
        return;  // no text for this number: "Unknown exception" stays
    message = given + system_text;
    tk_logger::log(2, "GetLastError: %s", system_text.c_str());
}

tk_mail_assertion::tk_mail_assertion(const char* file, int line) : tk_exception(make_err_meggase(file, line), 2)
{
    tk_logger::log(2, "tk_mail_assertion::ctor(%s)", file);
}

tk_final_exception::tk_final_exception()
{
    tk_logger::log(2, "tk_final_exception::ctor");
}

std::string make_err_meggase(const char* file, int line)
{
    tk_logger::log(2, "make_err_meggase(%s, %d)", file, line);
    std::string where = platform::format("%s\\%d", file, line);
    if (where.size() > 275)
        where.resize(275);
    tk_logger::log(2, "result=%s", where.c_str());
    std::string text = "Internal error: \ncode=";
    static const char digits[] = "0123456789abcdef";
    for (unsigned char c : where) {
        text += digits[c >> 4];
        text += digits[c & 0x0F];
    }
    return text;
}
