// Registry, file and INI operations of the engine on the real registry and
// file system of the prefix, on the NT branch and on the Windows 98 one.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/ini_remove.h"
#include "engine/removal.h"
#include "registry/registry.h"
#include "shell/globals.h"
#include "support/saved_state.h"
#include "support/test_env.h"

using namespace testenv;

namespace {

const char kSentinel = '\xAA';
const std::string kTop = "Software\\UninstTest";   // made under HKCU and HKLM
const std::string kCu = "HKEY_CURRENT_USER\\" + kTop, kLm = "HKEY_LOCAL_MACHINE\\" + kTop;

// Starts this program again to run one DISABLED_Child test (with the
// environment given in front of the loader when under a unix shell).
DWORD RunChild(const char* test)
{
    Process child;
    std::string command = "\"" + ProgramDir() + "engine_test.exe\" "
                          "--gtest_also_run_disabled_tests --gtest_filter=DISABLED_Child.";
    return child.Start(command + test) ? child.Wait(30000) : 0xdead;
}

class Registry : public testing::Test {
protected:
    ScopedKey user_{HKEY_CURRENT_USER, kTop};
    ScopedKey machine_{HKEY_LOCAL_MACHINE, kTop};
    RegistryAccessor registry_;
};

}  // namespace

TEST(RegistryAccessor, HoldsShlwapiOnlyWhileAlive)
{
    ASSERT_EQ(GetModuleHandleA("shlwapi.dll"), nullptr) << "left loaded by an earlier accessor";
    {
        RegistryAccessor registry;
        EXPECT_NE(GetModuleHandleA("shlwapi.dll"), nullptr);
    }
    EXPECT_EQ(GetModuleHandleA("shlwapi.dll"), nullptr);
}

TEST_F(Registry, ReadsByPathWithoutOverrunOrCreatingKeys)
{
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kTop, "Name", "hello"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kTop, "", "unnamed"));
    const struct { std::string path; const char* data; } cases[] = {
        {kCu + "\\Name", "hello"}, {kCu + "\\(DeFault)", "unnamed"}, {kCu + "\\", "unnamed"},
        {kCu + "/Name", nullptr}, {kCu + "\\Missing", nullptr}, {kCu + "\\NoKey\\Name", nullptr},
        {"HKEY_CURRENT_USER", nullptr}, {"hkey_current_user\\" + kTop + "\\Name", nullptr},
    };
    for (const auto& c : cases) {
        char buffer[32];
        memset(buffer, kSentinel, sizeof buffer);
        DWORD size = c.data ? DWORD(strlen(c.data) + 1) : 0;
        EXPECT_EQ(registry_.GetValueSize(c.path.c_str()), size) << c.path;
        EXPECT_EQ(registry_.ValueExists(c.path.c_str()), c.data != nullptr) << c.path;
        EXPECT_EQ(registry_.ReadValue(c.path.c_str(), buffer, size ? size : sizeof buffer),
                  c.data != nullptr) << c.path;
        if (!c.data)
            continue;
        EXPECT_STREQ(buffer, c.data);
        EXPECT_EQ(buffer[size], kSentinel) << c.path;
        memset(buffer, kSentinel, sizeof buffer);
        EXPECT_FALSE(registry_.ReadValue(c.path.c_str(), buffer, size - 1)) << "one byte short";
        EXPECT_EQ(std::string(buffer + size - 1, 4), std::string(4, kSentinel)) << c.path;
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTop + "\\NoKey")) << "reading created a key";
    // A value directly in a root key.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, "", "UninstTestRootValue", "top"));
    EXPECT_EQ(registry_.GetValueSize("HKEY_CURRENT_USER\\UninstTestRootValue"), 4u);
    EXPECT_TRUE(registry_.DeleteValue("HKEY_CURRENT_USER\\UninstTestRootValue"));
    EXPECT_FALSE(registry_.ValueExists("HKEY_CURRENT_USER\\UninstTestRootValue"));
}

