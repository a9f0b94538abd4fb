#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "engine/removal.h"
#include "shell/globals.h"
#include "support/saved_state.h"
#include "support/test_env.h"

using namespace testenv;

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPendingValue[] = "PendingFileRenameOperations";

using Strings = std::vector<std::string>;

Strings SplitStrings(const std::string& data)
{
    Strings strings;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\0', start);
        if (end == std::string::npos) {
            strings.push_back(data.substr(start) + "<unterminated>");
            break;
        }
        strings.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

std::string JoinStrings(const Strings& strings)
{
    std::string data;
    for (const std::string& s : strings)
        data += s + '\0';
    return data;
}

std::string Printable(const Strings& strings)
{
    std::string text;
    for (const std::string& s : strings)
        text += "[" + s + "]";
    return text;
}

// The pending list as strings; "<missing>" when the value is absent.
Strings PendingStrings(DWORD* type = nullptr)
{
    std::string data;
    if (!GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, &data, type))
        return {"<missing>"};
    return SplitStrings(data);
}

bool SetPending(const Strings& strings, DWORD type = REG_MULTI_SZ)
{
    return SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, type,
                     JoinStrings(strings));
}

std::string Nt(const std::string& path) { return "\\??\\" + path; }

// Holds files open without FILE_SHARE_DELETE in a helper process.
class FileLock {
public:
    bool Hold(const Strings& files)
    {
        std::string ready = scratch_ / "ready";
        std::string command = "\"" + ProgramDir() + "lock_holder.exe\" \"" + ready + "\"";
        for (const std::string& file : files)
            command += " \"" + file + "\"";
        if (!process_.Start(command))
            return false;
        for (int i = 0; i < 500; ++i) {
            if (FileExists(ready))
                return true;
            if (process_.Wait(20) != STILL_ACTIVE)
                return false;
        }
        return false;
    }
    void Release() { process_.Kill(); }
    ~FileLock() { Release(); }

private:
    TempDir scratch_{"lock"};
    Process process_;
};

// Every test starts with no pending list and leaves the prefix's own list
// as it was.
class PendingRemovalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        OSVERSIONINFOA version = {};
        version.dwOSVersionInfoSize = sizeof version;
        ASSERT_TRUE(GetVersionExA(&version));
        ASSERT_EQ(version.dwPlatformId, DWORD(VER_PLATFORM_WIN32_NT));
        g_isNT = 1;
        DeletePending();
        app_ = dir_ / "Demo App";
        ASSERT_TRUE(MakeDirectories(app_));
    }

    static void DeletePending()
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) ==
            ERROR_SUCCESS) {
            RegDeleteValueA(key, kPendingValue);
            RegCloseKey(key);
        }
    }

    std::string MakeFile(const std::string& name)
    {
        std::string path = app_ + "\\" + name;
        EXPECT_TRUE(WriteFileBytes(path, "content of " + name));
        return path;
    }

    SavedValue savedList_{HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue};
    TempDir dir_{"pending"};
    std::string app_;
};

}  // namespace

TEST_F(PendingRemovalTest, LockedFileAndItsDirectoryGoAtTheNextStart)
{
    std::string file = MakeFile("demo.exe");
    FileLock lock;
    ASSERT_TRUE(lock.Hold({file}));
    SetLastError(0xdeadbeef);
    ASSERT_FALSE(DeleteFileA(file.c_str())) << "the lock did not hold";

    ScheduleRemovalAtRestart(file.c_str());

    EXPECT_EQ(Printable(PendingStrings()), Printable({Nt(file), "", Nt(app_ + "\\"), "", ""}));
    EXPECT_TRUE(FileExists(file)) << "nothing may go before the restart";

    lock.Release();
    ASSERT_TRUE(RestartWindowsNow());
    EXPECT_FALSE(FileExists(file));
    EXPECT_FALSE(DirectoryExists(app_));
    EXPECT_TRUE(DirectoryExists(dir_.Path())) << "only the file's own directory is listed";
}

TEST_F(PendingRemovalTest, TwoFilesOfOneDirectoryComeBeforeIt)
{
    std::string first = MakeFile("one.dll");
    std::string second = MakeFile("two.dll");
    FileLock lock;
    ASSERT_TRUE(lock.Hold({first, second}));

    ScheduleRemovalAtRestart(first.c_str());
    ScheduleRemovalAtRestart(second.c_str());

    EXPECT_EQ(Printable(PendingStrings()),
              Printable({Nt(first), "", Nt(second), "", Nt(app_ + "\\"), "", ""}));

    lock.Release();
    ASSERT_TRUE(RestartWindowsNow());
    EXPECT_FALSE(FileExists(first));
    EXPECT_FALSE(FileExists(second));
    EXPECT_FALSE(DirectoryExists(app_));
}

