// Names and settings as the user gave them, through the real program: a
// header's characters no identifier holds become '_' and never end its name,
// a long name is cut and then trimmed, two worksheets never share a table,
// a profile's yes and no mean yes and no, and the program's own texts name
// what is there. Workbooks are made by the tests (xlsx_make.hpp), dumps are
// loaded into the test server to read them back.
#include "SQL/dmp_help.hpp"
#include "con_db.hpp"
#include "con_help.hpp"
#include "console/con_cmd.hpp"
#include "platform/dao/xlsx_make.hpp"

#include <gtest/gtest.h>

#include <filesystem>

#ifndef RVL_DOCS
#error RVL_DOCS must name the folder of the documentation
#endif

namespace {

// An XML text: the characters markup would take.
std::string xml_text(const std::string& text)
{
    std::string out;
    for (char c : text)
        out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : std::string(1, c);
    return out;
}

// A worksheet of rows of cells from column A: all-digit texts are numbers,
// the others inline texts.
std::string sheet(const std::vector<std::vector<std::string>>& rows)
{
    std::string xml;
    for (size_t r = 0; r < rows.size(); ++r) {
        xml += "<row r=\"" + std::to_string(r + 1) + "\">";
        for (size_t c = 0; c < rows[r].size(); ++c) {
            const std::string& v = rows[r][c];
            const std::string ref = std::string(1, char('A' + c)) + std::to_string(r + 1);
            if (!v.empty() && v.find_first_not_of("0123456789") == std::string::npos)
                xml += "<c r=\"" + ref + "\"><v>" + v + "</v></c>";
            else
                xml += "<c r=\"" + ref + "\" t=\"inlineStr\"><is><t>" + xml_text(v) + "</t></is></c>";
        }
        xml += "</row>";
    }
    return xlsx_sheet(xml);
}

// The table's column names in their order.
texts columns(const scratch_db& db, const std::string& table)
{
    return db.rows("SELECT column_name FROM information_schema.columns WHERE table_schema = DATABASE() AND "
                   "CAST(table_name AS BINARY) = '" + table + "' ORDER BY ordinal_position");
}

// Runs the program in dir; a dump it wrote (out.sql) is loaded into db.
program_result run_and_load(const test_dir& dir, const std::vector<std::string>& args, const scratch_db& db)
{
    const program_result r = run_morvante(dir, args);
    if (std::filesystem::exists(dir.file("out.sql"))) {
        db.create();
        std::string output;
        EXPECT_EQ(dmp_load(dir.file("out.sql"), db.name(), output), 0) << output;
    }
    return r;
}

const std::vector<std::string> book_to_dump = {"--src=book.xlsx", "--extr_fn", "--dump", "--dest=out.sql"};

} // namespace

// A NUL (_x0000_ in the file) or another control character of a header is a
// '_' of its name, which goes on behind it; a name so made meets a header's
// own name only numbered. A name over 64 characters is cut to 63 and loses
// the blank the cut leaves at its end: no counter, it meets no other name.
TEST(ConsoleGiven, HeadersKeepEveryCharacterAndAreCutThenTrimmed)
{
    RVL_NEED_TEST_SERVER();
    const std::string long_header = "Item the customer ordered on the day they were counted and the table was made";
    ASSERT_EQ(long_header[62], ' ');
    test_dir dir;
    test_dir::write(dir.file("book.xlsx"),
                    xlsx_workbook({{"A", sheet({{"a_x0000_b", "_x0000_"}, {"1", "2"}})},
                                   {"B", sheet({{"_x0001_", "_", long_header}, {"3", "4", "5"}})}}));
    scratch_db db("given_heads");
    const program_result r = run_and_load(dir, book_to_dump, db);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(columns(db, "A"), (texts{"a_b", "_"}));
    EXPECT_EQ(columns(db, "B"), (texts{"_1", "_", "item the customer ordered on the day they were counted and the"}));
    EXPECT_EQ(db.rows("SELECT * FROM A"), texts{"1|2"});
    EXPECT_EQ(db.rows("SELECT * FROM B"), texts{"3|4|5"});

    // A CSV header the same way, numbered as CSV headers are.
    test_dir::write(dir.file("in.csv"), "x\x01y,x_y\n1,2\n");
    scratch_db csv_db("given_csv_heads");
    const program_result csv = run_and_load(
        dir, {"--from_csv", "--src=in.csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--dump", "--dest=out.sql"},
        csv_db);
    EXPECT_EQ(csv.code, 0) << csv.out << csv.err;
    EXPECT_EQ(columns(csv_db, "t"), (texts{"x_y_1", "x_y"}));
}

