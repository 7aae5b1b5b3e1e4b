// MORVANTE over the committed workbook fixtures (.xlsx, BIFF8 and BIFF5
// .xls): each dump is loaded into the test server and its tables compared
// with the values the fixtures' generators wrote; the worksheet order, the
// table-list file and the options that change what is read; and the same
// workbook straight into the server in each of the four modes.
#include "SQL/dmp_help.hpp"
#include "con_db.hpp"
#include "con_help.hpp"
#include "con_read.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <unistd.h>

#ifndef RVL_WORKBOOKS
#error RVL_WORKBOOKS must name the folder of the workbook fixtures
#endif

namespace {

// A folder holding a copy of a fixture under its own name.
struct book_dir : test_dir {
    explicit book_dir(const std::string& fixture)
    {
        const std::filesystem::path from = std::string(RVL_WORKBOOKS) + "/" + fixture;
        std::filesystem::copy_file(from, file(from.filename().string()));
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
       {"1|2024-03-01 10:30:00|1|9.99|alpha|1|300|NULL|a|1|12:00:00|2024-01-01",
        "0|1900-01-15 00:00:00|2.5|1000|b\xC3\xA9ta|two|5|NULL|b|2|06:30:15|5",
        "1|NULL|-3|NULL|\xE6\x97\xA5\xE6\x9C\xAC|TRUE|NULL|NULL|c|3|NULL|NULL"}},
      {"SELECT * FROM Hidden", {"42"}},
      {"SELECT COUNT(*), COUNT(`Key`), SUM(Val) FROM `Offset`", {"197|2|30"}},
      {"SELECT COUNT(*) FROM Empty", {"0"}}}},
    {"openpyxl.xlsx", {}, {"Empty", "Hidden", "Offset", "Types"},
     {{"SELECT * FROM Hidden", {"only", "42"}}, {"SELECT COUNT(*) FROM Types", {"4"}}}},
    {"openpyxl_1904.xlsx", {"--extr_fn"}, {"Mac"},
     {{"SELECT * FROM Mac", {"2024-03-01|18:00:00", "1904-01-02|00:00:01"}}}},
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
    EXPECT_EQ(r.out, "Converting spreadsheet openpyxl.xlsx (4 worksheets)\nNotice: Worksheet 'Empty': it holds "
                     "no value: its table is made with one empty text column F1 and no rows\nConverting table "
                     "Empty$\nConverting table Hidden$\nConverting table Offset$\nConverting table Types$\n");
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
    EXPECT_EQ(r.out, "Converting spreadsheet sheetjs.xlsx (2 worksheets)\n"
                     "Notice: Worksheet 'Data': 1 cell holds an error value (cell F3), written as NULL\n"
                     "Converting table Data$\nConverting table 'Other sheet$'\n");

    test_dir::write(dir.file("tabs.txt"), "Other sheet\n");
    const program_result one =
        run_morvante(dir, {"--src=sheetjs.xlsx", "--dump", "--dest=out.sql", "--tab_file=tabs.txt"});
    EXPECT_EQ(one.out, "Converting spreadsheet sheetjs.xlsx (1 worksheets)\nConverting table 'Other sheet$'\n");

    // Only names the workbook lacks: an error, and the old dump stays.
    test_dir::write(dir.file("tabs.txt"), "data\nOther Sheet\n");
    const std::string old_dump = test_dir::read(dir.file("out.sql"));
    const program_result none =
        run_morvante(dir, {"--src=sheetjs.xlsx", "--dump", "--dest=out.sql", "--tab_file=tabs.txt"});
    EXPECT_EQ(none.code, 255);
    EXPECT_EQ(none.err, "Worksheet data not found\nWorksheet Other Sheet not found\n");
    EXPECT_EQ(none.out, "Error:\nNone of the selected worksheets is in the workbook.\n");
    EXPECT_EQ(test_dir::read(dir.file("out.sql")), old_dump);
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

