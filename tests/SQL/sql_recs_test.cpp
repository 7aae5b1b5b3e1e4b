// Reading from the server: tables and queries in batches of 256, statement
// results in batches of 1000, and the values of each column type.
#include "SQL/sql_recs.hpp"
#include "sql_server.hpp"

#include <gtest/gtest.h>

namespace {

class SqlResults : public server_fixture {
protected:
    void fill(int rows)
    {
        look().execute("CREATE TABLE t (id INT AUTO_INCREMENT PRIMARY KEY, txt VARCHAR(20))");
        look().execute("INSERT INTO t (txt) SELECT CONCAT('row ', seq) FROM seq_1_to_" + std::to_string(rows));
        open();
    }
};

std::vector<int> read_ids(udb_recordset& rows, int limit = -1)
{
    std::vector<int> ids;
    for (; !rows.is_eof() && limit-- != 0; rows.next())
        ids.push_back(rows.get_item()->at(0)->to_long());
    return ids;
}

std::vector<int> one_to(int n)
{
    std::vector<int> ids(n);
    for (int i = 0; i < n; ++i)
        ids[i] = i + 1;
    return ids;
}

TEST_F(SqlResults, ATableIsReadInBatchesFromReset)
{
    fill(600);
    sql_recordset table(database.get(), L"t", &database->relationships);
    EXPECT_EQ(table.row_count, 600);
    EXPECT_EQ(table.schema.size(), 2u);
    EXPECT_EQ(table.schema.last_auto_number, 600);
    table.reset();
    EXPECT_EQ(read_ids(table), one_to(600));
    EXPECT_TRUE(table.is_eof());
    // Reading again starts over.
    table.reset();
    EXPECT_EQ(read_ids(table, 300).back(), 300);  // now on row 301
    table.prev();
    EXPECT_EQ(table.get_item()->at(0)->to_long(), 300);
}

TEST_F(SqlResults, AQueryIsCountedAndReadAsADerivedTable)
{
    fill(600);
    std::unique_ptr<udb_recordset> query =
        database->get_query(L"odd", L"SELECT id, txt FROM t WHERE id % 2 = 1 ORDER BY id", 0);
    EXPECT_TRUE(query->has_name());
    EXPECT_EQ(query->row_count, 300);
    query->reset();
    const std::vector<int> ids = read_ids(*query);
    ASSERT_EQ(ids.size(), 300u);
    EXPECT_EQ(ids.front(), 1);
    EXPECT_EQ(ids.back(), 599);
}

TEST_F(SqlResults, AStatementsRowsComeAThousandAtATime)
{
    fill(2500);
    std::unique_ptr<udb_recordset> rows = database->query(L"SELECT id FROM t ORDER BY id");
    ASSERT_NE(rows, nullptr);
    EXPECT_EQ(read_ids(*rows, 1200), one_to(1200));
    // reset goes back within the rows in hand: the second thousand.
    rows->reset();
    EXPECT_EQ(rows->get_item()->at(0)->to_long(), 1001);
    const std::vector<int> rest = read_ids(*rows);
    ASSERT_EQ(rest.size(), 1500u);
    EXPECT_EQ(rest.back(), 2500);
    EXPECT_TRUE(rows->is_eof());
}

TEST_F(SqlResults, ValuesTakeTheFormOfTheirColumns)
{
    look().execute("CREATE TABLE v (n INT, d DOUBLE, vc VARCHAR(20), vb VARBINARY(20), bl BLOB, tx TEXT, "
                   "cs VARCHAR(20) COLLATE utf8mb4_bin, nl INT, dt DATETIME)");
    look().execute("INSERT INTO v VALUES (-7, 2.5, 'caf\xc3\xa9 \xf0\x9f\x98\x80', x'00ff41', x'0102', 'text', "
                   "'Bin', NULL, '2024-02-29 13:14:15')");
    open();
    auto check = [&](const udb_record& row) {
        EXPECT_EQ(row.at(0)->get_type(), VT_I4);
        EXPECT_EQ(row.at(0)->to_long(), -7);
        EXPECT_EQ(row.at(1)->get_type(), VT_R8);
        EXPECT_EQ(row.at(1)->to_double(), 2.5);
        EXPECT_EQ(row.at(2)->get_type(), VT_BSTR);
        EXPECT_EQ(row.at(2)->to_wstring(), L"caf\u00e9 \U0001F600");
        EXPECT_EQ(row.at(3)->get_type(), ole_vt_bytes);
        EXPECT_EQ(row.at(3)->to_string(), "0x00FF41");
        EXPECT_EQ(row.at(4)->get_type(), ole_vt_bytes);
        EXPECT_EQ(row.at(5)->to_wstring(), L"text");
        EXPECT_EQ(row.at(6)->get_type(), VT_BSTR);  // a binary collation is still text
        EXPECT_EQ(row.at(6)->to_wstring(), L"Bin");
        EXPECT_EQ(row.at(7)->get_type(), VT_EMPTY);
        EXPECT_EQ(row.at(8)->to_string(), "2024-02-29 13:14:15");
    };
    std::unique_ptr<udb_recordset> rows = database->query(L"SELECT * FROM v");
    ASSERT_FALSE(rows->is_eof());
    check(*rows->get_item());
    rows.reset();
    sql_recordset table(database.get(), L"v", &database->relationships);
    table.reset();
    ASSERT_FALSE(table.is_eof());
    check(*table.get_item());

    // While BLOB is read as text, a BLOB column's bytes come as text.
    server.engine.set_blob_to_text(true);
    rows = database->query(L"SELECT bl FROM v");
    EXPECT_EQ(rows->get_item()->at(0)->get_type(), VT_BSTR);
}

} // namespace