// A profile that gives a worksheet the table name another selected worksheet
// has, or two worksheets one new name, is refused before anything is
// written: no rows go into another worksheet's table, none under a name
// nobody gave. Swapped names are names of their own.
TEST(ConsoleGiven, TwoWorksheetsNeverShareATable)
{
    RVL_NEED_TEST_SERVER();
    struct rename_case {
        std::string mappings;  // the tables of "Type Mappings"
        std::string refused;   // the table both would write; empty: the run goes
    };
    const auto table = [](const std::string& from, const std::string& to) {
        return "  - name: " + from + "\n    new_name: " + to + "\n";
    };
    const rename_case cases[] = {
        {table("Dups", "Orders"), "Orders"},
        {table("Dups", "ORDERS"), "ORDERS"},
        {table("Dups", "All") + table("Orders", "All"), "All"},
        {table("Dups", "Orders") + table("Orders", "Dups"), ""},
    };
    for (const rename_case& c : cases) {
        SCOPED_TRACE(c.mappings);
        test_dir dir;
        test_dir::write(dir.file("book.xlsx"), xlsx_workbook({{"Dups", sheet({{"id"}, {"1"}})},
                                                              {"Orders", sheet({{"id"}, {"2"}, {"3"}})}}));
        test_dir::write(dir.file("out.sql"), "old dump");
        test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=book.xlsx\ndest=out.sql\n\n"
                                             "[MS Excel settings]\nextract field names=1\nconvert from xls=1\n\n"
                                             "[MySQL settings]\ndirect mode=0\n\n"
                                             "[Type Mappings]\ntables:\n" + c.mappings);
        const program_result r = run_morvante(dir, {"--profile=job.rvl"});
        if (!c.refused.empty()) {
            EXPECT_EQ(r.code, 255);
            EXPECT_EQ(r.out, "Error:\nThe worksheets 'Dups' and 'Orders' would both be written to the table '" +
                                 c.refused + "': the table changes give them one name. Give each its own; nothing "
                                             "is changed.\n");
            EXPECT_EQ(test_dir::read(dir.file("out.sql")), "old dump");
            continue;
        }
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        scratch_db db("given_swap");
        db.create();
        std::string output;
        ASSERT_EQ(dmp_load(dir.file("out.sql"), db.name(), output), 0) << output;
        EXPECT_EQ(db.rows("SELECT id FROM Orders"), texts{"1"});
        EXPECT_EQ(db.rows("SELECT id FROM Dups ORDER BY id"), (texts{"2", "3"}));
    }
}