TEST(ConsoleWorkbook, AProfileOfWhichNoWorksheetIsInTheWorkbookTouchesNothing)
{
    book_dir dir("sheetjs.xlsx");
    test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=sheetjs.xlsx\ndest=out.sql\nmode=0\n\n"
                                         "[MS Excel settings]\nextract field names=1\nconvert from xls=1\n\n"
                                         "[MySQL settings]\ndirect mode=0\n\n"
                                         "[Selected Tables]\nNope\n\n");
    test_dir::write(dir.file("out.sql"), "-- the old dump\n");
    const program_result r = run_morvante(dir, {"--profile=job.rvl"});
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out, "Error:\nNone of the selected worksheets is in the workbook.\n");
    EXPECT_EQ(test_dir::read(dir.file("out.sql")), "-- the old dump\n");
}

TEST(ConsoleWorkbook, AWorkbookThatCannotBeReadIsReportedBeforeAnyRun)
{
    book_dir dir("encrypted.xlsx");
    const program_result r = run_morvante(dir, {"--src=encrypted.xlsx", "--dump", "--dest=out.sql"});
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out.rfind("Error:\n", 0), 0u) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.sql")));
}

// Excel 2.x to 4.0 wrote bare record streams, which no reader here reads:
// the file is named for what it is.
TEST(ConsoleWorkbook, AnExcel2To4WorksheetIsRefusedForWhatItIs)
{
    for (const std::string fixture : {"excel2.xls", "excel3.xls", "excel4.xls"}) {
        book_dir dir("bad/" + fixture);
        const program_result r = run_morvante(dir, {"--src=" + fixture, "--dump", "--dest=out.sql"});
        EXPECT_EQ(r.code, 255);
        EXPECT_EQ(r.out, "Error:\nExternal table is not in the expected format. ('" + fixture +
                             "': an Excel 2.x-4.0 worksheet, a format this program does not read (save it as .xls or "
                             ".xlsx))\n");
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.sql")));
    }
}

std::vector<std::string> server_args(const std::string& database, int mode,
                                     const std::string& fixture = "sheetjs.xlsx")
{
    const server_settings s = *test_server_settings();
    return {"--src=" + fixture, "--extr_fn", "--host=127.0.0.1", "--port=" + std::to_string(s.port),
            "--user=" + s.user, "--pswd=" + s.password, "--dest=" + database, "--mode=" + std::to_string(mode)};
}

// Times of day alone, currency amounts of six decimals, prices written with
// zeros ending their fraction and texts that look like GUIDs reach a strict
// server as the workbook holds them, by the dump and straight.
TEST(ConsoleWorkbook, AStrictServerHoldsEveryValueAsTheWorkbookDoes)
{
    RVL_NEED_TEST_SERVER();
    const std::string guid = "0F8FAD5B-D9CB-469F-A165-70867728950E";
    const texts values = {"00:00:00|-7.654321|3|1000.5| " + guid, "08:15:00|0.123456|19.9999|19.9|{" + guid + "}",
                          "18:00:00|2.5|0.5|5|guid {" + guid + "}"};
    const texts types = {"At|time", "Amount|double", "Fee|double", "Price|double", "Id|varchar"};
    const std::string query = "SELECT * FROM `Values` ORDER BY `At`";
    const std::string type_query = "SELECT column_name, data_type FROM information_schema.columns WHERE "
                                   "table_schema = DATABASE() AND table_name = 'Values' ORDER BY ordinal_position";
    scratch_db dumped("strict_dump");
    dump_and_load("handmade_values.xlsx", {"--extr_fn"}, dumped);
    EXPECT_EQ(dumped.rows(query), values);
    EXPECT_EQ(dumped.rows(type_query), types);

    book_dir dir("handmade_values.xlsx");
    scratch_db straight("strict_server");
    const program_result r = run_morvante(dir, server_args(straight.name(), 0, "handmade_values.xlsx"));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(straight.rows(query), values);
    EXPECT_EQ(straight.rows(type_query), types);
}

