// The engine, registry, path and language operations on the real registry,
// files and windows of the prefix, on the NT branch and on the 95/98 one.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "base/globals.h"
#include "engine/ini_remove.h"
#include "engine/removal.h"
#include "engine/shared_dll.h"
#include "language/language.h"
#include "paths/path_macros.h"
#include "registry/registry.h"
#include "resources/resource.h"
#include "support/saved_state.h"
#include "support/test_env.h"
#include "support/ui_driver.h"
#include "text/buf.h"

using namespace testenv;

namespace {

const char kNotFound[] = "___string not found___";
const std::string kTop = "UninstTest";   // directly under HKEY_CURRENT_USER
const std::string kCu = "HKEY_CURRENT_USER\\" + kTop + "\\";
const std::string kChildArgs = " --gtest_also_run_disabled_tests --gtest_filter=DISABLED_Child.";

void Unset(HKEY root, const std::string& subKey, const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(root, subKey.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

// Runs call while another thread answers each dialog of this process; the number answered.
int Answering(const std::function<void()>& call, const std::function<void(HWND)>& answer)
{
    std::atomic<bool> done{false};
    int answered = 0;
    std::thread driver([&] {
        for (HWND dialog; !done;) {
            if ((dialog = ui::WaitForWindow("#32770", nullptr, 50, GetCurrentProcessId()))) {
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

// Makes keys below kTop: "A\B=Name", "A=@" (the unnamed value), "A=" (no value), "=Name" (in kTop).
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

// kTop's values, then each key below it as Put takes it: "Keep A=@ A\B=Name"; "gone" without kTop.
std::string Listing(const std::string& below = "")
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, (kTop + below).c_str(), 0, KEY_READ, &key) != 0)
        return "gone";
    std::string text = below.empty() ? "" : " " + below.substr(1) + "=";
    char name[300];
    DWORD length;
    for (DWORD i = 0; length = sizeof name, RegEnumValueA(key, i, name, &length, 0, 0, 0, 0) == 0; ++i)
        text += std::string(i ? "," : "") + (name[0] ? name : "@");
    for (DWORD i = 0; length = sizeof name, RegEnumKeyExA(key, i, name, &length, 0, 0, 0, 0) == 0; ++i)
        text += Listing(below + "\\" + name);
    RegCloseKey(key);
    return text;
}

}  // namespace

TEST(Registry, ReadWriteAndDeleteByPath)
{
    ScopedKey top(HKEY_CURRENT_USER, kTop);
    RegistryAccessor registry;
    Put({"=Name", "=@"});
    for (const std::string name : {"(DeFault)", "", "Missing", "Missing\\Name"}) {
        const std::string path = kCu + name;
        const char* p = path.c_str();   // size, exists, one byte short, read, data
        char data[4] = "###";
        std::string seen = std::to_string(registry.GetValueSize(p)) + std::to_string(registry.ValueExists(p));
        seen += std::to_string(registry.ReadValue(p, data, 1)) + std::to_string(registry.ReadValue(p, data, 2));
        EXPECT_EQ(seen + std::string(data, 3), name.find("Missing") ? std::string("2101x\0#", 7) : "0000###") << name;
    }
    EXPECT_TRUE(registry.WriteMultiString((kCu + "A\\B\\List").c_str(), "a\0", 3));
    EXPECT_EQ(Listing(), "@,Name A= A\\B=List") << "reading made a key, or writing none";
    EXPECT_EQ(registry.ReadDword(HKEY_CURRENT_USER, kTop.c_str(), "Name", 42), 0u) << "a counter not a DWORD";

    // Every key a deletion empties goes, up to the one directly under the root.
    const std::string n100(100, 'n'), s100(100, 's');
    enum Call { Value, Prune, Tree };
    const struct { std::vector<std::string> put; Call call; std::string path; bool result;
                   std::string after; } cases[] = {
        {{"A\\B\\C=Only"}, Value, "A\\B\\C\\Only", true, ""},
        {{"A=@", "A\\B=Only"}, Value, "A\\B\\Only", true, " A=@"},
        {{"=V", "A="}, Value, "V", true, " A="},
        {{"A="}, Value, "A\\Missing", false, " A="},
        {{"A=V"}, Prune, "\\A\\V", true, ""},   // a doubled backslash must not reach kTop
        {{"A=" + n100, "A=Short"}, Prune, "A\\Short", true, " A=" + n100},
        {{"=Keep", "A\\Demo App\\Deep=V", "A\\Demo App=V"}, Tree, "A\\Demo App", true, "Keep"},   // NT's RegDeleteKeyA leaves trees
        {{"A=Keep", "A\\Demo App\\Deep=V"}, Tree, "A\\Demo App", true, " A=Keep"},
        {{"A=Keep"}, Tree, "A\\Demo App", false, " A=Keep"},
    };
    for (const auto& c : cases) {
        DeleteKeyTreeForTest(HKEY_CURRENT_USER, kTop);
        Put(c.put);
        const std::string path = kTop + "\\" + c.path, key = path.substr(0, path.rfind('\\'));
        bool result = c.call == Value ? registry.DeleteValue((kCu + c.path).c_str())
                    : c.call == Tree  ? registry.DeleteKeyTree((kCu + c.path).c_str())
                    : registry.DeleteValueAndPrune(HKEY_CURRENT_USER, key.c_str(), path.substr(key.size() + 1).c_str());
        EXPECT_EQ(std::to_string(result) + Listing(), std::to_string(c.result) + c.after) << c.path;
    }
    EXPECT_FALSE(registry.DeleteKeyTree("HKEY_CURRENT_USER\\")) << "would name the root itself";

    // On 95/98 Shlwapi.dll stays unloaded and Wine's RegDeleteKeyA takes
    // subkeys too, so pruning must not take one whose name it cannot read.
    Put({"Tree\\Sub=V", "Long\\" + s100 + "=V", "Long=V"});
    Win98Mode win98("engine_test.exe");
    Process child;
    ASSERT_TRUE(child.Start("\"" + ProgramDir() + "engine_test.exe\"" + kChildArgs + "RegistryOn98"));
    EXPECT_EQ(child.Wait(30000), 6u) << "bits: 1 NT, 2 tree deleted, 4 value deleted, 8 shlwapi";
    EXPECT_EQ(Listing(), " A=Keep Long= Long\\" + s100 + "=V");
}

TEST(DISABLED_Child, RegistryOn98)
{
    RegistryAccessor registry;
    ExitProcess(registry.IsNT() | (registry.DeleteKeyTree((kCu + "Tree").c_str()) ? 2 : 0) |
                (registry.DeleteValue((kCu + "Long\\V").c_str()) ? 4 : 0) | (GetModuleHandleA("shlwapi.dll") ? 8 : 0));
}

TEST(Removal, DirectoriesUpToTheFirstNotEmptyAndModules)
{
    EXPECT_EQ(GetModuleHandleA("shlwapi.dll"), nullptr) << "left loaded by a gone accessor";
    TempDir root("rmdirs");
    const std::string top = root / "A", deep = top + "\\B\\C\\";
    ASSERT_TRUE(MakeDirectories(deep) && WriteFileBytes(top + "\\keep", "x"));
    RemoveEmptyDirectories(deep.c_str());
    EXPECT_FALSE(DirectoryExists(top + "\\B"));

    // A module's DllUnregisterServer is called, and the module released.
    const std::string marker = root / "unregistered", module = root / "demoext.dll";
    SetEnvironmentVariableA("SELFREG_MARKER", marker.c_str());
    ASSERT_TRUE(CopyFileA((ProgramDir() + "selfreg_module.dll").c_str(), module.c_str(), FALSE));
    UnregisterServerDll(module.c_str());
    EXPECT_EQ(ReadFileOrEmpty(marker), "unregistered\n");
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(DeleteFileA(module.c_str())) << "module still loaded: error " << GetLastError();
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

}  // namespace

// Files listed on NT and on 95/98 go at the next start of Windows.
TEST(AtNextStart, FilesAndTheirDirectoryGoAtTheNextStart)
{
    SavedValue savedList(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    const std::string wininit = WindowsDir() + "\\WININIT.INI";
    SavedFile savedWininit(wininit), savedBak(WindowsDir() + "\\WININIT.BAK");
    TempDir dir("pending"), other("win98");
    const std::string app = dir / "Demo App\\", first = app + "one.dll", second = app + "two.dll";
    const std::string file = other / "demo application.exe";
    ASSERT_TRUE(MakeDirectories(app) && WriteFileBytes(first, "1") && WriteFileBytes(second, "2"));
    g_isNT = 1;
    g_restartNeeded = 0;
    DeleteFileA(wininit.c_str());
    // Other programs' pairs stay with their targets; the directory goes last.
    std::vector<std::string> list = {"C:\\Old.dat", "!\\??\\C:\\New.dat", "C:\\x", "", "c" + first.substr(1), "", app, ""};
    ASSERT_TRUE(SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPending, REG_MULTI_SZ, Join(list)));
    ScheduleRemovalAtRestart(first.c_str());
    ScheduleRemovalAtRestart(first.c_str());
    ScheduleRemovalAtRestart(second.c_str());
    list = {"C:\\Old.dat", "!\\??\\C:\\New.dat", "C:\\x", "", first, "", second, "", app, ""};
    std::string data;
    EXPECT_TRUE(GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &data) && data == Join(list)) << data;

    // 95/98: the short path in [rename] of WININIT.INI, not the directory; an
    // earlier line, in any case, is withdrawn with a restart.
    g_isNT = 0;
    char shortPath[MAX_PATH] = "";
    ASSERT_TRUE(WriteFileBytes(file, "x") && GetShortPathNameA(file.c_str(), shortPath, MAX_PATH));
    const std::string rename = std::string("[rename]\r\nNUL=") + shortPath + "\r\n";
    ScheduleRemovalAtRestart(file.c_str());
    EXPECT_EQ(ReadFileOrEmpty(wininit) + std::to_string(g_restartNeeded), rename + "0");
    ASSERT_TRUE(WriteFileBytes(wininit, "[rename]\r\nnul=c" + std::string(shortPath + 1) + "\r\n"));
    ScheduleRemovalAtRestart(file.c_str());
    EXPECT_EQ(ReadFileOrEmpty(wininit) + std::to_string(g_restartNeeded), rename + "1");
    EXPECT_TRUE(GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &data) && data == Join(list)) << data;

    ASSERT_TRUE(RestartWindowsNow());
    EXPECT_FALSE(FileExists(first) || FileExists(second) || FileExists(file) || DirectoryExists(app));
    EXPECT_TRUE(DirectoryExists(dir.Path()) && DirectoryExists(other.Path()));
    EXPECT_NE(ReadFileOrEmpty(WindowsDir() + "\\WININIT.BAK").find(shortPath), std::string::npos);
    g_isNT = 1;
}

TEST(IniLine, WholeEqualLinesGoFromTheSectionOnly)
{
    TempDir dir("ini");
    const std::string ini = dir / "test.ini", longLine(1500, 'x');
    const std::string p259 = dir.Path() + std::string(259 - dir.Path().size(), 'p');
    const struct { std::string bytes, section; const char* line; std::string expected, path = ""; } cases[] = {
        {"key=value\r\n[boot]\r\nkey=value\r\nother=1\r\nKEY=Value\r\n[drivers]\r\nkey=value\r\n"
         "[BOOT]\r\nkey=value\r\nlast=2\r\n", "boot", "key=value",
         "key=value\r\n[boot]\r\nother=1\r\n[drivers]\r\nkey=value\r\n[BOOT]\r\nlast=2\r\n\r\n"},
        {"[boot]\r\nkey = value\r\nkey=value2\r\n xkey=value\r\n[boot]\r\n", "boot", "key=value", ""},
        {"[boot]\r\n[boot]\r\n", "boot", "[boot]", ""},
        {"[rename] \r\nNUL=C:\\X.DLL\r\n[ rename]\r\nNUL=C:\\X.DLL\r\n[rename];note\r\n"
         "NUL=C:\\X.DLL\r\n", "rename", "NUL=C:\\X.DLL", ""},
        {"[s]\na=1\nb=2\n", "s", "a=1", "[s]\r\nb=2\r\n\r\n"},
        {"[s]\r\na=1\r\nb=2", "s", "a=1", "[s]\r\nb=2\r\n"},
        {"[s]\r\n" + longLine + "\r\na=1\r\nz=9\r\n", "s", "a=1",
         "[s]\r\n" + longLine.substr(0, 1023) + "\r\n" + longLine.substr(1023) + "\r\nz=9\r\n\r\n"},
        {"[s]\r\nk=v\r\n", "s", "k=v", "", p259},   // a copy's path cut to fit would be the file's
    };
    for (const auto& c : cases) {   // the file (empty: as it was) and the restart flag
        const std::string path = c.path.empty() ? ini : c.path;
        g_restartNeeded = 0;
        ASSERT_TRUE(WriteFileBytes(path, c.bytes)) << path;
        RemoveIniLine(c.section.c_str(), c.line, path.c_str());
        EXPECT_EQ(ReadFileOrEmpty(path) + std::to_string(g_restartNeeded),
                  c.expected.empty() ? c.bytes + "0" : c.expected + "1") << c.bytes.substr(0, 60);
        EXPECT_FALSE(FileExists(path + "_")) << "a copy was left";
    }
    // The file is replaced only by a complete copy: not while it is in use,
    // nor by a child whose file size limit (with SIGXFSZ ignored) fills its disk.
    const std::string big = "[boot]\r\nkey=value\r\n" + std::string(64 * 1024, ';') + "\r\n";
    ASSERT_TRUE(WriteFileBytes(ini, big));
    HANDLE holder = CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    RemoveIniLine("boot", "key=value", ini.c_str());
    CloseHandle(holder);
    ASSERT_TRUE(StartUnixShell("trap '' XFSZ; ulimit -f 16; UT_INI='" + ini + "' exec '" + getenv("WINELOADER") +
                               "' '" + UnixPath(ProgramDir() + "engine_test.exe") + "'" + kChildArgs + "Ini"));
    for (int i = 0; i < 600 && ReadFileOrEmpty(ini + ".flag").empty(); ++i)
        Sleep(50);
    EXPECT_EQ(std::to_string(g_restartNeeded) + ReadFileOrEmpty(ini + ".flag") + std::to_string(FileExists(ini + "_")) +
              std::to_string(ReadFileOrEmpty(ini) == big), "0001") << "restart flags here and in the child, copy left, file kept";
}

TEST(DISABLED_Child, Ini)
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

TEST_F(Texts, PathMacrosLanguageTextsAndChoice)
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

    // %A: an error box of fallback texts, no owner, OK only, then nothing.
    std::string expanded, box;
    EXPECT_EQ(Answering([&] { expanded = Expand("a%Ab"); }, [&](HWND window) {
        box = ui::WindowText(window) + "|" + ui::ControlText(window, 0xFFFF);
        box += std::string(GetWindow(window, GW_OWNER) ? " owned" : "") +   // 1088: the icon
               (ui::ControlVisible(window, IDCANCEL) ? " Cancel" : "") + (ui::ControlVisible(window, 1088) ? " icon" : "");
        ui::PressButton(window, IDOK);
    }), 1);
    EXPECT_EQ(expanded + "|" + box, "ab|" + std::string(kNotFound) + "|" + kNotFound + " icon");

    char text[64] = "";
    GetLangString(72, sizeof text, text);
    EXPECT_STREQ(text, "Remove Demo App from D:?\n");
    GetLangString(74, 12, text);
    EXPECT_EQ(text + std::string(text + 12), std::string(kNotFound).substr(0, 11) + "App from D:?\n");
    // The dialog lists the sections but general, preselects general/default
    // (by prefix, any case) or else Czech, and OK takes the selection.
    const std::string czech = "\xC8" "esky", three = "[English]\r\n[" + czech + "]\r\n[Deutsch]\r\n";
    const struct { std::string ini; int select, press, result, preselected; std::string chosen; } choices[] = {
        {"[GENERAL]\r\nx=1\r\n" + three, -1, IDOK, 1, 1, czech},
        {"[general]\r\ndefault=deu\r\n" + three, 0, IDOK, 1, 2, "English"},
        {"", -1, IDOK, 1, CB_ERR, ""},
        {three, 0, IDCANCEL, 0, 1, ""},
        {three, 0, WM_CLOSE, 0, 1, ""},
    };
    for (const auto& c : choices) {
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
            SendMessageA(combo, CB_SETCURSEL, c.select < 0 ? preselected : c.select, 0);
            PostMessageA(dialog, c.press == WM_CLOSE ? WM_CLOSE : WM_COMMAND, c.press == WM_CLOSE ? 0 : c.press, 0);
        });
        const std::string listed = c.ini.empty() ? "" : "English|" + czech + "|Deutsch|";
        EXPECT_EQ(items + std::to_string(result) + std::to_string(preselected) + g_currentLanguage,
                  listed + std::to_string(c.result) + std::to_string(c.preselected) + c.chosen);
    }
}

