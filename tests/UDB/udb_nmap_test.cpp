#include "UDB/udb_nmap.hpp"

#include <gtest/gtest.h>

namespace {

struct replace_case {
    const char* what;
    t_names_map pairs;
    std::wstring prefix;
    std::wstring suffix;
    std::wstring text;
    std::wstring expected;
};

void PrintTo(const replace_case& c, std::ostream* os) { *os << c.what; }

class global_replace : public testing::TestWithParam<replace_case> {};

TEST_P(global_replace, table)
{
    const replace_case& c = GetParam();
    EXPECT_EQ(udb_names_map::do_global_replace2(c.text, c.pairs, c.prefix, c.suffix), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    cases, global_replace,
    testing::Values(
        replace_case{"whole word in another case", {{L"name", L"nm"}}, L"", L"", L"select NAME from t", L"select nm from t"},
        replace_case{"letter or digit next to it", {{L"name", L"nm"}}, L"", L"", L"name1 xname name", L"name1 xname nm"},
        replace_case{"_ and $ continue a word", {{L"id", L"key"}}, L"", L"", L"my_id id$ $id id_x (id)", L"my_id id$ $id id_x (key)"},
        replace_case{"replacement not searched again", {{L"a", L"a a"}}, L"", L"", L"a+a", L"a a+a a"},
        replace_case{"no chain through a later pair", {{L"a", L"b"}, {L"b", L"c"}}, L"", L"", L"a b", L"b c"},
        replace_case{"empty name is skipped", {{L"", L"x"}, {L"t", L"u"}}, L"", L"", L"t.t", L"u.u"},
        replace_case{"prefix and suffix added", {{L"t", L"u"}}, L"`", L"`", L"t.x", L"`u`.x"},
        replace_case{"prefix and suffix not doubled", {{L"t", L"`u`"}}, L"`", L"`", L"t", L"`u`"},
        replace_case{"only the prefix missing", {{L"t", L"u]"}}, L"[", L"]", L"t", L"[u]"},
        replace_case{"longest name wins", {{L"my", L"X"}, {L"my table", L"Y"}}, L"", L"", L"my table, my", L"Y, X"},
        replace_case{"non-ASCII letters are word characters", {{L"n", L"m"}}, L"", L"", L"\u00e9n n", L"\u00e9n m"},
        replace_case{"empty text", {{L"a", L"b"}}, L"", L"", L"", L""}));

udb_names_map sample_map()
{
    udb_names_map map;
    map.add_tn_mapping(L"Sheet1$", L"sheet1");
    map.add_tn_mapping(L"Orders", L"orders_1");
    map.add_fn_map(L"orders_1", t_names_map{{L"Order ID", L"order_id"}, {L"Total", L"total"}});
    return map;
}

enum lookup { table_name, field_name, original_name };

struct lookup_case {
    lookup kind;
    std::wstring table;  // unused for table names
    std::wstring name;
    bool case_sensitive;
    std::wstring expected;
};

void PrintTo(const lookup_case& c, std::ostream* os)
{
    static const char* const kinds[] = {"table", "field", "original"};
    *os << kinds[c.kind] << " " << testing::PrintToString(c.table + L"." + c.name) << (c.case_sensitive ? " exact" : "");
}

class names_lookup : public testing::TestWithParam<lookup_case> {};

TEST_P(names_lookup, table)
{
    const udb_names_map map = sample_map();
    const lookup_case& c = GetParam();
    switch (c.kind) {
    case table_name:
        EXPECT_EQ(map.get_tn_mapped_name(c.name, c.case_sensitive), c.expected);
        break;
    case field_name:
        EXPECT_EQ(map.get_fn_mapped_name(c.table, c.name, c.case_sensitive), c.expected);
        break;
    case original_name:
        EXPECT_EQ(map.get_fn_orig_name(c.table, c.name, c.case_sensitive), c.expected);
        break;
    }
}

INSTANTIATE_TEST_SUITE_P(
    cases, names_lookup,
    testing::Values(lookup_case{table_name, L"", L"ORDERS", false, L"orders_1"},
                    lookup_case{table_name, L"", L"ORDERS", true, L"ORDERS"},
                    lookup_case{table_name, L"", L"Orders", true, L"orders_1"},
                    lookup_case{table_name, L"", L"none", false, L"none"},
                    lookup_case{field_name, L"orders_1", L"order id", false, L"order_id"},
                    lookup_case{field_name, L"orders_1", L"order id", true, L"order id"},
                    lookup_case{field_name, L"ORDERS_1", L"Order ID", false, L"Order ID"},
                    lookup_case{field_name, L"orders_1", L"other", false, L"other"},
                    lookup_case{original_name, L"orders_1", L"TOTAL", false, L"Total"},
                    lookup_case{original_name, L"orders_1", L"TOTAL", true, L"TOTAL"},
                    lookup_case{original_name, L"Orders_1", L"total", false, L"total"}));

TEST(udb_names_map, global_replace1_uses_tables_then_fields_in_one_pass)
{
    udb_names_map map = sample_map();
    // A field mapped to a name that is itself a source table: not rewritten twice.
    map.add_fn_map(L"zz", t_names_map{{L"Qty", L"Orders"}});
    EXPECT_EQ(map.do_global_replace1(L"SELECT [Order ID], Total, Qty FROM Orders", L"`", L"`"),
              L"SELECT [`order_id`], `total`, `Orders` FROM `orders_1`");
}

TEST(udb_names_map, pairs_are_kept_not_replaced)
{
    udb_names_map map;
    map.add_tn_mapping(L"a", L"one");
    map.add_tn_mapping(L"a", L"two");
    EXPECT_EQ(map.get_tn_mapped_name(L"a", true), L"one");
}

} // namespace

// The one quoting of identifiers: the whole name, whatever it holds, stays
// one identifier that MySQL can store.
TEST(Backquoted, WhatNoIdentifierHoldsIsReplacedAndNothingIsCut)
{
    const struct {
        std::wstring name;
        std::wstring expected;
    } cases[] = {
        {L"plain", L"`plain`"},
        {L"a`b", L"`a``b`"},
        {std::wstring(L"a\0b`; DROP DATABASE v; #", 24), L"`a_b``; DROP DATABASE v; #`"},
        {L"line\r\nbreak\ttab\x1b", L"`line__break_tab_`"},
        {L"c1\x85\x9f\x7f", L"`c1___`"},
        {L"trailing  ", L"`trailing__`"},
        {L" inner space", L"` inner space`"},
        {L"\u00e9\u4e2d\uffff", L"`\u00e9\u4e2d\uffff`"},
        {L"emoji\U0001F600", L"`emoji_`"},
        {std::wstring(1, static_cast<wchar_t>(0xD800)), L"`_`"},
        {L"", L"``"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(udb_backquoted(c.name), c.expected);
        EXPECT_EQ(udb_identifier_text(c.name).size(), c.name.size());
    }
}
