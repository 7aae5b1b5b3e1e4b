// Dirty CSV files through the real program, into a dump that the mariadb
// client loads and into the live test server: the same rows on both roads,
// the messages and the exit code that say what happened on the way.
#include "SQL/dmp_help.hpp"
#include "con_help.hpp"
#include "utf16.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <unistd.h>

namespace {

using table_rows = std::vector<std::vector<std::string>>;

const std::string converting = "Converting CSV file in.csv\n";

struct dirty_case {
    const char* what;
    std::string file;
    table_rows rows;  // sorted; "NULL" for NULL
    int code;
    std::string out;  // after the "Converting" line
};

void PrintTo(const dirty_case& c, std::ostream* os) { *os << c.what; }

table_rows sorted(table_rows rows)
{
    std::sort(rows.begin(), rows.end());
    return rows;
}

// A database the server road converts into, dropped when the test ends.
class server_destination {
public:
    explicit server_destination(std::string name) : db_name(std::move(name)) { drop(); }
    ~server_destination() { drop(); }
    server_destination(const server_destination&) = delete;
    server_destination& operator=(const server_destination&) = delete;
    const std::string& name() const { return db_name; }

private:
    void drop() { test_connection().execute("DROP DATABASE IF EXISTS `" + db_name + "`"); }
    std::string db_name;
};

const std::vector<std::string> csv_args = {"--from_csv", "--src=in.csv", "--csv_delim=2", "--extr_fn",
                                           "--tab_name=t"};

std::vector<std::string> with(std::vector<std::string> base, const std::vector<std::string>& more)
{
    base.insert(base.end(), more.begin(), more.end());
    return base;
}

class dirty_csv : public testing::TestWithParam<dirty_case> {};

TEST_P(dirty_csv, dump_and_server_get_the_same_rows)
{
    const dirty_case& c = GetParam();
    test_dir dir;
    test_dir::write(dir.file("in.csv"), c.file);
    const program_result dump = run_morvante(dir, with(csv_args, {"--dump", "--dest=out.sql"}));
    EXPECT_EQ(dump.code, c.code) << dump.out << dump.err;
    EXPECT_EQ(dump.out, converting + c.out);
    EXPECT_EQ(dump.err, "");
    RVL_NEED_TEST_SERVER();
    test_database loaded;
    std::string output;
    ASSERT_EQ(dmp_load(dir.file("out.sql"), loaded.name(), output), 0) << output;
    EXPECT_EQ(sorted(test_connection(loaded.name()).rows("SELECT * FROM t")), c.rows);

    const server_settings s = *test_server_settings();
    server_destination live("rvl_csv_server_" + std::to_string(::getpid()));
    const program_result server = run_morvante(
        dir, with(csv_args, {"--host=127.0.0.1", "--port=" + std::to_string(s.port), "--user=" + s.user,
                             "--pswd=" + s.password, "--dest=" + live.name(), "--mode=0"}));
    EXPECT_EQ(server.code, c.code) << server.out << server.err;
    EXPECT_EQ(server.out, converting + c.out);
    EXPECT_EQ(sorted(test_connection(live.name()).rows("SELECT * FROM t")), c.rows);
}

INSTANTIATE_TEST_SUITE_P(
    cases, dirty_csv,
    testing::Values(
        dirty_case{"a stray quote is a character", "n,d,q\n1,12\" pipe,5\n2,x,6\n",
                   {{"1", "12\" pipe", "5"}, {"2", "x", "6"}}, 0, ""},
        dirty_case{"a quote open at the end of the file", "k,v\n1,a\n2,\"open\n3,never closed\n",
                   {{"1", "a"}, {"2", "open\n3,never closed"}}, 1,
                   "Error:\nThe CSV file 'in.csv' ends inside the quoted field opened at line 3: the rest of the file "
                   "was read into that field.\n"},
        dirty_case{"long and short records", "a,b,c\n1\n2,3,4,5\n6,7\n8,9,10,,\n11,12,13,14\n",
                   {{"1", "NULL", "NULL"}, {"11", "12", "13"}, {"2", "3", "4"}, {"6", "7", "NULL"}, {"8", "9", "10"}},
                   1,
                   "Error:\n2 records of the CSV file 'in.csv' have more fields than its 3 columns, the first at line "
                   "3; the extra fields were not converted.\n"},
        dirty_case{"blank lines after a short first record", "a,b,c\n1\n\n2,3,4\n\n\n5,6\n\n",
                   {{"1", "NULL", "NULL"}, {"2", "3", "4"}, {"5", "6", "NULL"}}, 0, ""},
        dirty_case{"CR alone ends lines", "a,b\r1,x\r2,\"y\rz\"\r", {{"1", "x"}, {"2", "y\rz"}}, 0, ""},
        dirty_case{"line ends inside quotes are the field's", "a,b\r\n1,\"x\r\ny\"\r\n2,\"c\rd\ne\"\r\n",
                   {{"1", "x\r\ny"}, {"2", "c\rd\ne"}}, 0, ""},
        dirty_case{"empty fields of typed columns are NULL",
                   "i,big,f,d,dt,t,none,txt\n1,3000000000,1.5,2024-01-31,2024-01-31 10:00:00,10:00:00,,x\n,,,,,,,y\n"
                   "7,4000000000,.5,2024-02-01,2024-02-01 11:00:00,11:30:00,,z\n",
                   {{"1", "3000000000", "1.5", "2024-01-31", "2024-01-31 10:00:00", "10:00:00", "", "x"},
                    {"7", "4000000000", "0.5", "2024-02-01", "2024-02-01 11:00:00", "11:30:00", "", "z"},
                    {"NULL", "NULL", "NULL", "NULL", "NULL", "NULL", "", "y"}},
                   0, ""},
        dirty_case{"numbers in every form a DOUBLE holds", "n,beyond\n.3134754,1e400\n1.23E-05,2\n-2.5E-3,3\n"
                   "0.00001234,4\n1e5,5\n",
                   {{"-0.0025", "3"}, {"0.0000123", "2"}, {"0.00001234", "4"}, {"0.3134754", "1e400"}, {"100000", "5"}},
                   0, ""},
        dirty_case{"UTF-16 little endian", utf16(u"name,city\r\n\u00e9,K\u00f6ln\r\n\U0001F600,\u20ac\r\n", true),
                   {{"\xC3\xA9", "K\xC3\xB6ln"}, {"\xF0\x9F\x98\x80", "\xE2\x82\xAC"}}, 0, ""},
        dirty_case{"UTF-16 big endian", utf16(u"name,city\n\u00e9,K\u00f6ln\n", false),
                   {{"\xC3\xA9", "K\xC3\xB6ln"}}, 0, ""},
        dirty_case{"Windows-1252", "name,v\nok,1\ncaf\xE9,2\n\x80 5,3\n",
                   {{"caf\xC3\xA9", "2"}, {"ok", "1"}, {"\xE2\x82\xAC 5", "3"}}, 0,
                   "Notice: The CSV file 'in.csv' is not all UTF-8: bytes that are not, the first on line 3, were "
                   "read as Windows-1252.\n"},
        dirty_case{"a stray byte is read alone as Windows-1252", "name,v\nM\xC3\xBCller Stra\xC3\x9F" "e 5 \xFF,1\n",
                   {{"M\xC3\xBCller Stra\xC3\x9F" "e 5 \xC3\xBF", "1"}}, 0,
                   "Notice: The CSV file 'in.csv' is not all UTF-8: bytes that are not, the first on line 2, were "
                   "read as Windows-1252.\n"},
        dirty_case{"quotes escaped with a backslash", "n,s\n1,\"say \\\"hi\\\"\"\n2,plain\n",
                   {{"1", "say \\hi\\\"\""}, {"2", "plain"}}, 1,
                   "Error:\n1 record of the CSV file 'in.csv' has a quote that neither doubles nor closes its quoted "
                   "field, at line 2, field 2; the field was read as it stands up to its delimiter.\n"},
        dirty_case{"UTF-16 with an odd byte at the end", utf16(u"a,b\r\n1,2\r\n", true) + "A", {{"1", "2"}}, 1,
                   "Error:\nThe CSV file 'in.csv' ends inside a UTF-16 character, at line 3; the incomplete character "
                   "was left out.\n"},
        dirty_case{"UTF-16 with half a surrogate pair", utf16(u"a\r\nx\xD800y\r\n", true), {{"x\xEF\xBF\xBDy"}}, 1,
                   "Error:\nThe CSV file 'in.csv' is not well-formed UTF-16: it holds 1 half of a surrogate pair "
                   "without the other half, the first at line 2; each was read as U+FFFD.\n"}));

// Floats as Python, pandas and JavaScript write them carry 16 or 17 digits:
// where those are the digits the double reads back as, the column is DOUBLE
// and gives every digit back; a text whose digits a double would change
// keeps its column text.
TEST(DirtyCsv, FloatsOfSeventeenDigitsAreDoublesThatKeepEveryDigit)
{
    RVL_NEED_TEST_SERVER();
    test_dir dir;
    test_dir::write(dir.file("in.csv"), "f,g\n0.30000000000000004,0.10000000000000001\n0.3333333333333333,1.5\n"
                                        "1.5,2\n");
    const server_settings s = *test_server_settings();
    server_destination live("rvl_csv_floats_" + std::to_string(::getpid()));
    const program_result r = run_morvante(
        dir, with(csv_args, {"--host=127.0.0.1", "--port=" + std::to_string(s.port), "--user=" + s.user,
                             "--pswd=" + s.password, "--dest=" + live.name(), "--mode=0"}));
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    test_connection db(live.name());
    EXPECT_EQ(db.rows("SELECT DATA_TYPE FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() AND "
                      "TABLE_NAME = 't' ORDER BY ORDINAL_POSITION"),
              (table_rows{{"double"}, {"varchar"}}));
    EXPECT_EQ(sorted(db.rows("SELECT f, g FROM t")),
              (table_rows{{"0.30000000000000004", "0.10000000000000001"}, {"0.3333333333333333", "1.5"},
                          {"1.5", "2"}}));
}

// A file with no line at all (sqlite writes no header for a table without
// rows) tells no column: no table is made, and the table of that name stays.
TEST(DirtyCsv, AnEmptyFileMakesNoTable)
{
    RVL_NEED_TEST_SERVER();
    const server_settings s = *test_server_settings();
    server_destination live("rvl_csv_empty_" + std::to_string(::getpid()));
    test_connection().execute("CREATE DATABASE `" + live.name() + "`");
    test_connection(live.name()).execute("CREATE TABLE t (k INT)");
    test_connection(live.name()).execute("INSERT INTO t VALUES (7)");
    for (const std::string content : {"", "\xEF\xBB\xBF"}) {
        test_dir dir;
        test_dir::write(dir.file("in.csv"), content);
        const program_result dump = run_morvante(dir, with(csv_args, {"--dump", "--dest=out.sql"}));
        EXPECT_EQ(dump.code, 1) << dump.out << dump.err;
        EXPECT_EQ(dump.out, "Error:\nThe CSV file 'in.csv' is empty: no table was made.\n");
        EXPECT_EQ(test_dir::read(dir.file("out.sql")).find("CREATE TABLE"), std::string::npos);
        const program_result server = run_morvante(
            dir, with(csv_args, {"--host=127.0.0.1", "--port=" + std::to_string(s.port), "--user=" + s.user,
                                 "--pswd=" + s.password, "--dest=" + live.name(), "--mode=1"}));
        EXPECT_EQ(server.code, 1) << server.out << server.err;
        EXPECT_EQ(server.out, "Error:\nThe CSV file 'in.csv' is empty: no table was made.\n");
        EXPECT_EQ(test_connection(live.name()).rows("SELECT * FROM t"), (table_rows{{"7"}}));
    }
}

// Lines that would take the memory or the time of the machine end the run
// before anything is written.
TEST(DirtyCsv, AnEndlessLineEndsTheRun)
{
    test_dir dir;
    const program_result r = run_morvante(dir, {"--from_csv", "--src=/dev/zero", "--csv_delim=2", "--extr_fn",
                                                "--tab_name=t", "--dump", "--dest=out.sql"});
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out, "Error:\nLine 1 of the CSV file '/dev/zero' is longer than 268435456 bytes.\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.sql")));
}

