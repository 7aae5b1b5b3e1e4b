// MORVANTE into the live test server: the four database modes with a
// sibling table that must survive, the same table the dump road gives, and
// the failures met before a run (password, port, the server's own schemas).
#include "SQL/dmp_help.hpp"
#include "con_help.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

#ifndef RVL_EXAMPLES
#error RVL_EXAMPLES must name the folder of the sample files
#endif

namespace {

using table_rows = std::vector<std::vector<std::string>>;

struct sample_dir : test_dir {
    sample_dir() { std::filesystem::copy_file(std::string(RVL_EXAMPLES) + "/people.csv", file("people.csv")); }
};

// The database a test converts into, dropped when the test ends.
class destination {
public:
    destination() : db_name("rvl_morvante_" + std::to_string(::getpid())) { drop(); }
    ~destination() { drop(); }
    destination(const destination&) = delete;
    destination& operator=(const destination&) = delete;

    const std::string& name() const { return db_name; }
    table_rows rows(const std::string& sql) const { return test_connection(db_name).rows(sql); }
    std::string scalar(const std::string& sql) const { return rows(sql).at(0).at(0); }
    bool exists() const
    {
        return test_connection().rows("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = '" +
                                      db_name + "'")[0][0] == "1";
    }

private:
    void drop() { test_connection().execute("DROP DATABASE IF EXISTS `" + db_name + "`"); }
    std::string db_name;
};

std::vector<std::string> server_args(const std::string& database, const std::string& mode,
                                     const std::string& password, const std::string& port)
{
    const server_settings s = *test_server_settings();
    return {"--from_csv", "--src=people.csv", "--csv_delim=2", "--extr_fn", "--tab_name=people",
            "--host=127.0.0.1", "--port=" + port, "--user=" + s.user, "--pswd=" + password,
            "--dest=" + database, "--mode=" + mode};
}

std::vector<std::string> server_args(const std::string& database, const std::string& mode)
{
    const server_settings s = *test_server_settings();
    return server_args(database, mode, s.password, std::to_string(s.port));
}

const char people_order[] = "SELECT * FROM people ORDER BY id";

std::string columns_of(const destination& db)
{
    std::string text;
    for (const auto& r : db.rows("SELECT column_name, column_type FROM information_schema.columns WHERE "
                                 "table_schema = DATABASE() AND table_name = 'people' ORDER BY ordinal_position"))
        text += r[0] + " " + r[1] + "; ";
    return text;
}

TEST(ConsoleServer, TheServerGetsTheTableTheDumpDescribes)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    destination db;
    const program_result r = run_morvante(dir, server_args(db.name(), "0"));
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "Converting CSV file people.csv\n");

    ASSERT_EQ(run_morvante(dir, {"--from_csv", "--src=people.csv", "--csv_delim=2", "--extr_fn", "--tab_name=people",
                                 "--dump", "--dest=people.sql"})
                  .code,
              0);
    test_database loaded;
    std::string output;
    ASSERT_EQ(dmp_load(dir.file("people.sql"), loaded.name(), output), 0) << output;
    const table_rows from_dump = test_connection(loaded.name()).rows(people_order);
    ASSERT_EQ(from_dump.size(), 4u);
    EXPECT_EQ(db.rows(people_order), from_dump);
    const auto dump_columns = test_connection(loaded.name())
                                  .rows("SELECT column_name, column_type FROM information_schema.columns WHERE "
                                        "table_schema = DATABASE() AND table_name = 'people' ORDER BY "
                                        "ordinal_position");
    std::string expected;
    for (const auto& c : dump_columns)
        expected += c[0] + " " + c[1] + "; ";
    EXPECT_EQ(columns_of(db), expected);
}

TEST(ConsoleServer, EachModeLeavesTheOtherTablesAlone)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    destination db;
    ASSERT_EQ(run_morvante(dir, server_args(db.name(), "0")).code, 0);
    test_connection(db.name()).execute("CREATE TABLE sibling (a INT)");
    test_connection(db.name()).execute("INSERT INTO sibling VALUES (7)");
    test_connection(db.name()).execute("INSERT INTO people (id) VALUES (99)");

    struct step {
        const char* mode;
        const char* rows;  // of people after the run
    } steps[] = {
        {"1", "4"},   // the table is dropped and made again
        {"2", "8"},   // an existing table is appended to
        {"3", "12"},  // merged into
    };
    for (const step& s : steps) {
        const program_result r = run_morvante(dir, server_args(db.name(), s.mode));
        EXPECT_EQ(r.code, 0) << s.mode << r.out << r.err;
        EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM people"), s.rows) << "mode " << s.mode;
        EXPECT_EQ(db.scalar("SELECT a FROM sibling"), "7") << "mode " << s.mode;
    }
    // Mode 0 overwrites the entire database.
    ASSERT_EQ(run_morvante(dir, server_args(db.name(), "0")).code, 0);
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM people"), "4");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE()"), "1");
}

