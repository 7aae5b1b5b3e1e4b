// MORVANTE over the committed workbook fixtures (.xlsx, BIFF8 and BIFF5
// .xls): each dump is loaded into the test server and its tables compared
// with the values the fixtures' generators wrote; the worksheet order, the
// table-list file and the options that change what is read; and the same
// workbook straight into the server in each of the four modes.
#include "SQL/dmp_help.hpp"
#include "con_help.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#ifndef RVL_WORKBOOKS
#error RVL_WORKBOOKS must name the folder of the workbook fixtures
#endif

namespace {

using texts = std::vector<std::string>;

// A database of the test's own, dropped before and after.
class scratch_db {
public:
    explicit scratch_db(const std::string& suffix) : db_name("rvl_xls_" + std::to_string(::getpid()) + "_" + suffix)
    {
        drop();
    }
    ~scratch_db() { drop(); }
    scratch_db(const scratch_db&) = delete;
    scratch_db& operator=(const scratch_db&) = delete;

    const std::string& name() const { return db_name; }
    void create() const { test_connection().execute("CREATE DATABASE `" + db_name + "` CHARACTER SET utf8mb4"); }
    void execute(const std::string& sql) const { test_connection(db_name).execute(sql); }
    // Each row's values joined by "|".
    texts rows(const std::string& sql) const
    {
        texts out;
        for (const auto& r : test_connection(db_name).rows(sql)) {
            std::string line;
            for (size_t i = 0; i < r.size(); ++i)
                line += (i ? "|" : "") + r[i];
            out.push_back(line);
        }
        return out;
    }
    texts tables() const
    {
        return rows("SELECT table_name FROM information_schema.tables WHERE table_schema = DATABASE() ORDER BY "
                    "table_name");
    }

private:
    void drop() const { test_connection().execute("DROP DATABASE IF EXISTS `" + db_name + "`"); }
    std::string db_name;
};

// A folder holding a copy of a fixture under its own name.
struct book_dir : test_dir {
    explicit book_dir(const std::string& fixture)
    {
        std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/" + fixture, file(fixture));
    }
};

// Converts the fixture into a dump and loads the dump into db.
program_result dump_and_load(const std::string& fixture, std::vector<std::string> options, const scratch_db& db)
{
    book_dir dir(fixture);
    options.insert(options.begin(), {"--src=" + fixture, "--dump", "--dest=out.sql"});
    const program_result r = run_morvante(dir, options);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    db.create();
    std::string output;
    EXPECT_EQ(dmp_load(dir.file("out.sql"), db.name(), output), 0) << output;
    return r;
}

struct query_case {
    std::string sql;
    texts rows;
};

struct book_case {
    std::string fixture;
    std::vector<std::string> options;
    texts tables;
    std::vector<query_case> queries;
};

const std::string x300(300, 'x');

// The generators' values (tests/fixtures/workbooks/gen_*), as the server
// holds them once the columns are refined.
const book_case books[] = {
    {"openpyxl.xlsx", {"--extr_fn"}, {"Empty", "Hidden", "Offset", "Types"},
     {{"SELECT Flag, `When`, Amount, Price, Name, Mixed, LENGTH(Notes), Blank, Name1, F10, `Time`, DateNum "
       "FROM Types ORDER BY Name1",
       {"1|2024-03-01 10:30:00|1|9.99|alpha|1|300|NULL|a|1|0000-00-00 12:00:00|45292",
        "0|1900-01-15 00:00:00|2.5|1000|b\xC3\xA9ta|two|5|NULL|b|2|0000-00-00 06:30:15|5",
        "1|NULL|-3|NULL|\xE6\x97\xA5\xE6\x9C\xAC|TRUE|NULL|NULL|c|3|NULL|NULL"}},
      {"SELECT * FROM Hidden", {"42"}},
      {"SELECT COUNT(*), COUNT(`Key`), SUM(Val) FROM `Offset`", {"197|2|30"}},
      {"SELECT COUNT(*) FROM Empty", {"0"}}}},
    {"openpyxl.xlsx", {}, {"Empty", "Hidden", "Offset", "Types"},
     {{"SELECT * FROM Hidden", {"only", "42"}}, {"SELECT COUNT(*) FROM Types", {"4"}}}},
    {"openpyxl_1904.xlsx", {"--extr_fn"}, {"Mac"},
     {{"SELECT * FROM Mac", {"2024-03-01|0000-00-00 18:00:00", "1904-01-02|0000-00-00 00:00:01"}}}},
    {"sheetjs.xlsx", {"--extr_fn"}, {"Data", "Other sheet"},
     {{"SELECT * FROM Data", {"1|caf\xC3\xA9|1|2024-03-01|3|1", "2.5|x|0|1999-12-31|xx|NULL"}},
      {"SELECT * FROM `Other sheet`", {"s"}}}},
    {"sheetjs_biff8.xls", {"--extr_fn"}, {"Data", "Other sheet"},
     {{"SELECT * FROM Data", {"1|caf\xC3\xA9|1|2024-03-01|3|1", "2.5|x|0|1999-12-31|xx|NULL"}},
      {"SELECT * FROM `Other sheet`", {"s"}}}},
    {"sheetjs_biff5.xls", {"--extr_fn"}, {"Data", "Other sheet"},  // the writer stores "café" as "caf_"
     {{"SELECT * FROM Data", {"1|caf_|1|2024-03-01|3|1", "2.5|x|0|1999-12-31|xx|NULL"}}}},
    {"xlwt.xls", {"--extr_fn"}, {"Hidden", "Many", "Types"},
     {{"SELECT Flag, `When`, Amount, Price, Name, Mixed, LENGTH(Notes), `Int` FROM Types",
       {"1|2024-03-01|1.5|9.99|alpha|1|300|7", "0|1999-12-31|-2.25|1000|b\xC3\xA9ta|two|NULL|123456",
        "1|NULL|1e100|NULL|\xE6\x97\xA5\xE6\x9C\xAC|NULL|NULL|-8"}},
      {"SELECT COUNT(*), MIN(Word), MAX(Word) FROM Many",
       {"1500|word 0001 \xC3\xA9\xC3\xA8 z|word 1500 \xC3\xA9\xC3\xA8 zz"}}}},
    {"xlwt_1904.xls", {"--extr_fn"}, {"Mac"}, {{"SELECT * FROM Mac", {"2024-03-01"}}}},
    {"handmade_biff5.xls", {"--extr_fn"}, {"\xD0\x9B\xD0\xB8\xD1\x81\xD1\x82"},
     {{"SELECT * FROM `\xD0\x9B\xD0\xB8\xD1\x81\xD1\x82`", {"abc|1904-01-02 00:00:00", "\xD1\x8F\xD0\xB7|1905-01-01 12:00:00"}}}},
};

TEST(ConsoleWorkbook, EveryFixtureIntoADumpHoldsTheGeneratorsValues)
{
    RVL_NEED_TEST_SERVER();
    int n = 0;
    for (const book_case& b : books) {
        SCOPED_TRACE(b.fixture + (b.options.empty() ? "" : " " + b.options[0]));
        scratch_db db(std::to_string(n++));
        dump_and_load(b.fixture, b.options, db);
        EXPECT_EQ(db.tables(), b.tables);
        for (const query_case& q : b.queries)
            EXPECT_EQ(db.rows(q.sql), q.rows) << q.sql;
    }
}

TEST(ConsoleWorkbook, WorksheetsInTableNameOrderUnderTheirDaoNames)
{
    book_dir dir("openpyxl.xlsx");
    const program_result r = run_morvante(dir, {"--src=openpyxl.xlsx", "--dump", "--dest=out.sql"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "Converting spreadsheet openpyxl.xlsx (4 worksheets)\nConverting table Empty$\n"
                     "Converting table Hidden$\nConverting table Offset$\nConverting table Types$\n");
    EXPECT_EQ(r.err, "");

    book_dir quoted("sheetjs_biff8.xls");
    const program_result q = run_morvante(quoted, {"--src=sheetjs_biff8.xls", "--dump", "--dest=out.sql", "--silent"});
    EXPECT_EQ(q.code, 0);
    EXPECT_EQ(q.out + q.err, "");
    const std::string dump = test_dir::read(quoted.file("out.sql"));
    EXPECT_NE(dump.find("CREATE TABLE `Other sheet` ("), std::string::npos);
}

TEST(ConsoleWorkbook, SkipEmptyLeavesOutRowsWithoutAValue)
{
    RVL_NEED_TEST_SERVER();
    scratch_db db("skip");
    dump_and_load("openpyxl.xlsx", {"--extr_fn", "--skip_empty"}, db);
    EXPECT_EQ(db.rows("SELECT * FROM `Offset`"), (texts{"1|10", "2|NULL", "NULL|20"}));
    EXPECT_EQ(db.rows("SELECT COUNT(*) FROM Types"), texts{"3"});
}

TEST(ConsoleWorkbook, TableListFileSelectsAndReportsWhatTheWorkbookLacks)
{
    book_dir dir("sheetjs.xlsx");
    // A byte-order mark, CR LF line ends and a last line without one.
    test_dir::write(dir.file("tabs.txt"), "\xEF\xBB\xBFOther sheet\r\nNope\r\n\r\nData");
    const program_result r =
        run_morvante(dir, {"--src=sheetjs.xlsx", "--dump", "--dest=out.sql", "--tab_file=tabs.txt"});
    EXPECT_EQ(r.code, 1);  // a worksheet asked for was not converted
    EXPECT_EQ(r.err, "Worksheet Nope not found\n");
    EXPECT_EQ(r.out, "Converting spreadsheet sheetjs.xlsx (2 worksheets)\nConverting table Data$\n"
                     "Converting table 'Other sheet$'\n");

    test_dir::write(dir.file("tabs.txt"), "Other sheet\n");
    const program_result one =
        run_morvante(dir, {"--src=sheetjs.xlsx", "--dump", "--dest=out.sql", "--tab_file=tabs.txt"});
    EXPECT_EQ(one.out, "Converting spreadsheet sheetjs.xlsx (1 worksheets)\nConverting table 'Other sheet$'\n");

    // Only names the workbook lacks: every worksheet is converted.
    test_dir::write(dir.file("tabs.txt"), "data\nOther Sheet\n");
    const program_result none =
        run_morvante(dir, {"--src=sheetjs.xlsx", "--dump", "--dest=out.sql", "--tab_file=tabs.txt"});
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.err, "Worksheet data not found\nWorksheet Other Sheet not found\n");
    EXPECT_EQ(none.out, "Converting spreadsheet sheetjs.xlsx (2 worksheets)\nConverting table Data$\n"
                        "Converting table 'Other sheet$'\n");
}

TEST(ConsoleWorkbook, AProfileSelectsItsWorksheets)
{
    book_dir dir("sheetjs.xlsx");
    test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=sheetjs.xlsx\ndest=out.sql\nmode=0\n\n"
                                         "[MS Excel settings]\nextract field names=1\nconvert from xls=1\n\n"
                                         "[MySQL settings]\ndirect mode=0\n\n"
                                         "[Selected Tables]\nOther sheet\nNope\n\n");
    test_dir::write(dir.file("tabs.txt"), "Data\n");  // read, but the profile's selection stands
    const program_result r = run_morvante(dir, {"--profile=job.rvl", "--tab_file=tabs.txt"});
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_EQ(r.err, "Worksheet Nope not found\n");
    EXPECT_EQ(r.out, "Converting spreadsheet sheetjs.xlsx (1 worksheets)\nConverting table 'Other sheet$'\n");
}

