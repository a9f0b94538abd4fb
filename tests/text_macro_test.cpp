#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "paths/macro_text.h"

namespace {

// Records the letters asked for and answers from a small table.
void TableLookup(char letter, char* out, size_t size, void* letters)
{
    *static_cast<std::string*>(letters) += letter;
    EXPECT_EQ(size_t(kMacroTextSize), size);
    EXPECT_EQ('\0', out[0]) << "lookup buffer not handed over empty";
    if (letter == 'W')
        strcpy(out, "C:\\WINDOWS");
    else if (letter == 'R')
        strcpy(out, "%W%%");
    else if (letter == 'Z')
        memset(out, 'z', size);   // no terminator: the expansion must cope
}

std::string Expand(const char* input, std::string* letters = nullptr, size_t size = 260)
{
    std::string local, buffer(size + 8, '\x7f');
    ExpandMacroText(input, &buffer[0], size, TableLookup, letters ? letters : &local);
    for (size_t i = size; i < buffer.size(); ++i)
        EXPECT_EQ('\x7f', buffer[i]) << "byte " << i << " written past the buffer";
    EXPECT_NE(nullptr, memchr(buffer.data(), '\0', size)) << "output not terminated";
    return buffer.c_str();
}

}  // namespace

TEST(ExpandMacroText, LettersAreLookedUpOnceAndNotScannedAgain)
{
    const struct {
        const char* input;
        const char* expected;
        const char* letters;
    } cases[] = {
        {"[%w][%R]", "[C:\\WINDOWS][%W%%]", "WR"},
        {"100%%%%W%", "100%%W", ""},
        {"a%xb%5c% d%\xe9", "abcd", "X5 \xe9"},   // only a to z change case
    };
    for (const auto& c : cases) {
        std::string letters;
        EXPECT_EQ(c.expected, Expand(c.input, &letters)) << c.input;
        EXPECT_EQ(c.letters, letters) << c.input;
    }
}

TEST(ExpandMacroText, LongResultsAreCutAndEveryLookupIsStillMade)
{
    std::string letters;
    EXPECT_EQ(std::string(259, 'a'), Expand((std::string(300, 'a') + "%W").c_str(), &letters));
    EXPECT_EQ("W", letters);
    EXPECT_EQ("C:\\WIN", Expand("%W\\x", nullptr, 7));
    EXPECT_EQ("ab", Expand("ab%%", nullptr, 3));
    EXPECT_EQ("", Expand("%W", nullptr, 1));
    EXPECT_EQ(std::string(259, 'z'), Expand("%Z%Z")) << "an unterminated lookup text is cut";
}
