// Names and values written to an Access database: the column and index name
// validators (acceptance, safe names, the names already in the table) and the
// integer values turned into types DAO stores.
#include "DAO/dao_vali.hpp"
#include "DAO/dao_vvar.hpp"

#include "UDB/udb_fld.hpp"
#include "UDB/udb_idx.hpp"
#include "UDB/udb_sch.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <memory>
#include <string>

namespace {

enum class kind { any, column, index };

std::unique_ptr<dao_validator> make(kind k)
{
    switch (k) {
    case kind::column: return std::make_unique<dao_fn_validator>(udb_schema());
    case kind::index: return std::make_unique<dao_in_validator>(udb_indexes());
    default: return std::make_unique<dao_validator>();
    }
}

struct name_case {
    kind k;
    std::wstring name;
    bool accepted;
    std::wstring safe;
};

TEST(DaoValidators, KindAndName)
{
    const std::wstring long_name(300, L'n');
    const name_case cases[] = {
        {kind::any, L"", false, L"00000"},
        {kind::any, L" a", false, L"a"},
        {kind::any, L"a ", false, L"a"},
        {kind::any, L"   ", false, L"00000"},
        {kind::any, L"a b", true, L"a b"},
        {kind::any, L"Mixed Case", true, L"mixed case"},
        {kind::any, long_name, true, long_name},
        {kind::any, L"\u00c9t\u00e9", true, L"\u00c9t\u00e9"},  // only A to Z are lower-cased
        {kind::any, L"[Sales] 2024", false, L"sales 2024"},
        {kind::any, L"[ padded ]", false, L"padded"},
        {kind::any, L"[]", false, L"00000"},
        {kind::any, L"a.b!c", false, L"a_b_c"},
        {kind::any, L"a`b/c'd", false, L"a_b_c_d"},
        {kind::any, L"ix:1", true, L"ix:1"},
        {kind::column, L"a.b!c", false, L"a_b_c"},
        {kind::column, L"ix:1", true, L"ix:1"},
        {kind::index, L"ix:1", false, L"ix_1"},
        {kind::index, L"[PK].a:b", false, L"pk_a_b"},
        {kind::index, L" ix", false, L"ix"},
    };
    for (const name_case& c : cases) {
        const auto v = make(c.k);
        const std::wstring safe = v->get_safe_name(c.name);
        EXPECT_EQ(v->is_acceptable(c.name), c.accepted) << int(c.k) << ' ' << testing::PrintToString(c.name);
        EXPECT_EQ(safe, c.safe) << int(c.k) << ' ' << testing::PrintToString(c.name);
        EXPECT_TRUE(v->is_acceptable(safe)) << testing::PrintToString(safe);
    }
}

// The names already in the table are taken: a safe name never repeats one,
// in whatever case, and the safe name handed out is not taken by itself.
TEST(DaoValidators, ColumnsOfTheSourceSchemaAreTaken)
{
    udb_schema schema;
    for (const wchar_t* name : {L"ID", L"Name", L"id00000"})
        schema.push_back(std::make_shared<t_ftd>(10, name, VT_I4, false, false, ole_variant(), 0, L""));
    dao_fn_validator v(schema);

    EXPECT_TRUE(v.is_acceptable(L"id"));
    EXPECT_TRUE(v.is_duplicated(L"id"));
    EXPECT_EQ(v.get_safe_name(L"id"), L"id00001");
    EXPECT_EQ(v.get_safe_name(L"[ID]"), L"id00001");
    EXPECT_EQ(v.get_safe_name(L"NAME"), L"name00000");
    EXPECT_EQ(v.get_safe_name(L"Other"), L"other");
    EXPECT_EQ(v.existing_names.size(), 3u);

    v.add_existing_name(L"name00000");
    EXPECT_EQ(v.get_safe_name(L"name"), L"name00001");
}

TEST(DaoValidators, IndexesOfTheSourceAreTaken)
{
    udb_indexes indexes;
    for (const wchar_t* name : {L"PrimaryKey", L"ix_1"}) {
        udb_index index;
        index.name = name;
        indexes.push_back(index);
    }
    dao_in_validator v(indexes);

    EXPECT_FALSE(v.is_acceptable(L"ix:1"));
    EXPECT_EQ(v.get_safe_name(L"ix:1"), L"ix_100000");
    EXPECT_EQ(v.get_safe_name(L"primarykey"), L"primarykey00000");
    EXPECT_EQ(v.get_safe_name(L"by:date"), L"by_date");
    // The eighth character belongs to index validators alone.
    EXPECT_EQ(v.illegal_chars.size(), 8u);
    EXPECT_EQ(dao_validator().illegal_chars.size(), 7u);
}

struct value_case {
    const char* what;
    ole_variant value;
    VARTYPE type;
    double number;
};

TEST(DaoValidVariant, IntegersDaoCannotStoreWiden)
{
    constexpr int64_t i8_min = std::numeric_limits<int64_t>::min();
    constexpr uint64_t ui8_max = std::numeric_limits<uint64_t>::max();
    const value_case cases[] = {
        {"VT_UI2 max", ole_variant(static_cast<unsigned short>(65535)), VT_I4, 65535},
        {"VT_UI2 0", ole_variant(static_cast<unsigned short>(0)), VT_I4, 0},
        {"VT_I1 -5", ole_variant(static_cast<signed char>(-5)), VT_I2, -5},
        {"VT_I1 min", ole_variant(static_cast<signed char>(-128)), VT_I2, -128},
        {"VT_UI4 max", ole_variant(4294967295u), VT_R8, 4294967295.0},
        {"VT_I8 -1", ole_variant(-1LL), VT_R8, -1},
        {"VT_I8 min", ole_variant(static_cast<long long>(i8_min)), VT_R8, static_cast<double>(i8_min)},
        {"VT_UI8 above the signed range", ole_variant(static_cast<unsigned long long>(ui8_max)), VT_R8,
         static_cast<double>(ui8_max)},
        {"VT_UI8 2^53 + 1 keeps a double's precision", ole_variant(9007199254740993ULL), VT_R8,
         9007199254740992.0},
    };
    for (const value_case& c : cases) {
        const VARTYPE before = c.value.get_type();
        const ole_variant result = dao_get_valid_variant(c.value);
        EXPECT_EQ(result.get_type(), c.type) << c.what;
        EXPECT_EQ(result.to_double(), c.number) << c.what;
        EXPECT_EQ(c.value.get_type(), before) << c.what << ": the argument is left alone";
    }
}

TEST(DaoValidVariant, OtherValuesComeBackAsTheyAre)
{
    const value_case cases[] = {
        {"VT_I4", ole_variant(7), VT_I4, 7},
        {"VT_I2", ole_variant(static_cast<short>(-7)), VT_I2, -7},
        {"VT_UI1", ole_variant(static_cast<unsigned char>(200)), VT_UI1, 200},
        {"VT_R8", ole_variant(1.5), VT_R8, 1.5},
        {"VT_BOOL", ole_variant(true), VT_BOOL, 1},
    };
    for (const value_case& c : cases) {
        const ole_variant result = dao_get_valid_variant(c.value);
        EXPECT_EQ(result.get_type(), c.type) << c.what;
        EXPECT_EQ(result.to_double(), c.number) << c.what;
    }
    EXPECT_EQ(dao_get_valid_variant(ole_variant(L"12abc")).to_wstring(), L"12abc");
    EXPECT_EQ(dao_get_valid_variant(ole_variant()).get_type(), VT_EMPTY);
}

// Records hand their fields over as values.
TEST(DaoValidVariant, FieldsAreValues)
{
    const udb_field field(L"qty", 0, ole_variant(static_cast<unsigned short>(40000)), true, false);
    const ole_variant result = dao_get_valid_variant(field);
    EXPECT_EQ(result.get_type(), VT_I4);
    EXPECT_EQ(result.to_long(), 40000);
    EXPECT_EQ(field.get_type(), VT_UI2);
}

} // namespace