// Dates and numbers from three writers (gen_dates.py) reach a strict server
// as the workbook holds them, by the dump and straight: dates mixed with
// numbers as the texts the cells read as, a date before 1899-12-30 as that
// date, one no date column holds as its number with a notice, a currency
// amount beyond its type as the double it is, error cells as NULL with a
// notice and their rows kept, durations as elapsed times. In a text column
// each value is what the sheet shows: a time of day alone as its time, a
// fraction of a second to the millisecond where it has one, a duration past
// what a TIME holds as its elapsed hours, a number as General format shows
// it; also in a date column that refinement makes text. Dates written as ISO
// texts are their own dates and times, before 1900 too, in both date systems.
TEST(ConsoleWorkbook, DatesAndNumbersArriveAsTheWorkbookHoldsThem)
{
    RVL_NEED_TEST_SERVER();
    const query_case queries[] = {
        {"SELECT * FROM Mixed", {"2024-01-02|1900-01-01 04:48:00|2024-01-02 06:00:00", "2024-01-03|7|5", "7|NULL|NULL"}},
        {"SELECT * FROM `Range`", {"1899-12-29|2023-03-15|10000000000", "2023-03-15|2958466|NULL"}},
        {"SELECT Edge, Fine FROM Money", {"922337203685477.6|1.5", "1.5|-2.25"}},
        {"SELECT * FROM Durations", {"36:00:00|00:14:24|36:00:00", "12:00:00|30:00:00|960:00:00"}},
        {"SELECT * FROM Errors", {"1|10", "NULL|20", "3|30", "NULL|NULL"}},
        {"SELECT * FROM Texts",
         {"00:00:00|2004-08-01 12:30:45.123|563137:00:00|1.21", "x|x|x|x", "06:00:00|02:45:56.100|36:00:00|0.3",
          "NULL|2004-08-01 12:00:00|NULL|9007199254740992", "NULL|NULL|NULL|10000000000"}},
        {"SELECT `When` FROM `Later`",
         {"12:00:00", "2024-01-02", "2004-08-01 12:30:45.123", "02:45:56.100", "00:00:00"}},
    };
    const std::string notices[] = {
        "Notice: Worksheet 'Errors': 2 cells hold an error value (the first: cell A3), written as NULL\n",
        "Notice: Worksheet 'Range': cell B3 holds 2958466 as a date, which no date column holds: its column is text "
        "and its dates are written as texts\n",
        "Notice: Worksheet 'Range': cell C2 holds 10000000000 as a date, which no date column holds: its column is "
        "text and its dates are written as texts\n",
        "Notice: Worksheet 'Durations': cell C3 holds 960:00:00 as a duration, which no time column holds: its column "
        "is text and its durations are written as texts\n",
    };
    int n = 0;
    for (const char* fixture : {"dates_openpyxl.xlsx", "dates_xlsxwriter.xlsx", "dates_xlwt.xls"}) {
        SCOPED_TRACE(fixture);
        scratch_db dumped("dates_dump" + std::to_string(n));
        const program_result d = dump_and_load(fixture, {"--extr_fn"}, dumped);
        book_dir dir(fixture);
        scratch_db straight("dates_server" + std::to_string(n++));
        const program_result r = run_morvante(dir, server_args(straight.name(), 0, fixture));
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        for (const query_case& q : queries) {
            EXPECT_EQ(dumped.rows(q.sql), q.rows) << q.sql;
            EXPECT_EQ(straight.rows(q.sql), q.rows) << q.sql;
        }
        for (const auto& [sheet, rows] : independent_reading(fixture)) {
            SCOPED_TRACE("independent reading of " + sheet);
            expect_same_cells(rows, dumped.rows("SELECT * FROM `" + sheet + "`"));
            expect_same_cells(rows, straight.rows("SELECT * FROM `" + sheet + "`"));
        }
        for (const std::string& notice : notices) {
            EXPECT_NE(d.out.find(notice), std::string::npos) << d.out;
            EXPECT_NE(r.out.find(notice), std::string::npos) << r.out;
        }
    }
    scratch_db mac("dates_1904");
    dump_and_load("dates_1904_ext.xlsx", {"--extr_fn"}, mac);
    EXPECT_EQ(mac.rows("SELECT * FROM Mac"), (texts{"2016-05-23", "1904-01-01"}));
    for (const char* fixture : {"dates_iso.xlsx", "dates_iso_1904.xlsx"}) {
        SCOPED_TRACE(fixture);
        scratch_db iso("dates_iso" + std::to_string(n++));
        dump_and_load(fixture, {"--extr_fn"}, iso);
        const texts rows = iso.rows("SELECT * FROM Iso");
        EXPECT_EQ(rows, (texts{"1899-12-31 12:00:00", "1899-12-29 06:00:00", "1850-06-01 18:30:00", "2024-03-01 10:20:30"}));
        expect_same_cells(independent_reading(fixture).at("Iso"), rows);
    }
}

