#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "engine/removal.h"
#include "support/test_env.h"

using namespace testenv;

TEST(RemoveEmptyDirectories, ClimbsUntilADirectoryStillHoldsSomething)
{
    TempDir root("rmdirs");
    std::string top = root / "A";
    ASSERT_TRUE(MakeDirectories(top + "\\B\\C\\D"));
    ASSERT_TRUE(MakeDirectories(root / "Empty"));
    ASSERT_TRUE(WriteFileBytes(top + "\\B\\C\\D\\still.here", "x"));

    // D is not empty: nothing above it is touched, and nothing in it deleted.
    RemoveEmptyDirectories((top + "\\B\\C\\D\\").c_str());
    EXPECT_TRUE(FileExists(top + "\\B\\C\\D\\still.here"));

    ASSERT_TRUE(WriteFileBytes(top + "\\keep.txt", "x"));
    DeleteFileA((top + "\\B\\C\\D\\still.here").c_str());
    RemoveEmptyDirectories((top + "\\B\\C\\D\\").c_str());
    EXPECT_FALSE(DirectoryExists(top + "\\B"));
    EXPECT_TRUE(FileExists(top + "\\keep.txt")) << "A holds keep.txt and must stay";

    DeleteFileA((top + "\\keep.txt").c_str());
    RemoveEmptyDirectories((top + "\\").c_str());
    EXPECT_FALSE(DirectoryExists(top));
    EXPECT_TRUE(DirectoryExists(root / "Empty")) << "a sibling stays";

    // Empty or overlong text: a text cut to the buffer would name Empty itself.
    RemoveEmptyDirectories("");
    RemoveEmptyDirectories((root / "Empty" + std::string(300, 'x') + "\\").c_str());
    EXPECT_TRUE(DirectoryExists(root / "Empty"));
}

TEST(UnregisterServerDll, CallsTheExportOfAModuleOnlyAndReleasesIt)
{
    TempDir dir("selfreg");
    std::string marker = dir / "unregistered.txt";
    SetEnvironmentVariableA("SELFREG_MARKER", marker.c_str());
    std::string text = dir / "readme.dll";
    ASSERT_TRUE(WriteFileBytes(text, "MZ but not really a module"));
    UnregisterServerDll(text.c_str());
    UnregisterServerDll((dir / "missing.dll").c_str());
    UnregisterServerDll("");
    EXPECT_FALSE(FileExists(marker));
    EXPECT_EQ(ReadFileOrEmpty(text), "MZ but not really a module");

    std::string module = dir / "demoext.dll";
    ASSERT_TRUE(CopyFileA((ProgramDir() + "selfreg_module.dll").c_str(), module.c_str(), FALSE));
    UnregisterServerDll(module.c_str());
    EXPECT_EQ(ReadFileOrEmpty(marker), "unregistered\n");
    EXPECT_EQ(GetModuleHandleA(module.c_str()), nullptr) << "module still loaded";
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(DeleteFileA(module.c_str())) << "error " << GetLastError();
    SetEnvironmentVariableA("SELFREG_MARKER", nullptr);
}
