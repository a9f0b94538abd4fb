// Under Wine, ExitWindowsEx starts "wineboot --end-session", which asks every
// top-level window of the caller's desktop with WM_QUERYENDSESSION. The probe
// and a watcher window run on a desktop of their own, and the watcher refuses,
// so no other window is asked and the restart is not carried out.
#include <gtest/gtest.h>

#include <string>

#include "support/test_env.h"

namespace {

// restart_probe.exe's exit code bits.
const DWORD kEnabledAfter = 1, kEnabledBefore = 2, kWindows98 = 4;

class RestartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string name = "restart_test_" + std::to_string(GetCurrentProcessId()) + "_" +
                           ::testing::UnitTest::GetInstance()->current_test_info()->name();
        desktop_ = CreateDesktopA(name.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        ASSERT_NE(desktop_, nullptr) << "CreateDesktopA failed: " << GetLastError();
        options_.desktop = "WinSta0\\" + name;
        ASSERT_TRUE(watcher_.Start(Quoted(testenv::ProgramDir() + "session_watcher.exe") + " " +
                                   Quoted(record_), options_));
        ASSERT_TRUE(WaitForLines("ready", 1)) << "watcher did not start: " << Record();
    }
    void TearDown() override
    {
        watcher_.Kill();
        if (desktop_)
            CloseDesktop(desktop_);
    }

    static std::string Quoted(const std::string& text) { return "\"" + text + "\""; }
    std::string Record() const { return testenv::ReadFileOrEmpty(record_); }

    int CountLines(const char* word) const
    {
        std::string record = Record();
        int count = 0;
        for (size_t at = record.find(word); at != std::string::npos; at = record.find(word, at + 1))
            ++count;
        return count;
    }

    bool WaitForLines(const char* word, int count) const
    {
        for (DWORD start = GetTickCount(); CountLines(word) < count; Sleep(50))
            if (GetTickCount() - start >= 20000)
                return false;
        return true;
    }

    DWORD RunProbe()
    {
        testenv::Process probe;
        EXPECT_TRUE(probe.Start(Quoted(testenv::ProgramDir() + "restart_probe.exe"), options_));
        DWORD code = probe.Wait(30000);
        if (code == STILL_ACTIVE)
            probe.Kill();
        return code;
    }

    testenv::TempDir dir_{"restart"};
    std::string record_ = dir_ / "session.txt";
    HDESK desktop_ = nullptr;
    testenv::StartOptions options_;
    testenv::Process watcher_;
};

}  // namespace

TEST_F(RestartTest, EnablesTheShutdownPrivilegeAndRequestsTheRestartTwice)
{
    EXPECT_EQ(CountLines("query"), 0) << Record();
    DWORD code = RunProbe();
    EXPECT_EQ(code, kEnabledAfter) << "privilege before/after and platform bits: " << code;
    // One end-session round per ExitWindowsEx call: inside the token branch and after it.
    EXPECT_TRUE(WaitForLines("query", 2)) << Record();
    Sleep(1000);
    EXPECT_EQ(CountLines("query"), 2) << Record();
    EXPECT_EQ(watcher_.Wait(0), DWORD(STILL_ACTIVE)) << "forced: the refusal was not respected";
}

TEST_F(RestartTest, RequestsTheRestartOnWindows98)
{
    testenv::Win98Mode win98("restart_probe.exe");
    DWORD code = RunProbe();
    ASSERT_NE(code, DWORD(STILL_ACTIVE));
    EXPECT_TRUE(code & kWindows98) << "the probe did not run as Windows 98: " << code;
    EXPECT_FALSE(code & kEnabledBefore) << code;
    // Wine opens the token for a Windows 98 program too, so both requests come.
    EXPECT_TRUE(WaitForLines("query", 2)) << Record();
}
