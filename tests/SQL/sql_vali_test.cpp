#include "SQL/sql_vali.hpp"

#include "SQL/sql_engi.hpp"
#include "UDB/udb_ftd.hpp"
#include "UDB/udb_idx.hpp"
#include "UDB/udb_sch.hpp"

#include "server_env.hpp"

#include <gtest/gtest.h>

#include <memory>

namespace {

using names = std::vector<std::wstring>;

enum class kind { table, field, index, database };

std::unique_ptr<udb_validator> make(bool old_family, kind k)
{
    const names none;
    const udb_indexes no_indexes;
    if (old_family) {
        switch (k) {
        case kind::table: return std::make_unique<sql_old_tn_validator>(none, none);
        case kind::index: return std::make_unique<sql_old_in_validator>(no_indexes);
        case kind::database: return std::make_unique<sql_old_dn_validator>();
        default: return std::make_unique<sql_old_validator>();
        }
    }
    switch (k) {
    case kind::table:
    case kind::database: return std::make_unique<sql_new_tn_validator>(none, none);
    case kind::index: return std::make_unique<sql_new_in_validator>(no_indexes);
    default: return std::make_unique<sql_new_validator>(false);
    }
}

struct name_case {
    bool old_family;
    kind k;
    std::wstring name;
    bool accepted;
    std::wstring safe;  // checked when not accepted
};

TEST(SqlValidators, FamilyKindAndName)
{
    const std::wstring n64(64, L'a');
    const std::wstring n65(65, L'a');
    const name_case cases[] = {
        // New family: almost anything inside backquotes.
        {false, kind::field, n64, true, L""},
        {false, kind::field, n65, false, std::wstring(63, L'a')},
        {false, kind::field, L"", false, L"00000"},
        {false, kind::field, L" lead", false, L"lead"},
        {false, kind::field, L"trail ", false, L"trail"},
        {false, kind::field, L"in side", true, L""},
        {false, kind::field, L"select", true, L""},
        {false, kind::field, L"a+b", false, L"a_b"},
        {false, kind::index, L"a+b", false, L"a_b"},
        {false, kind::table, L"a+b", false, L"a_b"},
        {false, kind::field, L"a/b", true, L""},
        {false, kind::index, L"a/b", true, L""},
        {false, kind::table, L"a/b", false, L"a_b"},
        {false, kind::field, L"a`b", false, L"a_b"},
        {false, kind::field, L"it's", false, L"it_s"},
        {false, kind::table, L"a:b|c<d>e?f", false, L"a_b_c_d_e_f"},
        {false, kind::field, L"\u00c9t\u00e9 \u4e2d", true, L""},
        // What no identifier holds: control characters, NUL among them,
        // characters beyond the Basic Multilingual Plane.
        {false, kind::field, L"\u00c9t\u00e9 \U0001F600", false, L"\u00c9t\u00e9 _"},
        {false, kind::field, std::wstring(L"a\0`; DROP DATABASE victim; #", 28), false,
         L"a___ drop database victim_ #"},
        {false, kind::table, L"t\r\nDROP DATABASE victim;", false, L"t__drop database victim_"},
        {false, kind::index, L"ix\x7f", false, L"ix_"},
        {true, kind::field, L"\U0001D400", false, L"_"},
        // Old family: letters, digits, _ and $, no reserved word.
        {true, kind::field, L"select", false, L"select00000"},
        {true, kind::field, L"SeLeCt", false, L"select00000"},
        {true, kind::field, L"selects", true, L""},
        {true, kind::field, L"a$b_c", true, L""},
        {true, kind::field, L"a-b", false, L"a_b"},
        {true, kind::field, L"123", false, L"_23"},
        {true, kind::field, L"", false, L"_"},
        {true, kind::field, L"\u00e9t\u00e9", true, L""},
        {true, kind::table, L"two words", false, L"two_words"},
        {true, kind::index, L"key", false, L"key00000"},
        {true, kind::database, L"1abc", false, L""},
        {true, kind::database, L"abc1", true, L""},
        // A table's name is the name of its files: a character outside
        // [A-Za-z0-9_] takes five bytes there ("@002d"), a Latin letter with
        // accents three, and a file name holds 251 before its extension.
        {false, kind::table, std::wstring(50, L'-'), true, L""},
        {false, kind::table, std::wstring(60, L'-'), false, std::wstring(50, L'-')},
        {false, kind::table, std::wstring(70, L'\u4e2d'), false, std::wstring(50, L'\u4e2d')},
        {false, kind::table, std::wstring(64, L'\u00e9'), true, L""},
        {false, kind::table, std::wstring(60, L'/'), false, std::wstring(60, L'_')},
        {true, kind::table, std::wstring(60, L'\u4e2d'), false, std::wstring(50, L'\u4e2d')},
        {false, kind::field, std::wstring(64, L'-'), true, L""},
    };
    for (const auto& c : cases) {
        const auto v = make(c.old_family, c.k);
        EXPECT_EQ(v->is_acceptable(c.name), c.accepted) << (c.old_family ? "old " : "new ") << int(c.k);
        if (!c.accepted && !c.safe.empty()) {
            const std::wstring safe = v->get_safe_name(c.name);
            EXPECT_EQ(safe, c.safe);
            EXPECT_TRUE(v->is_acceptable(safe));
        }
    }
}

TEST(SqlValidators, OldReservedWordsAreAllRefused)
{
    sql_old_validator v;
    EXPECT_EQ(v.restricted_names.size(), 167u);
    for (const std::wstring& word : v.restricted_names)
        EXPECT_FALSE(v.is_acceptable(word));
}

TEST(SqlValidators, SeedsAreTakenNames)
{
    sql_new_tn_validator tables(names{L"Orders", L"Ano", std::wstring(50, L'-')}, names{L"orders 2"});
    EXPECT_TRUE(tables.is_duplicated(L"ORDERS"));
    EXPECT_TRUE(tables.is_duplicated(L"Orders 2"));
    EXPECT_EQ(tables.get_safe_name(L"orders"), L"orders00000");
    // Table names are one by case only: accents make another table.
    EXPECT_FALSE(tables.is_duplicated(L"A\u00f1o"));
    EXPECT_TRUE(tables.is_duplicated(L"ANO"));
    // The counter fits in the file name too.
    EXPECT_EQ(tables.get_safe_name(std::wstring(60, L'-')), std::wstring(49, L'-') + L"00000");

    // Column names are one by the server's weights.
    udb_schema schema;
    for (const wchar_t* name : {L"\u00e9t\u00e9", L"\u30AC\u30B9", L"\uAC00\uACA9"})
        schema.push_back(std::make_shared<t_ftd>(10, name, VT_BSTR, false, false, ole_variant(), 0, std::wstring()));
    sql_new_fn_validator columns(schema);
    EXPECT_TRUE(columns.is_duplicated(L"ETE"));
    EXPECT_FALSE(columns.is_duplicated(L"\u30AB\u30B9"));
    EXPECT_FALSE(columns.is_duplicated(L"\uAC00\uAD6C"));

    udb_indexes indexes;
    udb_index ix;
    ix.name = L"ix";
    indexes.push_back(ix);
    sql_new_in_validator index_names(indexes);
    EXPECT_TRUE(index_names.is_duplicated(L"IX"));
}

// The longest table name the validator takes is the longest the server can
// make files for, with each engine's extensions.
TEST(SqlValidators, TableFileNamesAsTheServerTakesThem)
{
    RVL_NEED_TEST_SERVER();
    test_database db;
    test_connection c(db.name());
    const sql_new_tn_validator tables(names{}, names{});
    const std::string dashes(50, '-');
    for (const char* engine : {"InnoDB", "MyISAM", "Aria"}) {
        for (const std::string tail : {"a", "ab"}) {
            const std::string name = dashes + tail;
            bool created = true;
            try {
                c.execute("CREATE TABLE `" + name + "` (a INT) ENGINE=" + engine);
                c.execute("DROP TABLE `" + name + "`");
            } catch (const std::runtime_error&) {
                created = false;
            }
            EXPECT_EQ(created, tail.size() == 1) << engine << " " << name;
            EXPECT_EQ(tables.is_acceptable(std::wstring(name.begin(), name.end())), created) << engine;
        }
    }
}

TEST(SqlValidators, EngineHandsOutTheFamilyOfItsVersion)
{
    sql_engine engine;
    for (uint32_t version : {0x040017u, 0x040100u}) {
        engine.set_server_version(version);
        const bool old_family = version < 0x040100;
        const auto tn = engine.create_tn_validator(names{L"t"}, names{});
        const auto in = engine.create_in_validator(udb_indexes());
        EXPECT_EQ(dynamic_cast<sql_old_tn_validator*>(tn.get()) != nullptr, old_family);
        EXPECT_EQ(dynamic_cast<sql_new_tn_validator*>(tn.get()) != nullptr, !old_family);
        EXPECT_EQ(dynamic_cast<sql_old_in_validator*>(in.get()) != nullptr, old_family);
        EXPECT_TRUE(tn->is_duplicated(L"T"));
    }
}

} // namespace
