// MORVANTE appending into tables that were there before the run (modes 2 and
// 3): the file's fields go to the columns of their names, a column is widened
// only where it is too narrow and keeps the rest of its definition, a user
// with fewer privileges keeps the rows the server lets in, and an appending
// dump loads into the table it was made for.
#include "SQL/dmp_help.hpp"
#include "con_help.hpp"

#include <gtest/gtest.h>
#include <mysql.h>

#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

namespace {

using table_rows = std::vector<std::vector<std::string>>;

// The database of one case, dropped when it goes.
class destination {
public:
    destination() : db_name("rvl_append_" + std::to_string(::getpid())) { reset(); }
    ~destination() { test_connection().execute("DROP DATABASE IF EXISTS `" + db_name + "`"); }
    destination(const destination&) = delete;
    destination& operator=(const destination&) = delete;

    void reset()
    {
        test_connection().execute("DROP DATABASE IF EXISTS `" + db_name + "`");
        test_connection().execute("CREATE DATABASE `" + db_name + "`");
    }
    const std::string& name() const { return db_name; }
    void execute(const std::string& sql) const { test_connection(db_name).execute(sql); }
    table_rows rows(const std::string& sql) const { return test_connection(db_name).rows(sql); }

private:
    std::string db_name;
};

// A user of the test server allowed only the given privileges on one
// database, made through the root socket and dropped when it goes.
class limited_user {
public:
    limited_user(const std::string& database, const std::string& privileges)
    {
        root("CREATE USER '" + name + "'@'127.0.0.1' IDENTIFIED BY '" + password + "'");
        root("GRANT " + privileges + " ON `" + database + "`.* TO '" + name + "'@'127.0.0.1'");
    }
    ~limited_user() { root("DROP USER IF EXISTS '" + name + "'@'127.0.0.1'"); }
    limited_user(const limited_user&) = delete;
    limited_user& operator=(const limited_user&) = delete;

