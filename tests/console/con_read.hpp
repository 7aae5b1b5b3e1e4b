// What an independent reader makes of a workbook fixture, and the test that
// a table holds the same cells.
#pragma once

#include "con_db.hpp"
#include "program.hpp"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#ifndef RVL_WORKBOOKS
#error RVL_WORKBOOKS must name the folder of the workbook fixtures
#endif

inline std::vector<std::string> split(const std::string& line, char sep)
{
    std::vector<std::string> out(1);
    for (const char c : line)
        if (c == sep)
            out.emplace_back();
        else
            out.back().push_back(c);
    return out;
}

// What an independent reader (read_dates.py: openpyxl or xlrd) makes of each
// worksheet of a workbook: its name and data rows, values joined by "|".
inline std::map<std::string, texts> independent_reading(const std::string& fixture)
{
    test_dir dir;
    const std::string books = RVL_WORKBOOKS;
    const program_result r = run_program("/usr/bin/python3", dir, {books + "/read_dates.py", books + "/" + fixture});
    EXPECT_EQ(r.code, 0) << r.err;
    std::map<std::string, texts> sheets;
    texts* rows = nullptr;
    size_t start = 0;
    for (size_t end; (end = r.out.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = r.out.substr(start, end - start);
        if (line.rfind("-- ", 0) == 0)
            rows = &sheets[line.substr(3)];
        else if (rows != nullptr)
            rows->push_back(line);
    }
    return sheets;
}

// The rows agree cell for cell where the reader gave a value ("?": one it
// refused or no column of its kind holds).
inline void expect_same_cells(const texts& reader, const texts& server)
{
    ASSERT_EQ(reader.size(), server.size());
    for (size_t r = 0; r < reader.size(); ++r) {
        const std::vector<std::string> want = split(reader[r], '|'), got = split(server[r], '|');
        ASSERT_EQ(want.size(), got.size()) << server[r];
        for (size_t c = 0; c < want.size(); ++c)
            if (want[c] != "?") {
                EXPECT_EQ(got[c], want[c]) << "row " << r << " column " << c;
            }
    }
}
