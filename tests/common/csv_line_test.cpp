#include "common/csv_line.hpp"

#include "TK/tk_excep.hpp"
#include "platform/syserr/pl_syserr.hpp"
#include "platform/text/pl_utf8.hpp"
#include "test_dir.hpp"
#include "utf16.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

using rows = std::vector<std::vector<std::wstring>>;

std::vector<std::wstring> fields_of(const csv_line& line)
{
    std::vector<std::wstring> fields;
    for (size_t i = 0; i < line.size(); ++i)
        fields.push_back(platform::from_utf8(line.field(i)));
    return fields;
}

// Every line of the file with the line of the file it begins on; the
// position grows with each line and ends at the file's size.
struct reading {
    rows lines;
    std::vector<int64_t> numbers;
    int64_t unclosed_quote = 0;
};

reading read_all(const std::string& path, size_t buffer_size, char delimiter = ',')
{
    csv_line_reader reader(delimiter, buffer_size);
    EXPECT_TRUE(reader.open(path));
    reading result;
    csv_line line;
    int64_t last_position = 0;
    while (reader.get_line(line, 100)) {
        result.lines.push_back(fields_of(line));
        result.numbers.push_back(line.number);
        EXPECT_EQ(line.fields, line.size());
        EXPECT_GT(reader.position(), last_position);
        last_position = reader.position();
    }
    EXPECT_TRUE(reader.at_end());
    EXPECT_EQ(reader.position(), reader.file_size());
    EXPECT_FALSE(reader.get_line(line, 100));
    result.unclosed_quote = reader.findings().unclosed_quote;
    return result;
}

struct grammar_case {
    const char* what;
    std::string file;
    rows expected;
    std::vector<int64_t> numbers = {};  // checked when given
    int64_t unclosed_quote = 0;
};

void PrintTo(const grammar_case& c, std::ostream* os) { *os << c.what; }

class csv_grammar : public testing::TestWithParam<grammar_case> {};

// Every case is read with buffers from tiny to large, so each token, line
// end and byte-order mark also falls across a buffer boundary.
TEST_P(csv_grammar, table)
{
    const grammar_case& c = GetParam();
    test_dir dir;
    const std::string path = dir.file("in.csv");
    test_dir::write(path, c.file);
    for (size_t buffer_size : {1u, 5u, 7u, 64u, 1u << 20}) {
        const reading got = read_all(path, buffer_size);
        EXPECT_EQ(got.lines, c.expected) << c.what << ", buffer " << buffer_size;
        if (!c.numbers.empty()) {
            EXPECT_EQ(got.numbers, c.numbers) << c.what << ", buffer " << buffer_size;
        }
        EXPECT_EQ(got.unclosed_quote, c.unclosed_quote) << c.what << ", buffer " << buffer_size;
    }
}

const std::u16string utf16_text = u"k,v\r\n\u00e9,\"a\r\nb\"\r\n\U0001F600,\u20ac\n";
const rows utf16_rows = {{L"k", L"v"}, {L"\u00e9", L"a\r\nb"}, {L"\U0001F600", L"\u20ac"}};

