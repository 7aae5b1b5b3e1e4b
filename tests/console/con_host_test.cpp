// MORVANTE fed as a hostile user would feed it: names and values built to end
// an identifier early and run a statement, profiles that paste statements
// into CREATE TABLE or name a file of the user's as their log, the server's
// own schemas as destinations, tables wider than the server creates, and a
// statement larger than a default server takes. Nothing may run, be dropped
// or be overwritten; each case ends with its message and exit code.
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

const char* const system_schemas[] = {"mysql", "information_schema", "performance_schema", "sys"};

std::string scalar(const std::string& sql) { return test_connection().rows(sql).at(0).at(0); }

// A database the hostile inputs try to drop; it must outlive every case.
class victim {
public:
    victim() : db_name("rvl_victim_" + std::to_string(::getpid()))
    {
        test_connection().execute("CREATE DATABASE IF NOT EXISTS " + db_name);
        test_connection(db_name).execute("CREATE TABLE IF NOT EXISTS kept (a INT)");
    }
    ~victim() { test_connection().execute("DROP DATABASE IF EXISTS " + db_name); }
    victim(const victim&) = delete;
    victim& operator=(const victim&) = delete;

    const std::string& name() const { return db_name; }
    bool survives() const
    {
        return scalar("SELECT COUNT(*) FROM information_schema.TABLES WHERE TABLE_SCHEMA = '" + db_name +
                      "' AND TABLE_NAME = 'kept'") == "1";
    }

private:
    std::string db_name;
};

// Loads a dump as a careless user would: --force runs on past every failing
// statement, so any statement the data could smuggle in would run; and into
// a session whose mode takes backslashes as plain characters.
int load_forced(const std::string& dump, const std::string& database, std::string& output)
{
    const auto s = test_server_settings();
    const std::string log = dump + ".forced.txt";
    const std::string command = "mariadb --no-defaults --force \"--init-command=SET SESSION "
                                "sql_mode='NO_BACKSLASH_ESCAPES'\" -h" + s->host + " -P" +
                                std::to_string(s->port) + " -u" + s->user + " -p" + s->password + " " + database +
                                " < '" + dump + "' > '" + log + "' 2>&1";
    const int status = std::system(command.c_str());
    output = test_dir::read(log);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string server_port() { return std::to_string(test_server_settings()->port); }

std::vector<std::string> server_csv_args(const std::string& src, const std::string& table,
                                         const std::string& database, const std::string& mode)
{
    const server_settings s = *test_server_settings();
    return {"--from_csv", "--src=" + src, "--csv_delim=2", "--extr_fn", "--tab_name=" + table,
            "--host=127.0.0.1", "--port=" + server_port(), "--user=" + s.user, "--pswd=" + s.password,
            "--dest=" + database, "--mode=" + mode};
}

std::vector<std::string> dump_csv_args(const std::string& src, const std::string& table, const std::string& dump)
{
    return {"--from_csv", "--src=" + src, "--csv_delim=2", "--extr_fn", "--tab_name=" + table, "--dump",
            "--dest=" + dump};
}

// Each byte of ASCII text as UTF-16LE after its byte-order mark: a NUL
// follows every character.
std::string utf16le(const std::string& ascii)
{
    std::string bytes = "\xFF\xFE";
    for (char c : ascii) {
        bytes += c;
        bytes += '\0';
    }
    return bytes;
}

std::string csv_header(size_t columns)
{
    std::string line;
    for (size_t i = 0; i < columns; ++i)
        line += (i > 0 ? "," : "") + std::string("c") + std::to_string(i);
    return line + "\n";
}

std::string csv_row(size_t columns)
{
    std::string line;
    for (size_t i = 0; i < columns; ++i)
        line += (i > 0 ? ",x" : "x");
    return line + "\n";
}

} // namespace

