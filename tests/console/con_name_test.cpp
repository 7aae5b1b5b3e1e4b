// Names as the server compares them, through the real program into the live
// test server and into dumps loaded there: column names the server keeps
// apart stay apart, repeated headers are numbered without growing, a
// worksheet's table name does not hang on the other worksheets, and a table
// name fits the file name the server writes for it.
#include "SQL/dmp_help.hpp"
#include "con_db.hpp"
#include "con_help.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#ifndef RVL_WORKBOOKS
#error RVL_WORKBOOKS must name the folder of the workbook fixtures
#endif

namespace {

// The table's column names in their order.
texts columns(const scratch_db& db, const std::string& table)
{
    return db.rows("SELECT column_name FROM information_schema.columns WHERE table_schema = DATABASE() AND "
                   "CAST(table_name AS BINARY) = '" + table + "' ORDER BY ordinal_position");
}

// The tables in the order of their names' bytes: the server's own order
// takes Ano and A\u00f1o as one.
texts tables(const scratch_db& db)
{
    texts names = db.tables();
    std::sort(names.begin(), names.end());
    return names;
}

// Loads the dump into the database, made for it.
void load(const scratch_db& db, const std::string& dump)
{
    db.create();
    std::string output;
    EXPECT_EQ(dmp_load(dump, db.name(), output), 0) << output;
}

std::vector<std::string> server_args(std::vector<std::string> args, const scratch_db& db, int mode)
{
    const server_settings s = *test_server_settings();
    args.insert(args.end(), {"--host=127.0.0.1", "--port=" + std::to_string(s.port), "--user=" + s.user,
                             "--pswd=" + s.password, "--dest=" + db.name(), "--mode=" + std::to_string(mode)});
    return args;
}

std::vector<std::string> csv_args(const std::string& table)
{
    return {"--from_csv", "--src=in.csv", "--csv_delim=2", "--extr_fn", "--tab_name=" + table};
}

std::vector<std::string> to_dump(std::vector<std::string> args)
{
    args.insert(args.end(), {"--dump", "--dest=out.sql"});
    return args;
}

// A CSV file into a dump loaded into one database, and straight into the
// other (mode 0).
void convert_both_ways(const std::string& csv, const std::string& table, const scratch_db& dumped,
                       const scratch_db& straight)
{
    test_dir dir;
    test_dir::write(dir.file("in.csv"), csv);
    const program_result dump = run_morvante(dir, to_dump(csv_args(table)));
    EXPECT_EQ(dump.code, 0) << dump.out << dump.err;
    load(dumped, dir.file("out.sql"));
    const program_result served = run_morvante(dir, server_args(csv_args(table), straight, 0));
    EXPECT_EQ(served.code, 0) << served.out << served.err;
}

} // namespace

// Hangul words of one first consonant, kana with and without their voicing
// marks are names of their own; letters alike but for accents are one name
// to the server and are numbered.
TEST(ConsoleNames, ColumnNamesTheServerKeepsApartStayApart)
{
    RVL_NEED_TEST_SERVER();
    scratch_db dumped("cols_dump"), straight("cols_server");
    convert_both_ways("\xEA\xB0\x80\xEA\xB2\xA9,\xEA\xB0\x80\xEA\xB5\xAC,\xE3\x82\xAC\xE3\x82\xB9,"
                      "\xE3\x82\xAB\xE3\x82\xB9,\xC3\xA9,E\n1,2,3,4,5,6\n",
                      "t", dumped, straight);
    const texts names = {"\xEA\xB0\x80\xEA\xB2\xA9", "\xEA\xB0\x80\xEA\xB5\xAC", "\xE3\x82\xAC\xE3\x82\xB9",
                         "\xE3\x82\xAB\xE3\x82\xB9", "\xC3\xA9", "E_1"};
    for (const scratch_db* db : {&dumped, &straight}) {
        EXPECT_EQ(columns(*db, "t"), names) << db->name();
        EXPECT_EQ(db->rows("SELECT * FROM t"), texts{"1|2|3|4|5|6"}) << db->name();
    }
}