// Every yes-or-no key of a profile reads 1/0, yes/no, true/false and on/off
// in any case; any other value refuses the profile, naming the key and the
// value, before anything is written.
TEST(ConsoleGiven, AProfilesYesAndNoMeanWhatTheySay)
{
    RVL_NEED_TEST_SERVER();
    struct flag_case {
        std::string generic, excel, mysql;  // lines added to the sections
        texts columns, rows;                // of the table t; none: refused
        std::string refused_line;
    };
    const flag_case cases[] = {
        {"only definitions=no\n", "extract field names=yes\n", "", {"a", "b"}, {"1|2"}, ""},
        {"only definitions=False\n", "extract field names=TRUE\n", "", {"a", "b"}, {"1|2"}, ""},
        {"only definitions=Yes\n", "extract field names=on\n", "", {"a", "b"}, {}, ""},
        {"only definitions=OFF\n", "extract field names=off\n", "dump create table=On\n", {"F1", "F2"}, {"1|2", "a|b"}, ""},
        {"only definitions=2\n", "", "", {}, {}, "only definitions=2"},
        {"", "refine types=maybe\n", "", {}, {}, "refine types=maybe"},
        {"", "", "dump create table=nein\n", {}, {}, "dump create table=nein"},
    };
    for (const flag_case& c : cases) {
        SCOPED_TRACE(c.generic + c.excel + c.mysql);
        test_dir dir;
        test_dir::write(dir.file("in.csv"), "a,b\n1,2\n");
        test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=in.csv\ndest=out.sql\n" + c.generic +
                                                 "\n[MS Excel settings]\nconvert from xls=0\ncsv table name=t\n"
                                                 "csv delimiter=2\n" + c.excel +
                                                 "\n[MySQL settings]\ndirect mode=0\n" + c.mysql);
        scratch_db db("given_flags");
        const program_result r = run_and_load(dir, {"--profile=job.rvl"}, db);
        if (!c.refused_line.empty()) {
            EXPECT_EQ(r.code, 255);
            EXPECT_EQ(r.out, "Error:\nProfile job.rvl cannot be used: this line gives a yes-or-no setting another "
                             "value (1 or 0, yes or no, true or false, on or off): " + c.refused_line + "\n");
            EXPECT_FALSE(std::filesystem::exists(dir.file("out.sql")));
            continue;
        }
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_EQ(columns(db, "t"), c.columns);
        EXPECT_EQ(db.rows("SELECT * FROM t ORDER BY 1"), c.rows);
    }

    // A mode it does not know is no mode: read as none, mode=merge would
    // have been mode 0, which drops what the database holds.
    test_dir dir;
    test_dir::write(dir.file("in.csv"), "a,b\n1,2\n");
    test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=in.csv\ndest=out.sql\nmode=merge\n\n"
                                         "[MS Excel settings]\nconvert from xls=0\ncsv table name=t\n"
                                         "csv delimiter=2\n\n[MySQL settings]\ndirect mode=0\n");
    const program_result r = run_morvante(dir, {"--profile=job.rvl"});
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out, "Error:\nProfile job.rvl cannot be used: this line gives a setting of one digit, 0 to 3, "
                     "another value: mode=merge\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.sql")));
}

// A table list that names no worksheet is refused, naming the file: it
// would convert every worksheet, and in mode 0 drop every other table.
TEST(ConsoleGiven, AnEmptyTableListIsRefused)
{
    for (const char* list : {"", "\n\n", "\r\n"}) {
        SCOPED_TRACE(testing::PrintToString(list));
        test_dir dir;
        test_dir::write(dir.file("book.xlsx"), xlsx_workbook({{"S", sheet({{"id"}, {"1"}})}}));
        test_dir::write(dir.file("list.txt"), list);
        test_dir::write(dir.file("out.sql"), "old dump");
        std::vector<std::string> args = book_to_dump;
        args.push_back("--tab_file=list.txt");
        const program_result r = run_morvante(dir, args);
        EXPECT_EQ(r.code, 255);
        EXPECT_EQ(r.err, "Table names file 'list.txt' names no worksheet.\nName one a line, or leave out "
                         "--tab_file to convert every worksheet.\n");
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(test_dir::read(dir.file("out.sql")), "old dump");
    }
}

