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
        {"[$-409]h:mm:ss AM/PM;@", cell_kind::time},
        {"hh:mm", cell_kind::time},
        {"mm:ss", cell_kind::time},
        {"mmm", cell_kind::date},                      // a month alone
        {"[h]:mm", cell_kind::duration},
        {"[mm]:ss", cell_kind::duration},
        {"[h]:mm:ss;@", cell_kind::duration},
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
    EXPECT_EQ(classify_builtin_format(46), cell_kind::duration);
    for (uint32_t id : {14u, 15u, 22u, 27u, 36u, 50u, 58u})
        EXPECT_EQ(classify_builtin_format(id), cell_kind::date) << id;
    for (uint32_t id : {18u, 21u, 45u, 47u})
        EXPECT_EQ(classify_builtin_format(id), cell_kind::time) << id;
    for (uint32_t id : {5u, 6u, 7u, 8u, 42u, 44u})
        EXPECT_EQ(classify_builtin_format(id), cell_kind::currency) << id;
    for (uint32_t id : {0u, 1u, 2u, 10u, 11u, 23u, 37u, 41u, 43u, 49u, 59u, 164u})
        EXPECT_EQ(classify_builtin_format(id), cell_kind::number) << id;
}

TEST(CellFormat, SerialsBecomeOleDates)
{
    const cell_kind date = cell_kind::date, time = cell_kind::time;
    struct { double serial; bool mac; cell_kind kind; const char* text; } cases[] = {
        {1, false, date, "1900-01-01"},
        {1.2, false, date, "1900-01-01 04:48:00"},
        {59, false, date, "1900-02-28"},
        {61, false, date, "1900-03-01"},
        {45352, false, date, "2024-03-01"},
        {45352.5, false, date, "2024-03-01 12:00:00"},
        {0.75, false, date, "18:00:00"},               // a pure time stays on 1899-12-30
        {0.75, false, time, "18:00:00"},
        {-1, false, date, "1899-12-29"},               // days before the start count back
        {-1.25, false, date, "1899-12-28 18:00:00"},
        {0, true, date, "1904-01-01"},
        {0.25, true, date, "1904-01-01 06:00:00"},
        {0.25, true, time, "06:00:00"},
        {1, true, date, "1904-01-02"},
        {41051, true, date, "2016-05-23"},
        {43890, true, date, "2024-03-01"},
        {-1, true, date, "1903-12-31"},
    };
    for (const auto& c : cases) {
        const double ole = serial_to_ole_date(c.serial, c.mac, c.kind);
        EXPECT_EQ(format_ole_date(ole), c.text) << c.serial << " " << c.mac;
        if (c.kind == date) {
            EXPECT_DOUBLE_EQ(ole_date_to_serial(ole, c.mac), c.serial) << c.serial << " " << c.mac;
        }
    }
}

TEST(CellFormat, DatesADatetimeColumnHolds)
{
    struct { double serial; bool mac; bool fits; } cases[] = {
        {-1, false, true},
        {2958465.9999, false, true},                   // 9999-12-31 23:59:51
        {2958466, false, false},                       // 10000-01-01
        {1e10, false, false},
        {-328716, false, true},                        // 1000-01-01
        {-328717, false, false},
        {2958466 - 1462, true, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(fits_datetime(serial_to_ole_date(c.serial, c.mac)), c.fits) << c.serial;
}

TEST(CellFormat, IsoDates)
{
    struct { const char* text; bool ok; const char* shown; } cases[] = {
        {"2024-03-01", true, "2024-03-01"},
        {"2024-03-01T10:20:30", true, "2024-03-01 10:20:30"},
        {"2024-03-01T10:20:30.75Z", true, "2024-03-01 10:20:30.750"},
        // before 1900 too, each its own date and time
        {"1899-12-31T12:00", true, "1899-12-31 12:00:00"},
        {"1899-12-29T06:00", true, "1899-12-29 06:00:00"},
        {"1850-06-01T18:30:00", true, "1850-06-01 18:30:00"},
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

TEST(CellFormat, DurationsAsATimeColumnHoldsThem)
{
    struct { double days; bool fits; const char* text; } cases[] = {
        {1.5, true, "36:00:00"},
        {0.01, true, "00:14:24"},
        {-0.0625, true, "-01:30:00"},
        {838.0 / 24 + 3599.0 / 86400, true, "838:59:59"},
        {35, false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(fits_time(c.days), c.fits) << c.days;
        EXPECT_EQ(format_duration(c.days), c.text) << c.days;
    }
}
