#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/cmdline_tokens.h"

namespace {

using Tokens = std::vector<std::string>;

struct Collected {
    Tokens tokens;
    size_t stopAfter;
};

bool Collect(const char* token, void* context)
{
    auto* c = static_cast<Collected*>(context);
    c->tokens.push_back(token);
    return c->tokens.size() < c->stopAfter;
}

Tokens Split(const std::string& line, size_t stopAfter = 1000)
{
    Collected c = {{}, stopAfter};
    SplitCommandLine(line.c_str(), Collect, &c);
    return c.tokens;
}

}  // namespace

TEST(SplitCommandLine, SpacesSeparateAndQuotesGroup)
{
    EXPECT_EQ(Split("  a   b  "), (Tokens{"a", "b"}));
    EXPECT_EQ(Split("    "), Tokens{});
    EXPECT_EQ(Split("a\tb c"), (Tokens{"a\tb", "c"})) << "a tab is no separator";
    EXPECT_EQ(Split("\"C:\\Program Files\\uninstall.exe\" \"D:\\Demo App\" -C \"\" \"-UDemo App\""),
              (Tokens{"C:\\Program Files\\uninstall.exe", "D:\\Demo App", "-C", "", "-UDemo App"}));
    EXPECT_EQ(Split("x \"D:\\open ended"), (Tokens{"x", "D:\\open ended"}));
    EXPECT_EQ(Split("x \""), (Tokens{"x", ""}));
    EXPECT_EQ(Split("a b c d", 2), (Tokens{"a", "b"})) << "the handler stops the split";
}

TEST(SplitCommandLine, LongTokenIsCutToTheBuffer)
{
    std::string longToken(400, 'x');
    EXPECT_EQ(Split("a " + longToken + " b"), (Tokens{"a", longToken.substr(0, kTokenSize - 1), "b"}));
    EXPECT_EQ(Split("a \"" + longToken + "\""), (Tokens{"a", longToken.substr(0, kTokenSize - 1)}));
}
