#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "diag/message_table.h"

namespace {

// The Czech letters of the built-in texts, UTF-8 to code page 1250.
std::string ToCp1250(std::string text)
{
    const char* letters[][2] = {
        {"á", "\xE1"}, {"č", "\xE8"}, {"é", "\xE9"}, {"ě", "\xEC"}, {"í", "\xED"},
        {"ř", "\xF8"}, {"š", "\x9A"}, {"ů", "\xF9"}, {"ž", "\x9E"},
    };
    for (const auto& letter : letters)
        for (size_t at = text.find(letter[0]); at != std::string::npos; at = text.find(letter[0]))
            text.replace(at, strlen(letter[0]), letter[1]);
    return text;
}

// "NAME" of a message proper that starts "NAME: ", or empty.
std::string ModuleOf(const char* row)
{
    size_t length = strspn(row + 1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ_");
    return length && strncmp(row + 1 + length, ": ", 2) == 0 ? std::string(row + 1, length) : "";
}

}  // namespace

TEST(MessageTable, RowsSeveritiesAndModuleGroups)
{
    ASSERT_EQ(sizeof kMessageTable / sizeof kMessageTable[0], 420u);
    EXPECT_STREQ(kMessageTable[0], "3");
    // module: "" none, nullptr one of its own not used by any named group.
    const struct {
        int first, last;
        const char* module;
        int severities[4];
    } groups[] = {
        {0, 0, "", {0, 0, 1, 0}},           {1, 2, "INIT", {0, 2, 0, 0}},
        {3, 9, "", {0, 0, 7, 0}},           {10, 27, "RES", {0, 0, 0, 18}},
        {28, 73, "ZKSS", {37, 7, 2, 0}},    {74, 74, "", {0, 0, 1, 0}},
        {75, 75, "ZKSS", {0, 0, 1, 0}},     {76, 78, "ZKSS_JR", {3, 0, 0, 0}},
        {79, 223, "ZKSE", {134, 10, 0, 1}}, {224, 248, "CTRL", {15, 1, 9, 0}},
        {249, 329, "GAME", {81, 0, 0, 0}},  {330, 338, "GAME_JR", {9, 0, 0, 0}},
        {339, 340, "WIN", {2, 0, 0, 0}},    {341, 341, "GLOBAL", {1, 0, 0, 0}},
        {342, 351, "WMA", {10, 0, 0, 0}},   {352, 352, "MAIN", {1, 0, 0, 0}},
        {353, 353, "SAVE", {1, 0, 0, 0}},   {354, 356, "FILE", {0, 2, 1, 0}},
        {357, 364, "COMPRESSION", {0, 0, 0, 8}}, {365, 366, nullptr, {0, 0, 0, 2}},
        {367, 377, "HTML", {0, 0, 2, 9}},   {378, 409, "ZKAM", {0, 0, 0, 32}},
        {410, 411, "WTIMER", {0, 0, 0, 2}}, {412, 414, "CAMOVER", {0, 0, 0, 3}},
        {415, 415, nullptr, {0, 0, 1, 0}},  {416, 416, "MTFORMAT", {0, 0, 1, 0}},
        {417, 418, "SYSTRAY", {2, 0, 0, 0}}, {419, 419, nullptr, {0, 0, 1, 0}},
    };
    int next = 0, totals[4] = {};
    for (const auto& group : groups) {
        ASSERT_EQ(group.first, next) << "groups must cover every row once";
        next = group.last + 1;
        int counts[4] = {};
        for (int n = group.first; n <= group.last; ++n) {
            const char* row = kMessageTable[n];
            ASSERT_TRUE(row && row[0] >= '1' && row[0] <= '4') << "row " << n;
            ++counts[row[0] - '1'];
            ++totals[row[0] - '1'];
            for (const char* p = strchr(row, '%'); p; p = strchr(p + 1, '%'))
                EXPECT_TRUE(p[1] == 's' || p[1] == 'u' || p[1] == 'i') << row;
            std::string module = ModuleOf(row);
            if (group.module) {
                EXPECT_EQ(module, group.module) << "row " << n << ": " << row;
                continue;
            }
            EXPECT_EQ(module, ModuleOf(kMessageTable[group.first])) << "row " << n;
            for (const auto& other : groups)
                EXPECT_TRUE(module != "" && (!other.module || module != other.module)) << row;
        }
        for (int s = 0; s < 4; ++s)
            EXPECT_EQ(counts[s], group.severities[s]) << group.first << ", level " << s + 1;
    }
    EXPECT_EQ(next, kMessageCount);
    EXPECT_EQ(totals[0], 296);
    EXPECT_EQ(totals[1], 22);
    EXPECT_EQ(totals[2], 27);
    EXPECT_EQ(totals[3], 75);
}

TEST(MessageTable, CzechTextsAreInCodePage1250)
{
    for (const char* p = kMessageTable[74]; *p; ++p)   // UTF-8 lead bytes: not converted
        EXPECT_TRUE(*p != '\xC3' && *p != '\xC4' && *p != '\xC5') << kMessageTable[74];
    EXPECT_NE(std::string(kMessageTable[74]).find_first_of("\x9A\x9E\xE1\xE8\xE9\xEC\xED\xF8\xFD"),
              std::string::npos) << kMessageTable[74];
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
              ToCp1250("Program je špatně nainstalován.\nProsím přeinstalujte jej.\n\nChyba:\n%s"));
}
