// What replacing a table meets on the server besides the table: another
// session holding it, another run writing a table mode 0 drops, foreign keys
// of other tables that reference it, the objects that go with it (triggers,
// views, sequences, a system-versioned table), and a view or a sequence
// where the run's table would go.
#include "con_help.hpp"
#include "con_proc.hpp"
#include "server_env.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using table_rows = std::vector<std::vector<std::string>>;

// A database of the test's own holding people (x 7 and 8) and other.
class repl_database {
public:
    explicit repl_database(const std::string& tag) : db("rvl_repl_" + tag + "_" + std::to_string(::getpid()))
    {
        test_connection c;
        c.execute("DROP DATABASE IF EXISTS `" + db + "`");
        c.execute("CREATE DATABASE `" + db + "`");
        test_connection in(db);
        in.execute("CREATE TABLE people (x INT PRIMARY KEY, note VARCHAR(10)) ENGINE=InnoDB");
        in.execute("INSERT INTO people VALUES (7, 'seven'), (8, 'eight')");
        in.execute("CREATE TABLE other (y INT) ENGINE=InnoDB");
    }
    ~repl_database() { test_connection().execute("DROP DATABASE IF EXISTS `" + db + "`"); }
    repl_database(const repl_database&) = delete;
    repl_database& operator=(const repl_database&) = delete;

    const std::string& name() const { return db; }
    table_rows rows(const std::string& sql) const { return test_connection(db).rows(sql); }
    void execute(const std::string& sql) const { test_connection(db).execute(sql); }
    table_rows objects() const
    {
        return rows("SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() "
                    "ORDER BY TABLE_NAME");
    }

private:
    std::string db;
};

// A CSV run of people.csv (id,name: 1 ab, 2 x) into the table people.
std::vector<std::string> csv_run(const std::string& database, const std::string& mode)
{
    const server_settings s = *test_server_settings();
    return {"--from_csv", "--src=people.csv", "--csv_delim=2", "--extr_fn", "--tab_name=people",
            "--host=127.0.0.1", "--port=" + std::to_string(s.port), "--user=" + s.user, "--pswd=" + s.password,
            "--dest=" + database, "--mode=" + mode};
}

struct csv_dir : test_dir {
    csv_dir() { write(file("people.csv"), "id,name\n1,ab\n2,x\n"); }
};

const table_rows new_people{{"1", "ab"}, {"2", "x"}};

} // namespace

// An open transaction that read the table, or LOCK TABLES: the run says it
// waits, and replaces the table once the other session lets it go; a stop
// during the wait changes nothing and leaves nothing waiting on the server.
TEST(ConsoleReplace, ARunWaitsForATableAnotherSessionHolds)
{
    RVL_NEED_TEST_SERVER();
    for (const bool lock_tables : {false, true}) {
        for (const bool stop : {false, true}) {
            SCOPED_TRACE(std::string(lock_tables ? "LOCK TABLES" : "a transaction") + (stop ? ", stopped" : ""));
            repl_database db(std::string("hold") + (lock_tables ? "l" : "t") + (stop ? "s" : ""));
            test_connection holder(db.name());
            if (lock_tables) {
                holder.execute("LOCK TABLES people READ");
            } else {
                holder.execute("START TRANSACTION");
                holder.rows("SELECT * FROM people");
            }
            csv_dir dir;
            morvante_process run(dir, csv_run(db.name(), "1"));
            ASSERT_TRUE(eventually(
                [&] {
                    return run.out().find("Waiting for another session to finish with the table '" + db.name() +
                                          ".people'") != std::string::npos;
                },
                std::chrono::seconds(60)))
                << run.out() << run.err();
            EXPECT_EQ(db.rows("SELECT x FROM people ORDER BY x"), (table_rows{{"7"}, {"8"}}));
            if (stop) {
                run.signal(SIGTERM);
                EXPECT_EQ(run.wait(std::chrono::seconds(30)), 255) << run.out() << run.err();
                EXPECT_EQ(db.objects(), (table_rows{{"other", "BASE TABLE"}, {"people", "BASE TABLE"}}));
                EXPECT_EQ(db.rows("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE INFO LIKE "
                                  "'RENAME TABLE%'"),
                          (table_rows{{"0"}}));
                EXPECT_NE(run.err().find("Nothing was changed in the database '" + db.name() + "'."),
                          std::string::npos)
                    << run.err();
            } else {
                holder.execute(lock_tables ? "UNLOCK TABLES" : "COMMIT");
                EXPECT_EQ(run.wait(std::chrono::seconds(30)), 0) << run.out() << run.err();
                EXPECT_EQ(db.rows("SELECT id, name FROM people ORDER BY id"), new_people);
            }
        }
    }
}

