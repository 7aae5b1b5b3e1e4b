// MORVANTE writing dumps that must load on the strict test server as the run
// said they would: appending modes that drop nothing, tables too wide for the
// server's row, and types the server cannot hold.
#include "SQL/dmp_help.hpp"
#include "con_help.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include <string>
#include <unistd.h>
#include <vector>

namespace {

using table_rows = std::vector<std::vector<std::string>>;

std::vector<std::string> csv_dump_args(const std::string& extra = std::string())
{
    std::vector<std::string> args = {"--from_csv", "--src=in.csv", "--csv_delim=2", "--extr_fn", "--tab_name=t",
                                     "--dump", "--dest=out.sql"};
    if (!extra.empty())
        args.push_back(extra);
    return args;
}

bool has(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

// Loading an appending dump keeps what the database held: the table gets the
// rows, and one that does not exist yet is created.
TEST(ConsoleDump, AppendingModesDropNothingAndCreateOnlyWhatIsMissing)
{
    for (const char* mode : {"--mode=2", "--mode=3"}) {
        SCOPED_TRACE(mode);
        test_dir dir;
        test_dir::write(dir.file("in.csv"), "a,b\n1,x\n2,y\n");
        const program_result r = run_morvante(dir, csv_dump_args(mode));
        ASSERT_EQ(r.code, 0) << r.out << r.err;
        const std::string dump = test_dir::read(dir.file("out.sql"));
        EXPECT_FALSE(has(dump, "DROP ")) << dump;
        EXPECT_TRUE(has(dump, "CREATE TABLE IF NOT EXISTS `t`")) << dump;
        if (!test_server_settings())
            continue;
        for (const bool existing : {true, false}) {
            test_database loaded;
            test_connection db(loaded.name());
            if (existing) {
                db.execute("CREATE TABLE t (a INT, b VARCHAR(5))");
                db.execute("INSERT INTO t VALUES (0, 'old')");
            }
            std::string output;
            ASSERT_EQ(dmp_load(dir.file("out.sql"), loaded.name(), output), 0) << output;
            const table_rows expected = existing ? table_rows{{"0", "old"}, {"1", "x"}, {"2", "y"}}
                                                 : table_rows{{"1", "x"}, {"2", "y"}};
            EXPECT_EQ(db.rows("SELECT a, b FROM t ORDER BY a"), expected) << "existing " << existing;
        }
    }
}

// With its own database statements the dump creates the database only when
// missing and never drops it in an appending mode.
TEST(ConsoleDump, AppendingModesKeepTheDatabase)
{
    const std::string name = "rvl_keep_" + std::to_string(::getpid());
    test_dir dir;
    test_dir::write(dir.file("in.csv"), "a\n1\n");
    test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=in.csv\ndest=" + name + ".sql\n[MySQL settings]\n"
                                         "direct mode=0\ndump create database=1\ndump create table=1\n"
                                         "[MS Excel settings]\nconvert from xls=0\nextract field names=1\n");
    const program_result r = run_morvante(dir, {"--profile=job.rvl", "--csv_delim=2", "--tab_name=t", "--mode=2"});
    ASSERT_EQ(r.code, 0) << r.out << r.err;
    const std::string dump = test_dir::read(dir.file(name + ".sql"));
    EXPECT_FALSE(has(dump, "DROP ")) << dump;
    EXPECT_TRUE(has(dump, "CREATE DATABASE IF NOT EXISTS `" + name + "`")) << dump;
    if (!test_server_settings())
        return;
    // The dump names its own database: it is loaded without one.
    test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
    test_connection().execute("CREATE DATABASE `" + name + "`");
    test_connection(name).execute("CREATE TABLE t (a INT)");
    test_connection(name).execute("INSERT INTO t VALUES (0)");
    std::string output;
    EXPECT_EQ(dmp_load(dir.file(name + ".sql"), "", output), 0) << output;
    EXPECT_EQ(test_connection(name).rows("SELECT a FROM t ORDER BY a"), (table_rows{{"0"}, {"1"}}));
    test_connection().execute("DROP DATABASE `" + name + "`");
}

namespace {

// A CSV file and a profile that converts it into out.sql with the given
// field lines for its table t.
struct typed_job : test_dir {
    typed_job(const std::string& csv, const std::string& fields)
    {
        write(file("in.csv"), csv);
        write(file("job.rvl"), "[Generic settings]\nsrc=in.csv\ndest=out.sql\n[MySQL settings]\ndirect mode=0\n"
                               "[MS Excel settings]\nconvert from xls=0\nextract field names=1\n\n"
                               "[Type Mappings]\ntables:\n  - name: t\n    fields:\n" +
                                   fields);
    }
    program_result run() const { return run_morvante(*this, {"--profile=job.rvl", "--csv_delim=2", "--tab_name=t"}); }
};

std::string typed(const std::string& column, const std::string& keys)
{
    return "      - name:" + column + "\n        type: " + keys + "\n";
}

} // namespace

// A type the server cannot create is refused before anything is written,
// naming the table, the column and the type as given.
TEST(ConsoleDump, TypesTheServerCannotCreateAreRefusedWithTheProfile)
{
    struct {
        const char* fields;
        const char* named;
    } cases[] = {
        {"VARCHAR\n        length: -5\n", "type VARCHAR(-5), which the server cannot create: its length must be 0 "
                                            "to "},
        {"VARCHAR\n        length: 99999999999999\n", "type VARCHAR(99999999999999), which"},
        {"DECIMAL\n        precision: 1\n        scale: 5\n", "type DECIMAL(1,5), which the server cannot create: "
                                                              "its scale must be 0 to 30 and at most its precision."},
        {"ENUM\n", "type ENUM, which the server cannot create: an ENUM column needs its list of values"},
        {"SET\n", "type SET, which the server cannot create: a SET column needs"},
        {"TINYINT\n        default_value: 999\n", "type TINYINT, which the server cannot create: its default "
                                                   "value 999 is outside the type."},
        {"VARCHAR\n        length: 2\n        default_value: abc\n", "type VARCHAR(2), which"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fields);
        typed_job dir("a,b\n1,x\n", typed("b", c.fields));
        const program_result r = dir.run();
        EXPECT_EQ(r.code, 255) << r.out << r.err;
        EXPECT_TRUE(has(r.out, "Profile job.rvl cannot be used: the column 'b' of the table 't' is given the " +
                                   std::string(c.named)))
            << r.out;
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.sql")));
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.sql.part")));
    }
}

TEST(ConsoleDump, ATableWithEveryFieldDeletedIsRefused)
{
    typed_job dir("a,b\n1,x\n", "      - name:a\n        status: deleted\n      - name:b\n        status: deleted\n");
    const program_result r = dir.run();
    EXPECT_EQ(r.code, 255) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "Every field of the table 't' is deleted")) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.sql")));
}

