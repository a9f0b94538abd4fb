#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "text/path_split.h"

TEST(PathSplit, DirectoryPartEndsAtTheLastSeparatorOrDrive)
{
    const struct {
        const char* path;
        const char* directory;
    } cases[] = {
        {"C:\\Games\\Demo App\\map01.dat", "C:\\Games\\Demo App\\"},
        {"C:\\Games\\Demo App\\", "C:\\Games\\Demo App\\"},
        {"C:/a/b", "C:/a/"},
        {"\\\\server\\share\\f", "\\\\server\\share\\"},
        {"C:file.txt", "C:"},
        {"C:", "C:"},
        {"file.txt", ""},
        {"", ""},
        {"\"C:\\Program Files\\x.exe\" -q", "\"C:\\Program Files\\"},
    };
    for (const auto& c : cases) {
        char out[64];
        EXPECT_TRUE(CopyDirectoryPart(c.path, out, sizeof out)) << c.path;
        EXPECT_STREQ(out, c.directory) << c.path;
        EXPECT_EQ(DirectoryPartLength(c.path), strlen(c.directory)) << c.path;
    }
}

TEST(PathSplit, DirectoryThatDoesNotFitIsRefused)
{
    std::string path = "C:\\" + std::string(400, 'd') + "\\file";
    char out[270];
    memset(out, '#', sizeof out);
    EXPECT_FALSE(CopyDirectoryPart(path.c_str(), out, 260));
    EXPECT_STREQ(out, "");
    EXPECT_EQ(out[260], '#');
    EXPECT_FALSE(CopyDirectoryPart("C:\\a\\b", out, 5)) << "5 characters need 6 bytes";
    EXPECT_TRUE(CopyDirectoryPart("C:\\a\\b", out, 6));
    EXPECT_STREQ(out, "C:\\a\\");
}
