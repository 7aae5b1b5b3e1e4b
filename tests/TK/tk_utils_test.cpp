#include "TK/tk_excep.hpp"
#include "TK/tk_utils.hpp"
#include "platform/syserr/pl_syserr.hpp"

#include <gtest/gtest.h>

#include <vector>

TEST(TkTrim, OnlySpacesAreBlanks)
{
    struct { std::string in, right, both; } cases[] = {
        {"   ", "", ""},
        {"  a b  ", "  a b", "a b"},
        {"\ta\t", "\ta\t", "\ta\t"},
        {"", "", ""},
        {"x", "x", "x"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(tk_rtrim(c.in), c.right) << '[' << c.in << ']';
        EXPECT_EQ(tk_trim(c.in), c.both) << '[' << c.in << ']';
    }
    EXPECT_EQ(tk_wtrim(L"  \u00e9 "), L"\u00e9");
    EXPECT_EQ(tk_wrtrim(L"  "), L"");
}

TEST(TkSplit, KeepsEmptyPiecesInOrder)
{
    using list = std::vector<std::string>;
    struct { std::string in; list out; } cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a,,b", {"a", "", "b"}},
        {"a,", {"a", ""}},
        {",a", {"", "a"}},
        {std::string("a,b\0,c", 6), {"a", "b"}},  // read up to the first zero
    };
    for (const auto& c : cases)
        EXPECT_EQ(tk_split(c.in, ','), c.out) << c.in;

    std::vector<std::wstring> out{L"stale"};
    EXPECT_TRUE(tk_wstring::split(L"x;;y;", L';', out));
    EXPECT_EQ(out, (std::vector<std::wstring>{L"x", L"", L"y", L""}));
}

TEST(TkReplaceAll, NeverSearchesInsertedText)
{
    std::string text = "aa";
    EXPECT_EQ(tk_string::replace_all(text, "a", "aa"), "aaaa");
    EXPECT_EQ(text, "aaaa");
    std::wstring wide = L"'it''s'";
    EXPECT_EQ(tk_wstring::replace_all(wide, L"'", L"\\'"), L"\\'it\\'\\'s\\'");
}

TEST(TkToLower, OnlyLatinCapitalsChange)
{
    std::wstring text = L"\u00c4BC-xYz";
    EXPECT_EQ(tk_wstring::to_lower(text), L"\u00c4bc-xyz");
    EXPECT_EQ(text, L"\u00c4bc-xyz");
}

TEST(TkCompareNoCase, PrefixTest)
{
    struct { std::string text, prefix; bool exact, result; } cases[] = {
        {"Select x", "SELECT", false, true},
        {"Select x", "SELECT", true, false},
        {"SELECT x", "SELECT", true, true},
        {"SEL", "SELECT", false, false},
        {"anything", "", true, true},
        {"\xC3\x84rger", "\xC3\xA4R", false, true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(tk_string::compare_no_case(c.text, c.prefix, c.exact), c.result) << c.text << '/' << c.prefix;
}

TEST(TkBytesToHex, UppercaseHighHalfFirst)
{
    const unsigned char bytes[] = {0x00, 0xAB, 0x7f};
    char out[7];
    tk_bytes_to_hex(3, bytes, out);
    EXPECT_STREQ(out, "00AB7F");
    wchar_t wout[5];
    tk_bytes_to_whex(2, bytes, wout);
    EXPECT_STREQ(wout, L"00AB");
    tk_bytes_to_hex(0, bytes, out);
    EXPECT_STREQ(out, "");
    EXPECT_THROW(tk_bytes_to_hex(1, bytes, nullptr), tk_mail_assertion);
    EXPECT_THROW(tk_bytes_to_whex(1, bytes, nullptr), tk_mail_assertion);
}

TEST(TkCodePages, WholeTextConversions)
{
    EXPECT_EQ(tk_to_utf8(std::wstring(1, wchar_t(0x1F600))), "\xF0\x9F\x98\x80");
    EXPECT_EQ(tk_to_utf8(std::wstring(L"ab\0cd", 5)), "ab");
    EXPECT_EQ(tk_to_unicode("caf\xC3\xA9"), L"caf\u00e9");
    EXPECT_EQ(tk_to_unicode("bad\xFF"), L"bad\uFFFD");
    EXPECT_EQ(tk_to_ansi(L"\u00e9"), "\xC3\xA9");
    EXPECT_EQ(tk_to_ansi(L"x", tk_cp_utf8), "x");
}

TEST(TkCodePages, UnsupportedCodePageFailsAtLevelZero)
{
    try {
        tk_to_ansi(L"x", 1252);
        FAIL() << "no exception";
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 0);
        EXPECT_EQ(e.get_code(), platform::error_invalid_parameter);
        EXPECT_EQ(std::string(e.what()).rfind("Cannot convert to ANSI string: ", 0), 0u) << e.what();
    }
}

TEST(TkCodePages, ZeroTerminatedConversionsReturnFalseOnFailure)
{
    std::unique_ptr<wchar_t[]> wide;
    EXPECT_FALSE(tk_ansi_to_unicode(nullptr, wide));
    ASSERT_TRUE(tk_ansi_to_unicode("\xE2\x82\xAC" "1", wide));
    EXPECT_STREQ(wide.get(), L"\u20ac1");

    std::unique_ptr<char[]> narrow;
    EXPECT_FALSE(tk_unicode_to_ansi2(nullptr, narrow));
    ASSERT_TRUE(tk_unicode_to_ansi2(L"\u20ac", narrow));
    EXPECT_STREQ(narrow.get(), "\xE2\x82\xAC");

    // The caller's buffer: a text whose UTF-8 form does not fit is refused.
    char small[4];
    EXPECT_FALSE(tk_unicode_to_ansi1(L"\u20ac\u20ac", small, sizeof small));
    ASSERT_TRUE(tk_unicode_to_ansi1(L"\u20ac", small, sizeof small));
    EXPECT_STREQ(small, "\xE2\x82\xAC");
    EXPECT_FALSE(tk_unicode_to_ansi1(nullptr, small, sizeof small));

    std::string out;
    EXPECT_FALSE(tk_unicode_to_ansi3(nullptr, out));
    ASSERT_TRUE(tk_unicode_to_ansi3(L"\u00e9", out));
    EXPECT_EQ(out, "\xC3\xA9");
}

// A date reads the same in every locale: year, month, day, zero-padded.
TEST(TkIsoDate, YearMonthDayWithLeadingZeros)
{
    struct date_case {
        int year, month, day;
        const char* text;
    };
    for (const date_case& c : {date_case{2026, 12, 11, "2026-12-11"}, date_case{2026, 1, 5, "2026-01-05"},
                               date_case{999, 10, 31, "0999-10-31"}}) {
        std::tm moment{};
        moment.tm_year = c.year - 1900;
        moment.tm_mon = c.month - 1;
        moment.tm_mday = c.day;
        EXPECT_EQ(tk_iso_date(moment), c.text);
    }
}
