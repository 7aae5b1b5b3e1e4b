// Type statistics: which values let a column take a stricter type, and which
// keep it a text because the stricter type would change them.
#include "common/type_map.hpp"

#include "platform/text/pl_utf8.hpp"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

udb_schema text_schema(size_t columns, VARTYPE vt = VT_BSTR)
{
    udb_schema schema;
    for (size_t i = 0; i < columns; ++i)
        schema.push_back(std::make_shared<t_ftd>(255, L"c" + std::to_wstring(i), vt, false, false, ole_variant(), 0,
                                                 std::wstring()));
    return schema;
}

// One record of one column; a null text stands for a field without a value.
udb_record one_value(const wchar_t* text)
{
    udb_record record;
    record.push_back(std::make_unique<udb_field>(L"c0", 255, text ? ole_variant(text) : ole_variant(), false, false));
    return record;
}

template <class M>
int32_t state_after(const std::vector<const wchar_t*>& values)
{
    const udb_schema schema = text_schema(1);
    M map = [&] {
        if constexpr (std::is_same_v<M, dates_map>)
            return M(L"t", schema, false);
        else
            return M(L"t", schema);
    }();
    for (const wchar_t* v : values)
        map.add_rec_stat(one_value(v));
    return map.get_entries()[0].state;
}

} // namespace

TEST(NumMap, ClassifiesSingleValues)
{
    struct row {
        const char* text;
        bool is_int, is_i8, is_double;
    };
    const row rows[] = {
        {"0", true, false, false},           {"1", true, false, false},
        {"-17", true, false, false},         {"2147483647", true, false, false},
        {"-2147483648", true, false, false}, {"2147483648", false, true, false},
        {"-2147483649", false, true, false}, {"9223372036854775807", false, true, false},
        {"9223372036854775808", false, false, false},
        // A leading zero, a sign of its own or "-0" would not read back the same.
        {"01", false, false, false},         {"007", false, false, false},
        {"+1", false, false, false},         {"-0", false, false, false},
        {"", false, false, false},           {" 1", false, false, false},
        {"1 ", false, false, false},         {"555-1234", false, false, false},
        {"1,5", false, false, false},        {"1..2", false, false, false},
        {"1.5", false, false, true},         {"-0.5", false, false, true},
        {"0.0001", false, false, true},
        // Exponent forms, a bare leading point and the smallest decimals are
        // numbers a DOUBLE holds; beyond its range, or malformed, they are not.
        {"1e5", false, false, true},         {"-2.5E-3", false, false, true},
        {"1.23E-05", false, false, true},    {"1E+300", false, false, true},
        {".3134754", false, false, true},    {"-.5", false, false, true},
        {"0.00001", false, false, true},     {"0.00001234", false, false, true},
        {"0e0", false, false, true},
        {"1e400", false, false, false},      {"1e-400", false, false, false},
        {"1e5e3", false, false, false},      {"1e", false, false, false},
        {"e5", false, false, false},         {".", false, false, false},
        {".e5", false, false, false},        {"01e5", false, false, false},
        {"1.e5", false, false, false},       {"+-1", false, false, false},
        {"1.23456789012345e-5", false, false, true},
        // Sixteen or seventeen digits count where they are the digits the
        // double reads back as (Python's and JavaScript's floats), never
        // where the double would change one.
        {"1.234567890123456e-5", false, false, true},
        {"0.30000000000000004", false, false, true},
        {"0.3333333333333333", false, false, true},
        {"-1.2345678901234567", false, false, true},
        {"2.2250738585072014e-308", false, false, true},
        {"1.7976931348623157e308", false, false, true},
        {"9007199254740992.0", false, false, true},
        {"0.10000000000000001", false, false, false},
        {"9007199254740993.0", false, false, false},
        {"12345678901234567.5", false, false, false},
        {"0.1000000000000000055511", false, false, false},
        // Zeros ending a fraction are no digits of the number.
        {"1.50", false, false, true},        {"19.0", false, false, true},
        {"0.00", false, false, true},        {"0.000100", false, false, true},
        {"12345678901234.50000", false, false, true},
        {"123456789012345.0", false, false, true},
        {"1234567890123456.0", false, false, true},
        {"1.", false, false, false},         {"00.5", false, false, false},
        {"12345678901234.5", false, false, true},
        {"123456789012345.5", false, false, true},
        {"1234567890123456.7", false, false, false},
    };
    for (const row& r : rows) {
        SCOPED_TRACE(r.text);
        EXPECT_EQ(num_map::is_int(r.text), r.is_int);
        EXPECT_EQ(num_map::is_i8(r.text), r.is_i8);
        EXPECT_EQ(num_map::is_double(r.text), r.is_double);
    }
    // Without an exponent too, a decimal below the double's normal numbers
    // is none, however few its digits.
    for (const auto& [zeros, is_double] : {std::pair{299, true}, std::pair{305, true}, std::pair{320, false}}) {
        SCOPED_TRACE(zeros);
        EXPECT_EQ(num_map::is_double("0." + std::string(size_t(zeros), '0') + "1"), is_double);
    }
}

