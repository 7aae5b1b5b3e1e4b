// The private MariaDB server that tools/test.sh starts for the tests. Its
// settings come from the RVL_MYSQL_* variables. Without them a test that needs
// the server is skipped with a message, unless RVL_REQUIRE_SERVER is set (CI),
// where a missing server fails the test.
#pragma once

#include <gtest/gtest.h>
#include <mysql.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

struct server_settings {
    std::string host;
    unsigned port = 0;
    std::string user;
    std::string password;
    std::string socket;
};

std::optional<server_settings> test_server_settings();
bool test_server_required();

// Use first thing in a test: skips (or fails, in CI) without a server.
#define RVL_NEED_TEST_SERVER()                                                             \
    do {                                                                                   \
        if (!test_server_settings()) {                                                     \
            if (test_server_required())                                                    \
                FAIL() << "RVL_REQUIRE_SERVER is set but no test server is configured "    \
                          "(RVL_MYSQL_HOST, RVL_MYSQL_PORT...): run tools/test.sh";        \
            GTEST_SKIP() << "no test server: run tools/test.sh, which starts one";         \
        }                                                                                  \
    } while (0)

// One client connection to the test server, closed when it goes.
class test_connection {
public:
    // Throws std::runtime_error with the client's message when it cannot connect.
    explicit test_connection(const std::string& database = std::string());
    MYSQL* handle() const { return mysql.get(); }
    // Runs a statement; throws std::runtime_error with the server's message.
    void execute(const std::string& sql);
    // The rows of a query, each value as text ("NULL" stands for SQL NULL).
    std::vector<std::vector<std::string>> rows(const std::string& sql);

private:
    struct closer {
        void operator()(MYSQL* m) const { mysql_close(m); }
    };
    std::unique_ptr<MYSQL, closer> mysql;
};

// A database of the test's own, named after the running test, dropped when
// the object goes.
class test_database {
public:
    test_database();
    ~test_database();
    test_database(const test_database&) = delete;
    test_database& operator=(const test_database&) = delete;
    const std::string& name() const { return db_name; }

private:
    std::string db_name;
};
