// A database of a console test's own on the test server.
#pragma once

#include "server_env.hpp"

#include <string>
#include <unistd.h>
#include <vector>

using texts = std::vector<std::string>;

// A database of the test's own, dropped before and after.
class scratch_db {
public:
    explicit scratch_db(const std::string& suffix) : db_name("rvl_con_" + std::to_string(::getpid()) + "_" + suffix)
    {
        drop();
    }
    ~scratch_db() { drop(); }
    scratch_db(const scratch_db&) = delete;
    scratch_db& operator=(const scratch_db&) = delete;

    const std::string& name() const { return db_name; }
    void create() const { test_connection().execute("CREATE DATABASE `" + db_name + "` CHARACTER SET utf8mb4"); }
    void execute(const std::string& sql) const { test_connection(db_name).execute(sql); }
    // Each row's values joined by "|".
    texts rows(const std::string& sql) const
    {
        texts out;
        for (const auto& r : test_connection(db_name).rows(sql)) {
            std::string line;
            for (size_t i = 0; i < r.size(); ++i)
                line += (i ? "|" : "") + r[i];
            out.push_back(line);
        }
        return out;
    }
    texts tables() const
    {
        return rows("SELECT table_name FROM information_schema.tables WHERE table_schema = DATABASE() ORDER BY "
                    "table_name");
    }

private:
    void drop() const { test_connection().execute("DROP DATABASE IF EXISTS `" + db_name + "`"); }
    std::string db_name;
};
