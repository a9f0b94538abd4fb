#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <thread>

#include "language/language.h"
#include "paths/path_macros.h"
#include "shell/buf.h"
#include "shell/globals.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

namespace {

const char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kNotFound[] = "___string not found___";

// A registry value that the test changes; the old one (or its absence) comes
// back on destruction.
class ScopedValue {
public:
    ScopedValue(HKEY root, const char* subKey, const char* name)
        : root_(root), subKey_(subKey), name_(name)
    {
        existed_ = testenv::GetValue(root_, subKey_, name_, &data_, &type_);
    }
    ~ScopedValue()
    {
        if (existed_)
            testenv::SetBinary(root_, subKey_, name_, type_, data_);
        else
            Delete();
    }
    bool Set(const std::string& value) { return testenv::SetString(root_, subKey_, name_, value); }
    void Delete()
    {
        HKEY key;
        if (RegOpenKeyExA(root_, subKey_.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
            RegDeleteValueA(key, name_);
            RegCloseKey(key);
        }
    }

private:
    HKEY root_;
    std::string subKey_;
    const char* name_;
    bool existed_;
    std::string data_;
    DWORD type_ = REG_SZ;
};

class PathMacrosTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        BufSet(g_installDir, sizeof g_installDir, "C:\\Games\\X\\");
        BufSet(g_macroDir, sizeof g_macroDir, "D:\\Copy\\Of\\X\\");
        BufSet(g_productKey, sizeof g_productKey, "DemoApp");
        g_pathSlotA[0] = g_pathSlotC[0] = g_pathSlotU[0] = '\0';
        // As start-up does: lang.ini beside the log, no named-text file.
        ASSERT_EQ(1, ChooseLanguage("lang.ini", "", "English"));
    }

    // Expands text in a buffer of size bytes followed by sentinel bytes.
    static std::string Expand(const std::string& text, size_t size = kPathSize)
    {
        std::string buffer(size + 16, '\x55');
        EXPECT_TRUE(BufSet(&buffer[0], size, text.c_str())) << "input does not fit: " << text;
        ExpandPathMacros(&buffer[0], size);
        for (size_t i = size; i < buffer.size(); ++i)
            EXPECT_EQ('\x55', buffer[i]) << "byte " << i << " written past a buffer of " << size;
        return buffer.substr(0, strnlen(buffer.data(), size));
    }
};

}  // namespace

TEST_F(PathMacrosTest, SystemDirectories)
{
    const std::string windows = testenv::WindowsDir();
    const std::string system = testenv::SystemDir();
    ASSERT_FALSE(windows.empty());
    EXPECT_EQ(windows + "\\WININIT.INI", Expand("%w\\WININIT.INI"));
    EXPECT_EQ(windows + "\\system.ini", Expand("%W\\system.ini"));
    EXPECT_EQ(system + "\\shared.dll", Expand("%S\\shared.dll"));
    EXPECT_EQ(system + "|" + windows, Expand("%s|%W"));
}

TEST_F(PathMacrosTest, ProgramFilesFromUserThenMachineThenDefault)
{
    ScopedValue user(HKEY_CURRENT_USER, kVersionKey, "ProgramFilesDir");
    ScopedValue machine(HKEY_LOCAL_MACHINE, kVersionKey, "ProgramFilesDir");
    ASSERT_TRUE(user.Set("U:\\User Programs"));
    ASSERT_TRUE(machine.Set("M:\\Machine Programs"));
    EXPECT_EQ("U:\\User Programs\\App", Expand("%P\\App"));
    EXPECT_EQ("U:\\User Programs\\App", Expand("%p\\App"));

    user.Delete();
    EXPECT_EQ("M:\\Machine Programs\\App", Expand("%P\\App"));

    machine.Delete();
    EXPECT_EQ("C:\\Program Files\\App", Expand("%P\\App"));
}

TEST_F(PathMacrosTest, ValuesOfTheRun)
{
    EXPECT_EQ("C:\\Games\\X\\uninstall.log", Expand("C:\\Games\\X\\\\uninstall.log"));
    EXPECT_EQ("C:\\Games\\X\\uninstall.log", Expand("%I\\uninstall.log"));
    EXPECT_EQ("D:\\Copy\\Of\\X\\bin", Expand("%f\\bin"));
    EXPECT_EQ("key DemoApp", Expand("key %D"));
    EXPECT_EQ("ac", Expand("a%C%Uc"));
    EXPECT_EQ(std::string("lang ") + kNotFound, Expand("lang %L"));
}

