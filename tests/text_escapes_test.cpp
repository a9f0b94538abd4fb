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

TEST(ExpandTextEscapes, ProductDriveOneLineBreakAndNothingElse)
{
    EXPECT_EQ(Expand("Remove '%p'?\\nSure on %d (%n)"), "Remove 'Demo App'?\nSure on D: (1)");
    EXPECT_EQ(Expand("%d", "C"), "C");
    // Other percent pairs vanish; a backslash escapes only n; replacements are not scanned again.
    EXPECT_EQ(Expand("a%Pb 100%% sure %"), "ab 100 sure ");
    EXPECT_EQ(Expand("C:\\temp\\x \\N trailing\\"), "C:\\temp\\x \\N trailing\\");
    EXPECT_EQ(Expand("%p", "C:\\", "50%p\\n"), "50%p\\n");
}

TEST(ExpandTextEscapes, CutToTheCallersBuffer)
{
    EXPECT_EQ(Expand("abcdef", "C:\\", "x", 4), "abc");
    EXPECT_EQ(Expand("%p%p", "C:\\", "long product", 8), "long pr");
    EXPECT_EQ(Expand("x", "C:\\", "p", 1), "");
    EXPECT_EQ(Expand(std::string(3000, 'z').c_str()).size(), 1023u);
}
