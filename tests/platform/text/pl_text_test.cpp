#include "platform/text/pl_case.hpp"
#include "platform/text/pl_format.hpp"
#include "platform/text/pl_utf8.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>

using namespace platform;

// A std::wstring where .c_str() was meant must not compile.
static_assert(!std::is_constructible_v<fmt_arg, std::wstring>);
static_assert(!std::is_constructible_v<fmt_arg, std::string>);

TEST(Utf8, EncodesEveryWidthAndReplacesWhatIsNoCharacter)
{
    struct { std::wstring wide; std::string utf8; } cases[] = {
        {L"", ""},
        {L"abc", "abc"},
        {L"\u00e9", "\xC3\xA9"},
        {L"\u20ac", "\xE2\x82\xAC"},
        {std::wstring(1, wchar_t(0x1F600)), "\xF0\x9F\x98\x80"},
        {std::wstring{wchar_t(0xD83D), wchar_t(0xDE00)}, "\xF0\x9F\x98\x80"},  // a UTF-16 pair
        {std::wstring{L'a', wchar_t(0xD800), L'b'}, "a\xEF\xBF\xBD" "b"},         // lone high surrogate
        {std::wstring{wchar_t(0xDC00)}, "\xEF\xBF\xBD"},                        // lone low surrogate
        {std::wstring{wchar_t(0x110000)}, "\xEF\xBF\xBD"},
        {std::wstring(L"a\0b", 3), std::string("a\0b", 3)},
        {L"plain \u00e9t\u00e9 then \u20ac and more", "plain \xC3\xA9t\xC3\xA9 then \xE2\x82\xAC and more"},
        {std::wstring{L'x', L'y', wchar_t(0xD83D), wchar_t(0xDE00), L'z'}, "xy\xF0\x9F\x98\x80z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_utf8(c.wide), c.utf8) << c.utf8;
        // Appended after text already there, which stays.
        std::string out = "head ";
        append_utf8(out, c.wide);
        EXPECT_EQ(out, "head " + c.utf8);
    }
}

TEST(Utf8, DecodesAndReplacesEachIllFormedByte)
{
    const std::wstring fffd(1, replacement_char);
    struct { std::string utf8; std::wstring wide; } cases[] = {
        {"", L""},
        {"abc", L"abc"},
        {"\xC3\xA9", L"\u00e9"},
        {"\xF0\x9F\x98\x80", std::wstring(1, wchar_t(0x1F600))},
        {"\xFF", fffd},
        {"a\x80" "b", L"a" + fffd + L"b"},
        {"\xC0\xAF", fffd + fffd},                  // overlong
        {"\xED\xA0\x80", fffd + fffd + fffd},       // an encoded surrogate
        {"\xE2\x82", fffd + fffd},                  // cut short
        {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},  // beyond U+10FFFF
        {"x\xEF\xBF\xBD", L"x" + fffd},                   // a replacement character written
    };
    for (const auto& c : cases) {
        EXPECT_EQ(from_utf8(c.utf8), c.wide) << c.utf8;
        // Well-formed exactly when nothing was replaced but what was written.
        EXPECT_EQ(is_utf8(c.utf8), c.wide.find(replacement_char) == std::wstring::npos || c.utf8.starts_with("x"))
            << c.utf8;
    }
}

TEST(CaseFolding, ComparesNamesWithoutRegardToCase)
{
    struct { std::wstring a, b; int sign; } cases[] = {
        {L"Sheet1", L"SHEET1", 0},
        {L"\u00c4rger", L"\u00e4RGER", 0},       // Latin-1
        {L"\u03a3\u039f\u03a6", L"\u03c3\u03bf\u03c6", 0}, // Greek
        {L"\u0436", L"\u0416", 0},                // Cyrillic
        {L"a", L"b", -1},
        {L"b", L"A", 1},
        {L"ab", L"AB ", -1},
        {L"", L"", 0},
    };
    for (const auto& c : cases) {
        const int r = compare_no_case(std::wstring_view(c.a), std::wstring_view(c.b));
        EXPECT_EQ((r > 0) - (r < 0), c.sign) << to_utf8(c.a) << " vs " << to_utf8(c.b);
    }
    EXPECT_EQ(compare_no_case(std::string_view("\xC3\x84" "B"), std::string_view("\xC3\xA4" "b")), 0);
}

// Column names as the server takes them (utf8mb3_general_ci): case and the
// accents of Latin, Greek and Cyrillic letters make no other name; Hangul
// syllables, kana with their voicing marks, letters the server keeps apart
// and a letter against a letter and its accent written apart do.
TEST(CaseFolding, NamesCompareAsTheServerWeighsThem)
{
    struct { std::wstring a, b; bool equal; } cases[] = {
        {L"\u00fd", L"\u00ff", true},           // y acute, y diaeresis
        {L"\u00dd", L"y", true},
        {L"Name", L"NAME", true},
        {L"r\u00e9sum\u00e9", L"RESUME", true},
        {L"\u0105b", L"Ab", true},
        {L"stra\u00dfe", L"STRASE", true},        // sharp s weighs as s
        {L"\u0131", L"I", true},                 // dotless i
        {L"\u0130", L"i", true},                 // I with dot
        {L"\u03c2", L"\u03a3", true},            // final sigma, capital sigma
        {L"\u0401", L"\u0435", true},            // Cyrillic Io, ie
        {L"\uFF21", L"\uFF41", true},            // fullwidth A, a
        {L"\U0001F600", L"\U0001F601", true},    // beyond the plane: U+FFFD both
        {L"\uAC00\uACA9", L"\uAC00\uAD6C", false},  // two Hangul words, one first consonant
        {L"\u30AC\u30B9", L"\u30AB\u30B9", false},  // ga, ka
        {L"\u0419", L"\u0438", false},           // Cyrillic short i and i
        {L"\u00c6", L"A", false},                // the ligature is a letter of its own
        {L"a", L"b", false},
        {L"e\u0301", L"\u00e9", false},          // two characters against one
        {L"x1", L"x", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(equal_names(c.a, c.b), c.equal) << to_utf8(c.a) << " vs " << to_utf8(c.b);
        EXPECT_EQ(name_key(c.a) == name_key(c.b), c.equal) << to_utf8(c.a) << " vs " << to_utf8(c.b);
    }
    EXPECT_LT(compare_names(L"a", L"\u00c9"), 0);
}

// Table names: one name when the server's lower case makes them one, never
// by accents.
TEST(CaseFolding, TableNamesCompareByCaseOnly)
{
    struct { std::wstring a, b; bool equal; } cases[] = {
        {L"Data", L"DATA", true},
        {L"\u00c1rbol", L"\u00e1RBOL", true},
        {L"\u0130", L"i", true},
        {L"A\u00f1o", L"Ano", false},
        {L"\u00df", L"s", false},
        {L"\u0131", L"I", false},
        {L"\uAC00\uACA9", L"\uAC00\uAD6C", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(equal_table_names(c.a, c.b), c.equal) << to_utf8(c.a) << " vs " << to_utf8(c.b);
}

TEST(Format, NarrowFormatsFollowThePlatformRules)
{
    EXPECT_EQ(format("%s=%d", "a", 5), "a=5");
    EXPECT_EQ(format("%S", L"\u00e9"), "\xC3\xA9");
    EXPECT_EQ(format("%hs|%ls|%ws", "n", L"w", L"x"), "n|w|x");
    EXPECT_EQ(format("%c%C", 'A', wchar_t(0x20AC)), "A\xE2\x82\xAC");
    EXPECT_EQ(format("%I64u", UINT64_MAX), "18446744073709551615");
    EXPECT_EQ(format("%I64d %lld", INT64_MIN, -2LL), "-9223372036854775808 -2");
    EXPECT_EQ(format("%d", 0xFFFFFFFFu), "-1");       // the directive gives the size
    EXPECT_EQ(format("%u", -1), "4294967295");
    EXPECT_EQ(format("%ld", 0x100000001LL), "1");     // long is 32 bits in these formats
    EXPECT_EQ(format("%hd", 70000), "4464");
    EXPECT_EQ(format("%08X|%x|%#o", 0xABCu, 255, 8), "00000ABC|ff|010");
    EXPECT_EQ(format("%5.2f|%e|%g", 3.14159, 1.5, 0.25), " 3.14|1.500000e+00|0.25");
    EXPECT_EQ(format("%-5s|%5s|%.2s", "ab", "cd", "xyz"), "ab   |   cd|xy");
    EXPECT_EQ(format("%*d|%-*d|%.*s", 4, 7, 3, 1, 1, "ab"), "   7|1  |a");
    EXPECT_EQ(format("%.1s", "\xC3\xA9x"), "\xC3\xA9");   // cut by characters, not bytes
    EXPECT_EQ(format("100%%"), "100%");
    EXPECT_EQ(format("%s", static_cast<const char*>(nullptr)), "(null)");
    EXPECT_EQ(format("%p", reinterpret_cast<void*>(0x1234)), "0000000000001234");
}

TEST(Format, WideFormatsTakeWideTextForLowerCaseDirectives)
{
    EXPECT_EQ(format(L"%s(%d)", L"t\u00e9", 3), L"t\u00e9(3)");
    EXPECT_EQ(format(L"%S", "\xC3\xA9"), L"\u00e9");
    EXPECT_EQ(format(L"%c|%C", wchar_t(0x20AC), 'z'), L"\u20ac|z");
    EXPECT_EQ(format(L"%I64u|%08.3f", uint64_t(42), 2.5), L"42|0002.500");
    EXPECT_EQ(format(L"%5s|", L"\u00e9"), L"    \u00e9|");
}

TEST(Format, BadFormatsNeverReadPastTheArguments)
{
    EXPECT_EQ(format("%d %s"), "0 (null)");
    EXPECT_EQ(format("%y|%"), "%y|%");
    EXPECT_EQ(format("a%nb", 1), "ab");
    EXPECT_EQ(format(static_cast<const char*>(nullptr)), "");
    EXPECT_EQ(format("%lld", 1e300), "9223372036854775807");
    EXPECT_EQ(format("%lld", std::numeric_limits<double>::quiet_NaN()), "0");
}

// A number as a sheet shows it in General format: integers to 2^53 whole,
// any other double to 15 significant digits, an exponent only where "%g"
// writes one; a float with the fewest digits that read back as it.
TEST(Format, GeneralNumbersReadAsTheSheetShowsThem)
{
    const std::pair<double, const char*> doubles[] = {
        {1.1 * 1.1, "1.21"},          {0.1 + 0.2, "0.3"},       {9007199254740992.0, "9007199254740992"},
        {-9007199254740992.0, "-9007199254740992"}, {9007199254740994.0, "9.00719925474099e+15"},
        {1e15, "1000000000000000"},   {1e10, "10000000000"},    {1.5e15 + 0.5, "1.5e+15"},
        {123456789.123456789, "123456789.123457"}, {0.0001234, "0.0001234"}, {-1.5e-7, "-1.5e-07"},
        {1e100, "1e+100"},            {-0.0, "0"},              {2.5, "2.5"}};
    for (const auto& [value, text] : doubles)
        EXPECT_EQ(platform::general_number(value), text) << text;
    EXPECT_EQ(platform::general_number(1.1f), "1.1");
    EXPECT_EQ(platform::general_number(16777217.0f), "16777216");
}