// Mode 0 takes the named lock of each table it drops: a table another run
// writes stays until that run is done with it.
TEST(ConsoleReplace, ModeZeroWaitsForTheRunWritingATableItDrops)
{
    RVL_NEED_TEST_SERVER();
    repl_database db("drop_lock");
    test_connection other_run;
    const std::string lock = "'ravelin:" + db.name() + ".other'";
    ASSERT_EQ(other_run.rows("SELECT GET_LOCK(" + lock + ", 0)"), (table_rows{{"1"}}));
    csv_dir dir;
    morvante_process run(dir, csv_run(db.name(), "0"));
    ASSERT_TRUE(eventually(
        [&] {
            return run.out().find("Waiting for another run to finish with the table '" + db.name() + ".other'") !=
                   std::string::npos;
        },
        std::chrono::seconds(60)))
        << run.out() << run.err();
    EXPECT_EQ(db.rows("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = DATABASE() AND "
                      "TABLE_NAME = 'other'"),
              (table_rows{{"1"}}));
    other_run.rows("SELECT RELEASE_LOCK(" + lock + ")");
    EXPECT_EQ(run.wait(std::chrono::seconds(30)), 0) << run.out() << run.err();
    EXPECT_EQ(db.objects(), (table_rows{{"people", "BASE TABLE"}}));
}

// A table that foreign keys of other tables reference is not replaced: the
// keys would follow the old table and point at nothing once it is dropped.
// Mode 0 drops the tables of its database together, so keys among them are
// no hindrance; keys from another database are.
TEST(ConsoleReplace, ATableOtherTablesReferenceIsNotReplaced)
{
    RVL_NEED_TEST_SERVER();
    struct reference_case {
        const char* mode;
        bool child_elsewhere;
        bool refused;
    };
    for (const reference_case c : {reference_case{"1", false, true}, reference_case{"1", true, true},
                                   reference_case{"0", true, true}, reference_case{"0", false, false}}) {
        SCOPED_TRACE(std::string("mode ") + c.mode + (c.child_elsewhere ? ", child in another database" : ""));
        repl_database db(std::string("fk") + c.mode + (c.child_elsewhere ? "e" : "s"));
        repl_database elsewhere(std::string("fkc") + c.mode + (c.child_elsewhere ? "e" : "s"));
        const repl_database& home = c.child_elsewhere ? elsewhere : db;
        home.execute("CREATE TABLE child (x INT, CONSTRAINT child_people FOREIGN KEY (x) REFERENCES `" + db.name() +
                     "`.people (x)) ENGINE=InnoDB");
        home.execute("INSERT INTO child VALUES (7)");
        const table_rows before = db.objects();
        csv_dir dir;
        const program_result r = run_morvante(dir, csv_run(db.name(), c.mode));
        if (!c.refused) {
            EXPECT_EQ(r.code, 0) << r.out << r.err;
            EXPECT_EQ(db.rows("SELECT id, name FROM people ORDER BY id"), new_people);
            continue;
        }
        EXPECT_EQ(r.code, 255) << r.out << r.err;
        EXPECT_NE(r.out.find("the foreign key 'child_people' of the table '" + home.name() +
                             ".child' references the table '" + db.name() + ".people'"),
                  std::string::npos)
            << r.out;
        EXPECT_EQ(db.objects(), before);
        EXPECT_EQ(db.rows("SELECT x FROM people ORDER BY x"), (table_rows{{"7"}, {"8"}}));
        // The child's key still works: a parent that is there is taken.
        home.execute("INSERT INTO child VALUES (8)");
        EXPECT_EQ(home.rows("SELECT x FROM child ORDER BY x"), (table_rows{{"7"}, {"8"}}));
    }
}

