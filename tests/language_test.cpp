// Language texts from lang.ini and the language dialog, driven from a second
// thread as a user would.
#include <gtest/gtest.h>

#include <thread>

#include "language/language.h"
#include "resources/resource.h"
#include "shell/buf.h"
#include "shell/globals.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

namespace {

// Czech section name in code page 1250 ("Česky").
const char kCzech[] = "\xC8" "esky";

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

    void WriteLangIni(const std::string& text)
    {
        ASSERT_TRUE(testenv::WriteFileBytes(dir_ / "lang.ini", text));
    }

    std::string Text(unsigned number, size_t size = 1024)
    {
        char buffer[1100];
        memset(buffer, '#', sizeof buffer);
        GetLangString(number, size, buffer);
        EXPECT_EQ(buffer[size], '#') << "wrote past the buffer";
        return buffer;
    }

    // Runs ChooseLanguage("lang.ini", "", "") while `drive` answers the dialog.
    int ChooseWithDialog(void (*drive)(HWND dialog, void* context), void* context)
    {
        std::thread driver([&] {
            HWND dialog = ui::WaitForWindow("#32770", "Language", 10000, GetCurrentProcessId());
            if (dialog)
                drive(dialog, context);
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
    WriteLangIni(std::string("[English]\r\nstr72=Remove %p?\r\n[") + kCzech + "]\r\nstr72=Odebrat %p?\r\n");
    EXPECT_EQ(ChooseLanguage("lang.ini", "", kCzech), 1);
    EXPECT_STREQ(g_currentLanguage, kCzech);
    EXPECT_EQ(Text(72), "Odebrat Demo App?");
}

TEST_F(Language, PresetWithoutSectionGivesFallbackTexts)
{
    WriteLangIni("[English]\r\nstr72=Remove?\r\n");
    EXPECT_EQ(ChooseLanguage("lang.ini", "", "Klingon"), 1);
    EXPECT_EQ(Text(72), "___string not found___");
}

TEST_F(Language, TextsExpandEscapesAndFallBack)
{
    WriteLangIni("[English]\r\n"
                 "str72=Remove '%p' from %d?\\nYes %n, 100%% sure, %P gone\r\n"
                 "str73=  padded  \r\n");
    BufSet(g_macroDir, sizeof g_macroDir, "D:\\Games\\X\\");
    ASSERT_EQ(ChooseLanguage("lang.ini", "", "English"), 1);
    EXPECT_EQ(Text(72), "Remove 'Demo App' from D:?\nYes 1, 100 sure,  gone");
    EXPECT_EQ(Text(74), "___string not found___");
    EXPECT_EQ(Text(72, 8), "Remove ");
    EXPECT_EQ(Text(73), "padded");
}

TEST_F(Language, MissingLanguageFileGivesFallbackTexts)
{
    ASSERT_EQ(ChooseLanguage("lang.ini", "", "English"), 1);
    EXPECT_EQ(Text(71), "___string not found___");
}

TEST_F(Language, NamedTextsAlwaysFallBack)
{
    WriteLangIni("[English]\r\nsys_notinstalled=Not installed\r\nreglang=en\r\n");
    ASSERT_EQ(ChooseLanguage("lang.ini", "", "English"), 1);
    char text[128];
    GetNamedString("sys_notinstalled", sizeof text, text);
    EXPECT_STREQ(text, "___string not found___");
    GetRegLang(text, sizeof text);
    EXPECT_STREQ(text, "___string not found___");
}

TEST_F(Language, OverlongPresetIsCut)
{
    std::string preset(300, 'L');
    ASSERT_EQ(ChooseLanguage("lang.ini", "", preset.c_str()), 1);
    EXPECT_EQ(std::string(g_currentLanguage), preset.substr(0, 103));
}

std::wstring Wide(const char* ansi)
{
    WCHAR wide[256] = L"";
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, 256);
    return wide;
}

struct Seen {
    std::vector<std::wstring> items;
    int selection = -2;
    int press = IDOK;
    int select = -1;
};

void ReadAndPress(HWND dialog, void* context)
{
    auto* seen = static_cast<Seen*>(context);
    HWND combo = GetDlgItem(dialog, IDC_LANGUAGE_LIST);
    seen->items = ui::ComboItems(combo);
    seen->selection = ui::ComboSelection(combo);
    if (seen->select >= 0)
        SendMessageW(combo, CB_SETCURSEL, seen->select, 0);
    if (seen->press == WM_CLOSE)
        PostMessageA(dialog, WM_CLOSE, 0, 0);
    else
        ui::PressButton(dialog, seen->press);
}

TEST_F(Language, DialogListsSectionsInFileOrderWithoutGeneral)
{
    WriteLangIni(std::string("[English]\r\nstr1=a\r\n[GENERAL]\r\nx=1\r\n[") + kCzech +
                 "]\r\nstr1=b\r\n[Deutsch]\r\nstr1=c\r\n");
    Seen seen;
    EXPECT_EQ(ChooseWithDialog(ReadAndPress, &seen), 1);
    ASSERT_EQ(seen.items.size(), 3u);
    EXPECT_EQ(seen.items[0], L"English");
    EXPECT_EQ(seen.items[1], Wide(kCzech)) << "the section name in the ANSI code page";
    EXPECT_EQ(seen.items[2], L"Deutsch");
    EXPECT_EQ(seen.selection, 1) << "Czech is preselected without general/default";
    EXPECT_STREQ(g_currentLanguage, kCzech);
}

TEST_F(Language, DialogPreselectsGeneralDefault)
{
    WriteLangIni(std::string("[general]\r\ndefault=deu\r\n[English]\r\n[") + kCzech +
                 "]\r\n[Deutsch]\r\n");
    Seen seen;
    seen.select = 0;
    EXPECT_EQ(ChooseWithDialog(ReadAndPress, &seen), 1);
    EXPECT_EQ(seen.selection, 2) << "the first entry beginning with the default, any case";
    EXPECT_STREQ(g_currentLanguage, "English") << "the user's own choice wins";
}

TEST_F(Language, CancelAndCloseGiveZero)
{
    WriteLangIni("[English]\r\n[Deutsch]\r\n");
    Seen cancel;
    cancel.press = IDCANCEL;
    EXPECT_EQ(ChooseWithDialog(ReadAndPress, &cancel), 0);
    EXPECT_STREQ(g_currentLanguage, "");

    Seen close;
    close.press = WM_CLOSE;
    EXPECT_EQ(ChooseWithDialog(ReadAndPress, &close), 0);
    EXPECT_STREQ(g_currentLanguage, "");
}

TEST_F(Language, EmptyLanguageFileGivesAnEmptyList)
{
    WriteLangIni("");
    Seen seen;
    EXPECT_EQ(ChooseWithDialog(ReadAndPress, &seen), 1);
    EXPECT_TRUE(seen.items.empty());
    EXPECT_EQ(seen.selection, CB_ERR);
    EXPECT_STREQ(g_currentLanguage, "");
}