INSTANTIATE_TEST_SUITE_P(
    cases, csv_grammar,
    testing::Values(
        grammar_case{"plain lines", "a,b\nc,d\n", {{L"a", L"b"}, {L"c", L"d"}}, {1, 2}},
        grammar_case{"no final line end", "a,b\nc,d", {{L"a", L"b"}, {L"c", L"d"}}},
        grammar_case{"CR LF line ends", "a,b\r\nc,d\r\n", {{L"a", L"b"}, {L"c", L"d"}}, {1, 2}},
        grammar_case{"CR alone ends a line", "a,b\rc,d\r\re\r", {{L"a", L"b"}, {L"c", L"d"}, {L""}, {L"e"}},
                     {1, 2, 3, 4}},
        grammar_case{"mixed line ends", "a\r\nb\nc\rd", {{L"a"}, {L"b"}, {L"c"}, {L"d"}}, {1, 2, 3, 4}},
        grammar_case{"quoted delimiter and line break", "\"a,1\nx\",b\nc\n", {{L"a,1\nx", L"b"}, {L"c"}}, {1, 3}},
        grammar_case{"every line end inside quotes is kept as it stands", "\"a\r\nb\rc\nd\",e\r\nf\n",
                     {{L"a\r\nb\rc\nd", L"e"}, {L"f"}}, {1, 5}},
        grammar_case{"a classic Mac file's line ends inside quotes", "\"c\rd\"\r\"e\r\rf\"\rg\r",
                     {{L"c\rd"}, {L"e\r\rf"}, {L"g"}}, {1, 3, 6}},
        grammar_case{"doubled quotes", "\"say \"\"hi\"\"\",x\n", {{L"say \"hi\"", L"x"}}},
        grammar_case{"empty quoted field", "\"\",a\n", {{L"", L"a"}}},
        grammar_case{"a quote inside a field is a character", "1,12\" pipe,5\n2,x\n",
                     {{L"1", L"12\" pipe", L"5"}, {L"2", L"x"}}},
        grammar_case{"quotes inside fields never join lines", "ab\"c,d\"e,f\ng\"\n",
                     {{L"ab\"c", L"d\"e", L"f"}, {L"g\""}}},
        grammar_case{"text after a closing quote is kept", "\"ab\"cd\"e,f\n", {{L"abcd\"e", L"f"}}},
        grammar_case{"quote after leading spaces is a character", " \"a,b\"\n", {{L" \"a", L"b\""}}},
        grammar_case{"line ending in the delimiter", "a,\n", {{L"a", L""}}},
        grammar_case{"empty line inside", "a\n\nb\n", {{L"a"}, {L""}, {L"b"}}, {1, 2, 3}},
        grammar_case{"blank line at the end", "a\n\n", {{L"a"}, {L""}}},
        grammar_case{"spaces kept", " a , b \n", {{L" a ", L" b "}}},
        grammar_case{"byte-order mark skipped", "\xEF\xBB\xBF" "a,b\n", {{L"a", L"b"}}},
        grammar_case{"byte-order mark alone", "\xEF\xBB\xBF", {}},
        grammar_case{"mark only at the start", "\xEF\xBB\xBF" "a\n\xEF\xBB\xBF" "b\n", {{L"a"}, {L"\xFEFF" L"b"}}},
        grammar_case{"end of file inside quotes", "a,\"open\nmore", {{L"a", L"open\nmore"}}, {1}, 1},
        grammar_case{"end of file inside quotes after a line end", "x\na,\"open\r\n", {{L"x"}, {L"a", L"open"}}, {1, 2},
                     2},
        grammar_case{"end of file inside quotes after a CR", "a,\"open\r\r", {{L"a", L"open\r"}}, {1}, 1},
        grammar_case{"end of file in an empty quoted field", "\"a\n\",\"", {{L"a\n", L""}}, {1}, 2},
        grammar_case{"empty file", "", {}},
        grammar_case{"NUL bytes are text", std::string("a\0b,c\n", 6), {{std::wstring(L"a\0b", 3), L"c"}}},
        grammar_case{"UTF-8 text", "\xC3\xA9t\xC3\xA9,\xE2\x82\xAC\n", {{L"\u00e9t\u00e9", L"\u20ac"}}},
        // Lines longer than the blocks of bytes the reader looks at at once:
        // delimiters, quotes and line ends on either side of their edges.
        grammar_case{"many fields on a long line", "1,22,333,4444,55555,666666,7777777,88888888,999999999\n",
                     {{L"1", L"22", L"333", L"4444", L"55555", L"666666", L"7777777", L"88888888", L"999999999"}}},
        grammar_case{"quoted text over several blocks",
                     "\"0123456789abcdef\"\"ghij\r\nklmnopqrstuvwxyz\",\"\"\"\",tail\r\nnext\n",
                     {{L"0123456789abcdef\"ghij\r\nklmnopqrstuvwxyz", L"\"", L"tail"}, {L"next"}}, {1, 3}},
        grammar_case{"CR LF across a block's edge", "0123456789abcd,\r\nx\r\n", {{L"0123456789abcd", L""}, {L"x"}},
                     {1, 2}},
        grammar_case{"CR LF in quotes across a block's edge", "\"0123456789abcd\r\nx\"\r\ny\n",
                     {{L"0123456789abcd\r\nx"}, {L"y"}}, {1, 3}},
        grammar_case{"a delimiter ending a block, a quote opening the next", "0123456789abcde,\"x,y\"\n",
                     {{L"0123456789abcde", L"x,y"}}},
        grammar_case{"a doubled quote across a block's edge", "\"0123456789abcd\"\"e\"\n", {{L"0123456789abcd\"e"}}},
        grammar_case{"text after a closing quote in the next block", "\"0123456789abcde\"fghij\"k,l\n",
                     {{L"0123456789abcdefghij\"k", L"l"}}},
        grammar_case{"a quote inside a long field is a character", "0123456789abcdef\"ghij,k\"\n",
                     {{L"0123456789abcdef\"ghij", L"k\""}}},
        grammar_case{"empty fields", ",,\n,\"\",\n\"\"\n,\n", {{L"", L"", L""}, {L"", L"", L""}, {L""}, {L"", L""}}},
        grammar_case{"UTF-16 little endian", utf16(utf16_text, true), utf16_rows, {1, 2, 4}},
        grammar_case{"UTF-16 big endian", utf16(utf16_text, false), utf16_rows, {1, 2, 4}},
        // Half a pair and an odd byte at the end: a character the end cut.
        grammar_case{"UTF-16 cut short", utf16(u"a,\xD83D", true) + "b", {{L"a", L""}}},
        grammar_case{"UTF-16 mark alone", "\xFE\xFF", {}}));

