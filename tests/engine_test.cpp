// The engine, registry, path and language operations on the real registry,
// files and windows of the prefix, on the NT branch and on the 95/98 one.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "engine/ini_remove.h"
#include "engine/removal.h"
#include "engine/shared_dll.h"
#include "language/language.h"
#include "paths/path_macros.h"
#include "registry/registry.h"
#include "resources/resource.h"
#include "shell/buf.h"
#include "shell/dialogs.h"
#include "shell/globals.h"
#include "support/installation.h"
#include "support/saved_state.h"

using namespace testenv;

namespace {

const char kNotFound[] = "___string not found___";
const std::string kTop = "UninstTest";   // directly under HKEY_CURRENT_USER
const std::string kCu = "HKEY_CURRENT_USER\\" + kTop + "\\";

std::string Lower(std::string text)
{
    CharLowerBuffA(&text[0], DWORD(text.size()));
    return text;
}

void Unset(HKEY root, const std::string& subKey, const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

// Runs call while a second thread hands each dialog of this process to
// answer; returns how many it answered.
int Answering(const std::function<void()>& call, const std::function<void(HWND)>& answer)
{
    std::atomic<bool> done{false};
    int answered = 0;
    std::thread driver([&] {
        while (!done) {
            if (HWND dialog = ui::WaitForWindow("#32770", nullptr, 50, GetCurrentProcessId())) {
                answer(dialog);
                answered += ui::WaitForWindowGone(dialog, 5000);
            }
        }
    });
    call();
    done = true;
    driver.join();
    return answered;
}

// Makes keys below kTop and values in them: "A\B=Name", "A=@" (the unnamed
// value), "A=" (the key alone), "=Name" (a value of kTop).
void Put(const std::vector<std::string>& entries)
{
    for (const std::string& entry : entries) {
        size_t equals = entry.rfind('=');
        std::string key = kTop + (equals ? "\\" + entry.substr(0, equals) : ""), name = entry.substr(equals + 1);
        SetString(HKEY_CURRENT_USER, key, name.empty() ? "-" : name == "@" ? "" : name.c_str(), "x");
        if (name.empty())
            Unset(HKEY_CURRENT_USER, key, "-");
    }
}

// kTop's value names and the keys below it in the form Put takes, such as
// "Keep A=@ A\B=Name"; "gone" without kTop.
std::string Listing(const std::string& below = "")
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, (kTop + below).c_str(), 0, KEY_READ, &key) != 0)
        return "gone";
    std::string text = below.empty() ? "" : " " + below.substr(1) + "=";
    std::vector<std::string> subkeys;
    char name[300];
    DWORD length;
    for (DWORD i = 0; length = sizeof name, RegEnumValueA(key, i, name, &length, 0, 0, 0, 0) == 0; ++i)
        text += std::string(i ? "," : "") + (name[0] ? name : "@");
    for (DWORD i = 0; length = sizeof name, RegEnumKeyExA(key, i, name, &length, 0, 0, 0, 0) == 0; ++i)
        subkeys.push_back(below + "\\" + name);
    RegCloseKey(key);
    for (const std::string& subkey : subkeys)
        text += Listing(subkey);
    return text;
}

}  // namespace

