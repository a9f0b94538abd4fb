// The engine, registry, path and language operations on the real registry,
// files and windows of the prefix, on the NT branch and on the 95/98 one.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "base/globals.h"
#include "engine/ini_remove.h"
#include "engine/removal.h"
#include "engine/shared_dll.h"
#include "language/language.h"
#include "paths/path_macros.h"
#include "registry/registry.h"
#include "resources/resource.h"
#include "support/test_env.h"
#include "support/ui_driver.h"
#include "text/buf.h"

using namespace testenv;
using std::string;
using std::to_string;

namespace {

const string kNotFound = "___string not found___";
const string kTop = "UninstTest";   // directly under HKEY_CURRENT_USER
const string kCu = "HKEY_CURRENT_USER\\" + kTop + "\\";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";
const char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// Runs call while another thread answers each dialog of this process; the number answered.
int Answering(const std::function<void()>& call, const std::function<void(HWND)>& answer)
{
    std::atomic<bool> done{false};
    int answered = 0;
    std::thread driver([&] {
        for (HWND dialog; !done;)
            if ((dialog = ui::WaitForWindow("#32770", nullptr, 50, GetCurrentProcessId()))) {
                answer(dialog);
                answered += ui::WaitForWindowGone(dialog, 5000);
            }
    });
    call();
    done = true;
    driver.join();
    return answered;
}

// Makes keys below kTop: "A\B=Name", "A=@" (the unnamed value), "A=" (no value), "=Name" (in kTop).
void Put(const std::vector<string>& entries)
{
    for (const string& entry : entries) {
        const size_t equals = entry.rfind('=');
        const string key = kTop + (equals ? "\\" + entry.substr(0, equals) : "");
        const string name = entry.substr(equals + 1);
        SetString(HKEY_CURRENT_USER, key, name.empty() ? "-" : name == "@" ? "" : name.c_str(), "");
        if (name.empty())
            DeleteValueForTest(HKEY_CURRENT_USER, key, "-");
    }
}

// kTop's values, then each key below it as Put takes it: "Keep A=@ A\B=Name"; "gone" without kTop.
string Listing(const string& below = "")
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, (kTop + below).c_str(), 0, KEY_READ, &key) != 0)
        return "gone";
    string text = below.empty() ? "" : " " + below.substr(1) + "=";
    char name[300];
    DWORD size;
    for (DWORD i = 0; size = sizeof name, RegEnumValueA(key, i, name, &size, 0, 0, 0, 0) == 0; ++i)
        text += string(i ? "," : "") + (name[0] ? name : "@");
    for (DWORD i = 0; size = sizeof name, RegEnumKeyExA(key, i, name, &size, 0, 0, 0, 0) == 0; ++i)
        text += Listing(below + "\\" + name);
    RegCloseKey(key);
    return text;
}

// A REG_MULTI_SZ list of the strings, with "\??\" before each drive path.
string Join(const std::vector<string>& strings)
{
    string data;
    for (const string& text : strings)
        data += (text.size() > 1 && text[1] == ':' ? "\\??\\" + text : text) + '\0';
    return data + '\0';
}

}  // namespace

TEST(Registry, ReadWriteAndDeleteByPath)
{
    ScopedKey top(HKEY_CURRENT_USER, kTop);
    RegistryAccessor registry;
    Put({"=Name"});
    EXPECT_EQ(registry.ReadDword(HKEY_CURRENT_USER, kTop.c_str(), "Name", 42), 0u) << "not a DWORD";

    // Every key a deletion empties goes, up to the one directly under the root. On NT a tree goes
    // with its subkeys, which RegDeleteKeyA leaves. Expected: the result, then Listing().
    enum Call { Value, Tree };
    const string n100(100, 'n'), demo = "A\\Demo App";
    const struct { std::vector<string> put; Call call; string path, expected; } cases[] = {
        {{"A\\B\\C=Only"}, Value, "A\\B\\C\\Only", "1"}, {{"A="}, Value, "A\\Missing", "0 A="},
        {{"A=@", "A\\B=Only"}, Value, "A\\B\\Only", "1 A=@"}, {{"=V", "A="}, Value, "V", "1 A="},
        {{"A=@", "A=V"}, Value, "A\\(DeFault)", "1 A=V"}, {{"A=K"}, Tree, demo, "0 A=K"},
        {{"A=V"}, Value, "\\A\\V", "1"},   // a doubled backslash must not reach kTop
        {{"A=" + n100, "A=Short"}, Value, "A\\Short", "1 A=" + n100},
        {{"=Keep", demo + "\\Deep=V", demo + "=V"}, Tree, demo, "1Keep"},
        {{"A=Keep", demo + "\\Deep=V"}, Tree, demo, "1 A=Keep"},
    };
    for (const auto& c : cases) {
        DeleteKeyTreeForTest(HKEY_CURRENT_USER, kTop);
        Put(c.put);
        const string path = kCu + c.path;
        const bool result = c.call == Tree ? registry.DeleteKeyTree(path.c_str())
                                           : registry.DeleteValue(path.c_str());
        EXPECT_EQ(to_string(result) + Listing(), c.expected) << c.path;
    }
    EXPECT_FALSE(registry.DeleteKeyTree("HKEY_CURRENT_USER\\")) << "would name the root itself";
}

