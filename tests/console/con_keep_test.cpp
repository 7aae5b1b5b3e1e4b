// A run that cannot finish leaves the destination database as it was: every
// database mode, from a CSV file and from a workbook, against each way a
// run can fail before its copy (a user without CREATE, a type the server
// refuses, a value the user's type cannot take, a table too wide, a stop).
// A name too long for the server's files is no such case: it is cut to fit. The database's tables, views,
// definitions and rows are compared before and after. Then what a run that
// replaced something says, and two runs into one table at once.
#include "con_help.hpp"
#include "con_proc.hpp"
#include "server_env.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <thread>

#ifndef RVL_KEEP_FIXTURES
#error RVL_KEEP_FIXTURES must name the folder of the workbooks of these cases
#endif

namespace {

using table_rows = std::vector<std::vector<std::string>>;

// A statement as the server's root, through its socket: only root may grant.
void as_root(const std::string& sql)
{
    const server_settings s = *test_server_settings();
    MYSQL* root = mysql_init(nullptr);
    ASSERT_NE(mysql_real_connect(root, nullptr, "root", nullptr, nullptr, 0, s.socket.c_str(), 0), nullptr)
        << mysql_error(root);
    EXPECT_EQ(mysql_query(root, sql.c_str()), 0) << sql << ": " << mysql_error(root);
    mysql_close(root);
}

// The database of one case: a table of the CSV's name with other columns
// and rows, a table the run has no business with, and a view over both.
class kept_database {
public:
    explicit kept_database(const std::string& tag) : db("rvl_keep_" + tag + "_" + std::to_string(::getpid()))
    {
        test_connection c;
        c.execute("DROP DATABASE IF EXISTS `" + db + "`");
        c.execute("CREATE DATABASE `" + db + "`");
        test_connection in(db);
        in.execute("CREATE TABLE people (x INT PRIMARY KEY, note VARCHAR(10)) ENGINE=InnoDB");
        in.execute("INSERT INTO people VALUES (7, 'seven'), (8, 'eight')");
        in.execute("CREATE TABLE other (y INT) ENGINE=InnoDB");
        in.execute("INSERT INTO other VALUES (1)");
        in.execute("CREATE VIEW both_v AS SELECT x, y FROM people, other");
    }
    ~kept_database() { test_connection().execute("DROP DATABASE IF EXISTS `" + db + "`"); }
    kept_database(const kept_database&) = delete;
    kept_database& operator=(const kept_database&) = delete;

    const std::string& name() const { return db; }