TEST(NumMap, ColumnStateFollowsAllValues)
{
    using V = std::vector<const wchar_t*>;
    EXPECT_EQ(state_after<num_map>(V{L"1", L"22", L"333"}), num_map::is_integer);
    EXPECT_EQ(state_after<num_map>(V{L"1", L"22", L"3000000000"}), num_map::is_bigint);
    EXPECT_EQ(state_after<num_map>(V{L"1", L"3000000000", L"1.5"}), num_map::is_double_state);
    EXPECT_EQ(state_after<num_map>(V{L"1.5", L"2"}), num_map::is_double_state);
    EXPECT_EQ(state_after<num_map>(V{L"1", L"1.5", L"abc"}), num_map::not_numeric);
    EXPECT_EQ(state_after<num_map>(V{L"1", L"abc", L"2"}), num_map::not_numeric);
    // Missing values and empty texts say nothing: a number column takes them as NULL.
    EXPECT_EQ(state_after<num_map>(V{nullptr, L"5", nullptr}), num_map::is_integer);
    EXPECT_EQ(state_after<num_map>(V{L"5", L""}), num_map::is_integer);
    EXPECT_EQ(state_after<num_map>(V{L"", L"5", L"", L"1.5"}), num_map::is_double_state);
    // A DOUBLE would round a 64-bit integer of more than 15 digits.
    EXPECT_EQ(state_after<num_map>(V{L"9007199254740993", L"0.5"}), num_map::not_numeric);
    EXPECT_EQ(state_after<num_map>(V{L"0.5", L"9007199254740993"}), num_map::not_numeric);
    EXPECT_EQ(state_after<num_map>(V{L"900719925474099", L"0.5"}), num_map::is_double_state);
}

// A workbook's numbers arrive as doubles: they are judged by the number, not
// by a text form with an exponent or seventeen digits, so a DOUBLE column
// never becomes a text.
TEST(NumMap, ValuesHeldAsNumbersAreJudgedByTheirValue)
{
    const udb_schema schema = text_schema(1, VT_R8);
    const auto state_of = [&](const std::vector<double>& values) {
        num_map map(L"t", schema);
        for (double v : values) {
            udb_record record;
            record.push_back(std::make_unique<udb_field>(L"c0", 8, ole_variant(v), false, false));
            map.add_rec_stat(record);
        }
        return map.get_entries()[0].state;
    };
    EXPECT_EQ(state_of({1.0, 2.0, -3.0}), num_map::is_integer);
    EXPECT_EQ(state_of({1.0, 3e10}), num_map::is_bigint);
    EXPECT_EQ(state_of({1.0, 0.1 + 0.2}), num_map::is_double_state);
    EXPECT_EQ(state_of({1.5, 1e20, 1e-7}), num_map::is_double_state);
}

TEST(NumMap, DeclaredCodesComeFromTheColumnType)
{
    const VARTYPE types[] = {VT_BSTR, VT_I4, VT_R8, VT_R4, VT_I8, VT_DATE};
    const int32_t declared[] = {0, 3, 1, 1, 2, 0};
    for (size_t i = 0; i < std::size(types); ++i) {
        num_map map(L"t", text_schema(1, types[i]));
        EXPECT_EQ(map.get_entries()[0].declared, declared[i]) << i;
        EXPECT_FALSE(map.get_entries()[0].seen);
    }
}

