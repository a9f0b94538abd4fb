#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "diag/message_table.h"

namespace {

const char kSentinel = '\x5A';

MessageArg Text(const char* text) { return MessageArg{text, 0}; }
MessageArg Number(int number) { return MessageArg{nullptr, number}; }

// Builds into a buffer of exactly size bytes followed by sentinels.
std::string Build(size_t size, unsigned number, const MessageArg* args, int count,
                  bool* whole = nullptr)
{
    char buffer[4096];
    memset(buffer, kSentinel, sizeof buffer);
    bool result = BuildMessage(buffer, size, number, args, count);
    if (whole)
        *whole = result;
    for (size_t i = size; i < size + 16; ++i)
        EXPECT_EQ(buffer[i], kSentinel) << "overrun at " << i << " for size " << size;
    return std::string(buffer);
}

std::string Box(size_t size, const char* message, bool* whole = nullptr)
{
    char buffer[4096];
    memset(buffer, kSentinel, sizeof buffer);
    bool result = BuildBoxText(buffer, size, message);
    if (whole)
        *whole = result;
    for (size_t i = size; i < size + 16; ++i)
        EXPECT_EQ(buffer[i], kSentinel) << "overrun at " << i << " for size " << size;
    return std::string(buffer);
}

}  // namespace

TEST(BuildMessage, WithoutArgumentsTheRowStaysAsWritten)
{
    EXPECT_EQ(Build(1024, 79, nullptr, 0), kMessageTable[79]);
    EXPECT_EQ(Build(1024, 0, nullptr, 0), "3");
    EXPECT_NE(Build(1024, 79, nullptr, 0).find("%s"), std::string::npos);
}

TEST(BuildMessage, ArgumentsFillPlaceholdersInOrder)
{
    MessageArg textNumber[] = {Text("map.dat"), Number(4096)};
    EXPECT_EQ(Build(1024, 355, textNumber, 2), "2FILE: Not enough memory to read map.dat (4096 bytes)");

    MessageArg numbers[] = {Number(12), Number(-3)};
    EXPECT_EQ(Build(1024, 95, numbers, 2), "1ZKSE: Scene 12 has an invalid state -3");

    MessageArg texts[] = {Text("cam1"), Text("hall")};
    EXPECT_EQ(Build(1024, 381, texts, 2), "4ZKAM: Camera definition cam1 is missing in scene hall");

    MessageArg three[] = {Text("save.dat"), Text("D:"), Text("Disk full.")};
    EXPECT_EQ(Build(1024, 354, three, 3),
              "2FILE: Not enough disk space to write save.dat to D: (Disk full.)");
}

TEST(BuildMessage, NumbersFollowTheirPlaceholder)
{
    MessageArg negative[] = {Number(-1)};
    EXPECT_EQ(Build(1024, 76, negative, 1), "1ZKSS_JR: Job 4294967295 started twice");
    MessageArg signedPair[] = {Number(5), Number(-7)};
    EXPECT_EQ(Build(1024, 336, signedPair, 2), "1GAME_JR: Task 5 returned -7");
}

TEST(BuildMessage, MismatchedArgumentsNeverCrash)
{
    MessageArg numberForText[] = {Number(42)};
    EXPECT_EQ(Build(1024, 79, numberForText, 1), "1ZKSE: Scene '42' not found");
    MessageArg textForNumber[] = {Text("seven")};
    EXPECT_EQ(Build(1024, 76, textForNumber, 1), "1ZKSS_JR: Job seven started twice");
    MessageArg tooFew[] = {Text("a.dat")};
    EXPECT_EQ(Build(1024, 5, tooFew, 1), "3The file a.dat cannot be opened.\n%s");
    MessageArg tooMany[] = {Text("x"), Text("y"), Text("z")};
    EXPECT_EQ(Build(1024, 79, tooMany, 3), "1ZKSE: Scene 'x' not found");
    MessageArg percent[] = {Text("100%s%u")};
    EXPECT_EQ(Build(1024, 79, percent, 1), "1ZKSE: Scene '100%s%u' not found");
}

TEST(BuildMessage, NumbersOutsideTheTableNameThemselves)
{
    EXPECT_EQ(Build(1024, 420, nullptr, 0), "1Message number 420 is not in the table");
    MessageArg arg[] = {Text("ignored")};
    EXPECT_EQ(Build(1024, 0xFFFFFFFFu, arg, 1), "1Message number 4294967295 is not in the table");
}

TEST(BuildMessage, LongMessagesAreCutWithinTheBuffer)
{
    std::string longText(3000, 'x');
    MessageArg arg[] = {Text(longText.c_str())};
    bool whole = true;
    std::string cut = Build(1024, 79, arg, 1, &whole);
    EXPECT_FALSE(whole);
    EXPECT_EQ(cut.size(), 1023u);
    EXPECT_EQ(cut.compare(0, 15, "1ZKSE: Scene 'x"), 0) << cut.substr(0, 40);

    EXPECT_EQ(Build(8, 79, nullptr, 0, &whole), "1ZKSE: ");
    EXPECT_FALSE(whole);
    EXPECT_EQ(Build(1, 79, arg, 1, &whole), "");
    EXPECT_FALSE(whole);
    EXPECT_EQ(Build(5, 420, nullptr, 0, &whole), "1Mes");
    EXPECT_FALSE(whole);
    char untouched = kSentinel;
    EXPECT_FALSE(BuildMessage(&untouched, 0, 79, nullptr, 0));
    EXPECT_EQ(untouched, kSentinel);
}

TEST(MessageProper, SkipsOnlyASeverityDigit)
{
    EXPECT_STREQ(MessageProper("1abc"), "abc");
    EXPECT_STREQ(MessageProper("4"), "");
    EXPECT_STREQ(MessageProper("5abc"), "5abc");
    EXPECT_STREQ(MessageProper("0abc"), "0abc");
    EXPECT_STREQ(MessageProper(""), "");
}

TEST(BuildBoxText, TheDigitChoosesTheLevelTemplate)
{
    for (int digit = 0; digit < 4; ++digit) {
        std::string message = std::string(1, char('1' + digit)) + "ZKSE: broken";
        std::string expected = kLevelTemplates[digit];
        expected.replace(expected.find("%s"), 2, "ZKSE: broken");
        EXPECT_EQ(Box(1024, message.c_str()), expected) << "severity " << digit + 1;
    }
    EXPECT_EQ(Box(1024, "3"), "");
    EXPECT_EQ(Box(1024, "3ZKSS: 50%u"), "ZKSS: 50%u");
    EXPECT_NE(Box(1024, "1x").find("Chyba:\nx"), std::string::npos);
}

TEST(BuildBoxText, UnknownDigitsShowTheWholeMessageAndLongTextsAreCut)
{
    EXPECT_EQ(Box(1024, "9odd"), "9odd");
    EXPECT_EQ(Box(1024, ""), "");
    std::string longMessage = "1" + std::string(3000, 'y');
    bool whole = true;
    std::string cut = Box(1024, longMessage.c_str(), &whole);
    EXPECT_FALSE(whole);
    EXPECT_EQ(cut.size(), 1023u);
    EXPECT_EQ(cut.compare(0, 9, "Provedli "), 0);
    EXPECT_EQ(Box(10, "2x", &whole), "Program d");
    EXPECT_FALSE(whole);
}