TEST(Registry, ReadsAndWritesByPath)
{
    ScopedKey top(HKEY_CURRENT_USER, kTop);
    RegistryAccessor registry;
    Put({"=Name", "=@"});
    const std::pair<std::string, bool> reads[] = {
        {"Name", true}, {"(DeFault)", true}, {"", true}, {"Missing", false}, {"NoKey\\Name", false}};
    for (const auto& [name, exists] : reads) {
        const std::string path = kCu + name;
        char buffer[4] = "###";
        EXPECT_EQ(registry.GetValueSize(path.c_str()), exists ? 2u : 0u) << path;
        EXPECT_EQ(registry.ValueExists(path.c_str()), exists) << path;
        EXPECT_FALSE(registry.ReadValue(path.c_str(), buffer, 1)) << "one byte short: " << path;
        EXPECT_EQ(registry.ReadValue(path.c_str(), buffer, 2), exists) << path;
        EXPECT_EQ(std::string(buffer, 3), exists ? std::string("x\0#", 3) : "###");
    }
    const char list[] = "first\0second\0";
    EXPECT_TRUE(registry.WriteMultiString((kCu + "A\\B\\List").c_str(), list, sizeof list));
    std::string data;
    DWORD type = 0;
    EXPECT_TRUE(GetValue(HKEY_CURRENT_USER, kTop + "\\A\\B", "List", &data, &type));
    EXPECT_EQ(std::to_string(type) + ":" + data, "7:" + std::string(list, sizeof list));
    EXPECT_EQ(Listing(), "@,Name A= A\\B=List") << "reading created a key";

    // Counters are named by a file path; they read as 0 when not a DWORD.
    RegistryAccessor based(kTop.c_str());
    const char* dll = "C:\\WINDOWS\\SYSTEM\\DEMO.DLL";
    EXPECT_TRUE(based.WriteDword(HKEY_CURRENT_USER, "A", dll, 3));
    const struct { std::string key; const char* name; DWORD value; } counters[] = {
        {kTop + "\\A", dll, 3}, {kTop, "Name", 0}, {kTop, "Missing", 42}, {kTop + "\\B", dll, 42},
    };
    for (const auto& c : counters)
        EXPECT_EQ(registry.ReadDword(HKEY_CURRENT_USER, c.key.c_str(), c.name, 42), c.value) << c.name;
    // A key path of 255 characters fits; one more is refused, not cut to another key.
    const std::string fits = kTop + "\\" + std::string(254 - kTop.size(), 'k');
    EXPECT_FALSE(registry.WriteDword(HKEY_CURRENT_USER, (fits + "x").c_str(), "N", 1));
    EXPECT_TRUE(registry.WriteDword(HKEY_CURRENT_USER, fits.c_str(), "N", 1));
    EXPECT_EQ(registry.ReadDword(HKEY_CURRENT_USER, (fits + "x").c_str(), "N", 42), 42u);
}

// Every key a deletion empties goes, up to the one directly under the root.
TEST(Registry, DeletionPrunesEmptiedKeysBelowTheTopLevel)
{
    ScopedKey top(HKEY_CURRENT_USER, kTop);
    RegistryAccessor registry;
    const std::string n99(99, 'n'), n100(100, 'n'), s100(100, 's');
    enum Call { Value, Prune, Tree };
    const struct { std::vector<std::string> put; Call call; std::string path; bool result;
                   std::string after; } cases[] = {
        {{"A\\B\\C=Only"}, Value, "A\\B\\C\\Only", true, ""},
        {{"A=@", "A\\B=Only"}, Value, "A\\B\\Only", true, " A=@"},
        {{"=V", "A="}, Value, "V", true, " A="},
        {{"A="}, Value, "A\\Missing", false, " A="},
        {{"A=V"}, Prune, "\\A\\V", true, ""},   // a doubled backslash must not reach kTop
        {{"A=" + n100, "A=Short"}, Prune, "A\\Short", true, " A=" + n100},
        {{"A=" + n99}, Prune, "A\\" + n100, false, " A=" + n99},
        {{"=Keep", "A\\Demo App\\Deep=V", "A\\Demo App=V"}, Tree, "A\\Demo App", true, "Keep"},
        {{"A=Keep", "A\\Demo App\\Deep=V"}, Tree, "A\\Demo App", true, " A=Keep"},
        {{"A=Keep"}, Tree, "A\\Demo App", false, " A=Keep"},
    };
    ASSERT_EQ(registry.IsNT(), 1) << "NT's RegDeleteKeyA leaves trees: SHDeleteKeyA must be used";
    for (const auto& c : cases) {
        DeleteKeyTreeForTest(HKEY_CURRENT_USER, kTop);
        Put(c.put);
        const std::string path = kTop + "\\" + c.path, key = path.substr(0, path.rfind('\\'));
        bool result = c.call == Value ? registry.DeleteValue((kCu + c.path).c_str())
                    : c.call == Tree  ? registry.DeleteKeyTree((kCu + c.path).c_str())
                    : registry.DeleteValueAndPrune(HKEY_CURRENT_USER, key.c_str(),
                                                   path.substr(key.size() + 1).c_str());
        EXPECT_EQ(result, c.result) << c.path;
        EXPECT_EQ(Listing(), c.after) << c.path;
    }
    EXPECT_FALSE(registry.DeleteKeyTree("HKEY_CURRENT_USER\\")) << "would name the root itself";

    // On 95/98 Shlwapi.dll stays unloaded and Wine's RegDeleteKeyA takes
    // subkeys too, so pruning must not take one whose name it cannot read.
    Put({"Tree\\Sub=V", "Long\\" + s100 + "=V", "Long=V"});
    Win98Mode win98("engine_test.exe");
    Process child;
    ASSERT_TRUE(child.Start("\"" + ProgramDir() + "engine_test.exe\" --gtest_also_run_disabled_tests "
                            "--gtest_filter=DISABLED_Child.RegistryOn98"));
    EXPECT_EQ(child.Wait(30000), 6u) << "bits: 1 NT, 2 tree deleted, 4 value deleted, 8 shlwapi";
    EXPECT_EQ(Listing(), " A=Keep Long= Long\\" + s100 + "=V");
}

