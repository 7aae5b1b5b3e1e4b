#include "SQL/sql_fld.hpp"

#include "SQL/sql_engi.hpp"
#include "UDB/udb_ftd.hpp"

#include <gtest/gtest.h>

namespace {

TEST(SqlField, FromResultColumns)
{
    sql_engine engine;
    const sql_field binary(L"b", MYSQL_TYPE_VAR_STRING, 4, 0x80, "a\0\xFF" "b");
    EXPECT_EQ(binary.name, L"b");
    EXPECT_EQ(binary.get_type(), ole_vt_bytes);
    EXPECT_EQ(binary.get_size(), 4u);
    EXPECT_EQ(binary.to_string(), "0x6100FF62");
    EXPECT_FALSE(binary.not_null);
    EXPECT_FALSE(binary.auto_increment);

    const sql_field number(L"n", MYSQL_TYPE_LONG, 3, 0, "-42");
    EXPECT_EQ(number.get_type(), VT_I4);
    EXPECT_EQ(number.to_long(), -42);
    EXPECT_EQ(number.size, 3u);

    const sql_field wide(L"w", MYSQL_TYPE_VAR_STRING, 2, 0, L"\u00e9\U0001F600");
    EXPECT_EQ(wide.to_wstring(), L"\u00e9\U0001F600");

    const sql_field null(L"z", MYSQL_TYPE_LONG, 0, 0, static_cast<const char*>(nullptr));
    EXPECT_EQ(null.get_type(), VT_EMPTY);

    const sql_field copy(number);
    EXPECT_EQ(copy.name, L"n");
    EXPECT_EQ(copy.to_long(), -42);
}

TEST(SqlField, FromColumnDescriptions)
{
    sql_engine engine;
    const t_ftd flag(1, L"flag", VT_BOOL, false, false, ole_variant(), 0, L"");
    EXPECT_FALSE(sql_field(flag, 1, "\0").to_bool());
    EXPECT_TRUE(sql_field(flag, 1, "0").to_bool());

    const t_ftd blob(0, L"blob", VT_BLOB, false, false, ole_variant(), 0, L"");
    const sql_field bytes(blob, 3, "\x01\0\x02");
    EXPECT_EQ(bytes.name, L"blob");
    EXPECT_EQ(bytes.get_type(), ole_vt_bytes);
    EXPECT_EQ(bytes.get_size(), 3u);
    const sql_field none(blob, 7, nullptr);
    EXPECT_EQ(none.get_type(), VT_EMPTY);
    EXPECT_EQ(none.size, 7u);

    const t_ftd real(8, L"r", VT_R8, false, false, ole_variant(), 0, L"");
    EXPECT_DOUBLE_EQ(sql_field(real, 3, "2.5").to_double(), 2.5);
}

} // namespace