// A source read from a pipe is read once: mode 1 replaces the table with
// every row and column of what came through the pipe, not an empty table.
TEST(ConsoleServer, APipedSourceReplacesTheTableWithItsRows)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    destination db;
    ASSERT_EQ(run_morvante(dir, server_args(db.name(), "0")).code, 0);
    const std::string columns = columns_of(db);
    test_connection(db.name()).execute("INSERT INTO people (id) VALUES (99)");
    std::string command = "cat people.csv | '" + std::string(MORVANTE_PATH) + "'";
    for (std::string arg : server_args(db.name(), "1")) {
        if (arg == "--src=people.csv")
            arg = "--src=/dev/stdin";
        std::string quoted;
        for (const char c : arg)
            quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
        command += " '" + quoted + "'";
    }
    const program_result r = run_program("/bin/sh", dir, {"-c", command});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM people"), "4");
    EXPECT_EQ(columns_of(db), columns);
}

// A table name the server would refuse is made safe the same way in every
// run: mode 1 replaces that table, mode 3 appends to it.
TEST(ConsoleServer, ATableNameMadeSafeIsTheSameTableInEveryRun)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    const std::string tables = "SELECT table_name FROM information_schema.tables WHERE table_schema = DATABASE()";
    const std::string long_name(70, 'n');
    const struct {
        std::string wished;
        std::string made;
    } names[] = {{"A;b", "a_b"}, {long_name, long_name.substr(0, 63)}};
    for (const auto& n : names) {
        SCOPED_TRACE(n.wished);
        destination db;
        std::vector<std::string> args = server_args(db.name(), "1");
        std::replace(args.begin(), args.end(), std::string("--tab_name=people"), "--tab_name=" + n.wished);
        for (int run = 0; run < 2; ++run)
            ASSERT_EQ(run_morvante(dir, args).code, 0);
        EXPECT_EQ(db.rows(tables), table_rows{{n.made}});
        EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM `" + n.made + "`"), "4");
        args.back() = "--mode=3";
        ASSERT_EQ(run_morvante(dir, args).code, 0);
        EXPECT_EQ(db.rows(tables), table_rows{{n.made}});
        EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM `" + n.made + "`"), "8");
    }
}

// A value longer than TEXT takes widens its column as far as it needs, on
// the server and in the dump.
TEST(ConsoleServer, AValueLongerThanTextTakesArrivesWhole)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    test_dir::write(dir.file("people.csv"), "id,note\n1,short\n2," + std::string(100000, 'x') + "\n");
    const std::string check = "SELECT MAX(LENGTH(note)), (SELECT data_type FROM information_schema.columns WHERE "
                              "table_schema = DATABASE() AND table_name = 'people' AND column_name = 'note') "
                              "FROM people";
    {
        destination straight;
        ASSERT_EQ(run_morvante(dir, server_args(straight.name(), "0")).code, 0);
        EXPECT_EQ(straight.rows(check), (table_rows{{"100000", "mediumtext"}}));
    }
    destination dumped;
    const program_result r = run_morvante(dir, {"--from_csv", "--src=people.csv", "--csv_delim=2", "--extr_fn",
                                                "--tab_name=people", "--dump", "--dest=people.sql"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    test_connection().execute("CREATE DATABASE `" + dumped.name() + "`");
    std::string output;
    ASSERT_EQ(dmp_load(dir.file("people.sql"), dumped.name(), output), 0) << output;
    EXPECT_EQ(dumped.rows(check), (table_rows{{"100000", "mediumtext"}}));
}

// A file without rows says nothing of its columns' types: they stay texts.
TEST(ConsoleServer, ACsvFileWithoutRowsGivesTextColumns)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    destination db;
    test_dir::write(dir.file("people.csv"), "id,name\n");
    ASSERT_EQ(run_morvante(dir, server_args(db.name(), "0")).code, 0);
    for (const auto& r : db.rows("SELECT data_type FROM information_schema.columns WHERE table_schema = "
                                 "DATABASE() AND table_name = 'people'"))
        EXPECT_EQ(r[0], "varchar");
}

TEST(ConsoleServer, RowsTheServerRefusesAreReportedAndTheOthersArrive)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    destination db;
    ASSERT_EQ(run_morvante(dir, server_args(db.name(), "0")).code, 0);
    test_connection(db.name()).execute("CREATE TRIGGER refuse BEFORE INSERT ON people FOR EACH ROW IF NEW.id = 2 "
                                       "THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused row'; END IF");
    // The last gathered rows go with the run's flush: the refusal is a
    // report of the table; the run goes to its end but says it lost rows.
    const program_result r = run_morvante(dir, server_args(db.name(), "3"));
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "Converting CSV file people.csv\nError:\npeople: 1 of 4 rows were refused by the server: "
                     "record #2: refused row\n");
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM people"), "7");
}

