#include "UDB/udb_rec.hpp"
#include "UDB/udb_sch.hpp"

#include "TK/tk_excep.hpp"
#include "TK/tk_log.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::unique_ptr<udb_field> make_field(const std::wstring& name, const ole_variant& value, uint32_t size = 0)
{
    return std::make_unique<udb_field>(name, size, value, false, false);
}

TEST(udb_record, without_fields_it_is_empty)
{
    udb_record record;
    EXPECT_TRUE(record.is_empty());
    EXPECT_EQ(record.get_total_size(), 0);
    EXPECT_FALSE(record.find_field(L"a"));
}

struct emptiness_case {
    const char* what;
    ole_variant value;
    bool empty;
};

void PrintTo(const emptiness_case& c, std::ostream* os) { *os << c.what; }

class record_emptiness : public testing::TestWithParam<emptiness_case> {};

TEST_P(record_emptiness, table)
{
    udb_record record;
    record.push_back(make_field(L"a", ole_variant()));
    record.push_back(make_field(L"b", GetParam().value));
    EXPECT_EQ(record.is_empty(), GetParam().empty);
}

INSTANTIATE_TEST_SUITE_P(cases, record_emptiness,
                         testing::Values(emptiness_case{"empty text", ole_variant(L""), true},
                                         emptiness_case{"text", ole_variant(L" "), false},
                                         emptiness_case{"number zero", ole_variant(0), false},
                                         emptiness_case{"false", ole_variant(false), false}));

TEST(udb_record, a_null_value_is_empty_and_a_null_slot_is_an_internal_error)
{
    udb_record record;
    // A VT_NULL value: the text form of a null is never looked at.
    struct null_field : udb_field {
        VARTYPE get_type() const override { return VT_NULL; }
        std::string to_string() const override { return "not looked at"; }
    };
    record.push_back(std::make_unique<null_field>());
    EXPECT_TRUE(record.is_empty());
    record.push_back(nullptr);
    EXPECT_THROW(record.is_empty(), tk_mail_assertion);
    EXPECT_EQ(record.get_total_size(), 0);
}

TEST(udb_record, total_size_counts_arrays_texts_and_declared_sizes)
{
    udb_record record;
    record.push_back(make_field(L"bytes", ole_variant(std::vector<unsigned char>{1, 2, 3}), 100));
    record.push_back(make_field(L"text", ole_variant(L"hello"), 255));
    record.push_back(make_field(L"int", ole_variant(7), 4));
    record.push_back(make_field(L"none", ole_variant(), 50));
    record.push_back(nullptr);
    EXPECT_EQ(record.get_total_size(), 3 + 5 + 4);
}

// The size of each field is traced at level 1, and only then.
TEST(udb_record, total_size_traces_each_field_at_level_1)
{
    udb_record record;
    record.push_back(make_field(L"a", ole_variant(L"xy"), 255));
    record.push_back(make_field(L"b", ole_variant(7), 4));
    test_dir dir;
    for (const int level : {1, 2}) {
        const std::string file = dir.file("trace" + std::to_string(level) + ".log");
        {
            tk_logger logger(file.c_str(), true, level, false);
            EXPECT_EQ(record.get_total_size(), 2 + 4);
        }
        const std::string text = std::filesystem::exists(file) ? test_dir::read(file) : std::string();
        EXPECT_EQ(text.find("processed field 1 of 2") != std::string::npos, level == 1) << text;
        EXPECT_EQ(text.find("size=6") != std::string::npos, level == 1) << text;
    }
}

TEST(udb_record, look_ups_ignore_case_and_a_missing_name_reads_as_an_empty_field)
{
    udb_record record;
    record.push_back(make_field(L"Name", ole_variant(L"first")));
    record.push_back(make_field(L"NAME", ole_variant(L"second")));
    EXPECT_TRUE(record.find_field(L"name"));
    EXPECT_EQ(record.get_field(L"nAmE").to_wstring(), L"first");

    const udb_field& missing = record.get_field(L"other");
    EXPECT_TRUE(missing.name.empty());
    EXPECT_EQ(missing.get_type(), VT_EMPTY);
    EXPECT_EQ(missing.get_size(), 0u);
    EXPECT_FALSE(record.find_field(L"other"));
}