    const std::string name = "rvl_limited_" + std::to_string(::getpid());
    const std::string password = "limited_pw";

private:
    static void root(const std::string& sql)
    {
        std::unique_ptr<MYSQL, void (*)(MYSQL*)> c(mysql_init(nullptr), mysql_close);
        const std::string socket = test_server_settings()->socket;
        ASSERT_NE(mysql_real_connect(c.get(), nullptr, "root", nullptr, nullptr, 0, socket.c_str(), 0), nullptr)
            << mysql_error(c.get());
        ASSERT_EQ(mysql_query(c.get(), sql.c_str()), 0) << mysql_error(c.get());
    }
};

std::vector<std::string> csv_args(const destination& db, const std::string& mode, const std::string& user = "",
                                  const std::string& password = "")
{
    const server_settings s = *test_server_settings();
    return {"--from_csv", "--src=in.csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--host=127.0.0.1",
            "--port=" + std::to_string(s.port), "--user=" + (user.empty() ? s.user : user),
            "--pswd=" + (user.empty() ? s.password : password), "--dest=" + db.name(), "--mode=" + mode};
}

size_t count_of(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Type, collation, NULL, default and comment of each column, in order.
table_rows definitions(const destination& db)
{
    return db.rows("SELECT column_name, column_type, IFNULL(collation_name, ''), is_nullable, "
                   "IFNULL(column_default, 'none'), column_comment FROM information_schema.columns WHERE "
                   "table_schema = DATABASE() AND table_name = 't' ORDER BY ordinal_position");
}

// Appends the CSV text, in mode 3, into a table t made by the definition, as
// a user allowed only the given privileges on the database.
program_result append_as(const destination& db, const std::string& definition, const std::string& privileges,
                         const std::string& csv)
{
    test_dir dir;
    test_dir::write(dir.file("in.csv"), csv);
    db.execute("CREATE TABLE t (" + definition + ")");
    const limited_user user(db.name(), privileges);
    return run_morvante(dir, csv_args(db, "3", user.name, user.password));
}

} // namespace

// A long value widens the column it is written to, found by name wherever
// the file has it, and the column keeps all but its type; a column of
// another type is never made text.
TEST(ConsoleAppend, ALongValueWidensItsOwnColumnWhichKeepsItsDefinition)
{
    RVL_NEED_TEST_SERVER();
    test_dir dir;
    const std::string long_text(300, 'a');
    test_dir::write(dir.file("in.csv"), "c,a,b\nshort," + long_text + ",7\n");
    for (const char* mode : {"2", "3"}) {
        SCOPED_TRACE(mode);
        destination db;
        db.execute("CREATE TABLE t (a VARCHAR(255) CHARACTER SET latin1 COLLATE latin1_general_ci NOT NULL "
                   "DEFAULT 'd' COMMENT 'kept', b INT, c VARCHAR(20) NOT NULL)");
        const program_result r = run_morvante(dir, csv_args(db, mode));
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_EQ(definitions(db), (table_rows{{"a", "text", "latin1_general_ci", "NO", "'d'", "kept"},
                                               {"b", "int(11)", "", "YES", "NULL", ""},
                                               {"c", "varchar(20)", "utf8mb4_general_ci", "NO", "none", ""}}));
        EXPECT_EQ(db.rows("SELECT LENGTH(a), b, c FROM t"), (table_rows{{"300", "7", "short"}}));
    }
}

// A column that already holds the long values is left alone: a user who may
// only read and insert keeps every row.
TEST(ConsoleAppend, AColumnWideEnoughIsNeverAltered)
{
    RVL_NEED_TEST_SERVER();
    std::string text = "a,b\n";
    for (int i = 0; i < 15; ++i)
        text += (i % 3 == 0 ? std::string("short") : std::string(300 + i, 'x')) + "," + std::to_string(i) + "\n";
    destination db;
    const program_result r = append_as(db, "a TEXT, b INT", "SELECT, INSERT", text);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_EQ(db.rows("SELECT COUNT(*), SUM(LENGTH(a) > 255) FROM t"), (table_rows{{"15", "10"}}));
    EXPECT_EQ(definitions(db)[0][1], "text");
}

// The file's fields find the table's columns by name (exactly first, then as
// the server compares names) before any header is renamed; fields without a
// column are named, and only a file of none of the table's columns is
// refused.
TEST(ConsoleAppend, FieldsGoToTheColumnsOfTheirNames)
{
    RVL_NEED_TEST_SERVER();
    struct {
        const char* table;
        const char* csv;
        int code;
        const char* told;  // empty: nothing
        const char* select;
        table_rows rows;
    } cases[] = {
        {"a INT, b INT, c INT", "b,z\n1,x\n2,y\n", 1,
         "The table 't' has no column for the field 'z': its values were not converted.",
         "SELECT a, b, c FROM t ORDER BY b",
         {{"NULL", "1", "NULL"}, {"NULL", "2", "NULL"}}},
        // Two names the server holds apart in CREATE TABLE though its
        // comparison makes them one: each header keeps its own column.
        {"`\xC3\xA9` INT, `\xC3\xA8` INT", "\xC3\xA8,\xC3\xA9\n1,2\n", 0, "",
         "SELECT `\xC3\xA9`, `\xC3\xA8` FROM t", {{"2", "1"}}},
        {"Name VARCHAR(9), Stra\xC3\x9F" "e VARCHAR(9)", "NAME,STRASSE\nx,y\n", 1,
         "The table 't' has no column for the field 'STRASSE'", "SELECT Name, Stra\xC3\x9F" "e FROM t",
         {{"x", "NULL"}}},
        {"x INT", "a,b\n1,2\n", 1, "The structure of data source does not conform to the destination table.",
         "SELECT x FROM t", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.csv);
        test_dir dir;
        test_dir::write(dir.file("in.csv"), c.csv);
        destination db;
        db.execute("CREATE TABLE t (" + std::string(c.table) + ")");
        const program_result r = run_morvante(dir, csv_args(db, "3"));
        EXPECT_EQ(r.code, c.code) << r.out << r.err;
        if (*c.told != '\0') {
            EXPECT_EQ(count_of(r.out, c.told), 1u) << r.out;
        }
        EXPECT_EQ(db.rows(c.select), c.rows);
    }
}

// A CSV profile's mode stands unless --mode= is given, wherever it stands.
TEST(ConsoleAppend, AProfilesModeStandsUnlessTheCommandLineGivesOne)
{
    RVL_NEED_TEST_SERVER();
    const server_settings s = *test_server_settings();
    struct {
        const char* profile_mode;
        std::vector<std::string> args;
        const char* rows;
    } cases[] = {
        {"mode=3\n", {"--profile=job.rvl"}, "3"},
        {"mode=3\n", {"--mode=1", "--profile=job.rvl"}, "2"},
        {"mode=1\n", {"--profile=job.rvl", "--mode=3"}, "3"},
        {"", {"--profile=job.rvl"}, "2"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.profile_mode) + c.args.back());
        destination db;
        db.execute("CREATE TABLE t (a INT, b VARCHAR(9))");
        db.execute("INSERT INTO t VALUES (0, 'kept')");
        test_dir dir;
        test_dir::write(dir.file("in.csv"), "a,b\n1,x\n2,y\n");
        test_dir::write(dir.file("job.rvl"),
                        "[Generic settings]\nsrc=in.csv\ndest=" + db.name() + "\n" + c.profile_mode +
                            "\n[MS Excel settings]\nconvert from xls=0\nextract field names=1\ncsv table name=t\n"
                            "csv delimiter=2\n\n[MySQL settings]\ndirect mode=1\nhost=127.0.0.1\nport=" +
                            std::to_string(s.port) + "\nuser=" + s.user + "\npassword=" + s.password + "\n");
        const program_result r = run_morvante(dir, c.args);
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_EQ(db.rows("SELECT COUNT(*) FROM t")[0][0], c.rows);
    }
}