// Dates and times with fractions of a second (gen_dates.py's fractions
// workbooks) keep their milliseconds, by the dump and straight: a column with
// any such value is DATETIME(3) or TIME(3), its whole values too; one with
// none stays DATETIME. The dump carries the precision for the servers that
// have it, so that it still loads into older ones.
TEST(ConsoleWorkbook, FractionsOfASecondAreKept)
{
    RVL_NEED_TEST_SERVER();
    const texts rows = {"2004-08-01 12:30:45.123|12:00:00.500|2004-08-01 00:00:00.007|2004-08-01 12:00:00",
                        "2004-08-01 12:00:00.000|06:00:00.000|2004-08-02 00:00:00.000|2004-08-02 08:15:00",
                        "NULL|23:59:59.999|NULL|NULL"};
    const texts types = {"datetime(3)", "time(3)", "datetime(3)", "datetime"};
    const std::string types_sql = "SELECT COLUMN_TYPE FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
                                  "DATABASE() AND TABLE_NAME = 'Fractions' ORDER BY ORDINAL_POSITION";
    int n = 0;
    for (const char* fixture : {"fractions_openpyxl.xlsx", "fractions_xlwt.xls"}) {
        SCOPED_TRACE(fixture);
        book_dir dir(fixture);
        const program_result d =
            run_morvante(dir, {"--src=" + std::string(fixture), "--extr_fn", "--dump", "--dest=out.sql"});
        EXPECT_EQ(d.code, 0) << d.out << d.err;
        const std::string dump = test_dir::read(dir.file("out.sql"));
        EXPECT_NE(dump.find("`Stamp` DATETIME/*!50604 (3)*/"), std::string::npos) << dump;
        EXPECT_NE(dump.find("`Clock` TIME/*!50604 (3)*/"), std::string::npos) << dump;
        scratch_db dumped("fractions_dump" + std::to_string(n));
        dumped.create();
        std::string output;
        EXPECT_EQ(dmp_load(dir.file("out.sql"), dumped.name(), output), 0) << output;
        scratch_db straight("fractions_server" + std::to_string(n++));
        const program_result r = run_morvante(dir, server_args(straight.name(), 0, fixture));
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        for (const scratch_db* db : {&dumped, &straight}) {
            EXPECT_EQ(db->rows("SELECT * FROM Fractions"), rows) << db->name();
            EXPECT_EQ(db->rows(types_sql), types) << db->name();
            // 23:59:59.9996 stays a time of day, the day's last millisecond.
            EXPECT_EQ(db->rows("SELECT * FROM DayEnd"), (texts{"23:59:59.999", "06:00:00.250"})) << db->name();
            EXPECT_EQ(db->rows("SELECT COLUMN_TYPE FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() "
                               "AND TABLE_NAME = 'DayEnd'"),
                      texts{"time(3)"})
                << db->name();
            expect_same_cells(independent_reading(fixture).at("Fractions"), db->rows("SELECT * FROM Fractions"));
        }
    }
}