// The prefix is the test's own: no list of deletions, no WININIT.INI but what the test puts.
TEST(Removal, LockedFilesAreListedForTheNextStart)
{
    TempDir dir("removal");
    const string wininit = WindowsDir() + "\\WININIT.INI", file = dir / "demo application.exe";
    const string app = dir / "Demo App\\", first = app + "one.dll", second = app + "two.dll";
    ASSERT_TRUE(MakeDirectories(app) && WriteFileBytes(first, "1") && WriteFileBytes(second, "2"));
    g_isNT = 1;
    g_restartNeeded = 0;
    // Other programs' pairs stay with their targets; a file listed before, in
    // any case, moves to the end, and its directory behind the last file.
    const std::vector<string> list = {"C:\\Old.dat", "!\\??\\C:\\New.dat", "C:\\x", "",
                                      "c" + first.substr(1), "", app, ""};
    ASSERT_TRUE(SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPending, REG_MULTI_SZ, Join(list)));
    ScheduleRemovalAtRestart(first.c_str());
    ScheduleRemovalAtRestart(second.c_str());
    const string expected = Join({"C:\\Old.dat", "!\\??\\C:\\New.dat", "C:\\x", "",
                                  first, "", second, "", app, ""});
    string data;
    EXPECT_EQ(GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &data) ? data : "", expected);
    EXPECT_EQ(GetModuleHandleA("shlwapi.dll"), nullptr) << "left loaded by a gone accessor";

    // 95/98: the short path in [rename] of WININIT.INI, not the directory; an
    // earlier line, in any case, is withdrawn with a restart.
    g_isNT = 0;
    char shortPath[MAX_PATH] = "";
    ASSERT_TRUE(WriteFileBytes(file, "x") && GetShortPathNameA(file.c_str(), shortPath, MAX_PATH));
    const string rename = string("[rename]\r\nNUL=") + shortPath + "\r\n";
    ScheduleRemovalAtRestart(file.c_str());
    EXPECT_EQ(ReadFileOrEmpty(wininit) + to_string(g_restartNeeded), rename + "0");
    ASSERT_TRUE(WriteFileBytes(wininit, "[rename]\r\nnul=c" + string(shortPath + 1) + "\r\n"));
    ScheduleRemovalAtRestart(file.c_str());
    EXPECT_EQ(ReadFileOrEmpty(wininit) + to_string(g_restartNeeded), rename + "1");
    DeleteValueForTest(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    DeleteFileA(wininit.c_str());
}