    // Every table and view with its definition, and each table's rows;
    // without the stand-ins a run left behind, when asked.
    std::string snapshot(bool without_standins = false) const
    {
        test_connection c;
        if (c.rows("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = '" + db + "'")[0][0] != "1")
            return "no database";
        std::string text;
        for (const auto& r : c.rows("SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES WHERE "
                                    "TABLE_SCHEMA = '" + db + "'" +
                                    (without_standins ? " AND TABLE_NAME NOT LIKE 'rvl\\_standin\\_%'" : "") +
                                    " ORDER BY TABLE_NAME")) {
            const std::string quoted = "`" + db + "`.`" + r[0] + "`";
            const bool view = r[1] == "VIEW";
            text += r[0] + ": " + c.rows((view ? "SHOW CREATE VIEW " : "SHOW CREATE TABLE ") + quoted)[0][1];
            if (!view)
                text += "\nrows: " + c.rows("SELECT COUNT(*) FROM " + quoted)[0][0] +
                        ", checksum: " + c.rows("CHECKSUM TABLE " + quoted)[0][1];
            text += "\n";
        }
        return text;
    }

private:
    std::string db;
};

enum class failure { no_create, no_insert, foo_type, dec_imal_type, value_refused, value_too_long, too_wide, stopped };

const char* failure_name(failure f)
{
    switch (f) {
    case failure::no_create: return "no CREATE privilege";
    case failure::no_insert: return "no INSERT privilege";
    case failure::foo_type: return "type FOO";
    case failure::dec_imal_type: return "type DEC IMAL";
    case failure::value_refused: return "INT over 'x'";
    case failure::value_too_long: return "VARCHAR(1) over 'ab'";
    case failure::too_wide: return "too wide";
    case failure::stopped: return "stopped before the copy";
    }
    return "";
}

std::string type_mapping(failure f)
{
    std::string field_type;
    if (f == failure::foo_type)
        field_type = "FOO";
    else if (f == failure::dec_imal_type)
        field_type = "DEC IMAL";
    else if (f == failure::value_refused)
        field_type = "INT";
    else if (f == failure::value_too_long)
        field_type = "VARCHAR\n        length: 1";
    else
        return {};
    return "[Type Mappings]\ntables:\n  - name: people\n    fields:\n      - name:name\n        type: " + field_type +
           "\n";
}

struct run_case {
    int mode;
    bool workbook;
    failure what;
};

std::string case_text(const run_case& c)
{
    return "mode " + std::to_string(c.mode) + (c.workbook ? ", workbook, " : ", CSV, ") + failure_name(c.what);
}

// The job of one case: its profile (server, source, type mapping) and the
// command line that runs it as the given user.
class keep_job : public test_dir {
public:
    keep_job(const run_case& c, const std::string& database, const std::string& user, const std::string& password)
    {
        const server_settings s = *test_server_settings();
        if (c.workbook)
            std::filesystem::copy_file(std::string(RVL_KEEP_FIXTURES) +
                                           (c.what == failure::too_wide ? "/drop_wide.xlsx" : "/drop_people.xlsx"),
                                       file("book.xlsx"));
        else if (c.what == failure::stopped)
            ::mkfifo(file("people.csv").c_str(), 0600);
        else
            write(file("people.csv"), c.what == failure::too_wide ? wide_csv() : "id,name\n1,ab\n2,x\n");
        write(file("job.rvl"), "[Generic settings]\nsrc=" + std::string(c.workbook ? "book.xlsx" : "people.csv") +
                                   "\ndest=" + database + "\n[MySQL settings]\ndirect mode=1\nhost=127.0.0.1\nport=" +
                                   std::to_string(s.port) + "\nuser=" + user + "\npassword=" + password +
                                   "\n[MS Excel settings]\nconvert from xls=" + (c.workbook ? "1" : "0") +
                                   "\nextract field names=1\n" + type_mapping(c.what));
        args = {"--profile=job.rvl", "--mode=" + std::to_string(c.mode)};
        if (!c.workbook)
            args.insert(args.end(), {"--csv_delim=2", "--tab_name=people"});
    }
    std::vector<std::string> args;

private:
    static std::string wide_csv()
    {
        std::string header, row;
        for (int i = 0; i < 1100; ++i) {
            header += (i > 0 ? "," : "") + std::string("c") + std::to_string(i);
            row += (i > 0 ? "," : "") + std::string("v");
        }
        return header + "\n" + row + "\n";
    }
};

// Runs the case's program; a stopped case is interrupted while it waits for
// its source, a pipe whose writer holds it before its first rows end.
program_result run_case_program(const keep_job& job, const run_case& c)
{
    if (c.what != failure::stopped)
        return run_morvante(job, job.args);
    morvante_process run(job, job.args);
    {
        std::ofstream writer(job.file("people.csv"));
        writer << "id,name\n1,ab\n" << std::flush;
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        run.signal(SIGINT);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        writer << "2,x\n";
    }
    program_result r;
    r.code = run.wait(std::chrono::seconds(30)).value_or(-2);
    r.out = run.out();
    r.err = run.err();
    return r;
}

std::vector<run_case> every_case()
{
    std::vector<run_case> cases;
    for (int mode = 0; mode <= 3; ++mode)
        for (const bool workbook : {false, true})
            for (const failure f : {failure::no_create, failure::no_insert, failure::foo_type, failure::dec_imal_type,
                                    failure::value_refused, failure::value_too_long, failure::too_wide,
                                    failure::stopped})
                // A workbook cannot come through a pipe: it is read whole
                // before the run, and a stop there is the CSV's case.
                if (!(workbook && f == failure::stopped))
                    cases.push_back({mode, workbook, f});
    return cases;
}

} // namespace

