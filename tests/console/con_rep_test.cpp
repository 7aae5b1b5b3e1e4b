// The console's reports by level, muted by --silent except internal errors,
// and the table-list file.
#include "config_home.hpp"
#include "console/con_cmd.hpp"
#include "console/con_rep.hpp"
#include "rvl_conv/rvl_conv.hpp"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

namespace {

// Standard output and error for one scope.
struct captured {
    std::ostringstream out, err;
    std::streambuf* old_out = std::cout.rdbuf(out.rdbuf());
    std::streambuf* old_err = std::cerr.rdbuf(err.rdbuf());
    ~captured()
    {
        std::cout.rdbuf(old_out);
        std::cerr.rdbuf(old_err);
    }
};

struct coded : tk_exception {
    coded(uint32_t c, const char* text, int level) : tk_exception(text, level) { code = c; }
};

// Whether reporting the exception ended the program.
bool ends_program(console_error_handler& errors, const tk_exception& e)
{
    try {
        errors.handle(e, false);
        return false;
    } catch (const console_exit& exit) {
        EXPECT_EQ(exit.code, 255);
        return true;
    }
}

} // namespace

TEST(ConsoleReports, LevelsDecideWhatIsPrintedAndWhetherTheProgramEnds)
{
    struct row {
        int level;
        bool quiet;
        std::string out;
        bool ends;
    };
    const row rows[] = {
        {0, false, "Error:\nSheet1: first line second line\n", false},
        {0, true, "", false},
        {1, false, "Error:\nSheet1: first line second line\n", true},
        {1, true, "", true},
        {2, false, "Internal error: first line\nsecond line\n", true},
        {2, true, "Internal error: first line\nsecond line\n", true},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.level * 10 + r.quiet);
        console_error_handler errors;
        errors.set_quiet(r.quiet);
        errors.set_context(L"Sheet1");
        captured io;
        EXPECT_EQ(ends_program(errors, coded(0, "first line\nsecond line", r.level)), r.ends);
        EXPECT_EQ(io.out.str(), r.out);
        EXPECT_EQ(io.err.str(), "");
    }
}

TEST(ConsoleReports, FriendlyTextsOfTheConsoleTables)
{
    console_error_handler errors;
    captured io;
    errors.handle(coded(0x400415, "Access denied for user 'x'", 0), false);
    errors.handle(coded(0x10CCA, "DAO 3274", 0), false);  // the console has no row for 3274
    EXPECT_EQ(io.out.str(),
              "Error:\nAccess denied. Verify the user name and password are correct, and you have the necessary "
              "privileges to connect to the target MySQL server.\nError:\nDAO 3274\n");
}

TEST(ConsoleReports, HooksPrintUnlessSilent)
{
    config_home home;
    console_hooks hooks;
    ravelin_converter conv(converter_form::console, hooks);
    {
        captured io;
        hooks.progress_line(L"Converting CSV file caf\u00e9.csv");
        hooks.sheet_not_found(L"Sheet9");
        hooks.report_std_exception(std::runtime_error("bad_alloc"));
        EXPECT_EQ(io.out.str(), "Converting CSV file caf\xC3\xA9.csv\n");
        EXPECT_EQ(io.err.str(), "Worksheet Sheet9 not found\nbad_alloc\n");
    }
    conv.set_silent(true);
    captured io;
    hooks.progress_line(L"x");
    hooks.sheet_not_found(L"y");
    hooks.report_std_exception(std::runtime_error("z"));
    EXPECT_THROW(print_fatal_and_exit("message"), console_exit);
    EXPECT_EQ(io.out.str() + io.err.str(), "");
}

TEST(ConsoleTabFile, NamesByLineInTheFilesEncoding)
{
    test_dir dir;
    struct row {
        std::string content;
        std::vector<std::wstring> names;
    };
    const std::string long_name(400, 'n');
    const row rows[] = {
        {"Sheet1\r\n\r\nSheet 2\nSheet1\n", {L"Sheet1", L"Sheet 2", L"Sheet1"}},
        {"\xEF\xBB\xBF" "Caf\xC3\xA9\n  pad \n", {L"Caf\u00e9", L"  pad "}},
        {"\xEF\xBB\xBF\nA\n", {L"", L"A"}},
        {long_name + "\n", {std::wstring(400, L'n')}},
    };
    for (const row& r : rows) {
        test_dir::write(dir.file("tabs.txt"), r.content);
        EXPECT_EQ(process_tab_file(dir.file("tabs.txt")), r.names) << r.content;
    }
    // A file that names none ends the program with its message.
    test_dir::write(dir.file("tabs.txt"), "");
    EXPECT_THROW(process_tab_file(dir.file("tabs.txt")), console_exit);
}
