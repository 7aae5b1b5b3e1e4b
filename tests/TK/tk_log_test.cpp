#include "TK/tk_log.hpp"
#include "platform/files/pl_files.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <thread>
#include <vector>

TEST(TkLogger, AsBothProgramsBuildItNothingIsWritten)
{
    const std::string default_file =
        std::filesystem::path(platform::module_file_name()).replace_extension(".log").string();
    std::filesystem::remove(default_file);
    {
        tk_logger logger(nullptr, false, 3, false);
        EXPECT_EQ(logger.get_file_name(), default_file);
        tk_logger::log(3, "important %d", 1);
        tk_logger::wlog(3, L"important %s", L"too");
    }
    EXPECT_FALSE(std::filesystem::exists(default_file));
}

// A log file may be named by a profile from elsewhere: an existing file is
// appended to, never emptied; a missing one is made by the first call.
TEST(TkLogger, AnExistingFileIsAppendedToThenLevelsBelowTheMinimumAreDropped)
{
    test_dir dir;
    const std::string file = dir.file("run.log");
    const std::string earlier = "left from an earlier run\r\n";
    test_dir::write(file, earlier);
    tk_logger logger(file.c_str(), false, 3, false);
    logger.set_enabled(true);

    tk_logger::log(1, "detail");
    EXPECT_EQ(test_dir::read(file), earlier);
    tk_logger::log(2, "trace %s", "x");
    tk_logger::log(-1, "negative");
    tk_logger::log(3, "important %s=%d", "rows", 12);
    tk_logger::log(4, "higher");
    tk_logger::wlog(3, L"wide %s \u20ac %S", L"caf\u00e9", "n");
    EXPECT_EQ(test_dir::read(file),
              earlier + "important rows=12\r\nhigher\r\nwide caf\xC3\xA9 \xE2\x82\xAC n\r\n");
}

TEST(TkLogger, EnabledAtConstructionMakesTheFileAtOnceAndStampsTheTime)
{
    test_dir dir;
    const std::string file = dir.file("stamped.log");
    tk_logger logger(file.c_str(), true, 1, true);
    EXPECT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(test_dir::read(file), "");
    tk_logger::log(1, "line");
    const std::string text = test_dir::read(file);
    ASSERT_EQ(text.size(), 9u + 4 + 2);
    EXPECT_EQ(text[2], ':');
    EXPECT_EQ(text[5], ':');
    EXPECT_EQ(text.substr(8), " line\r\n");
}

// A loop asks once whether its level is written: only an enabled logger
// that takes the level says yes.
TEST(TkLogger, LogsTellsWhetherALevelIsWritten)
{
    EXPECT_FALSE(tk_logger::logs(3));  // no logger
    test_dir dir;
    {
        tk_logger quiet(dir.file("quiet.log").c_str(), false, 1, false);
        EXPECT_FALSE(tk_logger::logs(3));
    }
    tk_logger logger(dir.file("on.log").c_str(), true, 2, false);
    EXPECT_FALSE(tk_logger::logs(1));
    EXPECT_TRUE(tk_logger::logs(2));
    EXPECT_TRUE(tk_logger::logs(3));
}

TEST(TkLogger, LongWideLinesAreWrittenWhole)
{
    test_dir dir;
    const std::string file = dir.file("long.log");
    tk_logger logger(file.c_str(), true, 3, false);
    const std::wstring long_text(20000, L'\u00e9');
    tk_logger::wlog(3, L"%s", long_text.c_str());
    EXPECT_EQ(test_dir::read(file).size(), 40000u + 2);
}

TEST(TkLogger, LinesFromManyThreadsStayWhole)
{
    test_dir dir;
    const std::string file = dir.file("threads.log");
    tk_logger logger(file.c_str(), true, 3, false);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                tk_logger::log(3, "thread %d line %03d %s", t, i, "0123456789");
        });
    for (auto& t : threads)
        t.join();
    std::istringstream lines(test_dir::read(file));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        ++count;
        EXPECT_EQ(line.size(), std::string("thread 0 line 000 0123456789\r").size()) << line;
    }
    EXPECT_EQ(count, 800);
}

TEST(TkLogger, WithoutALoggerCallsDoNothingAndInternalErrorsDoNotRecurse)
{
    ASSERT_EQ(tk_logger::try_instance(), nullptr);
    tk_logger::log(3, "nobody listens");
    // An internal error logs while it is built; with no logger that must not
    // raise another one.
    EXPECT_THROW(throw tk_mail_assertion("x", 1), tk_mail_assertion);
}

TEST(TkLogger, NullFileNameIsAnInternalError)
{
    tk_logger logger("unused.log", false, 3, false);
    EXPECT_THROW(logger.set_file_name(nullptr), tk_mail_assertion);
}

// A log that stops taking lines (a full disk, a folder gone) is told once,
// with the file and the reason; a log that works reports nothing.
TEST(TkLogger, TheFirstLineThatCannotBeWrittenIsReportedOnce)
{
    test_dir dir;
    struct failure_case {
        std::string file;
        std::vector<std::string> reports;
    };
    std::vector<failure_case> cases = {
        {dir.file("run.log"), {}},
        {dir.file("gone/run.log"), {dir.file("gone/run.log") + ": No such file or directory"}},
    };
    if (std::filesystem::exists("/dev/full"))
        cases.push_back({"/dev/full", {"/dev/full: No space left on device"}});
    for (const failure_case& c : cases) {
        SCOPED_TRACE(c.file);
        tk_logger logger(c.file.c_str(), true, 3, false);
        std::vector<std::string> reports;
        logger.set_failure_report([&](const std::string& file, const std::string& reason) {
            reports.push_back(file + ": " + reason);
            tk_logger::log(3, "the report may log: %s", reason.c_str());
        });
        tk_logger::log(3, "one");
        tk_logger::wlog(3, L"two");
        tk_logger::log(1, "dropped, never written");
        EXPECT_EQ(reports, c.reports);
    }
}
