// Reports end the process, so each case runs report_probe.exe with TEMP set
// to the test's own directory, answers its box and checks the exit code, the
// probe's trace and zkal.log.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "diag/message_table.h"
#include "diag/run_log.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

namespace {

const char kLocation[] = "\nFile: probe.cpp; Line: 4242\n";
const std::string kStamp = "[^\r\n]*, [^\r\n]* \\(t=[0-9]+\\)";
const std::string kHeader = "\r\n\r\n---- Log started " + kStamp + "\r\n";
const std::string kDone = "log done ok: " + kStamp + "\r\n";

// A regex matching text literally, with its line feeds as CR LF.
std::string Literal(const std::string& text)
{
    std::string escaped = std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
    return std::regex_replace(escaped, std::regex("\n"), "\r\n");
}

std::string SystemText(DWORD code)
{
    char text[1024] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, sizeof text, nullptr);
    std::string result = text;
    while (!result.empty() && (result.back() == '\n' || result.back() == '\r'))
        result.pop_back();
    return result;
}

std::string Framed(int severity, const std::string& proper)
{
    std::string text = kLevelTemplates[severity - 1];
    return text.replace(text.find("%s"), 2, proper);
}

class ReportTest : public ::testing::Test {
protected:
    // arguments: SCENE EXITCODE OP [MESSAGE [ARG...]]; TEMP is the test's
    // directory unless changes say otherwise.
    void Start(const std::string& arguments,
               std::vector<std::pair<std::string, const char*>> changes = {})
    {
        DeleteFileA(trace_.c_str());
        DeleteFileA((dir_ / "zkal.log").c_str());
        if (changes.empty())
            changes = {{"TEMP", temp_.c_str()}};
        testenv::StartOptions options;
        options.environment = testenv::EnvironmentWith(changes);
        ASSERT_TRUE(probe_.Start("\"" + testenv::ProgramDir() + "report_probe.exe\" \"" + trace_ +
                                     "\" " + arguments, options));
    }

    // The Log Directory that the probe chose at start-up, or "".
    std::string ChosenDirectory(const std::vector<std::pair<std::string, const char*>>& changes)
    {
        Start("idle", changes);
        EXPECT_NE(probe_.Wait(20000), DWORD(STILL_ACTIVE));
        std::smatch line;
        std::string text = TraceText();
        return std::regex_search(text, line, std::regex("^logdir (.*)\r\n")) ? line[1].str() : "";
    }

    // Waits for the error box, checks its text and returns the exit code after OK.
    DWORD AnswerBox(const std::string& text)
    {
        ui::MessageBox box;
        if (!ui::WaitForMessageBox(&box, 10000, probe_.Id(), "Error"))
            return ADD_FAILURE() << "no error box", 0u;
        shownAt_ = GetTickCount();
        EXPECT_EQ(box.caption, "Error");
        EXPECT_EQ(box.text, text);
        EXPECT_TRUE(ui::ControlVisible(box.window, 1088)) << "no error icon";
        EXPECT_EQ(GetDlgItem(box.window, IDCANCEL), nullptr) << "more than an OK button";
        if (probeWindow_) {   // the worker's box: on the main thread, task-modal
            EXPECT_EQ(GetWindowThreadProcessId(box.window, nullptr),
                      GetWindowThreadProcessId(probeWindow_, nullptr));
            EXPECT_FALSE(IsWindowEnabled(probeWindow_)) << "the box is not task-modal";
        }
        ui::AnswerMessageBox(box, IDOK);
        return probe_.Wait(10000);
    }

    void ExpectLog(const std::string& pattern)
    {
        std::string log = testenv::ReadFileOrEmpty(dir_ / "zkal.log");
        EXPECT_TRUE(std::regex_match(log, std::regex(kHeader + pattern))) << log;
    }

    std::string TraceText() const { return testenv::ReadFileOrEmpty(trace_); }

    testenv::TempDir dir_{"report"};
    std::string trace_ = dir_ / "trace.txt";
    std::string temp_ = dir_.Path().substr(0, dir_.Path().size() - 1);
    testenv::Process probe_;
    HWND probeWindow_ = nullptr;
    DWORD shownAt_ = 0;
};

}  // namespace

