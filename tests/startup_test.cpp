// uninstall.exe from start to its first decisions: the confirmation, the
// log-missing question, the product's registration and damaged logs.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "support/installation.h"

using testenv::Installation;
using testenv::Process;

namespace {

const DWORD kTimeout = 20000;

// Entries of a small product: two files and a registry value.
std::vector<std::string> DemoEntries(const Installation& inst)
{
    return {inst / "demo.exe", inst / "data\\map01.dat"};
}

class StartUp : public ::testing::Test {
protected:
    void SetUp() override
    {
        inst_.AddFile("demo.exe");
        inst_.AddFile("data\\map01.dat");
        inst_.WriteLangIni();
        inst_.Register();
    }

    // Starts the uninstaller and waits for its first message box.
    bool StartAndWaitForBox(Process* process, ui::MessageBox* box, const std::string& args = "")
    {
        if (!inst_.Start(process, args))
            return false;
        return ui::WaitForMessageBox(box, kTimeout, process->Id());
    }

    void ExpectUntouched()
    {
        EXPECT_TRUE(testenv::FileExists(inst_ / "demo.exe"));
        EXPECT_TRUE(testenv::FileExists(inst_ / "data\\map01.dat"));
        EXPECT_TRUE(testenv::FileExists(inst_ / "uninstall.log"));
        EXPECT_TRUE(testenv::FileExists(inst_ / "lang.ini"));
        EXPECT_TRUE(inst_.ValueExists("UninstallString"));
        EXPECT_TRUE(inst_.ValueExists("DisplayName"));
    }

    Installation inst_{"UninstTestDemo"};
};

}  // namespace

TEST_F(StartUp, ConfirmationShowsLanguageTextsAndNoChangesNothing)
{
    inst_.WriteLog("Demo App", "English", DemoEntries(inst_));
    Process process;
    ui::MessageBox box;
    ASSERT_TRUE(StartAndWaitForBox(&process, &box));
    EXPECT_EQ(box.caption, "English text 71");
    EXPECT_EQ(box.text, "Remove 'Demo App' from your computer?");
    EXPECT_FALSE(testenv::WaitForMainDialog(process, 0)) << "no main dialog before the answer";
    ui::AnswerMessageBox(box, IDNO);
    EXPECT_EQ(process.Wait(kTimeout), 1u);
    ExpectUntouched();
}

TEST_F(StartUp, CzechLanguageFromTheLogHeader)
{
    inst_.WriteLog("Demo App", testenv::kCzechName, DemoEntries(inst_));
    Process process;
    ui::MessageBox box;
    ASSERT_TRUE(StartAndWaitForBox(&process, &box));
    EXPECT_EQ(box.caption, "Odinstalace");
    EXPECT_EQ(box.text, "Opravdu odebrat 'Demo App' z po\xE8\xEDta\xE8" "e?");
    ui::AnswerMessageBox(box, IDNO);
    EXPECT_EQ(process.Wait(kTimeout), 1u);
}

TEST_F(StartUp, OptionCSkipsTheConfirmationInAnyCase)
{
    inst_.WriteLog("Demo App", "English", DemoEntries(inst_));
    EXPECT_EQ(inst_.RunConfirmed("-c"), 1u);
    EXPECT_FALSE(testenv::FileExists(inst_ / "demo.exe"));
    EXPECT_FALSE(inst_.ProductKeyExists()) << "its last two values went, and the key with them";
}

TEST_F(StartUp, RegistrationGoesBeforeTheMainDialogOpens)
{
    // A logged program that waits holds the worker, so the dialog is open
    // while the registry is looked at.
    std::string signal = inst_ / "go.signal";
    inst_.WriteLog("Demo App", "English",
                   {";" + testenv::ProgramDir() + "wait_for_file.exe \"" + signal + "\"", ";", ";x"});
    testenv::SetString(HKEY_LOCAL_MACHINE, std::string(testenv::kUninstallKey) + "\\UninstTestDemo",
                       "Publisher", "Demo Corp");
    Process process;
    ASSERT_TRUE(inst_.Start(&process, "-C"));
    HWND dialog = testenv::WaitForMainDialog(process);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(inst_.ValueExists("UninstallString"));
    EXPECT_FALSE(inst_.ValueExists("DisplayName"));
    EXPECT_TRUE(inst_.ProductKeyExists()) << "another value keeps the key";
    EXPECT_FALSE(ui::ControlEnabled(dialog, IDOK));
    testenv::WriteFileBytes(signal, "");
    ASSERT_TRUE(testenv::WaitForWorkDone(dialog));
    ui::PressButton(dialog, IDOK);
    EXPECT_EQ(process.Wait(kTimeout), 1u);
}

