// Fatal-error reports end the process, so each case runs report_probe.exe
// (tests/tools) in a child process with TEMP pointing at a directory of the
// test's own, reads its error box through the UI driver and checks the exit
// code, the probe's trace and zkal.log.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>

#include "diag/message_table.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

namespace {

const DWORD kBoxTimeoutMs = 10000;
const DWORD kExitTimeoutMs = 10000;
const char kLocation[] = "\r\nFile: probe.cpp; Line: 4242\r\n";
const char kStamp[] = "[^\r\n]*, [^\r\n]* \\(t=[0-9]+\\)";

std::string Header() { return std::string("\r\n\r\n---- Log started ") + kStamp + "\r\n"; }

bool Matches(const std::string& text, const std::string& pattern)
{
    return std::regex_match(text, std::regex(pattern));
}

std::string Escaped(const std::string& text)
{
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

// Line feeds as the text-mode log stores them.
std::string OnDisk(const std::string& text) { return std::regex_replace(text, std::regex("\n"), "\r\n"); }

// The system's text for code, without its closing line end.
std::string SystemText(DWORD code)
{
    char text[1024] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                   text, sizeof text, nullptr);
    std::string result = text;
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    return result;
}

// The box text for a message proper of the given severity.
std::string Framed(int severity, const std::string& proper)
{
    std::string text = kLevelTemplates[severity - 1];
    return text.replace(text.find("%s"), 2, proper);
}

class ReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string temp = dir_.Path().substr(0, dir_.Path().size() - 1);
        options_.environment = testenv::EnvironmentWith({{"TEMP", temp.c_str()}});
    }

    // arguments: SCENE EXITCODE OP [MESSAGE [ARG...]]
    void Start(const std::string& arguments)
    {
        DeleteFileA(Trace().c_str());
        DeleteFileA(Log().c_str());
        ASSERT_TRUE(probe_.Start("\"" + testenv::ProgramDir() + "report_probe.exe\" \"" + Trace() +
                                     "\" " + arguments,
                                 options_));
    }

    bool WaitForBox(ui::MessageBox* box)
    {
        return ui::WaitForMessageBox(box, kBoxTimeoutMs, probe_.Id(), "Error");
    }

    // Closes the box with OK and returns the exit code.
    DWORD AnswerAndWait(const ui::MessageBox& box)
    {
        ui::AnswerMessageBox(box, IDOK);
        return probe_.Wait(kExitTimeoutMs);
    }

    std::string Trace() const { return dir_ / "trace.txt"; }
    std::string Log() const { return dir_ / "zkal.log"; }
    std::string TraceText() const { return testenv::ReadFileOrEmpty(Trace()); }
    std::string LogText() const { return testenv::ReadFileOrEmpty(Log()); }

    // The tick count the probe traced when its worker raised the report.
    DWORD RaisedAt() const
    {
        std::smatch match;
        std::string trace = TraceText();
        if (!std::regex_search(trace, match, std::regex("raised ([0-9]+)")))
            return 0;
        return DWORD(strtoul(match[1].str().c_str(), nullptr, 10));
    }

    testenv::TempDir dir_{"report"};
    testenv::StartOptions options_;
    testenv::Process probe_;
};

struct BoxCase {
    const char* arguments;
    int severity;
    std::string proper;
};

}  // namespace

