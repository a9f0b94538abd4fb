#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "engine/ini_remove.h"
#include "shell/globals.h"
#include "support/test_env.h"

using testenv::FileExists;
using testenv::ReadFileOrEmpty;
using testenv::WriteFileBytes;

namespace {

class RemoveIniLineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_restartNeeded = 0;
        ini_ = dir_ / "test.ini";
        copy_ = ini_ + "_";
    }

    // Writes the INI file, removes line from section and returns the file.
    std::string RemoveFrom(const std::string& bytes, const char* section, const char* line)
    {
        EXPECT_TRUE(WriteFileBytes(ini_, bytes));
        RemoveIniLine(section, line, ini_.c_str());
        return ReadFileOrEmpty(ini_);
    }

    // The original is intact, nothing of the rewrite is left, no restart.
    void ExpectUntouched(const std::string& bytes)
    {
        EXPECT_EQ(bytes, ReadFileOrEmpty(ini_));
        EXPECT_EQ(0, g_restartNeeded);
        EXPECT_FALSE(FileExists(ini_ + "~"));
    }

    testenv::TempDir dir_{"ini"};
    std::string ini_;
    std::string copy_;
};

}  // namespace

TEST_F(RemoveIniLineTest, EveryOccurrenceInTheSectionGoes)
{
    std::string result = RemoveFrom(
        "key=value\r\n"
        "[boot]\r\n"
        "key=value\r\n"
        "other=1\r\n"
        "KEY=Value\r\n"
        "[drivers]\r\n"
        "key=value\r\n"
        "[BOOT]\r\n"
        "key=value\r\n"
        "last=2\r\n",
        "boot", "key=value");
    EXPECT_EQ(
        "key=value\r\n"
        "[boot]\r\n"
        "other=1\r\n"
        "[drivers]\r\n"
        "key=value\r\n"
        "[BOOT]\r\n"
        "last=2\r\n"
        "\r\n",
        result);
    EXPECT_EQ(1, g_restartNeeded);
    EXPECT_FALSE(FileExists(copy_)) << "the copy must have taken the file's name";
}

TEST_F(RemoveIniLineTest, OnlyWholeEqualLinesMatch)
{
    const std::string spaced = "[boot]\r\nkey = value\r\nkey=value2\r\n xkey=value\r\n";
    RemoveFrom(spaced, "boot", "key=value");
    ExpectUntouched(spaced);

    const std::string headerOnly = "[boot]\r\n[boot]\r\n";
    RemoveFrom(headerOnly, "boot", "[boot]");
    ExpectUntouched(headerOnly);
}

TEST_F(RemoveIniLineTest, HeaderMatchesWholeIgnoringCase)
{
    EXPECT_EQ("[Rename]\r\nkeep=1\r\n\r\n",
              RemoveFrom("[Rename]\r\nNUL=C:\\X.DLL\r\nkeep=1\r\n", "rename", "nul=c:\\x.dll"));
    EXPECT_EQ(1, g_restartNeeded);

    g_restartNeeded = 0;
    const std::string trailing = "[rename] \r\nNUL=C:\\X.DLL\r\n[ rename]\r\nNUL=C:\\X.DLL\r\n"
                                 "[rename];note\r\nNUL=C:\\X.DLL\r\n";
    RemoveFrom(trailing, "rename", "NUL=C:\\X.DLL");
    ExpectUntouched(trailing);
}

TEST_F(RemoveIniLineTest, FileWithoutTheSectionIsNotRewritten)
{
    const std::string bytes = "key=value\r\n[other]\r\nkey=value\r\n";
    RemoveFrom(bytes, "boot", "key=value");
    ExpectUntouched(bytes);
    EXPECT_FALSE(FileExists(copy_));
}

TEST_F(RemoveIniLineTest, RewriteWritesCrLfAndOneReadPastTheEnd)
{
    EXPECT_EQ("[s]\r\nb=2\r\n\r\n", RemoveFrom("[s]\na=1\nb=2\n", "s", "a=1"))
        << "a file ending in a line end gains one empty line";
    EXPECT_EQ("[s]\r\nb=2\r\n", RemoveFrom("[s]\r\na=1\r\nb=2", "s", "a=1"))
        << "without a final line end nothing is added";
    EXPECT_EQ("[s]\r\n\r\n\r\n", RemoveFrom("[s]\r\na=1\r\n\r\n", "s", "a=1"));
    EXPECT_EQ(1, g_restartNeeded);
}

TEST_F(RemoveIniLineTest, LongLinesAreCopiedInPieces)
{
    std::string longLine(1500, 'x');
    std::string result = RemoveFrom("[s]\r\n" + longLine + "\r\na=1\r\nz=9\r\n", "s", "a=1");
    EXPECT_EQ("[s]\r\n" + longLine.substr(0, 1023) + "\r\n" + longLine.substr(1023) +
                  "\r\nz=9\r\n\r\n",
              result);
}

