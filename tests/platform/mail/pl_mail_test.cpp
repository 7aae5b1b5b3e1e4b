#include "platform/mail/pl_clip.hpp"
#include "platform/mail/pl_libv.hpp"
#include "platform/mail/pl_mail.hpp"
#include "platform/syserr/pl_syserr.hpp"
#include "path_env.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

// An "xdg-email" that writes each argument it got on a line of its own.
void fake_xdg_email(const test_dir& dir, int exit_code)
{
    const std::string script = dir.file("xdg-email");
    test_dir::write(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + dir.file("args") + "'\nexit " +
                                std::to_string(exit_code) + "\n");
    fs::permissions(script, fs::perms(0755));
}

} // namespace

TEST(PlMail, XdgEmailGetsEachPartAsOneArgumentAndNoShellRunsThem)
{
    test_dir dir;
    fake_xdg_email(dir, 0);
    // The system's tools stay reachable, so a shell would find "touch".
    path_env path(dir.path().string() + ":/usr/bin:/bin");
    const std::string trap = dir.file("pwned");
    const platform::mail_message message{"Bug report on $(touch " + trap + ")", "line 1; touch " + trap + "\n'quoted' \"x\"",
                                         "support@example.invalid", "2026/1/2 3:4"};
    const platform::mail_sender sender = platform::find_mail_sender();
    ASSERT_EQ(sender, &platform::send_with_xdg_email);
    EXPECT_EQ(sender(message), 0);
    EXPECT_EQ(test_dir::read(dir.file("args")),
              "--utf8\n--subject\n" + message.subject + "\n--body\n" + message.body + "\nsupport@example.invalid\n");
    EXPECT_FALSE(fs::exists(trap));
}

TEST(PlMail, TheMailProgramsFailureAndAbsenceAreAnswered)
{
    test_dir dir;
    fake_xdg_email(dir, 3);
    {
        path_env path(dir.path().string());
        EXPECT_EQ(platform::send_with_xdg_email({}), 3);
    }
    test_dir empty;
    path_env path(empty.path().string());
    EXPECT_EQ(platform::find_mail_sender(), nullptr);
    EXPECT_EQ(platform::send_with_xdg_email({}), ENOENT);
}

TEST(PlMail, AFrontEndsSenderTakesThePlaceOfTheDefault)
{
    test_dir empty;
    path_env path(empty.path().string());
    const platform::mail_sender own = [](const platform::mail_message&) { return 7; };
    platform::set_mail_sender(own);
    EXPECT_EQ(platform::find_mail_sender(), own);
    platform::set_mail_sender(nullptr);
    EXPECT_EQ(platform::find_mail_sender(), nullptr);
}

TEST(PlClipboard, WithoutAWriterNothingIsCopied)
{
    platform::set_last_error(0);
    EXPECT_FALSE(platform::copy_to_clipboard(L"text"));
    EXPECT_EQ(platform::last_error(), static_cast<uint32_t>(ENOSYS));
}

TEST(PlLibraryVersion, OnlyTheCommonControlsNameIsTheWindowLibrary)
{
    EXPECT_TRUE(platform::is_window_library(L"comctl32.dll"));
    EXPECT_TRUE(platform::is_window_library(L"COMCTL32.DLL"));
    EXPECT_FALSE(platform::is_window_library(L"comctl32"));
    EXPECT_FALSE(platform::is_window_library(L"shell32.dll"));
}