// Cells in any order go where their references say, in .xlsx and .xls alike:
// rows and cells backwards, an empty cell of a later row inside an earlier
// row, rows without their number. Of two values at one place the later one
// is kept, as the independent reader keeps it, and the cell is named: the
// run did not carry the sheet whole.
TEST(ConsoleWorkbook, CellsInAnyOrderGoWhereTheirReferencesSay)
{
    RVL_NEED_TEST_SERVER();
    const std::pair<const char*, texts> books[] = {
        {"handmade_order.xlsx", {"2|20", "NULL|30", "3|NULL", "4|50", "5|60"}},
        {"handmade_order.xls", {"2|20", "NULL|30", "3|NULL"}},
    };
    int n = 0;
    for (const auto& [fixture, rows] : books) {
        SCOPED_TRACE(fixture);
        book_dir dir(fixture);
        const program_result r =
            run_morvante(dir, {"--src=" + std::string(fixture), "--extr_fn", "--dump", "--dest=out.sql"});
        EXPECT_EQ(r.code, 1) << r.out << r.err;
        EXPECT_NE(r.out.find("Notice: Worksheet 'Order': cell A2 is given two values: the later one is kept\n"),
                  std::string::npos)
            << r.out;
        scratch_db db("order" + std::to_string(n++));
        db.create();
        std::string output;
        EXPECT_EQ(dmp_load(dir.file("out.sql"), db.name(), output), 0) << output;
        EXPECT_EQ(db.rows("SELECT * FROM `Order`"), rows);
        expect_same_cells(independent_reading(fixture).at("Order"), db.rows("SELECT * FROM `Order`"));
    }
}

// Workbooks as other writers save them: cells in records of every id that
// holds one (the FORMULA ids of Excel 3.0 and 4.0 among them), shared
// strings split right after their header, a number format a character
// short, part names with backslashes. Every value arrives, as the
// independent reader reads it where it reads the record ("xlrd rows": how
// many of the first rows it reads whole); what the reader could not take
// is told, and the run does not say it carried everything.
TEST(ConsoleWorkbook, EveryRecordThatHoldsACellArrivesOrIsTold)
{
    RVL_NEED_TEST_SERVER();
    const struct {
        const char* fixture;
        const char* table;
        std::string columns;
        int code;
        std::string notice;
        texts rows;
        size_t xlrd_rows;
    } books[] = {
        {"handmade_record_ids.xls", "Records", "*", 0, "",
         {"1|10|2009-01-01|one|1|a", "2|20|2009-01-02|two|0|b", "3|30.5|2009-01-03|three|1|c",
          "4|40|2009-01-04|four|0|d"}, 2},
        {"handmade_split_strings.xls", "Split", "*", 0, "",
         {"Plain", "H\xC3\xA9" "ader\xE4\xB8\xAD", "Second", "Rich", "After"}, 5},
        {"handmade_unread.xls", "Unread", "*", 1,
         "Notice: Worksheet 'Unread': 3 cells are not carried (the first: cell B2, in a record 0x0003 of 12 bytes, a "
         "form this program does not read)\n",
         {"1|NULL", "2|NULL", "3|NULL"}, 0},
        {"handmade_short_format.xls", "Cells", "Plain, `When`, Num", 0,
         "Notice: Worksheet 'Cells': number format 164 is 1 character shorter than its record says: read as "
         "\"dd/mm/yyyy\"\n",
         {"R\xC3\xA9sum\xC3\xA9|2024-03-01|12.34", "NULL|NULL|-7.5"}, 0},
        // Its worksheet Empty is told of as any empty worksheet is.
        {"handmade_backslash.xlsx", "Hidden", "*", 0, "Notice: Worksheet 'Empty': it holds no value", {"42"}, 0},
    };
    int n = 0;
    for (const auto& b : books) {
        SCOPED_TRACE(b.fixture);
        book_dir dir(b.fixture);
        const program_result r =
            run_morvante(dir, {"--src=" + std::string(b.fixture), "--extr_fn", "--dump", "--dest=out.sql"});
        EXPECT_EQ(r.code, b.code) << r.out << r.err;
        if (b.notice.empty())
            EXPECT_EQ(r.out.find("Notice:"), std::string::npos) << r.out;
        else
            EXPECT_NE(r.out.find(b.notice), std::string::npos) << r.out;
        scratch_db db("records" + std::to_string(n++));
        db.create();
        std::string output;
        ASSERT_EQ(dmp_load(dir.file("out.sql"), db.name(), output), 0) << output;
        const texts rows = db.rows("SELECT " + b.columns + " FROM `" + std::string(b.table) + "`");
        EXPECT_EQ(rows, b.rows);
        if (b.xlrd_rows > 0 && rows.size() >= b.xlrd_rows) {
            const texts independent = independent_reading(b.fixture).at(b.table);
            ASSERT_GE(independent.size(), b.xlrd_rows);
            expect_same_cells(texts(independent.begin(), independent.begin() + b.xlrd_rows),
                              texts(rows.begin(), rows.begin() + b.xlrd_rows));
        }
    }
}

