// Changing and deleting rows of a server table: by the table's key, by a key
// text and by a whole record; values and names that need escaping; keys that
// cannot name their rows safely; statements the server refuses.
#include "SQL/sql_exc.hpp"
#include "SQL/sql_sync.hpp"
#include "SQL/sql_tab.hpp"
#include "sql_server.hpp"

#include <gtest/gtest.h>

namespace {

// A field as a source with declared sizes hands it over; size 0 marks a
// value without a declared size (a memo or long binary value).
struct value_of {
    std::wstring name;
    ole_variant value;
    uint32_t size = 50;
};

udb_record record_of(const std::vector<value_of>& values)
{
    udb_record record;
    for (const auto& v : values)
        record.push_back(std::make_unique<udb_field>(v.name, v.size, v.value, false, false));
    return record;
}

class SqlTableChanges : public server_fixture {
protected:
    // Creates the table, fills it and opens it for writing.
    std::unique_ptr<sql_table> open_table(const std::string& create, const std::string& rows,
                                          const std::wstring& name = L"t")
    {
        look().execute(create);
        look().execute(rows);
        open();
        auto table = database->get_table(name, 2);
        return std::unique_ptr<sql_table>(static_cast<sql_table*>(table.release()));
    }
    std::vector<std::vector<std::string>> all(const std::string& order = "1") const
    {
        return look().rows("SELECT * FROM t ORDER BY " + order);
    }
    using rows_t = std::vector<std::vector<std::string>>;
};

const char keyed[] = "CREATE TABLE t (id INT PRIMARY KEY, txt VARCHAR(50), memo TEXT, n INT)";
const char keyed_rows[] = "INSERT INTO t VALUES (1,'a','m1',10),(2,'b','m2',20),(3,'c','m3',30)";

TEST_F(SqlTableChanges, UpdateByTheKeyChangesOnlyThatRowAndLeavesLargeValues)
{
    auto table = open_table(keyed, keyed_rows);
    const std::wstring hostile = std::wstring(L"it's \\ \"q\" ") + L'\0' + L" '; DROP TABLE t; --";
    table->update1(record_of({{L"n", 99}, {L"ID", 2}, {L"txt", hostile}, {L"memo", std::wstring(L"new"), 0},
                              {L"absent", 5}}));
    EXPECT_EQ(all(), (rows_t{{"1", "a", "m1", "10"}, {"2", utf8(hostile), "m2", "99"}, {"3", "c", "m3", "30"}}));
    EXPECT_EQ(scalar("SELECT HEX(txt) FROM t WHERE id = 2"),
              scalar("SELECT HEX(_utf8mb4'it\\'s \\\\ \"q\" \\0 \\'; DROP TABLE t; --')"));
}

TEST_F(SqlTableChanges, UpdateByTheKeySendsNothingWithoutTheWholeKey)
{
    struct case_t {
        const char* what;
        const char* create;
        const char* rows;
        std::vector<value_of> record;
    };
    const std::vector<case_t> cases = {
        {"no key", "CREATE TABLE t (a INT, b INT)", "INSERT INTO t VALUES (1,1),(2,2)", {{L"a", 1}, {L"b", 9}}},
        {"no key field", "CREATE TABLE t (a INT PRIMARY KEY, b INT)", "INSERT INTO t VALUES (1,1),(2,2)",
         {{L"b", 9}}},
        {"part of the key", "CREATE TABLE t (a INT, b INT, n INT, PRIMARY KEY (a, b))",
         "INSERT INTO t VALUES (1,1,1),(1,2,2)", {{L"a", 1}, {L"n", 9}}},
        {"NULL in a unique key", "CREATE TABLE t (u INT UNIQUE, n INT)", "INSERT INTO t VALUES (NULL,1),(NULL,2)",
         {{L"u", ole_variant()}, {L"n", 9}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto table = open_table(c.create, c.rows);
        const rows_t before = all();
        table->update1(record_of(c.record));
        EXPECT_EQ(all(), before);
        table.reset();
        look().execute("DROP TABLE t");
    }
}

TEST_F(SqlTableChanges, UpdateByKeyTextSetsTheKeyFieldsToo)
{
    auto table = open_table(keyed, keyed_rows);
    table->update2(record_of({{L"id", 7}, {L"txt", std::wstring(L"x")}, {L"memo", std::wstring(L"kept"), 0}}),
                   L"<id>2</id>");
    EXPECT_EQ(all(), (rows_t{{"1", "a", "m1", "10"}, {"3", "c", "m3", "30"}, {"7", "x", "m2", "20"}}));

    const rows_t before = all();
    table->update2(record_of({{L"txt", std::wstring(L"y")}}), L"");
    EXPECT_EQ(all(), before);
}

TEST_F(SqlTableChanges, DeleteByKeyTextTakesOnlyTheNamedRow)
{
    auto table = open_table("CREATE TABLE t (k VARCHAR(50) PRIMARY KEY, n INT)",
                            "INSERT INTO t VALUES ('a''b',1),('x\\\\',2),('<&>',3),('plain',4),"
                            "('a'' OR ''1''=''1',5),('&lt;',6)");
    struct case_t {
        std::wstring key;
        const char* gone;
    };
    const std::vector<case_t> cases = {
        {L"<k>a' OR '1'='1</k>", "5"},
        {L"<k>a'b</k>", "1"},
        {L"<k>x\\</k>", "2"},
        {L"<K>&lt;&amp;&gt;</K>", "3"},
        {L"<k>&amp;lt;</k>", "6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.gone);
        const std::string before = scalar("SELECT COUNT(*) FROM t");
        table->delete_key(c.key);
        EXPECT_EQ(scalar("SELECT COUNT(*) FROM t"), std::to_string(std::stoi(before) - 1));
        EXPECT_EQ(scalar(std::string("SELECT COUNT(*) FROM t WHERE n = ") + c.gone), "0");
    }
    EXPECT_EQ(all(), (rows_t{{"plain", "4"}}));
}

TEST_F(SqlTableChanges, NumericKeyTextStandsBareOnlyWhenItIsANumber)
{
    auto table = open_table(keyed, keyed_rows);
    table->delete_key(L"<id>3</id>");
    // Not a number: quoted, so the comparison cannot grow into other terms.
    table->delete_key(L"<id>2 OR 1=1</id>");
    EXPECT_EQ(scalar("SELECT GROUP_CONCAT(id ORDER BY id) FROM t"), "1");
}

TEST_F(SqlTableChanges, DeleteByRecordMatchesEveryFieldTheTableHolds)
{
    auto table = open_table("CREATE TABLE t (id INT, txt VARCHAR(50))",
                            "INSERT INTO t VALUES (1,'a'),(1,'b'),(2,NULL),(2,'c')");
    table->delete_key(record_of({{L"id", 1}, {L"txt", std::wstring(L"a")}, {L"other", 5}}));
    table->delete_key(record_of({{L"id", 2}, {L"txt", ole_variant()}}));
    EXPECT_EQ(all("id, txt"), (rows_t{{"1", "b"}, {"2", "c"}}));
}

// A record's field names become destination names (no backquotes there), but
// a key text names the server's columns as they stand.
TEST_F(SqlTableChanges, KeyTextColumnsWithBackquotesAreQuoted)
{
    auto table = open_table("CREATE TABLE t (`i``d` INT PRIMARY KEY, val VARCHAR(20))",
                            "INSERT INTO t VALUES (1,'a'),(2,'b'),(3,'c')");
    table->update2(record_of({{L"val", std::wstring(L"y")}}), L"<i`d>3</i`d>");
    table->delete_key(L"<i`d>2</i`d>");
    EXPECT_EQ(all(), (rows_t{{"1", "a"}, {"3", "y"}}));
}

TEST_F(SqlTableChanges, FailuresAreRaisedAndChangeNothing)
{
    auto table = open_table(keyed, keyed_rows);
    const rows_t before = all();
    // A duplicate key: the server refuses the update.
    EXPECT_THROW(table->update2(record_of({{L"id", 1}}), L"<id>2</id>"), sql_exception);
    EXPECT_THROW(table->update1(record_of({{L"id", 1}, {L"n", std::wstring(L"not a number")}})), sql_exception);
    // A key text naming no column of the table.
    EXPECT_THROW(table->delete_key(L"<nope>1</nope>"), tk_exception);
    EXPECT_THROW(table->update2(record_of({{L"n", 1}}), L"<nope>1</nope>"), tk_exception);
    // An empty key text names no row: the statement is refused.
    EXPECT_THROW(table->delete_key(std::wstring()), sql_exception);
    // A record naming no column of the table.
    EXPECT_THROW(table->delete_key(record_of({{L"nope", 1}})), sql_exception);
    EXPECT_EQ(all(), before);
}

TEST_F(SqlTableChanges, ConditionOfAKeyTextFollowsTheServerTable)
{
    open_table(keyed, keyed_rows);
    const sql_sync sync(database.get());
    EXPECT_EQ(sync.get_filter_subquery(database->case_sensitive ? L"t" : L"T", L"<ID>2</ID><txt>a&lt;'b</txt>"), L"`id`=2 and `txt`='a<\\'b' ");
}

} // namespace
