#include "SQL/sql_util.hpp"

#include "SQL/sql_engi.hpp"
#include "OLE/ole_date.hpp"
#include "SQL/sql_ntyp.hpp"
#include "TK/tk_excep.hpp"
#include "TK/tk_utils.hpp"
#include "UDB/udb_fld.hpp"
#include "UDB/udb_ftd.hpp"
#include "platform/text/pl_utf8.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

namespace {

struct literal_case {
    std::wstring text;
    VARTYPE vt;
    std::wstring literal;
};

// Every character that could end a literal or change it on the way is
// escaped as the client library escapes it; numbers go bare only when they
// are numbers.
TEST(SqlLiterals, TextAsAValueOfAType)
{
    const literal_case cases[] = {
        {L"abc", VT_EMPTY, L"NULL"},
        {L"abc", VT_NULL, L"NULL"},
        {L"", VT_BSTR, L"''"},
        {L"", VT_I4, L"''"},
        {L"O'Neil\\x", VT_BSTR, L"'O\\'Neil\\\\x'"},
        {L"say \"hi\"", VT_BSTR, L"'say \"hi\"'"},
        {std::wstring(L"a\0b\rc\nd\x1A" L"e\tf", 11), VT_BSTR, L"'a\\0b\\rc\\nd\\Ze\tf'"},
        {L"x'); DROP TABLE t; --", VT_BSTR, L"'x\\'); DROP TABLE t; --'"},
        {L"\\'", VT_BSTR, L"'\\\\\\''"},
        {L"caf\u00e9 \U0001F600", VT_BSTR, L"'caf\u00e9 \U0001F600'"},
        {L"12", VT_I4, L"12"},
        {L"-1.5e+3", VT_R8, L"-1.5e+3"},
        {L".5", VT_R8, L".5"},
        {L"1", VT_BOOL, L"1"},
        {L"True", VT_BOOL, L"True"},
        {L"FALSE", VT_BOOL, L"FALSE"},
        {L"yes", VT_BOOL, L"'yes'"},
        {L"True", VT_I4, L"'True'"},
        // Anything else in a numeric column is a quoted string.
        {L"12abc", VT_I4, L"'12abc'"},
        {L"1); DROP TABLE t; --", VT_I4, L"'1); DROP TABLE t; --'"},
        {L"1e", VT_R8, L"'1e'"},
        {L"0x1F", VT_I4, L"'0x1F'"},
        {L" 12", VT_I4, L"' 12'"},
        {L"inf", VT_R8, L"'inf'"},
        {L"1'2", VT_DECIMAL, L"'1\\'2'"},
        // Binary values as hexadecimal or decimal literals, else quoted.
        {L"0x01AB", ole_vt_bytes, L"0x01AB"},
        {L"0X01ab", VT_BLOB, L"0X01ab"},
        {L"123", VT_BLOB, L"123"},
        {L"0x", ole_vt_bytes, L"'0x'"},
        {L"0x1G", ole_vt_bytes, L"'0x1G'"},
        {L"1x12", ole_vt_bytes, L"'1x12'"},
        {L"a'b\\", ole_vt_bytes, L"'a\\'b\\\\'"},
        // A text that looks like a GUID is a text as written.
        {L"{6F9619FF-8B86-D011-B42D-00C04FC964FF}", VT_BSTR, L"'{6F9619FF-8B86-D011-B42D-00C04FC964FF}'"},
        {L"guid {6F9619FF-8B86-D011-B42D-00C04FC964FF} ", VT_BSTR,
         L"'guid {6F9619FF-8B86-D011-B42D-00C04FC964FF} '"},
        // Dates in the one form the server reads.
        {L"2024-02-29 13:05:09", VT_DATE, L"'2024-02-29 13:05:09'"},
        {L"not a date'", VT_DATE, L"'not a date\\''"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_mysql_wstr(c.text, c.vt), c.literal) << c.vt;
        EXPECT_EQ(to_mysql_str(platform::to_utf8(c.text), c.vt), platform::to_utf8(c.literal)) << c.vt;
    }
}

udb_field field_of(const ole_variant& value)
{
    return udb_field(L"f", 0, value, false, false);
}

t_ftd column_of(VARTYPE vt, bool not_null = false, const ole_variant& def = ole_variant(), uint32_t reserved = 0)
{
    return t_ftd(255, L"c", vt, not_null, false, def, reserved, L"");
}

ole_variant bytes(std::initializer_list<unsigned char> list)
{
    return ole_variant(std::vector<unsigned char>(list));
}

TEST(SqlLiterals, FieldIntoAColumn)
{
    struct {
        ole_variant value;
        t_ftd column;
        std::string literal;
    } cases[] = {
        {ole_variant(L""), column_of(VT_BSTR), "''"},
        {ole_variant(), column_of(VT_BSTR), "NULL"},
        {ole_variant(), column_of(VT_I4), "NULL"},
        {ole_variant(L""), column_of(VT_I4), "NULL"},
        {ole_variant(), column_of(VT_I4, true), "NULL"},
        {ole_variant(), column_of(VT_I4, true, ole_variant(L"7")), "7"},
        {ole_variant(), column_of(VT_I4, true, ole_variant(L"7; DROP")), "'7; DROP'"},
        {ole_variant(1.5), column_of(VT_R8), "1.5"},
        {ole_variant(42.0), column_of(VT_R8), "42"},
        {ole_variant(0.1), column_of(VT_R8), "0.1"},
        {ole_variant(-0.0), column_of(VT_R8), "-0"},
        {ole_variant(1e300), column_of(VT_R8), "1e+300"},
        {ole_variant(9007199254740994.0), column_of(VT_R8), "9007199254740994"},
        {ole_variant(std::numeric_limits<double>::denorm_min()), column_of(VT_R8), "5e-324"},
        {ole_variant(std::numeric_limits<double>::quiet_NaN()), column_of(VT_R8), "0"},
        {ole_variant(-std::numeric_limits<double>::infinity()), column_of(VT_R8), "0"},
        {ole_variant(true), column_of(VT_BOOL), "1"},
        {ole_variant(L"12"), column_of(VT_I4), "12"},
        {ole_variant(L"12 OR 1=1"), column_of(VT_I4), "'12 OR 1=1'"},
        {ole_variant(L"O'Neil\\x"), column_of(VT_BSTR), "'O\\'Neil\\\\x'"},
        {ole_variant(L"\u00e9\U0001F600"), column_of(VT_BSTR), "'\xC3\xA9\xF0\x9F\x98\x80'"},
        {ole_variant(7), column_of(VT_BSTR), "7"},
        // A number in a text column reads as a sheet shows it in General
        // format: an integer to 2^53 whole, any other with 15 digits.
        {ole_variant(9007199254740992.0), column_of(VT_BSTR), "'9007199254740992'"},
        {ole_variant(0.1 + 0.2), column_of(VT_BSTR), "'0.3'"},
        {ole_variant(1.1 * 1.1), column_of(VT_BSTR), "'1.21'"},
        {ole_variant(9007199254740994.0), column_of(VT_BSTR), "'9.00719925474099e+15'"},
        {ole_variant(1.1f), column_of(VT_BSTR), "'1.1'"},
        {bytes({0x01, 0xAB}), column_of(ole_vt_bytes), "0x01AB"},
        {ole_variant(), column_of(ole_vt_bytes), "NULL"},
        {ole_variant(L"POINT(1 2)"), column_of(VT_BSTR, false, ole_variant(), 2), "ST_GeomFromText('POINT(1 2)')"},
        {ole_variant(L"POINT(1 2)') , ('x"), column_of(VT_BSTR, false, ole_variant(), 8),
         "ST_GeomFromText('POINT(1 2)\\') , (\\'x')"},
        {ole_variant(L""), column_of(VT_BSTR, false, ole_variant(), 2), "NULL"},
        // Only a GUID column holds a GUID alone; a text column keeps the text.
        {ole_variant(L"{6F9619FF-8B86-D011-B42D-00C04FC964FF}"), column_of(VT_BSTR),
         "'{6F9619FF-8B86-D011-B42D-00C04FC964FF}'"},
        {ole_variant(L" {6F9619FF-8B86-D011-B42D-00C04FC964FF}"), column_of(VT_BSTR, false, ole_variant(), 1),
         "'6F9619FF-8B86-D011-B42D-00C04FC964FF'"},
        {ole_variant(L"no guid"), column_of(VT_BSTR, false, ole_variant(), 1), "'no guid'"},
        // A time of day alone never goes out on the zero date: as itself in a
        // TIME column, on the day it counts from in any other date column.
        {ole_variant(ole_date(std::string("12:00:00"))), column_of(VT_DATE, false, ole_variant(), 3), "'12:00:00'"},
        {ole_variant(L"06:30:15"), column_of(VT_DATE, false, ole_variant(), 3), "'06:30:15'"},
        {ole_variant(ole_date(std::string("12:00:00"))), column_of(VT_DATE, false, ole_variant(), 1), "'1899-12-30 12:00:00'"},
        {ole_variant(ole_date(std::string("12:00:00"))), column_of(VT_DATE, false, ole_variant(), 2), "'1899-12-30 12:00:00'"},
        {ole_variant(ole_date(std::string("2024-03-01 12:00:00"))), column_of(VT_DATE, false, ole_variant(), 1), "'2024-03-01 12:00:00'"},
        // In a text column a date is what the sheet shows: a time of day
        // alone without a date, a fraction of a second to the millisecond.
        {ole_variant(ole_date(std::string("12:00:00"))), column_of(VT_BSTR), "'12:00:00'"},
        {ole_variant(ole_date(SYSTEMTIME{2004, 8, 0, 1, 12, 30, 45, 123})), column_of(VT_BSTR), "'2004-08-01 12:30:45.123'"},
        {ole_variant(ole_date(SYSTEMTIME{1899, 12, 0, 30, 2, 45, 56, 100})), column_of(VT_BSTR), "'02:45:56.100'"},
        {ole_variant(ole_date(std::string("2024-01-02"))), column_of(VT_BSTR), "'2024-01-02'"},
    };
    for (auto& c : cases) {
        const udb_field field = field_of(c.value);
        EXPECT_EQ(get_fld_append_str(&field, &c.column, false), c.literal);
    }
}

// Every finite double goes out as a text the server reads back as the same
// double, whatever its magnitude: bits drawn at random, the edges of the range.
TEST(SqlLiterals, DoublesReadBackBitForBit)
{
    std::mt19937_64 bits(20261210);
    std::vector<double> values = {std::numeric_limits<double>::max(), std::numeric_limits<double>::lowest(),
                                  std::numeric_limits<double>::min(), std::numeric_limits<double>::denorm_min(),
                                  0.1 + 0.2, 1.0 / 3.0, 123456789012345678.0};
    while (values.size() < 20000) {
        const uint64_t b = bits();
        double d;
        std::memcpy(&d, &b, sizeof d);
        if (std::isfinite(d))
            values.push_back(d);
    }
    const t_ftd column = column_of(VT_R8);
    for (const double d : values) {
        const udb_field field = field_of(ole_variant(d));
        const std::string literal = get_fld_append_str(&field, &column, false);
        const double back = std::strtod(literal.c_str(), nullptr);
        EXPECT_EQ(std::memcmp(&back, &d, sizeof d), 0) << literal;
    }
}

// A text read into a date column goes out as written unless it is a time of
// day alone, which goes out on day zero. Only texts that may be one are
// parsed: for every shape of text the literal is what parsing all of them
// gives.
TEST(SqlLiterals, TextsInADateColumnAreTimesExactlyWhenTheyParseAsTimes)
{
    const char* const texts[] = {
        "10:30", " 10:30", "\t7:05:09", "+1:02", "-0:30", "10:30 PM", "10:30:00.250", "0000-00-00 10:30:00",
        "00-00-0000 1:02:03", "0/0/0 10:00:00", "0.0.0 23:59:59", "000:10", "00000000", "00000000103000",
        "0000-00-00", "1899-12-30 10:00:00", "2024-01-05", "2024-01-05 10:20:00", "05-01-2024 10:20:00",
        "20240105", "20240105102000", "Jan 5 2024 10:00", "12:60", "25:00", "10.30", "10 30", "noon", "-",
        "0", "0:", ":30", "1:2:3:4", "2024-13-45", " 0000-00-00 00:00:00",
        "00:00:00", "09:05:07", "23:59:59", "24:00:00", "23:60:00", "23:59:60", "2a:00:00", "12:3:45", "12-34-56",
    };
    const t_ftd column = column_of(VT_DATE, false, ole_variant(), 1);
    for (const char* text : texts) {
        const ole_date parsed{std::string(text)};
        const bool time = parsed.is_valid() && parsed.kind == ole_date::kind_time;
        const std::string expected =
            time ? "'1899-12-30 " + platform::to_utf8(parsed.to_wstring(6)) + "'" : "'" + std::string(text) + "'";
        const udb_field field = field_of(ole_variant(platform::from_utf8(text)));
        EXPECT_EQ(get_fld_append_str(&field, &column, false), expected) << text;
    }
}

// Narrow text is scanned eight bytes at a time: each character that needs an
// escape is found wherever it stands in a word, and nothing else is changed
// (other control characters and bytes of characters beyond ASCII included).
TEST(SqlLiterals, EscapesAreFoundAtEveryPosition)
{
    const std::string base = "abcdefghijklmnopqrstu";
    const std::pair<char, std::string> specials[] = {
        {'\\', "\\\\"}, {'\'', "\\'"}, {'\0', "\\0"}, {'\r', "\\r"}, {'\n', "\\n"}, {'\x1A', "\\Z"},
        {'\t', "\t"},   {'\x1F', "\x1F"}, {'"', "\""}, {'\x80', "\x80"}, {'\xFF', "\xFF"}, {'[', "["},
    };
    for (size_t at = 0; at < base.size(); ++at) {
        for (const auto& [c, escaped] : specials) {
            std::string text = base;
            text[at] = c;
            const std::string expected = base.substr(0, at) + escaped + base.substr(at + 1);
            EXPECT_EQ(sql_escape(text), expected) << "at " << at << ", byte " << int(static_cast<unsigned char>(c));
        }
    }
    EXPECT_EQ(sql_escape(std::string(10, '\'')), "\\'\\'\\'\\'\\'\\'\\'\\'\\'\\'");
}

TEST(SqlLiterals, LongValuesBecomePlaceholders)
{
    const t_ftd column = column_of(VT_BSTR);
    const udb_field big = field_of(ole_variant(std::wstring(0x100001, L'a')));
    const udb_field edge = field_of(ole_variant(std::wstring(0x100000, L'a')));
    EXPECT_EQ(get_fld_append_str(&big, &column, true), "?");
    EXPECT_EQ(get_fld_append_str(&edge, &column, true).size(), 0x100002u);
    EXPECT_EQ(get_fld_append_str(&big, &column, false).size(), 0x100003u);
}

TEST(SqlLiterals, MissingFieldOrColumnIsAnInternalError)
{
    const t_ftd column = column_of(VT_BSTR);
    const udb_field field = field_of(ole_variant(L"x"));
    EXPECT_THROW(get_fld_append_str(nullptr, &column, false), tk_mail_assertion);
    EXPECT_THROW(get_fld_append_str(&field, nullptr, false), tk_mail_assertion);
    EXPECT_THROW(to_mysql_str(static_cast<const udb_field*>(nullptr)), tk_mail_assertion);
    EXPECT_THROW(make_mysql_def_val(nullptr), tk_mail_assertion);
}

t_ftd sized(VARTYPE vt, uint32_t size, uint32_t reserved = 0)
{
    return t_ftd(size, L"c", vt, false, false, ole_variant(), reserved, L"");
}

TEST(SqlTypeNames, TextLimitsFollowTheCharacterSet)
{
    struct {
        uint32_t size;
        const wchar_t* char_set;
        const wchar_t* type;
    } cases[] = {
        {1, L"utf8mb4", L"VARCHAR(1)"},
        {16383, L"utf8mb4", L"VARCHAR(16383)"},
        {16384, L"utf8mb4", L"MEDIUMTEXT"},
        {16384, L"UTF8MB4", L"MEDIUMTEXT"},
        {21844, L"utf8", L"VARCHAR(21844)"},
        {21845, L"utf8", L"MEDIUMTEXT"},
        {21845, L"latin1", L"VARCHAR(21845)"},
        {21846, L"latin1", L"MEDIUMTEXT"},
        {21845, L"ucs2", L"VARCHAR(21845)"},
        {16384, L"no such set", L"MEDIUMTEXT"},
        {5592405, L"latin1", L"MEDIUMTEXT"},
        {5592406, L"latin1", L"LONGTEXT"},
        {0, L"latin1", L"LONGTEXT"},
    };
    for (const auto& c : cases) {
        const t_ftd column = sized(VT_BSTR, c.size);
        EXPECT_EQ(get_sql_native_type2(&column, false, c.char_set), c.type) << c.size << " " << c.char_set;
    }
    EXPECT_EQ(sql_varchar_limit(L"utf8"), 21844u);
    EXPECT_EQ(sql_varchar_limit(L"utf8mb4"), 16383u);
    EXPECT_EQ(sql_bytes_per_char(L"utf8"), 3u);
    EXPECT_EQ(sql_bytes_per_char(L"utf8mb4"), 4u);
}

TEST(SqlTypeNames, EveryTypeAtItsBoundaries)
{
    struct {
        t_ftd column;
        const wchar_t* full;
        const wchar_t* name_only;
    } cases[] = {
        {sized(VT_I2, 2), L"SMALLINT", L"SMALLINT"},
        {sized(VT_I4, 4), L"INT", L"INT"},
        {sized(VT_INT, 4), L"INT", L"INT"},
        {sized(VT_R4, 4), L"FLOAT", L"FLOAT"},
        {sized(VT_R8, 8), L"DOUBLE", L"DOUBLE"},
        {sized(VT_CY, 8), L"DECIMAL(19,4)", L"DECIMAL"},
        {sized(VT_BOOL, 1), L"TINYINT(1)", L"TINYINT"},
        {sized(VT_I1, 1), L"TINYINT", L"TINYINT"},
        {sized(VT_UI1, 1), L"TINYINT UNSIGNED", L"TINYINT UNSIGNED"},
        {sized(VT_UI2, 2), L"SMALLINT UNSIGNED", L"SMALLINT UNSIGNED"},
        {sized(VT_UI4, 4), L"INT UNSIGNED", L"INT UNSIGNED"},
        {sized(VT_UINT, 4), L"INT UNSIGNED", L"INT UNSIGNED"},
        {sized(VT_I8, 8), L"BIGINT", L"BIGINT"},
        {sized(VT_UI8, 8), L"BIGINT UNSIGNED", L"BIGINT UNSIGNED"},
        {sized(VT_DATE, 8, 0), L"CHAR(19)", L"CHAR"},
        {sized(VT_DATE, 8, 1), L"DATETIME", L"DATETIME"},
        {sized(VT_DATE, 8, 2), L"DATE", L"DATE"},
        {sized(VT_DATE, 8, 3), L"TIME", L"TIME"},
        {sized(VT_DATE, 8, 9), L"TIMESTAMP", L"TIMESTAMP"},
        {sized(VT_DATE, 8, 10), L"DATE", L"DATE"},
        {sized(VT_BSTR, 10, 2), L"geometry", L"geometry"},
        {sized(VT_BSTR, 10, 16), L"CHAR(10)", L"CHAR"},
        {sized(VT_BSTR, 10), L"VARCHAR(10)", L"VARCHAR"},
        {sized(ole_vt_bytes, 1), L"VARBINARY(1)", L"VARBINARY"},
        {sized(ole_vt_bytes, 255), L"VARBINARY(255)", L"VARBINARY"},
        {sized(VT_BLOB, 256), L"BLOB", L"BLOB"},
        {sized(VT_BLOB, 65535), L"BLOB", L"BLOB"},
        {sized(VT_BLOB, 65536), L"MEDIUMBLOB", L"MEDIUMBLOB"},
        {sized(VT_BLOB, 16777215), L"MEDIUMBLOB", L"MEDIUMBLOB"},
        {sized(VT_BLOB, 16777216), L"LONGBLOB", L"LONGBLOB"},
        {sized(VT_BLOB, 0), L"LONGBLOB", L"LONGBLOB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(get_sql_native_type2(&c.column, false, L"utf8mb4"), c.full) << c.column.vartype;
        EXPECT_EQ(get_sql_native_type2(&c.column, true, L"utf8mb4"), c.name_only) << c.column.vartype;
    }
}

TEST(SqlTypeNames, DatesByTheirDefaults)
{
    for (const wchar_t* def : {L"now()", L"NOW()", L"SYSDATE", L"getdate()", L"getutcdate()", L"current_timestamp"}) {
        const t_ftd column(8, L"d", VT_DATE, false, false, ole_variant(def), 2, L"");
        EXPECT_EQ(get_sql_native_type2(&column, false, L"utf8mb4"), L"TIMESTAMP");
    }
    const t_ftd today(8, L"d", VT_DATE, false, false, ole_variant(L"Date()"), 1, L"");
    EXPECT_EQ(get_sql_native_type2(&today, false, L"utf8mb4"), L"DATE");
}

// The literal of a time of day asks, value after value, whether its column is
// a TIME column: exactly when the column's type is TIME, whatever its flags
// and default.
TEST(SqlTypeNames, TimeColumnsAreThoseTypedTime)
{
    for (const VARTYPE vt : {VT_DATE, VT_BSTR})
        for (int flags = 0; flags <= 16; ++flags)
            for (const ole_variant& def : {ole_variant(), ole_variant(L"NOW()"), ole_variant(L"sysdate"),
                                           ole_variant(L"12:00:00"), ole_variant(L"date()")}) {
                const t_ftd column(8, L"t", vt, false, false, def, flags, L"");
                EXPECT_EQ(sql_is_time_column(column), get_sql_native_type2(&column, true, L"utf8mb4") == L"TIME")
                    << vt << " " << flags << " " << def.to_string();
            }
}

TEST(SqlTypeNames, DecimalsAndUnsupportedTypes)
{
    t_ftd decimal = sized(VT_DECIMAL, 16);
    EXPECT_EQ(get_sql_native_type2(&decimal, false, L"utf8mb4"), L"DOUBLE");
    decimal.precision = 10;
    decimal.scale = 2;
    EXPECT_EQ(get_sql_native_type2(&decimal, false, L"utf8mb4"), L"DECIMAL(10,2)");
    for (VARTYPE vt : {VT_EMPTY, VT_NULL, VT_DISPATCH, VT_ERROR, VT_VARIANT, VT_BLOB_OBJECT}) {
        const t_ftd column = sized(vt, 4);
        EXPECT_THROW(get_sql_native_type2(&column, false, L"utf8mb4"), tk_mail_assertion) << vt;
    }
}

TEST(SqlTypeNames, UserChoices)
{
    EXPECT_EQ(get_sql_native_type1({L"VARCHAR", 20, 0, 0}), L"VARCHAR(20)");
    EXPECT_EQ(get_sql_native_type1({L"CHAR", 3, 0, 0}), L"CHAR(3)");
    EXPECT_EQ(get_sql_native_type1({L"DECIMAL", 0, 2, 10}), L"DECIMAL(10,2)");
    EXPECT_EQ(get_sql_native_type1({L"INT", 20, 0, 0}), L"INT");
    EXPECT_EQ(get_sql_native_type1({L"varchar", 20, 0, 0}), L"varchar");
}

TEST(SqlDefaults, DefaultClauseTexts)
{
    struct {
        VARTYPE vt;
        const wchar_t* def;
        uint32_t reserved;
        const wchar_t* text;
    } cases[] = {
        {VT_BSTR, L"to_char(sysdate,'yyyy-mm-dd hh24:mi:ss')", 0, L""},
        {VT_DATE, L"", 9, L"CURRENT_TIMESTAMP"},
        {VT_DATE, L"", 10, L"CURRENT_DATE()"},
        {VT_DATE, L"", 11, L"CURRENT_TIME()"},
        {VT_BSTR, L"it's", 0, L"'it\\'s'"},
        {VT_BSTR, L"", 0, L""},
        {VT_I4, L"", 0, L""},
        {VT_BSTR, L"NEWID()", 0, L"'NEWID()'"},
        {VT_I4, L"newid()", 0, L""},
        {VT_I4, L"7", 0, L"7"},
        {VT_I4, L"-7", 0, L"-7"},
        {VT_I4, L"007", 0, L""},
        {VT_I4, L"+7", 0, L""},
        {VT_I4, L"2147483648", 0, L""},
        {VT_I4, L"7) , x INT", 0, L""},
        {VT_I8, L"9223372036854775807", 0, L"9223372036854775807"},
        {VT_UI8, L"18446744073709551615", 0, L"18446744073709551615"},
        {VT_UI8, L"-1", 0, L""},
        {VT_R8, L"1.5", 0, L"1.5"},
        {VT_R8, L"0", 0, L"0"},
        {VT_R8, L"0.0e0", 0, L"0.0e0"},
        {VT_R8, L"0,0", 0, L""},
        {VT_R8, L"--", 0, L""},
        {VT_R8, L"1.5abc", 0, L""},
        {VT_CY, L"12.34", 0, L"12.34"},
        {VT_DATE, L"GetDate()", 1, L"CURRENT_TIMESTAMP"},
        {VT_DATE, L"sysdate", 1, L"CURRENT_TIMESTAMP"},
        {VT_DATE, L"2024-02-29 13:05:09", 1, L"\"2024-02-29 13:05:09\""},
        {VT_DATE, L"2024-02-29", 2, L"\"2024-02-29\""},
        {VT_DATE, L"not a date", 1, L""},
        {VT_BLOB, L"x", 0, L""},
    };
    for (const auto& c : cases) {
        const t_ftd column(8, L"c", c.vt, false, false, ole_variant(c.def), c.reserved, L"");
        EXPECT_EQ(make_mysql_def_val(&column), c.text) << c.vt << " " << platform::to_utf8(c.def);
    }
}

TEST(SqlResults, VartypesOfFieldTypes)
{
    sql_engine engine;
    EXPECT_EQ(get_vartype(MYSQL_TYPE_NEWDECIMAL, 0), VT_DECIMAL);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_TINY, 0x20), VT_UI1);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_TINY, 0), VT_I1);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_LONG, 0x20), VT_UI4);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_LONGLONG, 0), VT_I8);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_INT24, 0x20), VT_I4);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_YEAR, 0), VT_UI2);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_BIT, 0), VT_BOOL);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_DATETIME, 0), VT_DATE);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_VAR_STRING, 0x80), ole_vt_bytes);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_VAR_STRING, 0), VT_BSTR);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_BLOB, 0x80), ole_vt_bytes);
    engine.set_blob_to_text(true);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_BLOB, 0x80), VT_BSTR);
    EXPECT_EQ(get_vartype(MYSQL_TYPE_STRING, 0), VT_BSTR);
}

