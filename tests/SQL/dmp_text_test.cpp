// The dump file's text: preamble, table structure, statements and table
// locks, by options; a golden file for the default options.
#include "dmp_help.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_utils.hpp"

#include <fcntl.h>
#include <functional>
#include <regex>

#ifndef RVL_FIXTURES
#error RVL_FIXTURES must name the folder of the test fixtures
#endif

namespace {

// The line after SET NAMES that keeps backslash escapes on.
const std::string escapes_line = std::string("/*!40101 ") + no_backslash_escapes_off + " */;";

std::string without_date(std::string text)
{
    static const std::regex date("# Creation date: [0-9]{4}-[0-9]{2}-[0-9]{2}");
    return std::regex_replace(text, date, "# Creation date: YYYY-MM-DD", std::regex_constants::format_first_only);
}

class DumpText : public ::testing::Test {
protected:
    std::string dump(const dump_options& options, const std::string& name = "sales.sql")
    {
        dmp_chdir here(dir.path());
        dmp_write_scenario(name, options);
        return test_dir::read(dir.file(name));
    }

    sql_engine engine;
    test_dir dir;
};

TEST_F(DumpText, DefaultOptionsMatchTheGoldenFile)
{
    const std::string actual = dump(dump_options());
    EXPECT_TRUE(std::regex_search(actual, std::regex("\r\n# Creation date: [0-9]{4}-[0-9]{2}-[0-9]{2}\r\n")));
    const std::string golden = test_dir::read(RVL_FIXTURES "/dump/default.sql");
    ASSERT_FALSE(golden.empty());
    EXPECT_EQ(without_date(actual), golden);
}

struct variant_case {
    const char* name;
    std::function<void(dump_options&)> set;
    std::vector<std::string> present;
    std::vector<std::string> absent;
};

TEST_F(DumpText, OptionVariants)
{
    const variant_case cases[] = {
        {"line feeds", [](dump_options& o) { o.n_line_break = 1; },
         {"# File name: sales.sql\n", "\nSET NAMES utf8;\n/*!50503 SET NAMES utf8mb4 */;\n" + escapes_line + "\n",
          "\n) ENGINE=InnoDB;\n"},
         {"\r"}},
        {"no comments", [](dump_options& o) { o.b_ins_comments = false; },
         {"\r\nSET NAMES utf8;\r\n"}, {"#"}},
        {"old version", [](dump_options& o) { o.b_new_ver = false; },
         {"\r\nSET NAMES utf8;\r\n" + escapes_line + "\r\n\r\n#",
          "DROP TABLE IF EXISTS sales CASCADE;\r\nCREATE TABLE sales (\r\n",
          "\r\n) TYPE=MyISAM;\r\n", "LOCK TABLES sales WRITE;\r\n", "INSERT INTO sales(id, name, price, sold) VALUES(",
          "LOCK TABLES `notes` WRITE;\r\nCREATE UNIQUE INDEX `ix_note` ON `notes`(`note id`);\n"},
         {"utf8mb4", "`sales`", "ENGINE="}},
        {"no locks", [](dump_options& o) { o.b_lock_write = false; },
         {"CREATE UNIQUE INDEX `ix_note` ON `notes`(`note id`);\n"}, {"LOCK TABLES"}},
        {"database statements", [](dump_options& o) { o.b_ins_db = true; },
         {"/*!50503 SET NAMES utf8mb4 */;\r\n" + escapes_line + "\r\n\r\nDROP DATABASE IF EXISTS `sales`;\r\n"
          "CREATE DATABASE `sales` character set utf8mb4;\r\nUSE `sales`;\r\n\r\n#"},
         {}},
        {"old-version database statements", [](dump_options& o) { o.b_ins_db = true; o.b_new_ver = false; },
         {"DROP DATABASE IF EXISTS sales;\r\nCREATE DATABASE sales character set utf8;\r\nUSE sales;\r\n"}, {}},
        {"no tables", [](dump_options& o) { o.b_ins_tables = false; },
         {"# Dumping data for table 'sales'\r\n#\r\n\r\nLOCK TABLES `sales` WRITE;\r\nINSERT INTO `sales`("},
         {"CREATE TABLE", "DROP TABLE", "Table structure"}},
        {"database without tables", [](dump_options& o) { o.b_ins_db = true; o.b_ins_tables = false; },
         {"LOCK TABLES `sales` WRITE;"}, {"DATABASE", "USE "}},
    };
    for (const variant_case& c : cases) {
        SCOPED_TRACE(c.name);
        sql_engine::instance().set_char_set(L"");
        dump_options options;
        c.set(options);
        const std::string text = dump(options);
        for (const std::string& part : c.present)
            EXPECT_NE(text.find(part), std::string::npos) << part << "\n---\n" << text;
        for (const std::string& part : c.absent)
            EXPECT_EQ(text.find(part), std::string::npos) << part << "\n---\n" << text;
    }
}

// The file's name becomes the database name only as the database-name
// rules of the dialect allow.
TEST_F(DumpText, DatabaseNameFromTheFileName)
{
    const struct {
        const char* file;
        bool new_version;
        const char* statement;
    } cases[] = {
        {"sales.v2.sql", true, "USE `sales.v2`;"},
        {"we`ird.sql", true, "USE `we_ird`;"},
        {"2024 sales.sql", false, "USE _2024_sales;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        dump_options options;
        options.b_ins_db = true;
        options.b_new_ver = c.new_version;
        const std::string text = dump(options, c.file);
        EXPECT_NE(text.find(c.statement), std::string::npos) << text.substr(0, 400);
    }
}

TEST_F(DumpText, HeaderShowsTheFileWithForwardSlashes)
{
    dmp_chdir here(dir.path());
    {
        dmp_database db(L"out\\sales.sql", dump_options());
        db.close();
    }
    const std::string text = test_dir::read(dir.file("out\\sales.sql"));
    EXPECT_EQ(text.substr(0, 28), "# File name: out/sales.sql\r\n");
    EXPECT_NE(text.find("\r\n# Created by \r\n# --------------------------------------------------\r\n# "),
              std::string::npos);
}

TEST_F(DumpText, AFileThatCannotBeCreatedNamesThePath)
{
    const std::string path = dir.file("missing/folder/x.sql");
    try {
        dmp_database db(tk_to_unicode(path), dump_options());
        FAIL() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_NE(e.get_message().find(path), std::string::npos) << e.get_message();
    }
}

// A disk that fills up: the failure surfaces when the dump is closed, with
// the path, and a writer destroyed without close does not throw.
TEST_F(DumpText, AWriteErrorIsReportedAtClose)
{
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here";
    dmp_database db(L"/dev/full", dump_options());
    const udb_schema schema = dmp_schema({{L"a", VT_I4, 4}});
    {
        const auto rs = db.create_table(L"t", schema, udb_indexes());
        for (int i = 0; i < 1000; ++i)
            rs->append_record(dmp_record(schema, {i}));
    }
    try {
        db.close();
        FAIL() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_NE(e.get_message().find("/dev/full"), std::string::npos) << e.get_message();
    }
    EXPECT_NO_THROW({ dmp_database quiet(L"/dev/full", dump_options()); });
}

// Pieces of every size, some larger than the writer's buffer, reach the file
// whole and in order however the buffers are handed to the writer thread;
// nothing is written after close.
TEST(DumpOutput, EveryByteArrivesInOrder)
{
    test_dir dir;
    const std::string path = dir.file("out.sql");
    std::string expected;
    {
        dmp_out out(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600));
        ASSERT_TRUE(out.is_open());
        for (size_t i = 0; i < 400; ++i) {
            const size_t size = i % 50 == 49 ? 1500000 : i * 37 % 9000;
            const std::string piece(size, static_cast<char>('a' + i % 26));
            out.write(piece);
            expected += piece;
        }
        EXPECT_EQ(out.written(), expected.size());
        EXPECT_TRUE(out.close());
        out.write("late");
        EXPECT_TRUE(out.close());
    }
    EXPECT_TRUE(test_dir::read(path) == expected);
}

class DumpStatements : public ::testing::Test {
protected:
    // What the writer wrote after its preamble.
    std::string written()
    {
        db->close();
        const std::string text = test_dir::read(path);
        const std::string preamble_end = escapes_line + "\r\n";
        return text.substr(text.find(preamble_end) + preamble_end.size());
    }
    dump_options options_without_comments()
    {
        dump_options o;
        o.b_ins_comments = false;
        return o;
    }