// Worksheets named alike but for case keep their own rows; names made safe
// are made the same in every run, so mode 1 replaces those same tables.
TEST(ConsoleWorkbook, NamesMadeSafeKeepTheirWorksheetsRowsRunAfterRun)
{
    RVL_NEED_TEST_SERVER();
    const texts tables = {"a_b", "DATA", "data00000"};
    const auto rows = [](const scratch_db& db) {
        return db.rows("SELECT (SELECT n FROM `DATA`), (SELECT n FROM `data00000`), (SELECT n FROM `a_b`)");
    };
    scratch_db dumped("cases");
    dump_and_load("handmade_cases.xlsx", {"--extr_fn"}, dumped);
    EXPECT_EQ(dumped.tables(), tables);
    EXPECT_EQ(rows(dumped), texts{"2|1|3"});

    book_dir dir("handmade_cases.xlsx");
    scratch_db straight("cases_server");
    for (int mode : {0, 1, 1}) {
        const program_result r = run_morvante(dir, server_args(straight.name(), mode, "handmade_cases.xlsx"));
        EXPECT_EQ(r.code, 0) << r.out << r.err;
    }
    EXPECT_EQ(straight.tables(), tables);
    EXPECT_EQ(rows(straight), texts{"2|1|3"});
}

// Worksheets named alike but for blanks at their ends each become a table;
// headers keep their names, repeated ones and names the server takes as one
// (case, accents) are told apart, and every row loads into its column.
TEST(ConsoleWorkbook, EveryWorksheetAndColumnHasANameOfItsOwn)
{
    RVL_NEED_TEST_SERVER();
    scratch_db db("names");
    const program_result r = dump_and_load("handmade_names.xlsx", {"--extr_fn"}, db);
    EXPECT_NE(r.out.find("(5 worksheets)"), std::string::npos) << r.out;
    EXPECT_EQ(db.tables(), (texts{"a", "a00000", "abc", "abc00000", "Heads"}));
    EXPECT_EQ(db.rows("SELECT (SELECT n FROM a), (SELECT n FROM a00000), (SELECT n FROM abc), "
                      "(SELECT n FROM abc00000)"),
              texts{"3|4|1|2"});
    EXPECT_EQ(db.rows("SELECT F11, F1, `\xC3\xBD`, `\xC3\xBF" "1`, Name, NAME1, x, x2, x1 FROM Heads"),
              texts{"1|2|3|4|5|6|7|8|9"});
}