TEST_F(RemoveIniLineTest, MissingFileStaysMissing)
{
    RemoveIniLine("boot", "key=value", ini_.c_str());
    EXPECT_FALSE(FileExists(ini_));
    EXPECT_FALSE(FileExists(copy_));
    EXPECT_EQ(0, g_restartNeeded);
}

TEST_F(RemoveIniLineTest, OverlongSectionOrPathIsRefused)
{
    const std::string bytes = "[" + std::string(125, 's') + "]\r\nk=v\r\n[" +
                              std::string(126, 's') + "]\r\nk=v\r\n";
    EXPECT_TRUE(WriteFileBytes(ini_, bytes));
    RemoveIniLine(std::string(126, 's').c_str(), "k=v", ini_.c_str());
    ExpectUntouched(bytes);
    RemoveIniLine(std::string(125, 's').c_str(), "k=v", ini_.c_str());
    EXPECT_EQ("[" + std::string(125, 's') + "]\r\n[" + std::string(126, 's') + "]\r\nk=v\r\n\r\n",
              ReadFileOrEmpty(ini_));
    EXPECT_EQ(1, g_restartNeeded);

    // Paths of 258 and 259 characters: the second one's copy would not fit.
    for (size_t length : {258u, 259u}) {
        g_restartNeeded = 0;
        std::string path = dir_.Path() + std::string(length - dir_.Path().size(), 'p');
        ASSERT_EQ(length, path.size());
        ASSERT_TRUE(WriteFileBytes(path, "[s]\r\nk=v\r\n")) << path;
        RemoveIniLine("s", "k=v", path.c_str());
        EXPECT_EQ(length == 258 ? "[s]\r\n\r\n" : "[s]\r\nk=v\r\n", ReadFileOrEmpty(path))
            << "path length " << length;
        EXPECT_EQ(length == 258 ? 1 : 0, g_restartNeeded) << "path length " << length;
        DeleteFileA(path.c_str());
    }
}

TEST_F(RemoveIniLineTest, BlockedCopyPathLeavesEverythingAsItWas)
{
    const std::string bytes = "[boot]\r\nkey=value\r\nother=1\r\n";

    ASSERT_TRUE(CreateDirectoryA(copy_.c_str(), nullptr));
    RemoveFrom(bytes, "boot", "key=value");
    ExpectUntouched(bytes);
    EXPECT_TRUE(testenv::DirectoryExists(copy_)) << "a directory that was there stays";
    ASSERT_TRUE(RemoveDirectoryA(copy_.c_str()));

    ASSERT_TRUE(WriteFileBytes(copy_, "someone else's"));
    ASSERT_TRUE(SetFileAttributesA(copy_.c_str(), FILE_ATTRIBUTE_READONLY));
    RemoveFrom(bytes, "boot", "key=value");
    ExpectUntouched(bytes);
    EXPECT_EQ("someone else's", ReadFileOrEmpty(copy_)) << "a read-only file that was there stays";
    ASSERT_TRUE(SetFileAttributesA(copy_.c_str(), FILE_ATTRIBUTE_NORMAL));

    // Held open by someone who lets nobody else write it.
    HANDLE holder = CreateFileA(copy_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    RemoveFrom(bytes, "boot", "key=value");
    CloseHandle(holder);
    ExpectUntouched(bytes);
    EXPECT_EQ("someone else's", ReadFileOrEmpty(copy_));
}

TEST_F(RemoveIniLineTest, FailedWriteOfTheCopyKeepsTheOriginal)
{
    // The tool runs with a file size limit of some kilobytes, with SIGXFSZ
    // ignored: writing the copy of a 64 KB file fails part way, as on a full
    // disk, while reading the original is not limited.
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
    std::string after = ReadFileOrEmpty(ini_);
    EXPECT_EQ(bytes.size(), after.size());
    EXPECT_TRUE(after == bytes) << "the file changed; it begins " << after.substr(0, 40);
    EXPECT_FALSE(FileExists(copy_)) << "the incomplete copy must be deleted";
}

TEST_F(RemoveIniLineTest, FileThatCannotBeReplacedStays)
{
    const std::string bytes = "[boot]\r\nkey=value\r\nother=1\r\n";
    ASSERT_TRUE(WriteFileBytes(ini_, bytes));
    // Held open without delete sharing, like a file in use.
    HANDLE holder = CreateFileA(ini_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    RemoveIniLine("boot", "key=value", ini_.c_str());
    CloseHandle(holder);
    ExpectUntouched(bytes);
    EXPECT_FALSE(FileExists(copy_)) << "the unused copy must be deleted";

    RemoveIniLine("boot", "key=value", ini_.c_str());
    EXPECT_EQ("[boot]\r\nother=1\r\n\r\n", ReadFileOrEmpty(ini_)) << "works once released";
    EXPECT_EQ(1, g_restartNeeded);
}