TEST(SqlResults, VartypesOfTypeNames)
{
    struct {
        const wchar_t* name;
        VARTYPE vt;
        uint32_t size;
    } cases[] = {
        {L"VARCHAR(40)", VT_BSTR, 40}, {L"CHAR(3)", VT_BSTR, 3},  {L"VARCHAR", VT_BSTR, 99},
        {L"BIT", VT_I1, 1},            {L"TINYINT UNSIGNED", VT_UI1, 1}, {L"SMALLINT", VT_I2, 2},
        {L"INT UNSIGNED", VT_UI4, 4},  {L"BIGINT", VT_I8, 8},     {L"BIGINT UNSIGNED", VT_UI8, 8},
        {L"DATE", VT_DATE, 8},         {L"TIME", VT_DATE, 8},     {L"DOUBLE", VT_R8, 8},
        {L"FLOAT", VT_R4, 4},          {L"DECIMAL(10,2)", VT_DECIMAL, 99}, {L"DATETIME", VT_BSTR, 99},
        {L"LONGBLOB", VT_BSTR, 99},    {L"int", VT_BSTR, 99},
    };
    for (const auto& c : cases) {
        uint32_t size = 99;
        EXPECT_EQ(get_vartype_by_name(c.name, size), c.vt) << platform::to_utf8(c.name);
        EXPECT_EQ(size, c.size) << platform::to_utf8(c.name);
    }
}

