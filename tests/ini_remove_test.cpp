#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "base/globals.h"
#include "engine/ini_remove.h"
#include "support/test_env.h"

using testenv::FileExists;
using testenv::ReadFileOrEmpty;
using testenv::WriteFileBytes;

namespace {

class RemoveIniLineTest : public ::testing::Test {
protected:
    void SetUp() override { g_restartNeeded = 0; }

    // Writes the file, removes line from section and returns the file.
    std::string RemoveFrom(const std::string& bytes, const char* section, const char* line)
    {
        g_restartNeeded = 0;
        EXPECT_TRUE(WriteFileBytes(ini_, bytes));
        RemoveIniLine(section, line, ini_.c_str());
        return ReadFileOrEmpty(ini_);
    }

    // The original is intact, no copy is left and no restart is asked for.
    void ExpectUntouched(const std::string& bytes)
    {
        EXPECT_EQ(bytes, ReadFileOrEmpty(ini_));
        EXPECT_EQ(0, g_restartNeeded);
        EXPECT_FALSE(FileExists(copy_)) << "a copy was left";
    }

    testenv::TempDir dir_{"ini"};
    std::string ini_ = dir_ / "test.ini";
    std::string copy_ = ini_ + "_";
};

}  // namespace

TEST_F(RemoveIniLineTest, WholeEqualLinesGoFromTheSectionOnly)
{
    const std::string longLine(1500, 'x'), s125(125, 's'), s126(126, 's');
    const struct {
        std::string bytes;
        const char* section;
        const char* line;
        std::string expected;   // empty: the file stays as it was
    } cases[] = {
        {"key=value\r\n[boot]\r\nkey=value\r\nother=1\r\nKEY=Value\r\n[drivers]\r\nkey=value\r\n"
         "[BOOT]\r\nkey=value\r\nlast=2\r\n", "boot", "key=value",
         "key=value\r\n[boot]\r\nother=1\r\n[drivers]\r\nkey=value\r\n[BOOT]\r\nlast=2\r\n\r\n"},
        {"[boot]\r\nkey = value\r\nkey=value2\r\n xkey=value\r\n", "boot", "key=value", ""},
        {"[boot]\r\n[boot]\r\n", "boot", "[boot]", ""},
        {"[Rename]\r\nNUL=C:\\X.DLL\r\nkeep=1\r\n", "rename", "nul=c:\\x.dll",
         "[Rename]\r\nkeep=1\r\n\r\n"},
        {"[rename] \r\nNUL=C:\\X.DLL\r\n[ rename]\r\nNUL=C:\\X.DLL\r\n[rename];note\r\n"
         "NUL=C:\\X.DLL\r\n", "rename", "NUL=C:\\X.DLL", ""},
        {"key=value\r\n[other]\r\nkey=value\r\n", "boot", "key=value", ""},
        // Rewritten with CR LF; a file ending in a line end gains one empty line.
        {"[s]\na=1\nb=2\n", "s", "a=1", "[s]\r\nb=2\r\n\r\n"},
        {"[s]\r\na=1\r\nb=2", "s", "a=1", "[s]\r\nb=2\r\n"},
        {"[s]\r\na=1\r\n\r\n", "s", "a=1", "[s]\r\n\r\n\r\n"},
        {"[s]\r\n" + longLine + "\r\na=1\r\nz=9\r\n", "s", "a=1",
         "[s]\r\n" + longLine.substr(0, 1023) + "\r\n" + longLine.substr(1023) + "\r\nz=9\r\n\r\n"},
        {"[" + s126 + "]\r\nk=v\r\n", s126.c_str(), "k=v", ""},
        {"[" + s125 + "]\r\nk=v\r\n", s125.c_str(), "k=v", "[" + s125 + "]\r\n\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 40));
        std::string result = RemoveFrom(c.bytes, c.section, c.line);
        if (c.expected.empty()) {
            ExpectUntouched(c.bytes);
        } else {
            EXPECT_EQ(c.expected, result);
            EXPECT_EQ(1, g_restartNeeded);
            EXPECT_FALSE(FileExists(copy_)) << "the copy must have taken the file's name";
        }
    }
}

TEST_F(RemoveIniLineTest, MissingFilesStayMissingAndOverlongPathsAreRefused)
{
    RemoveIniLine("boot", "key=value", ini_.c_str());
    EXPECT_FALSE(FileExists(ini_));
    ExpectUntouched("");
    // Paths of 258 and 259 characters: the second one's copy would not fit.
    for (size_t length : {258u, 259u}) {
        g_restartNeeded = 0;
        std::string path = dir_.Path() + std::string(length - dir_.Path().size(), 'p');
        ASSERT_TRUE(WriteFileBytes(path, "[s]\r\nk=v\r\n")) << path;
        RemoveIniLine("s", "k=v", path.c_str());
        EXPECT_EQ(length == 258 ? "[s]\r\n\r\n" : "[s]\r\nk=v\r\n", ReadFileOrEmpty(path))
            << length;
        EXPECT_EQ(length == 258 ? 1 : 0, g_restartNeeded) << length;
        DeleteFileA(path.c_str());
    }
}

TEST_F(RemoveIniLineTest, ABlockedCopyOrReplaceLeavesEverythingAsItWas)
{
    const std::string bytes = "[boot]\r\nkey=value\r\nother=1\r\n";
    for (bool directory : {true, false}) {
        ASSERT_TRUE(directory ? CreateDirectoryA(copy_.c_str(), nullptr)
                              : WriteFileBytes(copy_, "someone else's") &&
                                    SetFileAttributesA(copy_.c_str(), FILE_ATTRIBUTE_READONLY));
        RemoveFrom(bytes, "boot", "key=value");
        EXPECT_EQ(bytes, ReadFileOrEmpty(ini_));
        EXPECT_EQ(0, g_restartNeeded);
        EXPECT_EQ(directory ? "" : "someone else's", ReadFileOrEmpty(copy_)) << "what was there stays";
        SetFileAttributesA(copy_.c_str(), FILE_ATTRIBUTE_NORMAL);
        ASSERT_TRUE(directory ? RemoveDirectoryA(copy_.c_str()) : DeleteFileA(copy_.c_str()));
    }
    // The file held open without delete sharing, like a file in use.
    HANDLE holder = CreateFileA(ini_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    RemoveIniLine("boot", "key=value", ini_.c_str());
    CloseHandle(holder);
    ExpectUntouched(bytes);
}

TEST_F(RemoveIniLineTest, AFailedWriteOfTheCopyKeepsTheOriginal)
{
    // The tool runs with a file size limit of some kilobytes and SIGXFSZ
    // ignored: writing the copy of a 64 KB file fails part way, as on a full disk.
    const char* loader = getenv("WINELOADER");
    std::string tool = testenv::UnixPath(testenv::ProgramDir() + "ini_remove_tool.exe");
    if (!loader || tool.empty())
        GTEST_SKIP() << "needs Wine's loader to start the tool with a file size limit";
    const std::string bytes = "[boot]\r\nkey=value\r\n" + std::string(64 * 1024, ';') + "\r\n";
    ASSERT_TRUE(WriteFileBytes(ini_, bytes));
    const std::string result = dir_ / "result.txt";
    ASSERT_TRUE(testenv::StartUnixShell("trap '' XFSZ; ulimit -f 16; exec '" + std::string(loader) +
                                        "' '" + tool + "' boot key=value '" + ini_ + "' '" +
                                        result + "'"));
    for (int i = 0; i < 600 && !FileExists(result); ++i)
        Sleep(50);
    ASSERT_TRUE(FileExists(result)) << "the tool did not finish";
    EXPECT_EQ("0", ReadFileOrEmpty(result)) << "restart flag of the tool";
    EXPECT_TRUE(ReadFileOrEmpty(ini_) == bytes) << "the file changed";
    EXPECT_FALSE(FileExists(copy_)) << "the incomplete copy must be deleted";
}
