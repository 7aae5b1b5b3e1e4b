// What the workbook side computes without a workbook: the two type maps,
// the rewriting of saved queries towards MySQL, the foreign keys gathered
// from MSysRelationships rows and the generated unique-index names.
#include "DAO/dao_db.hpp"
#include "DAO/dao_rec.hpp"

#include <gtest/gtest.h>

namespace {

TEST(DaoTypes, ReadingMap)
{
    const std::pair<int16_t, VARTYPE> rows[] = {
        {1, VT_BOOL}, {2, VT_UI1}, {3, VT_I2},   {4, VT_I4},   {5, VT_CY},   {6, VT_R4},         {7, VT_R8},
        {19, VT_R8},  {20, VT_R8}, {21, VT_R8},  {8, VT_DATE}, {22, VT_DATE}, {10, VT_BSTR},    {12, VT_BSTR},
        {9, ole_vt_bytes}, {15, ole_vt_bytes}, {16, ole_vt_bytes}, {101, ole_vt_bytes},
    };
    for (const auto& [dao, vt] : rows)
        EXPECT_EQ(dao_field::get_vartype(dao), vt) << dao;
}

TEST(DaoTypes, WritingMap)
{
    struct row {
        VARTYPE vt;
        uint32_t size, reserved;
        int16_t dao;
    };
    const row rows[] = {
        {VT_I1, 0, 0, 3},    {VT_UI2, 0, 0, 4},   {VT_UI8, 0, 0, 7},  {VT_CY, 0, 0, 5},
        {VT_DATE, 0, 0, 8},  {VT_BSTR, 0, 0, 12}, {VT_BSTR, 255, 0, 10}, {VT_BSTR, 256, 0, 12},
        {VT_BOOL, 0, 0, 1},  {ole_vt_bytes, 255, 0, 9}, {ole_vt_bytes, 0, 0, 11}, {VT_BLOB, 10, 8, 12},
    };
    for (const row& r : rows) {
        const t_ftd column(r.size, L"c", r.vt, false, false, ole_variant(), r.reserved, L"");
        EXPECT_EQ(dao_field::get_native_type(column), r.dao) << r.vt << "/" << r.size;
    }
    const t_ftd odd(0, L"c", VT_VARIANT, false, false, ole_variant(), 0, L"");
    EXPECT_THROW(dao_field::get_native_type(odd), ole_type_exception);
}

TEST(DaoViews, AccessSqlRewrittenTowardsMySql)
{
    const std::pair<std::wstring, std::wstring> rows[] = {
        {L"SELECT IIf(a<>b, Len(c), Nz(d,0)) FROM [t]![x]", L"SELECT if(a!=b, length(c), ifnull(d,0)) FROM [t].[x]"},
        {L"SELECT lenght FROM t", L"SELECT lenght FROM t"},
        {L"SELECT Len (x) FROM t", L"SELECT length (x) FROM t"},
        {L"SELECT x FROM t ORDER BY x ASC", L"SELECT x FROM t ORDER BY x ASC"},
        {L"SELECT Asc (c), Chr(9), [len], Len FROM t", L"SELECT ascii (c), char(9), [len], Len FROM t"},
        {L"SELECT a FROM t WHERE a ALike 'x%' AND Sqr(2) > 1", L"SELECT a FROM t WHERE a like 'x%' AND sqrt(2) > 1"},
        {L"a,ucase)", L"a,ucase)"},
        {L"SELECT UCase(n), Left$(n,2) FROM t", L"SELECT upper(n), left(n,2) FROM t"},
        {L"SELECT * FROM t WITH OWNERACCESS OPTIONWITH OWNERACCESS OPTION",
         L"SELECT * FROM t WITH OWNERACCESS OPTION"},
    };
    for (const auto& [from, to] : rows)
        EXPECT_EQ(dao_rewrite_view(from), to);
}

TEST(DaoViews, FindIgnoresCase)
{
    EXPECT_EQ(dao_find_nocase(L"abcABC", L"CA", 0), 2);
    EXPECT_EQ(dao_find_nocase(L"abcABC", L"abc", 1), 3);
    EXPECT_EQ(dao_find_nocase(L"abc", L"", 2), 2);
    EXPECT_EQ(dao_find_nocase(L"ab", L"abc", 0), -1);
    EXPECT_EQ(dao_find_nocase(L"abc", L"bc", 2), -1);
}

TEST(DaoForeignKeys, RowsOfOneNameMakeOneRelationship)
{
    udb_relationships out;
    dao_fk_rows rows(out);
    rows.add(L"rel1", L"a", L"child", L"parent", L"pa", 0x1100);
    rows.add(L"REL1", L"b", L"child", L"parent", L"pb", 0);
    rows.add(L"rel2", L"c", L"msysnavpanegroups", L"parent", L"pc", 0);
    rows.add(L"rel3", L"d", L"child", L"other", L"pd", 0x100);
    rows.finish();
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].fk_flds, (std::vector<std::wstring>{L"a", L"b"}));
    EXPECT_EQ(out[0].pk_flds, (std::vector<std::wstring>{L"pa", L"pb"}));
    EXPECT_EQ(out[0].properties, L" ON DELETE CASCADE ON UPDATE CASCADE");
    EXPECT_EQ(out[0].name, L"FK_parent_child");
    EXPECT_EQ(out[1].parent_table, L"other");
    EXPECT_EQ(out[1].properties, L" ON UPDATE CASCADE");
}

TEST(DaoDatabaseNames, UniqueIndexNameFitsSixtyFourCharacters)
{
    const std::wstring name = dao_database::gen_ui_name(std::wstring(60, L'n'));
    ASSERT_EQ(name.size(), 64u);
    EXPECT_EQ(name.substr(0, 52), L"ui_" + std::wstring(49, L'n'));
    EXPECT_EQ(name.find_first_not_of(L"0123456789", 52), std::wstring::npos);
    EXPECT_EQ(dao_database::gen_ui_name(L"t").size(), 16u);
    EXPECT_TRUE(dao_database::is_system_table(L"MSYSNAVPANEGROUPTOOBJECTS"));
    EXPECT_FALSE(dao_database::is_system_table(L"MSysObjects"));
}

} // namespace
