#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "base/globals.h"
#include "engine/removal.h"
#include "support/saved_state.h"
#include "support/test_env.h"

using namespace testenv;

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

using Strings = std::vector<std::string>;

std::string Join(const Strings& strings)
{
    std::string data;
    for (const std::string& s : strings)
        data += s + '\0';
    return data;
}

// The pending list's raw data; "<missing>" when the value is absent.
std::string Pending(DWORD* type = nullptr)
{
    std::string data;
    return GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, &data, type) ? data
                                                                                     : "<missing>";
}

bool SetPending(const Strings& strings)
{
    return SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, REG_MULTI_SZ, Join(strings));
}

std::string Nt(const std::string& path) { return "\\??\\" + path; }

// Holds files open without FILE_SHARE_DELETE in a helper process.
struct FileLock {
    bool Hold(const Strings& files)
    {
        std::string ready = scratch / "ready";
        std::string command = "\"" + ProgramDir() + "lock_holder.exe\" \"" + ready + "\"";
        for (const std::string& file : files)
            command += " \"" + file + "\"";
        if (!process.Start(command))
            return false;
        for (int i = 0; i < 500 && !FileExists(ready); ++i)
            if (process.Wait(20) != STILL_ACTIVE)
                break;
        return FileExists(ready);
    }
    void Release() { process.Kill(); }

    TempDir scratch{"lock"};
    Process process;
};

// Each test starts without a pending list and hands back the prefix's own.
class PendingRemovalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_isNT = 1;
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) == 0) {
            RegDeleteValueA(key, kPendingValue);
            RegCloseKey(key);
        }
        ASSERT_TRUE(MakeDirectories(app_));
    }

    std::string MakeFile(const std::string& name)
    {
        std::string path = app_ + "\\" + name;
        EXPECT_TRUE(WriteFileBytes(path, "content of " + name));
        return path;
    }

    SavedValue savedList_{HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue};
    TempDir dir_{"pending"};
    std::string app_ = dir_ / "Demo App";
};

}  // namespace

TEST_F(PendingRemovalTest, LockedFilesAndThenTheirDirectoryGoAtTheNextStart)
{
    std::string first = MakeFile("one.dll");
    std::string second = MakeFile("two.dll");
    FileLock lock;
    ASSERT_TRUE(lock.Hold({first, second}));
    SetLastError(0xdeadbeef);
    ASSERT_FALSE(DeleteFileA(first.c_str())) << "the lock did not hold";

    ScheduleRemovalAtRestart(first.c_str());
    EXPECT_EQ(Pending(), Join({Nt(first), "", Nt(app_ + "\\"), "", ""}));
    ScheduleRemovalAtRestart(second.c_str());
    EXPECT_EQ(Pending(), Join({Nt(first), "", Nt(second), "", Nt(app_ + "\\"), "", ""}));
    EXPECT_TRUE(FileExists(first)) << "nothing may go before the restart";

    lock.Release();
    ASSERT_TRUE(RestartWindowsNow());
    EXPECT_FALSE(FileExists(first));
    EXPECT_FALSE(FileExists(second));
    EXPECT_FALSE(DirectoryExists(app_));
    EXPECT_TRUE(DirectoryExists(dir_.Path())) << "only the file's own directory is listed";
}

TEST_F(PendingRemovalTest, FileListedTwiceStandsOnceAndOtherPairsKeepTheirTargets)
{
    std::string file = MakeFile("twice.dat");
    Strings others = {"\\??\\C:\\Other\\old.dat", "!\\??\\C:\\Other\\new.dat", "\\??\\C:\\x", ""};
    Strings list = others;
    list.push_back("");
    ASSERT_TRUE(SetPending(list));

    ScheduleRemovalAtRestart(file.c_str());
    ScheduleRemovalAtRestart(file.c_str());
    EXPECT_EQ(Pending(), Join(others) + Join({Nt(file), "", Nt(app_ + "\\"), "", ""}));

    // The only pair withdrawn: the list is stored as just the final empty string.
    ASSERT_TRUE(SetPending({Nt(file), "", ""}));
    WithdrawPendingRemoval(file.c_str());
    DWORD type = 0;
    EXPECT_EQ(Pending(&type), std::string(1, '\0'));
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
}