TEST(udb_record, moving_hands_the_fields_over_and_reset_deletes_them)
{
    udb_record record;
    record.push_back(make_field(L"a", ole_variant(1)));
    const udb_field* field = record[0].get();
    udb_record moved(std::move(record));
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].get(), field);
    moved.reset();
    EXPECT_TRUE(moved.empty());
}

TEST(udb_field, copy_and_size)
{
    const udb_field field(L"col", 40, ole_variant(L"abc"), true, true);
    const udb_field copy(field);
    EXPECT_EQ(copy.name, L"col");
    EXPECT_EQ(copy.size, 40u);
    EXPECT_TRUE(copy.not_null);
    EXPECT_TRUE(copy.auto_increment);
    EXPECT_EQ(copy.to_wstring(), L"abc");
    EXPECT_EQ(copy.get_size(), 3u);
}

std::shared_ptr<t_ftd> make_column(const std::wstring& name, uint32_t size, VARTYPE vt)
{
    return std::make_shared<t_ftd>(size, name, vt, false, false, ole_variant(), 0, std::wstring());
}

TEST(udb_schema, copies_share_their_descriptors)
{
    udb_schema schema;
    schema.push_back(make_column(L"Id", 4, VT_I4));
    {
        udb_schema copy(schema);
        copy.get_field2(L"id")->size = 8;
        copy.push_back(make_column(L"extra", 1, VT_BSTR));
    }
    ASSERT_EQ(schema.size(), 1u);
    EXPECT_EQ(schema.get_field1(L"ID").size, 8u);
    EXPECT_EQ(schema.get_field1(L"ID").name, L"Id");
}

TEST(udb_schema, look_ups_of_present_and_missing_names)
{
    udb_schema schema;
    schema.push_back(nullptr);
    schema.push_back(make_column(L"Text", 255, VT_BSTR));
    EXPECT_TRUE(schema.find_field(L"TEXT"));
    EXPECT_EQ(schema.get_field_size(L"text"), 255u);
    EXPECT_EQ(schema.get_field_type(L"text"), VT_BSTR);

    EXPECT_FALSE(schema.find_field(L"none"));
    EXPECT_EQ(schema.get_field_size(L"none"), 0xFFFFFFFFu);
    EXPECT_EQ(schema.get_field_type(L"none"), VT_NULL);
    const t_ftd& missing = schema.get_field1(L"none");
    EXPECT_TRUE(missing.name.empty());
    EXPECT_EQ(missing.vartype, VT_EMPTY);
    EXPECT_EQ(missing.size, 0u);

    // The missing descriptor handed out for writing is a fresh one each time.
    auto fresh = schema.get_field2(L"none");
    fresh->name = L"scribbled";
    EXPECT_TRUE(schema.get_field2(L"none")->name.empty());
    EXPECT_TRUE(schema.get_field1(L"none").name.empty());
    EXPECT_FALSE(schema.find_field(L"scribbled"));
}

TEST(t_ftd, from_a_field)
{
    const udb_field field(L"amount", 8, ole_variant(2.5), true, false);
    const t_ftd column(field, ole_variant(0), 9);
    EXPECT_EQ(column.name, L"amount");
    EXPECT_EQ(column.size, 8u);
    EXPECT_EQ(column.vartype, VT_R8);
    EXPECT_TRUE(column.b_not_null);
    EXPECT_FALSE(column.b_auto_increment);
    EXPECT_EQ(column.reserved, 9u);
    EXPECT_EQ(column.precision, 0u);
    EXPECT_EQ(column.scale, 0u);
    EXPECT_EQ(column.default_value.get_type(), VT_I4);
    EXPECT_TRUE(column.native_type.empty());
    EXPECT_TRUE(column.description.empty());
}

} // namespace
