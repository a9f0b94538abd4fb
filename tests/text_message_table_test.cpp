#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "diag/message_table.h"

namespace {

// The Czech letters of the built-in texts, UTF-8 to code page 1250.
std::string ToCp1250(const std::string& utf8)
{
    static const struct {
        const char* utf8;
        char cp1250;
    } letters[] = {
        {"á", '\xE1'}, {"č", '\xE8'}, {"ď", '\xEF'}, {"é", '\xE9'}, {"ě", '\xEC'},
        {"í", '\xED'}, {"ň", '\xF2'}, {"ó", '\xF3'}, {"ř", '\xF8'}, {"š", '\x9A'},
        {"ť", '\x9D'}, {"ú", '\xFA'}, {"ů", '\xF9'}, {"ý", '\xFD'}, {"ž", '\x9E'},
    };
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        bool matched = false;
        for (const auto& letter : letters) {
            size_t length = strlen(letter.utf8);
            if (utf8.compare(i, length, letter.utf8) == 0) {
                out += letter.cp1250;
                i += length;
                matched = true;
                break;
            }
        }
        if (!matched) {
            EXPECT_EQ(utf8[i] & 0x80, 0) << "unmapped byte at " << i << " of " << utf8;
            out += utf8[i++];
        }
    }
    return out;
}

// "NAME: " at the start of the message proper, or empty.
std::string ModuleOf(const char* row)
{
    const char* proper = row + 1;
    size_t length = strspn(proper, "ABCDEFGHIJKLMNOPQRSTUVWXYZ_");
    if (length == 0 || proper[length] != ':' || proper[length + 1] != ' ')
        return std::string();
    return std::string(proper, length);
}

struct Group {
    int first;
    int last;
    const char* module;   // "" none, nullptr a module of its own
    int severities[4];    // rows of severity 1, 2, 3, 4
};

const Group kGroups[] = {
    {0, 0, "", {0, 0, 1, 0}},
    {1, 2, "INIT", {0, 2, 0, 0}},
    {3, 9, "", {0, 0, 7, 0}},
    {10, 27, "RES", {0, 0, 0, 18}},
    {28, 73, "ZKSS", {37, 7, 2, 0}},
    {74, 74, "", {0, 0, 1, 0}},
    {75, 75, "ZKSS", {0, 0, 1, 0}},
    {76, 78, "ZKSS_JR", {3, 0, 0, 0}},
    {79, 223, "ZKSE", {134, 10, 0, 1}},
    {224, 248, "CTRL", {15, 1, 9, 0}},
    {249, 329, "GAME", {81, 0, 0, 0}},
    {330, 338, "GAME_JR", {9, 0, 0, 0}},
    {339, 340, "WIN", {2, 0, 0, 0}},
    {341, 341, "GLOBAL", {1, 0, 0, 0}},
    {342, 351, "WMA", {10, 0, 0, 0}},
    {352, 352, "MAIN", {1, 0, 0, 0}},
    {353, 353, "SAVE", {1, 0, 0, 0}},
    {354, 356, "FILE", {0, 2, 1, 0}},
    {357, 364, "COMPRESSION", {0, 0, 0, 8}},
    {365, 366, nullptr, {0, 0, 0, 2}},
    {367, 377, "HTML", {0, 0, 2, 9}},
    {378, 409, "ZKAM", {0, 0, 0, 32}},
    {410, 411, "WTIMER", {0, 0, 0, 2}},
    {412, 414, "CAMOVER", {0, 0, 0, 3}},
    {415, 415, nullptr, {0, 0, 1, 0}},
    {416, 416, "MTFORMAT", {0, 0, 1, 0}},
    {417, 418, "SYSTRAY", {2, 0, 0, 0}},
    {419, 419, nullptr, {0, 0, 1, 0}},
};

}  // namespace

TEST(MessageTable, RowsOpenWithSeverityDigitAndUseKnownPlaceholders)
{
    ASSERT_EQ(sizeof kMessageTable / sizeof kMessageTable[0], 420u);
    EXPECT_STREQ(kMessageTable[0], "3");
    int totals[4] = {};
    for (int n = 0; n < kMessageCount; ++n) {
        const char* row = kMessageTable[n];
        ASSERT_NE(row, nullptr) << "row " << n;
        ASSERT_TRUE(row[0] >= '1' && row[0] <= '4') << "row " << n << ": " << row;
        ++totals[row[0] - '1'];
        for (const char* p = strchr(row, '%'); p; p = strchr(p + 1, '%'))
            EXPECT_TRUE(p[1] == 's' || p[1] == 'u' || p[1] == 'i') << "row " << n << ": " << row;
    }
    EXPECT_EQ(totals[0], 296);
    EXPECT_EQ(totals[1], 22);
    EXPECT_EQ(totals[2], 27);
    EXPECT_EQ(totals[3], 75);
}

TEST(MessageTable, ModuleGroupsAndTheirSeverities)
{
    int next = 0;
    for (const Group& group : kGroups) {
        ASSERT_EQ(group.first, next) << "groups must cover every row once";
        next = group.last + 1;
        int counts[4] = {};
        std::string ownModule;
        for (int n = group.first; n <= group.last; ++n) {
            const char* row = kMessageTable[n];
            ++counts[row[0] - '1'];
            std::string module = ModuleOf(row);
            if (group.module) {
                EXPECT_EQ(module, group.module) << "row " << n << ": " << row;
                continue;
            }
            EXPECT_FALSE(module.empty()) << "row " << n << ": " << row;
            for (const Group& other : kGroups) {
                if (other.module)
                    EXPECT_NE(module, other.module) << "row " << n << ": " << row;
            }
            if (n == group.first)
                ownModule = module;
            EXPECT_EQ(module, ownModule) << "row " << n;
        }
        for (int s = 0; s < 4; ++s)
            EXPECT_EQ(counts[s], group.severities[s])
                << "rows " << group.first << "-" << group.last << ", severity " << s + 1;
    }
    EXPECT_EQ(next, kMessageCount);
}

TEST(MessageTable, RowSeventyFourIsCzechInCodePage1250)
{
    const char* row = kMessageTable[74];
    EXPECT_EQ(row[0], '3');
    EXPECT_EQ(ModuleOf(row), "");
    bool accented = false;
    for (const char* p = row; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        // Lead bytes of UTF-8 would mean the source was not converted.
        EXPECT_FALSE(c == 0xC3 || c == 0xC4 || c == 0xC5) << "UTF-8 in row 74: " << row;
        accented = accented || c >= 0x80;
    }
    EXPECT_TRUE(accented) << row;
}

TEST(MessageTable, LevelTemplatesAreTheCzechTextsInCodePage1250)
{
    EXPECT_EQ(std::string(kLevelTemplates[0]),
              ToCp1250("Provedli jste nestandartní operaci,\nkterá zapřičinila pád programu.\n"
                       "Aplikace je v pořádku a je použitelná.\n\nChyba:\n%s"));
    EXPECT_EQ(std::string(kLevelTemplates[1]),
              ToCp1250("Program detekoval, že systém neodpovídá jeho požadavkům.\n"
                       "Možnou příčinou je málo systémové nebo diskové paměti.\n"
                       "Uvolněte prosím nějakou ukončením\nprogramů na pozadí nebo restartem."
                       "\n\nChyba:\n%s"));
    EXPECT_STREQ(kLevelTemplates[2], "%s");
    EXPECT_EQ(std::string(kLevelTemplates[3]),
              ToCp1250("Program je špatně nainstalován.\nProsím přeinstalujte jej.\n\n"
                       "Chyba:\n%s"));
}