// A value a strict server would refuse for the user's type fails its table
// before any of its rows is written, naming the record (the first such) and
// the column; the dump, without the table, still loads. Blanks past a
// VARCHAR's length are no such value: the last case fails on record 3.
TEST(ConsoleDump, ValuesOutsideAUserTypeFailTheirTableNamingTheRecord)
{
    const std::string fields = typed("code", "VARCHAR\n        length: 3\n") +
                               typed("amount", "DECIMAL\n        precision: 4\n        scale: 2\n") +
                               typed("level", "MEDIUMINT\n");
    const struct {
        const char* second_row;
        const char* named;  // empty: the table is written
    } cases[] = {
        {"2,abcd,1.25,8", "Record #2: Data too long for column 'code' (VARCHAR(3))"},
        {"2,ab,123.4,9", "Record #2: Out of range value for column 'amount' (DECIMAL(4,2))"},
        {"2,xy,-1,8388608", "Record #2: Out of range value for column 'level' (MEDIUMINT)"},
        {"2,ab   ,1,1", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.second_row);
        typed_job dir("id,code,amount,level\n1,abc,12.5,7\n" + std::string(c.second_row) + "\n3,abcd,1,1\n", fields);
        const program_result r = dir.run();
        EXPECT_EQ(r.code, 1) << r.out << r.err;
        const std::string named = *c.named ? c.named : "Record #3: Data too long for column 'code' (VARCHAR(3))";
        EXPECT_TRUE(has(r.out, named + ", which a server in strict mode refuses. No row of the table is written."))
            << r.out;
        const std::string dump = test_dir::read(dir.file("out.sql"));
        EXPECT_FALSE(has(dump, "INSERT INTO `t`")) << dump;
        if (!test_server_settings())
            continue;
        test_database loaded;
        std::string output;
        ASSERT_EQ(dmp_load(dir.file("out.sql"), loaded.name(), output), 0) << output;
        EXPECT_EQ(test_connection(loaded.name()).rows("SELECT COUNT(*) FROM information_schema.TABLES WHERE "
                                                      "TABLE_SCHEMA = DATABASE()"),
                  (table_rows{{"0"}}));
    }
}

