#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "language/text_escapes.h"

namespace {

std::string Expand(const char* in, const char* dir = "D:\\Games\\X\\", const char* product = "Demo App",
                   size_t size = 1024)
{
    char out[1100];
    memset(out, '#', sizeof out);
    ExpandTextEscapes(out, size, in, dir, product);
    EXPECT_EQ(out[size], '#') << "wrote past the buffer";
    return out;
}

}  // namespace

TEST(ExpandTextEscapes, ProductDriveOneAndLineBreak)
{
    EXPECT_EQ(Expand("Remove '%p'?\\nSure on %d (%n)"), "Remove 'Demo App'?\nSure on D: (1)");
    EXPECT_EQ(Expand("%d", "D:\\Games\\X\\"), "D:");
    EXPECT_EQ(Expand("%d", "C"), "C");
}

TEST(ExpandTextEscapes, OtherPercentPairsVanish)
{
    EXPECT_EQ(Expand("a%Pb"), "ab");
    EXPECT_EQ(Expand("100%% sure"), "100 sure");
    EXPECT_EQ(Expand("ends with %"), "ends with ");
    EXPECT_EQ(Expand("%"), "");
}

TEST(ExpandTextEscapes, BackslashOnlyEscapesN)
{
    EXPECT_EQ(Expand("C:\\temp\\x"), "C:\\temp\\x");
    EXPECT_EQ(Expand("trailing\\"), "trailing\\");
    EXPECT_EQ(Expand("\\N"), "\\N");
}

TEST(ExpandTextEscapes, ReplacementsAreNotScannedAgain)
{
    EXPECT_EQ(Expand("%p", "C:\\", "50%p\\n"), "50%p\\n");
}

TEST(ExpandTextEscapes, CutToTheCallersBuffer)
{
    EXPECT_EQ(Expand("abcdef", "C:\\", "x", 4), "abc");
    EXPECT_EQ(Expand("%p%p", "C:\\", "long product", 8), "long pr");
    EXPECT_EQ(Expand("x", "C:\\", "p", 1), "");
    std::string big(3000, 'z');
    EXPECT_EQ(Expand(big.c_str()).size(), 1023u);
}
