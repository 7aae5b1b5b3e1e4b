// Conversions of CSV files into dumps by the real program, each dump loaded
// into the test server with the mariadb client and read back value by value.
#include "SQL/dmp_help.hpp"
#include "con_help.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>

#if !defined(RVL_EXAMPLES) || !defined(RVL_GOLDEN)
#error RVL_EXAMPLES must name the folder of the sample files, RVL_GOLDEN the expected dump
#endif

namespace {

using table_rows = std::vector<std::vector<std::string>>;

// examples/people.csv as the server must give it back.
const table_rows people_rows = {
    {"1", "Smith, John", "3000000000", "1.5", "2024-01-31", "2024-01-31 08:30:00", "08:30:00", "007", "3:15:00 PM",
     "short"},
    {"2", "Line one\nline two", "-3000000001", "-0.25", "2023-12-01", "2023-12-01 23:59:59", "23:59:59", "010",
     "11:00:00 AM", std::string(250, 'x') + "-end:)"},
    {"3", "She said \"hi\"; ok", "9000000000", "42.125", "2000-02-29", "2000-02-29 00:00:00", "00:00:00", "099",
     "1:05:09 PM", "na\xC3\xAFve caf\xC3\xA9, \xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80"},
    {"4", "\xC3\x9Cn\xC3\xAF" "c\xC3\xB6" "d\xC3\xA9 \xE2\x80\x94 \xE2\x9C\x93 \xF0\x9F\x98\x80", "12", "0.5",
     "1999-12-31", "1999-12-31 12:00:00", "12:00:00", "123", "12:00:00 PM", "'quoted' \\ back"},
};

const std::vector<std::string> people_args = {"--from_csv", "--src=people.csv", "--csv_delim=2", "--extr_fn",
                                              "--tab_name=people", "--dump", "--dest=people.sql"};

std::vector<std::string> with(std::vector<std::string> base, std::initializer_list<std::string> more)
{
    base.insert(base.end(), more);
    return base;
}

// A folder holding the sample under the name the command lines use.
struct sample_dir : test_dir {
    sample_dir() { std::filesystem::copy_file(std::string(RVL_EXAMPLES) + "/people.csv", file("people.csv")); }
};

// The dump loaded into a database of the test's own.
class loaded_dump {
public:
    explicit loaded_dump(const std::string& dump)
    {
        std::string output;
        load_code = dmp_load(dump, db.name(), output);
        EXPECT_EQ(load_code, 0) << output;
    }
    table_rows rows(const std::string& sql) { return test_connection(db.name()).rows(sql); }
    // Column name -> data type, as the server describes the table.
    std::map<std::string, std::string> types(const std::string& table)
    {
        std::map<std::string, std::string> out;
        for (const auto& r : rows("SELECT column_name, data_type FROM information_schema.columns WHERE table_schema "
                                  "= DATABASE() AND table_name = '" + table + "'"))
            out[r[0]] = r[1];
        return out;
    }

private:
    test_database db;
    int load_code = -1;
};

// Loads the sample's dump when a test server is there and compares every
// value with the sample's.
void expect_people_arrive(const test_dir& dir)
{
    if (!test_server_settings())
        return;
    loaded_dump db(dir.file("people.sql"));
    EXPECT_EQ(db.rows("SELECT * FROM people ORDER BY CAST(id AS INT)"), people_rows);
}

// The text of a dump without its creation date, which changes daily.
std::string without_date(std::string dump)
{
    const size_t at = dump.find("# Creation date: ");
    if (at != std::string::npos)
        dump.erase(at, dump.find('\n', at) - at);
    return dump;
}

} // namespace

TEST(ConsoleRun, SampleMatchesTheGoldenDump)
{
    sample_dir dir;
    const program_result r = run_morvante(dir, people_args);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Converting CSV file people.csv\n");
    EXPECT_EQ(r.err, "");
    const std::string golden = test_dir::read(std::string(RVL_GOLDEN));
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(without_date(test_dir::read(dir.file("people.sql"))), without_date(golden));
    expect_people_arrive(dir);
}

TEST(ConsoleRun, EveryValueArrivesAndColumnsAreRefined)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    ASSERT_EQ(run_morvante(dir, people_args).code, 0);
    loaded_dump db(dir.file("people.sql"));
    EXPECT_EQ(db.rows("SELECT * FROM people ORDER BY id"), people_rows);
    const std::map<std::string, std::string> expected = {
        {"id", "int"},    {"name", "varchar"}, {"big", "bigint"},  {"price", "double"},       {"born", "date"},
        {"seen", "datetime"}, {"at", "time"},  {"code", "varchar"}, {"local time", "varchar"}, {"long note", "text"}};
    EXPECT_EQ(db.types("people"), expected);
}