TEST(csv_grammar, lines_of_any_length)
{
    test_dir dir;
    const std::string path = dir.file("long.csv");
    const std::string long_value(300000, 'x');
    test_dir::write(path, "a," + long_value + "\n\"" + long_value + "\n" + long_value + "\"\n");
    const reading got = read_all(path, 4096);
    ASSERT_EQ(got.lines.size(), 2u);
    EXPECT_EQ(got.lines[0][1].size(), long_value.size());
    EXPECT_EQ(got.lines[1][0].size(), 2 * long_value.size() + 1);
}

TEST(csv_grammar, other_delimiters_and_none)
{
    test_dir dir;
    const std::string path = dir.file("in.csv");
    test_dir::write(path, "a b  c\n\"a b\" c\n");
    EXPECT_EQ(read_all(path, 64, ' ').lines, (rows{{L"a", L"b", L"", L"c"}, {L"a b", L"c"}}));
    test_dir::write(path, "a;b,c\tx\n");
    EXPECT_EQ(read_all(path, 64, ';').lines, (rows{{L"a", L"b,c\tx"}}));
    EXPECT_EQ(read_all(path, 64, '\t').lines, (rows{{L"a;b,c", L"x"}}));
    EXPECT_EQ(read_all(path, 64, '\0').lines, (rows{{L"a;b,c\tx"}}));
}

// Fields beyond those kept are counted and looked at for text, never kept.
TEST(csv_line_reader, fields_beyond_those_kept)
{
    test_dir dir;
    const std::string path = dir.file("in.csv");
    test_dir::write(path, "a,b\n1,2,,\"\"\n1,2,3\n\n\"x\"\n");
    csv_line_reader reader(',', 7);
    ASSERT_TRUE(reader.open(path));
    csv_line line;
    struct seen {
        std::vector<std::wstring> fields;
        size_t count;
        bool dropped_text;
        bool blank;
        bool operator==(const seen&) const = default;
    };
    std::vector<seen> got;
    while (reader.get_line(line, 2))
        got.push_back({fields_of(line), line.fields, line.dropped_text, line.blank});
    EXPECT_EQ(got, (std::vector<seen>{{{L"a", L"b"}, 2, false, false},
                                      {{L"1", L"2"}, 4, false, false},
                                      {{L"1", L"2"}, 3, true, false},
                                      {{L""}, 1, false, true},
                                      {{L"x"}, 1, false, false}}));
}

