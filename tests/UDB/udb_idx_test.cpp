#include "UDB/udb_idx.hpp"
#include "UDB/udb_rel.hpp"

#include "TK/tk_excep.hpp"

#include <gtest/gtest.h>

namespace {

enum kind { plain, unique, constraint, primary };

udb_index make_index(const std::wstring& name, kind k, std::vector<std::wstring> fields = {L"a"})
{
    udb_index index;
    index.name = name;
    index.unique = k == unique || k == primary;
    index.unique_constraint = k == constraint;
    index.primary = k == primary;
    index.fields = std::move(fields);
    return index;
}

struct merge_case {
    kind existing;
    kind added;
    bool replaced;  // the entry became the added index
};

void PrintTo(const merge_case& c, std::ostream* os)
{
    static const char* const names[] = {"plain", "unique", "constraint", "primary"};
    *os << names[c.existing] << " then " << names[c.added];
}

class index_merge : public testing::TestWithParam<merge_case> {};

TEST_P(index_merge, same_name_merges_in_place_by_kind)
{
    const merge_case c = GetParam();
    udb_indexes list;
    list.push_back(make_index(L"first", plain));
    list.push_back(make_index(L"IX", c.existing, {L"old"}));
    list.push_back(make_index(L"last", plain));

    list.push_back(make_index(L"ix", c.added, {L"new"}));

    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].name, L"first");
    EXPECT_EQ(list[2].name, L"last");
    EXPECT_EQ(list[1].fields[0], c.replaced ? L"new" : L"old");
    EXPECT_EQ(list[1].name, c.replaced ? L"ix" : L"IX");
}

INSTANTIATE_TEST_SUITE_P(cases, index_merge,
                         testing::Values(merge_case{primary, primary, false}, merge_case{primary, plain, false},
                                         merge_case{plain, primary, true}, merge_case{unique, primary, true},
                                         merge_case{constraint, primary, true},
                                         merge_case{constraint, unique, false},
                                         merge_case{constraint, constraint, false},
                                         merge_case{plain, constraint, true}, merge_case{unique, constraint, true},
                                         merge_case{unique, unique, false}, merge_case{unique, plain, false},
                                         merge_case{plain, unique, true}, merge_case{plain, plain, false}));

TEST(udb_indexes, new_names_are_appended_in_order)
{
    udb_indexes list;
    list.push_back(make_index(L"b", plain));
    list.push_back(make_index(L"a", primary));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[0].name, L"b");
    EXPECT_TRUE(list[1].primary);
    EXPECT_TRUE(list.find2(L"A"));
    EXPECT_FALSE(list.is_acceptable_name(L"B"));
    EXPECT_TRUE(list.is_acceptable_name(L"c"));
    EXPECT_EQ(&list.get_index(L"B"), &list[0]);
}

TEST(udb_indexes, get_index_of_a_missing_name_is_an_internal_error)
{
    udb_indexes list;
    try {
        list.get_index(L"none");
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 2);
    }
}

TEST(udb_index, starts_with_fields)
{
    const udb_index index = make_index(L"i", plain, {L"Alpha", L"Beta"});
    EXPECT_TRUE(index.starts_with_fields({}));
    EXPECT_TRUE(index.starts_with_fields({L"alpha"}));
    EXPECT_TRUE(index.starts_with_fields({L"ALPHA", L"beta"}));
    EXPECT_FALSE(index.starts_with_fields({L"beta"}));
    EXPECT_FALSE(index.starts_with_fields({L"alpha", L"beta", L"gamma"}));
}

TEST(udb_indexes, has_index_on_fields_looks_at_the_first_covering_index_only)
{
    udb_indexes list;
    list.push_back(make_index(L"plain", plain, {L"a", L"b"}));
    list.push_back(make_index(L"uniq", unique, {L"a"}));
    EXPECT_TRUE(list.has_index_on_fields({L"a"}, false));
    EXPECT_FALSE(list.has_index_on_fields({L"a"}, true));
    EXPECT_FALSE(list.has_index_on_fields({L"c"}, false));
    EXPECT_FALSE(udb_indexes().has_index_on_fields({}, false));
}

TEST(udb_indexes, is_idx_field_matches_exactly)
{
    udb_indexes list;
    list.push_back(make_index(L"pk", primary, {L"Id"}));
    list.push_back(make_index(L"ix", plain, {L"Name"}));
    EXPECT_TRUE(list.is_idx_field(L"Id", true));
    EXPECT_FALSE(list.is_idx_field(L"id", false));
    EXPECT_TRUE(list.is_idx_field(L"Name", false));
    EXPECT_FALSE(list.is_idx_field(L"Name", true));
}

TEST(udb_relationship, generated_name_joins_parent_and_child_with_blanks_made_underscores)
{
    const udb_relationship r(L"order lines", L"my orders", {L"order id"}, {L"id"}, L" ON DELETE CASCADE");
    EXPECT_EQ(r.name, L"FK_my_orders_order_lines");
    EXPECT_EQ(r.child_table, L"order lines");
    EXPECT_EQ(r.parent_table, L"my orders");
    EXPECT_TRUE(r.name2.empty());
    const udb_relationship copy(r);
    EXPECT_EQ(copy.fk_flds, r.fk_flds);
    EXPECT_EQ(copy.properties, L" ON DELETE CASCADE");
}

TEST(udb_relationships, gen_relship_name_grows_through_the_suffix_cycle)
{
    const udb_relationship wanted(L"fk", L"", L"c t", L"p", {}, {}, L"");
    udb_relationships list;
    const std::wstring expected[] = {L"FK_p_c t", L"FK_p_c t_", L"FK_p_c t_1", L"FK_p_c t_1_", L"FK_p_c t_1_2",
                                     L"FK_p_c t_1_2_", L"FK_p_c t_1_2_3", L"FK_p_c t_1_2_3_", L"FK_p_c t_1_2_3_1"};
    for (const std::wstring& name : expected) {
        const std::wstring generated = list.gen_relship_name(wanted);
        EXPECT_EQ(generated, name);
        // Taken in another case: the comparison ignores case.
        std::wstring upper = generated;
        for (wchar_t& c : upper)
            c = static_cast<wchar_t>(towupper(c));
        list.push_back(udb_relationship(upper, L"", L"c t", L"p", {}, {}, L""));
    }
}

} // namespace
