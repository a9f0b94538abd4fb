#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <thread>

#include "base/globals.h"
#include "language/language.h"
#include "paths/path_macros.h"
#include "support/test_env.h"
#include "support/ui_driver.h"
#include "text/buf.h"

namespace {

const char kVersionKey[] = "Software\\Microsoft\\Windows\\CurrentVersion";
const char kNotFound[] = "___string not found___";

void DeleteProgramFiles(HKEY root)
{
    HKEY key;
    if (RegOpenKeyExA(root, kVersionKey, 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, "ProgramFilesDir");
        RegCloseKey(key);
    }
}

// ProgramFilesDir under root, put back as it was on destruction.
struct SavedProgramFiles {
    explicit SavedProgramFiles(HKEY key) : root(key)
    {
        existed = testenv::GetValue(root, kVersionKey, "ProgramFilesDir", &data, &type);
    }
    ~SavedProgramFiles()
    {
        if (!existed || !testenv::SetBinary(root, kVersionKey, "ProgramFilesDir", type, data))
            DeleteProgramFiles(root);
    }
    HKEY root;
    std::string data;
    DWORD type = REG_SZ;
    bool existed;
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

    // Expands text in place in a buffer of size bytes followed by sentinels.
    static std::string Expand(const std::string& text, size_t size = kPathSize)
    {
        std::string buffer(size + 16, '\x55');
        EXPECT_TRUE(BufSet(&buffer[0], size, text.c_str())) << "input does not fit: " << text;
        ExpandPathMacros(&buffer[0], size);
        for (size_t i = size; i < buffer.size(); ++i)
            EXPECT_EQ('\x55', buffer[i]) << "byte " << i << " written past a buffer of " << size;
        return buffer.substr(0, strnlen(buffer.data(), size));
    }

    const std::string windows_ = testenv::WindowsDir();
};

}  // namespace

TEST_F(PathMacrosTest, LettersPercentSignsAndBackslashRuns)
{
    ASSERT_FALSE(windows_.empty());
    const std::string system = testenv::SystemDir();
    const std::pair<const char*, std::string> cases[] = {
        {"%w\\WININIT.INI", windows_ + "\\WININIT.INI"},
        {"%S\\shared.dll|%W", system + "\\shared.dll|" + windows_},
        {"%s", system},
        {"C:\\Games\\X\\\\uninstall.log", "C:\\Games\\X\\uninstall.log"},
        {"%I\\uninstall.log", "C:\\Games\\X\\uninstall.log"},
        {"%f\\bin", "D:\\Copy\\Of\\X\\bin"},
        {"key %D", "key DemoApp"},
        {"a%C%Uc", "ac"},
        {"lang %L", std::string("lang ") + kNotFound},
        {"100%%\\%%W", "100%\\%W"},
        {"a%xb%7", "ab"},
        {"\\\\server\\\\\\share%", "\\server\\share"},
        {"%W\\\\\\x\\\\", windows_ + "\\x\\"},
        {"a/b//c", "a/b//c"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.second, Expand(c.first)) << c.first;
}

TEST_F(PathMacrosTest, ProgramFilesFromUserThenMachineThenDefault)
{
    SavedProgramFiles user(HKEY_CURRENT_USER), machine(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(testenv::SetString(user.root, kVersionKey, "ProgramFilesDir", "U:\\User Programs"));
    ASSERT_TRUE(testenv::SetString(machine.root, kVersionKey, "ProgramFilesDir", "M:\\Machine"));
    EXPECT_EQ("U:\\User Programs\\App", Expand("%p\\App"));
    DeleteProgramFiles(user.root);
    EXPECT_EQ("M:\\Machine\\App", Expand("%P\\App"));
    DeleteProgramFiles(machine.root);
    EXPECT_EQ("C:\\Program Files\\App", Expand("%P\\App"));
}

TEST_F(PathMacrosTest, NotInstalledMessageForA)
{
    std::thread answerer([] {
        ui::MessageBox box;
        ASSERT_TRUE(ui::WaitForMessageBox(&box, 10000, GetCurrentProcessId())) << "no message box";
        EXPECT_EQ(kNotFound, box.caption);
        EXPECT_EQ(kNotFound, box.text);
        EXPECT_EQ(nullptr, GetWindow(box.window, GW_OWNER));
        EXPECT_FALSE(ui::ControlVisible(box.window, IDCANCEL)) << "more than an OK button";
        EXPECT_TRUE(ui::ControlVisible(box.window, 1088)) << "no icon shown";
        ui::AnswerMessageBox(box, IDOK);
    });
    EXPECT_EQ("ab", Expand("a%Ab"));
    answerer.join();
}

TEST_F(PathMacrosTest, LongResultsAreCut)
{
    std::string many, full;
    while (many.size() < 250) {
        many += "%W";
        full += windows_;
    }
    EXPECT_EQ(full.substr(0, 259), Expand(many));
    EXPECT_EQ(full.substr(0, 259), Expand(many, 1000)) << "the output is at most 259 characters";
    EXPECT_EQ((windows_ + "\\WININIT.INI").substr(0, 19), Expand("%W\\WININIT.INI", 20));
    // The caller's buffer limits the collapsed text, not the raw expansion.
    const std::string runs = "%W" + std::string(windows_.size(), '\\') + "x";
    EXPECT_EQ(windows_ + "\\x", Expand(runs, windows_.size() + 4));
    EXPECT_EQ("\\", Expand(std::string(200, '\\')));

    char unterminated[12];
    memset(unterminated, 'q', sizeof unterminated);
    ExpandPathMacros(unterminated, 8);
    EXPECT_EQ("qqqqqqq", std::string(unterminated)) << "read only within the caller's buffer";
    EXPECT_EQ(std::string(4, 'q'), std::string(unterminated + 8, 4));
}