// The text rules themselves are covered by the text tests; these show them
// applied to a path in place.
TEST_F(PathMacrosTest, PercentSignsAndBackslashRuns)
{
    EXPECT_EQ("100%\\%W", Expand("100%%\\%%W"));
    EXPECT_EQ("ab", Expand("a%xb%7"));
    EXPECT_EQ("\\server\\share", Expand("\\\\server\\\\\\share%"));
    EXPECT_EQ(testenv::WindowsDir() + "\\x", Expand("%W\\\\\\x"));
}

// The style a message box was asked for. Wine does not show MB_TOPMOST in
// the window's styles, so it is read from the parameters that the box's
// dialog receives with WM_INITDIALOG.
static DWORD g_boxStyle;

static LRESULT CALLBACK CatchBoxStyle(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == WM_INITDIALOG && call->lParam &&
        ui::ClassName(call->hwnd) == "#32770")
        g_boxStyle = reinterpret_cast<const MSGBOXPARAMSW*>(call->lParam)->dwStyle;
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The visible static control of the box that shows an icon, if any.
static HWND FindIconControl(HWND box)
{
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && IsWindowVisible(child) &&
            SendMessageA(child, STM_GETICON, 0, 0))
            return child;
    }
    return nullptr;
}

TEST_F(PathMacrosTest, NotInstalledMessageForA)
{
    ui::MessageBox box;
    bool shown = false;
    HWND owner = HWND(1);
    bool okVisible = false;
    bool cancelVisible = true;
    HWND icon = nullptr;
    std::thread answerer([&] {
        shown = ui::WaitForMessageBox(&box, 10000, GetCurrentProcessId());
        if (!shown)
            return;
        owner = GetWindow(box.window, GW_OWNER);
        okVisible = ui::ControlVisible(box.window, IDOK);
        cancelVisible = ui::ControlVisible(box.window, IDCANCEL);
        icon = FindIconControl(box.window);
        ui::AnswerMessageBox(box, IDOK);
    });
    g_boxStyle = 0;
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, CatchBoxStyle, nullptr, GetCurrentThreadId());
    std::string result = Expand("a%Ab");
    UnhookWindowsHookEx(hook);
    answerer.join();

    ASSERT_TRUE(shown) << "no message box appeared";
    EXPECT_EQ("ab", result);
    EXPECT_EQ(kNotFound, box.caption);
    EXPECT_EQ(kNotFound, box.text);
    EXPECT_EQ(DWORD(MB_OK | MB_ICONERROR | MB_TOPMOST), g_boxStyle)
        << "style " << std::hex << g_boxStyle;
    EXPECT_EQ(nullptr, owner);
    EXPECT_TRUE(okVisible);
    EXPECT_FALSE(cancelVisible) << "the box has only an OK button";
    EXPECT_NE(nullptr, icon) << "no icon shown";
}

TEST_F(PathMacrosTest, LongResultsAreCut)
{
    const std::string windows = testenv::WindowsDir();
    std::string many;
    while (many.size() < 250)
        many += "%W";
    std::string full;
    for (size_t i = 0; i < many.size() / 2; ++i)
        full += windows;
    EXPECT_EQ(full.substr(0, 259), Expand(many));
    EXPECT_EQ(full.substr(0, 259), Expand(many, 1000)) << "the output is at most 259 characters";

    const std::string wininit = windows + "\\WININIT.INI";
    EXPECT_EQ(wininit.substr(0, 19), Expand("%W\\WININIT.INI", 20));
    EXPECT_EQ(wininit, Expand("%W\\WININIT.INI", wininit.size() + 1));

    // The caller's buffer limits the collapsed text, not the raw expansion.
    const std::string runs = "%W" + std::string(windows.size(), '\\') + "x";
    EXPECT_EQ(windows + "\\x", Expand(runs, windows.size() + 4));
    EXPECT_EQ("\\", Expand(std::string(200, '\\')));

    char unterminated[12];
    memset(unterminated, 'q', sizeof unterminated);
    ExpandPathMacros(unterminated, 8);
    EXPECT_EQ("qqqqqqq", std::string(unterminated)) << "read only within the caller's buffer";
    EXPECT_EQ(std::string(4, 'q'), std::string(unterminated + 8, 4));
}
