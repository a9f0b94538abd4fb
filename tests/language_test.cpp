// Path macros, language texts and the two dialogs that ask the user: the
// language choice and the question before a system file goes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "engine/shared_dll.h"
#include "language/language.h"
#include "paths/path_macros.h"
#include "resources/resource.h"
#include "shell/buf.h"
#include "shell/dialogs.h"
#include "shell/globals.h"
#include "support/saved_state.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

using namespace testenv;

namespace {

const char kCzech[] = "\xC8" "esky";   // "Česky" in code page 1250
const char kNotFound[] = "___string not found___";
const char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

void Unset(HKEY root, const char* subKey, const char* name)
{
    HKEY key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name);
        RegCloseKey(key);
    }
}

class Texts : public testing::Test {
protected:
    void SetUp() override
    {
        g_instance = GetModuleHandleA(nullptr);
        BufSet(g_installDir, sizeof g_installDir, dir_.Path().c_str());
        BufSet(g_macroDir, sizeof g_macroDir, "D:\\Copy\\Of\\X\\");
        BufSet(g_productName, sizeof g_productName, "Demo App");
        BufSet(g_productKey, sizeof g_productKey, "DemoApp");
        ASSERT_TRUE(WriteFileBytes(dir_ / "lang.ini",
            "[English]\r\nstr72=Remove '%p' from %d?\\nYes %n, 100%% sure, %P gone\r\n"
            "str100=Ano\r\nstr101=Ano vsem\r\nstr102=Ne\r\nstr103=Ne vsem\r\n"
            "str104=Delete?\\nNo program uses it.\r\nsys_notinstalled=x\r\nreglang=en\r\n"));
        ASSERT_EQ(ChooseLanguage("lang.ini", "", "English"), 1);
    }

    // Expands text in place in a buffer of size bytes followed by sentinels.
    static std::string Expand(const std::string& text, size_t size = kPathSize)
    {
        std::string buffer(size + 16, '\x55');
        BufSet(&buffer[0], size, text.c_str());
        ExpandPathMacros(&buffer[0], size);
        EXPECT_EQ(buffer.substr(size), std::string(16, '\x55')) << "written past " << size;
        return buffer.substr(0, strnlen(buffer.data(), size));
    }

    static std::string Text(unsigned number, size_t size = 1024)
    {
        char buffer[1100];
        memset(buffer, '#', sizeof buffer);
        GetLangString(number, size, buffer);
        EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
        return buffer;
    }

    // Runs call while a second thread hands each dialog of this process to answer.
    static int Answering(const std::function<void()>& call, const std::function<void(HWND)>& answer)
    {
        std::atomic<bool> done{false};
        int answered = 0;
        std::thread driver([&] {
            while (!done) {
                HWND dialog = ui::WaitForWindow("#32770", nullptr, 50, GetCurrentProcessId());
                if (dialog && ++answered) {
                    answer(dialog);
                    ui::WaitForWindowGone(dialog, 5000);
                }
            }
        });
        call();
        done = true;
        driver.join();
        return answered;
    }

    TempDir dir_{"lang"};
};

}  // namespace