TEST(ConsoleKeep, ARunThatCannotFinishLeavesTheDatabaseAsItWas)
{
    RVL_NEED_TEST_SERVER();
    const std::string user = "rvl_keep_" + std::to_string(::getpid());
    as_root("CREATE USER '" + user + "'@'127.0.0.1' IDENTIFIED BY 'keep_pw'");
    const server_settings s = *test_server_settings();
    for (const run_case& c : every_case()) {
        SCOPED_TRACE(case_text(c));
        kept_database db(std::to_string(c.mode) + (c.workbook ? "b" : "c") + std::to_string(static_cast<int>(c.what)));
        const bool limited = c.what == failure::no_create || c.what == failure::no_insert;
        if (limited)
            as_root(std::string(c.what == failure::no_create ? "GRANT SELECT, INSERT, UPDATE, DELETE, DROP, ALTER"
                                                             : "GRANT SELECT, CREATE, DROP, ALTER") +
                    " ON `" + db.name() + "`.* TO '" + user + "'@'127.0.0.1'");
        const std::string before = db.snapshot();
        keep_job job(c, db.name(), limited ? user : s.user, limited ? "keep_pw" : s.password);
        const program_result r = run_case_program(job, c);
        EXPECT_EQ(db.snapshot(), before) << r.out << r.err;
        // Only a skip in mode 2 goes to its end: the table is there.
        if (r.code == 0) {
            EXPECT_EQ(c.mode, 2) << r.out << r.err;
            EXPECT_NE(r.out.find("Skipped table '" + db.name() + ".people': it exists"), std::string::npos) << r.out;
        } else {
            EXPECT_TRUE(r.err.find("Nothing was changed in the database '" + db.name() + "'.") != std::string::npos ||
                        r.err.find("Nothing was dropped.") != std::string::npos ||
                        // A type no server has is refused with its profile, before any run.
                        (r.out + r.err).find("Profile job.rvl cannot be used") != std::string::npos)
                << r.out << r.err;
        }
        if (limited)
            as_root("REVOKE ALL PRIVILEGES, GRANT OPTION FROM '" + user + "'@'127.0.0.1'");
    }
    as_root("DROP USER '" + user + "'@'127.0.0.1'");
}

namespace {

// The server arguments of a CSV run of people.csv into table people.
std::vector<std::string> csv_run(const std::string& database, const std::string& mode)
{
    const server_settings s = *test_server_settings();
    return {"--from_csv", "--src=people.csv", "--csv_delim=2", "--extr_fn", "--tab_name=people",
            "--host=127.0.0.1", "--port=" + std::to_string(s.port), "--user=" + s.user, "--pswd=" + s.password,
            "--dest=" + database, "--mode=" + mode};
}

bool has_new_people(const kept_database& db)
{
    return test_connection(db.name()).rows("SELECT COUNT(*) FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = "
                                            "DATABASE() AND TABLE_NAME = 'people' AND COLUMN_NAME = 'id'")[0][0] ==
           "1";
}

} // namespace