TEST_F(ReportTest, MainThreadReportsShowTheirMessageThroughTheLevelTemplate)
{
    const BoxCase cases[] = {
        {"plain 79", 1, "ZKSE: Scene '%s' not found"},
        {"text 79 intro", 1, "ZKSE: Scene 'intro' not found"},
        {"number 76 7", 1, "ZKSS_JR: Job 7 started twice"},
        {"texttext 381 cam1 hall", 4, "ZKAM: Camera definition cam1 is missing in scene hall"},
        {"textnumber 355 map.dat 4096", 2, "FILE: Not enough memory to read map.dat (4096 bytes)"},
        {"numbernumber 95 12 -3", 1, "ZKSE: Scene 12 has an invalid state -3"},
        {"system 2 5", 2, "INIT: Cannot create the main window (" + SystemText(5) + ")"},
        {"textsystem 5 a.dat 2", 3, "The file a.dat cannot be opened.\n" + SystemText(2)},
        {"last 354 save.dat D:", 2,
         "FILE: Not enough disk space to write save.dat to D: (" + SystemText(5) + ")"},
        {"plain 0", 3, ""},
        {"plain 74", 3, kMessageTable[74] + 1},
        {"plain 420", 1, "Message number 420 is not in the table"},
    };
    for (const BoxCase& c : cases) {
        SCOPED_TRACE(c.arguments);
        Start(std::string("main 255 ") + c.arguments);
        ui::MessageBox box;
        ASSERT_TRUE(WaitForBox(&box)) << "no error box";
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.text, Framed(c.severity, c.proper));
        // Wine's box hides its icon control (1088) unless an icon was asked
        // for; it ignores MB_TOPMOST, so that flag cannot be seen here.
        EXPECT_TRUE(ui::ControlVisible(box.window, 1088)) << "no error icon";
        EXPECT_EQ(GetDlgItem(box.window, IDCANCEL), nullptr) << "more than an OK button";
        EXPECT_EQ(AnswerAndWait(box), 255u);
        EXPECT_TRUE(Matches(LogText(), Header() + Escaped(OnDisk(c.proper)) + Escaped(kLocation)))
            << LogText();
        EXPECT_EQ(TraceText().find("returned"), std::string::npos) << TraceText();
    }
}

TEST_F(ReportTest, OtherExitCodesEndWithoutABoxAndLogDone)
{
    for (const char* arguments : {"main 7 text 79 intro", "main 0 plain 5", "main 4 end"}) {
        SCOPED_TRACE(arguments);
        Start(arguments);
        DWORD expected = DWORD(atoi(arguments + 5));
        EXPECT_EQ(probe_.Wait(kExitTimeoutMs), expected) << "a box kept the process alive?";
        EXPECT_TRUE(Matches(LogText(), Header() + "log done ok: " + kStamp + "\r\n")) << LogText();
    }
}

TEST_F(ReportTest, EndProgramWithTheErrorCodeLogsItsLocationWithoutABox)
{
    Start("main 255 end");
    EXPECT_EQ(probe_.Wait(kExitTimeoutMs), 255u);
    EXPECT_TRUE(Matches(LogText(), Header() + "error" + Escaped(kLocation))) << LogText();
}

TEST_F(ReportTest, WorkerReportsAreShownByTheMainThreadWithTheirArguments)
{
    Start("thread 255 textnumber 355 map.dat 4096");
    ui::MessageBox box;
    ASSERT_TRUE(WaitForBox(&box));
    DWORD shownAt = GetTickCount();
    EXPECT_EQ(box.text, Framed(2, "FILE: Not enough memory to read map.dat (4096 bytes)"));
    std::string trace = TraceText();
    EXPECT_NE(trace.find("returned"), std::string::npos) << "the worker waited: " << trace;
    DWORD raisedAt = RaisedAt();
    ASSERT_NE(raisedAt, 0u) << trace;
    EXPECT_LT(shownAt - raisedAt, 1000u) << "not replayed within a few timer ticks";
    DWORD boxThread = GetWindowThreadProcessId(box.window, nullptr);
    HWND probeWindow = ui::WaitForWindow("ReportProbe", nullptr, 0, probe_.Id());
    ASSERT_NE(probeWindow, nullptr);
    EXPECT_EQ(boxThread, GetWindowThreadProcessId(probeWindow, nullptr)) << "box not on the main thread";
    EXPECT_FALSE(IsWindowEnabled(probeWindow)) << "the box is not task-modal";
    EXPECT_EQ(AnswerAndWait(box), 255u);
    EXPECT_TRUE(Matches(LogText(), Header() + Escaped(OnDisk(
                                                  "FILE: Not enough memory to read map.dat (4096 bytes)")) +
                                       Escaped(kLocation)))
        << LogText();
}

TEST_F(ReportTest, AWorkerLastErrorIsTheRaisingThreadsCode)
{
    // The probe's worker fails with ERROR_ACCESS_DENIED; its main thread
    // dispatches with ERROR_FILE_NOT_FOUND.
    Start("thread 255 last 354 save.dat D:");
    ui::MessageBox box;
    ASSERT_TRUE(WaitForBox(&box));
    EXPECT_EQ(box.text,
              Framed(2, "FILE: Not enough disk space to write save.dat to D: (" + SystemText(5) + ")"));
    EXPECT_EQ(AnswerAndWait(box), 255u);
}

