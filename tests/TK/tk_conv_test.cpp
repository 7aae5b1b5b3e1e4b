#include "TK/tk_conv.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "child.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

struct converter : tk_converter {};

// The message of the level-1 exception set_logfile raises, or "" for none.
std::string refusal(converter& conv, const std::string& name)
{
    try {
        conv.set_logfile(name);
    } catch (const tk_exception& e) {
        return e.get_level() == 1 ? e.get_message() : "wrong level";
    }
    return "";
}

} // namespace

TEST(TkConverter, StartsClearedAndKeepsTheSilentFlag)
{
    converter conv;
    EXPECT_FALSE(conv.done);
    EXPECT_FALSE(conv.is_silent());
    conv.set_silent(true);
    EXPECT_TRUE(conv.is_silent());
}

// A log file named by a profile from elsewhere may be a file of the user's:
// it is appended to, never emptied.
TEST(TkConverter, SetLogfileSwitchesLoggingOnAndAppendsToAnExistingFile)
{
    test_dir dir;
    const std::string file = dir.file("run.log");
    test_dir::write(file, "from an earlier run");
    tk_logger logger(nullptr, false, 3, false);
    converter conv;
    conv.set_logfile(file);
    EXPECT_TRUE(logger.is_enabled());
    EXPECT_EQ(logger.get_file_name(), file);
    EXPECT_EQ(conv.get_logfile(), file);
    tk_logger::log(3, "first");
    EXPECT_EQ(test_dir::read(file), "from an earlier runfirst\r\n");
}

TEST(TkConverter, AnEmptyNameLeavesLoggingOff)
{
    test_dir dir;
    const std::string log = dir.file("watch.log");
    tk_logger logger(log.c_str(), false, 1, false);
    converter conv;
    conv.set_logfile("");
    EXPECT_FALSE(logger.is_enabled());
    EXPECT_FALSE(fs::exists(log));
}

TEST(TkConverter, RefusedNamesRaiseTheirMessageInOrderOfChecks)
{
    test_dir dir;
    const std::string locked = dir.file("locked.log");
    test_dir::write(locked, "x");
    fs::permissions(locked, fs::perms(0444));
    tk_logger logger(nullptr, false, 3, false);
    converter conv;
    const struct {
        std::string name, message;
    } cases[] = {
        {dir.path().string(), "Log file '" + dir.path().string() + "' specifies an existing path."},
        {locked, "Log file '" + locked + "' specifies an existing read-only file."},
        {dir.file("missing/x.log"),
         "Log file '" + dir.file("missing/x.log") + "': its path does not exist.\nPlease verify the correct path was given."},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(refusal(conv, c.name), c.message) << c.name;
        EXPECT_EQ(conv.get_logfile(), c.name);  // kept although refused
        EXPECT_FALSE(logger.is_enabled());
    }
}

TEST(TkConverter, AFolderWithoutWriteAccessIsRefused)
{
    test_dir dir;
    fs::permissions(dir.path(), fs::perms(0755));
    const std::string folder = dir.file("read_only");
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms(0555));
    const int result = run_in_child([&] {
        if (!drop_root())
            return 10;
        tk_logger logger(nullptr, false, 3, false);
        converter conv;
        const bool refused = refusal(conv, folder + "/x.log") ==
                             "Cannot create log file '" + folder +
                                 "/x.log'. Make sure you have sufficient\nprivileges to create files in the directory.";
        return refused && !logger.is_enabled() ? 0 : 1;
    });
    EXPECT_EQ(result, 0);
}

TEST(TkConverter, WithoutALoggerNothingHappens)
{
    converter conv;
    EXPECT_NO_THROW(conv.set_logfile("/nonexistent/folder/x.log"));
    EXPECT_EQ(conv.get_logfile(), "");
}