namespace {

// Failures that end a table while its rows go in.
enum class during { stopped, killed, connection_lost, read_only, table_full };

const char* during_name(during d)
{
    switch (d) {
    case during::stopped: return "SIGTERM";
    case during::killed: return "kill -9";
    case during::connection_lost: return "connection killed";
    case during::read_only: return "the server made read-only";
    case during::table_full: return "the table is full";
    }
    return "";
}

// The rows of the stand-in the run fills, once there is one; -1 before.
long long standin_rows(test_connection& watch, const std::string& database)
{
    const auto found = watch.rows("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = '" +
                                  database + "' AND TABLE_NAME LIKE 'rvl\\_standin\\_%'");
    if (found.empty())
        return -1;
    try {
        return std::stoll(watch.rows("SELECT COUNT(*) FROM `" + database + "`.`" + found[0][0] + "`")[0][0]);
    } catch (const std::exception&) {
        return -1;  // dropped meanwhile
    }
}

// The failure, done to the running program from outside.
void make_fail(during d, morvante_process& run, test_connection& watch, const std::string& user)
{
    switch (d) {
    case during::stopped: run.signal(SIGTERM); break;
    case during::killed: run.signal(SIGKILL); break;
    case during::connection_lost:
        for (const auto& id : watch.rows("SELECT ID FROM information_schema.PROCESSLIST WHERE USER = '" + user + "'"))
            watch.execute("KILL CONNECTION " + id[0]);
        break;
    case during::read_only:
        // A privilege taken away is seen by a session only when it connects
        // again; read_only refuses the next statement of a user without SUPER.
        as_root("SET GLOBAL read_only = 1");
        break;
    case during::table_full: break;  // the table fills up by itself
    }
}

} // namespace

// The old table goes only when its replacement holds the rows: a failure
// that ends the table while they go in (a stop, the program killed, the
// connection lost, the server made read-only, a full table) leaves the
// database as it was, in mode 1 and in mode 0. What a run that could not
// clean up left is named, with its rows, by the next run.
TEST(ConsoleKeep, AFailureDuringTheCopyLeavesTheDatabaseAsItWas)
{
    RVL_NEED_TEST_SERVER();
    const server_settings s = *test_server_settings();
    const std::string user = "rvl_keep_dc_" + std::to_string(::getpid());
    as_root("CREATE USER '" + user + "'@'127.0.0.1' IDENTIFIED BY 'keep_pw'");
    test_dir dir;
    write_long_csv(dir.file("people.csv"), 1000000);
    for (const char* mode : {"1", "0"}) {
        for (const during d : {during::stopped, during::killed, during::connection_lost, during::read_only,
                               during::table_full}) {
            SCOPED_TRACE(std::string("mode ") + mode + ", " + during_name(d));
            kept_database db(std::string("dc") + mode + std::to_string(static_cast<int>(d)));
            as_root("GRANT SELECT, INSERT, CREATE, DROP, ALTER ON *.* TO '" + user + "'@'127.0.0.1'");
            const std::string before = db.snapshot();
            std::vector<std::string> args = csv_run(db.name(), mode);
            for (std::string& a : args) {
                if (a.starts_with("--user="))
                    a = "--user=" + user;
                else if (a.starts_with("--pswd="))
                    a = "--pswd=keep_pw";
            }
            // A MEMORY table fills up soon on this test's server (its
            // max_heap_table_size is small) and ends the copy by itself.
            if (d == during::table_full)
                args.push_back("--engine=MEMORY");
            morvante_process run(dir, args);
            test_connection watch;
            if (d != during::table_full) {
                ASSERT_TRUE(eventually([&] { return standin_rows(watch, db.name()) > 0; }, std::chrono::seconds(120)))
                    << run.out() << run.err();
                make_fail(d, run, watch, user);
            }
            const std::optional<int> code = run.wait(std::chrono::seconds(120));
            ASSERT_TRUE(code.has_value()) << run.out() << run.err();
            if (d == during::read_only)
                as_root("SET GLOBAL read_only = 0");
            // The server ends the statement a killed program sent.
            EXPECT_TRUE(eventually(
                [&] {
                    return watch.rows("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE USER = '" + user +
                                      "'")[0][0] == "0";
                },
                std::chrono::seconds(60)));
            EXPECT_EQ(*code, d == during::killed ? -1 : d == during::stopped || d == during::connection_lost ? 255 : 1)
                << run.out() << run.err();
            EXPECT_EQ(db.snapshot(true), before) << run.out() << run.err();
            as_root("REVOKE ALL PRIVILEGES, GRANT OPTION FROM '" + user + "'@'127.0.0.1'");
            if (d != during::killed) {
                EXPECT_NE(run.err().find("Nothing was changed in the database '" + db.name() + "'."),
                          std::string::npos)
                    << run.out() << run.err();
                EXPECT_NE(run.out().find("The table '" + db.name() + ".people' was left as it was"),
                          std::string::npos)
                    << run.out() << run.err();
            }
            const long long left = standin_rows(watch, db.name());
            if (left < 0)
                continue;
            // The program could not drop it (it was killed, its connection
            // was, the server took no change): the next run into the
            // database names it.
            EXPECT_NE(d, during::stopped);
            EXPECT_NE(d, during::table_full);
            test_dir next;
            test_dir::write(next.file("people.csv"), "id,name\n1,ab\n");
            std::vector<std::string> fresh = csv_run(db.name(), "3");
            fresh.push_back("--tab_name=fresh");
            const program_result r = run_morvante(next, fresh);
            EXPECT_EQ(r.code, 0) << r.out << r.err;
            EXPECT_NE(r.out.find("(" + std::to_string(left) + " rows) was left by a run that did not end"),
                      std::string::npos)
                << r.out << r.err;
            EXPECT_EQ(standin_rows(watch, db.name()), left);
        }
    }
    as_root("DROP USER '" + user + "'@'127.0.0.1'");
}