TEST_F(Registry, WritesListsAndCounters)
{
    const char list[] = "first\0second\0";
    EXPECT_TRUE(registry_.WriteMultiString((kCu + "\\New\\Deeper\\List").c_str(), list, sizeof list));
    EXPECT_FALSE(registry_.WriteMultiString(("HKCU\\" + kTop + "\\X").c_str(), list, sizeof list));
    std::string data;
    DWORD type = 0;
    ASSERT_TRUE(GetValue(HKEY_CURRENT_USER, kTop + "\\New\\Deeper", "List", &data, &type));
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(data, std::string(list, sizeof list));

    const char* dll = "C:\\WINDOWS\\SYSTEM\\DEMO.DLL";   // value names keep their backslashes
    ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, kTop, dll, 3));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kTop, "Text", "1"));
    const struct { std::string key; const char* name; DWORD expected; } reads[] = {
        {kTop, dll, 3}, {kTop, "Text", 0}, {kTop, "Missing", 42}, {kTop + "\\NoKey", dll, 42},
    };
    for (const auto& r : reads)
        EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, r.key.c_str(), r.name, 42), r.expected)
            << r.key << " " << r.name;

    RegistryAccessor based(kTop.c_str());
    EXPECT_TRUE(based.WriteDword(HKEY_CURRENT_USER, "Sub", "N", 11));
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, (kTop + "\\Sub").c_str(), "N", 0), 11u);
    EXPECT_EQ(based.ReadDword(HKEY_CURRENT_USER, "Sub", "N", 0), 11u);
    // A key path of 255 characters fits; one more is refused, not cut to another key.
    std::string fits = kTop + "\\" + std::string(254 - kTop.size(), 'k');
    EXPECT_FALSE(registry_.WriteDword(HKEY_CURRENT_USER, (fits + "x").c_str(), "N", 1));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, fits));
    EXPECT_TRUE(registry_.WriteDword(HKEY_CURRENT_USER, fits.c_str(), "N", 1));
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, (fits + "x").c_str(), "N", 42), 42u);
}

TEST_F(Registry, DeletingAValuePrunesEmptiedKeysBelowTheTopLevel)
{
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kTop + "\\B\\C", "Only", "x"));
    EXPECT_TRUE(registry_.DeleteValue((kLm + "\\B\\C\\Only").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kTop));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software"));

    // The walk stops at a key that keeps a value, the unnamed one too.
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kTop + "\\B", "", "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kTop + "\\B\\C", "Only", "x"));
    EXPECT_TRUE(registry_.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, (kTop + "\\B\\C").c_str(), "Only"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kTop + "\\B\\C"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kTop + "\\B"));

    // Nothing deleted, nothing pruned.
    ScopedKey empty(HKEY_LOCAL_MACHINE, kTop + "\\Empty");
    EXPECT_FALSE(registry_.DeleteValue((kLm + "\\Empty\\Missing").c_str()));
    EXPECT_FALSE(registry_.DeleteValue((kLm + "\\NoKey\\Missing").c_str()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kTop + "\\Empty"));

    // A top-level key stays when emptied, also when reached by a doubled backslash.
    ScopedKey top(HKEY_CURRENT_USER, "UninstTestTop");
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, "UninstTestTop", "V", "x"));
    EXPECT_TRUE(registry_.DeleteValue("HKEY_CURRENT_USER\\UninstTestTop\\V"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "UninstTestTop"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, "UninstTestTop\\Sub", "V", "x"));
    EXPECT_TRUE(registry_.DeleteValueAndPrune(HKEY_CURRENT_USER, "UninstTestTop\\\\Sub", "V"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "UninstTestTop"));

    // Names too long for the walk's buffer count as content; a value name
    // over 99 characters is refused, not cut to another name.
    const std::string name(100, 'n'), name99(99, 'n');
    for (const std::string& key : {kTop + "\\Values", kTop + "\\Keys"}) {
        bool values = key == kTop + "\\Values";
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, values ? key : key + "\\" + name,
                              values ? name.c_str() : "V", "x"));
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, key, "Short", "x"));
        EXPECT_TRUE(registry_.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, key.c_str(), "Short"));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, key)) << key;
    }
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kTop + "\\Values", name99.c_str(), "x"));
    EXPECT_FALSE(registry_.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, (kTop + "\\Values").c_str(),
                                               name.c_str()));
    EXPECT_TRUE(registry_.ValueExists((kLm + "\\Values\\" + name99).c_str()));
}

