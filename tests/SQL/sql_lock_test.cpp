// The named lock a run holds on its destination table: taken at once when
// free, waited for while another session holds it, refused naming the table
// when the wait runs out, and a stop ends the wait.
#include "SQL/sql_lock.hpp"
#include "sql_server.hpp"

#include <gtest/gtest.h>

namespace {

class SqlTableLock : public server_fixture {
protected:
    // The same lock, held by another session of the test's own.
    std::string hold(const std::wstring& table)
    {
        const std::string name = sql_table_lock::lock_name(wname(), table, !database->case_sensitive);
        EXPECT_EQ(other.rows("SELECT GET_LOCK('" + name + "', 0)"), (std::vector<std::vector<std::string>>{{"1"}}));
        return name;
    }
    test_connection other;
};

struct stopped {};

} // namespace

TEST_F(SqlTableLock, AFreeTableIsTakenAtOnceAndGivenBackAtTheEnd)
{
    int waits = 0;
    {
        sql_table_lock lock(*database, L"t", 5, [&] { ++waits; }, [] {});
        EXPECT_FALSE(lock.waited());
        EXPECT_EQ(other.rows("SELECT IS_FREE_LOCK('" + sql_table_lock::lock_name(wname(), L"t", !database->case_sensitive) + "')")[0][0], "0");
    }
    EXPECT_EQ(waits, 0);
    EXPECT_EQ(other.rows("SELECT IS_FREE_LOCK('" + sql_table_lock::lock_name(wname(), L"t", !database->case_sensitive) + "')")[0][0], "1");
}

TEST_F(SqlTableLock, AWaitThatRunsOutIsRefusedNamingTheTable)
{
    // One table, whatever case its name is written in where the server folds names.
    hold(database->case_sensitive ? L"t" : L"T");
    int waits = 0, seconds = 0;
    try {
        sql_table_lock lock(*database, L"t", 2, [&] { ++waits; }, [&] { ++seconds; });
        ADD_FAILURE() << "the lock was taken";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_NE(std::string(e.what()).find("'" + db_owner->name() + ".t' is being written by another run"),
                  std::string::npos)
            << e.what();
    }
    EXPECT_EQ(waits, 1);
    EXPECT_EQ(seconds, 2);
}

TEST_F(SqlTableLock, AStopEndsTheWait)
{
    hold(L"t");
    EXPECT_THROW(sql_table_lock(*database, L"t", 60, [] {}, [] { throw stopped{}; }), stopped);
}

TEST_F(SqlTableLock, ATableLetGoWhileWaitedForIsTaken)
{
    const std::string name = hold(L"t");
    sql_table_lock lock(*database, L"t", 30, [&] { other.rows("SELECT RELEASE_LOCK('" + name + "')"); }, [] {});
    EXPECT_TRUE(lock.waited());
}

TEST(SqlTableLockName, EveryNameFitsTheServerAndLongOnesStayApart)
{
    const std::wstring long_table(64, L'\u20ac');
    for (const bool folded : {true, false}) {
        const std::string one = sql_table_lock::lock_name(L"shop", long_table, folded);
        const std::string two = sql_table_lock::lock_name(L"shop", long_table.substr(1) + L"x", folded);
        EXPECT_LE(one.size(), 64u);
        EXPECT_NE(one, two);
        EXPECT_EQ(sql_table_lock::lock_name(L"shop", L"t1", folded), "ravelin:shop.t1");
    }
    // Where the server folds names, Shop.T1 is shop.t1; where it compares
    // them exactly, another table.
    EXPECT_EQ(sql_table_lock::lock_name(L"Shop", L"T1", true), sql_table_lock::lock_name(L"shop", L"t1", true));
    EXPECT_EQ(sql_table_lock::lock_name(L"Shop", L"T1", false), "ravelin:Shop.T1");
}