TEST_F(ReportTest, WorkerEndProgramEndsTheProcessFromTheMainThread)
{
    Start("thread 6 end");
    EXPECT_EQ(probe_.Wait(kExitTimeoutMs), 6u);
    EXPECT_NE(TraceText().find("returned"), std::string::npos) << TraceText();
    EXPECT_TRUE(Matches(LogText(), Header() + "log done ok: " + kStamp + "\r\n")) << LogText();
}

TEST_F(ReportTest, ASecondHandOverNeverMixesWithTheFirst)
{
    // Both reports are raised while the main thread is busy; the second one
    // has the texts "late" and numbers shifted by 1000.
    for (const char* arguments : {"twice 255 texttext 381 cam1 hall", "twice 255 numbernumber 95 12 -3"}) {
        SCOPED_TRACE(arguments);
        Start(arguments);
        ui::MessageBox box;
        ASSERT_TRUE(WaitForBox(&box));
        std::string expected = strstr(arguments, "texttext")
                                   ? "ZKAM: Camera definition cam1 is missing in scene hall"
                                   : "ZKSE: Scene 12 has an invalid state -3";
        EXPECT_EQ(box.text, Framed(strstr(arguments, "texttext") ? 4 : 1, expected));
        EXPECT_NE(TraceText().find("returned"), std::string::npos) << TraceText();
        EXPECT_EQ(AnswerAndWait(box), 255u);
    }
}

TEST_F(ReportTest, AReportHandedOverWhileTheBoxIsOpenIsReplayedAtOnce)
{
    Start("nested 255 text 79 intro");
    ui::MessageBox box;
    ASSERT_TRUE(WaitForBox(&box));
    EXPECT_EQ(box.text, Framed(1, "ZKSE: Scene 'intro' not found"));
    // The worker's EndProgram with exit code 9 is replayed by the box's own
    // message loop and ends the process with its code.
    EXPECT_EQ(probe_.Wait(kExitTimeoutMs), 9u);
    EXPECT_TRUE(Matches(LogText(), Header() + "ZKSE: Scene 'intro' not found" + Escaped(kLocation) +
                                       "log done ok: " + kStamp + "\r\n"))
        << LogText();
}

TEST_F(ReportTest, CloseDownDropsApplicationMessagesAndLaterReportsReturn)
{
    // The probe posts window and thread messages from WM_USER to 0xFFFF plus
    // a WM_COMMAND, then ends; a static destructor counts what is left and
    // raises a report with exit code 255 while the stage is Closing.
    for (const char* arguments : {"closing 3 end", "closing 5 text 79 intro"}) {
        SCOPED_TRACE(arguments);
        Start(arguments);
        DWORD expected = DWORD(atoi(arguments + 8));
        EXPECT_EQ(probe_.Wait(kExitTimeoutMs), expected);
        std::string trace = TraceText();
        EXPECT_NE(trace.find("at exit stage=2 application=0 command=1\r\n"), std::string::npos) << trace;
        EXPECT_NE(trace.find("returned from closing report"), std::string::npos) << trace;
        EXPECT_EQ(trace.find("handled"), std::string::npos) << trace;
        EXPECT_TRUE(Matches(LogText(), Header() + "log done ok: " + kStamp + "\r\nchyba: " + kStamp +
                                           "\r\nZKSE: Scene 'at exit' not found\r\n"
                                           "File: probe.cpp; Line: 4244\r\n"))
            << LogText();
    }
}

TEST_F(ReportTest, LongTextsAreCutToTheirBuffers)
{
    Start("main 255 text 79 repeat:3000");
    ui::MessageBox box;
    ASSERT_TRUE(WaitForBox(&box));
    EXPECT_EQ(box.text.size(), 1023u);
    EXPECT_EQ(box.text.compare(0, box.text.size(), Framed(1, "ZKSE: Scene '" + std::string(3000, 'x')), 0,
                               box.text.size()),
              0);
    EXPECT_EQ(AnswerAndWait(box), 255u);
    std::string log = LogText();
    EXPECT_TRUE(Matches(log, Header() + "ZKSE: Scene 'x+" + Escaped(kLocation))) << log.size();
    EXPECT_LT(log.size(), 1100u);
}