// NT's RegDeleteKeyA refuses a key with subkeys: a deleted tree shows that
// DeleteKeyTree went through SHDeleteKeyA, held only while the accessor lives.
TEST_F(Registry, KeyTreesGoWithShDeleteKeyOnNtAndRegDeleteKeyOn98)
{
    ASSERT_EQ(registry_.IsNT(), 1);
    const std::string tree = kTop + "\\Uninstall\\Demo App";
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, tree + "\\Deep", "V", "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kTop, "Keep", "x"));
    EXPECT_TRUE(registry_.DeleteKeyTree((kLm + "\\Uninstall\\Demo App").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kTop + "\\Uninstall")) << "emptied parent";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kTop));
    EXPECT_FALSE(registry_.DeleteKeyTree((kLm + "\\Uninstall\\Demo App").c_str()));
    EXPECT_FALSE(registry_.DeleteKeyTree("HKEY_CURRENT_USER\\")) << "would name the root itself";

    // Windows 98: no Shlwapi.dll; Wine's RegDeleteKeyA then takes subkeys
    // too, and the pruning walk must not take one whose name it cannot read.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kTop + "\\Tree\\Sub", "V", "x"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kTop + "\\Long\\" + std::string(100, 's'), "V", "x"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kTop + "\\Long", "V", "x"));
    Win98Mode win98("engine_test.exe");
    EXPECT_EQ(RunChild("RegistryOn98"), 0x6u) << "bit 0: NT, 1: tree deleted, 2: value deleted, "
                                                  "3: shlwapi loaded";
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kTop + "\\Tree"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, kTop + "\\Long\\" + std::string(100, 's')));
}

TEST(DISABLED_Child, RegistryOn98)
{
    RegistryAccessor registry;
    ExitProcess(registry.IsNT() | (registry.DeleteKeyTree((kCu + "\\Tree").c_str()) ? 2 : 0) |
                (registry.DeleteValue((kCu + "\\Long\\V").c_str()) ? 4 : 0) |
                (GetModuleHandleA("shlwapi.dll") ? 8 : 0));
}

TEST(Removal, EmptiedDirectoriesGoUpToTheFirstThatHoldsSomething)
{
    TempDir root("rmdirs");
    const std::string top = root / "A";
    ASSERT_TRUE(MakeDirectories(top + "\\B\\C\\D") && MakeDirectories(root / "Empty"));
    ASSERT_TRUE(WriteFileBytes(top + "\\B\\C\\D\\still.here", "x"));
    RemoveEmptyDirectories((top + "\\B\\C\\D\\").c_str());
    EXPECT_TRUE(FileExists(top + "\\B\\C\\D\\still.here")) << "nothing inside is deleted";

    ASSERT_TRUE(WriteFileBytes(top + "\\keep.txt", "x"));
    DeleteFileA((top + "\\B\\C\\D\\still.here").c_str());
    RemoveEmptyDirectories((top + "\\B\\C\\D\\").c_str());
    EXPECT_FALSE(DirectoryExists(top + "\\B"));
    EXPECT_TRUE(FileExists(top + "\\keep.txt"));
    DeleteFileA((top + "\\keep.txt").c_str());
    RemoveEmptyDirectories((top + "\\").c_str());
    EXPECT_FALSE(DirectoryExists(top));
    EXPECT_TRUE(DirectoryExists(root / "Empty")) << "a sibling stays";
    // Empty or overlong text: a text cut to the buffer would name Empty itself.
    RemoveEmptyDirectories("");
    RemoveEmptyDirectories((root / "Empty" + std::string(300, 'x') + "\\").c_str());
    EXPECT_TRUE(DirectoryExists(root / "Empty"));
}

TEST(Removal, UnregistersModulesOnlyAndReleasesThem)
{
    TempDir dir("selfreg");
    const std::string marker = dir / "unregistered.txt", text = dir / "readme.dll";
    SetEnvironmentVariableA("SELFREG_MARKER", marker.c_str());
    ASSERT_TRUE(WriteFileBytes(text, "MZ but not really a module"));
    for (const std::string& path : {text, dir / "missing.dll", std::string()})
        UnregisterServerDll(path.c_str());
    EXPECT_FALSE(FileExists(marker));
    const std::string module = dir / "demoext.dll";
    ASSERT_TRUE(CopyFileA((ProgramDir() + "selfreg_module.dll").c_str(), module.c_str(), FALSE));
    UnregisterServerDll(module.c_str());
    EXPECT_EQ(ReadFileOrEmpty(marker), "unregistered\n");
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(DeleteFileA(module.c_str())) << "module still loaded: error " << GetLastError();
    SetEnvironmentVariableA("SELFREG_MARKER", nullptr);
}

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";

