// uninstall.exe from start to its first decisions: the confirmation, the
// log-missing question, the product's registration and damaged logs.
#include <gtest/gtest.h>

#include "resources/resource.h"
#include "support/installation.h"

using testenv::FileExists;
using testenv::Installation;
using testenv::Process;

namespace {

const DWORD kTimeout = 20000;

std::string UninstallKey(const std::string& name)
{
    return std::string(testenv::kUninstallKey) + "\\" + name;
}

class StartUp : public ::testing::Test {
protected:
    void SetUp() override
    {
        inst_.AddFile("demo.exe");
        inst_.WriteLangIni();
        inst_.Register();
    }

    void ExpectUntouched()
    {
        for (const char* file : {"demo.exe", "uninstall.log", "lang.ini"})
            EXPECT_TRUE(FileExists(inst_ / file)) << file;
        EXPECT_TRUE(inst_.ValueExists("UninstallString") && inst_.ValueExists("DisplayName"));
    }

    // Starts with args and waits for the main dialog, which no question may
    // precede; checkOpen looks at it while the worker runs. Returns the exit code after OK.
    template <typename Check>
    DWORD RunWithoutQuestion(const std::string& args, Check checkOpen)
    {
        Process process;
        if (!inst_.Start(&process, args))
            return 0;
        HWND dialog = testenv::WaitForMainDialog(process);
        ui::MessageBox box;
        EXPECT_FALSE(ui::WaitForMessageBox(&box, 0, process.Id())) << box.caption << ": " << box.text;
        if (!dialog)
            return 0;
        checkOpen(dialog);
        if (!testenv::WaitForWorkDone(dialog))
            return 0;
        ui::PressButton(dialog, IDOK);
        return process.Wait(kTimeout);
    }

    Installation inst_{"UninstTestDemo"};
};

}  // namespace

TEST_F(StartUp, ConfirmationShowsLanguageTextsAndNoChangesNothing)
{
    inst_.WriteLog("Demo App", "English", {inst_ / "demo.exe"});
    Process process;
    ui::MessageBox box;
    ASSERT_TRUE(inst_.Start(&process));
    ASSERT_TRUE(ui::WaitForMessageBox(&box, kTimeout, process.Id()));
    EXPECT_EQ(box.caption, "English text 71");
    EXPECT_EQ(box.text, "Remove 'Demo App' from your computer?");
    EXPECT_FALSE(testenv::WaitForMainDialog(process, 0)) << "no main dialog before the answer";
    ui::AnswerMessageBox(box, IDNO);
    EXPECT_EQ(process.Wait(kTimeout), 1u);
    ExpectUntouched();
}

TEST_F(StartUp, LanguageChosenInTheDialogIsUsed)
{
    inst_.WriteLog("Demo App", "", {inst_ / "demo.exe"});
    Process process;
    ASSERT_TRUE(inst_.Start(&process));
    HWND dialog = ui::WaitForWindow("#32770", "Language", kTimeout, process.Id());
    ASSERT_NE(dialog, nullptr) << "an empty language line asks for the language";
    EXPECT_EQ(ui::ComboItems(GetDlgItem(dialog, IDC_LANGUAGE_LIST)).size(), 2u);
    SendMessageW(GetDlgItem(dialog, IDC_LANGUAGE_LIST), CB_SETCURSEL, 1, 0);
    ui::PressButton(dialog, IDOK);
    ui::MessageBox box;
    ASSERT_TRUE(ui::WaitForMessageBox(&box, kTimeout, process.Id(), "Odinstalace"));
    ui::AnswerMessageBox(box, IDNO);
    EXPECT_EQ(process.Wait(kTimeout), 1u);
    ExpectUntouched();
}

// -c skips the question; the registration goes before the main dialog
// opens, the key with its last values, and a second run passes quietly.
TEST_F(StartUp, OptionCAndTheRegistration)
{
    std::string log = "Demo App\r\nUninstTestDemo\r\nEnglish\r\n" + (inst_ / "demo.exe") + "\r\n";
    for (const char* option : {"-c", "-C"}) {
        inst_.WriteLogBytes(log);
        inst_.WriteLangIni();
        EXPECT_EQ(RunWithoutQuestion(option, [](HWND) {}), 1u) << option;
        EXPECT_FALSE(FileExists(inst_ / "demo.exe"));
        EXPECT_FALSE(inst_.ProductKeyExists()) << "its last two values went, and the key with them";
    }
    // A logged program that waits holds the worker while the registry is looked at.
    std::string signal = inst_ / "go.signal";
    inst_.WriteLangIni();
    inst_.WriteLog("Demo App", "English",
                   {";" + testenv::ProgramDir() + "wait_for_file.exe \"" + signal + "\"", ";", ";x"});
    inst_.Register();
    testenv::SetString(HKEY_LOCAL_MACHINE, inst_.Key(), "Publisher", "Demo Corp");
    EXPECT_EQ(RunWithoutQuestion("-c", [&](HWND dialog) {
        EXPECT_FALSE(inst_.ValueExists("UninstallString"));
        EXPECT_FALSE(inst_.ValueExists("DisplayName"));
        EXPECT_TRUE(inst_.ProductKeyExists()) << "another value keeps the key";
        EXPECT_FALSE(ui::ControlEnabled(dialog, IDOK));
        testenv::WriteFileBytes(signal, "");
    }), 1u);
}

