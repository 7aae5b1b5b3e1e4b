// The error handler's messages: context, friendly texts by code, and the
// exception's own text when no table has one.
#include "rvl_fake.hpp"

#include <gtest/gtest.h>

#include <set>

namespace {

struct coded : tk_exception {
    coded(uint32_t c, const char* text) : tk_exception(text, 0) { code = c; }
};

} // namespace

TEST(ErrorHandler, MessagesByContextAndCode)
{
    recording_handler errors;
    errors.load_err_map(dao_err_map_size, dao_err_map);
    errors.load_err_map(xls_err_map_size, xls_err_map);
    EXPECT_EQ(errors.make_message(coded(0, "own text")), "own text");
    EXPECT_EQ(errors.make_message(coded(0x400999, "no row")), "no row");
    errors.set_context(L"Sheet 1");
    EXPECT_EQ(errors.make_message(coded(0x400415, "Access denied for user")),
              "Sheet 1: Access denied. Verify the user name and password are correct,\nand you have the necessary "
              "privileges to connect to the target MySQL server.");
    errors.set_record_context(L"Sheet 1", 12);
    EXPECT_EQ(errors.make_message(coded(0, "bad")), "Sheet 1, record #12: bad");
    errors.set_context(L"");
    EXPECT_EQ(errors.make_message(coded(0x10D1E, "x")), errors.make_message(coded(0x10C65, "y")));
    EXPECT_EQ(errors.make_message(coded(0x10CCA, "x")), errors.make_message(coded(0x10C76, "y")));
}

TEST(ErrorHandler, TablesHoldTheirRows)
{
    EXPECT_EQ(dao_err_map_size, 9u);
    EXPECT_EQ(mysql_err_map_size, 12u);
    EXPECT_EQ(xls_err_map_size, 3u);
    // No code stands in two tables.
    std::set<uint32_t> codes;
    const std::pair<const tk_error_row*, size_t> tables[] = {
        {dao_err_map, dao_err_map_size}, {mysql_err_map, mysql_err_map_size}, {xls_err_map, xls_err_map_size}};
    for (const auto& [table, size] : tables)
        for (size_t i = 0; i < size; ++i)
            EXPECT_TRUE(codes.insert(table[i].code).second) << table[i].code;
}