TEST_F(PendingRemovalTest, FileListedTwiceStandsOnceAndOtherPairsKeepTheirTargets)
{
    std::string file = MakeFile("twice.dat");
    Strings others = {"\\??\\C:\\Other\\old.dat", "!\\??\\C:\\Other\\new.dat",
                      "\\??\\C:\\Other\\gone.dat", ""};
    Strings initial = others;
    initial.push_back("");
    ASSERT_TRUE(SetPending(initial));

    ScheduleRemovalAtRestart(file.c_str());
    ScheduleRemovalAtRestart(file.c_str());

    Strings expected = others;
    for (const std::string& s : {Nt(file), std::string(), Nt(app_ + "\\"), std::string(),
                                 std::string()})
        expected.push_back(s);
    EXPECT_EQ(Printable(PendingStrings()), Printable(expected));
}

TEST_F(PendingRemovalTest, LetterCaseOfDriveAndDirectoriesIsIgnored)
{
    std::string file = MakeFile("case.dll");
    std::string lower = file;
    for (char& c : lower)
        c = char(tolower(static_cast<unsigned char>(c)));
    std::string upper = file;
    for (char& c : upper)
        c = char(toupper(static_cast<unsigned char>(c)));
    ASSERT_TRUE(SetPending({Nt(lower), "", Nt(upper), "", ""}));

    WithdrawPendingRemoval(file.c_str());

    DWORD type = 0;
    EXPECT_EQ(Printable(PendingStrings(&type)), Printable({""}));
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
}

TEST_F(PendingRemovalTest, SourceWithoutColonEndsTheWithdrawal)
{
    std::string file = MakeFile("after.dll");
    Strings initial = {"\\\\server\\share\\x.dat", "", Nt(file), "", ""};
    ASSERT_TRUE(SetPending(initial));

    WithdrawPendingRemoval(file.c_str());

    EXPECT_EQ(Printable(PendingStrings()), Printable(initial));
}

TEST_F(PendingRemovalTest, OnlyPairWithdrawnLeavesJustTheFinalEmptyString)
{
    std::string file = MakeFile("only.dll");
    ASSERT_TRUE(SetPending({Nt(file), "", ""}));

    WithdrawPendingRemoval(file.c_str());

    std::string data;
    DWORD type = 0;
    ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, &data, &type));
    EXPECT_EQ(data, std::string(1, '\0'));
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));

    // A later listing starts the list afresh after that empty string.
    ScheduleRemovalAtRestart(file.c_str());
    EXPECT_EQ(Printable(PendingStrings()), Printable({Nt(file), "", Nt(app_ + "\\"), "", ""}));
}

TEST_F(PendingRemovalTest, ListOfAnotherTypeOrMalformedIsNotWalkedPast)
{
    std::string file = MakeFile("odd.dll");

    // Binary data without any terminator: nothing can be compared.
    std::string raw = Nt(file);
    ASSERT_TRUE(SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, REG_BINARY, raw));
    WithdrawPendingRemoval(file.c_str());
    std::string data;
    DWORD type = 0;
    ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue, &data, &type));
    EXPECT_EQ(data, raw);
    EXPECT_EQ(type, DWORD(REG_BINARY));

    // An odd number of strings and no final empty string: the lone source
    // has no target and stays; the whole pair before it goes.
    ASSERT_TRUE(SetPending({Nt(file), "", Nt(file)}));
    WithdrawPendingRemoval(file.c_str());
    EXPECT_EQ(Printable(PendingStrings()), Printable({Nt(file)}));

    // A single string value: no target, so no pair to take out.
    ASSERT_TRUE(SetPending({Nt(file)}, REG_SZ));
    WithdrawPendingRemoval(file.c_str());
    EXPECT_EQ(Printable(PendingStrings(&type)), Printable({Nt(file)}));
    EXPECT_EQ(type, DWORD(REG_SZ));
}

namespace {

// The 95/98 branch runs in removal_probe.exe, to which Wine reports
// Windows 98; its exit code tells the platform (bit 1 = NT) and whether
// the restart-needed flag was set (bit 0).
class Win98RemovalTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        DeleteFileA(wininit_.c_str());
        DeleteFileA(wininitBak_.c_str());
        app_ = dir_ / "Demo App";
        ASSERT_TRUE(MakeDirectories(app_));
    }

    DWORD Probe(const char* operation, const std::string& path)
    {
        Process probe;
        std::string command = "\"" + ProgramDir() + "removal_probe.exe\" " + operation + " \"" +
                              path + "\"";
        if (!probe.Start(command))
            return 0xdead;
        DWORD code = probe.Wait(30000);
        probe.Kill();
        return code;
    }

    std::string MakeFile(const std::string& name)
    {
        std::string path = app_ + "\\" + name;
        EXPECT_TRUE(WriteFileBytes(path, "content of " + name));
        return path;
    }

    static std::string ShortPath(const std::string& path)
    {
        char buffer[MAX_PATH] = "";
        GetShortPathNameA(path.c_str(), buffer, sizeof buffer);
        return buffer;
    }

    // The key=value lines of [rename], as the profile functions read them.
    Strings RenameLines() const
    {
        char buffer[4096];
        DWORD length = GetPrivateProfileSectionA("rename", buffer, sizeof buffer, wininit_.c_str());
        return SplitStrings(std::string(buffer, length));
    }

    Strings Sections() const
    {
        char buffer[4096];
        DWORD length = GetPrivateProfileSectionNamesA(buffer, sizeof buffer, wininit_.c_str());
        return SplitStrings(std::string(buffer, length));
    }

    std::string wininit_ = WindowsDir() + "\\WININIT.INI";
    std::string wininitBak_ = WindowsDir() + "\\WININIT.BAK";
    SavedFile savedWininit_{wininit_};
    SavedFile savedBak_{wininitBak_};
    SavedValue savedList_{HKEY_LOCAL_MACHINE, kSessionManager, kPendingValue};
    Win98Mode win98_{"removal_probe.exe"};
    TempDir dir_{"win98"};
    std::string app_;
};

}  // namespace