TEST(DISABLED_Child, RegistryOn98)
{
    RegistryAccessor registry;
    ExitProcess(registry.IsNT() | (registry.DeleteKeyTree((kCu + "Tree").c_str()) ? 2 : 0) |
                (registry.DeleteValue((kCu + "Long\\V").c_str()) ? 4 : 0) |
                (GetModuleHandleA("shlwapi.dll") ? 8 : 0));
}

TEST(Removal, DirectoriesUpToTheFirstNotEmptyAndModules)
{
    EXPECT_EQ(GetModuleHandleA("shlwapi.dll"), nullptr) << "left loaded by a gone accessor";
    TempDir root("rmdirs");
    const std::string top = root / "A", deep = top + "\\B\\C\\";
    ASSERT_TRUE(MakeDirectories(deep) && MakeDirectories(root / "Empty"));
    ASSERT_TRUE(WriteFileBytes(deep + "still.here", "x") && WriteFileBytes(top + "\\keep", "x"));
    RemoveEmptyDirectories(deep.c_str());
    EXPECT_TRUE(FileExists(deep + "still.here")) << "nothing inside is deleted";
    DeleteFileA((deep + "still.here").c_str());
    RemoveEmptyDirectories(deep.c_str());
    EXPECT_FALSE(DirectoryExists(top + "\\B"));
    EXPECT_TRUE(FileExists(top + "\\keep"));
    // Empty or overlong text: a text cut to the buffer would name Empty itself.
    RemoveEmptyDirectories("");
    RemoveEmptyDirectories((root / "Empty" + std::string(300, 'x') + "\\").c_str());
    EXPECT_TRUE(DirectoryExists(root / "Empty"));

    // Only a module's DllUnregisterServer is called, and the module released.
    const std::string marker = root / "unregistered", module = root / "demoext.dll";
    SetEnvironmentVariableA("SELFREG_MARKER", marker.c_str());
    for (const std::string& path : {top + "\\keep", root / "missing.dll", std::string()})
        UnregisterServerDll(path.c_str());
    EXPECT_FALSE(FileExists(marker));
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

// A REG_MULTI_SZ list of the strings, with "\??\" before each drive path.
std::string Join(const std::vector<std::string>& strings)
{
    std::string data;
    for (const std::string& text : strings)
        data += (text.size() > 1 && text[1] == ':' ? "\\??\\" + text : text) + '\0';
    return data + '\0';
}

std::string PendingList()
{
    std::string data;
    return GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &data) ? data : "missing";
}

}  // namespace

