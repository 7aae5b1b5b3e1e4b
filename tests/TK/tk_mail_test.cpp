#include "TK/tk_clip.hpp"
#include "TK/tk_dllv.hpp"
#include "TK/tk_log.hpp"
#include "TK/tk_mail.hpp"
#include "platform/mail/pl_clip.hpp"
#include "platform/mail/pl_libv.hpp"
#include "platform/mail/pl_mail.hpp"
#include "path_env.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

namespace {

platform::mail_message last_mail;
std::wstring clipboard;

int keep_mail(const platform::mail_message& message)
{
    last_mail = message;
    return 0;
}

bool keep_clip(std::wstring_view text)
{
    clipboard = text;
    return true;
}

// A logger writing every level to a file of the test.
class detail_log {
public:
    detail_log() : logger(dir.file("t.log").c_str(), true, 1, false) {}
    std::string text() const { return test_dir::read(dir.file("t.log")); }

private:
    test_dir dir;
    tk_logger logger;
};

} // namespace

TEST(TkSendBug, TheReportGoesToTheSupportMailbox)
{
    platform::set_mail_sender(&keep_mail);
    detail_log log;
    tk_send_bug("", "Internal error: \ncode=41");
    platform::set_mail_sender(nullptr);
    EXPECT_EQ(last_mail.subject, "Bug report on ");
    EXPECT_EQ(last_mail.body, "Internal error: \ncode=41");
    EXPECT_EQ(last_mail.recipient, tk_support_mailbox);
    EXPECT_TRUE(std::regex_match(last_mail.date, std::regex("[0-9]{4}/[1-9][0-9]?/[1-9][0-9]? [0-9]{1,2}:[0-9]{1,2}")))
        << last_mail.date;
    EXPECT_NE(log.text().find("lpfnMAPISendMail returns 0\r\n"), std::string::npos);
}

TEST(TkSendBug, WithoutAMailProgramItOnlyLogs)
{
    test_dir empty;
    path_env path(empty.path().string());
    const fs::path before = fs::current_path();
    detail_log log;
    tk_send_bug("ravelin", "body");
    EXPECT_NE(log.text().find("Failed to locate MAPI32.DLL\r\n"), std::string::npos);
    EXPECT_EQ(fs::current_path(), before);
}

TEST(TkClipboard, TheWritersTextIsExactlyTheGivenText)
{
    detail_log log;
    tk_copy_to_clipboard2(L"first");
    EXPECT_NE(log.text().find("GetLastError() returns "), std::string::npos);
    platform::set_clipboard_writer(&keep_clip);
    tk_copy_to_clipboard2(L"Internal error:\r\n\u20ac");
    platform::set_clipboard_writer(nullptr);
    EXPECT_EQ(clipboard, L"Internal error:\r\n\u20ac");
    EXPECT_NE(log.text().find("OpenClipboard succeeded\r\n"), std::string::npos);
}

TEST(TkDllVersion, OnlyTheWindowLibraryHasAVersion)
{
    detail_log log;
    EXPECT_EQ(get_dll_version(L"comctl32.dll"), 0u);
    EXPECT_NE(log.text().find("get_dll_version failed to obtain DllGetVersion"), std::string::npos);

    platform::set_window_library_version([](uint32_t& major, uint32_t& minor) {
        major = 6;
        minor = 4;
        return true;
    });
    EXPECT_EQ(get_dll_version(L"comctl32.dll"), 0x60004u);
    EXPECT_GE(get_dll_version(L"ComCtl32.dll"), 0x50050u);
    EXPECT_EQ(get_dll_version(L"shell32.dll"), 0u);
    EXPECT_NE(log.text().find("get_dll_version failed to load DLL"), std::string::npos);

    platform::set_window_library_version([](uint32_t&, uint32_t&) { return false; });
    EXPECT_EQ(get_dll_version(L"comctl32.dll"), 0u);
    platform::set_window_library_version(nullptr);
}
