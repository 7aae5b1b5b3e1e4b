// The engine against the real server: connection and session, databases,
// the catalogue and max_allowed_packet.
#include "SQL/sql_exc.hpp"
#include "TK/tk_log.hpp"
#include "sql_server.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace {

std::string session_value(sql_engine& engine, const char* sql)
{
    MYSQL* handle = engine.get_handle();
    EXPECT_EQ(mysql_query(handle, sql), 0) << mysql_error(handle);
    sql_result_ptr result(mysql_store_result(handle));
    MYSQL_ROW row = mysql_fetch_row(result.get());
    return row && row[0] ? row[0] : "NULL";
}

TEST(SqlConnect, SetsUpTheSessionAndReadsTheVersion)
{
    RVL_NEED_TEST_SERVER();
    connected_engine server;
    server.connect();
    sql_engine& engine = server.engine;
    EXPECT_TRUE(engine.is_connected());
    EXPECT_EQ(engine.get_version(), sql_engine::parse_version(mysql_get_server_info(engine.get_handle())));
    // MariaDB 10.x is past 5.5.3: the session speaks utf8mb4, so four-byte
    // characters survive.
    EXPECT_EQ(session_value(engine, "SELECT @@character_set_client"), "utf8mb4");
    EXPECT_EQ(session_value(engine, "SELECT @@character_set_results"), "utf8mb4");
    EXPECT_GE(std::stoul(session_value(engine, "SELECT @@session.wait_timeout")), 28800u);
    // Rows go in with the server's foreign-key checks.
    EXPECT_EQ(session_value(engine, "SELECT @@session.foreign_key_checks"), "1");
}

TEST(SqlConnect, AHigherWaitTimeoutIsNeverLowered)
{
    RVL_NEED_TEST_SERVER();
    test_connection admin;
    const std::string saved = admin.rows("SELECT @@global.wait_timeout").at(0).at(0);
    admin.execute("SET GLOBAL wait_timeout = 40000");
    connected_engine server;
    server.connect();
    const std::string value = session_value(server.engine, "SELECT @@session.wait_timeout");
    admin.execute("SET GLOBAL wait_timeout = " + saved);
    EXPECT_EQ(value, "40000");
}

TEST(SqlConnect, ConnectingTwiceReplacesTheConnection)
{
    RVL_NEED_TEST_SERVER();
    connected_engine server;
    server.connect();
    const std::string first = session_value(server.engine, "SELECT CONNECTION_ID()");
    server.engine.get_max_allowed_packet();
    server.connect();
    EXPECT_TRUE(server.engine.is_connected());
    EXPECT_NE(session_value(server.engine, "SELECT CONNECTION_ID()"), first);
    // The first connection is gone from the server, which may take a moment
    // to finish closing the thread after the client said goodbye.
    test_connection admin;
    const std::string query = "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE ID = " + first;
    std::string count = admin.rows(query).at(0).at(0);
    for (int wait = 0; count != "0" && wait < 100; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        count = admin.rows(query).at(0).at(0);
    }
    EXPECT_EQ(count, "0");
    EXPECT_EQ(session_value(server.engine, "SELECT @@session.foreign_key_checks"), "1");
}

TEST(SqlConnect, AWrongPasswordIsRefusedWithTheServersError)
{
    RVL_NEED_TEST_SERVER();
    const server_settings s = *test_server_settings();
    test_dir dir;
    const std::string log_file = dir.file("run.log");
    tk_logger logger(log_file.c_str(), false, 1, false);
    logger.set_enabled(true);
    sql_engine engine;
    const std::string wrong = "not-" + s.password + "-at-all";
    try {
        engine.connect(s.host, s.user, wrong, static_cast<int>(s.port));
        FAIL() << "connected with a wrong password";
    } catch (const sql_exception& e) {
        EXPECT_EQ(e.get_code(), 0x400000u + 1045u);
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_NE(e.get_message().find("Access denied"), std::string::npos) << e.get_message();
    }
    EXPECT_FALSE(engine.is_connected());
    // The handle is ready for the next attempt, which succeeds.
    engine.connect(s.host, s.user, s.password, static_cast<int>(s.port));
    EXPECT_TRUE(engine.is_connected());
    const std::string log = test_dir::read(log_file);
    EXPECT_NE(log.find("sql_engine::connect(" + s.host + "," + s.user + ",*****,"), std::string::npos) << log;
    EXPECT_EQ(log.find(wrong), std::string::npos);
    EXPECT_EQ(log.find(s.password), std::string::npos);
}

TEST(SqlConnect, PortsOutsideTheTcpRangeAreRefusedBeforeConnecting)
{
    sql_engine engine;
    for (int port : {0, -1, 65536, 100000}) {
        try {
            engine.connect("127.0.0.1", "u", "p", port);
            ADD_FAILURE() << port;
        } catch (const tk_exception& e) {
            EXPECT_STREQ(e.what(), "Invalid port number");
            EXPECT_EQ(e.get_level(), 1);
        }
    }
    EXPECT_FALSE(engine.is_connected());
}