// However the list is shaped, only the path's own pairs leave it, and a value that is no list
// stays as it was. Rows: the value's type (0: none) and data, then its data afterwards.
TEST(Removal, PendingListsOfAnyShapeKeepOtherPairs)
{
    SavedValue saved(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    g_isNT = 1;
    auto Pair = [](const string& source, const string& target) {
        const string list = Join({source, target});
        return list.substr(0, list.size() - 1);
    };
    const string mine = Pair("C:\\App\\x.dll", ""), other = Pair("C:\\O.dat", "!C:\\N");
    string many;   // more than any buffer of the program
    while (many.size() < 70000)
        many += Pair("C:\\Other\\" + to_string(many.size()), "");
    const struct { DWORD type; string data, after; } rows[] = {
        {0, "", "none"}, {REG_MULTI_SZ, "", ""}, {REG_MULTI_SZ, string(1, '\0'), string(1, '\0')},
        {REG_MULTI_SZ, mine + "C:\\Other" + '\0', "C:\\Other" + string(1, '\0')},   // no final ""
        {REG_MULTI_SZ, mine + other + mine, other},
        {REG_MULTI_SZ, many + mine + '\0', many + '\0'},
        {REG_SZ, mine + other + '\0', mine + other + '\0'},
        {REG_BINARY, mine + other + '\0', mine + other + '\0'},
    };
    for (const auto& r : rows) {
        DeleteValueForTest(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
        ASSERT_TRUE(!r.type ||
                    SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPending, r.type, r.data));
        WithdrawPendingRemoval("C:\\App\\x.dll");
        string data = "none";
        DWORD type = 0;
        GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &data, &type);
        EXPECT_EQ(data, r.after) << "type " << r.type << ": " << r.data.substr(0, 40);
        EXPECT_EQ(type, r.type) << r.data.substr(0, 40);
    }
}

// A failure on the way leaves the file as it was or replaced by its complete copy, never a copy
// beside it: copies that cannot be made, a full disk, a locked or read-only file, a file gone,
// text a copy would not keep (behind a Ctrl-Z, a NUL in a line).
TEST(IniLine, WholeEqualLinesGoFromTheSectionOnlyAndFailuresLoseNothing)
{
    TempDir dir("ini");
    const string ini = dir / "test.ini", x1500(1500, 'x'), full = dir / "full.ini";
    const string p259 = dir.Path() + string(259 - dir.Path().size(), 'p'), nowhere = dir / "no.ini";
    ASSERT_TRUE(StartUnixShell("cd '" + UnixPath(dir.Path()) + "' && ln -s /dev/full full.ini_" +
                               " && ln -s /nonexistent/copy no.ini_ && touch linked"));
    for (int i = 0; i < 200 && !FileExists(dir / "linked"); ++i)
        Sleep(50);
    ASSERT_TRUE(FileExists(dir / "linked")) << "the links were not made";
    enum Failure { kNone, kCopyIsDirectory, kLocked, kReadShared, kReadOnly, kGone };
    const string boot = "[boot]\r\nkey=value\r\nother=1\r\n", less = "[boot]\r\nother=1\r\n\r\n";
    const string key = "key=value";
    // expected: the file afterwards, or empty when it must stay as it was.
    const struct {
        string bytes, section, line, expected, path = "";
        Failure failure = kNone;
    } cases[] = {
        {"key=value\r\n[boot]\r\nkey=value\r\nother=1\r\nKEY=Value\r\n[drivers]\r\nkey=value\r\n"
         "[BOOT]\r\nkey=value\r\nlast=2\r\n", "boot", "key=value",
         "key=value\r\n[boot]\r\nother=1\r\n[drivers]\r\nkey=value\r\n[BOOT]\r\nlast=2\r\n\r\n"},
        {"[boot] \r\nkey=value\r\n[ boot]\r\nkey=value\r\n[boot];note\r\nkey=value\r\n[boot]\r\n"
         "key = value\r\nkey=value2\r\n xkey=value\r\n", "boot", "key=value", ""},
        {"[s]\r\n" + x1500 + "\r\na=1\r\nz=9", "s", "a=1",   // no line end at the end
         "[s]\r\n" + x1500.substr(0, 1023) + "\r\n" + x1500.substr(1023) + "\r\nz=9\r\n"},
        {"[s]\r\nk=v\r\n", "s", "k=v", "", p259},   // a copy's path cut to fit would be the file's
        {boot, "boot", key, "", full}, {boot, "boot", key, "", nowhere},
        {boot, "boot", key, "", "", kCopyIsDirectory}, {boot, "boot", key, "", "", kLocked},
        {boot, "boot", key, "", "", kReadShared}, {boot, "boot", key, "", "", kReadOnly},
        {boot, "boot", key, less, "", kGone}, {boot + "\x1A", "boot", key, less},
        {boot + "\x1A[x]\r\n", "boot", key, ""}, {boot + string(1, '\0'), "boot", key, ""},
    };
    for (const auto& c : cases) {
        const string path = c.path.empty() ? ini : c.path, copy = path + "_";
        g_restartNeeded = 0;
        ASSERT_TRUE(WriteFileBytes(path, c.bytes)) << path;
        const DWORD share = c.failure == kLocked ? 0 : FILE_SHARE_READ;
        HANDLE lock = c.failure == kLocked || c.failure == kReadShared
            ? CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)
            : nullptr;
        if (c.failure == kCopyIsDirectory)
            CreateDirectoryA(copy.c_str(), nullptr);
        SetFileAttributesA(path.c_str(), c.failure == kReadOnly ? FILE_ATTRIBUTE_READONLY : 0);
        auto Vanish = [](const char* file) { DeleteFileA(file); };
        g_beforeIniReplace = c.failure == kGone ? +Vanish : nullptr;
        RemoveIniLine(c.section.c_str(), c.line.c_str(), path.c_str());
        if (lock)
            CloseHandle(lock);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(ReadFileOrEmpty(path) + to_string(g_restartNeeded),
                  c.expected.empty() ? c.bytes + "0" : c.expected + "1")
            << "failure " << c.failure << ": " << c.bytes.substr(0, 60);
        EXPECT_FALSE(FileExists(copy)) << "a copy was left: " << path;
        RemoveDirectoryA(copy.c_str());
    }
    g_beforeIniReplace = nullptr;
}

