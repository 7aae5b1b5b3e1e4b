#include "csv_trip.hpp"

#include "common/csv_upsz.hpp"
#include "common/csv_util.hpp"
#include "common/csv_wstr.hpp"

#include "TK/tk_excep.hpp"
#include "platform/text/pl_utf8.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <optional>

namespace {

// A field's name and value; no value for NULL.
using named_row = std::vector<std::pair<std::wstring, std::optional<std::wstring>>>;

std::wstring wide(const std::string& text)
{
    return platform::from_utf8(text);
}

std::vector<std::wstring> column_names(const csv_file& file)
{
    std::vector<std::wstring> names;
    for (const auto& column : file.schema) {
        EXPECT_EQ(column->size, 255u);
        EXPECT_EQ(column->vartype, VT_BSTR);
        names.push_back(column->name);
    }
    return names;
}

std::vector<named_row> read_rows(csv_file& file)
{
    std::vector<named_row> rows;
    for (int guard = 0; !file.is_eof(); file.next()) {
        if (++guard > 1000) {
            ADD_FAILURE() << "no end of file";
            break;
        }
        named_row row;
        for (const auto& field : *file.get_item()) {
            EXPECT_EQ(field->get_size(), field->to_wstring().size());
            if (field->get_type() == VT_NULL) {
                row.emplace_back(field->name, std::nullopt);
                continue;
            }
            EXPECT_EQ(field->get_type(), VT_BSTR);
            row.emplace_back(field->name, field->to_wstring());
        }
        rows.push_back(row);
    }
    return rows;
}

struct file_case {
    const char* what;
    std::string content;
    bool has_header;
    const wchar_t* delimiter;
    std::vector<std::wstring> columns;
    std::vector<named_row> rows;
    // What the file must report: records with text beyond the columns and the
    // first one's line, the first line read as Windows-1252, the line of a
    // quoted field the end of the file closed.
    std::vector<int64_t> findings = {0, 0, 0, 0};
    // Records with a quote that neither doubled nor closed its field, the
    // first one's line and field; halves of UTF-16 pairs, the first one's
    // line; the line where the end of a UTF-16 file cut a character.
    std::vector<int64_t> damage = {0, 0, 0, 0, 0, 0};
};

void PrintTo(const file_case& c, std::ostream* os) { *os << c.what; }

class csv_file_reading : public testing::TestWithParam<file_case> {};

TEST_P(csv_file_reading, table)
{
    const file_case& c = GetParam();
    test_dir dir;
    const std::string path = dir.file("in.csv");
    test_dir::write(path, c.content);
    csv_file file(wide(path), c.delimiter, c.has_header);
    EXPECT_EQ(column_names(file), c.columns) << c.what;
    EXPECT_EQ(read_rows(file), c.rows) << c.what;
    const csv_findings& found = file.findings();
    EXPECT_EQ((std::vector<int64_t>{file.long_records(), file.first_long_record(), file.first_ansi_line(),
                                    found.unclosed_quote}),
              c.findings)
        << c.what;
    EXPECT_EQ((std::vector<int64_t>{file.stray_quote_records(), file.first_stray_quote_line(),
                                    static_cast<int64_t>(file.first_stray_quote_field()), found.lone_surrogates,
                                    found.first_lone_surrogate, found.cut_character}),
              c.damage)
        << c.what;
    EXPECT_EQ(file.is_empty(), c.columns.size() == 1 && c.columns[0] == L"F1" && c.rows.empty()) << c.what;
    EXPECT_EQ(file.get_position(), file.get_file_size());
    EXPECT_EQ(file.get_file_size(), static_cast<int64_t>(c.content.size()));
}

INSTANTIATE_TEST_SUITE_P(
    cases, csv_file_reading,
    testing::Values(
        file_case{"header names trimmed", " id ;\"Na;me\"\n1; x \n", true, L";", {L"id", L"Na;me"},
                  {{{L"id", L"1"}, {L"Na;me", L" x "}}}},
        // Repeats are numbered from the name itself, never grown from the
        // name before them.
        file_case{"duplicate header names", "a, A ,a,a\n1,2,3,4\n", true, L",", {L"a", L"A_1", L"a_2", L"a_3"},
                  {{{L"a", L"1"}, {L"A_1", L"2"}, {L"a_2", L"3"}, {L"a_3", L"4"}}}},
        file_case{"blank header cells", "x,  ,\n1,2,3\n", true, L",", {L"x", L"F2", L"F3"},
                  {{{L"x", L"1"}, {L"F2", L"2"}, {L"F3", L"3"}}}},
        // R's write.csv leaves the first header empty; a numbered name never
        // takes another header's, and names the server takes as one repeat.
        file_case{"header names stay with their columns", "\"\",x,x,x_1,F1\n1,2,3,4,5\n", true, L",",
                  {L"F1_1", L"x", L"x_2", L"x_1", L"F1"},
                  {{{L"F1_1", L"1"}, {L"x", L"2"}, {L"x_2", L"3"}, {L"x_1", L"4"}, {L"F1", L"5"}}}},
        file_case{"names alike but for accents", "\xC3\xBD,\xC3\xBF\n1,2\n", true, L",", {L"\u00fd", L"\u00ff_1"},
                  {{{L"\u00fd", L"1"}, {L"\u00ff_1", L"2"}}}},
        // Syllables and kana are letters of their own to the server, not the
        // first letter of their decomposition.
        file_case{"Hangul and kana names", "\uAC00\uACA9,\uAC00\uAD6C,\u30AC\u30B9,\u30AB\u30B9\n1,2,3,4\n", true,
                  L",", {L"\uAC00\uACA9", L"\uAC00\uAD6C", L"\u30AC\u30B9", L"\u30AB\u30B9"},
                  {{{L"\uAC00\uACA9", L"1"}, {L"\uAC00\uAD6C", L"2"}, {L"\u30AC\u30B9", L"3"}, {L"\u30AB\u30B9", L"4"}}}},
        file_case{"no header: the first line is a record", "a\tb\nc\td\n", false, L"\t", {L"F1", L"F2"},
                  {{{L"F1", L"a"}, {L"F2", L"b"}}, {{L"F1", L"c"}, {L"F2", L"d"}}}},
        file_case{"long rows cut and counted, short rows padded with NULL", "a b\n1 2 3\n4\n5 6  \n7 8 9 10\n", true,
                  L" ", {L"a", L"b"},
                  {{{L"a", L"1"}, {L"b", L"2"}}, {{L"a", L"4"}, {L"b", std::nullopt}}, {{L"a", L"5"}, {L"b", L"6"}},
                   {{L"a", L"7"}, {L"b", L"8"}}},
                  {2, 2, 0, 0}},
        file_case{"a short first record", "a,b,c\n1\n2,3,4\n", true, L",", {L"a", L"b", L"c"},
                  {{{L"a", L"1"}, {L"b", std::nullopt}, {L"c", std::nullopt}},
                   {{L"a", L"2"}, {L"b", L"3"}, {L"c", L"4"}}}},
        file_case{"byte-order mark not in the first name", "\xEF\xBB\xBFid,v\r\n1,2\r\n", true, L",", {L"id", L"v"},
                  {{{L"id", L"1"}, {L"v", L"2"}}}},
        file_case{"quoted field across lines", "k,v\n1,\"two\nlines, \"\"quoted\"\"\"\n2,x\n", true, L",",
                  {L"k", L"v"},
                  {{{L"k", L"1"}, {L"v", L"two\nlines, \"quoted\""}}, {{L"k", L"2"}, {L"v", L"x"}}}},
        file_case{"a stray quote is a character", "n,d,q\n1,12\" pipe,5\n2,x,6\n", true, L",", {L"n", L"d", L"q"},
                  {{{L"n", L"1"}, {L"d", L"12\" pipe"}, {L"q", L"5"}}, {{L"n", L"2"}, {L"d", L"x"}, {L"q", L"6"}}}},
        file_case{"end of file inside quotes", "k,v\n1,\"open\n2,never closed", true, L",", {L"k", L"v"},
                  {{{L"k", L"1"}, {L"v", L"open\n2,never closed"}}}, {0, 0, 0, 2}},
        file_case{"blank lines of several columns hold no data", "k,v\n\n1,2\r\n\r\n\r\n3,4\n\n", true, L",",
                  {L"k", L"v"},
                  {{{L"k", L"1"}, {L"v", L"2"}}, {{L"k", L"3"}, {L"v", L"4"}}}},
        file_case{"a blank line of one column is an empty value", "k\n\nx\n", true, L",", {L"k"},
                  {{{L"k", L""}}, {{L"k", L"x"}}}},
        file_case{"old Mac line ends", "k;v\r1;2\r3;4\r", true, L";", {L"k", L"v"},
                  {{{L"k", L"1"}, {L"v", L"2"}}, {{L"k", L"3"}, {L"v", L"4"}}}},
        file_case{"lines not UTF-8 read as Windows-1252", "n\xE9,v\n\xE2\x82\xAC,1\ncaf\xE9,\x80\x93\n", true, L",",
                  {L"n\u00e9", L"v"},
                  {{{L"n\u00e9", L"\u20ac"}, {L"v", L"1"}}, {{L"n\u00e9", L"caf\u00e9"}, {L"v", L"\u20ac\u201c"}}},
                  {0, 0, 1, 0}},
        file_case{"a stray byte is read alone as Windows-1252", "n,v\nM\xC3\xBCller Stra\xC3\x9F" "e 5 \xFF,\xE2\x82\xAC\x80\n",
                  true, L",", {L"n", L"v"},
                  {{{L"n", L"M\u00fcller Stra\u00dfe 5 \u00ff"}, {L"v", L"\u20ac\u20ac"}}}, {0, 0, 2, 0}},
        file_case{"quotes escaped with a backslash", "k,v,w\n1,\"say \\\"hi\\\"\",x\n2,\"ok\"\"\",y\n3,z,\"a\"b\n", true,
                  L",", {L"k", L"v", L"w"},
                  {{{L"k", L"1"}, {L"v", L"say \\hi\\\"\""}, {L"w", L"x"}},
                   {{L"k", L"2"}, {L"v", L"ok\""}, {L"w", L"y"}},
                   {{L"k", L"3"}, {L"v", L"z"}, {L"w", L"ab"}}},
                  {0, 0, 0, 0}, {2, 2, 2, 0, 0, 0}},
        file_case{"UTF-16 little endian", std::string("\xFF\xFEk\0,\0v\0\n\0\xE9\0,\0\xAC\x20\n\0", 18), true, L",",
                  {L"k", L"v"}, {{{L"k", L"\u00e9"}, {L"v", L"\u20ac"}}}},
        file_case{"UTF-16 with an odd byte at the end", std::string("\xFF\xFEk\0,\0v\0\n\0" "1\0,\0" "2\0\n\0A", 19),
                  true, L",", {L"k", L"v"}, {{{L"k", L"1"}, {L"v", L"2"}}}, {0, 0, 0, 0}, {0, 0, 0, 0, 0, 3}},
        file_case{"UTF-16 cut inside a pair at the end", std::string("\xFF\xFEk\0\n\0" "1\0\n\0\x3D\xD8", 12), true,
                  L",", {L"k"}, {{{L"k", L"1"}}}, {0, 0, 0, 0}, {0, 0, 0, 0, 0, 3}},
        file_case{"UTF-16 halves of pairs within the file",
                  std::string("\xFF\xFEk\0\n\0" "a\0\x00\xD8" "b\0\n\0" "\x3D\xD8\x00\xDE\n\0" "\x00\xDC\n\0", 24), true,
                  L",", {L"k"}, {{{L"k", L"a\ufffdb"}}, {{L"k", L"\U0001f600"}}, {{L"k", L"\ufffd"}}},
                  {0, 0, 0, 0}, {0, 0, 0, 2, 2, 0}},
        file_case{"UTF-16 big endian", std::string("\xFE\xFF\0k\0,\0v\0\r\0\n\0\xE9\0,\x20\xAC", 18), true, L",",
                  {L"k", L"v"}, {{{L"k", L"\u00e9"}, {L"v", L"\u20ac"}}}},
        file_case{"empty file", "", true, L",", {L"F1"}, {}},
        file_case{"empty file without a header", "", false, L",", {L"F1"}, {}},
        file_case{"header only", "a,b\n", true, L",", {L"a", L"b"}, {}}));

TEST(csv_file, an_unopenable_file_raises_a_level_1_error_naming_it)
{
    test_dir dir;
    const std::string path = dir.file("missing.csv");
    try {
        csv_file file(wide(path), L",", true);
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_THROW(csv_file(wide(dir.path().string()), L",", true), tk_exception);
}

// Wide lines cost what their bytes cost: a header at the most columns, a
// record of 100,000 fields against two columns.
TEST(csv_file, wide_lines_are_read_in_one_pass)
{
    test_dir dir;
    const std::string path = dir.file("wide.csv");
    std::string header;
    for (size_t i = 0; i < csv_file::max_columns; ++i)
        header += (i > 0 ? ",c" : "c") + std::to_string(i % 1000);
    test_dir::write(path, header + "\n");
    {
        csv_file file(wide(path), L",", true);
        ASSERT_EQ(file.schema.size(), csv_file::max_columns);
        EXPECT_EQ(file.schema[1000]->name, L"c0_1");
        EXPECT_TRUE(file.is_eof());
    }
    std::string fields = "x";
    for (int i = 1; i < 100000; ++i)
        fields += ",x";
    test_dir::write(path, "a,b\n" + fields + "\n");
    csv_file file(wide(path), L",", true);
    ASSERT_FALSE(file.is_eof());
    EXPECT_EQ(file.get_item()->size(), 2u);
    EXPECT_EQ(file.long_records(), 1);
    EXPECT_EQ(file.first_long_record(), 2);
}

TEST(csv_file, lines_beyond_the_limits_raise_level_1_errors_naming_the_file)
{
    test_dir dir;
    const std::string path = dir.file("wide.csv");
    std::string header = "c";
    for (size_t i = 0; i < csv_file::max_columns; ++i)
        header += ",c";
    test_dir::write(path, header + "\n1\n");
    try {
        csv_file file(wide(path), L",", false);
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_EQ(std::string(e.what()),
                  "Line 1 of the CSV file '" + path + "' has 65537 fields, more than any table can hold.");
    }
    test_dir::write(path, "a\nshort\n" + std::string(101, 'x') + "\n");
    csv_file file(wide(path), L",", true, 100);
    ASSERT_FALSE(file.is_eof());
    EXPECT_EQ(file.get_item()->get_field(L"a").to_wstring(), L"short");
    try {
        file.next();
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_EQ(std::string(e.what()), "Line 3 of the CSV file '" + path + "' is longer than 100 bytes.");
    }
}

TEST(csv_file, progress_moves_per_line_and_reading_goes_forward_only)
{
    test_dir dir;
    const std::string path = dir.file("in.csv");
    test_dir::write(path, "h\none\ntwo\n");
    csv_file file(wide(path), L",", true);
    EXPECT_EQ(file.get_file_size(), 10);
    EXPECT_EQ(file.get_position(), 6);  // header and first record read
    udb_record* first = file.get_item();
    EXPECT_EQ(first->get_field(L"h").to_wstring(), L"one");
    // Asking again gives the same line.
    EXPECT_EQ(file.get_item()->get_field(L"H").to_wstring(), L"one");
    file.next();
    EXPECT_EQ(file.get_position(), 10);
    EXPECT_EQ(file.get_item()->get_field(L"h").to_wstring(), L"two");
    EXPECT_THROW(file.prev(), tk_mail_assertion);
    file.next();
    EXPECT_TRUE(file.is_eof());
    // Past the end nothing changes: no endless empty rows.
    file.next();
    EXPECT_TRUE(file.is_eof());

    file.reset();
    EXPECT_EQ(file.get_position(), 0);
    file.next();
    EXPECT_EQ(file.get_item()->get_field(L"h").to_wstring(), L"h");
}

// Lines cut ahead on another thread, batch after batch: every record in
// order with its progress, a failure raised only after the lines before it,
// and a file dropped or rewound halfway.
TEST(csv_file, lines_cut_ahead_arrive_in_order_and_a_failure_after_them)
{
    test_dir dir;
    const std::string path = dir.file("many.csv");
    std::string text = "n,t\n";
    const int rows = 20000;
    for (int i = 1; i <= rows; ++i)
        text += std::to_string(i) + (i % 1000 == 0 ? ",\"two\nlines\"\n" : "," + std::string(i % 300, 'x') + "\n");
    test_dir::write(path, text + std::string(5000, 'y') + "\n");
    {
        csv_file file(wide(path), L",", true, 4000);
        int64_t position = 0;
        int n = 0;
        try {
            for (; !file.is_eof(); file.next()) {
                const udb_record& record = *file.get_item();
                ASSERT_EQ(record[0]->to_wstring(), std::to_wstring(++n));
                if (n % 1000 == 0) {
                    ASSERT_EQ(record[1]->to_wstring(), L"two\nlines");
                }
                ASSERT_GT(file.get_position(), position);
                position = file.get_position();
            }
            FAIL() << "no exception";
        } catch (const tk_exception& e) {
            EXPECT_EQ(n, rows);
            EXPECT_NE(std::string(e.what()).find("Line 20022 of the CSV file"), std::string::npos) << e.what();
        }
    }
    csv_file halfway(wide(path), L",", true);
    for (int i = 0; i < 3000; ++i)
        halfway.next();
    EXPECT_EQ(halfway.get_item()->get_field(L"n").to_wstring(), L"3001");
    halfway.reset();
    halfway.next();
    EXPECT_EQ(halfway.get_item()->get_field(L"n").to_wstring(), L"n");
    halfway.next();
    EXPECT_EQ(halfway.get_item()->get_field(L"n").to_wstring(), L"1");
}

// A field of a UTF-8 line hands its own bytes to writers; one of a line read
// as Windows-1252, or without a value, has none to hand.
TEST(csv_file, fields_of_utf8_lines_keep_their_bytes)
{
    test_dir dir;
    const std::string path = dir.file("mixed.csv");
    test_dir::write(path, "a,b\ncaf\xC3\xA9,it's\ncaf\xE9,x\nplain\n");
    csv_file file(wide(path), L",", true);
    std::string_view bytes;
    const udb_record* record = file.get_item();
    ASSERT_TRUE((*record)[0]->get_utf8(bytes));
    EXPECT_EQ(bytes, "caf\xC3\xA9");
    ASSERT_TRUE((*record)[1]->get_utf8(bytes));
    EXPECT_EQ(bytes, "it's");
    file.next();
    record = file.get_item();
    EXPECT_EQ((*record)[0]->to_wstring(), L"caf\u00e9");
    EXPECT_FALSE((*record)[0]->get_utf8(bytes));
    file.next();
    record = file.get_item();
    ASSERT_TRUE((*record)[0]->get_utf8(bytes));
    EXPECT_EQ(bytes, "plain");
    EXPECT_FALSE((*record)[1]->get_utf8(bytes));  // no value
}

// The writers' batching limits take a row's size in characters: UTF-8,
// Windows-1252 and missing fields alike.
TEST(csv_file, a_records_size_counts_its_characters)
{
    test_dir dir;
    const std::string path = dir.file("sizes.csv");
    test_dir::write(path, "a,b\ncaf\xC3\xA9,\xE2\x82\xAC\ncaf\xE9,xy\nplain\n,\n");
    csv_file file(wide(path), L",", true);
    std::vector<int64_t> sizes;
    for (; !file.is_eof(); file.next())
        sizes.push_back(file.get_item()->get_total_size());
    EXPECT_EQ(sizes, (std::vector<int64_t>{5, 6, 5, 0}));
}

udb_record sample_record()
{
    udb_record record;
    auto add = [&](const ole_variant& value) {
        record.push_back(std::make_unique<udb_field>(L"", 0, value, false, false));
    };
    add(ole_variant(L"plain"));
    add(ole_variant(L"with, comma"));
    add(ole_variant(L"say \"hi\""));
    add(ole_variant(L"two\nlines"));
    add(ole_variant(L""));
    add(ole_variant(L" spaced "));
    add(ole_variant(42));
    add(ole_variant(2.0));
    add(ole_variant(0.1));
    add(ole_variant(-1e300));
    add(ole_variant(1.5f));
    add(ole_variant(L"caf\u00e9 \u20ac"));
    add(ole_variant(L"12\" pipe"));
    add(ole_variant(L"\"starts quoted\" and goes on"));
    return record;
}

TEST(csv_file, written_records_read_back_unchanged)
{
    test_dir dir;
    const std::string path = dir.file("out.csv");
    {
        csv_file out(wide(path), L",");
        EXPECT_TRUE(out.is_eof());
        out.append_record(sample_record());
        out.append_record(sample_record());
    }
    const std::string line = "plain,\"with, comma\",\"say \"\"hi\"\"\",\"two\nlines\",, spaced ,42,2,"
                             "0.10000000000000001,-1.0000000000000001e+300,1.5,caf\xC3\xA9 \xE2\x82\xAC,"
                             "\"12\"\" pipe\",\"\"\"starts quoted\"\" and goes on\"\n";
    EXPECT_EQ(test_dir::read(path), line + line);

    csv_file in(wide(path), L",", false);
    const udb_record expected = sample_record();
    for (int row = 0; row < 2; ++row, in.next()) {
        ASSERT_FALSE(in.is_eof());
        const udb_record& got = *in.get_item();
        ASSERT_EQ(got.size(), expected.size());
        for (size_t i = 0; i < got.size(); ++i) {
            if (expected[i]->get_type() == VT_R8 || expected[i]->get_type() == VT_R4)
                EXPECT_EQ(std::stod(got[i]->to_string()), expected[i]->to_double()) << i;
            else
                EXPECT_EQ(got[i]->to_wstring(), expected[i]->to_wstring()) << i;
        }
    }
    EXPECT_TRUE(in.is_eof());
}

TEST(csv_file, numbers_out_of_integer_range_keep_their_digits)
{
    test_dir dir;
    const std::string path = dir.file("out.csv");
    {
        csv_file out(wide(path), L";");
        udb_record record;
        for (double v : {9.2233720368547758e18, -9.2233720368547758e18, 1e19, std::nan(""), -0.0, 3.0e-5})
            record.push_back(std::make_unique<udb_field>(L"", 0, ole_variant(v), false, false));
        out.append_record(record);
    }
    EXPECT_EQ(test_dir::read(path), "9.2233720368547758e+18;-9223372036854775808;1e+19;nan;0;3.0000000000000001e-05\n");
}

TEST(csv_file, writing_needs_a_file_opened_for_it)
{
    test_dir dir;
    const std::string path = dir.file("in.csv");
    test_dir::write(path, "a\n");
    csv_file in(wide(path), L",", true);
    try {
        in.append_record(sample_record());
        FAIL();
    } catch (const tk_exception& e) {
        EXPECT_EQ(e.get_level(), 1);
        EXPECT_STREQ(e.what(), "Error opening CSV file");
    }
    EXPECT_THROW(csv_file(wide(dir.file("no/such/folder.csv")), L","), tk_exception);
}

class recording_upsizer : public csv_field_upsizer {
public:
    using csv_field_upsizer::csv_field_upsizer;
    std::vector<std::wstring> widened;
    bool fail_next = false;

protected:
    // Each widening makes room for 1000 characters.
    uint32_t do_upsize(const t_ftd& column, const udb_field&) override
    {
        if (fail_next) {
            fail_next = false;
            throw tk_exception("server refused", 0);
        }
        widened.push_back(column.name);
        return 1000;
    }
};

TEST(csv_field_upsizer, a_column_is_widened_at_its_first_value_over_its_room)
{
    test_dir dir;
    const std::string path = dir.file("in.csv");
    const std::string v255(255, 'x');
    const std::string v256(256, 'y');
    const std::string v1001(1001, 'z');
    test_dir::write(path, "a,b,c\n1,2," + v255 + "\n1,2," + v256 + "\n" + v256 + ",2," + v256 + "\n" + v256 + "\n" +
                              "1,2," + v1001 + "\n");
    csv_file file(wide(path), L",", true);
    recording_upsizer upsizer(nullptr, &file);
    std::vector<std::vector<std::wstring>> after_each;
    for (; !file.is_eof(); file.next()) {
        upsizer.fail_next = after_each.size() == 2;  // the first try at column a fails
        try {
            upsizer.process(*file.get_item());
        } catch (const tk_exception&) {
        }
        after_each.push_back(upsizer.widened);
    }
    // A value longer than the widened column widens it again.
    EXPECT_EQ(after_each, (std::vector<std::vector<std::wstring>>{
                              {}, {L"c"}, {L"c"}, {L"c", L"a"}, {L"c", L"a", L"c"}}));
}

// A field that no column takes is not written: nothing is widened for it,
// and the append tells of it.
TEST(csv_field_upsizer, a_long_value_without_a_destination_column_widens_nothing)
{
    test_dir dir;
    const std::string path = dir.file("in.csv");
    test_dir::write(path, "a\n" + std::string(300, 'z') + "\n");
    csv_file file(wide(path), L",", true);
    csv_file narrow(wide(path), L",", true);
    narrow.schema.clear();
    recording_upsizer upsizer(nullptr, &narrow);
    EXPECT_NO_THROW(upsizer.process(*file.get_item()));
    EXPECT_TRUE(upsizer.widened.empty());
}

// The fuzzer's checks over the sample under every choice of delimiter,
// header and line limit, the inputs the fuzzer found and a few dirty lines.
TEST(csv_file, inputs_read_and_written_back)
{
    std::vector<std::pair<std::string, std::string>> inputs;
    const std::string sample = test_dir::read(std::string(RVL_EXAMPLES) + "/people.csv");
    ASSERT_FALSE(sample.empty());
    for (char choice = 0; choice < 16; ++choice) {
        inputs.emplace_back("people.csv " + std::to_string(choice), choice + sample);
        inputs.emplace_back("dirty " + std::to_string(choice),
                            choice + std::string("a,\"b\"c\"\r\r\n\"\",x\" y \"\n\xE9\0,\"\"\"\n\t\"open"));
    }
    const std::filesystem::path found = std::string(RVL_CSV_FIXTURES) + "/fuzz";
    if (std::filesystem::exists(found))
        for (const auto& entry : std::filesystem::directory_iterator(found))
            inputs.emplace_back(entry.path().filename().string(), test_dir::read(entry.path().string()));
    for (const auto& [name, input] : inputs)
        EXPECT_EQ(csv_trip::check(input), "") << name;
}

TEST(wstr_ends_with, exact_and_case_insensitive)
{
    EXPECT_TRUE(wstr_ends_with(L"abc", L"", true));
    EXPECT_FALSE(wstr_ends_with(L"c", L"bc", false));
    EXPECT_TRUE(wstr_ends_with(L"Sheet1$", L"1$", true));
    EXPECT_FALSE(wstr_ends_with(L"name.XLS", L".xls", true));
    EXPECT_TRUE(wstr_ends_with(L"name.XLS", L".xls", false));
}

} // namespace
