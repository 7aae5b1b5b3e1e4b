// An engine connected to the private test server (127.0.0.1 and its port)
// and a database of the test's own, opened through the engine.
#pragma once

#include "SQL/sql_db.hpp"
#include "SQL/sql_engi.hpp"
#include "server_env.hpp"

#include <memory>
#include <string>

struct connected_engine {
    sql_engine engine;

    void connect()
    {
        const server_settings s = *test_server_settings();
        engine.connect(s.host, s.user, s.password, static_cast<int>(s.port));
    }
};

class server_fixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        RVL_NEED_TEST_SERVER();
        db_owner = std::make_unique<test_database>();
        server.connect();
        open();
    }

    // Opens the test's database again (a fresh table list), with mode.
    void open(uint32_t mode = 2)
    {
        database.reset();
        auto opened = server.engine.open_db(wname(), mode, std::wstring());
        database.reset(static_cast<sql_database*>(opened.release()));
    }

    std::wstring wname() const { return std::wstring(db_owner->name().begin(), db_owner->name().end()); }
    // A second connection of the test's own, to look at what arrived.
    test_connection look() const { return test_connection(db_owner->name()); }
    std::string scalar(const std::string& sql) const { return look().rows(sql).at(0).at(0); }

    std::unique_ptr<test_database> db_owner;
    connected_engine server;
    std::unique_ptr<sql_database> database;
};