// An installation directory with lang.ini and the language chosen as start-up
// does: its path macros and texts, the system-file question, the language dialog.
TEST(Installation, MacrosTextsSystemFileQuestionAndLanguageChoice)
{
    TempDir dir("lang");
    g_instance = GetModuleHandleA(nullptr);
    BufSet(g_installDir, sizeof g_installDir, dir.Path().c_str());
    BufSet(g_macroDir, sizeof g_macroDir, "D:\\Copy\\");
    BufSet(g_productName, sizeof g_productName, "Demo App");
    BufSet(g_productKey, sizeof g_productKey, "DemoApp");
    ASSERT_TRUE(WriteFileBytes(dir / "lang.ini", "[English]\r\nstr72=Remove %p from %d?\\n%%\r\n"
                               "str100=Ano\r\nstr101=Vse\r\nstr102=Ne\r\nstr103=Nic\r\n"
                               "str104=Smazat %p?\r\nreglang=en\r\n"));
    ASSERT_EQ(ChooseLanguage("lang.ini", "", "English"), 1);
    const string system = SystemDir() + "\\";
    // The user's Program Files value, which comes before the machine's, is the test's own.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir", "U:\\User"));
    const std::pair<const char*, string> macros[] = {
        {"%w\\WININIT.INI", WindowsDir() + "\\WININIT.INI"}, {"%S\\|%s\\", system + "|" + system},
        {"%I\\uninstall.log", dir.Path() + "uninstall.log"}, {"%f\\bin", "D:\\Copy\\bin"},
        {"%D %L", "DemoApp " + kNotFound}, {"a%C%U%%%xb", "a%b"}, {"%p\\App", "U:\\User\\App"},
    };
    for (const auto& m : macros) {
        char path[kPathSize];
        BufSet(path, sizeof path, m.first);
        ExpandPathMacros(path, sizeof path);
        EXPECT_EQ(path, m.second) << m.first;
    }
    DeleteValueForTest(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir");

    char text[64] = "";
    GetLangString(72, sizeof text, text);
    EXPECT_STREQ(text, "Remove Demo App from D:?\n");
    GetLangString(74, 12, text);
    EXPECT_EQ(text + string(text + 12), kNotFound.substr(0, 11) + "App from D:?\n");

    // A file directly in the system directory goes only once its SharedDLLs
    // counter has run out and the user agrees; an answer for all holds.
    HWND owner = CreateWindowA("STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
    const string sub = system + "UTsub\\", windows = WindowsDir() + "\\";
    ASSERT_TRUE(MakeDirectories(sub));
    const int yes = IDC_SYSFILE_YES, yesAll = IDC_SYSFILE_YES_ALL;
    const int no = IDC_SYSFILE_NO, noAll = IDC_SYSFILE_NO_ALL;
    // outcome: result, counter left ("gone" with its key), questions asked, choice afterwards.
    const struct { int before; string dir; LONG count; int button; string outcome; } files[] = {
        {Ask, system, 1, yes, "1 gone 1 0"}, {Ask, system, -1, no, "0 -1 1 0"},
        {Ask, "c" + system.substr(1), 3, yes, "0 2 0 0"}, {Ask, system, -1, yesAll, "1 -1 1 1"},
        {DeleteAll, system, -1, no, "1 -1 0 1"}, {DeleteAll, system, 2, yes, "0 1 0 1"},
        {Ask, system, -1, noAll, "0 -1 1 2"}, {KeepAll, system, 1, yes, "0 gone 0 2"},
        {KeepAll, system, 0, yes, "0 0 0 2"}, {Ask, windows, 1, no, "1 1 0 0"},
        {KeepAll, system, -0x7FFFFFFF, yes, "0 -2147483647 0 2"}, {Ask, sub, 1, no, "1 1 0 0"},
    };
    string seen;
    for (const auto& c : files) {
        ScopedKey counters(HKEY_LOCAL_MACHINE, kSharedDlls);   // the prefix has none of its own
        const string path = c.dir + "UTABC.DLL";
        ASSERT_TRUE(WriteFileBytes(path, "x"));
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
        if (c.count != -1)
            SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), DWORD(c.count));
        g_systemFileChoice = c.before;
        bool result = false;
        const int asked = Answering([&] { result = ConfirmFileRemoval(owner, path.c_str()); },
                                    [&](HWND question) {
            seen = ui::WindowText(question) + (GetWindow(question, GW_OWNER) == owner ? "*" : "");
            for (int id : {IDC_SYSFILE_TEXT, yes, yesAll, no, noAll})
                seen += "|" + ui::ControlText(question, id);
            PostMessageA(question, WM_CLOSE, 0, 0);   // the close box and Esc must do nothing
            ui::PressButton(question, IDCANCEL);
            ui::PressButton(question, c.button);
        });
        const LONG count = LONG(RegistryAccessor().ReadDword(HKEY_LOCAL_MACHINE, kSharedDlls,
                                                             path.c_str(), DWORD(-1)));
        const string left = KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls) ? to_string(count) : "gone";
        EXPECT_EQ(to_string(result) + " " + left + " " + to_string(asked) + " " +
                  to_string(g_systemFileChoice), c.outcome) << path;
        EXPECT_EQ(GetFileAttributesA(path.c_str()) == FILE_ATTRIBUTE_ARCHIVE, result) << "writable";
        RemoveTree(path);
    }
    EXPECT_EQ(seen, "UTABC.DLL*|Smazat Demo App?|Ano|Vse|Ne|Nic") << "title (* owned), texts";
    RemoveTree(sub);
    DestroyWindow(owner);

    // The dialog lists the sections but general and preselects (*) general/default, by prefix in
    // any case, or else Czech. The driver picks the first entry: OK takes it, Cancel and Close not.
    const string cz = "\xC8" "esky", three = "[English]\r\n[" + cz + "]\r\n[Deutsch]\r\n";
    const struct { string ini; int press; string expected; } choices[] = {   // list, result, choice
        {"[GENERAL]\r\nx=1\r\n" + three, IDOK, "English|*" + cz + "|Deutsch| 1 English"},
        {"[general]\r\ndefault=deu\r\n" + three, IDOK, "English|" + cz + "|*Deutsch| 1 English"},
        {"", IDOK, " 1 "}, {three, IDCANCEL, "English|*" + cz + "|Deutsch| 0 "},
        {three, WM_CLOSE, "English|*" + cz + "|Deutsch| 0 "},
    };
    for (const auto& c : choices) {
        ASSERT_TRUE(WriteFileBytes(dir / "lang.ini", c.ini));
        g_currentLanguage[0] = '\0';
        string items;
        int result = -2;
        Answering([&] { result = ChooseLanguage("lang.ini", "", ""); }, [&](HWND dialog) {
            HWND combo = GetDlgItem(dialog, IDC_LANGUAGE_LIST);
            const LRESULT preselected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
            char item[64];
            for (int i = 0; SendMessageA(combo, CB_GETLBTEXT, i, LPARAM(item)) != CB_ERR; ++i)
                items += (i == preselected ? "*" : "") + string(item) + "|";
            SendMessageA(combo, CB_SETCURSEL, 0, 0);
            const bool close = c.press == WM_CLOSE;
            PostMessageA(dialog, close ? WM_CLOSE : WM_COMMAND, close ? 0 : c.press, 0);
        });
        EXPECT_EQ(items + " " + to_string(result) + " " + g_currentLanguage, c.expected);
    }
}