// An appending dump defines its table with the refined types and writes a
// blank of a number or date column as NULL: it loads into the table it was
// made for and makes that table where none is.
TEST(ConsoleAppend, AnAppendingDumpLoadsIntoTheTableItWasMadeFor)
{
    RVL_NEED_TEST_SERVER();
    test_dir dir;
    test_dir::write(dir.file("in.csv"), "i,d\n1,2020-01-02\n,\n3,\n");
    for (const char* mode : {"2", "3"}) {
        SCOPED_TRACE(mode);
        const program_result r = run_morvante(
            dir, {"--from_csv", "--src=in.csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--dump",
                  "--dest=out.sql", std::string("--mode=") + mode});
        ASSERT_EQ(r.code, 0) << r.out << r.err;
        for (const bool existing : {true, false}) {
            SCOPED_TRACE(existing ? "into the existing table" : "into none");
            destination db;
            if (existing)
                db.execute("CREATE TABLE t (i INT, d DATE)");
            std::string output;
            EXPECT_EQ(dmp_load(dir.file("out.sql"), db.name(), output), 0) << output;
            EXPECT_EQ(db.rows("SELECT i, d FROM t ORDER BY d IS NULL, d, i IS NULL, i"),
                      (table_rows{{"1", "2020-01-02"}, {"3", "NULL"}, {"NULL", "NULL"}}));
            EXPECT_EQ(definitions(db)[0][1], "int(11)");
            EXPECT_EQ(definitions(db)[1][1], "date");
        }
    }
}