// A file directly in the system directory goes only once its SharedDLLs
// counter has run out and the user agrees; an answer for all holds.
TEST_F(Texts, SystemFileQuestion)
{
    SavedKeyValues savedCounters(HKEY_LOCAL_MACHINE, kSharedDlls);
    HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 9, 9, nullptr, nullptr, g_instance, nullptr);
    const std::string system = SystemDir() + "\\", sub = system + "UTsub\\";
    ASSERT_TRUE(MakeDirectories(sub));
    const struct { int before; std::string dir; DWORD count; int button; const char* outcome; } cases[] = {
        // outcome: result, counter left, attributes, questions asked, choice after
        {Ask, system, 1, IDC_SYSFILE_YES, "1 -1 writable 1 0"},
        {Ask, system, 0xFFFFFFFF, IDC_SYSFILE_NO, "0 -1 read-only 1 0"},
        {Ask, "c" + system.substr(1), 3, IDC_SYSFILE_YES, "0 2 read-only 0 0"},
        {Ask, system, 0xFFFFFFFF, IDC_SYSFILE_YES_ALL, "1 -1 writable 1 1"},
        {DeleteAll, system, 0xFFFFFFFF, IDC_SYSFILE_NO, "1 -1 writable 0 1"},
        {DeleteAll, system, 2, IDC_SYSFILE_YES, "0 1 read-only 0 1"},
        {Ask, system, 0xFFFFFFFF, IDC_SYSFILE_NO_ALL, "0 -1 read-only 1 2"},
        {KeepAll, system, 1, IDC_SYSFILE_YES, "0 -1 read-only 0 2"},
        {KeepAll, system, 0, IDC_SYSFILE_YES, "0 0 read-only 0 2"},
        {KeepAll, system, 0x80000001, IDC_SYSFILE_YES, "0 -2147483647 read-only 0 2"},
        {Ask, sub, 1, IDC_SYSFILE_NO, "1 1 writable 0 0"},
        {Ask, WindowsDir() + "\\", 1, IDC_SYSFILE_NO, "1 1 writable 0 0"},
    };
    std::string seen;
    for (const auto& c : cases) {
        const std::string path = c.dir + "UTABC.DLL";
        ASSERT_TRUE(WriteFileBytes(path, "x") &&
                    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
        if (c.count != 0xFFFFFFFF)
            SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), c.count);
        g_systemFileChoice = c.before;
        bool result = false;
        int asked = Answering([&] { result = ConfirmFileRemoval(owner, path.c_str()); }, [&](HWND question) {
            seen = ui::WindowText(question) + (GetWindow(question, GW_OWNER) == owner ? " owned" : "");
            for (int id : {IDC_SYSFILE_TEXT, IDC_SYSFILE_YES, IDC_SYSFILE_YES_ALL, IDC_SYSFILE_NO, IDC_SYSFILE_NO_ALL})
                seen += "|" + ui::ControlText(question, id);
            PostMessageA(question, WM_CLOSE, 0, 0);   // the close box and Esc must do nothing
            ui::PressButton(question, IDCANCEL);
            ui::PressButton(question, c.button);
        });
        LONG left = LONG(RegistryAccessor().ReadDword(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), 0xFFFFFFFF));
        EXPECT_EQ(std::to_string(result) + " " + std::to_string(left) +
                      (GetFileAttributesA(path.c_str()) == FILE_ATTRIBUTE_ARCHIVE ? " writable " : " read-only ") +
                      std::to_string(asked) + " " + std::to_string(g_systemFileChoice), c.outcome)
            << path << " " << c.count;
        EXPECT_TRUE(&c != cases || !KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls)) << "emptied key kept";
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        Unset(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str());
    }
    EXPECT_EQ(seen, "UTABC.DLL owned|Smazat Demo App?|Ano|Vse|Ne|Nic");
    RemoveTree(sub);
    DestroyWindow(owner);
}
