// A server whose max_allowed_packet is below 1,000,000 bytes: gathered
// statements stay within it. The server's setting is global, so this test
// runs alone and puts it back.
#include "SQL/sql_tab.hpp"
#include "TK/tk_log.hpp"
#include "sql_server.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <regex>

namespace {

class global_packet {
public:
    explicit global_packet(const std::string& value)
        : saved(test_connection().rows("SELECT @@global.max_allowed_packet").at(0).at(0))
    {
        test_connection().execute("SET GLOBAL max_allowed_packet = " + value);
    }
    ~global_packet() { test_connection().execute("SET GLOBAL max_allowed_packet = " + saved); }
    global_packet(const global_packet&) = delete;
    global_packet& operator=(const global_packet&) = delete;

private:
    std::string saved;
};

TEST(SqlSmallPacket, GatheredStatementsStayWithinTheServersPacket)
{
    RVL_NEED_TEST_SERVER();
    test_database db;
    const global_packet small("65536");
    test_dir dir;
    const std::string log_file = dir.file("run.log");
    tk_logger logger(log_file.c_str(), false, 2, false);
    logger.set_enabled(true);
    {
        connected_engine server;
        server.connect();
        ASSERT_EQ(server.engine.get_max_allowed_packet(), 65536u);
        test_connection(db.name()).execute("CREATE TABLE t (id INT, txt VARCHAR(300))");
        auto opened = server.engine.open_db(std::wstring(db.name().begin(), db.name().end()), 8, std::wstring());
        auto table = opened->get_table(L"t", 2);
        for (int i = 1; i <= 2000; ++i)
            table->append_record(make_record({{L"id", i}, {L"txt", std::wstring(200, L'p')}}));
        static_cast<sql_table*>(table.get())->flush();
        EXPECT_EQ(test_connection(db.name()).rows("SELECT COUNT(*) FROM t").at(0).at(0), "2000");
    }
    const std::string log = test_dir::read(log_file);
    const std::regex sent("query_append\\(q_len=([0-9]+)\\)");
    int statements = 0;
    for (auto it = std::sregex_iterator(log.begin(), log.end(), sent); it != std::sregex_iterator(); ++it) {
        EXPECT_LT(std::stoul((*it)[1]), 65536u);
        ++statements;
    }
    EXPECT_GT(statements, 6);  // about 440 KB of rows
}

// A row larger than the server's packet would make it close the connection:
// it is refused alone and the rows around it arrive.
TEST(SqlSmallPacket, ARowOverThePacketIsTheOnlyRowLost)
{
    RVL_NEED_TEST_SERVER();
    test_database db;
    const global_packet small("4096");
    connected_engine server;
    server.connect();
    test_connection(db.name()).execute("CREATE TABLE t (id INT, txt MEDIUMTEXT)");
    auto opened = server.engine.open_db(std::wstring(db.name().begin(), db.name().end()), 8, std::wstring());
    auto table = opened->get_table(L"t", 2);
    table->append_record(make_record({{L"id", 1}, {L"txt", L"small"}}));
    try {
        table->append_record(make_record({{L"id", 2}, {L"txt", std::wstring(200000, L'b')}}));
        FAIL() << "a row over max_allowed_packet was taken";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_STREQ(e.what(), "Row size exceeds 'max_allowed_packet': record #2 of the table 't' is not converted.");
    }
    table->append_record(make_record({{L"id", 3}, {L"txt", L"small after"}}));
    static_cast<sql_table*>(table.get())->flush();
    EXPECT_EQ(test_connection(db.name()).rows("SELECT id, txt FROM t ORDER BY id"),
              (std::vector<std::vector<std::string>>{{"1", "small"}, {"3", "small after"}}));
}

} // namespace
