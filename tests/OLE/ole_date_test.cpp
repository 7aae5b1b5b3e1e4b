// Dates and times of cells: the parse forms with their printed forms,
// validity, leap years and the fraction of the second.
#include "OLE/ole_date.hpp"

#include "TK/tk_excep.hpp"

#include <gtest/gtest.h>

#include <string>

TEST(OleDate, ParseFormsAndPrintedForms)
{
    struct row {
        std::string text;
        int kind;            // 0: not a date
        std::string narrow;  // style 6
        std::wstring wide;
    };
    const row rows[] = {
        {"20240229", ole_date::kind_date, "2024-02-29", L"2024-02-29"},
        {"20230229", 0, "", L""},
        {"20240102153045", ole_date::kind_date_time, "2024-01-02 15:30:45", L"2024-01-02 15:30:45"},
        {"02012024153045", 0, "", L""},  // day 2024 and year 2 swap into month 1 of 2024? day 24 out of range
        {"31-12-2024", ole_date::kind_date, "2024-12-31", L"2024-12-31"},
        {"2024-12-31", ole_date::kind_date, "2024-12-31", L"2024-12-31"},
        {"  2024.12.31  ", ole_date::kind_date, "2024-12-31", L"2024-12-31"},
        {"2024/02/03 10:11:12.5", ole_date::kind_date_time, "2024-02-03 10:11:12.500000", L"2024-02-03 10:11:12.500000"},
        {"2024-02-03 10:11:12.25", ole_date::kind_date_time, "2024-02-03 10:11:12.250000",
         L"2024-02-03 10:11:12.250000"},
        {"2024-01-02 00:00:00", ole_date::kind_date, "2024-01-02", L"2024-01-02"},
        {"0-0-0 10:11:12", ole_date::kind_time, "0000-00-00 10:11:12", L"10:11:12"},
        {"10:11:59.9999996", ole_date::kind_time, "0000-00-00 10:12:00", L"10:12:00"},
        {"23:59:59.9999999", ole_date::kind_time, "0000-00-00 00:00:00", L"00:00:00"},
        {"10:11:12.000001", ole_date::kind_time, "0000-00-00 10:11:12.000001", L"10:11:12.000001"},
        {"3:15:00 PM", ole_date::kind_time, "0000-00-00 15:15:00", L"15:15:00"},
        {"12:30:00 AM", ole_date::kind_time, "0000-00-00 12:30:00", L"12:30:00"},
        {"12:30:00 PM", ole_date::kind_time, "0000-00-00 12:30:00", L"12:30:00"},
        {"23:59", ole_date::kind_time, "0000-00-00 23:59:00", L"23:59:00"},
        {"1:2:3", ole_date::kind_time, "0000-00-00 01:02:03", L"01:02:03"},
        {"Jan 2, 2024", ole_date::kind_date, "2024-01-02", L"2024-01-02"},
        {"January 2, 2024 3:15 PM", ole_date::kind_date_time, "2024-01-02 15:15:00", L"2024-01-02 15:15:00"},
        {"12/31/2024", ole_date::kind_date, "2024-12-31", L"2024-12-31"},
        {"2000-02-29", ole_date::kind_date, "2000-02-29", L"2000-02-29"},
        {"1900-02-29", 0, "", L""},
        {"2024-02-30", 0, "", L""},
        {"abcd", 0, "", L""},
        {"12 PM", 0, "", L""},
        {"hello world", 0, "", L""},
        // Clock fields out of range are no times.
        {"25:00", 0, "", L""},
        {"10:60", 0, "", L""},
        {"10:11:60", 0, "", L""},
        {"10:11:-1", 0, "", L""},
        {"2024-01-02 24:00:00", 0, "", L""},
        {"2024-01-02 10:60:00", 0, "", L""},
        {"99999:00", 0, "", L""},
        // Seconds are read by a decimal-only reader of any length.
        {"10:11:inf", ole_date::kind_time, "0000-00-00 10:11:00", L"10:11:00"},
        {"10:11:" + std::string(5000, '1'), 0, "", L""},
        {"2024-01-02 10:11:" + std::string(5000, '9'), 0, "", L""},
    };
    for (const row& r : rows) {
        const ole_date d(r.text);
        const std::string shown = r.text.substr(0, 40);
        EXPECT_EQ(d.is_valid(), r.kind != 0) << shown;
        EXPECT_EQ(d.kind, r.kind) << shown;
        EXPECT_EQ(d.to_string(6), r.narrow) << shown;
        EXPECT_EQ(d.to_wstring(6), r.wide) << shown;
        EXPECT_EQ(d.tz_hours, 0);
    }
}

