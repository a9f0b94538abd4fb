// The engine, path and language operations that no run can reach as exactly, on the real
// registry and files of the prefix (WININIT.INI on 95/98 is a scenario's).
#include <gtest/gtest.h>

#include "base/globals.h"
#include "engine/ini_remove.h"
#include "engine/removal.h"
#include "language/language.h"
#include "paths/path_macros.h"
#include "support/test_env.h"
#include "text/buf.h"

using namespace testenv;
using std::string, std::to_string;
using namespace std::string_literals;

const string kNotFound = "___string not found___";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";
const char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";

// However the list is shaped, only the path's own pairs leave it, and a value that is no list
// stays as it was. Rows: the value's type (0: none) and data, then its data afterwards.
TEST(Removal, PendingListsOfAnyShapeKeepOtherPairs)
{
    SavedValue saved(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    g_isNT = 1;
    const string own = "\\??\\C:\\App\\x.dll\0\0"s, mixed = own + "\\??\\C:\\O\0!\\??\\C:\\N\0\0"s;
    string many;   // more than any buffer of the program
    while (many.size() < 70000)
        many += "\\??\\C:\\Other\\" + to_string(many.size()) + "\0\0"s;
    const struct { DWORD type; string data, after; } rows[] = {
        {0, "", "none"}, {REG_SZ, mixed, mixed}, {REG_BINARY, mixed, mixed},   // no lists
        {REG_MULTI_SZ, "", ""}, {REG_MULTI_SZ, "\0"s, "\0"s},
        {REG_MULTI_SZ, own + "C:\\Other\0"s, "C:\\Other\0"s},   // no final ""
        {REG_MULTI_SZ, many + own + '\0', many + '\0'},
    };
    for (const auto& r : rows) {
        DeleteValueForTest(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
        ASSERT_TRUE(!r.type ||
                    SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPending, r.type, r.data));
        WithdrawPendingRemoval("C:\\App\\x.dll");
        string data = "none";
        DWORD type = 0;
        GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &data, &type);
        EXPECT_EQ(to_string(type) + ":" + data, to_string(r.type) + ":" + r.after)
            << r.data.substr(0, 40);
    }
}

// A failure on the way leaves the file as it was or replaced by its complete copy, never a copy
// beside it; text a copy would not keep (behind a Ctrl-Z, a NUL in a line) stays as it was.
TEST(IniLine, WholeEqualLinesGoFromTheSectionOnlyAndFailuresLoseNothing)
{
    TempDir dir("ini");
    const string ini = dir / "test.ini", x1500(1500, 'x'), full = dir / "full.ini";
    const string p259 = dir.Path() + string(259 - dir.Path().size(), 'p');
    ASSERT_TRUE(StartUnixShell("cd '" + UnixPath(dir.Path()) + "' && ln -s /dev/full full.ini_" +
                               " && touch linked"));
    for (int i = 0; i < 600 && !FileExists(dir / "linked"); ++i)   // 30 s at most
        Sleep(50);
    ASSERT_TRUE(FileExists(dir / "linked")) << "the link was not made";
    enum Failure { kNone, kCopyIsDirectory, kLocked, kReadShared, kReadOnly, kGone };
    const string boot = "[boot]\r\nkey=value\r\nother=1\r\n", less = "[boot]\r\nother=1\r\n\r\n";
    // expected: the file afterwards, or empty when it must stay as it was.
    const struct { string bytes, expected, path = ""; Failure failure = kNone; } cases[] = {
        {"key=value\r\n[boot]\r\nkey=value\r\nother=1\r\nKEY=Value\r\n[drivers]\r\nkey=value\r\n"
         "[BOOT]\r\nkey=value\r\nlast=2\r\n",
         "key=value\r\n[boot]\r\nother=1\r\n[drivers]\r\nkey=value\r\n[BOOT]\r\nlast=2\r\n\r\n"},
        {"[boot]\r\n" + x1500 + "\r\nkey=value\r\nz=9",   // no line end at the end
         "[boot]\r\n" + x1500.substr(0, 1023) + "\r\n" + x1500.substr(1023) + "\r\nz=9\r\n"},
        {"[boot]\r\nKEY=Value\r\nother=1\r\n", less},   // the only one, in any case
        {boot, "", p259},   // a copy's path cut to fit would be the file's
        {boot, "", full}, {boot, "", "", kCopyIsDirectory}, {boot, "", "", kLocked},
        {boot, "", "", kReadShared}, {boot, "", "", kReadOnly}, {boot, less, "", kGone},
        {boot + "\x1A", less}, {boot + "\x1A[x]\r\n", ""}, {boot + string(1, '\0'), ""},
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
        g_beforeIniReplace = c.failure == kGone ? +[](const char* f) { DeleteFileA(f); } : nullptr;
        RemoveIniLine("boot", "key=value", path.c_str());
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

// An installation directory with lang.ini and the language chosen as start-up does: its path
// macros and texts. The system-file question and the language dialog are played in runs.
TEST(Installation, MacrosAndTexts)
{
    TempDir dir("lang");
    g_instance = GetModuleHandleA(nullptr);
    BufSet(g_installDir, sizeof g_installDir, dir.Path().c_str());
    BufSet(g_macroDir, sizeof g_macroDir, "D:\\Copy\\");
    BufSet(g_productName, sizeof g_productName, "Demo App");
    BufSet(g_productKey, sizeof g_productKey, "DemoApp");
    ASSERT_TRUE(WriteFileBytes(dir / "lang.ini", "[English]\r\nstr72=Remove %p from %d?\\n%%\r\n"
                               "reglang=en\r\n"));
    ASSERT_EQ(ChooseLanguage("lang.ini", "", "English"), 1);
    const string system = SystemDir() + "\\";
    // The user's Program Files value, which comes before the machine's, is the test's own.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir", "U:\\User"));
    struct { char path[kPathSize]; string expanded; } macros[] = {
        {"%w\\WININIT.INI", WindowsDir() + "\\WININIT.INI"}, {"%S\\|%s\\", system + "|" + system},
        {"%I\\uninstall.log", dir.Path() + "uninstall.log"}, {"%f\\bin", "D:\\Copy\\bin"},
        {"%D %L", "DemoApp " + kNotFound}, {"a%C%U%%%xb", "a%b"}, {"%p\\App", "U:\\User\\App"},
    };
    for (auto& m : macros) {
        ExpandPathMacros(m.path, sizeof m.path);
        EXPECT_EQ(m.path, m.expanded);
    }
    DeleteValueForTest(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir");

    char text[64] = "";
    GetLangString(72, sizeof text, text);
    EXPECT_STREQ(text, "Remove Demo App from D:?\n");
    GetLangString(74, 12, text);
    EXPECT_EQ(text + string(text + 12), kNotFound.substr(0, 11) + "App from D:?\n");
}