TEST(DatesMap, DeclaredStatesFollowTheColumnsMysqlType)
{
    struct row {
        VARTYPE vt;
        uint32_t reserved;
        int32_t declared;
    };
    const row rows[] = {
        {VT_BSTR, 0, dates_map::no_date},    {VT_DATE, 0, dates_map::no_date},
        {VT_DATE, 1, dates_map::date_time},  {VT_DATE, 2, dates_map::date_only},
        {VT_DATE, 3, dates_map::time_only},  {VT_DATE, 9, dates_map::date_time},
        {VT_DATE, 10, dates_map::date_only}, {VT_DATE, 11, dates_map::time_only},
    };
    for (const row& r : rows) {
        const t_ftd column(8, L"c", r.vt, false, false, ole_variant(), r.reserved, std::wstring());
        EXPECT_EQ(dates_map::declared_state(column), r.declared) << r.vt << "/" << r.reserved;
    }
}

TEST(DatesMap, KindsOfTexts)
{
    struct row {
        const wchar_t* text;
        int32_t kind;
    };
    const row rows[] = {
        {L"2024-01-31", dates_map::date_only},
        {L"20240131", dates_map::date_only},
        {L"2024-02-29", dates_map::date_only},
        {L"2023-02-29", dates_map::no_date},
        {L"2024-13-01", dates_map::no_date},
        {L"0000-00-00", dates_map::no_date},
        // The narrow text of a time of day alone.
        {L"0000-00-00 12:00:00", dates_map::time_only},
        {L"0000-00-00 24:00:00", dates_map::no_date},
        {L"2024-01-31 23:59:59", dates_map::date_time},
        {L"20240131235959", dates_map::date_time},
        {L"2024-01-31 24:00:00", dates_map::no_date},
        {L"2024-01-31T10:00:00", dates_map::no_date},
        {L"15:15:00", dates_map::time_only},
        // Elapsed times a TIME holds, up to 838 hours.
        {L"36:00:00", dates_map::time_only},
        {L"838:59:59", dates_map::time_only},
        {L"839:00:00", dates_map::no_date},
        {L"036:00:00", dates_map::no_date},
        {L"36:60:00", dates_map::no_date},
        {L"3:15:00 PM", dates_map::no_date},
        {L"31/01/2024", dates_map::no_date},
        {L"01/31/2024", dates_map::no_date},
        {L"31.01.2024", dates_map::no_date},
        {L"2024-1-31", dates_map::no_date},
        {L"abcdefgh", dates_map::no_date},
        {L"", dates_map::no_date},
    };
    for (const row& r : rows) {
        const std::string narrow(r.text, r.text + wcslen(r.text));
        EXPECT_EQ(dates_map::get_kind(r.text), r.kind) << narrow;
        EXPECT_EQ(dates_map::get_kind(std::string_view(narrow)), r.kind) << narrow;
    }
}

TEST(DatesMap, ColumnStateFollowsAllValues)
{
    using V = std::vector<const wchar_t*>;
    EXPECT_EQ(state_after<dates_map>(V{L"2024-01-01", L"2024-02-01"}), dates_map::date_only);
    EXPECT_EQ(state_after<dates_map>(V{L"2024-01-01", L"2024-02-01 10:00:00"}), dates_map::date_time);
    EXPECT_EQ(state_after<dates_map>(V{L"2024-02-01 10:00:00", L"2024-01-01"}), dates_map::date_time);
    EXPECT_EQ(state_after<dates_map>(V{L"10:00:00", L"11:30:00"}), dates_map::time_only);
    EXPECT_EQ(state_after<dates_map>(V{L"2024-02-01 10:00:00", L"11:30:00"}), dates_map::no_date);
    EXPECT_EQ(state_after<dates_map>(V{L"11:30:00", L"2024-01-01"}), dates_map::no_date);
    // A text that is no date ends the date column, whatever came first.
    EXPECT_EQ(state_after<dates_map>(V{L"2024-01-01", L"soon"}), dates_map::no_date);
    EXPECT_EQ(state_after<dates_map>(V{L"2024-01-01", L"", nullptr}), dates_map::date_only);
    EXPECT_EQ(state_after<dates_map>(V{L"", L"10:00:00"}), dates_map::time_only);
}

