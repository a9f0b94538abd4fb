// The closing steps of a run: the uninstaller's own file listed for the next
// start of Windows, and the restart question after a system.ini line went.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "resources/resource.h"
#include "support/installation.h"
#include "support/saved_state.h"

using testenv::Installation;
using testenv::Process;

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const DWORD kTimeout = 20000;

// Index of the first source in PendingFileRenameOperations that ends in
// path (any case), or -1.
int PendingIndex(const std::string& path)
{
    std::string list;
    testenv::GetValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", &list);
    int index = 0;
    for (size_t at = 0; at < list.size() && list[at]; ++index) {
        std::string source = list.c_str() + at;
        at += source.size() + 1;
        at += strlen(list.c_str() + at) + 1;   // its target
        if (source.size() >= path.size() &&
            _stricmp(source.c_str() + source.size() - path.size(), path.c_str()) == 0)
            return index;
    }
    return -1;
}

class Finish : public ::testing::Test {
protected:
    void SetUp() override
    {
        inst_.WriteLangIni();
        inst_.AddFile("demo.exe");
        std::string ini = testenv::ReadFileOrEmpty(systemIni_);
        testenv::WriteFileBytes(systemIni_, ini + "[uninsttest]\r\nwave=demo.drv\r\nkeep=1\r\n");
        inst_.WriteLog("Demo App", "English", {"-uninsttest\\wave", "demo.drv", inst_ / "demo.exe"});
    }

    // Waits for the main dialog, presses OK and waits for the closing question.
    static bool ReachRestartQuestion(const Process& process, ui::MessageBox* box)
    {
        HWND dialog = testenv::WaitForMainDialog(process);
        if (!dialog || !testenv::WaitForWorkDone(dialog))
            return false;
        ui::PressButton(dialog, IDOK);
        return ui::WaitForMessageBox(box, kTimeout, process.Id());
    }

    std::string systemIni_ = testenv::WindowsDir() + "\\system.ini";
    testenv::SavedValue pending_{HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations"};
    testenv::SavedFile savedIni_{systemIni_};
    Installation inst_{"UninstTestFinish"};
};

}  // namespace

TEST_F(Finish, OwnFileGoesAtTheNextStartAndNoEndsTheRun)
{
    Process process;
    ui::MessageBox box;
    ASSERT_TRUE(inst_.Start(&process, "-C"));
    ASSERT_TRUE(ReachRestartQuestion(process, &box));
    EXPECT_EQ(box.caption, "English text 96");
    EXPECT_EQ(box.text, "English text 97") << "fetched before lang.ini was deleted";
    std::string ini = testenv::ReadFileOrEmpty(systemIni_);
    EXPECT_EQ(ini.find("wave=demo.drv"), std::string::npos) << ini;
    EXPECT_NE(ini.find("keep=1"), std::string::npos) << ini;
    // Listed before the question: the file, then its directory.
    std::string dir = inst_.Dir();
    int own = PendingIndex(dir + "uninstall.exe");
    EXPECT_GE(own, 0) << "the own file is not listed";
    EXPECT_GT(PendingIndex(dir), own) << "its directory, after it";

    ui::AnswerMessageBox(box, IDNO);
    EXPECT_EQ(process.Wait(kTimeout), 1u);
    EXPECT_TRUE(testenv::DirectoryExists(dir));
    ASSERT_TRUE(testenv::RestartWindowsNow());
    EXPECT_FALSE(testenv::DirectoryExists(dir)) << "the installation directory is gone";
}

// Yes asks Windows to restart. The run happens on a desktop of its own with a
// window that refuses to end the session, so Wine's end-session round is
// seen there and touches nothing else in the prefix.
TEST_F(Finish, YesRequestsTheRestart)
{
    char name[64];
    snprintf(name, sizeof name, "finish_%lu", GetCurrentProcessId());
    HDESK desktop = CreateDesktopA(name, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
    ASSERT_NE(desktop, nullptr);
    testenv::StartOptions options;
    options.desktop = std::string("WinSta0\\") + name;
    testenv::TempDir dir("finish");
    std::string record = dir / "session.txt";
    Process watcher, uninstaller;
    ASSERT_TRUE(watcher.Start("\"" + testenv::ProgramDir() + "session_watcher.exe\" \"" + record + "\"",
                              options));
    ASSERT_TRUE(uninstaller.Start("\"" + inst_ / "uninstall.exe" + "\" -C", options));

    bool answered = false;
    std::thread driver([&] {
        // Windows of another desktop are found from a thread attached to it.
        ui::MessageBox box;
        if (SetThreadDesktop(desktop) && ReachRestartQuestion(uninstaller, &box)) {
            ui::AnswerMessageBox(box, IDYES);
            answered = true;
        }
    });
    driver.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(uninstaller.Wait(kTimeout), 1u);
    for (DWORD start = GetTickCount(); testenv::ReadFileOrEmpty(record).find("query") == std::string::npos &&
                                       GetTickCount() - start < kTimeout;)
        Sleep(50);
    EXPECT_NE(testenv::ReadFileOrEmpty(record).find("query"), std::string::npos)
        << "the session was asked to end: " << testenv::ReadFileOrEmpty(record);
    watcher.Kill();
    CloseDesktop(desktop);
}
