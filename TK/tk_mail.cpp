#include "TK/tk_mail.hpp"

#include "TK/tk_chdir.hpp"
#include "TK/tk_log.hpp"
#include "platform/mail/pl_mail.hpp"

#include <cstdint>
#include <ctime>

namespace {

// The report's date as the mail's "received" field has it: year, month, day,
// hour and minute without leading zeros; empty when the time is unknown.
std::string date_received()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr)
        return {};
    return platform::format("%d/%d/%d %d:%d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                            local.tm_hour, local.tm_min);
}

} // namespace

void tk_send_bug(const std::string& subject, const std::string& body)
{
    tk_logger::log(2, "tk_send_bug(%s|%s)", subject.c_str(), body.c_str());
    const platform::mail_message message{"Bug report on " + subject, body, tk_support_mailbox, date_received()};
    // Whatever the mail program does to the current directory is undone.
    tk_temp_chdir guard(".");
    const platform::mail_sender sender = platform::find_mail_sender();
    if (sender == nullptr) {
        tk_logger::log(2, "Failed to locate MAPI32.DLL");
        return;
    }
    tk_logger::log(1, "lpfnMAPISendMail=%08X", reinterpret_cast<uintptr_t>(sender));
    const int result = sender(message);
    tk_logger::log(2, "lpfnMAPISendMail returns %d", result);
}
