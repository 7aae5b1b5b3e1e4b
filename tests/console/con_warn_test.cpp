// What a run into the live server must not keep quiet: values the server
// changed, rows it skipped as duplicates, a worksheet that failed. Each ends
// in the exit code: 1 for a failure reported, 0 for a notice alone.
#include "con_help.hpp"
#include "server_env.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#ifndef RVL_WORKBOOKS
#error RVL_WORKBOOKS must name the folder of the workbook fixtures
#endif

namespace {

using table_rows = std::vector<std::vector<std::string>>;

// A database of the test's own, made empty before and dropped after.
class scratch {
public:
    scratch() : db_name("rvl_truth_" + std::to_string(::getpid()))
    {
        drop();
        test_connection().execute("CREATE DATABASE `" + db_name + "`");
    }
    ~scratch() { drop(); }
    scratch(const scratch&) = delete;
    scratch& operator=(const scratch&) = delete;

    const std::string& name() const { return db_name; }
    void execute(const std::string& sql) const { test_connection(db_name).execute(sql); }
    table_rows rows(const std::string& sql) const { return test_connection(db_name).rows(sql); }

private:
    void drop() { test_connection().execute("DROP DATABASE IF EXISTS `" + db_name + "`"); }
    std::string db_name;
};

std::vector<std::string> server_args(const std::string& database, const std::vector<std::string>& source)
{
    const server_settings s = *test_server_settings();
    std::vector<std::string> args = source;
    args.insert(args.end(), {"--host=127.0.0.1", "--port=" + std::to_string(s.port), "--user=" + s.user,
                             "--pswd=" + s.password, "--dest=" + database, "--mode=3"});
    return args;
}

const std::vector<std::string> csv_source = {"--from_csv", "--src=w.csv", "--csv_delim=2", "--extr_fn",
                                             "--tab_name=w"};

TEST(ConsoleTruth, ValuesTheServerChangedAreFailuresAndDuplicateKeysANotice)
{
    RVL_NEED_TEST_SERVER();
    test_dir dir;
    scratch db;
    db.execute("CREATE TABLE w (id INT PRIMARY KEY, n INT)");
    db.execute("INSERT INTO w VALUES (3, 30)");
    test_dir::write(dir.file("w.csv"), "id,n\n1,abc\n2,99999999999\n3,7\n4,4\n");
    const program_result r = run_morvante(dir, server_args(db.name(), csv_source));
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    // One report for the statement, naming each record; the duplicate is told
    // apart, as a notice.
    for (const char* part : {"Error:\nw: 2 values were changed by the server: record #1: Incorrect integer value: "
                             "'abc' for column ",
                             " record #2: Out of range value for column 'n'\n",
                             "Notice: w: 1 row was skipped because its key was already in the table (first: "
                             "Duplicate entry '3' for key 'PRIMARY')\n"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\nin:\n" << r.out;
    EXPECT_EQ(db.rows("SELECT * FROM w ORDER BY id"),
              (table_rows{{"1", "0"}, {"2", "2147483647"}, {"3", "30"}, {"4", "4"}}));

    // Only duplicates: nothing was lost that the user did not ask to skip.
    test_dir::write(dir.file("w.csv"), "id,n\n3,30\n4,4\n");
    const program_result again = run_morvante(dir, server_args(db.name(), csv_source));
    EXPECT_EQ(again.code, 0) << again.out << again.err;
    EXPECT_EQ(again.out, "Converting CSV file w.csv\nNotice: w: 2 rows were skipped because their keys were already "
                         "in the table (first: Duplicate entry '3' for key 'PRIMARY')\n");
}

TEST(ConsoleTruth, AWorksheetThatFailsIsReportedAndTheOthersAreConverted)
{
    RVL_NEED_TEST_SERVER();
    test_dir dir;
    std::filesystem::copy_file(std::string(RVL_WORKBOOKS) + "/sheetjs.xlsx", dir.file("sheetjs.xlsx"));
    scratch db;
    db.execute("CREATE TABLE Data (unrelated INT)");  // merging into it cannot work
    const program_result r = run_morvante(dir, server_args(db.name(), {"--src=sheetjs.xlsx", "--extr_fn"}));
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    EXPECT_NE(r.out.find("Error:\nData: The structure of data source does not conform to the destination table."),
              std::string::npos)
        << r.out;
    EXPECT_EQ(db.rows("SELECT COUNT(*) FROM Data"), table_rows{{"0"}});
    EXPECT_EQ(db.rows("SELECT COUNT(*) FROM `Other sheet`"), table_rows{{"1"}});
}

} // namespace