TEST(ConsoleWorkbook, AWorkbookThatCannotBeReadIsReportedBeforeAnyRun)
{
    book_dir dir("encrypted.xlsx");
    const program_result r = run_morvante(dir, {"--src=encrypted.xlsx", "--dump", "--dest=out.sql"});
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out.rfind("Error:\n", 0), 0u) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.sql")));
}

std::vector<std::string> server_args(const std::string& database, int mode)
{
    const server_settings s = *test_server_settings();
    return {"--src=sheetjs.xlsx", "--extr_fn", "--host=127.0.0.1", "--port=" + std::to_string(s.port),
            "--user=" + s.user, "--pswd=" + s.password, "--dest=" + database, "--mode=" + std::to_string(mode)};
}

TEST(ConsoleWorkbook, StraightIntoTheServerInEachMode)
{
    RVL_NEED_TEST_SERVER();
    book_dir dir("sheetjs.xlsx");
    scratch_db db("modes");
    const texts data = {"1|caf\xC3\xA9|1|2024-03-01|3|1", "2.5|x|0|1999-12-31|xx|NULL"};
    // Before each mode: the first run's tables, one Data row changed, a sibling table.
    const auto prepare = [&] {
        ASSERT_EQ(run_morvante(dir, server_args(db.name(), 0)).code, 0);
        ASSERT_EQ(db.rows("SELECT * FROM Data"), data);
        db.execute("UPDATE Data SET Text = 'old' WHERE Num = 1");
        db.execute("CREATE TABLE sibling (id INT)");
    };
    const std::string all_data = "SELECT * FROM Data ORDER BY Num, Text";
    struct row {
        int mode;
        texts tables;
        texts data;
        texts other = {"s"};
    };
    const row rows[] = {
        {0, {"Data", "Other sheet"}, data},
        {1, {"Data", "Other sheet", "sibling"}, data},
        {2, {"Data", "Other sheet", "sibling"}, {"1|old|1|2024-03-01|3|1", "2.5|x|0|1999-12-31|xx|NULL"}},
        {3, {"Data", "Other sheet", "sibling"},
         {"1|caf\xC3\xA9|1|2024-03-01|3|1", "1|old|1|2024-03-01|3|1", "2.5|x|0|1999-12-31|xx|NULL",
          "2.5|x|0|1999-12-31|xx|NULL"},
         {"s", "s"}},
    };
    for (const row& r : rows) {
        SCOPED_TRACE("mode " + std::to_string(r.mode));
        prepare();
        const program_result run = run_morvante(dir, server_args(db.name(), r.mode));
        EXPECT_EQ(run.code, 0) << run.out << run.err;
        EXPECT_EQ(db.tables(), r.tables);
        EXPECT_EQ(db.rows(all_data), r.data);
        EXPECT_EQ(db.rows("SELECT * FROM `Other sheet`"), r.other);
        test_connection().execute("DROP DATABASE `" + db.name() + "`");
    }
}

} // namespace
