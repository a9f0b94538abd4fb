#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/cmdline_tokens.h"

namespace {

struct Collected {
    std::vector<std::string> tokens;
    size_t stopAfter = 1000;
};

bool Collect(const char* token, void* context)
{
    auto* c = static_cast<Collected*>(context);
    c->tokens.push_back(token);
    return c->tokens.size() < c->stopAfter;
}

std::vector<std::string> Split(const char* line, size_t stopAfter = 1000)
{
    Collected c;
    c.stopAfter = stopAfter;
    SplitCommandLine(line, Collect, &c);
    return c.tokens;
}

using Tokens = std::vector<std::string>;

}  // namespace

TEST(SplitCommandLine, OnlySpacesSeparateAndRunsCountOnce)
{
    EXPECT_EQ(Split("  a   b  "), (Tokens{"a", "b"}));
    EXPECT_EQ(Split("    "), Tokens{});
    EXPECT_EQ(Split("a\tb c"), (Tokens{"a\tb", "c"}));
}

TEST(SplitCommandLine, QuotesGroupAndAreDropped)
{
    EXPECT_EQ(Split("\"C:\\Program Files\\Demo App\\uninstall.exe\" \"D:\\Games\\Demo App\" -C"),
              (Tokens{"C:\\Program Files\\Demo App\\uninstall.exe", "D:\\Games\\Demo App", "-C"}));
    EXPECT_EQ(Split("x \"\""), (Tokens{"x", ""}));
    EXPECT_EQ(Split("x \"-UDemo App\""), (Tokens{"x", "-UDemo App"}));
}

TEST(SplitCommandLine, UnclosedQuoteEndsAtTheEndOfTheLine)
{
    EXPECT_EQ(Split("x \"D:\\open ended"), (Tokens{"x", "D:\\open ended"}));
    EXPECT_EQ(Split("x \""), (Tokens{"x", ""}));
}

TEST(SplitCommandLine, HandlerCanStopTheSplit)
{
    EXPECT_EQ(Split("a b c d", 2), (Tokens{"a", "b"}));
}

TEST(SplitCommandLine, LongTokenIsCutToTheBuffer)
{
    std::string longToken(400, 'x');
    std::string line = "a " + longToken + " b";
    Tokens tokens = Split(line.c_str());
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_EQ(tokens[1], std::string(kTokenSize - 1, 'x'));
    EXPECT_EQ(tokens[2], "b");

    std::string quoted = "a \"" + longToken + "\"";
    tokens = Split(quoted.c_str());
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[1].size(), size_t(kTokenSize - 1));
}