TEST(SqlResults, ValuesOfResultColumns)
{
    sql_engine engine;
    EXPECT_EQ(get_variant(MYSQL_TYPE_LONG, 0, 0, static_cast<const char*>(nullptr)).get_type(), VT_EMPTY);
    const ole_variant text = get_variant(MYSQL_TYPE_VAR_STRING, 4, 0, "ab\xC3\xA9" "cd");
    EXPECT_EQ(text.get_type(), VT_BSTR);
    EXPECT_EQ(text.to_wstring(), L"ab\u00e9");
    const ole_variant raw = get_variant(MYSQL_TYPE_VAR_STRING, 3, 0x80, "\x01\0\xFF");
    EXPECT_EQ(raw.get_type(), ole_vt_bytes);
    EXPECT_EQ(raw.get_array_size(), 3u);
    EXPECT_EQ(get_variant(MYSQL_TYPE_BLOB, 2, 0x80, "ab").get_type(), ole_vt_bytes);
    EXPECT_EQ(get_variant(MYSQL_TYPE_BLOB, 2, 0, "ab").get_type(), VT_BSTR);
    engine.set_blob_to_text(true);
    EXPECT_EQ(get_variant(MYSQL_TYPE_BLOB, 2, 0x80, "ab").to_string(), "ab");
    const ole_variant number = get_variant(MYSQL_TYPE_LONG, 2, 0, "42");
    EXPECT_EQ(number.get_type(), VT_I4);
    EXPECT_EQ(number.to_long(), 42);
    EXPECT_FALSE(get_variant(MYSQL_TYPE_BIT, 1, 0, "\0").to_bool());
    EXPECT_TRUE(get_variant(VT_BOOL, L"x").to_bool());
    const ole_variant wide_raw = get_variant(MYSQL_TYPE_VAR_STRING, 2, 0x80, L"\x1FF\x41");
    EXPECT_EQ(wide_raw.to_string(), "0xFF41");
}