TEST(MissingLog, FixedQuestionAndTheKeyItRemoves)
{
    Installation inst("UninstTestMissing");
    Installation odd("UninstTestOdd", "Odd%%Dir");
    std::string root = inst.Dir().substr(0, 3), oddDir = odd.Dir();
    ASSERT_FALSE(FileExists(root + "uninstall.log"));
    struct Case {
        const Installation& inst;
        std::string args;
        int answer;
        std::string log;
        bool demoappGoes, demoGoes;
    } cases[] = {
        {inst, "-Udemoapp", IDNO, inst / "uninstall.log", false, false},
        {inst, "-Udemoapp", IDYES, inst / "uninstall.log", true, false},
        {inst, "", IDYES, inst / "uninstall.log", false, true},
        {inst, "\"" + root + "\"", IDYES, root + "uninstall.log", false, false},
        {odd, "", IDNO, oddDir.replace(oddDir.find("%%"), 2, "%") + "uninstall.log", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args + " " + c.log);
        testenv::SetString(HKEY_LOCAL_MACHINE, UninstallKey("DEMOAPP"), "DisplayName", "Demo App");
        testenv::SetString(HKEY_LOCAL_MACHINE, UninstallKey("Demo App") + "\\Sub", "x", "y");
        Process process;
        ASSERT_TRUE(c.inst.Start(&process, c.args));
        ui::MessageBox box;
        ASSERT_TRUE(ui::WaitForMessageBox(&box, kTimeout, process.Id()));
        EXPECT_EQ(box.caption, "Uninstall");
        EXPECT_EQ(box.text, "Unable to find the installation log file '" + c.log +
                                "'. Uninstallation can not continue.\nRemove uninstallation option?");
        ui::AnswerMessageBox(box, c.answer);
        EXPECT_EQ(process.Wait(kTimeout), 1u);
        EXPECT_NE(testenv::KeyExists(HKEY_LOCAL_MACHINE, UninstallKey("DEMOAPP")), c.demoappGoes);
        EXPECT_NE(testenv::KeyExists(HKEY_LOCAL_MACHINE, UninstallKey("Demo App")), c.demoGoes);
        EXPECT_TRUE(testenv::KeyExists(HKEY_LOCAL_MACHINE, testenv::kUninstallKey));
    }
    testenv::DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, UninstallKey("DEMOAPP"));
    testenv::DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, UninstallKey("Demo App"));
}

// Damaged logs and entries: the run reaches its end (log gone, exit code 1)
// and the entry before the damage is still done.
TEST(DamagedLog, RunsToTheEnd)
{
    Installation inst("UninstTestDamaged");
    std::string high, first = inst / "first.txt";
    for (int c = 128; c < 256; ++c)
        high += char(c);
    std::string header = "Demo App\r\nUninstTestDamaged\r\nEnglish\r\n" + first + "\r\n";
    std::vector<std::string> logs = {
        "", "Only a name", "Name\r\nKey\r\n",
        std::string(5000, 'N') + "\r\n" + std::string(3000, 'K') + "\r\n" + std::string(4000, 'L') + "\r\n",
        high + "\r\n" + high + "\r\nEnglish\r\n" + high + "\r\n",
        std::string("Na\0me\r\nK\0ey\r\nEng\0lish\r\n\0\0\0\r\n", 28),
        header + "%\r\n&\r\n:\r\n-\r\n;\r\n\r\n\r\n-sec\\key\r\n",
        header + ";no-such-program.exe\r\n;\r\n",
    };
    for (const std::string& bad : {high, std::string("a\0b", 3), std::string(2000, 'x')}) {
        std::string log = header;
        for (const char* kind : {"", "%", "&", ":", "-", "-\\", "-sec\\", ";"})
            log += kind + bad + "\r\n" + bad + "\r\n";
        logs.push_back(log);
    }
    for (size_t i = 0; i < logs.size(); ++i) {
        SCOPED_TRACE("log " + std::to_string(i));
        inst.AddFile("first.txt");
        inst.WriteLangIni();
        inst.WriteLogBytes(logs[i]);
        EXPECT_EQ(inst.RunConfirmed("-C", kTimeout), 1u);
        EXPECT_FALSE(FileExists(inst / "uninstall.log")) << "the worker reached the end";
        if (logs[i].compare(0, header.size(), header) == 0) {
            EXPECT_FALSE(FileExists(first));
        }
    }
}