    sql_engine engine;
    test_dir dir;
    std::string path = dir.file("s.sql");
    std::unique_ptr<dmp_database> db = engine.create_dump(tk_to_unicode(path), options_without_comments());
};

TEST_F(DumpStatements, SmallStatements)
{
    db->query(L"create function f() returns int return 1");
    db->delete_idx(L"t", dmp_index(L"ix", {L"a"}));
    db->delete_idx(L"t", dmp_index(L"PRIMARY", {L"a"}, true));
    db->delete_fk(udb_relationship(L"fk1", L"", L"child", L"parent", {L"a"}, {L"b"}, L""));
    db->empty_table(L"my table");
    db->create_index(L"t", L"", dmp_index(L"pk", {L"a", L"b"}, true));
    EXPECT_EQ(written(),
              "DELIMITER $$\r\ncreate function f() returns int return 1;\r\n$$\r\nDELIMITER ;\r\n"
              "ALTER TABLE `t` DROP INDEX `ix`;\r\n"
              "ALTER TABLE `t` DROP PRIMARY KEY;\r\n"
              "ALTER TABLE `child` DROP FOREIGN KEY `fk1`;\r\n"
              "delete from `my table`;\r\n"
              "LOCK TABLES `t` WRITE;\r\nALTER TABLE `t` ADD PRIMARY KEY `pk` (`a`, `b`);\n"
              "UNLOCK TABLES;\r\n");
}

TEST_F(DumpStatements, ADumpIsNotReadBack)
{
    EXPECT_THROW(db->get_table(L"t", 0), tk_mail_assertion);
    EXPECT_EQ(db->get_query(L"q", L"SELECT 1", 0), nullptr);
    EXPECT_FALSE(db->test_query(L"SELECT 1"));
}

TEST_F(DumpStatements, ATableIsCreatedOnce)
{
    const udb_schema schema = dmp_schema({{L"a", VT_I4, 4}});
    db->create_table(L"t", schema, udb_indexes());
    EXPECT_THROW(db->create_table(L"T", schema, udb_indexes()), tk_mail_assertion);
}

// Statements written while a table is locked touch only that table: others
// get an UNLOCK TABLES first, or the load stops with error 1100.
TEST_F(DumpStatements, LocksCloseBeforeStatementsOnOtherTables)
{
    const udb_schema schema = dmp_schema({{L"a", VT_I4, 4}});
    db->create_table(L"t1", schema, udb_indexes());
    db->query(L"ALTER TABLE `t1` MODIFY `a` BIGINT");
    db->create_table(L"t2", schema, udb_indexes());
    db->query(L"ALTER TABLE `t2` MODIFY `a` BIGINT");
    db->query(L"ALTER TABLE `t1` MODIFY `a` INT");
    db->query(L"ALTER TABLE `t2` MODIFY `a` INT");
    const std::string text = written();
    EXPECT_EQ(dmp_count(text, "UNLOCK TABLES;"), 2u) << text;
    EXPECT_NE(text.find("LOCK TABLES `t1` WRITE;\r\nALTER TABLE `t1` MODIFY `a` BIGINT;\r\nUNLOCK TABLES;\r\n"
                        "DROP TABLE IF EXISTS `t2` CASCADE;"),
              std::string::npos) << text;
    EXPECT_NE(text.find("LOCK TABLES `t2` WRITE;\r\nALTER TABLE `t2` MODIFY `a` BIGINT;\r\nUNLOCK TABLES;\r\n"
                        "ALTER TABLE `t1` MODIFY `a` INT;\r\nALTER TABLE `t2` MODIFY `a` INT;\r\n"),
              std::string::npos) << text;
    EXPECT_FALSE(engine.is_tables_locked());
}

// Rows still pending when the next table is locked reach the file after an
// UNLOCK TABLES.
TEST_F(DumpStatements, PendingRowsOfAnEarlierTable)
{
    const udb_schema schema = dmp_schema({{L"a", VT_I4, 4}});
    auto rs = db->create_table(L"t1", schema, udb_indexes());
    rs->append_record(dmp_record(schema, {1}));
    db->create_table(L"t2", schema, udb_indexes());
    rs.reset();
    EXPECT_NE(written().find("LOCK TABLES `t2` WRITE;\r\nUNLOCK TABLES;\r\nINSERT INTO `t1`(`a`) VALUES(1);\r\n"),
              std::string::npos);
}

TEST_F(DumpStatements, TableStructure)
{
    udb_schema schema = dmp_schema({{L"id", VT_I4, 4}, {L"name", VT_BSTR, 20}, {L"Name", VT_BSTR, 20}});
    schema[0]->b_auto_increment = true;
    udb_indexes indexes;
    indexes.push_back(dmp_index(L"by name", {L"Name"}, false, true));
    const std::wstring long_name(70, L'x');
    db->create_table(long_name, schema, indexes);
    engine.set_tab_type(L"MEMORY");
    db->create_table(L"empty", udb_schema(), indexes);
    const std::string cut(63, 'x');
    const std::string whole(70, 'x');
    EXPECT_EQ(written(),
              "DROP TABLE IF EXISTS `" + cut + "` CASCADE;\r\n"
              "CREATE TABLE `" + cut + "` (\r\n"
              "  `id` INT NOT NULL AUTO_INCREMENT,\r\n"
              "  `name` VARCHAR(20) CHARACTER SET utf8mb4,\r\n"
              "  `name00000` VARCHAR(20) CHARACTER SET utf8mb4,\r\n"
              "  UNIQUE `by name` (`name00000`),\r\n"
              "  INDEX `id` (`id`)\r\n"
              ") ENGINE=InnoDB;\r\n"
              "LOCK TABLES `" + whole + "` WRITE;\r\n"
              "UNLOCK TABLES;\r\n"
              "DROP TABLE IF EXISTS `empty` CASCADE;\r\n"
              "CREATE TABLE `empty` (\r\n\r\n) ENGINE=MEMORY;\r\n"
              "LOCK TABLES `empty` WRITE;\r\n"
              "UNLOCK TABLES;\r\n");
    // The renamed column is found again under its source name.
    EXPECT_EQ(db->names_map.get_fn_orig_name(long_name, L"name00000", true), L"Name");
}

TEST_F(DumpStatements, ForeignKeys)
{
    const udb_schema schema = dmp_schema({{L"id", VT_I4, 4}, {L"ref", VT_I4, 4}});
    udb_indexes by_ref;
    by_ref.push_back(dmp_index(L"ix_ref", {L"ref"}));
    db->create_table(L"parent", schema, udb_indexes());
    db->create_table(L"child", schema, by_ref);
    udb_relationships fks;
    fks.push_back(udb_relationship(L"fk", L"", L"child", L"parent", {L"ref"}, {L"id"}, L"ON DELETE CASCADE"));
    fks.push_back(udb_relationship(L"fk", L"", L"parent", L"parent", {L"ref"}, {L"id"}, L""));
    db->create_relationships(fks);
    const std::string text = written();
    const std::string tail = text.substr(text.find("LOCK TABLES `child` WRITE;\r\nUNLOCK TABLES;\r\n") + 44);
    EXPECT_EQ(tail,
              "\r\nSET FOREIGN_KEY_CHECKS = 0;\r\n"
              "LOCK TABLES `child` WRITE, `parent` WRITE;\r\n"
              "ALTER TABLE `child` ADD CONSTRAINT `fk` FOREIGN KEY(`ref`) REFERENCES `parent`(`id`) ON DELETE CASCADE;\r\n"
              "LOCK TABLES `parent` WRITE;\r\n"
              "ALTER TABLE `parent` ADD INDEX (`ref`);\r\n"
              "LOCK TABLES `parent` WRITE;\r\n"
              "ALTER TABLE `parent` ADD CONSTRAINT `fk00000` FOREIGN KEY(`ref`) REFERENCES `parent`(`id`);\r\n"
              "SET FOREIGN_KEY_CHECKS = 1;\r\n"
              "UNLOCK TABLES;\r\n");
}

TEST_F(DumpStatements, ForeignKeysNeedANewVersionDump)
{
    db.reset();
    dump_options old = options_without_comments();
    old.b_new_ver = false;
    db = engine.create_dump(tk_to_unicode(path), old);
    udb_relationships fks;
    fks.push_back(udb_relationship(L"fk", L"", L"c", L"p", {L"a"}, {L"b"}, L""));
    db->create_relationships(fks);
    db->close();
    EXPECT_EQ(test_dir::read(path), "\r\nSET NAMES utf8;\r\n" + escapes_line + "\r\n");
}

TEST_F(DumpStatements, Views)
{
    udb_views views = {
        {L"by name", L"SELECT [a b] FROM [t]"},
        {L"changes", L"UPDATE t SET a = 1"},
        {L"padded", L" SELECT 1"},
        {L"trailing ", L"select isnull(x, 0), len(name) from t"},
        {L"trailing", L"SELECT 2"},
    };
    db->create_views(views);
    EXPECT_EQ(written(),
              "CREATE OR REPLACE VIEW `by name` AS SELECT `a b` FROM `t`;\r\n"
              "CREATE OR REPLACE VIEW `trailing00000` AS select ifnull(x, 0), length(name) from t;\r\n"
              "CREATE OR REPLACE VIEW `trailing` AS SELECT 2;\r\n");
    EXPECT_EQ(db->names_map.get_tn_mapped_name(L"trailing ", true), L"trailing00000");
}

} // namespace