TEST(ConsoleKeep, TwoRunsIntoOneTableTakeTurns)
{
    RVL_NEED_TEST_SERVER();
    // The second run finds the table the first one made once it may go on.
    for (const bool there : {true, false}) {
        SCOPED_TRACE(there ? "the table is there" : "no table yet");
        kept_database db(there ? "turns" : "turns_new");
        if (!there)
            test_connection(db.name()).execute("DROP TABLE people");
        test_dir first, second;
        write_long_csv(first.file("people.csv"), 300000);
        write_long_csv(second.file("people.csv"), 300000);
        morvante_process one(first, csv_run(db.name(), "1"));
        morvante_process two(second, csv_run(db.name(), "1"));
        EXPECT_EQ(one.wait(std::chrono::seconds(300)), 0) << one.out() << one.err();
        EXPECT_EQ(two.wait(std::chrono::seconds(300)), 0) << two.out() << two.err();
        EXPECT_EQ(test_connection(db.name()).rows("SELECT COUNT(*), COUNT(DISTINCT id) FROM people"),
                  (table_rows{{"300000", "300000"}}));
    }
}

TEST(ConsoleKeep, ARunWaitsForTheTableAnotherHolds)
{
    RVL_NEED_TEST_SERVER();
    kept_database db("wait");
    test_dir dir;
    test_dir::write(dir.file("people.csv"), "id,name\n1,ab\n2,x\n");
    test_connection other;
    const std::string lock = "'ravelin:" + db.name() + ".people'";
    ASSERT_EQ(other.rows("SELECT GET_LOCK(" + lock + ", 0)"), (table_rows{{"1"}}));
    morvante_process run(dir, csv_run(db.name(), "1"));
    ASSERT_TRUE(eventually([&] { return run.out().find("Waiting for another run") != std::string::npos; },
                           std::chrono::seconds(30)))
        << run.out() << run.err();
    // The old table stays while the run waits.
    EXPECT_FALSE(has_new_people(db));
    other.rows("SELECT RELEASE_LOCK(" + lock + ")");
    EXPECT_EQ(run.wait(std::chrono::seconds(30)), 0) << run.out() << run.err();
    EXPECT_EQ(test_connection(db.name()).rows("SELECT id, name FROM people ORDER BY id"),
              (table_rows{{"1", "ab"}, {"2", "x"}}));
}

