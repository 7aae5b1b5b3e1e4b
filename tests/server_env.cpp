#include "server_env.hpp"

#include <cctype>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

namespace {
std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}
} // namespace

std::optional<server_settings> test_server_settings()
{
    server_settings s;
    s.host = env("RVL_MYSQL_HOST");
    const std::string port = env("RVL_MYSQL_PORT");
    if (s.host.empty() || port.empty())
        return std::nullopt;
    s.port = static_cast<unsigned>(std::stoul(port));
    s.user = env("RVL_MYSQL_USER");
    s.password = env("RVL_MYSQL_PASSWORD");
    s.socket = env("RVL_MYSQL_SOCKET");
    return s;
}

bool test_server_required()
{
    return !env("RVL_REQUIRE_SERVER").empty();
}

test_connection::test_connection(const std::string& database) : mysql(mysql_init(nullptr))
{
    const auto s = test_server_settings();
    if (!s)
        throw std::runtime_error("no test server configured");
    if (!mysql_real_connect(mysql.get(), s->host.c_str(), s->user.c_str(), s->password.c_str(),
                            database.empty() ? nullptr : database.c_str(), s->port, nullptr, 0))
        throw std::runtime_error(std::string("cannot connect to the test server: ") + mysql_error(mysql.get()));
    execute("SET NAMES utf8mb4");
}

void test_connection::execute(const std::string& sql)
{
    if (mysql_real_query(mysql.get(), sql.data(), sql.size()) != 0)
        throw std::runtime_error(std::string(mysql_error(mysql.get())) + " in: " + sql.substr(0, 200));
    if (MYSQL_RES* result = mysql_store_result(mysql.get()))
        mysql_free_result(result);
}

std::vector<std::vector<std::string>> test_connection::rows(const std::string& sql)
{
    if (mysql_real_query(mysql.get(), sql.data(), sql.size()) != 0)
        throw std::runtime_error(std::string(mysql_error(mysql.get())) + " in: " + sql.substr(0, 200));
    std::unique_ptr<MYSQL_RES, void (*)(MYSQL_RES*)> result(mysql_store_result(mysql.get()), mysql_free_result);
    std::vector<std::vector<std::string>> out;
    if (!result)
        return out;
    const unsigned n = mysql_num_fields(result.get());
    while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
        const unsigned long* lengths = mysql_fetch_lengths(result.get());
        std::vector<std::string> values;
        for (unsigned i = 0; i < n; ++i)
            values.push_back(row[i] ? std::string(row[i], lengths[i]) : "NULL");
        out.push_back(std::move(values));
    }
    return out;
}

test_database::test_database()
{
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "rvl_";
    if (info)
        name += std::string(info->test_suite_name()) + "_" + info->name();
    name += '_';
    name += std::to_string(::getpid());
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    db_name = name.substr(0, 64);
    test_connection().execute("CREATE DATABASE `" + db_name + "` CHARACTER SET utf8mb4");
}

test_database::~test_database()
{
    try {
        test_connection().execute("DROP DATABASE IF EXISTS `" + db_name + "`");
    } catch (const std::exception&) {
        // the server is gone; nothing left to clean
    }
}