// A NUL, a line break or a backquote in a header name, and an injecting
// value in the data: the names stay whole inside their quotes, the value
// stays a value, and the dump loaded with --force runs none of it.
TEST(ConsoleHostile, NamesAndValuesNeverBecomeStatements)
{
    RVL_NEED_TEST_SERVER();
    const victim target;
    const std::string drop = "`; DROP DATABASE " + target.name() + "; #";
    const std::string header = std::string("id,\"na\0me\",\"", 12) + drop + "\"\n";
    const struct {
        const char* label;
        std::string csv;
    } cases[] = {
        {"NUL in a header", header + "1,\"" + drop + "\",x\n"},
        // Read as bytes, every name and value holds NULs (no line end after the
        // last row: its trailing NUL would make a row of its own).
        {"UTF-16", utf16le("id,name,\"" + drop + "\"\n1,\"" + drop + "\",x")},
        {"line break in a header", "id,\"a\r\nDROP DATABASE " + target.name() + ";\",c\n1,\"" + drop + "\",x\n"},
        {"backslash before a quote", "id,v,w\n1,\"x\\'; DROP DATABASE " + target.name() + "; #\",x\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        test_dir dir;
        test_dir::write(dir.file("h.csv"), c.csv);
        const program_result dumped = run_morvante(dir, dump_csv_args("h.csv", "t", "h.sql"));
        ASSERT_EQ(dumped.code, 0) << dumped.out << dumped.err;
        const std::string dump = test_dir::read(dir.file("h.sql"));
        EXPECT_EQ(dump.find('\0'), std::string::npos);
        {
            test_database scratch;
            std::string output;
            EXPECT_EQ(load_forced(dir.file("h.sql"), scratch.name(), output), 0) << output << dump;
            EXPECT_TRUE(target.survives()) << dump;
            EXPECT_EQ(test_connection(scratch.name()).rows("SELECT COUNT(*) FROM t"), (table_rows{{"1"}}));
            if (std::string(c.label) == "backslash before a quote") {
                EXPECT_EQ(test_connection(scratch.name()).rows("SELECT v FROM t"),
                          (table_rows{{"x\\'; DROP DATABASE " + target.name() + "; #"}}));
            }
        }
        {
            test_database live;
            const program_result served = run_morvante(dir, server_csv_args("h.csv", "t", live.name(), "1"));
            EXPECT_EQ(served.code, 0) << served.out << served.err;
            EXPECT_TRUE(target.survives());
            EXPECT_EQ(test_connection(live.name()).rows("SELECT COUNT(*) FROM t"), (table_rows{{"1"}}));
        }
    }
}

// What a profile writes into CREATE TABLE as a name must be a plain name:
// anything else is refused before the run, naming the line.
TEST(ConsoleHostile, AProfileValueThatIsNoPlainNameIsRefusedNamingItsLine)
{
    const char injection[] = "InnoDB; DROP DATABASE victim; --";
    const auto mappings = [](const std::string& table_lines, const std::string& field_lines) {
        return "[Type Mappings]\ntables:\n  - name: t\n    fields:\n      - name:a\n        new_name: a\n" +
               field_lines + table_lines;
    };
    const struct {
        std::string generic;
        std::string type_mappings;
        std::string line;
    } cases[] = {
        {"storage engine=" + std::string(injection), "", "storage engine=" + std::string(injection)},
        {"character set=utf8mb4 COLLATE x", "", "character set=utf8mb4 COLLATE x"},
        {"", mappings("    properties:\n        engine: " + std::string(injection) + "\n", ""),
         "        engine: " + std::string(injection)},
        {"", mappings("    properties:\n        character set: utf8 DEFAULT\n", ""),
         "        character set: utf8 DEFAULT"},
        {"", mappings("", "        character_set: latin1 --\n"), "        character_set: latin1 --"},
        {"", mappings("", "        type: INT; DROP DATABASE victim\n"), "        type: INT; DROP DATABASE victim"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        test_dir dir;
        test_dir::write(dir.file("h.csv"), "a,b\n1,2\n");
        test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=h.csv\n" + c.generic +
                                                 "\n[MS Excel settings]\nconvert from xls=0\n\n" + c.type_mappings);
        const program_result r =
            run_morvante(dir, {"--profile=job.rvl", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--dump",
                               "--dest=h.sql"});
        EXPECT_EQ(r.code, 255);
        EXPECT_NE(r.out.find("cannot be used: this line names a storage engine, character set or type"),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find(c.line), std::string::npos) << r.out;
        EXPECT_FALSE(std::filesystem::exists(dir.file("h.sql")));
    }
}

// A plain name the server does not have is refused once connected, before
// anything is created.
TEST(ConsoleHostile, AProfileEngineOrCharacterSetTheServerLacksIsRefused)
{
    RVL_NEED_TEST_SERVER();
    const server_settings s = *test_server_settings();
    for (const std::string line : {"storage engine=NoSuchEngine", "character set=nosuchset"}) {
        SCOPED_TRACE(line);
        test_dir dir;
        test_database live;
        test_connection().execute("DROP DATABASE " + live.name());
        test_dir::write(dir.file("h.csv"), "a,b\n1,2\n");
        test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=h.csv\ndest=" + live.name() + "\n" + line +
                                                 "\n[MS Excel settings]\nconvert from xls=0\n\n[MySQL settings]\n"
                                                 "host=127.0.0.1\nuser=" + s.user + "\npassword=" + s.password +
                                                 "\nport=" + server_port() + "\n");
        const program_result r = run_morvante(dir, {"--profile=job.rvl", "--csv_delim=2", "--extr_fn",
                                                    "--tab_name=t"});
        EXPECT_EQ(r.code, 255);
        EXPECT_NE(r.out.find("the server has no"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
        EXPECT_EQ(scalar("SELECT COUNT(*) FROM information_schema.SCHEMATA WHERE SCHEMA_NAME = '" + live.name() +
                         "'"),
                  "0");
    }
}

// A log file named by a profile may be a file of the user's: the run's
// lines go after what it held.
TEST(ConsoleHostile, AProfilesLogFileIsAppendedToNeverEmptied)
{
    test_dir dir;
    const std::string mine = "the user's own notes\n";
    test_dir::write(dir.file("notes.txt"), mine);
    test_dir::write(dir.file("h.csv"), "a,b\n1,2\n");
    test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=h.csv\nlogfile=" + dir.file("notes.txt") +
                                             "\n[MS Excel settings]\nconvert from xls=0\n");
    const program_result r = run_morvante(dir, {"--profile=job.rvl", "--csv_delim=2", "--extr_fn", "--tab_name=t",
                                                "--dump", "--dest=h.sql"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    const std::string after = test_dir::read(dir.file("notes.txt"));
    EXPECT_EQ(after.substr(0, mine.size()), mine);
    EXPECT_GT(after.size(), mine.size());  // the run's own lines follow
}

// No mode writes into the server's own schemas: the run ends before any
// statement, and mysql.help_topic keeps its rows.
TEST(ConsoleHostile, NoModeWritesIntoTheServersOwnSchemas)
{
    RVL_NEED_TEST_SERVER();
    const std::string topics = scalar("SELECT COUNT(*) FROM mysql.help_topic");
    test_dir dir;
    test_dir::write(dir.file("h.csv"), "a,b\n1,2\n");
    for (const char* schema : system_schemas) {
        for (const char* mode : {"0", "1", "2", "3"}) {
            SCOPED_TRACE(std::string(schema) + " mode " + mode);
            const program_result r = run_morvante(dir, server_csv_args("h.csv", "help_topic", schema, mode));
            EXPECT_EQ(r.code, 255);
            EXPECT_NE(r.out.find("belongs to the MySQL server itself"), std::string::npos) << r.out;
        }
    }
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM mysql.help_topic"), topics);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM information_schema.COLUMNS WHERE TABLE_NAME = 'help_topic' AND "
                     "COLUMN_NAME = 'a'"),
              "0");
}

// A dump that drops and creates its database refuses a name of the server's
// own schemas and leaves the file there as it was; without those statements
// the name is only a file name.
TEST(ConsoleHostile, ADumpNeverDropsOrCreatesTheServersOwnSchemas)
{
    for (const char* schema : system_schemas) {
        SCOPED_TRACE(schema);
        test_dir dir;
        const std::string dump = std::string(schema) + ".sql";
        test_dir::write(dir.file(dump), "kept");
        test_dir::write(dir.file("h.csv"), "a,b\n1,2\n");
        for (const char* create : {"1", "0"}) {
            test_dir::write(dir.file("job.rvl"), "[Generic settings]\nsrc=h.csv\n[MS Excel settings]\n"
                                                 "convert from xls=0\n[MySQL settings]\ndump create database=" +
                                                     std::string(create) + "\n");
            const program_result r = run_morvante(
                dir, {"--profile=job.rvl", "--csv_delim=2", "--extr_fn", "--tab_name=t", "--dump", "--dest=" + dump});
            if (create[0] == '1') {
                EXPECT_EQ(r.code, 255);
                EXPECT_NE(r.out.find("belongs to the MySQL server itself"), std::string::npos) << r.out;
                EXPECT_EQ(test_dir::read(dir.file(dump)), "kept");
            } else {
                EXPECT_EQ(r.code, 0) << r.out;
                EXPECT_EQ(test_dir::read(dir.file(dump)).find("DATABASE"), std::string::npos);
            }
        }
    }
}

// More columns than the server creates (1017 in InnoDB, 4096 in any table):
// refused before any statement, naming the table.
TEST(ConsoleHostile, ATableWiderThanTheServerCreatesIsRefusedBeforeAnyStatement)
{
    const struct {
        size_t columns;
        const char* engine;
        bool refused;
    } cases[] = {{1017, "InnoDB", false}, {1018, "InnoDB", true}, {1018, "MyISAM", false}, {5000, "MyISAM", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.columns) + " " + c.engine);
        test_dir dir;
        // Numbers: 1017 texts would not fit InnoDB's row, whatever their count.
        std::string row = csv_row(c.columns);
        std::replace(row.begin(), row.end(), 'x', '1');
        test_dir::write(dir.file("wide.csv"), csv_header(c.columns) + row);
        test_dir::write(dir.file("wide.sql"), "kept");
        std::vector<std::string> args = dump_csv_args("wide.csv", "wide", "wide.sql");
        args.push_back(std::string("--engine=") + c.engine);
        const program_result r = run_morvante(dir, args);
        const std::string dump = test_dir::read(dir.file("wide.sql"));
        if (!c.refused) {
            EXPECT_EQ(r.code, 0) << r.out;
            EXPECT_NE(dump.find("CREATE TABLE `wide`"), std::string::npos);
            continue;
        }
        EXPECT_EQ(r.code, 255);
        EXPECT_NE(r.out.find("The table 'wide' has " + std::to_string(c.columns) + " columns"), std::string::npos)
            << r.out;
        EXPECT_EQ(dump, "kept");
    }
}