// --skip_empty leaves out a CSV line without a value (delimiters alone,
// empty quoted fields) as it leaves out an empty worksheet row; a line with
// a value, even a blank, stays. Without it the lines are rows of NULLs.
TEST(ConsoleGiven, SkipEmptyLeavesOutCsvLinesWithoutAValue)
{
    RVL_NEED_TEST_SERVER();
    for (const bool skip : {true, false}) {
        SCOPED_TRACE(skip);
        test_dir dir;
        test_dir::write(dir.file("in.csv"), "a,b\n1,2\n,\n\"\",\"\"\n,\" \"\n3,4\n");
        std::vector<std::string> args = {"--from_csv", "--src=in.csv", "--csv_delim=2", "--extr_fn",
                                         "--tab_name=t",  "--dump",       "--dest=out.sql"};
        if (skip)
            args.push_back("--skip_empty");
        scratch_db db("given_skip");
        const program_result r = run_and_load(dir, args, db);
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        // The line with a blank is a row (its blank a NULL of the INT column).
        EXPECT_EQ(db.rows("SELECT COUNT(*) FROM t WHERE a IS NULL"), texts{skip ? "1" : "3"});
        EXPECT_EQ(db.rows("SELECT COUNT(*) FROM t"), texts{skip ? "3" : "5"});
    }
}

// --help is an answer: the options on standard output, exit 0, the program
// named as it was called. The texts send the user to what is there:
// docs/console.md, whose sections they name.
TEST(ConsoleGiven, HelpAnswersOnStandardOutputAndNamesWhatIsThere)
{
    test_dir dir;
    std::filesystem::create_symlink(MORVANTE_PATH, dir.file("morv"));
    const program_result named = run_program(dir.file("morv").c_str(), dir, {"--help"});
    EXPECT_EQ(named.code, 0);
    EXPECT_EQ(named.err, "");
    EXPECT_EQ(named.out, usage_text("morv") + "\n");
    EXPECT_NE(named.out.find("\nUsage: morv OPTIONS\n"), std::string::npos) << named.out;
    EXPECT_EQ(named.out.find("article"), std::string::npos) << named.out;
    EXPECT_NE(named.out.find("docs/console.md"), std::string::npos) << named.out;

    const program_result after = run_morvante(dir, {"--help", "--silent"});
    EXPECT_EQ(after.code, 0);
    EXPECT_EQ(after.out, usage_text("MORVANTE") + "\n");
    const program_result silent = run_morvante(dir, {"--silent", "--help"});
    EXPECT_EQ(silent.code, 0);
    EXPECT_EQ(silent.out + silent.err, "");

    // Without a command line it cannot run, the usage text is a refusal.
    const program_result none = run_morvante(dir, {});
    EXPECT_EQ(none.code, 255);
    EXPECT_EQ(none.err, usage_text("MORVANTE") + "\n");

    const std::string docs = test_dir::read(std::string(RVL_DOCS) + "/console.md");
    EXPECT_NE(docs.find("\n## Troubleshooting\n"), std::string::npos);
    EXPECT_NE(docs.find("\n### CSV files\n"), std::string::npos);
}

// A message the server's refusal brings sends the user to docs/console.md.
TEST(ConsoleGiven, MessagesPointToTheConsolesDocumentation)
{
    RVL_NEED_TEST_SERVER();
    scratch_db db("given_docs");
    db.create();
    db.execute("CREATE TABLE t (x INT)");
    test_dir dir;
    test_dir::write(dir.file("in.csv"), "a,b\n1,2\n");
    const server_settings s = *test_server_settings();
    const program_result r = run_morvante(
        dir, {"--from_csv", "--src=in.csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--mode=3",
              "--host=127.0.0.1", "--port=" + std::to_string(s.port), "--user=" + s.user, "--pswd=" + s.password,
              "--dest=" + db.name()});
    EXPECT_NE(r.out.find("does not conform to the destination table. See 'Troubleshooting' in docs/console.md."),
              std::string::npos)
        << r.out << r.err;
    EXPECT_EQ((r.out + r.err).find("product documentation"), std::string::npos) << r.out << r.err;
}
