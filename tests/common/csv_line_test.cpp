#include "common/csv_line.hpp"
#include "common/csv_splt.hpp"

#include "platform/syserr/pl_syserr.hpp"
#include "platform/text/pl_utf8.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

namespace {

using rows = std::vector<std::vector<std::wstring>>;

std::vector<std::wstring> split(const std::wstring& line, const std::wstring& delimiter)
{
    std::vector<std::wstring> fields;
    csv_splitter splitter(line, delimiter);
    std::wstring token;
    while (splitter.next(token))
        fields.push_back(token);
    return fields;
}

rows read_all(const std::string& path, size_t buffer_size)
{
    csv_line_reader reader(buffer_size);
    EXPECT_TRUE(reader.open(path));
    rows result;
    std::string line;
    int64_t last_position = 0;
    while (reader.get_line(line)) {
        result.push_back(split(platform::from_utf8(line), L","));
        EXPECT_GT(reader.position(), last_position);
        last_position = reader.position();
    }
    EXPECT_TRUE(reader.at_end());
    EXPECT_EQ(reader.position(), reader.file_size());
    EXPECT_FALSE(reader.get_line(line));
    return result;
}

struct grammar_case {
    const char* what;
    std::string file;
    rows expected;
};

void PrintTo(const grammar_case& c, std::ostream* os) { *os << c.what; }

class csv_grammar : public testing::TestWithParam<grammar_case> {};

// Every case is read with buffers from tiny to large, so each token and line
// end also falls across a buffer boundary.
TEST_P(csv_grammar, table)
{
    const grammar_case& c = GetParam();
    test_dir dir;
    const std::string path = dir.file("in.csv");
    test_dir::write(path, c.file);
    for (size_t buffer_size : {1u, 5u, 7u, 64u, 1u << 20})
        EXPECT_EQ(read_all(path, buffer_size), c.expected) << c.what << ", buffer " << buffer_size;
}

INSTANTIATE_TEST_SUITE_P(
    cases, csv_grammar,
    testing::Values(
        grammar_case{"plain lines", "a,b\nc,d\n", {{L"a", L"b"}, {L"c", L"d"}}},
        grammar_case{"no final line end", "a,b\nc,d", {{L"a", L"b"}, {L"c", L"d"}}},
        grammar_case{"CR LF line ends", "a,b\r\nc,d\r\n", {{L"a", L"b"}, {L"c", L"d"}}},
        grammar_case{"quoted delimiter and line break", "\"a,1\nx\",b\nc\n", {{L"a,1\nx", L"b"}, {L"c"}}},
        grammar_case{"quoted CR LF reads as LF", "\"a\r\nb\",c\r\n", {{L"a\nb", L"c"}}},
        grammar_case{"doubled quotes", "\"say \"\"hi\"\"\",x\n", {{L"say \"hi\"", L"x"}}},
        grammar_case{"empty quoted field", "\"\",a\n", {{L"", L"a"}}},
        grammar_case{"quotes inside a field", "ab\"c,d\"e,f\n", {{L"abc,de", L"f"}}},
        grammar_case{"line ending in the delimiter", "a,\n", {{L"a", L""}}},
        grammar_case{"empty line inside", "a\n\nb\n", {{L"a"}, {L""}, {L"b"}}},
        grammar_case{"blank line at the end", "a\n\n", {{L"a"}, {L""}}},
        grammar_case{"spaces kept", " a , b \n", {{L" a ", L" b "}}},
        grammar_case{"byte-order mark skipped", "\xEF\xBB\xBF" "a,b\n", {{L"a", L"b"}}},
        grammar_case{"byte-order mark alone", "\xEF\xBB\xBF", {}},
        grammar_case{"mark only at the start", "\xEF\xBB\xBF" "a\n\xEF\xBB\xBF" "b\n", {{L"a"}, {L"\xFEFF" L"b"}}},
        grammar_case{"end of file inside quotes", "a,\"open\nmore", {{L"a", L"open\nmore"}}},
        grammar_case{"end of file inside quotes after a line end", "a,\"open\n", {{L"a", L"open"}}},
        grammar_case{"empty file", "", {}},
        grammar_case{"lone CR kept", "a\rb\n", {{L"a\rb"}}},
        grammar_case{"UTF-8 text", "\xC3\xA9t\xC3\xA9,\xE2\x82\xAC\n", {{L"\u00e9t\u00e9", L"\u20ac"}}}));

TEST(csv_grammar, lines_of_any_length)
{
    test_dir dir;
    const std::string path = dir.file("long.csv");
    const std::string long_value(300000, 'x');
    test_dir::write(path, "a," + long_value + "\n\"" + long_value + "\n" + long_value + "\"\n");
    const rows got = read_all(path, 4096);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0][1].size(), long_value.size());
    EXPECT_EQ(got[1][0].size(), 2 * long_value.size() + 1);
}

TEST(csv_line_reader, unopenable_file_and_rewind)
{
    test_dir dir;
    csv_line_reader reader(16);
    EXPECT_FALSE(reader.open(dir.file("missing.csv")));
    EXPECT_EQ(platform::last_error(), platform::error_file_not_found);
    EXPECT_FALSE(reader.open(dir.path().string()));
    EXPECT_TRUE(reader.at_end());
    std::string line;
    EXPECT_FALSE(reader.get_line(line));

    const std::string path = dir.file("in.csv");
    test_dir::write(path, "\xEF\xBB\xBF" "one\ntwo\n");
    ASSERT_TRUE(reader.open(path));
    ASSERT_TRUE(reader.get_line(line));
    EXPECT_EQ(line, "one");
    EXPECT_EQ(reader.position(), 7);
    reader.rewind();
    EXPECT_EQ(reader.position(), 0);
    ASSERT_TRUE(reader.get_line(line));
    EXPECT_EQ(line, "one");
}

struct split_case {
    std::wstring line;
    std::wstring delimiter;
    std::vector<std::wstring> expected;
};

void PrintTo(const split_case& c, std::ostream* os) { *os << testing::PrintToString(c.line); }

class csv_split : public testing::TestWithParam<split_case> {};

TEST_P(csv_split, table)
{
    EXPECT_EQ(split(GetParam().line, GetParam().delimiter), GetParam().expected) << GetParam().line;
}

INSTANTIATE_TEST_SUITE_P(
    cases, csv_split,
    testing::Values(split_case{L"", L",", {L""}}, split_case{L"a;b,c", L";", {L"a", L"b,c"}},
                    split_case{L"a\tb\t", L"\t", {L"a", L"b", L""}}, split_case{L"a b  c", L" ", {L"a", L"b", L"", L"c"}},
                    split_case{L"\"a b\" c", L" ", {L"a b", L"c"}}, split_case{L"a::b:c", L"::", {L"a", L"b:c"}},
                    split_case{L"a,b", L"", {L"a,b"}}, split_case{L"\"unclosed,x", L",", {L"unclosed,x"}},
                    split_case{L"\"\"\"\"", L",", {L"\""}}, split_case{L",", L",", {L"", L""}}));

} // namespace