TEST_F(PendingRemovalTest, OverlongPathNeverListsACutDirectory)
{
    std::string directory = app_ + "\\" + std::string(250, 'd') + "\\";
    std::string path = directory + std::string(100, 'f') + ".exe";
    ScheduleRemovalAtRestart(path.c_str());
    std::string list = Pending();
    EXPECT_TRUE(list == "<missing>" || list == Join({Nt(path), "", ""}) ||
                list == Join({Nt(path), "", Nt(directory), "", ""}))
        << list;
}

namespace {

// The 95/98 branch runs in removal_probe.exe, to which Wine reports
// Windows 98; its exit code has bit 1 set on NT and bit 0 when the
// restart-needed flag was set.
class Win98RemovalTest : public PendingRemovalTest {
protected:
    void SetUp() override
    {
        PendingRemovalTest::SetUp();
        DeleteFileA(wininit_.c_str());
        DeleteFileA(wininitBak_.c_str());
    }

    DWORD Probe(const char* operation, const std::string& path)
    {
        Process probe;
        if (!probe.Start("\"" + ProgramDir() + "removal_probe.exe\" " + operation + " \"" + path +
                         "\""))
            return 0xdead;
        return probe.Wait(30000);
    }

    // The key=value lines of [rename], as the profile functions read them.
    std::string RenameLines() const
    {
        char buffer[4096];
        DWORD length = GetPrivateProfileSectionA("rename", buffer, sizeof buffer, wininit_.c_str());
        return std::string(buffer, length);
    }

    std::string wininit_ = WindowsDir() + "\\WININIT.INI";
    std::string wininitBak_ = WindowsDir() + "\\WININIT.BAK";
    SavedFile savedWininit_{wininit_};
    SavedFile savedBak_{wininitBak_};
    Win98Mode win98_{"removal_probe.exe"};
};

}  // namespace

TEST_F(Win98RemovalTest, LockedFileIsListedInWininitByItsShortPath)
{
    std::string file = MakeFile("demo application.exe");
    char shortPath[MAX_PATH] = "";
    GetShortPathNameA(file.c_str(), shortPath, sizeof shortPath);
    ASSERT_NE(std::string(shortPath), file) << "the name needs an 8.3 form of its own";
    ASSERT_TRUE(SetPending({"\\??\\C:\\Other\\x.dat", "", ""}));
    FileLock lock;
    ASSERT_TRUE(lock.Hold({file}));

    EXPECT_EQ(Probe("schedule", file), 0u) << "not 95/98, or the flag was set";
    EXPECT_EQ(RenameLines(), Join({std::string("NUL=") + shortPath}))
        << "one line for the file, none for its directory";
    EXPECT_EQ(Pending(), Join({"\\??\\C:\\Other\\x.dat", "", ""})) << "the NT list is untouched";

    // An earlier line for the file, in any case, is withdrawn and flags a restart.
    std::string lower = shortPath;
    for (char& c : lower)
        c = char(tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(WriteFileBytes(wininit_, "[rename]\r\nnul=" + lower + "\r\n"));
    EXPECT_EQ(Probe("schedule", file), 1u);
    EXPECT_EQ(RenameLines(), Join({std::string("NUL=") + shortPath}));

    // Wine's next start deletes the file, leaves the directory and keeps the
    // worked-off file as WININIT.BAK.
    lock.Release();
    SetPending({""});
    ASSERT_TRUE(RestartWindowsNow());
    EXPECT_FALSE(FileExists(file));
    EXPECT_TRUE(DirectoryExists(app_));
    EXPECT_FALSE(FileExists(wininit_));
    EXPECT_NE(ReadFileOrEmpty(wininitBak_).find(std::string("NUL=") + shortPath), std::string::npos);
}

TEST_F(Win98RemovalTest, NothingIsWrittenWithoutAShortPath)
{
    std::string missing = app_ + "\\never there.dll";
    EXPECT_EQ(Probe("schedule", missing), 0u);
    EXPECT_FALSE(FileExists(wininit_));
    std::string before = "[rename]\r\nNUL=C:\\OTHER.DAT\r\n";
    ASSERT_TRUE(WriteFileBytes(wininit_, before));
    EXPECT_EQ(Probe("schedule", missing), 0u);
    EXPECT_EQ(Probe("withdraw", missing), 0u);
    EXPECT_EQ(ReadFileOrEmpty(wininit_), before);
}