std::string Join(const std::vector<std::string>& strings)
{
    std::string data;
    for (const std::string& s : strings)
        data += s + '\0';
    return data;
}

std::string Nt(const std::string& path) { return "\\??\\" + path; }

// Each test starts without a pending list or WININIT.INI and hands back the prefix's own.
class AtNextStart : public testing::Test {
protected:
    void SetUp() override
    {
        g_isNT = 1;
        g_restartNeeded = 0;
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) == 0) {
            RegDeleteValueA(key, kPending);
            RegCloseKey(key);
        }
        DeleteFileA(wininit_.c_str());
        ASSERT_TRUE(MakeDirectories(app_));
    }
    void TearDown() override { g_isNT = 1; }

    std::string MakeFile(const std::string& name)
    {
        EXPECT_TRUE(WriteFileBytes(app_ + name, "content of " + name));
        return app_ + name;
    }
    static bool SetList(const std::vector<std::string>& strings)
    {
        return SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPending, REG_MULTI_SZ, Join(strings));
    }
    static std::string List()
    {
        std::string data;
        return GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &data) ? data : "<missing>";
    }

    SavedValue savedList_{HKEY_LOCAL_MACHINE, kSessionManager, kPending};
    std::string wininit_ = WindowsDir() + "\\WININIT.INI";
    SavedFile savedWininit_{wininit_};
    SavedFile savedBak_{WindowsDir() + "\\WININIT.BAK"};
    TempDir dir_{"pending"};
    std::string app_ = dir_ / "Demo App\\";
};

}  // namespace

