// The client's read and write timeouts from option files: the group, both
// spellings of the keys, includes, and what a later file or line changes.
#include "SQL/sql_optf.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(SqlClientTimeouts, TheGroupsKeysInFileOrder)
{
    test_dir dir;
    std::filesystem::create_directory(dir.file("conf.d"));
    test_dir::write(dir.file("conf.d/b.cnf"), "[BV MySQL Lib]\nwrite_timeout = 7\n");
    test_dir::write(dir.file("conf.d/a.cnf"), "[BV MySQL Lib]\nwrite-timeout=5\nread-timeout=9\n");
    test_dir::write(dir.file("conf.d/ignored.txt"), "[BV MySQL Lib]\nread-timeout=1\n");
    test_dir::write(dir.file("inc.cnf"), "[BV MySQL Lib]\nread_timeout=4\n");
    test_dir::write(dir.file("my.cnf"), "# comment\n[client]\nread-timeout=2\n"
                                        "[BV MySQL Lib]\r\nread-timeout=11\r\nwrite-timeout=zero\n"
                                        "!includedir " + dir.file("conf.d") + "\n");
    test_dir::write(dir.file("user.cnf"), "!include " + dir.file("inc.cnf") + "\n[other]\nwrite-timeout=1\n");

    struct row {
        std::vector<std::string> files;
        unsigned read;
        unsigned write;
    } rows[] = {
        {{}, 600, 120},                                   // the defaults
        {{dir.file("missing.cnf")}, 600, 120},            // a missing file changes nothing
        {{dir.file("my.cnf")}, 9, 7},                     // included files in name order, after the own lines
        {{dir.file("my.cnf"), dir.file("user.cnf")}, 4, 7},  // a later file stands over an earlier one
    };
    for (const row& r : rows) {
        const sql_client_timeouts t = sql_read_timeouts("BV MySQL Lib", r.files);
        EXPECT_EQ(t.read, r.read) << r.files.size();
        EXPECT_EQ(t.write, r.write) << r.files.size();
    }
}

TEST(SqlClientTimeouts, AFileIncludingItselfEnds)
{
    test_dir dir;
    test_dir::write(dir.file("loop.cnf"), "[BV MySQL Lib]\nread-timeout=3\n!include " + dir.file("loop.cnf") + "\n");
    EXPECT_EQ(sql_read_timeouts("BV MySQL Lib", {dir.file("loop.cnf")}).read, 3u);
}

} // namespace
