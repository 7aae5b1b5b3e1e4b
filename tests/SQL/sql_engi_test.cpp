#include "SQL/sql_engi.hpp"

#include "TK/tk_excep.hpp"

#include <gtest/gtest.h>

namespace {

struct version_case {
    const char* text;
    uint32_t number;
};

TEST(SqlEngineVersion, ReadsTheThreeLeadingNumbers)
{
    const version_case cases[] = {
        {"5.7.44-log", 0x5072C},
        {"8.0.36", 0x80024},
        {"10.11.19-MariaDB-0+deb12u1", 0xA0B13},
        {"10.11.6", 0xA0B06},
        {"4.1.0", 0x40100},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sql_engine::parse_version(c.text), c.number) << c.text;
}

TEST(SqlEngineVersion, FewerThanThreeNumbersIsAnInternalError)
{
    for (const char* text : {"5.7", "5.7-log", "", "MariaDB", static_cast<const char*>(nullptr)}) {
        try {
            sql_engine::parse_version(text);
            ADD_FAILURE() << "accepted " << (text ? text : "null");
        } catch (const tk_mail_assertion& e) {
            EXPECT_EQ(e.get_level(), 2);
            EXPECT_EQ(e.get_message(), make_err_meggase("sql_engi", 375));
        }
    }
}

TEST(SqlEngine, RegistersItselfAndStartsWithItsDefaults)
{
    sql_engine engine;
    EXPECT_EQ(&tk_singleton<sql_engine>::instance(), &engine);
    EXPECT_EQ(engine.get_version(), 0u);
    EXPECT_TRUE(engine.is_old_version());
    EXPECT_EQ(engine.get_tab_type(), L"InnoDB");
    EXPECT_TRUE(engine.is_fast_insert());
    EXPECT_FALSE(engine.is_blob_to_text());
    EXPECT_FALSE(engine.is_tables_locked());
    EXPECT_FALSE(engine.is_connected());
}

TEST(SqlEngine, OldVersionEndsJustBelow410)
{
    sql_engine engine;
    engine.set_server_version(0x40017);
    EXPECT_TRUE(engine.is_old_version());
    engine.set_server_version(0x40100);
    EXPECT_FALSE(engine.is_old_version());
}

// Characters outside the Basic Multilingual Plane need utf8mb4; utf8 (three
// bytes) loses them. The default follows what the target has; a choice of the
// user's is kept whatever the target.
TEST(SqlEngine, CharacterSetDefaultsToUtf8mb4WhereTheTargetHasIt)
{
    struct {
        uint32_t version;
        const wchar_t* expected;
    } cases[] = {
        {0x050502, L"utf8"}, {0x050503, L"utf8mb4"}, {0x080024, L"utf8mb4"}, {0x0A0B13, L"utf8mb4"}, {0x040100, L"utf8"},
    };
    sql_engine engine;
    for (const auto& c : cases) {
        engine.set_server_version(c.version);
        EXPECT_EQ(engine.get_char_set(), c.expected) << std::hex << c.version;
    }
    engine.set_dump_version(true);
    EXPECT_EQ(engine.get_version(), 0x40100u);
    EXPECT_EQ(engine.get_char_set(), L"utf8mb4");
    engine.set_dump_version(false);
    EXPECT_EQ(engine.get_version(), 0x31401u);
    EXPECT_EQ(engine.get_char_set(), L"utf8");

    engine.set_char_set(L"latin1");
    engine.set_dump_version(true);
    EXPECT_EQ(engine.get_char_set(), L"latin1");
    engine.set_char_set(L"utf8");
    engine.set_server_version(0x080024);
    EXPECT_EQ(engine.get_char_set(), L"utf8");
    engine.set_char_set(L"");
    EXPECT_EQ(engine.get_char_set(), L"utf8mb4");
}

TEST(SqlEngine, SafeNames)
{
    const std::wstring n64(64, L'a');
    const std::wstring n65 = std::wstring(64, L'b') + L"c";
    struct {
        std::wstring name;
        std::wstring expected;
    } cases[] = {
        {L"", L""},
        {L"name", L"`name`"},
        {L"two words", L"`two words`"},
        {n64, L"`" + n64 + L"`"},
        {n65, L"`" + std::wstring(63, L'b') + L"`"},
        {L"`already`", L"`already`"},
        {L"`a``b`", L"`a``b`"},
        // A backquote inside is doubled, or it would close the identifier.
        {L"a`b", L"`a``b`"},
        {L"x` (y INT); DROP TABLE t; --", L"`x`` (y INT); DROP TABLE t; --`"},
        // Only a well-formed quoted identifier is taken as quoted already.
        {L"`open", L"```open`"},
        {L"`a`b`", L"```a``b```"},
        // What no identifier holds is replaced, also inside a quoted name;
        // a NUL never ends the name early.
        {std::wstring(L"a\0`; DROP DATABASE v; #", 23), L"`a_``; DROP DATABASE v; #`"},
        {std::wstring(L"`a\0b`", 5), L"`a_b`"},
        {L"t\r\nx", L"`t__x`"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(sql_engine::get_safe_name(c.name), c.expected);
    EXPECT_EQ(sql_engine::get_safe_name(n64).size(), 66u);
}

// Old servers take plain words bare; any other name is backquoted, so no
// name reaches a statement of theirs unquoted.
TEST(SqlEngine, OldDialectNames)
{
    EXPECT_EQ(sql_engine::old_dialect_name(L"a$b_c1"), L"a$b_c1");
    EXPECT_EQ(sql_engine::old_dialect_name(L"\u00e9t\u00e9"), L"\u00e9t\u00e9");
    EXPECT_EQ(sql_engine::old_dialect_name(L"123"), L"`123`");
    EXPECT_EQ(sql_engine::old_dialect_name(L"t; DROP TABLE x"), L"`t; DROP TABLE x`");
    EXPECT_EQ(sql_engine::old_dialect_name(std::wstring(L"t\0`", 3)), L"`t_```");
}

TEST(SqlEngine, TypeNamesByCode)
{
    EXPECT_EQ(sql_engine::get_mysql_type_name(0), L"BINARY");
    EXPECT_EQ(sql_engine::get_mysql_type_name(3), L"TINYINT UNSIGNED");
    EXPECT_EQ(sql_engine::get_mysql_type_name(15), L"VARCHAR");
    EXPECT_EQ(sql_engine::get_mysql_type_name(21), L"TINYBLOB");
    EXPECT_EQ(sql_engine::get_mysql_type_name(27), L"TINYTEXT");
    EXPECT_EQ(sql_engine::get_mysql_type_name(28), L"<Unknown type>");
    EXPECT_EQ(sql_engine::get_mysql_type_name(-1), L"<Unknown type>");
}

TEST(SqlEngine, OfflineCatalogueLists)
{
    sql_engine engine;
    const auto& charsets = engine.get_charsets();
    ASSERT_EQ(charsets.size(), 37u);
    EXPECT_EQ(charsets.front(), L"big5 - Big5 Traditional Chinese");
    EXPECT_EQ(charsets[21], L"utf8 - UTF-8 Unicode");
    EXPECT_EQ(charsets[22], L"utf8mb4 - UTF-8 Unicode");
    EXPECT_EQ(charsets.back(), L"eucjpms - UJIS for Windows Japanese");
    EXPECT_EQ(&engine.get_charsets(), &charsets);

    const auto& engines = engine.get_storage_engines();
    ASSERT_EQ(engines.size(), 12u);
    EXPECT_EQ(engines[2], L"InnoDB");
    EXPECT_EQ(engines.back(), L"ISAM");
}

} // namespace