TEST_F(ReportTest, MainThreadReportsShowTheirMessageThroughTheLevelTemplate)
{
    const struct {
        const char* arguments;
        int severity;
        std::string proper;
    } cases[] = {
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
        {"plain 420", 1, "Message number 420 is not in the table"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        Start(std::string("main 255 ") + c.arguments);
        EXPECT_EQ(AnswerBox(Framed(c.severity, c.proper)), 255u);
        ExpectLog(Literal(c.proper + kLocation));
        EXPECT_EQ(TraceText().find("returned"), std::string::npos) << TraceText();
    }
    // Texts longer than the box and log buffers are cut.
    Start("main 255 text 79 " + std::string(3000, 'x'));
    EXPECT_EQ(AnswerBox(Framed(1, "ZKSE: Scene '" + std::string(3000, 'x')).substr(0, 1023)), 255u);
    ExpectLog("ZKSE: Scene 'x{900,1100}" + Literal(kLocation));
}

TEST_F(ReportTest, OtherExitCodesAndEndProgramEndWithoutABox)
{
    for (const char* arguments : {"main 7 text 79 intro", "main 0 plain 5", "main 4 end"}) {
        SCOPED_TRACE(arguments);
        Start(arguments);
        EXPECT_EQ(probe_.Wait(10000), DWORD(atoi(arguments + 5))) << "a box kept it alive?";
        ExpectLog(kDone);
    }
    Start("main 255 end");
    EXPECT_EQ(probe_.Wait(10000), 255u);
    ExpectLog("error" + Literal(kLocation));
}

TEST_F(ReportTest, WorkerReportsAreShownByTheMainThreadWithTheirArguments)
{
    // The worker's last error is ERROR_ACCESS_DENIED, the main loop's another.
    const std::string proper =
        "FILE: Not enough disk space to write save.dat to D: (" + SystemText(5) + ")";
    Start("thread 255 last 354 save.dat D:");
    probeWindow_ = ui::WaitForWindow("ReportProbe", nullptr, 10000, probe_.Id());
    ASSERT_NE(probeWindow_, nullptr);
    EXPECT_EQ(AnswerBox(Framed(2, proper)), 255u);
    std::string trace = TraceText();
    EXPECT_NE(trace.find("returned"), std::string::npos) << "the worker waited: " << trace;
    std::smatch raised;
    ASSERT_TRUE(std::regex_search(trace, raised, std::regex("raised ([0-9]+)"))) << trace;
    EXPECT_LT(shownAt_ - DWORD(std::stoul(raised[1])), 1000u) << "not replayed within a few ticks";
    ExpectLog(Literal(proper + kLocation));
}

TEST_F(ReportTest, ASecondHandOverNeverMixesWithTheFirst)
{
    // The second report has the texts "late" and numbers shifted by 1000.
    Start("twice 255 texttext 381 cam1 hall");
    EXPECT_EQ(AnswerBox(Framed(4, "ZKAM: Camera definition cam1 is missing in scene hall")), 255u);
    Start("twice 255 numbernumber 95 12 -3");
    EXPECT_EQ(AnswerBox(Framed(1, "ZKSE: Scene 12 has an invalid state -3")), 255u);
    EXPECT_NE(TraceText().find("returned"), std::string::npos) << TraceText();
}

TEST_F(ReportTest, AWorkerEndProgramWhileTheBoxIsOpenEndsTheProcess)
{
    Start("nested 255 text 79 intro");
    ui::MessageBox box;
    ASSERT_TRUE(ui::WaitForMessageBox(&box, 10000, probe_.Id(), "Error"));
    EXPECT_EQ(box.text, Framed(1, "ZKSE: Scene 'intro' not found"));
    EXPECT_EQ(probe_.Wait(10000), 9u);
    ExpectLog("ZKSE: Scene 'intro' not found" + Literal(kLocation) + kDone);
}

TEST_F(ReportTest, CloseDownDropsApplicationMessagesAndLaterReportsReturn)
{
    // Window and thread messages from WM_USER to 0xFFFF and a WM_COMMAND are
    // queued; at exit the probe counts them and reports while Closing.
    for (const char* arguments : {"closing 3 end", "closing 5 text 79 intro"}) {
        SCOPED_TRACE(arguments);
        Start(arguments);
        EXPECT_EQ(probe_.Wait(10000), DWORD(atoi(arguments + 8)));
        std::string trace = TraceText();
        EXPECT_NE(trace.find("at exit stage=2 application=0 command=1\r\n"), std::string::npos)
            << trace;
        EXPECT_NE(trace.find("returned from closing report"), std::string::npos) << trace;
        EXPECT_EQ(trace.find("handled"), std::string::npos) << trace;
        ExpectLog(kDone + "chyba: " + kStamp +
                  "\r\nZKSE: Scene 'at exit' not found\r\nFile: probe.cpp; Line: 4244\r\n");
    }
}

TEST_F(ReportTest, TheLogDirectoryIsTempWithABackslashElseCTemp)
{
    EXPECT_EQ(ChosenDirectory({}), dir_.Path());
    EXPECT_EQ(ChosenDirectory({{"TMP", nullptr}, {"tEmP", temp_.c_str()}}),
              dir_.Path()) << "the name is matched in any case";
    EXPECT_FALSE(testenv::FileExists(dir_ / "zkal.log")) << "a run without reports wrote the log";

    if (testenv::DirectoryExists("c:\\temp"))
        GTEST_SKIP() << "c:\\temp exists already";
    EXPECT_EQ(ChosenDirectory({{"TEMP", nullptr}}), "c:\\temp\\");
    EXPECT_TRUE(testenv::DirectoryExists("c:\\temp")) << "not created by a run without reports";
    EXPECT_FALSE(testenv::FileExists("c:\\temp\\zkal.log"));
    testenv::RemoveTree("c:\\temp");
    EXPECT_EQ(ChosenDirectory({{"TEMP", ""}}), "c:\\temp\\");
    std::string tooLong = dir_.Path() + std::string(kLogPathSize - dir_.Path().size() - 8, 'q');
    EXPECT_EQ(ChosenDirectory({{"TEMP", tooLong.c_str()}}), "c:\\temp\\");
    std::string fits = dir_.Path() + std::string(kLogPathSize - dir_.Path().size() - 11, 'q');
    EXPECT_EQ(ChosenDirectory({{"TEMP", fits.c_str()}}), fits + "\\");
    testenv::RemoveTree("c:\\temp");
}
