#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "paths/macro_text.h"

namespace {

// Records every letter asked for and answers from a small table.
struct Lookups {
    std::string letters;
};

void TableLookup(char letter, char* out, size_t size, void* context)
{
    static_cast<Lookups*>(context)->letters += letter;
    EXPECT_EQ(size_t(kMacroTextSize), size);
    EXPECT_EQ('\0', out[0]) << "lookup buffer not handed over empty";
    switch (letter) {
    case 'W':
        strcpy(out, "C:\\WINDOWS");
        break;
    case 'I':
        strcpy(out, "C:\\Games\\X\\");
        break;
    case 'R':
        strcpy(out, "%W%%");
        break;
    case 'Z':
        memset(out, 'z', size);   // no terminator: the expansion must cope
        break;
    default:
        break;
    }
}

std::string Expand(const char* input, Lookups* lookups = nullptr, size_t size = 260)
{
    Lookups local;
    std::string buffer(size + 8, '\x7f');
    ExpandMacroText(input, &buffer[0], size, TableLookup, lookups ? lookups : &local);
    for (size_t i = size; i < buffer.size(); ++i)
        EXPECT_EQ('\x7f', buffer[i]) << "byte " << i << " written past the buffer";
    EXPECT_NE(nullptr, memchr(buffer.data(), '\0', size)) << "output not terminated";
    return buffer.c_str();
}

std::string Collapse(const char* text)
{
    std::string buffer = text;
    CollapseBackslashRuns(&buffer[0]);
    return buffer.c_str();
}

}  // namespace

TEST(ExpandMacroText, CopiesTextAndReplacesLetters)
{
    Lookups lookups;
    EXPECT_EQ("C:\\WINDOWS\\WININIT.INI", Expand("%W\\WININIT.INI", &lookups));
    EXPECT_EQ("W", lookups.letters);
    EXPECT_EQ("plain\\path.txt", Expand("plain\\path.txt"));
    EXPECT_EQ("", Expand(""));
    EXPECT_EQ("C:\\Games\\X\\\\uninstall.log", Expand("%I\\uninstall.log"));
    EXPECT_EQ("[C:\\WINDOWS][C:\\Games\\X\\]", Expand("[%W][%I]"));
}

TEST(ExpandMacroText, LowerCaseLettersAreUpperCasedBeforeTheLookup)
{
    Lookups lookups;
    EXPECT_EQ("C:\\WINDOWS\\a", Expand("%w\\a", &lookups));
    EXPECT_EQ("W", lookups.letters);
    lookups.letters.clear();
    Expand("%p%s%\xe9", &lookups);
    EXPECT_EQ("PS\xe9", lookups.letters) << "only a to z may change case";
}

TEST(ExpandMacroText, PercentSigns)
{
    Lookups lookups;
    EXPECT_EQ("100%", Expand("100%%", &lookups));
    EXPECT_EQ("%W", Expand("%%W", &lookups)) << "the second sign must not start a macro";
    EXPECT_EQ("%%", Expand("%%%%", &lookups));
    EXPECT_EQ("", lookups.letters) << "a doubled sign is no lookup";

    EXPECT_EQ("abc", Expand("abc%"));
    EXPECT_EQ("%", Expand("%%%"));
    EXPECT_EQ("", Expand("%"));
}

TEST(ExpandMacroText, UnknownLettersAndDigitsVanishWithTheirSign)
{
    Lookups lookups;
    EXPECT_EQ("ab", Expand("a%xb", &lookups));
    EXPECT_EQ("ab", Expand("a%5b", &lookups));
    EXPECT_EQ("ab", Expand("a% b", &lookups));
    EXPECT_EQ("X5 ", lookups.letters);
}

TEST(ExpandMacroText, ReplacementsAreNotScannedAgain)
{
    EXPECT_EQ("%W%%\\x", Expand("%R\\x"));
}

TEST(ExpandMacroText, LongResultsAreCutAndEveryLookupIsStillMade)
{
    Lookups lookups;
    std::string input(300, 'a');
    input += "%W";
    EXPECT_EQ(std::string(259, 'a'), Expand(input.c_str(), &lookups));
    EXPECT_EQ("W", lookups.letters);

    EXPECT_EQ("C:\\WIN", Expand("%W\\x", nullptr, 7));
    EXPECT_EQ("ab", Expand("ab%%", nullptr, 3));
    EXPECT_EQ("", Expand("%W", nullptr, 1));

    EXPECT_EQ(std::string(259, 'z'), Expand("%Z%Z"))
        << "an unterminated lookup text is cut at its buffer";
}

TEST(CollapseBackslashRuns, RunsBecomeOneBackslash)
{
    EXPECT_EQ("C:\\Games\\X\\uninstall.log", Collapse("C:\\Games\\X\\\\uninstall.log"));
    EXPECT_EQ("a\\b", Collapse("a\\\\\\\\b"));
    EXPECT_EQ("\\server\\share", Collapse("\\\\server\\share"));
    EXPECT_EQ("dir\\", Collapse("dir\\\\"));
    EXPECT_EQ("\\", Collapse("\\\\\\"));
    EXPECT_EQ("a/b//c", Collapse("a/b//c"));
    EXPECT_EQ("", Collapse(""));
}