TEST_F(StartUp, SecondRunPassesWithoutMessage)
{
    inst_.WriteLog("Demo App", "English", DemoEntries(inst_));
    std::string log = testenv::ReadFileOrEmpty(inst_ / "uninstall.log");
    EXPECT_EQ(inst_.RunConfirmed("-c"), 1u);
    ASSERT_FALSE(inst_.ValueExists("UninstallString"));
    inst_.WriteLogBytes(log);
    inst_.WriteLangIni();
    EXPECT_EQ(inst_.RunConfirmed("-c"), 1u) << "no error box stopped the second run";
}

TEST_F(StartUp, EmptyLanguageLineAsksForTheLanguage)
{
    inst_.WriteLog("Demo App", "", DemoEntries(inst_));
    Process process;
    ASSERT_TRUE(inst_.Start(&process));
    HWND dialog = ui::WaitForWindow("#32770", "Language", kTimeout, process.Id());
    ASSERT_NE(dialog, nullptr);
    std::vector<std::wstring> items = ui::ComboItems(GetDlgItem(dialog, IDC_LANGUAGE_LIST));
    EXPECT_EQ(items.size(), 2u);
    ui::PressButton(dialog, IDCANCEL);
    EXPECT_EQ(process.Wait(kTimeout), 1u);
    ExpectUntouched();
}

TEST_F(StartUp, LanguageChosenInTheDialogIsUsed)
{
    inst_.WriteLog("Demo App", "", DemoEntries(inst_));
    Process process;
    ASSERT_TRUE(inst_.Start(&process));
    HWND dialog = ui::WaitForWindow("#32770", "Language", kTimeout, process.Id());
    ASSERT_NE(dialog, nullptr);
    SendMessageW(GetDlgItem(dialog, IDC_LANGUAGE_LIST), CB_SETCURSEL, 1, 0);
    ui::PressButton(dialog, IDOK);
    ASSERT_TRUE(ui::WaitForWindowGone(dialog, kTimeout));
    ui::MessageBox box;
    ASSERT_TRUE(ui::WaitForMessageBox(&box, kTimeout, process.Id()));
    EXPECT_EQ(box.caption, "Odinstalace");
    ui::AnswerMessageBox(box, IDNO);
    EXPECT_EQ(process.Wait(kTimeout), 1u);
}

class MissingLog : public ::testing::Test {
protected:
    void SetUp() override
    {
        testenv::SetString(HKEY_LOCAL_MACHINE, Key("DEMOAPP"), "DisplayName", "Demo App");
        testenv::SetString(HKEY_LOCAL_MACHINE, Key("Demo App"), "DisplayName", "Demo App");
        testenv::SetString(HKEY_LOCAL_MACHINE, Key("Demo App") + "\\Sub", "x", "y");
    }
    void TearDown() override
    {
        testenv::DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, Key("DEMOAPP"));
        testenv::DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, Key("Demo App"));
    }

    static std::string Key(const std::string& name)
    {
        return std::string(testenv::kUninstallKey) + "\\" + name;
    }

    // Runs the uninstaller, checks the fixed question and answers it.
    void RunAndAnswer(const std::string& args, int answer, const std::string& expectedLog)
    {
        Process process;
        ASSERT_TRUE(inst_.Start(&process, args));
        ui::MessageBox box;
        ASSERT_TRUE(ui::WaitForMessageBox(&box, kTimeout, process.Id()));
        EXPECT_EQ(box.caption, "Uninstall");
        EXPECT_EQ(box.text, "Unable to find the installation log file '" + expectedLog +
                                "'. Uninstallation can not continue.\nRemove uninstallation option?");
        ui::AnswerMessageBox(box, answer);
        EXPECT_EQ(process.Wait(kTimeout), 1u);
    }

    Installation inst_{"UninstTestMissing"};
};

