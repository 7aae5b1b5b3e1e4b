#include "server_env.hpp"

#include <gtest/gtest.h>

TEST(TestServer, StoresTextOutsideTheBasicPlaneAndControlBytes)
{
    RVL_NEED_TEST_SERVER();
    test_database db;
    test_connection c(db.name());
    c.execute("CREATE TABLE t (v TEXT) CHARACTER SET utf8mb4");
    c.execute("INSERT INTO t VALUES ('\xF0\x9F\x98\x80 caf\xC3\xA9 \\0\\r\\n\\Z')");
    const auto rows = c.rows("SELECT v FROM t");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0][0], std::string("\xF0\x9F\x98\x80 caf\xC3\xA9 \0\r\n\x1A", 15));
}

TEST(TestServer, EachTestHasADatabaseOfItsOwn)
{
    RVL_NEED_TEST_SERVER();
    std::string name;
    {
        test_database db;
        name = db.name();
        EXPECT_EQ(test_connection().rows("SHOW DATABASES LIKE '" + name + "'").size(), 1u);
    }
    EXPECT_TRUE(test_connection().rows("SHOW DATABASES LIKE '" + name + "'").empty());
}
