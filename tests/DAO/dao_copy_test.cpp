// An Access-like database with two related tables and a saved query copied
// through the back ends' own interfaces into a dump and into the test
// server: the schema, the rows, the relationship and the view arrive.
#include "DAO/dao_db.hpp"
#include "SQL/dmp_help.hpp"
#include "SQL/sql_server.hpp"
#include "TK/tk_rprt.hpp"
#include "platform/text/pl_utf8.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

namespace {

class failing_reporter : public tk_reporter {
public:
    void set_context(const std::wstring& name) override { context = platform::to_utf8(name); }
    void handle(const tk_exception& e, bool) override { ADD_FAILURE() << context << ": " << e.what(); }
    std::string context;
};

std::shared_ptr<t_ftd> col(const std::wstring& name, VARTYPE vt, uint32_t size = 0, bool not_null = false,
                           bool auto_increment = false)
{
    return std::make_shared<t_ftd>(size, name, vt, not_null, auto_increment, ole_variant(), 0, L"");
}

udb_record row(const std::vector<ole_variant>& values)
{
    udb_record record;
    for (const ole_variant& v : values)
        record.push_back(std::make_unique<udb_field>(L"", 0, v, false, false));
    return record;
}

udb_index key(const std::wstring& name, const std::wstring& field)
{
    udb_index index;
    index.name = name;
    index.fields = {field};
    index.primary = true;
    index.unique = true;
    return index;
}

std::wstring fresh_name()
{
    static std::atomic<int> counter{0};
    return L"/nonexistent-dir/dao_copy_" + std::to_wstring(++counter) + L".mdb";
}

// Customers (2 rows) and Orders (3 rows, each of a customer), the orders'
// customer a foreign key with cascading deletes, and a saved query joining
// them; then the database opened again as a source.
std::unique_ptr<udb_database> access_source(dao_engine& engine)
{
    const std::wstring name = fresh_name();
    {
        const std::unique_ptr<udb_database> db = engine.create_db(name);
        udb_schema customers, orders;
        customers.push_back(col(L"id", VT_I4, 0, true));
        customers.push_back(col(L"name", VT_BSTR, 40));
        customers.push_back(col(L"since", VT_DATE));
        orders.push_back(col(L"id", VT_I4, 0, true, true));
        orders.push_back(col(L"customer", VT_I4, 0, true));
        orders.push_back(col(L"amount", VT_R8));
        orders.push_back(col(L"note", VT_BSTR, 1000));
        udb_indexes customer_key, order_key;
        customer_key.push_back(key(L"pk_customers", L"id"));
        order_key.push_back(key(L"pk_orders", L"id"));
        {
            const auto rs = db->create_table(L"Customers", customers, customer_key);
            rs->append_record(row({1, L"O'Neil", ole_variant(ole_date(std::string("2024-02-29 13:45:06")))}));
            rs->append_record(row({2, L"\u6f22\u5b57", ole_variant()}));
        }
        {
            const auto rs = db->create_table(L"Orders", orders, order_key);
            rs->append_record(row({ole_variant(), 1, 12.5, L"first"}));
            rs->append_record(row({ole_variant(), 1, 3.25, ole_variant()}));
            rs->append_record(row({ole_variant(), 2, 40.0, std::wstring(600, L'n')}));
        }
        udb_relationships keys;
        keys.push_back(udb_relationship(L"Orders", L"Customers", {L"customer"}, {L"id"}, L" ON DELETE CASCADE"));
        db->create_relationships(keys);
    }
    ole_com_ptr<DAODatabase> raw = engine.open_database(name, L"", 0);
    ole_com_ptr<_DAOQueryDef> query;
    const std::wstring sql = L"SELECT o.id, UCase(c.name) AS who, o.amount FROM Orders AS o INNER JOIN Customers AS c "
                             L"ON o.customer = c.id WHERE o.amount <> 3.25 ORDER BY o.id ASC";
    EXPECT_EQ(raw->CreateQueryDef(ole_variant(L"big_orders").get_variant(), ole_variant(sql).get_variant(),
                                  query.address()),
              S_OK);
    return engine.open_db(name, 0, L"");
}

void copy(udb_database& from, udb_database& to)
{
    for (const std::wstring& table : from.get_tables()) {
        const std::unique_ptr<udb_recordset> source = from.get_table(table, 1);
        const std::unique_ptr<udb_recordset> target = to.create_table(table, source->schema, source->indexes);
        for (; !source->is_eof(); source->next())
            target->append_record(*source->get_item());
    }
    to.create_relationships(from.relationships);
    to.create_views(from.views);
}

class DaoCopy : public ::testing::Test {
protected:
    void SetUp() override
    {
        RVL_NEED_TEST_SERVER();
        database = std::make_unique<test_database>();
        server.connect();
        ASSERT_TRUE(dao.set_version_if(3));
    }

