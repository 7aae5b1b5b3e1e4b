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

#include "UDB/udb_fld.hpp"
#include "UDB/udb_ftd.hpp"
#include "UDB/udb_rec.hpp"
#include "UDB/udb_sch.hpp"

#include <utility>
#include <vector>

// A record of named values, as a source hands them to a table.
inline udb_record make_record(const std::vector<std::pair<std::wstring, ole_variant>>& values)
{
    udb_record record;
    for (const auto& [name, value] : values)
        record.push_back(std::make_unique<udb_field>(name, 0, value, false, false));
    return record;
}

inline std::shared_ptr<t_ftd> make_column(const std::wstring& name, VARTYPE vt, uint32_t size = 0,
                                          bool not_null = false)
{
    return std::make_shared<t_ftd>(size, name, vt, not_null, false, ole_variant(), 0, std::wstring());
}

inline std::string utf8(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text) {
        const auto u = static_cast<uint32_t>(c);
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else if (u < 0x10000) {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (u >> 18));
            out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}
