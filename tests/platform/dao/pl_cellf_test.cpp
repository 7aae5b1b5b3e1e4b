#include "platform/dao/pl_cellf.hpp"

#include <gtest/gtest.h>

using namespace platform::dao;

TEST(CellFormat, CustomCodes)
{
    struct { const char* code; cell_kind kind; } cases[] = {
        {"General", cell_kind::number},
        {"0.00", cell_kind::number},
        {"yyyy-mm-dd", cell_kind::date},
        {"d/m/yy h:mm", cell_kind::date},
        {"[$-409]h:mm:ss AM/PM;@", cell_kind::date},
        {"[h]:mm", cell_kind::date},
        {"[Red]0.00", cell_kind::number},              // a colour, not a date letter
        {"0.00\"days\"", cell_kind::number},           // quoted letters are literal
        {"0\\d", cell_kind::number},                   // so is an escaped one
        {"#,##0_);[Red](#,##0)", cell_kind::number},
        {"\"$\"#,##0.00", cell_kind::currency},
        {"$#,##0.00", cell_kind::currency},
        {"#,##0.00\\ [$\xE2\x82\xAC-407]", cell_kind::currency},
        {"[$-409]0.00", cell_kind::number},            // a locale only
        {"\xC2\xA3#,##0", cell_kind::currency},
        {"yyyy \"$\"", cell_kind::date},               // a date wins
        {"@", cell_kind::number},
    };
    for (const auto& c : cases)
        EXPECT_EQ(classify_format_code(c.code), c.kind) << c.code;
}

TEST(CellFormat, BuiltinIds)
{
    for (uint32_t id : {14u, 15u, 18u, 22u, 27u, 36u, 45u, 47u, 50u, 58u})
        EXPECT_EQ(classify_builtin_format(id), cell_kind::date) << id;
    for (uint32_t id : {5u, 6u, 7u, 8u, 42u, 44u})
        EXPECT_EQ(classify_builtin_format(id), cell_kind::currency) << id;
    for (uint32_t id : {0u, 1u, 2u, 10u, 11u, 23u, 37u, 41u, 43u, 49u, 59u, 164u})
        EXPECT_EQ(classify_builtin_format(id), cell_kind::number) << id;
}

TEST(CellFormat, SerialsBecomeOleDates)
{
    struct { double serial; bool mac; const char* text; } cases[] = {
        {1, false, "1900-01-01"},
        {59, false, "1900-02-28"},
        {61, false, "1900-03-01"},
        {45352, false, "2024-03-01"},
        {45352.5, false, "2024-03-01 12:00:00"},
        {0.75, false, "18:00:00"},               // a pure time stays on 1899-12-30
        {0, true, "1899-12-30"},
        {0.25, true, "06:00:00"},
        {1, true, "1904-01-02"},
        {43890, true, "2024-03-01"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(format_ole_date(serial_to_ole_date(c.serial, c.mac)), c.text) << c.serial << " " << c.mac;
}

TEST(CellFormat, IsoDates)
{
    struct { const char* text; bool ok; const char* shown; } cases[] = {
        {"2024-03-01", true, "2024-03-01"},
        {"2024-03-01T10:20:30", true, "2024-03-01 10:20:30"},
        {"2024-03-01T10:20:30.75Z", true, "2024-03-01 10:20:31"},
        {"10:20:30", true, "10:20:30"},
        {"1899-12-30T00:00:01", true, "00:00:01"},
        {"2024-13-01", false, ""},
        {"2024-03-01 10:20", false, ""},
        {"yesterday", false, ""},
        {"", false, ""},
    };
    for (const auto& c : cases) {
        double ole = -1;
        EXPECT_EQ(parse_iso_date(c.text, ole), c.ok) << c.text;
        if (c.ok) {
            EXPECT_EQ(format_ole_date(ole), c.shown) << c.text;
        }
    }
}