TEST(ConsoleRun, WithoutRefinementColumnsStayTexts)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    const program_result r = run_morvante(dir, with(people_args, {"--no_refine"}));
    ASSERT_EQ(r.code, 0) << r.out;
    EXPECT_EQ(test_dir::read(dir.file("people.sql")).find("MODIFY"), std::string::npos);
    loaded_dump db(dir.file("people.sql"));
    EXPECT_EQ(db.rows("SELECT * FROM people ORDER BY CAST(id AS INT)"), people_rows);
    for (const auto& [column, type] : db.types("people"))
        EXPECT_EQ(type, column == "long note" ? "text" : "varchar") << column;
}

// Values that a stricter type would change keep their column a text; names
// that only pass quoted still widen.
TEST(ConsoleRun, RefinementNeverChangesAValue)
{
    RVL_NEED_TEST_SERVER();
    test_dir dir;
    const std::string long_value(300, 'y');
    const table_rows rows = {
        {"01", "3:15:00 PM", "1.50", "", "9007199254740993", "2024-01-31", "1e5", "-0", long_value},
        {"2", "10:00:00", "2.5", "5", "0.5", "31/01/2024", "2", "1", "z"},
    };
    std::string csv = "zero;tm;trailing;empty;big;dt;exp;neg;order\n";
    for (const auto& row : rows) {
        for (size_t i = 0; i < row.size(); ++i)
            csv += (i ? ";" : "") + row[i];
        csv += "\n";
    }
    test_dir::write(dir.file("guard.csv"), csv);
    const program_result r = run_morvante(dir, {"--from_csv", "--src=guard.csv", "--csv_delim=1", "--extr_fn",
                                                "--tab_name=select", "--dump", "--dest=guard.sql"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    loaded_dump db(dir.file("guard.sql"));
    // A zero ending a fraction is no part of the number: 1.50 is the number
    // 1.5, as 1e5 is 100000; an empty field of a number column is NULL.
    table_rows numbers = rows;
    numbers[0][2] = "1.5";
    numbers[0][3] = "NULL";
    numbers[0][6] = "100000";
    EXPECT_EQ(db.rows("SELECT * FROM `select` ORDER BY `trailing`"), numbers);
    for (const auto& [column, type] : db.types("select"))
        EXPECT_EQ(type, column == "order"                         ? "text"
                        : column == "trailing" || column == "exp" ? "double"
                        : column == "empty"                       ? "int"
                                                                  : "varchar")
            << column;
}

TEST(ConsoleRun, SilentPrintsNothingAndTheLogFramesTheRun)
{
    sample_dir dir;
    const program_result r =
        run_morvante(dir, with(people_args, {"--silent", "--logfile=run.log", "--pswd=hush-hush-42"}));
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "people.sql"));
    const std::string log = test_dir::read(dir.file("run.log"));
    const size_t started = log.find("Conversion started on ");
    const size_t ended = log.find("Conversion ended on ");
    ASSERT_NE(started, std::string::npos) << log;
    ASSERT_NE(ended, std::string::npos) << log;
    EXPECT_LT(started, ended);
    EXPECT_EQ(log.find("hush-hush-42"), std::string::npos);
    // The log and the dump's header write a date in one form, YYYY-MM-DD.
    const std::string dump = test_dir::read(dir.file("people.sql"));
    for (const char* moment : {"started", "ended"})
        EXPECT_TRUE(std::regex_search(log, std::regex(std::string("Conversion ") + moment +
                                                      " on [0-9]{4}-[0-9]{2}-[0-9]{2} at [0-9]{2}:[0-9]{2}:[0-9]{2}")))
            << log;
    EXPECT_TRUE(std::regex_search(dump, std::regex("# Creation date: [0-9]{4}-[0-9]{2}-[0-9]{2}\r?\n"))) << dump;
    expect_people_arrive(dir);
}

// A table an appending dump makes where none is gets the types refined from
// the values, in either appending mode: the two dumps are one.
TEST(ConsoleRun, MergeModeRefinesTheTableItMakes)
{
    sample_dir dir;
    ASSERT_EQ(run_morvante(dir, with(people_args, {"--mode=2"})).code, 0);
    const std::string skipping = dmp_without_date(test_dir::read(dir.file("people.sql")));
    ASSERT_EQ(run_morvante(dir, with(people_args, {"--mode=3"})).code, 0);
    const std::string dump = test_dir::read(dir.file("people.sql"));
    EXPECT_EQ(dmp_without_date(dump), skipping);
    EXPECT_EQ(dump.find("CHANGE `long note`"), std::string::npos);
    EXPECT_NE(dump.find("CREATE TABLE IF NOT EXISTS"), std::string::npos);
    expect_people_arrive(dir);
}