TEST(DirtyCsv, AHundredThousandFieldsOnALine)
{
    test_dir dir;
    std::string fields = "x";
    for (int i = 1; i < 100000; ++i)
        fields += ",x";
    test_dir::write(dir.file("in.csv"), fields + "\n");
    const program_result header = run_morvante(dir, with(csv_args, {"--dump", "--dest=out.sql"}));
    EXPECT_EQ(header.code, 255);
    EXPECT_EQ(header.out, "Error:\nLine 1 of the CSV file 'in.csv' has 100000 fields, more than any table can hold.\n");

    test_dir::write(dir.file("in.csv"), "a,b\n" + fields + "\n");
    const program_result record = run_morvante(dir, with(csv_args, {"--dump", "--dest=out.sql"}));
    EXPECT_EQ(record.code, 1);
    EXPECT_EQ(record.out, converting + "Error:\n1 record of the CSV file 'in.csv' has more fields than its 2 "
                                       "columns, at line 2; the extra fields were not converted.\n");
    RVL_NEED_TEST_SERVER();
    test_database loaded;
    std::string output;
    ASSERT_EQ(dmp_load(dir.file("out.sql"), loaded.name(), output), 0) << output;
    EXPECT_EQ(test_connection(loaded.name()).rows("SELECT * FROM t"), (table_rows{{"x", "x"}}));
}

} // namespace