TEST_F(Texts, PathMacros)
{
    const std::string windows = WindowsDir(), system = SystemDir();
    SavedValue user(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir");
    SavedValue machine(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir");
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir", "U:\\User"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir", "M:\\Machine"));
    const std::pair<const char*, std::string> cases[] = {
        {"%w\\WININIT.INI", windows + "\\WININIT.INI"}, {"%S\\a.dll|%W", system + "\\a.dll|" + windows},
        {"%s", system}, {"%I\\uninstall.log", dir_.Path() + "uninstall.log"},
        {"%f\\bin", "D:\\Copy\\Of\\X\\bin"}, {"key %D", "key DemoApp"}, {"a%C%Uc", "ac"},
        {"lang %L", std::string("lang ") + kNotFound}, {"100%%\\%%W", "100%\\%W"}, {"a%xb%7", "ab"},
        {"\\\\server\\\\\\share%", "\\server\\share"}, {"a/b//c", "a/b//c"}, {"%p\\App", "U:\\User\\App"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Expand(c.first), c.second) << c.first;
    Unset(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir");
    EXPECT_EQ(Expand("%P\\App"), "M:\\Machine\\App");
    Unset(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir");
    EXPECT_EQ(Expand("%P\\App"), "C:\\Program Files\\App");

    // Results are cut to 259 characters and to the caller's buffer, after the
    // backslash runs are collapsed.
    std::string many, full;
    for (; many.size() < 250; many += "%W")
        full += windows;
    EXPECT_EQ(Expand(many, 1000), full.substr(0, 259));
    EXPECT_EQ(Expand("%W\\WININIT.INI", 20), (windows + "\\WININIT.INI").substr(0, 19));
    EXPECT_EQ(Expand("%W" + std::string(windows.size(), '\\') + "x", windows.size() + 4), windows + "\\x");
    char unterminated[12];
    memset(unterminated, 'q', sizeof unterminated);
    ExpandPathMacros(unterminated, 8);
    EXPECT_EQ(std::string(unterminated, 12), std::string(7, 'q') + '\0' + "qqqq");

    // %A: an error box of fallback texts with no owner, then nothing.
    std::string expanded;
    Answering([&] { expanded = Expand("a%Ab"); }, [](HWND box) {
        EXPECT_EQ(ui::WindowText(box) + "|" + ui::ControlText(box, 0xFFFF), std::string(kNotFound) + "|" + kNotFound);
        EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
        EXPECT_FALSE(ui::ControlVisible(box, IDCANCEL)) << "more than an OK button";
        EXPECT_TRUE(ui::ControlVisible(box, 1088)) << "no icon shown";
        ui::PressButton(box, IDOK);
    });
    EXPECT_EQ(expanded, "ab");
}

TEST_F(Texts, LanguageTextsAndChoice)
{
    EXPECT_EQ(Text(72), "Remove 'Demo App' from D:?\nYes 1, 100 sure,  gone");
    EXPECT_EQ(Text(72, 8), "Remove ");
    EXPECT_EQ(Text(74), kNotFound);
    char named[128];
    GetNamedString("sys_notinstalled", sizeof named, named);
    EXPECT_STREQ(named, kNotFound);
    GetRegLang(named, sizeof named);
    EXPECT_STREQ(named, kNotFound);
    EXPECT_EQ(ChooseLanguage("lang.ini", "", "Klingon"), 1);
    EXPECT_EQ(Text(72), kNotFound);
    EXPECT_EQ(ChooseLanguage("lang.ini", "", std::string(300, 'L').c_str()), 1);
    EXPECT_EQ(std::string(g_currentLanguage), std::string(103, 'L'));

    // The dialog lists the sections but general, preselects general/default
    // (by prefix, any case) or Czech, and OK takes the selection.
    const struct { std::string ini; int select, press, result; std::string items, chosen; int preselected; } cases[] = {
        {std::string("[English]\r\n[GENERAL]\r\nx=1\r\n[") + kCzech + "]\r\n[Deutsch]\r\n", -1, IDOK, 1,
         std::string("English|") + kCzech + "|Deutsch|", kCzech, 1},
        {"[general]\r\ndefault=deu\r\n[English]\r\n[Deutsch]\r\n", -1, IDOK, 1, "English|Deutsch|", "Deutsch", 1},
        {"[general]\r\ndefault=deu\r\n[English]\r\n[Deutsch]\r\n", 0, IDOK, 1, "English|Deutsch|", "English", 1},
        {"", -1, IDOK, 1, "", "", CB_ERR},
        {"[English]\r\n[Deutsch]\r\n", 0, IDCANCEL, 0, "English|Deutsch|", "", CB_ERR},
        {"[English]\r\n[Deutsch]\r\n", 0, WM_CLOSE, 0, "English|Deutsch|", "", CB_ERR},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(WriteFileBytes(dir_ / "lang.ini", c.ini));
        g_currentLanguage[0] = '\0';
        std::string items;
        int result = -2, selected = -2;
        Answering([&] { result = ChooseLanguage("lang.ini", "", ""); }, [&](HWND dialog) {
            HWND combo = GetDlgItem(dialog, IDC_LANGUAGE_LIST);
            for (int i = 0; i < SendMessageA(combo, CB_GETCOUNT, 0, 0); ++i) {
                char item[64] = "";
                SendMessageA(combo, CB_GETLBTEXT, i, LPARAM(item));
                items += std::string(item) + "|";
            }
            selected = SendMessageA(combo, CB_GETCURSEL, 0, 0);
            if (c.select >= 0)
                SendMessageA(combo, CB_SETCURSEL, c.select, 0);
            if (c.press == WM_CLOSE)
                PostMessageA(dialog, WM_CLOSE, 0, 0);
            else
                ui::PressButton(dialog, c.press);
        });
        EXPECT_EQ(result, c.result) << c.ini;
        EXPECT_EQ(items, c.items) << c.ini;
        EXPECT_EQ(selected, c.preselected) << c.ini;
        EXPECT_EQ(g_currentLanguage, c.chosen) << c.ini;
    }
}

// The question before a file directly in the system directory goes, once
// its SharedDLLs counter has run out; the answer for all holds for the run.
TEST_F(Texts, SystemFileQuestion)
{
    SavedKeyValues savedCounters(HKEY_LOCAL_MACHINE, kSharedDlls);
    CreateDialogFonts();
    HWND owner = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 9, 9, nullptr, nullptr, g_instance, nullptr);
    std::string system = SystemDir(), lower = system, sub = system + "\\UTsub";
    for (char& c : lower)
        c = char(tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(MakeDirectories(sub));
    std::string title, texts;
    const DWORD kNone = DWORD(-1);
    const struct { int before; std::string dir; DWORD count; int button; const char* outcome; int asked, after; } cases[] = {
        {Ask, system, 1, IDC_SYSFILE_YES, "1 -1 writable", 1, Ask},
        {Ask, system, kNone, IDC_SYSFILE_NO, "0 -1 read-only", 1, Ask},
        {Ask, lower, 3, IDC_SYSFILE_YES, "0 2 read-only", 0, Ask},
        {Ask, system, kNone, IDC_SYSFILE_YES_ALL, "1 -1 writable", 1, DeleteAll},
        {DeleteAll, system, kNone, IDC_SYSFILE_NO, "1 -1 writable", 0, DeleteAll},
        {DeleteAll, system, 3, IDC_SYSFILE_YES, "0 2 read-only", 0, DeleteAll},
        {Ask, system, kNone, IDC_SYSFILE_NO_ALL, "0 -1 read-only", 1, KeepAll},
        {KeepAll, system, 1, IDC_SYSFILE_YES, "0 -1 read-only", 0, KeepAll},
        {KeepAll, system, 0, IDC_SYSFILE_YES, "0 0 read-only", 0, KeepAll},
        {KeepAll, system, 0x80000001, IDC_SYSFILE_YES, "0 -2147483647 read-only", 0, KeepAll},
        {Ask, sub, 1, IDC_SYSFILE_NO, "1 1 writable", 0, Ask},
        {Ask, WindowsDir(), 1, IDC_SYSFILE_NO, "1 1 writable", 0, Ask},
        {Ask, dir_.Path(), 1, IDC_SYSFILE_NO, "1 1 writable", 0, Ask},
    };
    for (const auto& c : cases) {
        std::string path = c.dir + (c.dir.back() == '\\' ? "" : "\\") + "UTABC.DLL";
        ASSERT_TRUE(WriteFileBytes(path, "x") &&
                    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
        if (c.count != kNone)
            SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), c.count);
        g_systemFileChoice = c.before;
        bool result = false;
        int asked = Answering([&] { result = ConfirmFileRemoval(owner, path.c_str()); }, [&](HWND question) {
            title = ui::WindowText(question);
            texts.clear();
            for (int id : {IDC_SYSFILE_TEXT, IDC_SYSFILE_YES, IDC_SYSFILE_YES_ALL, IDC_SYSFILE_NO, IDC_SYSFILE_NO_ALL})
                texts += ui::ControlText(question, id) + "|";
            RECT window, client;
            GetWindowRect(question, &window);
            GetClientRect(question, &client);
            EXPECT_EQ(window.left, (GetSystemMetrics(SM_CXSCREEN) - client.right) / 2) << "not centred";
            EXPECT_EQ(window.top, (GetSystemMetrics(SM_CYSCREEN) - client.bottom) / 2) << "not centred";
            EXPECT_EQ(GetWindow(question, GW_OWNER), owner);
            PostMessageA(question, WM_CLOSE, 0, 0);   // the close box and Esc must do nothing
            ui::PressButton(question, IDCANCEL);
            ui::PressButton(question, c.button);
        });
        std::string counter;
        LONG left = GetValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), &counter) ? *reinterpret_cast<const LONG*>(counter.data()) : -1;
        DWORD attributes = GetFileAttributesA(path.c_str());
        std::string outcome = std::to_string(result) + " " + std::to_string(left) +
                              (attributes == FILE_ATTRIBUTE_ARCHIVE ? " writable" : " read-only");
        EXPECT_EQ(outcome, c.outcome) << path << " " << c.count;
        EXPECT_EQ(asked, c.asked) << path << " " << c.count;
        EXPECT_EQ(g_systemFileChoice, c.after) << path << " " << c.count;
        if (&c == cases) {
            EXPECT_EQ(title + "|" + texts, "UTABC.DLL|Delete?\nNo program uses it.|Ano|Ano vsem|Ne|Ne vsem|");
            EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls)) << "the emptied key is pruned";
        }
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(path.c_str());
        Unset(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str());
    }
    RemoveTree(sub);
    DestroyWindow(owner);
    DeleteDialogFonts();
}