    // What arrived in the test's database.
    void expect_arrived() const
    {
        test_connection c(database->name());
        EXPECT_EQ(c.rows("SELECT id, name, since FROM Customers ORDER BY id"),
                  (std::vector<std::vector<std::string>>{{"1", "O'Neil", "2024-02-29 13:45:06"},
                                                         {"2", "\xe6\xbc\xa2\xe5\xad\x97", "NULL"}}));
        EXPECT_EQ(c.rows("SELECT id, customer, amount, LENGTH(note) FROM Orders ORDER BY id"),
                  (std::vector<std::vector<std::string>>{{"1", "1", "12.5", "5"}, {"2", "1", "3.25", "NULL"},
                                                         {"3", "2", "40", "600"}}));
        EXPECT_EQ(c.rows("SELECT TABLE_NAME, REFERENCED_TABLE_NAME, DELETE_RULE FROM "
                         "information_schema.REFERENTIAL_CONSTRAINTS WHERE CONSTRAINT_SCHEMA = DATABASE()"),
                  (std::vector<std::vector<std::string>>{{"Orders", "Customers", "CASCADE"}}));
        EXPECT_EQ(c.rows("SELECT * FROM big_orders"),
                  (std::vector<std::vector<std::string>>{{"1", "O'NEIL", "12.5"},
                                                         {"3", "\xe6\xbc\xa2\xe5\xad\x97", "40"}}));
    }

    failing_reporter reporter;
    std::unique_ptr<test_database> database;
    connected_engine server;
    dao_engine dao{false};
    test_dir dir;
};

} // namespace

TEST_F(DaoCopy, IntoADumpThatLoads)
{
    const std::unique_ptr<udb_database> source = access_source(dao);
    ASSERT_EQ(source->views.size(), 1u);
    EXPECT_EQ(source->views[0].second,
              L"SELECT o.id, upper(c.name) AS who, o.amount FROM Orders AS o INNER JOIN Customers AS c "
              L"ON o.customer = c.id WHERE o.amount != 3.25 ORDER BY o.id ASC");
    ASSERT_EQ(source->relationships.size(), 1u);
    const std::string file = dir.file("copy.sql");
    {
        const auto dump = server.engine.create_dump(tk_to_unicode(file), dump_options());
        copy(*source, *dump);
        dump->close();
    }
    std::string output;
    ASSERT_EQ(dmp_load(file, database->name(), output), 0) << output;
    expect_arrived();
    // The dump's statement that drops the foreign key runs on what it made.
    const std::string drop = dir.file("drop.sql");
    {
        const auto dump = server.engine.create_dump(tk_to_unicode(drop), dump_options());
        dump->delete_fk(source->relationships[0]);
        dump->close();
    }
    ASSERT_EQ(dmp_load(drop, database->name(), output), 0) << output;
    test_connection c(database->name());
    EXPECT_EQ(c.rows("SELECT COUNT(*) FROM information_schema.REFERENTIAL_CONSTRAINTS "
                     "WHERE CONSTRAINT_SCHEMA = DATABASE()")[0][0],
              "0");
}

TEST_F(DaoCopy, IntoTheServer)
{
    const std::unique_ptr<udb_database> source = access_source(dao);
    const std::unique_ptr<udb_database> target =
        server.engine.open_db(tk_to_unicode(database->name()), 2, std::wstring());
    copy(*source, *target);
    expect_arrived();
}

namespace {

class recording_reporter : public tk_reporter {
public:
    void set_context(const std::wstring& name) override { context = platform::to_utf8(name); }
    void handle(const tk_exception& e, bool) override { reports.push_back(context + ": " + e.what()); }
    std::string context;
    std::vector<std::string> reports;
};

} // namespace

// What a dump cannot hold so that it loads is reported and left out, and
// the next foreign key or view is written.
TEST(DaoCopyDump, UnwritableKeysAndViewsAreReportedAndSkipped)
{
    recording_reporter reporter;
    sql_engine engine;
    test_dir dir;
    const std::string path = dir.file("skip.sql");
    {
        const auto db = engine.create_dump(tk_to_unicode(path), dump_options());
        udb_relationships keys;
        keys.push_back(udb_relationship(L"fk_uneven", L"", L"c", L"p", {L"a", L"b"}, {L"id"}, L""));
        keys.push_back(udb_relationship(L"fk_rule", L"", L"c", L"p", {L"a"}, {L"id"}, L"ON DELETE CASCADE; DROP TABLE p"));
        keys.push_back(udb_relationship(L"fk_good", L"", L"c", L"p", {L"a"}, {L"id"}, L"ON DELETE CASCADE"));
        db->create_relationships(keys);
        db->create_views({{L"weeks", L"SELECT DateDiff(\"ww\", a, b) FROM t"},
                          {L"days", L"SELECT DateDiff(\"d\", a, b) AS n, Len(x) FROM t ORDER BY n ASC"}});
        db->close();
    }
    EXPECT_EQ(reporter.reports,
              (std::vector<std::string>{
                  "Foreign key 'fk_uneven': Foreign key 'fk_uneven' has 2 columns but its key has 1.",
                  "Foreign key 'fk_rule': Foreign key rule 'ON DELETE CASCADE; DROP TABLE p' is not a referential "
                  "action.",
                  "View 'weeks': DateDiff with the interval 'ww' has no match in MySQL: SELECT DateDiff(\"ww\", a, b) "
                  "FROM t"}));
    const std::string text = test_dir::read(path);
    EXPECT_EQ(dmp_count(text, "FOREIGN KEY"), 1u);
    EXPECT_NE(text.find("CONSTRAINT `fk_good` FOREIGN KEY(`a`) REFERENCES `p`(`id`) ON DELETE CASCADE;"),
              std::string::npos);
    EXPECT_EQ(text.find("weeks"), std::string::npos);
    EXPECT_NE(text.find("CREATE OR REPLACE VIEW `days` AS SELECT TIMESTAMPDIFF(DAY, a, b) AS n, length(x) FROM t "
                        "ORDER BY n ASC;"),
              std::string::npos)
        << text;
}