// Files in use on NT, then one on 95/98, all deleted by the next start of Windows.
TEST_F(AtNextStart, LockedFilesOnBothFamiliesGoAtTheNextStart)
{
    const std::string first = MakeFile("one.dll"), second = MakeFile("two.dll");
    HANDLE lock = CreateFileA(first.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_FALSE(DeleteFileA(first.c_str())) << "the lock did not hold";
    ScheduleRemovalAtRestart(first.c_str());
    EXPECT_EQ(List(), Join({Nt(first), "", Nt(app_), "", ""}));
    ScheduleRemovalAtRestart(second.c_str());
    EXPECT_EQ(List(), Join({Nt(first), "", Nt(second), "", Nt(app_), "", ""}));
    EXPECT_TRUE(FileExists(first)) << "nothing may go before the restart";

    // 95/98: the short path in [rename] of WININIT.INI, not the directory.
    g_isNT = 0;
    TempDir other("win98");
    const std::string file = other / "demo application.exe";
    ASSERT_TRUE(WriteFileBytes(file, "x"));
    char shortPath[MAX_PATH] = "";
    GetShortPathNameA(file.c_str(), shortPath, sizeof shortPath);
    ASSERT_NE(file, shortPath) << "the name needs an 8.3 form of its own";
    const std::string line = std::string("NUL=") + shortPath;
    ScheduleRemovalAtRestart(file.c_str());
    EXPECT_EQ(ReadFileOrEmpty(wininit_), "[rename]\r\n" + line + "\r\n");
    EXPECT_EQ(g_restartNeeded, 0) << "nothing was withdrawn";
    EXPECT_EQ(List(), Join({Nt(first), "", Nt(second), "", Nt(app_), "", ""})) << "NT list touched";

    CloseHandle(lock);
    ASSERT_TRUE(RestartWindowsNow());
    EXPECT_FALSE(FileExists(first) || FileExists(second) || FileExists(file));
    EXPECT_FALSE(DirectoryExists(app_));
    EXPECT_TRUE(DirectoryExists(dir_.Path())) << "only the file's own directory is listed";
    EXPECT_TRUE(DirectoryExists(other.Path()));
    EXPECT_FALSE(FileExists(wininit_));
    EXPECT_NE(ReadFileOrEmpty(WindowsDir() + "\\WININIT.BAK").find(line), std::string::npos);
}

TEST_F(AtNextStart, EarlierListingsOfThePathAreWithdrawn)
{
    const std::string file = MakeFile("twice.dat");
    std::string lower = Nt(file);
    for (char& c : lower)
        c = char(tolower(static_cast<unsigned char>(c)));
    const std::vector<std::string> others = {"\\??\\C:\\Other\\old.dat", "!\\??\\C:\\Other\\new.dat",
                                             "\\??\\C:\\x", ""};
    std::vector<std::string> list = others;
    list.insert(list.end(), {lower, "", ""});
    ASSERT_TRUE(SetList(list));
    ScheduleRemovalAtRestart(file.c_str());
    ScheduleRemovalAtRestart(file.c_str());
    EXPECT_EQ(List(), Join(others) + Join({Nt(file), "", Nt(app_), "", ""}));

    // A source without a drive ends the walk; a lone withdrawn pair leaves the end mark.
    ASSERT_TRUE(SetList({"\\\\server\\share\\x", "", Nt(file), "", ""}));
    WithdrawPendingRemoval(file.c_str());
    EXPECT_EQ(List(), Join({"\\\\server\\share\\x", "", Nt(file), "", ""}));
    ASSERT_TRUE(SetList({Nt(file), "", ""}));
    WithdrawPendingRemoval(file.c_str());
    EXPECT_EQ(List(), std::string(1, '\0'));

    // An overlong path never lists a directory cut to another one.
    const std::string longDir = app_ + std::string(250, 'd') + "\\";
    const std::string longPath = longDir + std::string(100, 'f') + ".exe";
    ScheduleRemovalAtRestart(longPath.c_str());
    EXPECT_TRUE(List().find(Nt(app_)) == std::string::npos || List().find(Nt(longDir)) != std::string::npos)
        << List();

    // 95/98: an earlier line, in any case, is withdrawn with a restart; with
    // no short path (the file is gone) nothing is written.
    g_isNT = 0;
    char shortPath[MAX_PATH] = "";
    GetShortPathNameA(file.c_str(), shortPath, sizeof shortPath);
    std::string line = std::string("nul=") + shortPath;
    for (char& c : line)
        c = char(tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(WriteFileBytes(wininit_, "[rename]\r\n" + line + "\r\n"));
    ScheduleRemovalAtRestart(file.c_str());
    EXPECT_EQ(g_restartNeeded, 1);
    EXPECT_EQ(ReadFileOrEmpty(wininit_), "[rename]\r\nNUL=" + std::string(shortPath) + "\r\n");
    const std::string before = ReadFileOrEmpty(wininit_);
    const std::string missing = app_ + "never there.dll";
    ScheduleRemovalAtRestart(missing.c_str());
    WithdrawPendingRemoval(missing.c_str());
    EXPECT_EQ(ReadFileOrEmpty(wininit_), before);
}

namespace {

class IniLine : public testing::Test {
protected:
    // Writes bytes, removes line from section, and checks the outcome: the
    // file as expected (empty: as it was), no copy left, the restart flag.
    void Expect(const std::string& bytes, const std::string& section, const char* line,
                const std::string& expected, const std::string& path = std::string())
    {
        const std::string& file = path.empty() ? ini_ : path;
        g_restartNeeded = 0;
        ASSERT_TRUE(WriteFileBytes(file, bytes)) << file;
        RemoveIniLine(section.c_str(), line, file.c_str());
        EXPECT_EQ(ReadFileOrEmpty(file), expected.empty() ? bytes : expected) << bytes.substr(0, 60);
        EXPECT_EQ(g_restartNeeded, expected.empty() ? 0 : 1) << bytes.substr(0, 60);
        EXPECT_FALSE(FileExists(file + "_")) << "a copy was left";
    }

    TempDir dir_{"ini"};
    std::string ini_ = dir_ / "test.ini";
};

}  // namespace

TEST_F(IniLine, WholeEqualLinesGoFromTheSectionOnly)
{
    const std::string longLine(1500, 'x'), s125(125, 's'), s126(126, 's');
    const struct { std::string bytes, section; const char* line; std::string expected; } cases[] = {
        {"key=value\r\n[boot]\r\nkey=value\r\nother=1\r\nKEY=Value\r\n[drivers]\r\nkey=value\r\n"
         "[BOOT]\r\nkey=value\r\nlast=2\r\n", "boot", "key=value",
         "key=value\r\n[boot]\r\nother=1\r\n[drivers]\r\nkey=value\r\n[BOOT]\r\nlast=2\r\n\r\n"},
        {"[boot]\r\nkey = value\r\nkey=value2\r\n xkey=value\r\n", "boot", "key=value", ""},
        {"[boot]\r\n[boot]\r\n", "boot", "[boot]", ""},
        {"[rename] \r\nNUL=C:\\X.DLL\r\n[ rename]\r\nNUL=C:\\X.DLL\r\n[rename];note\r\n"
         "NUL=C:\\X.DLL\r\n", "rename", "NUL=C:\\X.DLL", ""},
        {"key=value\r\n[other]\r\nkey=value\r\n", "boot", "key=value", ""},
        {"[s]\na=1\nb=2\n", "s", "a=1", "[s]\r\nb=2\r\n\r\n"},
        {"[s]\r\na=1\r\nb=2", "s", "a=1", "[s]\r\nb=2\r\n"},
        {"[s]\r\n" + longLine + "\r\na=1\r\nz=9\r\n", "s", "a=1",
         "[s]\r\n" + longLine.substr(0, 1023) + "\r\n" + longLine.substr(1023) + "\r\nz=9\r\n\r\n"},
        {"[" + s126 + "]\r\nk=v\r\n", s126, "k=v", ""},
        {"[" + s125 + "]\r\nk=v\r\n", s125, "k=v", "[" + s125 + "]\r\n\r\n"},
    };
    for (const auto& c : cases)
        Expect(c.bytes, c.section, c.line, c.expected);
    // Paths of 258 and 259 characters: the second one's copy would not fit.
    for (size_t length : {258u, 259u}) {
        std::string path = dir_.Path() + std::string(length - dir_.Path().size(), 'p');
        Expect("[s]\r\nk=v\r\n", "s", "k=v", length == 258 ? "[s]\r\n\r\n" : "", path);
        DeleteFileA(path.c_str());
    }
    RemoveIniLine("boot", "key=value", (dir_ / "missing.ini").c_str());
    EXPECT_FALSE(FileExists(dir_ / "missing.ini") || FileExists(dir_ / "missing.ini_"));
}

// The file is replaced only by a complete copy: not when the copy's name is
// taken, the file is in use, or the disk fills up while copying.
TEST_F(IniLine, ABlockedCopyOrReplaceLeavesEverythingAsItWas)
{
    const std::string bytes = "[boot]\r\nkey=value\r\n" + std::string(64 * 1024, ';') + "\r\n";
    const std::string copy = ini_ + "_";
    ASSERT_TRUE(CreateDirectoryA(copy.c_str(), nullptr));
    Expect(bytes, "boot", "key=value", "");
    ASSERT_TRUE(RemoveDirectoryA(copy.c_str()));
    ASSERT_TRUE(WriteFileBytes(copy, "someone else's") &&
                SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_READONLY));
    RemoveIniLine("boot", "key=value", ini_.c_str());
    EXPECT_EQ(ReadFileOrEmpty(ini_), bytes);
    EXPECT_EQ(ReadFileOrEmpty(copy), "someone else's");
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(DeleteFileA(copy.c_str()));

    HANDLE holder = CreateFileA(ini_.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    RemoveIniLine("boot", "key=value", ini_.c_str());
    CloseHandle(holder);
    EXPECT_EQ(ReadFileOrEmpty(ini_), bytes);
    EXPECT_FALSE(FileExists(copy));

    // A child with a file size limit of 16 KB and SIGXFSZ ignored.
    const char* loader = getenv("WINELOADER");
    const std::string exe = UnixPath(ProgramDir() + "engine_test.exe"), flag = ini_ + ".flag";
    if (!loader || exe.empty())
        GTEST_SKIP() << "needs Wine's loader to start a child with a file size limit";
    ASSERT_TRUE(StartUnixShell("trap '' XFSZ; ulimit -f 16; UT_INI='" + ini_ + "' exec '" + loader +
                               "' '" + exe + "' --gtest_also_run_disabled_tests "
                               "--gtest_filter=DISABLED_Child.RemoveIniLine"));
    for (int i = 0; i < 600 && !FileExists(flag); ++i)
        Sleep(50);
    EXPECT_EQ(ReadFileOrEmpty(flag), "0") << "restart flag of the child";
    EXPECT_EQ(ReadFileOrEmpty(ini_), bytes);
    EXPECT_FALSE(FileExists(copy)) << "the incomplete copy must be deleted";
}

// Writes the restart flag aside and renames it, so it appears whole.
TEST(DISABLED_Child, RemoveIniLine)
{
    const std::string ini = getenv("UT_INI");
    RemoveIniLine("boot", "key=value", ini.c_str());
    WriteFileBytes(ini + ".part", std::to_string(g_restartNeeded));
    MoveFileA((ini + ".part").c_str(), (ini + ".flag").c_str());
}
