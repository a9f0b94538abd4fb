#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "engine/removal.h"
#include "support/test_env.h"

using namespace testenv;

namespace {

class RemoveEmptyDirectoriesTest : public ::testing::Test {
protected:
    TempDir root_{"rmdirs"};
};

}  // namespace

TEST_F(RemoveEmptyDirectoriesTest, ClimbsUntilADirectoryStillHoldsSomething)
{
    std::string top = root_ / "A";
    ASSERT_TRUE(MakeDirectories(top + "\\B\\C\\D"));
    ASSERT_TRUE(WriteFileBytes(top + "\\keep.txt", "x"));

    RemoveEmptyDirectories((top + "\\B\\C\\D\\").c_str());

    EXPECT_FALSE(DirectoryExists(top + "\\B\\C\\D"));
    EXPECT_FALSE(DirectoryExists(top + "\\B\\C"));
    EXPECT_FALSE(DirectoryExists(top + "\\B"));
    EXPECT_TRUE(DirectoryExists(top)) << "A holds keep.txt and must stay";
    EXPECT_TRUE(FileExists(top + "\\keep.txt"));
    EXPECT_TRUE(DirectoryExists(root_.Path()));
}

TEST_F(RemoveEmptyDirectoriesTest, StopsAtTheFirstDirectoryThatCannotGo)
{
    std::string top = root_ / "A";
    ASSERT_TRUE(MakeDirectories(top + "\\B\\C"));
    ASSERT_TRUE(MakeDirectories(root_ / "Empty"));
    ASSERT_TRUE(WriteFileBytes(top + "\\B\\C\\still.here", "x"));

    // C is not empty: nothing above it is touched, even though A would go.
    RemoveEmptyDirectories((top + "\\B\\C\\").c_str());
    EXPECT_TRUE(DirectoryExists(top + "\\B\\C"));
    EXPECT_TRUE(FileExists(top + "\\B\\C\\still.here"));

    // Nothing inside a directory is ever deleted, and a sibling stays.
    DeleteFileA((top + "\\B\\C\\still.here").c_str());
    RemoveEmptyDirectories((top + "\\B\\C\\").c_str());
    EXPECT_FALSE(DirectoryExists(top));
    EXPECT_TRUE(DirectoryExists(root_ / "Empty"));
}

TEST_F(RemoveEmptyDirectoriesTest, EmptyOrOverlongTextRemovesNothing)
{
    std::string empty = root_ / "E";
    ASSERT_TRUE(MakeDirectories(empty));
    RemoveEmptyDirectories("");
    EXPECT_TRUE(DirectoryExists(empty));

    // A text cut to the buffer would name another directory: E itself here.
    std::string longer = empty + std::string(300, 'x') + "\\";
    ASSERT_GT(longer.size(), 259u);
    RemoveEmptyDirectories(longer.c_str());
    EXPECT_TRUE(DirectoryExists(empty));
}

class UnregisterServerDllTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        marker_ = dir_ / "unregistered.txt";
        SetEnvironmentVariableA("SELFREG_MARKER", marker_.c_str());
    }
    void TearDown() override { SetEnvironmentVariableA("SELFREG_MARKER", nullptr); }

    TempDir dir_{"selfreg"};
    std::string marker_;
};

TEST_F(UnregisterServerDllTest, CallsTheExportOnceAndReleasesTheModule)
{
    std::string module = dir_ / "demoext.dll";
    ASSERT_TRUE(CopyFileA((ProgramDir() + "selfreg_module.dll").c_str(), module.c_str(), FALSE));

    UnregisterServerDll(module.c_str());

    EXPECT_EQ(ReadFileOrEmpty(marker_), "unregistered\n");
    EXPECT_EQ(GetModuleHandleA(module.c_str()), nullptr) << "module still loaded";
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(DeleteFileA(module.c_str())) << "error " << GetLastError();
}

TEST_F(UnregisterServerDllTest, FileThatIsNoModuleOrMissingIsLeftAlone)
{
    std::string text = dir_ / "readme.dll";
    ASSERT_TRUE(WriteFileBytes(text, "MZ but not really a module"));
    UnregisterServerDll(text.c_str());
    UnregisterServerDll((dir_ / "missing.dll").c_str());
    UnregisterServerDll("");

    EXPECT_FALSE(FileExists(marker_));
    EXPECT_EQ(ReadFileOrEmpty(text), "MZ but not really a module");
}