TEST_F(MissingLog, NoDeletesNothing)
{
    RunAndAnswer("-Udemoapp", IDNO, inst_ / "uninstall.log");
    EXPECT_TRUE(testenv::KeyExists(HKEY_LOCAL_MACHINE, Key("DEMOAPP")));
    EXPECT_TRUE(testenv::KeyExists(HKEY_LOCAL_MACHINE, Key("Demo App")));
}

TEST_F(MissingLog, OptionUNamesTheKeyInUpperCase)
{
    RunAndAnswer("-Udemoapp", IDYES, inst_ / "uninstall.log");
    EXPECT_FALSE(testenv::KeyExists(HKEY_LOCAL_MACHINE, Key("DEMOAPP")));
    EXPECT_TRUE(testenv::KeyExists(HKEY_LOCAL_MACHINE, Key("Demo App")));
    EXPECT_TRUE(testenv::KeyExists(HKEY_LOCAL_MACHINE, testenv::kUninstallKey));
}

TEST_F(MissingLog, WithoutOptionTheDirectoryNamesTheKey)
{
    RunAndAnswer("", IDYES, inst_ / "uninstall.log");
    EXPECT_FALSE(testenv::KeyExists(HKEY_LOCAL_MACHINE, Key("Demo App")))
        << "the whole key, subkeys included";
    EXPECT_TRUE(testenv::KeyExists(HKEY_LOCAL_MACHINE, Key("DEMOAPP")));
}

TEST_F(MissingLog, RootDirectoryDeletesNothing)
{
    std::string root = inst_.Dir().substr(0, 3);
    ASSERT_FALSE(testenv::FileExists(root + "uninstall.log"));
    RunAndAnswer("\"" + root + "\"", IDYES, root + "uninstall.log");
    EXPECT_TRUE(testenv::KeyExists(HKEY_LOCAL_MACHINE, Key("DEMOAPP")));
    EXPECT_TRUE(testenv::KeyExists(HKEY_LOCAL_MACHINE, Key("Demo App")));
}

TEST_F(MissingLog, PercentInTheDirectoryIsExpanded)
{
    Installation odd("UninstTestOdd", "Odd%%Dir");
    Process process;
    ASSERT_TRUE(odd.Start(&process));
    ui::MessageBox box;
    ASSERT_TRUE(ui::WaitForMessageBox(&box, kTimeout, process.Id()));
    std::string dir = odd.Dir();
    std::string expanded = dir.replace(dir.find("%%"), 2, "%") + "uninstall.log";
    EXPECT_NE(box.text.find("'" + expanded + "'"), std::string::npos) << box.text;
    ui::AnswerMessageBox(box, IDNO);
    EXPECT_EQ(process.Wait(kTimeout), 1u);
}

class DamagedLog : public ::testing::Test {
protected:
    void SetUp() override { inst_.WriteLangIni(); }

    // The run must reach its end: main dialog, OK, exit code 1.
    void ExpectCompleteRun(const std::string& logBytes)
    {
        inst_.WriteLogBytes(logBytes);
        EXPECT_EQ(inst_.RunConfirmed("-C"), 1u);
        EXPECT_FALSE(testenv::FileExists(inst_ / "uninstall.log"));
    }

    Installation inst_{"UninstTestDamaged"};
};

TEST_F(DamagedLog, EmptyAndShortLogsRunToTheEnd)
{
    ExpectCompleteRun("");
    ExpectCompleteRun("Only a name");
    ExpectCompleteRun("Name\r\nKey\r\n");
}

TEST_F(DamagedLog, OverlongHeaderLinesAreCut)
{
    std::string name(5000, 'N');
    std::string key(3000, 'K');
    std::string language(4000, 'L');
    ExpectCompleteRun(name + "\r\n" + key + "\r\n" + language + "\r\n");
}

TEST_F(DamagedLog, HighBytesAndNulBytes)
{
    std::string bytes;
    for (int c = 128; c < 256; ++c)
        bytes += char(c);
    ExpectCompleteRun(bytes + "\r\n" + bytes + "\r\nEnglish\r\n" + bytes + "\r\n");
    ExpectCompleteRun(std::string("Na\0me\r\nK\0ey\r\nEng\0lish\r\n\0\0\0\r\n", 28));
}