// On the server a table too wide drops neither the table it would replace
// (mode 1) nor the database (mode 0).
TEST(ConsoleHostile, ATableWiderThanTheServerCreatesLeavesTheExistingOne)
{
    RVL_NEED_TEST_SERVER();
    test_dir dir;
    test_dir::write(dir.file("wide.csv"), csv_header(5000) + csv_row(5000));
    for (const char* mode : {"0", "1"}) {
        SCOPED_TRACE(mode);
        test_database live;
        test_connection(live.name()).execute("CREATE TABLE wide (a INT)");
        test_connection(live.name()).execute("INSERT INTO wide VALUES (7)");
        const program_result r = run_morvante(dir, server_csv_args("wide.csv", "wide", live.name(), mode));
        EXPECT_EQ(r.code, 255);
        EXPECT_NE(r.out.find("The table 'wide' has 5000 columns"), std::string::npos) << r.out;
        EXPECT_EQ(test_connection(live.name()).rows("SELECT a FROM wide"), (table_rows{{"7"}}));
    }
}

// A row larger than the 16 MiB a default server takes: the dump is written
// whole, and the user learns which table needs which max_allowed_packet.
TEST(ConsoleHostile, AStatementLargerThanADefaultServerTakesGetsANotice)
{
    test_dir dir;
    test_dir::write(dir.file("big.csv"), "id,text\n1," + std::string(17 * 1024 * 1024, 'a') + "\n");
    const program_result r = run_morvante(dir, dump_csv_args("big.csv", "big", "big.sql"));
    EXPECT_EQ(r.code, 0) << r.out;
    EXPECT_NE(r.out.find("Notice: The dump holds a statement of "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("for table 'big'"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("max_allowed_packet=18M"), std::string::npos) << r.out;
    EXPECT_GT(std::filesystem::file_size(dir.file("big.sql")), 17u * 1024 * 1024);
}

// A session whose mode takes backslashes as plain characters (here set by
// the client's option file) would end a value's literal at its escaped
// quote: the run turns that mode off, and the value arrives as it is.
TEST(ConsoleHostile, ValuesStayLiteralsWhateverTheSessionMode)
{
    RVL_NEED_TEST_SERVER();
    const victim target;
    test_database live;
    test_dir dir;
    const std::string value = "x\\'; DROP DATABASE " + target.name() + "; #";
    test_dir::write(dir.file("h.csv"), "id,v\n1,\"" + value + "\"\n");
    std::filesystem::create_directory(dir.file("home"));
    test_dir::write(dir.file("home/.my.cnf"),
                    "[BV MySQL Lib]\ninit-command=SET SESSION sql_mode='NO_BACKSLASH_ESCAPES'\n");
    const char* home = std::getenv("HOME");
    const std::string saved = home != nullptr ? home : "";
    ::setenv("HOME", dir.file("home").c_str(), 1);
    const program_result r = run_morvante(dir, server_csv_args("h.csv", "t", live.name(), "1"));
    ::setenv("HOME", saved.c_str(), 1);
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(target.survives());
    EXPECT_EQ(test_connection(live.name()).rows("SELECT v FROM t"), (table_rows{{value}}));
}
