#include "platform/text/pl_case.hpp"
#include "platform/text/pl_sname.hpp"

#include "server_env.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace platform;

// The table of names is the server's own: for every character of the basic
// plane, its weight under utf8mb3_general_ci, its lower case there and its
// length in a table's file name are what the server says, in one query.
TEST(ServerNames, EveryCharacterAsTheServerHasIt)
{
    RVL_NEED_TEST_SERVER();
    test_database db;
    test_connection c(db.name());
    const auto rows = c.rows(
        "SELECT seq, HEX(WEIGHT_STRING(ch COLLATE utf8mb3_general_ci)), HEX(CONVERT(LOWER(ch COLLATE "
        "utf8mb3_general_ci) USING utf32)), LENGTH(CONVERT(ch USING filename)) FROM (SELECT seq, "
        "CONVERT(CHAR(seq USING ucs2) USING utf8mb3) AS ch FROM seq_0_to_65535 WHERE seq NOT BETWEEN 55296 AND "
        "57343) AS chars");
    ASSERT_EQ(rows.size(), 0x10000u - 0x800u);
    size_t wrong = 0;
    for (const auto& row : rows) {
        const auto c = static_cast<wchar_t>(std::stoul(row[0]));
        const unsigned weight = std::stoul(row[1], nullptr, 16);
        const unsigned lower = std::stoul(row[2], nullptr, 16);
        const size_t bytes = std::stoul(row[3]);
        const bool same = name_weight(c) == weight && static_cast<unsigned>(table_name_lower(c)) == lower &&
                          table_file_bytes(std::wstring_view(&c, 1)) == bytes;
        if (!same && wrong++ < 10)
            ADD_FAILURE() << "U+" << std::hex << unsigned(c) << ": the server weighs " << row[1] << ", lowers to "
                          << row[2] << ", writes " << row[3] << " bytes";
    }
    EXPECT_EQ(wrong, 0u);
}

} // namespace
