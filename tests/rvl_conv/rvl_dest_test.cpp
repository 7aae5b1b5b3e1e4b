// Destination preparation: the checks of a dump path, the server settings
// and port, and the database name rules by server version.
#include "rvl_conv/rvl_conv.hpp"
#include "rvl_fake.hpp"

#include "child.hpp"
#include "config_home.hpp"
#include "platform/text/pl_utf8.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

namespace {

std::string refusal(const std::function<void()>& step)
{
    try {
        step();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        return e.what();
    }
    return "";
}

} // namespace

TEST(DumpPath, EachRefusalHasItsMessage)
{
    test_dir dir;
    const std::wstring root = dir.path().wstring();
    test_dir::write(dir.file("locked.sql"), "x");
    ::chmod(dir.file("locked.sql").c_str(), 0444);
    EXPECT_EQ(refusal([&] { common_check_dest(root); }),
              "Destination name '" + dir.path().string() + "' should specify a file, not folder.");
    EXPECT_EQ(refusal([&] { common_check_dest(root + L"/missing/out.sql"); }),
              "Destination path '" + dir.path().string() + "/missing/' does not exist.\nPlease verify the correct path "
              "was given.");
    EXPECT_EQ(refusal([&] { common_check_dest(root + L"/out.sql"); }), "");
    EXPECT_EQ(refusal([&] { common_check_dest(root + L"/locked.sql"); }),
              "Destination name '" + dir.file("locked.sql") + "' specifies an existing read-only file.");
}

// A folder the user may not write into: the message names it and says why;
// another folder is the remedy, not other rights.
TEST(DumpPath, AFolderWithoutWritePermissionIsNamed)
{
    test_dir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
    const std::string closed = dir.file("closed");
    std::filesystem::create_directory(closed);
    std::filesystem::permissions(closed, std::filesystem::perms(0555));
    const std::string expected = "Cannot create or write into the destination file.\nPermission denied for the folder '" +
                                 closed + "/': choose a folder you may write into.";
    const int failed = run_in_child([&] {
        if (!drop_root())
            return 10;
        const std::string message = refusal([&] { common_check_dest(platform::from_utf8(closed + "/out.sql")); });
        return message == expected ? 0 : 1;
    });
    EXPECT_EQ(failed, 0) << expected;
}

TEST(ServerSettings, TrimmedWithTheDefaultPortAndAPortThatMustBeANumber)
{
    config_home home;
    recording_hooks hooks;
    ravelin_converter conv(converter_form::console, hooks);
    conv.store_mysql_settings("  db.example ", " me ", " pw ", "  ");
    EXPECT_EQ(conv.host, "db.example");
    EXPECT_EQ(conv.user, "me");
    EXPECT_EQ(conv.pswd, "pw");
    EXPECT_EQ(conv.port, "3306");
    // The port is read whole: leading digits never make a port of their own.
    for (const char* port : {"0", "abc", "-5", "+5", "70000", "1abc", "33508abc", "3 306", "99999999999999999999"}) {
        conv.port = port;
        EXPECT_EQ(refusal([&] { conv.connect_mysql_server(); }), "Invalid port number") << port;
    }
}

TEST(DatabaseName, RulesFollowTheServerVersion)
{
    config_home home;
    recording_hooks hooks;
    ravelin_converter conv(converter_form::console, hooks);
    const std::string old_rules = "Not a valid MySQL database name. It cannot consist only of numbers\nor start with a "
                                  "digit and must differ from any MySQL keyword. Use\nalphanumeric symbols (A-Z, "
                                  "a-z, 0-9), '_' and '$' to compose\nnew database name.";
    const std::string new_rules = "Not a valid MySQL database name. Use alphanumeric characters\r\n(A-Z, a-z, 0-9), "
                                  "'_', '$' and spaces to compose new database name.";
    conv.engine.set_server_version(0x040018);
    EXPECT_EQ(refusal([&] { conv.check_mysql_db_name(L"12345"); }), old_rules);
    EXPECT_EQ(refusal([&] { conv.check_mysql_db_name(L"sales_2024"); }), "");
    conv.engine.set_server_version(sql_version_4_1_0);
    EXPECT_EQ(refusal([&] { conv.check_mysql_db_name(L"my sales"); }), "");
    EXPECT_EQ(refusal([&] { conv.check_mysql_db_name(L"a`b"); }), new_rules);
}