// 384 text columns keep more than InnoDB takes in a row's page, even as
// TEXT: the table is refused before anything is written or dropped, naming
// the file and the table.
TEST(ConsoleDump, ACsvTooWideForTheRowIsRefusedBeforeAnythingIsDropped)
{
    test_dir dir;
    std::string header, row;
    for (int i = 0; i < 384; ++i) {
        header += (i > 0 ? "," : "") + std::string("c") + std::to_string(i);
        row += (i > 0 ? "," : "") + std::string("text");
    }
    test_dir::write(dir.file("in.csv"), header + "\n" + row + "\n");
    const std::string refused = "The CSV file 'in.csv' is not converted. The table 't' is too wide";
    const program_result dump = run_morvante(dir, csv_dump_args());
    EXPECT_EQ(dump.code, 255) << dump.out << dump.err;
    EXPECT_TRUE(has(dump.out, refused)) << dump.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.sql")));
    if (!test_server_settings())
        return;
    const server_settings s = *test_server_settings();
    test_database live;
    test_connection(live.name()).execute("CREATE TABLE t (a INT)");
    test_connection(live.name()).execute("INSERT INTO t VALUES (7)");
    // Types settled from the values or taken as read.
    for (const char* refine : {"--extr_fn", "--no_refine"}) {
        const program_result r = run_morvante(
            dir, {"--from_csv", "--src=in.csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--host=127.0.0.1",
                  "--port=" + std::to_string(s.port), "--user=" + s.user, "--pswd=" + s.password,
                  "--dest=" + live.name(), "--mode=1", refine});
        EXPECT_EQ(r.code, 255) << refine << r.out << r.err;
        EXPECT_TRUE(has(r.out, refused)) << r.out;
        EXPECT_EQ(test_connection(live.name()).rows("SELECT a FROM t"), (table_rows{{"7"}})) << refine;
    }
}

// A CSV file of one column says so in the singular when a record is longer.
TEST(ConsoleDump, AFileOfOneColumnIsCountedInTheSingular)
{
    test_dir dir;
    test_dir::write(dir.file("in.csv"), "a\n1,2\n");
    const program_result r = run_morvante(dir, csv_dump_args());
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(has(r.out, "1 record of the CSV file 'in.csv' has more fields than its 1 column, at line 2")) << r.out;
}

namespace {

std::string columns_csv(int count, const std::string& value)
{
    std::string header, row;
    for (int i = 0; i < count; ++i) {
        header += (i > 0 ? "," : "") + std::string("c") + std::to_string(i);
        row += (i > 0 ? "," : "") + value;
    }
    return header + "\n" + row + "\n";
}

std::vector<std::string> live_args(const std::string& database, const std::string& mode, const std::string& extra)
{
    const server_settings s = *test_server_settings();
    return {"--from_csv", "--src=in.csv", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--host=127.0.0.1",
            "--port=" + std::to_string(s.port), "--user=" + s.user, "--pswd=" + s.password, "--dest=" + database,
            mode, extra};
}

} // namespace