TEST(ConsoleWorkbook, AWorksheetWhoseNameNoTableCanTakeIsReported)
{
    book_dir dir("handmade_nul_name.xls");
    const program_result r = run_morvante(dir, {"--src=handmade_nul_name.xls", "--dump", "--dest=out.sql"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "Error:\n'Ce\\0lls$': The worksheet's name holds a NUL character, which no table name can "
                     "take: the worksheet is not converted.\nConverting spreadsheet handmade_nul_name.xls (1 "
                     "worksheets)\nConverting table 'Hidden one$'\n");
}

// Every worksheet is read before anything is dropped or deleted: a workbook
// with one that cannot be read leaves the database, its tables and an old
// dump as they were.
TEST(ConsoleWorkbook, AnUnreadableWorksheetLeavesTheDestinationAsItWas)
{
    RVL_NEED_TEST_SERVER();
    book_dir dir("bad/one_bad_sheet.xlsx");
    const std::string failure = "Error:\nBad: External table is not in the expected format.";
    scratch_db db("bad_sheet");
    db.create();
    db.execute("CREATE TABLE `Good` (n INT)");
    db.execute("INSERT INTO `Good` VALUES (7)");
    for (int mode : {0, 1}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        const program_result r = run_morvante(dir, server_args(db.name(), mode, "one_bad_sheet.xlsx"));
        EXPECT_EQ(r.code, 255);
        EXPECT_EQ(r.out.rfind(failure, 0), 0u) << r.out;
        EXPECT_EQ(db.tables(), texts{"Good"});
        EXPECT_EQ(db.rows("SELECT n FROM `Good`"), texts{"7"});
    }
    test_dir::write(dir.file("out.sql"), "-- the old dump\n");
    const program_result r = run_morvante(dir, {"--src=one_bad_sheet.xlsx", "--dump", "--dest=out.sql"});
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out.rfind(failure, 0), 0u) << r.out;
    EXPECT_EQ(test_dir::read(dir.file("out.sql")), "-- the old dump\n");
}

// A worksheet with more columns than the server creates fails alone, naming
// its table, while the others are converted (mode 0 replaces the database,
// as asked). When every selected worksheet is too wide, the run is refused
// before anything is dropped or replaced.
TEST(ConsoleWorkbook, AWorksheetTooWideFailsAloneAndNeverEmptiesTheDestination)
{
    RVL_NEED_TEST_SERVER();
    book_dir dir("handmade_wide.xlsx");
    const std::string failure = "The table 'Wide' has 5000 columns: MySQL creates at most 1017 columns in an InnoDB "
                                "table and 4096 in any table. The table is not created.";
    scratch_db db("wide");
    db.create();
    db.execute("CREATE TABLE `Old` (n INT)");
    db.execute("INSERT INTO `Old` VALUES (7)");
    test_dir::write(dir.file("tabs.txt"), "Wide\n");
    for (int mode : {0, 1}) {
        SCOPED_TRACE("mode " + std::to_string(mode));
        std::vector<std::string> args = server_args(db.name(), mode, "handmade_wide.xlsx");
        args.push_back("--tab_file=tabs.txt");
        const program_result r = run_morvante(dir, args);
        EXPECT_EQ(r.code, 255);
        EXPECT_EQ(r.out, "Error:\nWide: " + failure + "\n");
        EXPECT_EQ(db.tables(), texts{"Old"});
        EXPECT_EQ(db.rows("SELECT n FROM `Old`"), texts{"7"});
    }
    test_dir::write(dir.file("out.sql"), "-- the old dump\n");
    const program_result dumped =
        run_morvante(dir, {"--src=handmade_wide.xlsx", "--dump", "--dest=out.sql", "--tab_file=tabs.txt"});
    EXPECT_EQ(dumped.code, 255);
    EXPECT_NE(dumped.out.find(failure), std::string::npos) << dumped.out;
    EXPECT_EQ(test_dir::read(dir.file("out.sql")), "-- the old dump\n");

    // Every worksheet: the narrow one is converted, the wide one reported.
    // Mode 0 makes every table before the database's old ones go, so the
    // failure comes before the copy.
    const program_result both = run_morvante(dir, server_args(db.name(), 0, "handmade_wide.xlsx"));
    EXPECT_EQ(both.code, 1);
    EXPECT_EQ(both.out, "Converting spreadsheet handmade_wide.xlsx (2 worksheets)\nError:\nWide: " + failure +
                            "\nConverting table Narrow$\n");
    EXPECT_EQ(db.tables(), texts{"Narrow"});
    EXPECT_EQ(db.rows("SELECT n FROM `Narrow`"), texts{"1"});
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