// A run that went to its end names everything it dropped: a table's
// triggers in mode 1, and in mode 0 each table, view, sequence and
// system-versioned table of the database.
TEST(ConsoleReplace, ASuccessfulRunNamesEverythingItDropped)
{
    RVL_NEED_TEST_SERVER();
    for (const char* mode : {"1", "0"}) {
        SCOPED_TRACE(std::string("mode ") + mode);
        repl_database db(std::string("named") + mode);
        db.execute("CREATE TRIGGER people_note BEFORE INSERT ON people FOR EACH ROW SET NEW.note = 'n'");
        db.execute("CREATE TRIGGER other_y BEFORE INSERT ON other FOR EACH ROW SET NEW.y = 1");
        db.execute("CREATE VIEW both_v AS SELECT x FROM people");
        db.execute("CREATE SEQUENCE counter");
        db.execute("CREATE TABLE history (z INT) WITH SYSTEM VERSIONING");
        csv_dir dir;
        const program_result r = run_morvante(dir, csv_run(db.name(), mode));
        EXPECT_EQ(r.code, 0) << r.out << r.err;
        const std::string in = db.name() + ".";
        const std::string dropped =
            std::string(mode) == "1"
                ? "Dropped: table '" + in + "people', trigger '" + in + "people_note'.\n"
                : "Dropped: table '" + in + "people', trigger '" + in + "people_note', view '" + in +
                      "both_v', sequence '" + in + "counter', system-versioned table '" + in +
                      "history', table '" + in + "other', trigger '" + in + "other_y'.\n";
        EXPECT_NE(r.out.find(dropped), std::string::npos) << r.out << r.err;
        EXPECT_EQ(db.rows("SELECT id, name FROM people ORDER BY id"), new_people);
    }
}

// Modes 1 to 3 meet a view or a sequence of the table's name: the message
// says what is there, and it stays. Mode 0 replaces it with the others.
TEST(ConsoleReplace, AViewOrSequenceOfTheTablesNameIsNamedForWhatItIs)
{
    RVL_NEED_TEST_SERVER();
    for (const char* kind : {"view", "sequence"}) {
        for (const char* mode : {"1", "2", "3", "0"}) {
            SCOPED_TRACE(std::string(kind) + ", mode " + mode);
            repl_database db(std::string("kind") + kind[0] + mode);
            db.execute("DROP TABLE people");
            db.execute(std::string(kind) == "view" ? "CREATE VIEW people AS SELECT y FROM other"
                                                   : "CREATE SEQUENCE people");
            const table_rows before = db.objects();
            csv_dir dir;
            const program_result r = run_morvante(dir, csv_run(db.name(), mode));
            if (std::string(mode) == "0") {
                EXPECT_EQ(r.code, 0) << r.out << r.err;
                EXPECT_NE(r.out.find(std::string("Dropped: ") + kind + " '" + db.name() + ".people'"),
                          std::string::npos)
                    << r.out;
                EXPECT_EQ(db.rows("SELECT id, name FROM people ORDER BY id"), new_people);
                continue;
            }
            EXPECT_EQ(r.code, 1) << r.out << r.err;
            EXPECT_NE(r.out.find(std::string("The name 'people' is taken by a ") + kind + " of the database '" +
                                 db.name() + "', not a table"),
                      std::string::npos)
                << r.out;
            EXPECT_EQ(r.out.find("already exists"), std::string::npos) << r.out;
            EXPECT_EQ(db.objects(), before);
        }
    }
}
