#include "SQL/sql_fkp.hpp"

#include "UDB/udb_rel.hpp"
#include "server_env.hpp"

#include <gtest/gtest.h>

namespace {

using names = std::vector<std::wstring>;

udb_relationships parse(const std::string& text)
{
    udb_relationships out;
    sql_fk_parser(L"child", text).do_parse(out);
    return out;
}

// The layout in which MariaDB 10.11 and MySQL 8 print SHOW CREATE TABLE.
const char show_create_table[] =
    "CREATE TABLE `child` (\n"
    "  `id` int(11) NOT NULL,\n"
    "  `p1` int(11) DEFAULT NULL,\n"
    "  `p2` int(11) DEFAULT NULL,\n"
    "  `o` int(11) DEFAULT NULL,\n"
    "  PRIMARY KEY (`id`),\n"
    "  KEY `fk_two` (`p1`,`p2`),\n"
    "  KEY `o` (`o`),\n"
    "  CONSTRAINT `fk_two` FOREIGN KEY (`p1`, `p2`) REFERENCES `parent` (`a`, `b`) ON DELETE CASCADE ON UPDATE "
    "CASCADE,\n"
    "  CONSTRAINT `child_ibfk_1` FOREIGN KEY (`o`) REFERENCES `other` (`id`)\n"
    ") ENGINE=InnoDB DEFAULT CHARSET=utf8mb4 COLLATE=utf8mb4_general_ci";

TEST(SqlFkParser, ReadsEveryConstraintLine)
{
    const udb_relationships fks = parse(show_create_table);
    ASSERT_EQ(fks.size(), 2u);
    EXPECT_EQ(fks[0].name, L"fk_two");
    EXPECT_EQ(fks[0].name2, L"");
    EXPECT_EQ(fks[0].child_table, L"child");
    EXPECT_EQ(fks[0].parent_table, L"parent");
    EXPECT_EQ(fks[0].fk_flds, (names{L"p1", L"p2"}));
    EXPECT_EQ(fks[0].pk_flds, (names{L"a", L"b"}));
    EXPECT_EQ(fks[0].properties, L"ON DELETE CASCADE ON UPDATE CASCADE");
    EXPECT_EQ(fks[1].name, L"child_ibfk_1");
    EXPECT_EQ(fks[1].parent_table, L"other");
    EXPECT_EQ(fks[1].fk_flds, names{L"o"});
    EXPECT_EQ(fks[1].pk_flds, names{L"id"});
    EXPECT_EQ(fks[1].properties, L"");
}

TEST(SqlFkParser, LinesItCannotRead)
{
    const char* const skipped[] = {
        "",
        "  PRIMARY KEY (`id`),",
        "  FOREIGN KEY (`o`) REFERENCES `other` (`id`),",           // old servers: no CONSTRAINT
        "  CONSTRAINT `c` CHECK (`o` > 0),",                        // no FOREIGN KEY
        "  CONSTRAINT `c` FOREIGN KEY (`o`) `other` (`id`),",       // no REFERENCES
        "  CONSTRAINT `c` FOREIGN KEY (`o`) REFERENCES `other`",    // no column list
    };
    for (const char* line : skipped)
        EXPECT_TRUE(parse(line).empty()) << line;
}

TEST(SqlFkParser, NamesAsTheServerQuotesThem)
{
    struct {
        const char* line;
        std::wstring name;
        std::wstring parent;
        names fk;
        names pk;
        std::wstring rule;
    } cases[] = {
        {"constraint `c` foreign key (`o`) references `other` (`id`) on delete set null",
         L"c", L"other", {L"o"}, {L"id"}, L"on delete set null"},
        {"  CONSTRAINT ` my fk ` FOREIGN KEY (`a b`) REFERENCES `p q` (`c d`),",
         L"my fk", L"p q", {L"a b"}, {L"c d"}, L""},
        // Words of the clause inside quoted names do not cut the line.
        {"  CONSTRAINT `x FOREIGN KEY y` FOREIGN KEY (`REFERENCES (`) REFERENCES `t` (`)`)",
         L"x FOREIGN KEY y", L"t", {L"REFERENCES ("}, {L")"}, L""},
        // A backquote inside a name is written twice.
        {"  CONSTRAINT `a``b` FOREIGN KEY (`c``d`, `e`) REFERENCES `f``g` (`h`, `i``j`),",
         L"a`b", L"f`g", {L"c`d", L"e"}, {L"h", L"i`j"}, L""},
        // A parent in another database: the table's name is the one taken.
        {"  CONSTRAINT `c` FOREIGN KEY (`o`) REFERENCES `db`.`other` (`id`)",
         L"c", L"other", {L"o"}, {L"id"}, L""},
    };
    for (const auto& c : cases) {
        const udb_relationships fks = parse(c.line);
        ASSERT_EQ(fks.size(), 1u) << c.line;
        EXPECT_EQ(fks[0].name, c.name) << c.line;
        EXPECT_EQ(fks[0].parent_table, c.parent) << c.line;
        EXPECT_EQ(fks[0].fk_flds, c.fk) << c.line;
        EXPECT_EQ(fks[0].pk_flds, c.pk) << c.line;
        EXPECT_EQ(fks[0].properties, c.rule) << c.line;
    }
}

TEST(SqlFkParser, GetColumns)
{
    names out;
    EXPECT_TRUE(sql_fk_parser::get_columns(L"(`a`, `b c`,``)", out));
    EXPECT_EQ(out, (names{L"a", L"b c", L""}));
    out.clear();
    sql_fk_parser::get_columns(L"(a, b)", out);
    EXPECT_TRUE(out.empty());
}

} // namespace

