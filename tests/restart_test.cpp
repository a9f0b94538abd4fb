// RestartWindows under Wine: ExitWindowsEx starts "wineboot --end-session",
// which asks every top-level window on the caller's desktop with
// WM_QUERYENDSESSION. The tests run the probe and a watcher window on a
// desktop of their own, so no other window of the prefix is asked (or closed),
// and the watcher refuses, so wineboot stops before carrying out the restart.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "support/test_env.h"

namespace {

const int kEnabledAfter = 1;
const int kEnabledBefore = 2;
const int kWindows98 = 4;

class RestartTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::ostringstream name;
        name << "restart_test_" << GetCurrentProcessId() << "_" << ++counter_;
        desktopName_ = name.str();
        desktop_ = CreateDesktopA(desktopName_.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr);
        ASSERT_NE(desktop_, nullptr) << "CreateDesktopA failed: " << GetLastError();
        options_.desktop = "WinSta0\\" + desktopName_;
        record_ = dir_ / "session.txt";
        ASSERT_TRUE(watcher_.Start(Quoted(testenv::ProgramDir() + "session_watcher.exe") + " " +
                                       Quoted(record_),
                                   options_));
        ASSERT_TRUE(WaitForLines("ready", 1, 20000)) << "watcher did not start: " << Record();
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
        std::istringstream lines(Record());
        std::string line;
        int count = 0;
        while (std::getline(lines, line))
            count += line.compare(0, strlen(word), word) == 0 ? 1 : 0;
        return count;
    }

    bool WaitForLines(const char* word, int count, DWORD timeoutMs) const
    {
        DWORD start = GetTickCount();
        while (CountLines(word) < count) {
            if (GetTickCount() - start >= timeoutMs)
                return false;
            Sleep(50);
        }
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

    static int counter_;
    testenv::TempDir dir_{"restart"};
    std::string desktopName_;
    HDESK desktop_ = nullptr;
    testenv::StartOptions options_;
    std::string record_;
    testenv::Process watcher_;
};

int RestartTest::counter_;

}  // namespace

TEST_F(RestartTest, EnablesTheShutdownPrivilegeAndRequestsTheRestartTwice)
{
    EXPECT_EQ(CountLines("query"), 0) << Record();
    DWORD code = RunProbe();
    ASSERT_NE(code, STILL_ACTIVE);
    EXPECT_EQ(code, DWORD(kEnabledAfter)) << "privilege before/after and platform bits: " << code;
    // One end-session round per ExitWindowsEx call: inside the token branch and after it.
    EXPECT_TRUE(WaitForLines("query", 2, 20000)) << Record();
    Sleep(1000);
    EXPECT_EQ(CountLines("query"), 2) << Record();
    // Not forced: the watcher's refusal is respected and it lives on.
    EXPECT_EQ(watcher_.Wait(0), DWORD(STILL_ACTIVE));
}

TEST_F(RestartTest, RequestsTheRestartOnWindows98)
{
    testenv::Win98Mode win98("restart_probe.exe");
    DWORD code = RunProbe();
    ASSERT_NE(code, STILL_ACTIVE);
    EXPECT_TRUE(code & kWindows98) << "the probe did not run as Windows 98: " << code;
    EXPECT_FALSE(code & kEnabledBefore) << code;
    // Wine opens the token even for a Windows 98 program, so the privilege is
    // enabled there too and both requests are made.
    EXPECT_TRUE(WaitForLines("query", 2, 20000)) << Record();
}
