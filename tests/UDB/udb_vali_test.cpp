#include "UDB/udb_vali.hpp"

#include "TK/tk_excep.hpp"

#include <gtest/gtest.h>

namespace {

struct safe_name_case {
    const char* what;
    uint32_t max_length;
    std::vector<std::wstring> taken;
    std::wstring name;
    std::wstring expected;
};

void PrintTo(const safe_name_case& c, std::ostream* os) { *os << c.what; }

class safe_name : public testing::TestWithParam<safe_name_case> {};

TEST_P(safe_name, table)
{
    const safe_name_case& c = GetParam();
    udb_validator validator(c.max_length);
    validator.illegal_chars = {L' ', L'.'};
    validator.restricted_names = {L"select"};
    for (const auto& name : c.taken)
        validator.add_existing_name(name);
    EXPECT_EQ(validator.get_safe_name(c.name), c.expected) << c.what;
}

const std::wstring name70 = std::wstring(35, L'A') + std::wstring(35, L'b');
const std::wstring lower63 = std::wstring(35, L'a') + std::wstring(28, L'b');
const std::wstring lower58 = std::wstring(35, L'a') + std::wstring(23, L'b');

INSTANTIATE_TEST_SUITE_P(
    cases, safe_name,
    testing::Values(
        safe_name_case{"free name only lower-cased", 64, {}, L"MyName", L"myname"},
        safe_name_case{"illegal characters become _", 0, {}, L"a b.c", L"a_b_c"},
        safe_name_case{"too long: cut to max_length - 1", 64, {}, name70, lower63},
        safe_name_case{"cut and taken: 58 characters and counter", 64, {lower63}, name70, lower58 + L"00000"},
        safe_name_case{"counter goes on", 64, {lower63, lower58 + L"00000"}, name70, lower58 + L"00001"},
        safe_name_case{"taken in another case", 0, {L"NAME"}, L"name", L"name00000"},
        safe_name_case{"taken with other accents", 0, {L"\u00fd", L"R\u00c9SUM\u00c9"}, L"\u00ff", L"\u00ff00000"},
        safe_name_case{"taken with accents, another case", 0, {L"R\u00c9SUM\u00c9"}, L"resume", L"resume00000"},
        safe_name_case{"restricted word gets a counter", 0, {}, L"SELECT", L"select00000"},
        safe_name_case{"limit 7 keeps a short base", 7, {L"ab"}, L"ab", L"ab00000"},
        safe_name_case{"limit 6: counter alone", 6, {L"ab"}, L"ab", L"00000"},
        safe_name_case{"limit 6, long name", 6, {L"abcde"}, L"abcdefgh", L"00000"},
        safe_name_case{"limit 5: counter alone", 5, {L"abcd"}, L"abcdefgh", L"00000"},
        safe_name_case{"limit 1", 1, {}, L"xyz", L""}));

TEST(udb_validator, limits_too_short_for_the_counter_fail_at_once)
{
    for (uint32_t limit : {1u, 2u, 4u}) {
        udb_validator validator(limit);
        validator.add_existing_name(L"a");
        try {
            validator.get_safe_name(L"a");
            FAIL() << limit;
        } catch (const tk_exception& e) {
            EXPECT_EQ(e.get_level(), 2);
        }
    }
}

TEST(udb_validator, all_counters_taken_is_an_internal_error)
{
    // A derived validator that refuses everything leaves no free name.
    struct refuse_all : udb_validator {
        refuse_all() : udb_validator(0) {}
        bool is_acceptable(const std::wstring&) const override { return false; }
    } validator;
    EXPECT_THROW(validator.get_safe_name(L"x"), tk_mail_assertion);
}

TEST(udb_validator, is_acceptable_checks_length_reserved_words_and_characters)
{
    udb_validator validator(8);
    validator.restricted_names = {L"Table"};
    validator.illegal_chars = {L'/', L'\\'};
    EXPECT_TRUE(validator.is_acceptable(L"12345678"));
    EXPECT_FALSE(validator.is_acceptable(L"123456789"));
    EXPECT_FALSE(validator.is_acceptable(L"TABLE"));
    EXPECT_FALSE(validator.is_acceptable(L"a\\b"));
    validator.add_existing_name(L"taken");
    EXPECT_TRUE(validator.is_acceptable(L"TAKEN"));
    EXPECT_TRUE(validator.is_duplicated(L"TAKEN"));
    EXPECT_FALSE(validator.is_duplicated(L"free"));
}

TEST(udb_validator, mapped_pairs_keep_the_first_pair_of_a_name)
{
    udb_validator validator(0);
    validator.add_mapped_pair(L"Src", L"one");
    validator.add_mapped_pair(L"Src", L"two");
    EXPECT_EQ(validator.mapped_pairs.get_mapped_name(L"SRC"), L"one");
    EXPECT_EQ(validator.mapped_pairs.get_mapped_name(L"other"), L"other");
}

} // namespace
