#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "diag/message_table.h"

namespace {

const char kSentinel = '\x5A';

MessageArg T(const char* text) { return MessageArg{text, 0}; }
MessageArg N(int number) { return MessageArg{nullptr, number}; }

// Runs build on a buffer of exactly size bytes followed by sentinels.
template <typename Build>
std::string Into(size_t size, Build build, bool* whole = nullptr)
{
    char buffer[4096];
    memset(buffer, kSentinel, sizeof buffer);
    bool result = build(buffer, size);
    if (whole)
        *whole = result;
    for (size_t i = size; i < size + 16; ++i)
        EXPECT_EQ(buffer[i], kSentinel) << "overrun at " << i << " for size " << size;
    return buffer;
}

std::string Build(size_t size, unsigned number, std::vector<MessageArg> args = {},
                  bool* whole = nullptr)
{
    return Into(size, [&](char* out, size_t n) {
        return BuildMessage(out, n, number, args.data(), int(args.size()));
    }, whole);
}

std::string Box(size_t size, const char* message, bool* whole = nullptr)
{
    return Into(size, [&](char* out, size_t n) { return BuildBoxText(out, n, message); }, whole);
}

}  // namespace

// Arguments in order for each kind are shown by the report tests; these are
// the cases a report never makes.
TEST(BuildMessage, OddArgumentsAndNumbersNeverBreakTheText)
{
    const struct {
        unsigned number;
        std::vector<MessageArg> args;
        const char* expected;
    } cases[] = {
        {76, {N(-1)}, "1ZKSS_JR: Job 4294967295 started twice"},
        {336, {N(5), N(-7)}, "1GAME_JR: Task 5 returned -7"},
        {79, {N(42)}, "1ZKSE: Scene '42' not found"},
        {76, {T("seven")}, "1ZKSS_JR: Job seven started twice"},
        {5, {T("a.dat")}, "3The file a.dat cannot be opened.\n%s"},
        {79, {T("x"), T("y"), T("z")}, "1ZKSE: Scene 'x' not found"},
        {79, {T("100%s%u")}, "1ZKSE: Scene '100%s%u' not found"},
        {0xFFFFFFFFu, {T("ignored")}, "1Message number 4294967295 is not in the table"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Build(1024, c.number, c.args), c.expected) << "message " << c.number;
}

TEST(BuildMessage, TextsAreCutWithinTheBuffer)
{
    bool whole = true;
    EXPECT_EQ(Build(8, 79, {}, &whole), "1ZKSE: ");
    EXPECT_FALSE(whole);
    EXPECT_EQ(Build(1, 79, {T("x")}, &whole), "");
    EXPECT_FALSE(whole);
    EXPECT_EQ(Build(5, 420, {}, &whole), "1Mes");
    EXPECT_FALSE(whole);
    char untouched = kSentinel;
    EXPECT_FALSE(BuildMessage(&untouched, 0, 79, nullptr, 0));
    EXPECT_EQ(untouched, kSentinel);
    EXPECT_EQ(Box(10, "2x", &whole), "Program d");
    EXPECT_FALSE(whole);
}

TEST(BuildBoxText, OnlyASeverityDigitChoosesATemplate)
{
    EXPECT_EQ(Box(1024, "3"), "");
    EXPECT_EQ(Box(1024, "9odd"), "9odd");
    EXPECT_EQ(Box(1024, ""), "");
    EXPECT_STREQ(MessageProper("4"), "");
    EXPECT_STREQ(MessageProper("5abc"), "5abc");
    EXPECT_STREQ(MessageProper("0abc"), "0abc");
}