// Files in use on NT and on 95/98 go at the next start of Windows; listing
// a file again first withdraws its earlier listing.
TEST(AtNextStart, FilesInUseAndTheirDirectoryGoAtTheNextStart)
{
    SavedValue savedList(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    const std::string wininit = WindowsDir() + "\\WININIT.INI";
    SavedFile savedWininit(wininit), savedBak(WindowsDir() + "\\WININIT.BAK");
    TempDir dir("pending"), other("win98");
    const std::string app = dir / "Demo App\\", first = app + "one.dll", second = app + "two.dll";
    const std::string longDir = app + std::string(250, 'd') + "\\", file = other / "demo application.exe";
    ASSERT_TRUE(MakeDirectories(app) && WriteFileBytes(first, "1") && WriteFileBytes(second, "2"));
    g_isNT = 1;
    g_restartNeeded = 0;
    Unset(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    DeleteFileA(wininit.c_str());
    // An overlong path never lists a directory cut to another one.
    ScheduleRemovalAtRestart((longDir + "f.exe").c_str());
    EXPECT_TRUE(PendingList() == "missing" || PendingList() == Join({longDir + "f.exe", ""}) ||
                PendingList() == Join({longDir + "f.exe", "", longDir, ""})) << PendingList();

    // Other programs' pairs stay with their targets; the directory goes last.
    ASSERT_TRUE(SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPending, REG_MULTI_SZ,
                          Join({"C:\\Old.dat", "!\\??\\C:\\New.dat", "C:\\x", "", Lower(first), "", app, ""})));
    HANDLE lock = CreateFileA(first.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_FALSE(DeleteFileA(first.c_str())) << "the lock did not hold";
    ScheduleRemovalAtRestart(first.c_str());
    ScheduleRemovalAtRestart(first.c_str());
    EXPECT_EQ(PendingList(), Join({"C:\\Old.dat", "!\\??\\C:\\New.dat", "C:\\x", "", first, "", app, ""}));
    ScheduleRemovalAtRestart(second.c_str());
    const std::string list = Join({"C:\\Old.dat", "!\\??\\C:\\New.dat", "C:\\x", "", first, "", second, "", app, ""});
    EXPECT_EQ(PendingList(), list);

    // 95/98: the short path in [rename] of WININIT.INI, not the directory; an
    // earlier line, in any case, is withdrawn with a restart. A file with no
    // short path (it is gone) is not written.
    g_isNT = 0;
    char shortPath[MAX_PATH] = "";
    ASSERT_TRUE(WriteFileBytes(file, "x") && GetShortPathNameA(file.c_str(), shortPath, MAX_PATH));
    const std::string rename = std::string("[rename]\r\nNUL=") + shortPath + "\r\n";
    ScheduleRemovalAtRestart(file.c_str());
    EXPECT_EQ(ReadFileOrEmpty(wininit) + std::to_string(g_restartNeeded), rename + "0");
    ASSERT_TRUE(WriteFileBytes(wininit, Lower(rename)));
    ScheduleRemovalAtRestart(file.c_str());
    WithdrawPendingRemoval((app + "gone.dll").c_str());
    ScheduleRemovalAtRestart((app + "gone.dll").c_str());
    EXPECT_EQ(ReadFileOrEmpty(wininit) + std::to_string(g_restartNeeded), rename + "1");
    EXPECT_EQ(PendingList(), list) << "the NT list changed";

    CloseHandle(lock);
    ASSERT_TRUE(RestartWindowsNow());
    EXPECT_FALSE(FileExists(first) || FileExists(second) || FileExists(file) || DirectoryExists(app));
    EXPECT_TRUE(DirectoryExists(dir.Path()) && DirectoryExists(other.Path()));
    EXPECT_NE(ReadFileOrEmpty(WindowsDir() + "\\WININIT.BAK").find(shortPath), std::string::npos);
    g_isNT = 1;
}

namespace {

// Writes bytes to path and removes line from section: the file as expected
// (empty: as it was), no copy left, the restart flag set when it changed.
void ExpectRemoval(const std::string& path, const std::string& bytes, const std::string& section,
                   const char* line, const std::string& expected)
{
    g_restartNeeded = 0;
    ASSERT_TRUE(WriteFileBytes(path, bytes)) << path;
    RemoveIniLine(section.c_str(), line, path.c_str());
    EXPECT_EQ(ReadFileOrEmpty(path) + std::to_string(g_restartNeeded),
              expected.empty() ? bytes + "0" : expected + "1") << bytes.substr(0, 60);
    EXPECT_FALSE(FileExists(path + "_")) << "a copy was left";
}

}  // namespace

TEST(IniLine, WholeEqualLinesGoFromTheSectionOnly)
{
    TempDir dir("ini");
    const std::string ini = dir / "test.ini", longLine(1500, 'x'), s125(125, 's'), s126(126, 's');
    const struct { std::string bytes, section; const char* line; std::string expected; } cases[] = {
        {"key=value\r\n[boot]\r\nkey=value\r\nother=1\r\nKEY=Value\r\n[drivers]\r\nkey=value\r\n"
         "[BOOT]\r\nkey=value\r\nlast=2\r\n", "boot", "key=value",
         "key=value\r\n[boot]\r\nother=1\r\n[drivers]\r\nkey=value\r\n[BOOT]\r\nlast=2\r\n\r\n"},
        {"[boot]\r\nkey = value\r\nkey=value2\r\n xkey=value\r\n[boot]\r\n", "boot", "key=value", ""},
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
        ExpectRemoval(ini, c.bytes, c.section, c.line, c.expected);
    // Paths of 258 and 259 characters: the second one's copy would not fit.
    for (size_t length : {258u, 259u})
        ExpectRemoval(dir.Path() + std::string(length - dir.Path().size(), 'p'), "[s]\r\nk=v\r\n", "s",
                      "k=v", length == 258 ? "[s]\r\n\r\n" : "");
    RemoveIniLine("boot", "key=value", (dir / "missing.ini").c_str());
    EXPECT_FALSE(FileExists(dir / "missing.ini") || FileExists(dir / "missing.ini_"));
}

// The file is replaced only by a complete copy: not when the copy's name is
// taken, the file is in use, or the disk fills up while copying.
TEST(IniLine, ABlockedCopyOrReplaceLeavesTheFileAsItWas)
{
    TempDir dir("ini");
    const std::string ini = dir / "test.ini", copy = ini + "_", flag = ini + ".flag";
    const std::string bytes = "[boot]\r\nkey=value\r\n" + std::string(64 * 1024, ';') + "\r\n";
    ASSERT_TRUE(WriteFileBytes(copy, "someone else's") && WriteFileBytes(ini, bytes) &&
                SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_READONLY));
    RemoveIniLine("boot", "key=value", ini.c_str());
    EXPECT_EQ(ReadFileOrEmpty(ini) + "|" + ReadFileOrEmpty(copy), bytes + "|someone else's");
    SetFileAttributesA(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(DeleteFileA(copy.c_str()));
    HANDLE holder = CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    RemoveIniLine("boot", "key=value", ini.c_str());
    CloseHandle(holder);
    EXPECT_EQ(ReadFileOrEmpty(ini), bytes);
    EXPECT_FALSE(FileExists(copy));

    // A child with a file size limit of 16 KB and SIGXFSZ ignored.
    const char* loader = getenv("WINELOADER");
    const std::string exe = UnixPath(ProgramDir() + "engine_test.exe");
    ASSERT_TRUE(loader && !exe.empty()) << "needs Wine's loader to set a file size limit";
    ASSERT_TRUE(StartUnixShell("trap '' XFSZ; ulimit -f 16; UT_INI='" + ini + "' exec '" + loader +
                               "' '" + exe + "' --gtest_also_run_disabled_tests "
                               "--gtest_filter=DISABLED_Child.RemoveIniLine"));
    for (int i = 0; i < 600 && ReadFileOrEmpty(flag).empty(); ++i)
        Sleep(50);
    EXPECT_EQ(ReadFileOrEmpty(flag) + "|" + ReadFileOrEmpty(ini), "0|" + bytes) << "restart flag|file";
    EXPECT_FALSE(FileExists(copy)) << "the incomplete copy must be deleted";
}

TEST(DISABLED_Child, RemoveIniLine)
{
    const std::string ini = getenv("UT_INI");
    RemoveIniLine("boot", "key=value", ini.c_str());
    WriteFileBytes(ini + ".flag", std::to_string(g_restartNeeded));
}

namespace {

const char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// An installation directory with lang.ini, chosen as start-up does.
class Texts : public testing::Test {
protected:
    void SetUp() override
    {
        g_instance = GetModuleHandleA(nullptr);
        BufSet(g_installDir, sizeof g_installDir, dir_.Path().c_str());
        BufSet(g_macroDir, sizeof g_macroDir, "D:\\Copy\\");
        BufSet(g_productName, sizeof g_productName, "Demo App");
        BufSet(g_productKey, sizeof g_productKey, "DemoApp");
        ASSERT_TRUE(WriteFileBytes(dir_ / "lang.ini", "[English]\r\nstr72=Remove %p from %d?\\n%%\r\n"
            "str100=Ano\r\nstr101=Vse\r\nstr102=Ne\r\nstr103=Nic\r\nstr104=Smazat %p?\r\nreglang=en\r\n"));
        ASSERT_EQ(ChooseLanguage("lang.ini", "", "English"), 1);
    }

    TempDir dir_{"lang"};
};

// Expands text in place in a buffer of size bytes followed by sentinels.
std::string Expand(const std::string& text, size_t size = kPathSize)
{
    std::string buffer(size + 4, '#');
    BufSet(&buffer[0], size, text.c_str());
    ExpandPathMacros(&buffer[0], size);
    EXPECT_EQ(buffer.substr(size), "####") << "written past " << size;
    return buffer.c_str();
}

}  // namespace

TEST_F(Texts, PathMacros)
{
    const std::string windows = WindowsDir(), system = SystemDir();
    SavedValue user(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir");
    SavedValue machine(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir");
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir", "U:\\User"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir", "M:\\Machine"));
    const std::pair<const char*, std::string> cases[] = {
        {"%w\\WININIT.INI", windows + "\\WININIT.INI"}, {"%S|%s", system + "|" + system},
        {"%I\\uninstall.log", dir_.Path() + "uninstall.log"}, {"%f\\bin", "D:\\Copy\\bin"},
        {"%D %L", std::string("DemoApp ") + kNotFound}, {"a%C%U%%%xb", "a%b"},
        {"\\\\server\\\\\\share%", "\\server\\share"}, {"%p\\App", "U:\\User\\App"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Expand(c.first), c.second) << c.first;
    Unset(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir");
    EXPECT_EQ(Expand("%P\\App"), "M:\\Machine\\App");
    Unset(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir");
    EXPECT_EQ(Expand("%P\\App"), "C:\\Program Files\\App");
    // Cut to the caller's buffer after the backslash runs are collapsed.
    EXPECT_EQ(Expand("%W\\WININIT.INI", 8), windows.substr(0, 7));
    EXPECT_EQ(Expand("%W" + std::string(windows.size(), '\\') + "x", windows.size() + 4), windows + "\\x");

    // %A: an error box of fallback texts with no owner, then nothing.
    std::string expanded;
    EXPECT_EQ(Answering([&] { expanded = Expand("a%Ab"); }, [](HWND box) {
        EXPECT_EQ(ui::WindowText(box) + ui::ControlText(box, 0xFFFF), std::string(kNotFound) + kNotFound);
        EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
        EXPECT_FALSE(ui::ControlVisible(box, IDCANCEL)) << "more than an OK button";
        EXPECT_TRUE(ui::ControlVisible(box, 1088)) << "no icon shown";
        ui::PressButton(box, IDOK);
    }), 1);
    EXPECT_EQ(expanded, "ab");
}

TEST_F(Texts, LanguageTextsAndChoice)
{
    char text[64];
    memset(text, '#', sizeof text);
    GetLangString(72, 12, text);
    EXPECT_EQ(std::string(text, 13), std::string("Remove Demo\0#", 13)) << "cut to 12";
    const std::pair<std::function<void()>, const char*> fetches[] = {
        {[&] { GetLangString(72, sizeof text, text); }, "Remove Demo App from D:?\n"},
        {[&] { GetLangString(74, sizeof text, text); }, kNotFound},
        {[&] { GetNamedString("reglang", sizeof text, text); }, kNotFound},   // the file has no name
        {[&] { ChooseLanguage("lang.ini", "", "Klingon"); GetLangString(72, sizeof text, text); }, kNotFound},
    };
    for (const auto& fetch : fetches) {
        fetch.first();
        EXPECT_STREQ(text, fetch.second);
    }
    EXPECT_EQ(ChooseLanguage("lang.ini", "", std::string(300, 'L').c_str()), 1);
    EXPECT_EQ(std::string(g_currentLanguage), std::string(103, 'L'));

    // The dialog lists the sections but general, preselects general/default
    // (by prefix, any case) or else Czech, and OK takes the selection.
    const std::string czech = kCzechName, three = "[English]\r\n[" + czech + "]\r\n[Deutsch]\r\n";
    const struct { std::string ini; int select, press, result, preselected; std::string chosen; } cases[] = {
        {"[GENERAL]\r\nx=1\r\n" + three, -1, IDOK, 1, 1, czech},
        {"[general]\r\ndefault=deu\r\n" + three, -1, IDOK, 1, 2, "Deutsch"},
        {"[general]\r\ndefault=deu\r\n" + three, 0, IDOK, 1, 2, "English"},
        {"", -1, IDOK, 1, CB_ERR, ""},
        {three, 0, IDCANCEL, 0, 1, ""},
        {three, 0, WM_CLOSE, 0, 1, ""},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFileBytes(dir_ / "lang.ini", c.ini));
        g_currentLanguage[0] = '\0';
        std::string items;
        int result = -2, preselected = -2;
        Answering([&] { result = ChooseLanguage("lang.ini", "", ""); }, [&](HWND dialog) {
            HWND combo = GetDlgItem(dialog, IDC_LANGUAGE_LIST);
            char item[64];
            for (int i = 0; SendMessageA(combo, CB_GETLBTEXT, i, LPARAM(item)) != CB_ERR; ++i)
                items += std::string(item) + "|";
            preselected = int(SendMessageA(combo, CB_GETCURSEL, 0, 0));
            if (c.select >= 0)
                SendMessageA(combo, CB_SETCURSEL, c.select, 0);
            if (c.press == WM_CLOSE)
                PostMessageA(dialog, WM_CLOSE, 0, 0);
            else
                ui::PressButton(dialog, c.press);
        });
        EXPECT_EQ(result, c.result) << c.ini;
        EXPECT_EQ(items, c.ini.empty() ? "" : "English|" + czech + "|Deutsch|") << c.ini;
        EXPECT_EQ(preselected, c.preselected) << c.ini;
        EXPECT_EQ(g_currentLanguage, c.chosen) << c.ini;
    }
}

// Before a file directly in the system directory goes, its SharedDLLs
// counter is released, and once none is left the user is asked; an answer
// for all holds for the rest of the run.
TEST_F(Texts, SystemFileQuestion)
{
    SavedKeyValues savedCounters(HKEY_LOCAL_MACHINE, kSharedDlls);
    CreateDialogFonts();
    HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 9, 9, nullptr, nullptr, g_instance, nullptr);
    const std::string system = SystemDir() + "\\", sub = system + "UTsub\\";
    ASSERT_TRUE(MakeDirectories(sub));
    const DWORD kNone = DWORD(-1);
    const struct { int before; std::string dir; DWORD count; int button; const char* outcome; } cases[] = {
        // outcome: result, counter left, attributes, questions asked, choice after
        {Ask, system, 1, IDC_SYSFILE_YES, "1 -1 writable 1 0"},
        {Ask, system, kNone, IDC_SYSFILE_NO, "0 -1 read-only 1 0"},
        {Ask, Lower(system), 3, IDC_SYSFILE_YES, "0 2 read-only 0 0"},
        {Ask, system, kNone, IDC_SYSFILE_YES_ALL, "1 -1 writable 1 1"},
        {DeleteAll, system, kNone, IDC_SYSFILE_NO, "1 -1 writable 0 1"},
        {DeleteAll, system, 3, IDC_SYSFILE_YES, "0 2 read-only 0 1"},
        {Ask, system, kNone, IDC_SYSFILE_NO_ALL, "0 -1 read-only 1 2"},
        {KeepAll, system, 1, IDC_SYSFILE_YES, "0 -1 read-only 0 2"},
        {KeepAll, system, 0, IDC_SYSFILE_YES, "0 0 read-only 0 2"},
        {KeepAll, system, 0x80000001, IDC_SYSFILE_YES, "0 -2147483647 read-only 0 2"},
        {Ask, sub, 1, IDC_SYSFILE_NO, "1 1 writable 0 0"},
        {Ask, WindowsDir() + "\\", 1, IDC_SYSFILE_NO, "1 1 writable 0 0"},
        {Ask, dir_.Path(), 1, IDC_SYSFILE_NO, "1 1 writable 0 0"},
    };
    std::string seen;
    for (const auto& c : cases) {
        const std::string path = c.dir + "UTABC.DLL";
        ASSERT_TRUE(WriteFileBytes(path, "x") &&
                    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
        if (c.count != kNone)
            SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), c.count);
        g_systemFileChoice = c.before;
        bool result = false;
        int asked = Answering([&] { result = ConfirmFileRemoval(owner, path.c_str()); }, [&](HWND question) {
            RECT window, client;
            GetWindowRect(question, &window);
            GetClientRect(question, &client);
            bool centred = window.left == (GetSystemMetrics(SM_CXSCREEN) - client.right) / 2 &&
                           window.top == (GetSystemMetrics(SM_CYSCREEN) - client.bottom) / 2;
            seen = ui::WindowText(question) + (centred ? " centred" : " off-centre") +
                   (GetWindow(question, GW_OWNER) == owner ? " owned" : " not owned");
            for (int id : {IDC_SYSFILE_TEXT, IDC_SYSFILE_YES, IDC_SYSFILE_YES_ALL, IDC_SYSFILE_NO, IDC_SYSFILE_NO_ALL})
                seen += "|" + ui::ControlText(question, id);
            PostMessageA(question, WM_CLOSE, 0, 0);   // the close box and Esc must do nothing
            ui::PressButton(question, IDCANCEL);
            ui::PressButton(question, c.button);
        });
        std::string counter;
        LONG left = GetValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), &counter)
                        ? *reinterpret_cast<const LONG*>(counter.data()) : -1;
        EXPECT_EQ(std::to_string(result) + " " + std::to_string(left) +
                      (GetFileAttributesA(path.c_str()) == FILE_ATTRIBUTE_ARCHIVE ? " writable " : " read-only ") +
                      std::to_string(asked) + " " + std::to_string(g_systemFileChoice), c.outcome)
            << path << ", counter " << c.count;
        EXPECT_TRUE(&c != cases || !KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls)) << "emptied key kept";
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        Unset(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str());
    }
    EXPECT_EQ(seen, "UTABC.DLL centred owned|Smazat Demo App?|Ano|Vse|Ne|Nic");
    RemoveTree(sub);
    DestroyWindow(owner);
    DeleteDialogFonts();
}