TEST(OleDate, WideTextParsesAlike)
{
    const ole_date d(std::wstring(L"2024-02-03 10:11:12.5"));
    EXPECT_EQ(d.kind, ole_date::kind_date_time);
    EXPECT_EQ(d.st.wMilliseconds, 500);
    EXPECT_EQ(d.microseconds, 500000);
    EXPECT_EQ(d.to_string(0), "2024-02-03 10:11:12");
    EXPECT_EQ(d.to_string(1), "2024-02-03 10:11:12.500");
}

TEST(OleDate, DefaultIsZeroedAndSystemTimesRefine)
{
    const ole_date none;
    EXPECT_EQ(none.kind, 0);
    EXPECT_EQ(none.b_date_only, 1);
    EXPECT_EQ(none.microseconds, 0);
    EXPECT_EQ(none.st.wYear, 0);
    EXPECT_EQ(none.st.wDay, 0);
    EXPECT_EQ(none.st.wHour, 0);
    EXPECT_FALSE(none.is_valid());
    EXPECT_EQ(none.to_string(6), "");

    SYSTEMTIME st{2024, 1, 0, 2, 0, 0, 0, 0};
    EXPECT_EQ(ole_date(st).kind, ole_date::kind_date);
    st.wHour = 10;
    EXPECT_EQ(ole_date(st).kind, ole_date::kind_date_time);
    const SYSTEMTIME time_only{0, 0, 0, 0, 1, 2, 3, 40};
    const ole_date t(time_only);
    EXPECT_EQ(t.kind, ole_date::kind_time);
    EXPECT_EQ(t.to_string(6), "0000-00-00 01:02:03.040");

    ole_date midnight;
    midnight.kind = ole_date::kind_date_time;
    midnight.st = SYSTEMTIME{2024, 5, 0, 6, 0, 0, 0, 0};
    EXPECT_EQ(midnight.to_string(6), "2024-05-06");
    midnight.b_date_only = 0;
    EXPECT_EQ(midnight.to_string(6), "2024-05-06 00:00:00");
    midnight.st.wHour = 25;  // printed modulo 24
    EXPECT_EQ(midnight.to_wstring(6), L"2024-05-06 01:00:00");
}

TEST(OleDate, LeapYearsAndSeconds)
{
    EXPECT_FALSE(ole_is_leap_year(0));
    EXPECT_FALSE(ole_is_leap_year(1900));
    EXPECT_TRUE(ole_is_leap_year(2000));
    EXPECT_TRUE(ole_is_leap_year(2024));
    EXPECT_FALSE(ole_is_leap_year(2023));

    ole_date d;
    d.st.wHour = 23;
    d.st.wMinute = 59;
    d.process_milliseconds("59.9999996");
    EXPECT_EQ(d.st.wHour, 0);  // the date does not change
    EXPECT_EQ(d.st.wMinute, 0);
    EXPECT_EQ(d.st.wSecond, 0);
    EXPECT_EQ(d.st.wMilliseconds, 0);
    d.process_milliseconds("7.0015");
    EXPECT_EQ(d.st.wMinute, 0);
    EXPECT_EQ(d.st.wSecond, 7);
    EXPECT_EQ(d.st.wMilliseconds, 2);
    EXPECT_EQ(d.microseconds, 1500);
    d.process_milliseconds("1.9996");  // milliseconds round up while microseconds do not
    EXPECT_EQ(d.st.wMilliseconds, 1000);
    EXPECT_EQ(d.microseconds, 999600);
    EXPECT_THROW(d.process_milliseconds(nullptr), tk_mail_assertion);
}
