// The console program's refusals, on the real program: each command line
// below ends with its message on the stream the user reads it on and exit
// code 255 (-1), and nothing is written or deleted on the way.
#include "con_help.hpp"
#include "console/con_cmd.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct failure_case {
    std::vector<std::string> args;
    std::string err;  // exactly what standard error shows
    std::string out;  // exactly what standard output shows
};

const std::string csv_ok = "--src=ok.csv";
const std::string usage = usage_text("MORVANTE") + "\n";
const std::vector<std::string> csv_base = {"--from_csv", csv_ok, "--dump", "--dest=out.sql", "--tab_name=t"};

std::vector<std::string> with(std::vector<std::string> base, std::initializer_list<std::string> more)
{
    base.insert(base.end(), more);
    return base;
}

} // namespace

TEST(ConsoleFailures, EachCommandLineEndsWithItsMessage)
{
    const std::string delimiter = "You should specify CSV delimiter (use '--csv_delim' option)\n";
    const std::string bad_mode = "Invalid merge/overwrite mode\n";
    const failure_case cases[] = {
        {{}, usage, ""},
        {with(csv_base, {"--csv_delim=2", "--bogus"}), usage, ""},
        {with(csv_base, {"--csv_delim=2", "--src"}), usage, ""},
        {with(csv_base, {"--csv_delim=2", "--bogus", "--silent"}), "", ""},
        {{"--dest=x.sql", "--dump"}, "You should enter data source name\n", ""},
        {{csv_ok, "--dump"}, "You should enter destination MySQL database name\n", ""},
        {{csv_ok, "--dump", "--silent"}, "", ""},
        {{"--from_csv", csv_ok, "--dump", "--dest=out.sql", "--csv_delim=2"},
         "You should specify MySQL table name (use '--tab_name' option)\n", ""},
        {csv_base, delimiter, ""},
        {with(csv_base, {"--csv_delim=4"}), delimiter, ""},
        {with(csv_base, {"--csv_delim=-1"}), delimiter, ""},
        // Numbers are read whole: no leading digits taken, no text as 0.
        {with(csv_base, {"--csv_delim=2abc"}), delimiter, ""},
        {with(csv_base, {"--csv_delim=abc"}), delimiter, ""},
        {with(csv_base, {"--csv_delim=2", "--charset=utf8; DROP DATABASE victim"}), "Invalid character set\n", ""},
        {with(csv_base, {"--csv_delim=2", "--engine=InnoDB; DROP DATABASE victim; --"}),
         "Invalid storage engine\n", ""},
        {with(csv_base, {"--csv_delim=2", "--csv_delim=9"}), delimiter, ""},
        {with(csv_base, {"--csv_delim=2", "--mode=01"}), bad_mode, ""},
        {with(csv_base, {"--csv_delim=2", "--mode=4"}), bad_mode, ""},
        {with(csv_base, {"--csv_delim=2", "--mode="}), bad_mode, ""},
        {with(csv_base, {"--csv_delim=2", "--mode=+1"}), bad_mode, ""},
        {with(csv_base, {"--csv_delim=2", "--mode=-1"}), bad_mode, ""},
        {with(csv_base, {"--csv_delim=2", "--tab_file=missing.txt"}),
         "Table names file 'missing.txt' does not exist.\nPlease verify the correct path/name was given.\n", ""},
        {{"--from_csv", csv_ok, "--dump", "--dest=sub", "--tab_name=t", "--csv_delim=2"}, "",
         "Error:\nDestination name 'sub' should specify a file, not folder.\n"},
        {{"--from_csv", csv_ok, "--dump", "--dest=nowhere/out.sql", "--tab_name=t", "--csv_delim=2"}, "",
         "Error:\nDestination path '<dir>/nowhere/' does not exist. Please verify the correct path was given.\n"},
        {{"--from_csv", csv_ok, "--dest=db", "--tab_name=t", "--csv_delim=2", "--port=abc"}, "",
         "Error:\nInvalid port number\n"},
    };
    for (const failure_case& c : cases) {
        std::string line;
        for (const std::string& a : c.args)
            line += a + " ";
        SCOPED_TRACE(line);
        test_dir dir;
        test_dir::write(dir.file("ok.csv"), "a,b\n1,2\n");
        std::filesystem::create_directory(dir.path() / "sub");
        const program_result r = run_morvante(dir, c.args);
        EXPECT_EQ(r.code, 255);
        EXPECT_EQ(r.err, c.err);
        // A folder is named in full: <dir> stands for the run's.
        std::string out = c.out;
        if (const size_t at = out.find("<dir>"); at != std::string::npos)
            out.replace(at, 5, dir.path().string());
        EXPECT_EQ(r.out, out);
        EXPECT_FALSE(std::filesystem::exists(dir.path() / "out.sql"));
    }
}

// A source that cannot be read is reported before the old dump is deleted.
TEST(ConsoleFailures, AnUnreadableSourceLeavesTheOldDump)
{
    test_dir dir;
    test_dir::write(dir.file("out.sql"), "old dump");
    const program_result r =
        run_morvante(dir, {"--from_csv", "--src=missing.csv", "--dump", "--dest=out.sql", "--tab_name=t",
                           "--csv_delim=2"});
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out.substr(0, 7), "Error:\n");
    EXPECT_NE(r.out.find("missing.csv"), std::string::npos) << r.out;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(test_dir::read(dir.file("out.sql")), "old dump");

    // A workbook that cannot be read: the old dump stays too.
    test_dir::write(dir.file("book.xlsx"), "PK");
    const program_result book = run_morvante(dir, {"--src=book.xlsx", "--dump", "--dest=out.sql"});
    EXPECT_EQ(book.code, 255);
    EXPECT_EQ(book.out.rfind("Error:\nExternal table is not in the expected format.", 0), 0u) << book.out;
    EXPECT_EQ(test_dir::read(dir.file("out.sql")), "old dump");
}

// A failure that ends the run (here the dump cannot be written) exits 255;
// a device named as the destination is written to, never removed.
TEST(ConsoleFailures, ARunEndedByAFailureExits255)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    test_dir dir;
    test_dir::write(dir.file("ok.csv"), "a,b\n1,2\n");
    const program_result r = run_morvante(
        dir, {"--from_csv", csv_ok, "--dump", "--dest=/dev/full", "--tab_name=t", "--csv_delim=2"});
    EXPECT_EQ(r.code, 255);
    EXPECT_NE(r.out.find("Error:\nCannot write the dump file '/dev/full'"), std::string::npos) << r.out;
    EXPECT_TRUE(std::filesystem::is_character_file("/dev/full"));
}
