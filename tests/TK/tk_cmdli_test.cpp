// The command-line iterator: prefix matching in table order, values behind
// the prefix, and every unknown argument kept.
#include "TK/tk_cmdli.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const cmd_line_option options[] = {{0, "--dump"}, {1, "--src="}, {2, "--help"}, {0, ""}};

struct seen {
    int32_t id;
    std::string value;
};

std::vector<seen> walk(std::vector<const char*> args, std::vector<std::string>* unknown = nullptr)
{
    args.insert(args.begin(), "prog");
    ansi_cmd_line line(static_cast<int>(args.size()), args.data(), options);
    std::vector<seen> out;
    while (line.has_more()) {
        out.push_back({line.get_id(), line.get_value()});
        line.next();
    }
    if (unknown != nullptr)
        unknown->assign(line.get_unknown_args().begin(), line.get_unknown_args().end());
    return out;
}

} // namespace

TEST(TkCmdLine, MatchesPrefixesInTableOrder)
{
    std::vector<std::string> unknown;
    const auto got = walk({"--src=a b.csv", "--dumpfile", "--src", "--helpme", "x"}, &unknown);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].id, 1);
    EXPECT_EQ(got[0].value, "a b.csv");
    EXPECT_EQ(got[1].id, 0);  // --dumpfile is taken as --dump
    EXPECT_EQ(got[1].value, "file");
    EXPECT_EQ(got[2].id, -1);  // no equals sign: not --src=
    EXPECT_EQ(got[3].id, 2);
    EXPECT_EQ(got[4].id, -1);
    EXPECT_EQ(unknown, (std::vector<std::string>{"--src", "x"}));
}

TEST(TkCmdLine, KeepsEveryUnknownArgument)
{
    std::vector<const char*> args;
    std::vector<std::string> names;
    for (int i = 0; i < 25; ++i)
        names.push_back("--unknown" + std::to_string(i));
    for (const std::string& n : names)
        args.push_back(n.c_str());
    std::vector<std::string> unknown;
    walk(args, &unknown);
    EXPECT_EQ(unknown, names);
}

TEST(TkCmdLine, NoArgumentsAndReadingPastTheEnd)
{
    const char* argv[] = {"prog"};
    ansi_cmd_line line(1, argv, options);
    EXPECT_FALSE(line.has_more());
    EXPECT_THROW(line.next(), tk_mail_assertion);
    EXPECT_THROW(line.get_id(), tk_mail_assertion);
    EXPECT_THROW(line.get_value(), tk_mail_assertion);
}