TEST_F(Win98RemovalTest, LockedFileIsListedInWininitByItsShortPath)
{
    std::string file = MakeFile("demo application.exe");
    std::string shortPath = ShortPath(file);
    ASSERT_FALSE(shortPath.empty());
    ASSERT_NE(shortPath, file) << "the test needs a name without an 8.3 form of its own";
    Strings list = {"\\??\\C:\\Other\\x.dat", "", ""};
    ASSERT_TRUE(SetPending(list));
    FileLock lock;
    ASSERT_TRUE(lock.Hold({file}));

    EXPECT_EQ(Probe("schedule", file), 0u) << "not 95/98, or the flag was set";

    EXPECT_EQ(Printable(Sections()), Printable({"rename"}));
    EXPECT_EQ(Printable(RenameLines()), Printable({"NUL=" + shortPath}))
        << "one line for the file, none for its directory";
    EXPECT_EQ(Printable(PendingStrings()), Printable(list)) << "the NT list is not touched";

    // Wine's next start deletes the file, leaves the directory and keeps the
    // worked-off file as WININIT.BAK.
    lock.Release();
    SetPending({""});
    ASSERT_TRUE(RestartWindowsNow());
    EXPECT_FALSE(FileExists(file));
    EXPECT_TRUE(DirectoryExists(app_));
    EXPECT_FALSE(FileExists(wininit_));
    std::string bak = ReadFileOrEmpty(wininitBak_);
    EXPECT_NE(bak.find("NUL=" + shortPath), std::string::npos) << bak;
}

TEST_F(Win98RemovalTest, EarlierLinesForTheFileAreWithdrawn)
{
    std::string file = MakeFile("listed before.dll");
    std::string shortPath = ShortPath(file);
    std::string lowerShort = shortPath;
    for (char& c : lowerShort)
        c = char(tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(WriteFileBytes(wininit_, "[rename]\r\nNUL=" + shortPath + "\r\nNUL=C:\\OTHER.DAT\r\n"
                                         "nul=" + lowerShort + "\r\n"));
    FileLock lock;
    ASSERT_TRUE(lock.Hold({file}));

    EXPECT_EQ(Probe("schedule", file), 1u) << "the withdrawal sets the restart-needed flag";

    // The profile write replaces the section's first NUL= line, so another
    // program's listing that was left there is lost to this file's line.
    EXPECT_EQ(Printable(RenameLines()), Printable({"NUL=" + shortPath}));
}

TEST_F(Win98RemovalTest, SecondLockedFileTakesTheFirstOnesLine)
{
    std::string first = MakeFile("first file.dll");
    std::string second = MakeFile("second file.dll");
    FileLock lock;
    ASSERT_TRUE(lock.Hold({first, second}));

    EXPECT_EQ(Probe("schedule", first), 0u);
    EXPECT_EQ(Probe("schedule", second), 0u);

    EXPECT_EQ(Printable(RenameLines()), Printable({"NUL=" + ShortPath(second)}));
}

TEST_F(Win98RemovalTest, NothingIsWrittenWithoutAShortPath)
{
    std::string missing = app_ + "\\never there.dll";
    EXPECT_EQ(Probe("schedule", missing), 0u);
    EXPECT_FALSE(FileExists(wininit_));

    std::string before = "[rename]\r\nNUL=C:\\OTHER.DAT\r\n";
    ASSERT_TRUE(WriteFileBytes(wininit_, before));
    EXPECT_EQ(Probe("schedule", missing), 0u);
    EXPECT_EQ(Probe("schedule", ""), 0u);
    EXPECT_EQ(Probe("withdraw", missing), 0u);
    EXPECT_EQ(ReadFileOrEmpty(wininit_), before);
}

TEST_F(PendingRemovalTest, OverlongPathNeverListsACutDirectory)
{
    // The program path may be longer than a directory buffer holds; a cut
    // directory text would name some other directory.
    std::string directory = app_ + "\\" + std::string(250, 'd') + "\\";
    std::string path = directory + std::string(100, 'f') + ".exe";
    ASSERT_GT(directory.size(), 259u);

    ScheduleRemovalAtRestart(path.c_str());

    for (const std::string& s : PendingStrings())
        EXPECT_TRUE(s.empty() || s == Nt(path) || s == Nt(directory) || s == "<missing>")
            << "listed: " << s;
}