// However few fields are kept and wherever the pieces read end, the fields
// beyond them are only counted and looked at for text: nothing of them is
// held (the text's bytes tell whether a line is all ASCII).
TEST(csv_line_reader, fields_beyond_those_kept_in_any_piece)
{
    test_dir dir;
    const std::string path = dir.file("in.csv");
    struct keep_case {
        std::string file;
        size_t keep;
        std::vector<std::wstring> fields;
        size_t count;
        bool dropped_text;
    };
    const std::string long_field = "0123456789abcdef";
    const std::wstring long_value = L"0123456789abcdef";
    const std::vector<keep_case> cases = {
        {"a,b\n", 0, {}, 2, true},
        {",\n", 0, {}, 2, false},
        {"a,\"\"\n", 1, {L"a"}, 2, false},
        {"a,\"\"\"\"\n", 1, {L"a"}, 2, true},
        {"a,\"\n\"\n", 1, {L"a"}, 2, true},
        {"a,\"\xC3\xA9\n", 1, {L"a"}, 2, true},
        {"\"ab\n", 1, {L"ab"}, 1, false},
        {long_field + "," + long_field + ",\xC3\xA9\n", 2, {long_value, long_value}, 3, true},
        {long_field + "," + long_field + "\xC3\xA9,\n", 1, {long_value}, 3, true},
        {"a,\"b\r\nc\",,,\n", 2, {L"a", L"b\r\nc"}, 5, false},
        {"a,b\n", 3, {L"a", L"b"}, 2, false}};
    for (const keep_case& c : cases) {
        test_dir::write(path, c.file);
        for (size_t buffer_size : {1u, 7u, 17u, 4096u}) {
            csv_line_reader reader(',', buffer_size);
            ASSERT_TRUE(reader.open(path));
            csv_line line;
            ASSERT_TRUE(reader.get_line(line, c.keep));
            const std::string trace = testing::PrintToString(c.file) + ", keep " + std::to_string(c.keep) +
                                      ", buffer " + std::to_string(buffer_size);
            EXPECT_EQ(fields_of(line), c.fields) << trace;
            EXPECT_EQ(line.fields, c.count) << trace;
            EXPECT_EQ(line.dropped_text, c.dropped_text) << trace;
            EXPECT_EQ(line.text.find('\xC3'), std::string::npos) << trace;
            EXPECT_FALSE(reader.get_line(line, c.keep)) << trace;
        }
    }
}

// A line may not grow beyond the limit, wherever the file ends or however it
// is quoted; a line just at the limit is read.
TEST(csv_line_reader, a_line_over_the_limit_is_refused_naming_file_and_line)
{
    test_dir dir;
    const std::string path = dir.file("in.csv");
    const std::string at_limit(100, 'x');
    struct limit_case {
        std::string file;
        std::string message;  // empty: read without a failure
    };
    const std::vector<limit_case> cases = {
        {"a\n" + at_limit + "\n" + at_limit, ""},
        {"a\r\n" + at_limit + "\r\nb", ""},
        {"a\n" + at_limit + "y\nb\n", "Line 2 of the CSV file '" + path + "' is longer than 100 bytes."},
        {"a\nb,\"" + at_limit + "\n",
         "Line 2 of the CSV file '" + path + "' is longer than 100 bytes: the quoted field opened at line 2 may "
                                             "lack its closing quote."},
        {"a\n\"\n\n\n" + at_limit, "Line 2 of the CSV file '" + path + "' is longer than 100 bytes: the quoted "
                                                                         "field opened at line 2 may lack its "
                                                                         "closing quote."}};
    for (const limit_case& c : cases) {
        test_dir::write(path, c.file);
        for (size_t buffer_size : {5u, 64u, 4096u}) {
            csv_line_reader reader(',', buffer_size, 100);
            ASSERT_TRUE(reader.open(path));
            csv_line line;
            std::string failure;
            try {
                while (reader.get_line(line, 10)) {
                }
            } catch (const tk_exception& e) {
                EXPECT_EQ(e.get_level(), 1);
                failure = e.what();
            }
            EXPECT_EQ(failure, c.message) << testing::PrintToString(c.file) << ", buffer " << buffer_size;
        }
    }
}