// A type's text is read once, and a number beyond 32 bits is refused instead
// of passing for a small one (4294967299 would be 3).
TEST(SqlTypeTexts, NumbersThatDoNotFitAreRefused)
{
    struct {
        const wchar_t* text;
        bool parses;
        const wchar_t* name = L"";
        uint32_t first = 0;
        uint32_t second = 0;
        bool is_unsigned = false;
    } cases[] = {
        {L"varchar(20)", true, L"VARCHAR", 20, 0, false},
        {L"DECIMAL( 6 , 2 )", true, L"DECIMAL", 6, 2, false},
        {L"INT UNSIGNED", true, L"INT", 0, 0, true},
        {L"DATETIME/*!50604 (3)*/", true, L"DATETIME", 3, 0, false},
        {L"ENUM('a','b')", true, L"ENUM", 0, 0, false},
        {L"VARCHAR(4294967295)", true, L"VARCHAR", 4294967295u, 0, false},
        {L"VARCHAR(4294967299)", false},
        {L"DECIMAL(10,4294967302)", false},
        {L"VARCHAR(99999999999999999999999)", false},
        {L"VARCHAR(-1)", false},
        {L"VARCHAR(x)", false},
    };
    for (const auto& c : cases) {
        const std::optional<sql_type_text> parsed = sql_parse_type(c.text);
        ASSERT_EQ(parsed.has_value(), c.parses) << tk_to_utf8(c.text);
        if (!parsed)
            continue;
        EXPECT_EQ(parsed->name, c.name);
        EXPECT_EQ(parsed->first, c.first) << tk_to_utf8(c.text);
        EXPECT_EQ(parsed->second, c.second) << tk_to_utf8(c.text);
        EXPECT_EQ(parsed->is_unsigned, c.is_unsigned) << tk_to_utf8(c.text);
    }
    // A value is checked against its column's type read once.
    EXPECT_EQ(sql_value_failure(*sql_parse_type(L"VARCHAR(3)"), L"abcd"), L"Data too long for column");
    EXPECT_EQ(sql_value_failure(*sql_parse_type(L"TINYINT UNSIGNED"), L"256"), L"Out of range value for column");
    EXPECT_EQ(sql_value_failure(*sql_parse_type(L"DECIMAL(4,2)"), L"12.5"), L"");
    EXPECT_EQ(sql_user_type_failure(L"VARCHAR(4294967299)", 3, 0, 0, L"", L"utf8mb4"),
              L"its type holds a number MySQL cannot take");
    uint32_t size = 0;
    EXPECT_EQ(get_vartype_by_name(L"VARCHAR(4294967299)", size), VT_BSTR);
    EXPECT_EQ(size, 0u);
}

} // namespace
