// Replacing a table through a stand-in: the stand-in's name is one nothing
// of the database holds (a sequence of that name is neither taken nor
// dropped), and a replacement that another session's hold on the table
// keeps waiting is told, bounded and ended by a stop, changing nothing.
#include "SQL/sql_db.hpp"
#include "TK/tk_excep.hpp"
#include "sql_server.hpp"

#include <gtest/gtest.h>

#include <mysql.h>

namespace {

using table_rows = std::vector<std::vector<std::string>>;

class SqlReplace : public server_fixture {
protected:
    // The objects of the database with their kinds, as the server lists them.
    table_rows objects() const
    {
        return look().rows("SELECT TABLE_NAME, TABLE_TYPE FROM information_schema.TABLES WHERE TABLE_SCHEMA = "
                           "DATABASE() ORDER BY TABLE_NAME");
    }
    std::string own_id() const { return std::to_string(mysql_thread_id(database->get_connection())); }
};

struct stopped {};

} // namespace

TEST_F(SqlReplace, AnObjectNamedLikeTheNextStandInIsNeitherTakenNorDropped)
{
    // What the database may hold under a stand-in's name: the user's own
    // objects are no leftovers.
    for (const std::string& create : {std::string("CREATE SEQUENCE "), std::string("CREATE VIEW "),
                                      std::string("CREATE TABLE ")}) {
        SCOPED_TRACE(create);
        // The first name a database object opened anew would take.
        open();
        const std::string taken = "rvl_standin_" + own_id() + "_1";
        look().execute(create + "`" + taken + "`" + (create == "CREATE VIEW " ? " AS SELECT 1 AS x" : "") +
                       (create == "CREATE TABLE " ? " (x INT)" : ""));
        const table_rows before = objects();
        const std::wstring standin = database->new_standin_name();
        EXPECT_NE(utf8(standin), taken);
        // The probes of what the user may do go to free names.
        EXPECT_TRUE(database->may_drop());
        EXPECT_TRUE(database->may_rename());
        EXPECT_TRUE(database->may_insert());
        EXPECT_EQ(objects(), before);
        look().execute((create == "CREATE VIEW " ? "DROP VIEW `" : "DROP TABLE `") + taken + "`");
    }
}

TEST_F(SqlReplace, AReplacementWaitsForAnotherSessionsHoldToldAndBounded)
{
    look().execute("CREATE TABLE t (x INT)");
    look().execute("INSERT INTO t VALUES (1), (2)");
    look().execute("CREATE TABLE s (x INT)");
    open();
    for (const bool stop : {false, true}) {
        SCOPED_TRACE(stop ? "stopped" : "the wait runs out");
        test_connection holder(db_owner->name());
        holder.execute("START TRANSACTION");
        holder.rows("SELECT * FROM t");
        int told = 0, tries = 0;
        database->set_table_wait(
            2, [&](const std::wstring& table) { told += table == L"t" ? 1 : 100; },
            [&] {
                ++tries;
                if (stop)
                    throw stopped{};
            });
        try {
            database->put_in_place(L"s", L"t");
            ADD_FAILURE() << "the table was replaced";
        } catch (const stopped&) {
            EXPECT_TRUE(stop);
        } catch (const tk_exception& e) {
            EXPECT_FALSE(stop);
            EXPECT_EQ(e.get_level(), 0);
            EXPECT_NE(std::string(e.what()).find("The table '" + db_owner->name() + ".t' is held by another session"),
                      std::string::npos)
                << e.what();
        }
        EXPECT_EQ(told, 1);
        if (stop)
            EXPECT_EQ(tries, 1);
        else
            EXPECT_GT(tries, 1);
        // Nothing changed, and nothing of the run still waits on the server.
        EXPECT_EQ(objects(), (table_rows{{"s", "BASE TABLE"}, {"t", "BASE TABLE"}}));
        EXPECT_EQ(look().rows("SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " + own_id() +
                              " AND COMMAND = 'Query' AND INFO LIKE 'RENAME%'"),
                  (table_rows{{"0"}}));
        holder.execute("COMMIT");
    }
    // Once the hold ends, the replacement goes through at once.
    int told = 0;
    database->set_table_wait(2, [&](const std::wstring&) { ++told; }, [] {});
    database->put_in_place(L"s", L"t");
    EXPECT_EQ(told, 0);
    EXPECT_EQ(objects(), (table_rows{{"t", "BASE TABLE"}}));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM t"), "0");
}