TEST(DatesMap, OnlyDateColumnsWhenAsked)
{
    udb_schema schema = text_schema(3);
    schema[1]->vartype = VT_DATE;
    schema[1]->reserved = 1;  // DATETIME
    EXPECT_EQ(dates_map(L"t", schema, false).get_entries().size(), 3u);
    const dates_map only(L"t", schema, true);
    ASSERT_EQ(only.get_entries().size(), 1u);
    EXPECT_EQ(only.get_entries()[0].n_field, 1u);
    EXPECT_EQ(only.get_entries()[0].declared, dates_map::date_time);
}

// A column of empty texts alone says nothing of a type: it stays a text.
TEST(TypesMap, EmptyTextsAloneLeaveAColumnUnseen)
{
    const udb_schema schema = text_schema(1);
    num_map numbers(L"t", schema);
    dates_map dates(L"t", schema, false);
    for (int i = 0; i < 2; ++i) {
        numbers.add_rec_stat(one_value(L""));
        dates.add_rec_stat(one_value(L""));
        numbers.add_text_stat({std::string_view()});
        dates.add_text_stat({std::string_view()});
        numbers.add_text(0, "");
        dates.add_text(0, "");
    }
    EXPECT_FALSE(numbers.get_entries()[0].seen);
    EXPECT_FALSE(dates.get_entries()[0].seen);
}

TEST(TypesMap, ShortRecordsLeaveLaterColumnsUnseen)
{
    const udb_schema schema = text_schema(2);
    num_map map(L"t", schema);
    map.add_rec_stat(one_value(L"7"));
    EXPECT_TRUE(map.get_entries()[0].seen);
    EXPECT_FALSE(map.get_entries()[1].seen);
}

// A CSV line's texts, read as UTF-8 without a record, give each column the
// state its record would: texts beyond ASCII (whose bytes outnumber their
// characters) are no numbers and no dates either way, empty texts say
// nothing, and a line short of fields leaves the rest unseen.
TEST(TypesMap, TextsOfALineGiveWhatItsRecordGives)
{
    const std::vector<std::vector<const char*>> lines = {
        {"1", "2024-01-31", "1.5", "x", "10:00:00"},
        {"2147483648", "2024-01-31 10:00:00", "19.90", "\xC3\xA9", "0000-00-00 11:00:00"},
        {"12", "2024-01-3\xC3\xA9", "7", "", "11:00:0\xC3\xA9"},
        {"-5", "20240131"},
        {"\xEF\xBC\x91", "2024-01-31", "123456789012345678", "y", "12:00:00"},
        {"", "", "1e5"},
    };
    const udb_schema schema = text_schema(5);
    for (size_t upto = 1; upto <= lines.size(); ++upto) {
        dates_map dates_by_record(L"t", schema, false), dates_by_text(L"t", schema, false);
        num_map numbers_by_record(L"t", schema), numbers_by_text(L"t", schema);
        for (size_t l = 0; l < upto; ++l) {
            udb_record record;
            std::vector<std::string_view> texts;
            for (size_t i = 0; i < schema.size(); ++i) {
                const bool has = i < lines[l].size();
                const ole_variant value = has ? ole_variant(platform::from_utf8(lines[l][i])) : ole_variant();
                record.push_back(std::make_unique<udb_field>(schema[i]->name, 255, value, false, false));
                if (has)
                    texts.emplace_back(lines[l][i]);
            }
            dates_by_record.add_rec_stat(record);
            numbers_by_record.add_rec_stat(record);
            dates_by_text.add_text_stat(texts);
            numbers_by_text.add_text_stat(texts);
        }
        for (size_t i = 0; i < schema.size(); ++i) {
            SCOPED_TRACE("lines " + std::to_string(upto) + ", column " + std::to_string(i));
            const auto& d1 = dates_by_record.get_entries()[i];
            const auto& d2 = dates_by_text.get_entries()[i];
            EXPECT_EQ(d1.seen, d2.seen);
            EXPECT_EQ(d1.state, d2.state);
            const auto& n1 = numbers_by_record.get_entries()[i];
            const auto& n2 = numbers_by_text.get_entries()[i];
            EXPECT_EQ(n1.seen, n2.seen);
            EXPECT_EQ(n1.state, n2.state);
            EXPECT_EQ(n1.fits_double, n2.fits_double);
        }
    }
}