// 850 columns headed x: x, x_1 ... x_849, a table the server creates.
TEST(ConsoleNames, RepeatedHeadersAreNumberedFromTheNameItself)
{
    RVL_NEED_TEST_SERVER();
    std::string header = "x", row = "1";
    for (int i = 1; i < 850; ++i) {
        header += ",x";
        row += "," + std::to_string(i + 1);
    }
    scratch_db dumped("repeats_dump"), straight("repeats_server");
    convert_both_ways(header + "\n" + row + "\n", "t", dumped, straight);
    for (const scratch_db* db : {&dumped, &straight}) {
        const texts names = columns(*db, "t");
        ASSERT_EQ(names.size(), 850u) << db->name();
        EXPECT_EQ(names[0], "x");
        EXPECT_EQ(names[1], "x_1");
        EXPECT_EQ(names[849], "x_849");
        EXPECT_EQ(db->rows("SELECT x, x_1, x_849 FROM t"), texts{"1|2|850"}) << db->name();
    }
}

// Each '-' takes five bytes of the server's file name ("@002d"): sixty make
// no file, so the name is cut to the fifty that do.
TEST(ConsoleNames, ATableNameIsCutSoItsFileNameFits)
{
    RVL_NEED_TEST_SERVER();
    scratch_db dumped("file_dump"), straight("file_server");
    convert_both_ways("n\n1\n", std::string(60, '-'), dumped, straight);
    for (const scratch_db* db : {&dumped, &straight}) {
        EXPECT_EQ(db->tables(), texts{std::string(50, '-')}) << db->name();
        EXPECT_EQ(db->rows("SELECT n FROM `" + std::string(50, '-') + "`"), texts{"1"}) << db->name();
    }
}

// Ano and A\u00f1o are two tables to the server, each named after its
// worksheet whatever else the run converts: a later run of A\u00f1o alone
// finds its table, which mode 2 skips and mode 3 appends to. The worksheet of 70 CJK characters
// gets a table whose file name fits.
TEST(ConsoleNames, AWorksheetsTableNameHangsOnNoOtherWorksheet)
{
    RVL_NEED_TEST_SERVER();
    test_dir dir;
    std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/handmade_tables.xlsx", dir.file("t.xlsx"));
    const std::string cjk50 = [] {
        std::string name;
        for (int i = 0; i < 50; ++i)
            name += "\xE4\xB8\xAD";
        return name;
    }();
    const texts sheets = {"Ano", "A\xC3\xB1o", cjk50};
    const std::vector<std::string> book = {"--src=t.xlsx", "--extr_fn"};

    scratch_db dumped("book_dump");
    const program_result dump = run_morvante(dir, to_dump(book));
    EXPECT_EQ(dump.code, 0) << dump.out << dump.err;
    load(dumped, dir.file("out.sql"));

    scratch_db straight("book_server");
    const program_result first = run_morvante(dir, server_args(book, straight, 3));
    EXPECT_EQ(first.code, 0) << first.out << first.err;
    test_dir::write(dir.file("tabs.txt"), "A\xC3\xB1o\n");
    std::vector<std::string> alone = book;
    alone.push_back("--tab_file=tabs.txt");
    const program_result second = run_morvante(dir, server_args(alone, straight, 2));
    EXPECT_EQ(second.code, 0) << second.out << second.err;

    for (const scratch_db* db : {&dumped, &straight}) {
        EXPECT_EQ(tables(*db), sheets) << db->name();
        EXPECT_EQ(db->rows("SELECT (SELECT GROUP_CONCAT(n) FROM `A\xC3\xB1o`), (SELECT n FROM `" + cjk50 + "`)"),
                  texts{"2|3"})
            << db->name();
        EXPECT_EQ(columns(*db, "Ano"), (texts{"\xEA\xB0\x80\xEA\xB2\xA9", "\xEA\xB0\x80\xEA\xB5\xAC",
                                             "\xE3\x82\xAC\xE3\x82\xB9", "\xE3\x82\xAB\xE3\x82\xB9"}))
            << db->name();
    }

    // Mode 3 appends to that same table.
    const program_result appended = run_morvante(dir, server_args(alone, straight, 3));
    EXPECT_EQ(appended.code, 0) << appended.out << appended.err;
    EXPECT_EQ(tables(straight), sheets);
    EXPECT_EQ(straight.rows("SELECT GROUP_CONCAT(n) FROM `A\xC3\xB1o`"), texts{"2,2"});
}