TEST(SqlConnect, ReadsItsOwnOptionGroup)
{
    RVL_NEED_TEST_SERVER();
    // The client library reads ~/.my.cnf among its option files; a test
    // home of its own holds the program's group and nothing else.
    test_dir home;
    test_dir::write(home.file(".my.cnf"), "[BV MySQL Lib]\ninit-command=SET @rvl_option_group='read'\n");
    const char* saved = std::getenv("HOME");
    const std::string saved_home = saved ? saved : "";
    setenv("HOME", home.path().c_str(), 1);
    connected_engine server;
    server.connect();
    if (saved)
        setenv("HOME", saved_home.c_str(), 1);
    EXPECT_EQ(session_value(server.engine, "SELECT @rvl_option_group"), "read");
}

TEST(SqlConnect, MaxAllowedPacketIsAskedOnceAndZeroWithoutAConnection)
{
    {
        sql_engine idle;
        EXPECT_EQ(idle.get_max_allowed_packet(), 0u);
    }
    RVL_NEED_TEST_SERVER();
    connected_engine server;
    server.connect();
    const std::string expected = test_connection().rows("SELECT @@global.max_allowed_packet").at(0).at(0);
    EXPECT_EQ(std::to_string(server.engine.get_max_allowed_packet()), expected);
    // Cached: a broken connection is not asked again.
    mysql_close(server.engine.get_handle());
    mysql_init(server.engine.get_handle());
    EXPECT_EQ(std::to_string(server.engine.get_max_allowed_packet()), expected);
}

TEST(SqlConnect, CatalogueComesFromTheServerOnceConnected)
{
    RVL_NEED_TEST_SERVER();
    connected_engine server;
    server.connect();
    const auto& charsets = server.engine.get_charsets();
    const auto rows = test_connection().rows("SHOW CHARACTER SET");
    ASSERT_EQ(charsets.size(), rows.size());
    EXPECT_EQ(charsets.front(), std::wstring(rows[0][0].begin(), rows[0][0].end()) + L" - " +
                                    std::wstring(rows[0][1].begin(), rows[0][1].end()));
    const auto& engines = server.engine.get_storage_engines();
    const auto engine_rows = test_connection().rows("SHOW ENGINES");
    ASSERT_EQ(engines.size(), engine_rows.size());
    bool has_innodb = false;
    for (const auto& name : engines)
        has_innodb = has_innodb || name == L"InnoDB";
    EXPECT_TRUE(has_innodb);
}

class SqlDatabases : public ::testing::Test {
protected:
    void SetUp() override
    {
        RVL_NEED_TEST_SERVER();
        server.connect();
        name = "rvl_dbs_" + std::to_string(::getpid());
        wide = std::wstring(name.begin(), name.end());
        test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
    }
    void TearDown() override
    {
        if (test_server_settings())
            test_connection().execute("DROP DATABASE IF EXISTS `" + name + "`");
    }

    connected_engine server;
    std::string name;
    std::wstring wide;
};

TEST_F(SqlDatabases, CreateOpenTestAndDrop)
{
    sql_engine& engine = server.engine;
    EXPECT_FALSE(engine.is_db_exist(wide));
    std::unique_ptr<udb_database> created = engine.create_db(wide);
    ASSERT_TRUE(created);
    EXPECT_EQ(created->mode, 2u);
    EXPECT_TRUE(created->get_tables().empty());
    EXPECT_EQ(test_connection().rows("SELECT DEFAULT_CHARACTER_SET_NAME FROM information_schema.SCHEMATA WHERE "
                                     "SCHEMA_NAME = '" + name + "'").at(0).at(0),
              "utf8mb4");
    EXPECT_TRUE(engine.is_db_exist(wide));
    test_connection(name).execute("CREATE TABLE t1 (a INT)");
    std::unique_ptr<udb_database> opened = engine.open_db(wide, 8, std::wstring());
    EXPECT_EQ(opened->mode, 8u);
    // Another case finds the table where the server folds names.
    EXPECT_TRUE(opened->is_table_exist(L"t1"));
    EXPECT_EQ(opened->is_table_exist(L"T1"), !opened->case_sensitive);
    engine.db_delete(wide);
    EXPECT_FALSE(engine.is_db_exist(wide));
    // The drop turns foreign-key checks on again when it is done.
    EXPECT_EQ(session_value(engine, "SELECT @@session.foreign_key_checks"), "1");
    try {
        engine.open_db(wide, 8, std::wstring());
        FAIL() << "opened a dropped database";
    } catch (const sql_exception& e) {
        EXPECT_EQ(e.get_code(), 0x400000u + 1049u);
    }
    try {
        engine.db_delete(wide);
        FAIL() << "dropped a missing database";
    } catch (const sql_exception& e) {
        EXPECT_EQ(e.get_code(), 0x400000u + 1008u);
    }
}

TEST_F(SqlDatabases, TheServersOwnSchemasAreNeverDropped)
{
    for (const wchar_t* schema : {L"mysql", L"information_schema", L"performance_schema", L"sys", L"MySQL"}) {
        try {
            server.engine.db_delete(schema);
            ADD_FAILURE() << "dropped a system schema";
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.get_level(), 1);
            EXPECT_NE(e.get_message().find("belongs to the MySQL server itself"), std::string::npos);
        }
    }
    EXPECT_TRUE(server.engine.is_db_exist(L"mysql"));
}

} // namespace
