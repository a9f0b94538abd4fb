// Language texts from lang.ini and the language dialog, driven from a second
// thread as a user would.
#include <gtest/gtest.h>

#include <thread>

#include "base/globals.h"
#include "language/language.h"
#include "resources/resource.h"
#include "support/test_env.h"
#include "support/ui_driver.h"
#include "text/buf.h"

namespace {

const char kCzech[] = "\xC8" "esky";   // "Česky" in code page 1250
const char kNotFound[] = "___string not found___";

// What the dialog showed, and how to answer it.
struct Seen {
    std::vector<std::wstring> items;
    int selection = -2;
    int select = -1;     // item to pick first, -1 for none
    int press = IDOK;    // IDOK, IDCANCEL or WM_CLOSE
};

class Language : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_instance = GetModuleHandleA(nullptr);
        BufSet(g_installDir, sizeof g_installDir, dir_.Path().c_str());
        BufSet(g_macroDir, sizeof g_macroDir, dir_.Path().c_str());
        BufSet(g_productName, sizeof g_productName, "Demo App");
        g_currentLanguage[0] = '\0';
    }

    void WriteLangIni(const std::string& text) { testenv::WriteFileBytes(dir_ / "lang.ini", text); }

    std::string Text(unsigned number, size_t size = 1024)
    {
        char buffer[1100];
        memset(buffer, '#', sizeof buffer);
        GetLangString(number, size, buffer);
        EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
        return buffer;
    }

    // ChooseLanguage with no preset while another thread answers the dialog.
    int ChooseWithDialog(Seen* seen)
    {
        std::thread driver([seen] {
            HWND dialog = ui::WaitForWindow("#32770", "Language", 10000, GetCurrentProcessId());
            if (!dialog)
                return;
            HWND combo = GetDlgItem(dialog, IDC_LANGUAGE_LIST);
            seen->items = ui::ComboItems(combo);
            seen->selection = ui::ComboSelection(combo);
            if (seen->select >= 0)
                SendMessageW(combo, CB_SETCURSEL, seen->select, 0);
            if (seen->press == WM_CLOSE)
                PostMessageA(dialog, WM_CLOSE, 0, 0);
            else
                ui::PressButton(dialog, seen->press);
        });
        int result = ChooseLanguage("lang.ini", "", "");
        driver.join();
        return result;
    }

    testenv::TempDir dir_{"lang"};
};

}  // namespace

TEST_F(Language, PresetLanguageNeedsNoDialog)
{
    EXPECT_EQ(ChooseLanguage("lang.ini", "", "English"), 1);
    EXPECT_EQ(Text(71), kNotFound) << "no lang.ini";

    WriteLangIni(std::string("[English]\r\nstr72=Remove %p?\r\n[") + kCzech + "]\r\nstr72=Odebrat %p?\r\n");
    EXPECT_EQ(ChooseLanguage("lang.ini", "", kCzech), 1);
    EXPECT_STREQ(g_currentLanguage, kCzech);
    EXPECT_EQ(Text(72), "Odebrat Demo App?");
    EXPECT_EQ(ChooseLanguage("lang.ini", "", "Klingon"), 1);
    EXPECT_EQ(Text(72), kNotFound) << "no such section";

    std::string preset(300, 'L');
    ASSERT_EQ(ChooseLanguage("lang.ini", "", preset.c_str()), 1);
    EXPECT_EQ(std::string(g_currentLanguage), preset.substr(0, 103));
}

TEST_F(Language, TextsExpandEscapesAndFallBack)
{
    WriteLangIni("[English]\r\n"
                 "str72=Remove '%p' from %d?\\nYes %n, 100%% sure, %P gone\r\n"
                 "str73=  padded  \r\nsys_notinstalled=Not installed\r\nreglang=en\r\n");
    BufSet(g_macroDir, sizeof g_macroDir, "D:\\Games\\X\\");
    ASSERT_EQ(ChooseLanguage("lang.ini", "", "English"), 1);
    EXPECT_EQ(Text(72), "Remove 'Demo App' from D:?\nYes 1, 100 sure,  gone");
    EXPECT_EQ(Text(74), kNotFound);
    EXPECT_EQ(Text(72, 8), "Remove ");
    EXPECT_EQ(Text(73), "padded");
    // Named texts always fall back.
    char text[128];
    GetNamedString("sys_notinstalled", sizeof text, text);
    EXPECT_STREQ(text, kNotFound);
    GetRegLang(text, sizeof text);
    EXPECT_STREQ(text, kNotFound);
}

TEST_F(Language, DialogListsSectionsPreselectsAndCancels)
{
    WriteLangIni(std::string("[English]\r\nstr1=a\r\n[GENERAL]\r\nx=1\r\n[") + kCzech +
                 "]\r\nstr1=b\r\n[Deutsch]\r\nstr1=c\r\n");
    Seen seen;
    EXPECT_EQ(ChooseWithDialog(&seen), 1);
    WCHAR czech[16] = L"";
    MultiByteToWideChar(CP_ACP, 0, kCzech, -1, czech, 16);
    EXPECT_EQ(seen.items, (std::vector<std::wstring>{L"English", czech, L"Deutsch"}))
        << "the section names in the ANSI code page";
    EXPECT_EQ(seen.selection, 1) << "Czech is preselected without general/default";
    EXPECT_STREQ(g_currentLanguage, kCzech);

    WriteLangIni(std::string("[general]\r\ndefault=deu\r\n[English]\r\n[") + kCzech + "]\r\n[Deutsch]\r\n");
    seen.select = 0;
    EXPECT_EQ(ChooseWithDialog(&seen), 1);
    EXPECT_EQ(seen.selection, 2) << "the first entry beginning with the default, any case";
    EXPECT_STREQ(g_currentLanguage, "English") << "the user's own choice wins";

    WriteLangIni("");
    Seen empty;
    g_currentLanguage[0] = '\0';
    EXPECT_EQ(ChooseWithDialog(&empty), 1);
    EXPECT_TRUE(empty.items.empty());
    EXPECT_EQ(empty.selection, CB_ERR);
    EXPECT_STREQ(g_currentLanguage, "");

    // Cancel and the close box give 0.
    WriteLangIni("[English]\r\n[Deutsch]\r\n");
    for (int press : {IDCANCEL, WM_CLOSE}) {
        Seen answer;
        answer.press = press;
        g_currentLanguage[0] = '\0';
        EXPECT_EQ(ChooseWithDialog(&answer), 0) << press;
        EXPECT_STREQ(g_currentLanguage, "");
    }
}