// A device that never ends (as /dev/zero) stops at the limit.
TEST(csv_line_reader, an_endless_line_stops_at_the_limit)
{
    csv_line_reader reader(',', 4096, 1 << 20);
    ASSERT_TRUE(reader.open("/dev/zero"));
    csv_line line;
    EXPECT_THROW(reader.get_line(line, 10), tk_exception);
}

TEST(csv_line_reader, unopenable_file_and_rewind)
{
    test_dir dir;
    csv_line_reader reader(',', 16);
    EXPECT_FALSE(reader.open(dir.file("missing.csv")));
    EXPECT_EQ(platform::last_error(), platform::error_file_not_found);
    EXPECT_FALSE(reader.open(dir.path().string()));
    EXPECT_TRUE(reader.at_end());
    csv_line line;
    EXPECT_FALSE(reader.get_line(line, 10));

    const std::string path = dir.file("in.csv");
    test_dir::write(path, "\xEF\xBB\xBF" "one\r\ntwo\n");
    ASSERT_TRUE(reader.open(path));
    ASSERT_TRUE(reader.get_line(line, 10));
    EXPECT_EQ(line.field(0), "one");
    EXPECT_EQ(reader.position(), 8);
    reader.rewind();
    EXPECT_EQ(reader.position(), 0);
    ASSERT_TRUE(reader.get_line(line, 10));
    EXPECT_EQ(line.field(0), "one");
    EXPECT_EQ(line.number, 1);

    // The progress of a UTF-16 file is counted in the file's bytes.
    test_dir::write(path, utf16(u"ab\n\u00e9\U0001F600\n", true));
    ASSERT_TRUE(reader.open(path));
    ASSERT_TRUE(reader.get_line(line, 10));
    EXPECT_EQ(reader.position(), 8);
    ASSERT_TRUE(reader.get_line(line, 10));
    EXPECT_EQ(reader.position(), 16);
}

} // namespace

// A plain file cut short after the reader took its size: the line the new
// end cuts is no line of the file and is not handed out, the position stays
// at the end of the last whole line; a cut at a line end cuts no line.
TEST(csv_line_reader, a_file_cut_short_while_read_hands_out_whole_lines_only)
{
    const std::string text = "a,b\n1,\"x\ny\"\n2,z\n";  // lines 1, 2 (two physical lines) and 4
    const struct {
        size_t cut;
        size_t whole_lines;
        int64_t position;
        int64_t cut_line;
    } cases[] = {
        {6, 1, 4, 2},    // inside a line
        {10, 1, 4, 2},   // inside a quoted field over two lines
        {12, 2, 12, 0},  // at a line end
        {15, 2, 12, 4},  // before the last line end
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.cut);
        test_dir dir;
        const std::string path = dir.file("cut.csv");
        for (const size_t buffer_size : {size_t{1}, size_t{1} << 20}) {
            test_dir::write(path, text);
            csv_line_reader reader(',', buffer_size);
            ASSERT_TRUE(reader.open(path));
            ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(c.cut)), 0);
            csv_line line;
            size_t lines = 0;
            while (reader.get_line(line, 10))
                ++lines;
            EXPECT_EQ(lines, c.whole_lines);
            EXPECT_EQ(reader.position(), c.position);
            EXPECT_EQ(reader.findings().cut_short, c.cut_line);
            EXPECT_EQ(reader.findings().unclosed_quote, 0);
        }
    }
}
