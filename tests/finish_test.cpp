// The closing steps of a run: the uninstaller's own file listed for the next
// start of Windows, and the restart question after a system.ini line went.
#include <gtest/gtest.h>

#include <thread>

#include "resources/resource.h"
#include "support/installation.h"
#include "support/saved_state.h"

using testenv::Installation;
using testenv::Process;

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const DWORD kTimeout = 20000;

std::string PendingRenames()
{
    std::string data;
    testenv::GetValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", &data);
    return data;
}

// True when the list holds a source naming path (after any prefix).
bool IsListed(const std::string& list, const std::string& path)
{
    for (size_t at = 0; at < list.size();) {
        std::string source = list.c_str() + at;
        if (source.size() >= path.size() &&
            _stricmp(source.c_str() + source.size() - path.size(), path.c_str()) == 0)
            return true;
        at += source.size() + 1;
    }
    return false;
}

class Finish : public ::testing::Test {
protected:
    void SetUp() override
    {
        inst_.WriteLangIni();
        inst_.AddFile("demo.exe");
    }

    // Runs the uninstaller with -C up to its closing question; false when
    // the question did not come.
    bool RunToRestartQuestion(Process* process, ui::MessageBox* box)
    {
        if (!inst_.Start(process, "-C"))
            return false;
        HWND dialog = testenv::WaitForMainDialog(*process);
        if (!dialog || !testenv::WaitForWorkDone(dialog))
            return false;
        ui::PressButton(dialog, IDOK);
        return ui::WaitForMessageBox(box, kTimeout, process->Id());
    }

    std::string SystemIni() const { return testenv::WindowsDir() + "\\system.ini"; }

    testenv::SavedValue pending_{HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations"};
    testenv::SavedFile systemIni_{testenv::WindowsDir() + "\\system.ini"};
    Installation inst_{"UninstTestFinish"};
};

}  // namespace

TEST_F(Finish, OwnFileAndDirectoryGoAtTheNextStart)
{
    inst_.WriteLog("Demo App", "English", {inst_ / "demo.exe"});
    EXPECT_EQ(inst_.RunConfirmed("-C"), 1u) << "no restart question without a system.ini change";
    std::string list = PendingRenames();
    std::string dir = inst_.Dir();
    EXPECT_TRUE(IsListed(list, dir + "uninstall.exe"));
    EXPECT_TRUE(IsListed(list, dir)) << "its directory, after it";
    EXPECT_TRUE(testenv::DirectoryExists(dir));

    ASSERT_TRUE(testenv::RestartWindowsNow());
    EXPECT_FALSE(testenv::DirectoryExists(dir)) << "the installation directory is gone";
}

TEST_F(Finish, SystemIniLineGoesAndTheRestartIsOffered)
{
    std::string before = testenv::ReadFileOrEmpty(SystemIni());
    testenv::WriteFileBytes(SystemIni(), before + "[uninsttest]\r\nwave=demo.drv\r\nkeep=1\r\n");
    inst_.WriteLog("Demo App", "English", {"-uninsttest\\wave", "demo.drv", inst_ / "demo.exe"});

    Process process;
    ui::MessageBox box;
    ASSERT_TRUE(RunToRestartQuestion(&process, &box));
    EXPECT_EQ(box.caption, "English text 96");
    EXPECT_EQ(box.text, "English text 97") << "fetched before lang.ini was deleted";
    EXPECT_FALSE(testenv::FileExists(inst_ / "lang.ini"));
    EXPECT_TRUE(IsListed(PendingRenames(), inst_ / "uninstall.exe"))
        << "the own file is listed before the question";
    std::string ini = testenv::ReadFileOrEmpty(SystemIni());
    EXPECT_EQ(ini.find("wave=demo.drv"), std::string::npos) << ini;
    EXPECT_NE(ini.find("keep=1"), std::string::npos) << ini;

    ui::AnswerMessageBox(box, IDNO);
    EXPECT_EQ(process.Wait(kTimeout), 1u);
}

// Yes asks Windows to restart. The run happens on a desktop of its own with a
// window that refuses to end the session, so Wine's end-session round is
// seen there and touches nothing else in the prefix.
TEST_F(Finish, YesRequestsTheRestart)
{
    std::string before = testenv::ReadFileOrEmpty(SystemIni());
    testenv::WriteFileBytes(SystemIni(), before + "[uninsttest]\r\nwave=demo.drv\r\n");
    inst_.WriteLog("Demo App", "English", {"-uninsttest\\wave", "demo.drv"});

    char name[64];
    snprintf(name, sizeof name, "finish_%lu", GetCurrentProcessId());
    HDESK desktop = CreateDesktopA(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    ASSERT_NE(desktop, nullptr);
    testenv::StartOptions options;
    options.desktop = std::string("WinSta0\\") + name;

    testenv::TempDir dir("finish");
    std::string record = dir / "session.txt";
    Process watcher;
    ASSERT_TRUE(watcher.Start("\"" + testenv::ProgramDir() + "session_watcher.exe\" \"" + record + "\"",
                              options));
    Process uninstaller;
    ASSERT_TRUE(uninstaller.Start("\"" + inst_ / "uninstall.exe" + "\" -C", options));

    bool answered = false;
    std::thread driver([&] {
        // Windows of another desktop are found from a thread attached to it.
        if (!SetThreadDesktop(desktop))
            return;
        HWND dialog = testenv::WaitForMainDialog(uninstaller);
        if (!dialog || !testenv::WaitForWorkDone(dialog))
            return;
        ui::PressButton(dialog, IDOK);
        ui::MessageBox box;
        if (ui::WaitForMessageBox(&box, kTimeout, uninstaller.Id())) {
            ui::AnswerMessageBox(box, IDYES);
            answered = true;
        }
    });
    driver.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(uninstaller.Wait(kTimeout), 1u);

    DWORD start = GetTickCount();
    while (testenv::ReadFileOrEmpty(record).find("query") == std::string::npos &&
           GetTickCount() - start < kTimeout)
        Sleep(50);
    EXPECT_NE(testenv::ReadFileOrEmpty(record).find("query"), std::string::npos)
        << "the session was asked to end: " << testenv::ReadFileOrEmpty(record);
    watcher.Kill();
    CloseDesktop(desktop);
}