namespace {

// The parser on what the server itself prints for a table with foreign keys,
// names with blanks and backquotes included.
TEST(SqlFkParser, ReadsTheServersOwnText)
{
    RVL_NEED_TEST_SERVER();
    test_database db;
    test_connection c(db.name());
    c.execute("CREATE TABLE `par ent` (`a` INT, `b``q` INT, PRIMARY KEY (`a`, `b``q`)) ENGINE=InnoDB");
    c.execute("CREATE TABLE other (id INT PRIMARY KEY) ENGINE=InnoDB");
    c.execute("CREATE TABLE child (id INT PRIMARY KEY, `p 1` INT, p2 INT, o INT, "
              "CONSTRAINT `fk two` FOREIGN KEY (`p 1`, p2) REFERENCES `par ent` (a, `b``q`) "
              "ON DELETE CASCADE ON UPDATE SET NULL, "
              "CONSTRAINT fk_o FOREIGN KEY (o) REFERENCES other (id)) ENGINE=InnoDB");
    const auto rows = c.rows("SHOW CREATE TABLE child");
    ASSERT_EQ(rows.size(), 1u);
    udb_relationships fks;
    sql_fk_parser(L"child", rows[0].back()).do_parse(fks);
    ASSERT_EQ(fks.size(), 2u) << rows[0].back();
    EXPECT_EQ(fks[0].name, L"fk two");
    EXPECT_EQ(fks[0].parent_table, L"par ent");
    EXPECT_EQ(fks[0].fk_flds, (names{L"p 1", L"p2"}));
    EXPECT_EQ(fks[0].pk_flds, (names{L"a", L"b`q"}));
    EXPECT_EQ(fks[0].properties, L"ON DELETE CASCADE ON UPDATE SET NULL");
    EXPECT_EQ(fks[1].name, L"fk_o");
    EXPECT_EQ(fks[1].parent_table, L"other");
    EXPECT_EQ(fks[1].fk_flds, names{L"o"});
    EXPECT_EQ(fks[1].pk_flds, names{L"id"});
    EXPECT_EQ(fks[1].properties, L"");
}

} // namespace