TEST(ConsoleServer, AWrongPasswordEndsWithTheFriendlyText)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    destination db;
    const server_settings s = *test_server_settings();
    const program_result r = run_morvante(dir, server_args(db.name(), "0", "wrong-" + s.password, std::to_string(s.port)));
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.out, "Error:\nAccess denied. Verify the user name and password are correct, and you have the "
                     "necessary privileges to connect to the target MySQL server.\n");
    EXPECT_FALSE(db.exists());
}

TEST(ConsoleServer, PortsOutsideTheTcpRangeAreRefused)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    destination db;
    const server_settings s = *test_server_settings();
    for (const char* port : {"0", "65536", "abc", "33508abc"}) {
        const program_result r = run_morvante(dir, server_args(db.name(), "0", s.password, port));
        EXPECT_EQ(r.code, 255) << port;
        EXPECT_EQ(r.out, "Error:\nInvalid port number\n") << port;
    }
    EXPECT_FALSE(db.exists());
}

// Without --pswd= the client library's option file gives the password, so it
// need not be on the command line (where other users' ps shows it).
TEST(ConsoleServer, ThePasswordComesFromTheOptionFileGroup)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    destination db;
    const server_settings s = *test_server_settings();
    std::filesystem::create_directory(dir.file("home"));
    test_dir::write(dir.file("home/.my.cnf"), "[BV MySQL Lib]\npassword=" + s.password + "\n");
    std::filesystem::permissions(dir.file("home/.my.cnf"), std::filesystem::perms::owner_read |
                                                               std::filesystem::perms::owner_write);
    std::vector<std::string> args = server_args(db.name(), "0");
    std::erase_if(args, [](const std::string& a) { return a.starts_with("--pswd="); });
    const char* home = std::getenv("HOME");
    const std::string saved = home != nullptr ? home : "";
    ::setenv("HOME", dir.file("home").c_str(), 1);
    const program_result r = run_morvante(dir, args);
    ::setenv("HOME", saved.c_str(), 1);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(db.scalar("SELECT COUNT(*) FROM people"), "4");
}

TEST(ConsoleServer, ModeZeroNeverDropsTheServersOwnSchemas)
{
    RVL_NEED_TEST_SERVER();
    sample_dir dir;
    const program_result r = run_morvante(dir, server_args("mysql", "0"));
    EXPECT_EQ(r.code, 255);
    EXPECT_NE(r.out.find("belongs to the MySQL server itself"), std::string::npos) << r.out;
    EXPECT_EQ(test_connection().rows("SELECT COUNT(*) FROM mysql.user WHERE 1 = 0").size(), 1u);
}

} // namespace

// Appending into a table that lacks some of the file's columns names them
// once for the table; a table that has none of them is still refused.
TEST(ConsoleServer, AppendingNamesTheFieldsTheTableLacks)
{
    RVL_NEED_TEST_SERVER();
    const server_settings s = *test_server_settings();
    test_dir dir;
    test_dir::write(dir.file("in.csv"), "a,b,c\n1,x,y\n2,z,w\n");
    struct {
        const char* mode;
        const char* table;
        const char* told;
        table_rows rows;
    } cases[] = {
        {"--mode=2", "a INT", "The table 't' has no column for the fields 'b', 'c': their values were not converted.",
         {{"1"}, {"2"}}},
        {"--mode=3", "a INT, c TEXT", "The table 't' has no column for the field 'b': its values were not converted.",
         {{"1"}, {"2"}}},
        {"--mode=2", "x INT", "The structure of data source does not conform to the destination table.", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.table);
        destination db;
        test_connection().execute("CREATE DATABASE `" + db.name() + "`");
        test_connection(db.name()).execute("CREATE TABLE t (" + std::string(c.table) + ")");
        const program_result r = run_morvante(
            dir, {"--from_csv", "--src=in.csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--host=127.0.0.1",
                  "--port=" + std::to_string(s.port), "--user=" + s.user, "--pswd=" + s.password,
                  "--dest=" + db.name(), c.mode});
        EXPECT_EQ(r.code, 1) << r.out << r.err;
        const size_t told = r.out.find(c.told);
        EXPECT_NE(told, std::string::npos) << r.out;
        EXPECT_EQ(r.out.find(c.told, told + 1), std::string::npos) << "told twice: " << r.out;
        EXPECT_EQ(db.rows("SELECT " + std::string(c.table).substr(0, 1) + " FROM t ORDER BY 1"), c.rows);
    }
}