TEST(ConsoleKeep, AUserWhoMayNotRenameStillReplacesATable)
{
    RVL_NEED_TEST_SERVER();
    const std::string user = "rvl_keep_na_" + std::to_string(::getpid());
    as_root("CREATE USER '" + user + "'@'127.0.0.1' IDENTIFIED BY 'keep_pw'");
    for (const char* mode : {"1", "0"}) {
        SCOPED_TRACE(std::string("mode ") + mode);
        kept_database db(std::string("na") + mode);
        as_root("GRANT SELECT, INSERT, UPDATE, DELETE, CREATE, DROP ON `" + db.name() + "`.* TO '" + user +
                "'@'127.0.0.1'");
        test_dir dir;
        test_dir::write(dir.file("people.csv"), "id,name\n1,ab\n2,x\n");
        std::vector<std::string> args = csv_run(db.name(), mode);
        for (std::string& a : args) {
            if (a.starts_with("--user="))
                a = "--user=" + user;
            else if (a.starts_with("--pswd="))
                a = "--pswd=keep_pw";
        }
        const program_result r = run_morvante(dir, args);
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        EXPECT_EQ(test_connection(db.name()).rows("SELECT id, name FROM people ORDER BY id"),
                  (table_rows{{"1", "ab"}, {"2", "x"}}));
        EXPECT_EQ(test_connection(db.name()).rows("SELECT COUNT(*) FROM information_schema.TABLES WHERE "
                                                  "TABLE_SCHEMA = DATABASE()")[0][0],
                  std::string(mode) == "0" ? "1" : "3");
        as_root("REVOKE ALL PRIVILEGES, GRANT OPTION FROM '" + user + "'@'127.0.0.1'");
    }
    as_root("DROP USER '" + user + "'@'127.0.0.1'");
}

// Mode 0 from a workbook: every worksheet's table is made before what the
// database held goes. A worksheet that cannot be made keeps its old table;
// the others replace the rest.
TEST(ConsoleKeep, AWorkbookReplacesTheDatabaseOnlyWithTablesTheServerTook)
{
    RVL_NEED_TEST_SERVER();
    const server_settings s = *test_server_settings();
    for (const bool refused : {true, false}) {
        SCOPED_TRACE(refused ? "people's type is refused" : "both worksheets are taken");
        kept_database db(refused ? "two_refused" : "two");
        const std::string old_people =
            test_connection(db.name()).rows("SHOW CREATE TABLE people")[0][1];
        test_dir dir;
        std::filesystem::copy_file(std::string(RVL_KEEP_FIXTURES) + "/drop_two.xlsx", dir.file("book.xlsx"));
        test_dir::write(dir.file("job.rvl"),
                        "[Generic settings]\nsrc=book.xlsx\ndest=" + db.name() +
                            "\n[MySQL settings]\ndirect mode=1\nhost=127.0.0.1\nport=" + std::to_string(s.port) +
                            "\nuser=" + s.user + "\npassword=" + s.password +
                            "\n[MS Excel settings]\nconvert from xls=1\nextract field names=1\n" +
                            (refused ? type_mapping(failure::value_refused) : std::string()));
        const program_result r = run_morvante(dir, {"--profile=job.rvl", "--mode=0"});
        test_connection after(db.name());
        EXPECT_EQ(after.rows("SELECT TABLE_NAME FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() "
                             "ORDER BY TABLE_NAME"),
                  (table_rows{{"alpha"}, {"people"}}));
        EXPECT_EQ(after.rows("SELECT * FROM alpha"), (table_rows{{"1"}}));
        const std::string prefix = "table '" + db.name() + ".";
        if (refused) {
            EXPECT_EQ(r.code, 1) << r.out << r.err;
            EXPECT_EQ(after.rows("SHOW CREATE TABLE people")[0][1], old_people);
            // The worksheet fails on its values before its table is made;
            // the summary names what went, and people is not among it.
            EXPECT_NE(r.out.find("people: Data conversion is not supported for given type mapping"), std::string::npos)
                << r.out;
            EXPECT_NE(r.err.find("Dropped: view '" + db.name() + ".both_v', " + prefix + "other'.\nWritten: " +
                                 prefix + "alpha' (1 row).\n"),
                      std::string::npos)
                << r.err;
        } else {
            EXPECT_EQ(r.code, 0) << r.out << r.err;
            EXPECT_EQ(after.rows("SELECT id, name FROM people ORDER BY id"), (table_rows{{"1", "ab"}, {"2", "x"}}));
        }
    }
}