// A character set of one byte a character keeps a VARCHAR(255) in 256 bytes
// of InnoDB's page: 32 text columns are a table the run must fit (or refuse)
// as the server counts them, for the run's character set and a profile's.
TEST(ConsoleDump, SingleByteCharacterSetsAreCountedAsTheServerCountsThem)
{
    for (const char* char_set : {"latin1", "ascii", "cp1251", "latin2"}) {
        SCOPED_TRACE(char_set);
        test_dir dir;
        test_dir::write(dir.file("in.csv"), columns_csv(32, "x"));
        const program_result r = run_morvante(dir, csv_dump_args(std::string("--charset=") + char_set));
        ASSERT_EQ(r.code, 0) << r.out << r.err;
        if (!test_server_settings())
            continue;
        test_database loaded;
        std::string output;
        EXPECT_EQ(dmp_load(dir.file("out.sql"), loaded.name(), output), 0) << output;
    }
    // A column's character set is the profile's where the table and the
    // column are named anew, as the wizard writes them.
    std::string fields;
    for (int i = 0; i < 32; ++i) {
        const std::string name = "c" + std::to_string(i);
        fields += "      - name:" + name + "\n        new_name: " + name + "\n        status: changed\n" +
                  "        type: VARCHAR\n        length: 255\n        character_set: latin1\n";
    }
    typed_job dir(columns_csv(32, "x"), fields);
    std::string job = test_dir::read(dir.file("job.rvl"));
    job.replace(job.find("    fields:"), 0, "    new_name: t\n");
    test_dir::write(dir.file("job.rvl"), job);
    const program_result r = dir.run();
    EXPECT_EQ(r.code, 255) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "The table 't' is too wide")) << r.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.sql")));
}

// An engine the server lacks, or one that cannot hold the table's types,
// is refused before anything is dropped, naming it; a dump knows only the
// second.
TEST(ConsoleDump, AStorageEngineThatCannotCreateTheTableIsRefusedFirst)
{
    test_dir dir;
    // 20,000 characters: MEDIUMTEXT in utf8mb4.
    test_dir::write(dir.file("in.csv"), "a,b\n1," + std::string(20000, 'y') + "\n");
    const program_result dump = run_morvante(dir, csv_dump_args("--engine=MEMORY"));
    EXPECT_EQ(dump.code, 255) << dump.out << dump.err;
    EXPECT_TRUE(has(dump.out, "storage engine MEMORY")) << dump.out;
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.sql")));
    if (!test_server_settings())
        return;
    test_database live;
    test_connection(live.name()).execute("CREATE TABLE t (a INT)");
    test_connection(live.name()).execute("INSERT INTO t VALUES (7)");
    for (const char* engine : {"ARCHIVE", "MEMORY"}) {
        SCOPED_TRACE(engine);
        const program_result r =
            run_morvante(dir, live_args(live.name(), "--mode=1", std::string("--engine=") + engine));
        EXPECT_EQ(r.code, 255) << r.out << r.err;
        EXPECT_TRUE(has(r.out, std::string("storage engine ") + engine)) << r.out;
        EXPECT_EQ(test_connection(live.name()).rows("SELECT a FROM t"), (table_rows{{"7"}}));
    }
}

// A server without InnoDB, InnoDB being the engine of the run's tables: the
// run is refused naming it before anything is dropped. (Run on such a
// server by tests/console/CMakeLists.txt; skipped on the usual one.)
TEST(ConsoleDump, AServerWithoutInnodbChangesNothing)
{
    if (std::getenv("RVL_SERVER_WITHOUT_INNODB") == nullptr)
        GTEST_SKIP() << "needs a server without InnoDB";
    RVL_NEED_TEST_SERVER();
    test_dir dir;
    test_dir::write(dir.file("in.csv"), "a,b\n1,x\n");
    test_database live;
    test_connection(live.name()).execute("CREATE TABLE t (a INT)");
    test_connection(live.name()).execute("INSERT INTO t VALUES (7)");
    std::vector<std::string> args = live_args(live.name(), "--mode=0", "--extr_fn");
    const program_result r = run_morvante(dir, args);
    EXPECT_EQ(r.code, 255) << r.out << r.err;
    EXPECT_TRUE(has(r.out, "storage engine InnoDB")) << r.out;
    EXPECT_EQ(test_connection(live.name()).rows("SELECT a FROM t"), (table_rows{{"7"}}));
    // An engine the server has takes the table.
    args.push_back("--engine=Aria");
    const program_result aria = run_morvante(dir, args);
    EXPECT_EQ(aria.code, 0) << aria.out << aria.err;
    EXPECT_EQ(test_connection(live.name()).rows("SELECT a, b FROM t"), (table_rows{{"1", "x"}}));
}
