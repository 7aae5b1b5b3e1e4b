#include "TK/tk_lines.hpp"
#include "TK/tk_yaml.hpp"
#include "test_dir.hpp"

#include <gtest/gtest.h>

namespace {

tk_yaml_map load(const std::string& content, const std::set<std::wstring>& filter = {})
{
    test_dir dir;
    test_dir::write(dir.file("sql.map"), content);
    tk_yaml_map result;
    EXPECT_TRUE(tk_yaml_config::load(result, dir.file("sql.map").c_str(), filter));
    return result;
}

} // namespace

TEST(TkYamlConfig, KeysAndItems)
{
    const struct {
        const char* content;
        tk_yaml_map expected;
    } cases[] = {
        {"INT:\n- INT\n- BIGINT\n", {{L"INT", {L"INT", L"BIGINT"}}}},
        {"INT:\r\n - INT \r\n-BIGINT\r\n", {{L"INT", {L"INT", L"BIGINT"}}}},
        {"INT:\n- INT\n- BIGINT", {{L"INT", {L"INT", L"BIGINT"}}}},  // no final line feed
        {"- orphan\nK:\n- x\n", {{L"", {L"orphan"}}, {L"K", {L"x"}}}},
        {"K:\n-\n-   \n", {{L"K", {L"", L""}}}},
        {"TEXT :\n- a\n", {{L"TEXT ", {L"a"}}}},
        {"A:\n- 1\nB:\n- 2\nA:\n- 3\n", {{L"A", {L"1", L"3"}}, {L"B", {L"2"}}}},
        {"-K:\n- x\n", {{L"-K", {L"x"}}}},
        {"K:\nignored line\n\n   \n# comment\n- x\n", {{L"K", {L"x"}}}},
        {"caf\xC3\xA9:\n- \xE2\x82\xAC\n- bad \xFF\n", {{L"caf\u00e9", {L"\u20ac", L"bad \uFFFD"}}}},
        {"", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(load(c.content), c.expected) << c.content;
}

TEST(TkYamlConfig, FilteredItemsAreSkippedAndTheKeyStays)
{
    EXPECT_EQ(load("K:\n- LENGTH\n- SCALE\n- precision\n-\n", {L"SCALE", L""}),
              (tk_yaml_map{{L"K", {L"LENGTH", L"precision"}}}));
}

TEST(TkYamlConfig, LinesOfAnyLengthAreReadWhole)
{
    const std::string item(100000, 'x');
    const tk_yaml_map result = load("K:\n- " + item + "\n- next\n");
    ASSERT_EQ(result.at(L"K").size(), 2u);
    EXPECT_EQ(result.at(L"K")[0].size(), item.size());
}

TEST(TkYamlConfig, AddsToTheCallersMapAndFailsOnlyWhenTheFileCannotBeOpened)
{
    test_dir dir;
    test_dir::write(dir.file("sql.typ"), "VARCHAR:\n- LENGTH\n");
    tk_yaml_map result{{L"VARCHAR", {L"old"}}};
    ASSERT_TRUE(tk_yaml_config::load(result, dir.file("sql.typ").c_str(), {}));
    EXPECT_EQ(result.at(L"VARCHAR"), (std::vector<std::wstring>{L"old", L"LENGTH"}));

    EXPECT_FALSE(tk_yaml_config::load(result, dir.file("missing").c_str(), {}));
    EXPECT_FALSE(tk_yaml_config::load(result, dir.path().c_str(), {}));
    EXPECT_EQ(result.size(), 1u);
}

TEST(TkLineReader, EndsOfLines)
{
    test_dir dir;
    test_dir::write(dir.file("f"), "a\r\nb\n\r\nc\r\r\nd\re\n\nlast\r");
    tk_line_reader reader(dir.file("f"));
    std::vector<std::string> lines;
    std::string line;
    while (reader.next(line))
        lines.push_back(line);
    EXPECT_FALSE(reader.failed());
    EXPECT_EQ(lines, (std::vector<std::string>{"a", "b", "", "c\r", "d\re", "", "last\r"}));
}