// A user without a privilege the table needs: the table ends at the first
// refusal with one message, not one a row, and keeps the rows written before.
TEST(ConsoleAppend, AMissingPrivilegeEndsTheTableWithOneMessage)
{
    RVL_NEED_TEST_SERVER();
    std::string numbered = "a,b\n";
    for (int i = 0; i < 3000; ++i)
        numbered += std::to_string(i) + ",v" + std::to_string(i) + "\n";
    std::string long_later = "a,b\nx,1\ny,2\nz,3\n";
    for (int i = 0; i < 5; ++i)
        long_later += std::string(300, 'l') + "," + std::to_string(i) + "\n";
    struct {
        const char* definition;
        const char* privileges;
        const std::string& csv;
        const char* denied;
        int64_t first_lost;
        const char* rows;
        // What the run says the table holds.
        std::string (*held)(const std::string& database);
    } cases[] = {
        {"a INT, b VARCHAR(9)", "SELECT", numbered, "INSERT command denied", 1, "0",
         [](const std::string& d) {
             return "Nothing was changed in the database '" + d + "'.\nLeft as it was: table '" + d + ".t'.\n";
         }},
        {"a VARCHAR(255), b INT", "SELECT, INSERT", long_later, "ALTER command denied", 4, "3",
         [](const std::string& d) {
             return "Nothing was dropped.\nWritten: table '" + d + ".t' (3 rows appended before the failure).\n";
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.denied);
        destination db;
        const program_result r = append_as(db, c.definition, c.privileges, c.csv);
        EXPECT_EQ(r.code, 1) << r.out << r.err;
        EXPECT_EQ(count_of(r.out, c.denied), 1u) << r.out;
        EXPECT_EQ(count_of(r.out, "for table `" + db.name() + "`.`t`; the rows from record #" +
                                      std::to_string(c.first_lost) + " on were not written."),
                  1u)
            << r.out;
        EXPECT_EQ(db.rows("SELECT COUNT(*) FROM t")[0][0], c.rows);
        EXPECT_NE(r.err.find(c.held(db.name())), std::string::npos) << r.err;
    }
}

// A row the server refuses is named by its record and is not in the table;
// a trigger's work for it goes with it. A value the server changes is named
// as a changed value, and the row is there. Foreign keys are checked.
TEST(ConsoleAppend, TheServersRefusalsAreNamedByRecordAndNoRowIsSkippedUnseen)
{
    RVL_NEED_TEST_SERVER();
    struct {
        const char* what;
        std::vector<std::string> before;  // statements run before the table is made
        const char* definition;
        const char* csv;
        const char* report;
        table_rows rows;
    } cases[] = {
        {"check", {}, "id INT, v INT, CHECK (v > 0)", "id,v\n1,1\n2,-1\n3,3\n",
         "1 of 3 rows were refused by the server: record #2: CONSTRAINT", {{"1", "1"}, {"3", "3"}}},
        {"foreign key", {"CREATE TABLE p (id INT PRIMARY KEY)", "INSERT INTO p VALUES (1)"},
         "id INT, pid INT, FOREIGN KEY (pid) REFERENCES p (id)", "id,pid\n1,1\n2,9\n3,1\n",
         "1 of 3 rows were refused by the server: record #2: Cannot add or update a child row",
         {{"1", "1"}, {"3", "1"}}},
        // The value the server would put in its place breaks the constraint.
        {"changed value refused", {}, "id INT, v TINYINT, CHECK (v > 0)", "id,v\n1,1\n2,-999\n3,3\n",
         "1 of 3 rows were refused by the server: record #2: Out of range value for column 'v'",
         {{"1", "1"}, {"3", "3"}}},
        {"blank", {}, "id INT, n INT NOT NULL, s VARCHAR(5)", "id,n,s\n1,5,a\n2,,b\n",
         "1 value was changed by the server: record #2: Column 'n' cannot be null", {{"1", "5", "a"}, {"2", "0", "b"}}},
    };
    for (const auto& c : cases) {
        for (const char* mode : {"2", "3"}) {
            SCOPED_TRACE(std::string(c.what) + ", mode " + mode);
            destination db;
            test_dir dir;
            test_dir::write(dir.file("in.csv"), c.csv);
            for (const std::string& statement : c.before)
                db.execute(statement);
            db.execute(std::string("CREATE TABLE t (") + c.definition + ")");
            db.execute("CREATE TABLE audit (id INT)");
            db.execute("CREATE TRIGGER t_audit BEFORE INSERT ON t FOR EACH ROW INSERT INTO audit VALUES (NEW.id)");
            const program_result r = run_morvante(dir, csv_args(db, mode));
            EXPECT_EQ(r.code, 1) << r.out << r.err;
            EXPECT_EQ(count_of(r.out, c.report), 1u) << r.out;
            EXPECT_EQ(db.rows("SELECT * FROM t ORDER BY id"), c.rows);
            EXPECT_EQ(db.rows("SELECT COUNT(*) FROM audit")[0][0], std::to_string(c.rows.size()));
        }
    }
}

// A table that fills keeps the rows the server took: the report counts
// them and names the first record that is not in the table.
TEST(ConsoleAppend, AFullTableSaysHowManyRowsItTookAndWhereItStopped)
{
    RVL_NEED_TEST_SERVER();
    std::string csv = "id,v\n";
    for (int i = 1; i <= 5000; ++i)
        csv += std::to_string(i) + ",value " + std::to_string(i) + "\n";
    destination db;
    test_dir dir;
    test_dir::write(dir.file("in.csv"), csv);
    db.execute("CREATE TABLE t (id INT, v VARCHAR(20)) ENGINE=MEMORY MAX_ROWS=1000");
    const program_result r = run_morvante(dir, csv_args(db, "3"));
    EXPECT_EQ(r.code, 1) << r.out << r.err;
    const table_rows held = db.rows("SELECT COUNT(*), MIN(id), MAX(id) FROM t");
    const int64_t taken = std::stoll(held[0][0]);
    ASSERT_GT(taken, 0);
    ASSERT_LT(taken, 5000);
    EXPECT_EQ(held[0][1], "1");
    EXPECT_EQ(held[0][2], held[0][0]);  // the first rows, each once
    EXPECT_EQ(count_of(r.out, "The table 't' is full; the rows from record #" + std::to_string(taken + 1) +
                                  " on were not written."),
              1u)
        << r.out;
    EXPECT_EQ(count_of(r.out, "refused"), 0u) << r.out;
    std::string count = std::to_string(taken);
    if (count.size() > 3)
        count.insert(count.size() - 3, ",");
    EXPECT_NE(r.err.find("Written: table '" + db.name() + ".t' (" + count + " rows appended before the failure).\n"),
              std::string::npos)
        << r.err;
}
