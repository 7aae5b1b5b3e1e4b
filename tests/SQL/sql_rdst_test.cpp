// Opening an existing table reads its columns, defaults, indexes and
// foreign keys, and none of its rows.
#include "SQL/sql_tab.hpp"
#include "sql_server.hpp"

#include <gtest/gtest.h>

namespace {

class SqlStructure : public server_fixture {
protected:
    std::unique_ptr<udb_recordset> table(const wchar_t* name, uint32_t mode)
    {
        open();
        return database->get_table(name, mode);
    }
};

TEST_F(SqlStructure, ColumnsTypesAndDefaults)
{
    // A zero date default is what older servers and lenient modes left
    // behind; a strict server takes one only from such a session.
    test_connection lenient = look();
    lenient.execute("SET SESSION sql_mode = ''");
    lenient.execute("CREATE TABLE t (a INT NOT NULL DEFAULT 5, b VARCHAR(40) DEFAULT 'abc', "
                   "c TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP, d DATETIME NOT NULL DEFAULT '0000-00-00 00:00:00', "
                   "e BIT(1) DEFAULT b'1', f FLOAT(10,2), g FLOAT(5,0), h MEDIUMTEXT, i BLOB, j DATETIME, "
                   "k DATETIME(6) NOT NULL DEFAULT CURRENT_TIMESTAMP(6))");
    std::unique_ptr<udb_recordset> t = table(L"t", 2);
    const udb_schema& s = t->schema;
    ASSERT_EQ(s.size(), 11u);
    EXPECT_EQ(s.get_field1(L"a").default_value.to_long(), 5);
    EXPECT_EQ(s.get_field1(L"b").vartype, VT_BSTR);
    EXPECT_EQ(s.get_field1(L"b").size, 40u);
    EXPECT_EQ(s.get_field1(L"b").default_value.to_wstring(), L"abc");
    // MariaDB shows current_timestamp(); either spelling is the current time.
    EXPECT_EQ(s.get_field1(L"c").reserved, 9u);
    EXPECT_EQ(s.get_field1(L"k").reserved, 9u);
    EXPECT_TRUE(s.get_field1(L"c").b_not_null);
    EXPECT_FALSE(s.get_field1(L"d").b_not_null);
    EXPECT_EQ(s.get_field1(L"e").vartype, VT_BOOL);
    EXPECT_TRUE(s.get_field1(L"e").default_value.to_bool());
    EXPECT_EQ(s.get_field1(L"f").vartype, VT_DECIMAL);
    EXPECT_EQ(s.get_field1(L"f").precision, 10u);
    EXPECT_EQ(s.get_field1(L"f").scale, 2u);
    EXPECT_EQ(s.get_field1(L"g").vartype, VT_R4);
    EXPECT_EQ(s.get_field1(L"h").vartype, VT_BSTR);
    EXPECT_EQ(s.get_field1(L"i").vartype, ole_vt_bytes);
    EXPECT_EQ(s.get_field1(L"j").default_value.get_type(), VT_EMPTY);
    EXPECT_FALSE(server.engine.is_blob_to_text());
}

TEST_F(SqlStructure, IndexesAndForeignKeys)
{
    look().execute("CREATE TABLE parent (x INT, y INT, PRIMARY KEY (x, y))");
    look().execute("CREATE TABLE t (b INT, a INT, u VARCHAR(10), n INT, PRIMARY KEY (b, a), UNIQUE KEY uq (u), "
                   "KEY ix (n), CONSTRAINT fk_p FOREIGN KEY (a, b) REFERENCES parent (x, y) ON DELETE CASCADE)");
    std::unique_ptr<udb_recordset> t = table(L"t", 2);
    ASSERT_TRUE(t->indexes.find2(L"PRIMARY"));
    const udb_index& primary = t->indexes.get_index(L"PRIMARY");
    EXPECT_TRUE(primary.primary);
    EXPECT_TRUE(primary.unique);
    EXPECT_EQ(primary.fields, (std::vector<std::wstring>{L"b", L"a"}));
    EXPECT_TRUE(t->indexes.get_index(L"uq").unique);
    EXPECT_FALSE(t->indexes.get_index(L"ix").unique);
    EXPECT_EQ(t->key_position, 0);
    ASSERT_EQ(database->relationships.size(), 1u);
    const udb_relationship& fk = database->relationships[0];
    EXPECT_EQ(fk.name, L"fk_p");
    EXPECT_EQ(fk.child_table, L"t");
    EXPECT_EQ(fk.parent_table, L"parent");
    EXPECT_EQ(fk.fk_flds, (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(fk.pk_flds, (std::vector<std::wstring>{L"x", L"y"}));
    EXPECT_EQ(fk.properties, L"ON DELETE CASCADE");

    // Mode 0 reads the columns only.
    std::unique_ptr<udb_recordset> bare = table(L"t", 0);
    EXPECT_EQ(bare->schema.size(), 4u);
    EXPECT_TRUE(bare->indexes.empty());
    EXPECT_TRUE(database->relationships.empty());
}

TEST_F(SqlStructure, OpeningReadsNoRows)
{
    look().execute("CREATE TABLE big (id INT AUTO_INCREMENT PRIMARY KEY, txt VARCHAR(20))");
    look().execute("INSERT INTO big (txt) SELECT 'x' FROM seq_1_to_20000");
    open();
    database->query(L"FLUSH STATUS");
    std::unique_ptr<udb_recordset> t = database->get_table(L"big", 8);
    EXPECT_EQ(t->schema.last_auto_number, 20000);
    EXPECT_EQ(t->row_count, 0);
    std::unique_ptr<udb_recordset> status = database->query(
        L"SHOW SESSION STATUS WHERE Variable_name IN ('Handler_read_rnd_next', 'Handler_read_next')");
    for (; !status->is_eof(); status->next()) {
        const udb_record& row = *status->get_item();
        EXPECT_LT(row.at(1)->to_long(), 1000) << row.at(0)->to_string();
    }
}

} // namespace
