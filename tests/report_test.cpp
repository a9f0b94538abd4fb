// Reports end their process, so each case re-runs this program as a probe
// (--probe SCENE EXITCODE OP [MESSAGE [ARG ARG]]) with TEMP set to the test's
// directory, answers its box and checks the exit code and zkal.log.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "diag/message_table.h"
#include "diag/report.h"
#include "diag/run_log.h"
#include "shell/buf.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

namespace {

const char kFile[] = "probe.cpp";
std::string g_scene, g_op, g_a, g_b;
int g_code, g_number;

// The texts live in this call's buffers, overwritten once the report
// returns. A late report has the texts "late" and numbers shifted by 1000.
void Raise(int code, int late)
{
    std::string a = late ? "late" : g_a, b = late ? "late" : g_b;
    int x = atoi(g_a.c_str()) + late, y = atoi(g_b.c_str()) + late, c = code, n = g_number;
    SetLastError(ERROR_ACCESS_DENIED);
    if (g_op == "end") EndProgram(kFile, 4242, c);
    if (g_op == "plain") ReportError(kFile, 4242, c, n);
    if (g_op == "text") ReportError(kFile, 4242, c, n, a.c_str());
    if (g_op == "number") ReportError(kFile, 4242, c, n, x);
    if (g_op == "texttext") ReportError(kFile, 4242, c, n, a.c_str(), b.c_str());
    if (g_op == "textnumber") ReportError(kFile, 4242, c, n, a.c_str(), y);
    if (g_op == "numbernumber") ReportError(kFile, 4242, c, n, x, y);
    if (g_op == "system") ReportSystemError(kFile, 4242, c, n, DWORD(x));
    if (g_op == "textsystem") ReportSystemError(kFile, 4242, c, n, a.c_str(), DWORD(y));
    if (g_op == "last") ReportLastError(kFile, 4242, c, n, a.c_str(), b.c_str());
    a.assign(a.size(), 'X');
    b.assign(b.size(), 'X');
}

// nested: raises the same report with exit code 9 once the box is open.
DWORD WINAPI RaiseFromWorker(LPVOID)
{
    ui::MessageBox box;
    bool nested = g_scene == "nested";
    if (nested && !ui::WaitForMessageBox(&box, 10000, GetCurrentProcessId(), "Error"))
        return 0;
    Raise(nested ? 9 : g_code, 0);
    if (g_scene == "twice")
        Raise(g_code, 1000);
    return 0;
}

// Built before the run's own objects, so destroyed after them: it reports
// while Closing and logs what the close-down left behind.
struct ExitRecorder {
    ~ExitRecorder()
    {
        MSG message;
        char line[128];
        if (g_scene != "closing")
            return;
        ReportError(kFile, 4244, kErrorExitCode, 79, "at exit");
        BufFormat(line, sizeof line, "left: application %d, command %d, timer %d\n",
                  PeekMessageA(&message, nullptr, WM_USER, 0xFFFF, PM_REMOVE),
                  PeekMessageA(&message, nullptr, WM_COMMAND, WM_COMMAND, PM_REMOVE),
                  KillTimer(nullptr, g_handOverTimer));
        LogWrite(line);
    }
} g_exitRecorder __attribute__((init_priority(101)));

// SCENE: main, nested, closing (application messages queued first) or, from
// a worker, thread (while the main loop runs) and twice (two reports before
// the loop starts).
int RunProbe(int argc, char** argv)
{
    auto arg = [&](int i) { return std::string(i < argc ? argv[i] : ""); };
    g_scene = arg(2), g_code = atoi(arg(3).c_str()), g_op = arg(4);
    g_number = atoi(arg(5).c_str()), g_a = arg(6), g_b = arg(7);
    HWND window = CreateWindowExA(0, "STATIC", "report probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                  0, 0, 200, 100, nullptr, nullptr, nullptr, nullptr);
    for (UINT message : {0x400u, 0x8005u, 0xC123u, 0xFFFFu, UINT(WM_COMMAND)})
        if (g_scene == "closing")
            PostMessageA(message == 0xC123u ? nullptr : window, message, 0, 0);
    HANDLE worker = g_scene == "main" || g_scene == "closing"
                        ? nullptr : CreateThread(nullptr, 0, RaiseFromWorker, nullptr, 0, nullptr);
    if (g_scene == "twice")
        WaitForSingleObject(worker, INFINITE);
    if (g_scene != "thread" && g_scene != "twice")
        return Raise(g_code, 0), 100;
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);   // the loop's own, never the raiser's
        DispatchMessageA(&message);
    }
    return 100;
}

const std::string kHeader = "\n\n---- Log started <stamp>\n", kDone = "log done ok: <stamp>\n";
const std::string kLocation = "\nFile: probe.cpp; Line: 4242\n";

std::string Crlf(const std::string& text) { return std::regex_replace(text, std::regex("\n"), "\r\n"); }

std::string SystemText(DWORD code)
{
    char text[1024] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, sizeof text, nullptr);
    return std::regex_replace(text, std::regex("[\r\n]+$"), "");
}

// The file with its stamps as <stamp>, removed after reading.
std::string TakeLog(const std::string& path)
{
    std::string log = testenv::ReadFileOrEmpty(path);
    DeleteFileA(path.c_str());
    return std::regex_replace(log, std::regex("(started |chyba: |ok: )[^\r\n]*[0-9], [^\r\n]*[0-9]:[0-9][^\r\n]* \\(t=[0-9]+\\)"), "$1<stamp>");
}

class ReportTest : public ::testing::Test {
protected:
    using Changes = std::vector<std::pair<std::string, const char*>>;
    // TEMP, in any case, is the test's directory without its backslash unless changes say otherwise.
    void Start(const std::string& arguments, Changes changes = {})
    {
        testenv::StartOptions options;
        options.environment = testenv::EnvironmentWith(changes.empty() ? Changes{{"tEmP", temp_.c_str()}} : changes);
        ASSERT_TRUE(probe_.Start("\"" + testenv::ProgramDir() + "report_test.exe\" --probe " + arguments, options));
    }

    // The box of the probe's main thread, answered when it alone ends the probe.
    void CheckBox(int severity, const std::string& proper, bool answer)
    {
        HWND window = ui::WaitForWindow(nullptr, "report probe", 10000, probe_.Id());
        DWORD windowAt = GetTickCount();
        ui::MessageBox box;
        ASSERT_TRUE(ui::WaitForMessageBox(&box, 10000, probe_.Id(), "Error"));
        EXPECT_LT(GetTickCount() - windowAt, 600u) << "not replayed within a few ticks";
        std::string frame = kLevelTemplates[severity - 1];
        EXPECT_EQ(box.text, frame.replace(frame.find("%s"), 2, proper));
        EXPECT_TRUE(ui::ControlVisible(box.window, 1088)) << "no error icon";
        EXPECT_EQ(GetDlgItem(box.window, IDCANCEL), nullptr) << "more than an OK button";
        EXPECT_EQ(GetWindowThreadProcessId(box.window, nullptr), GetWindowThreadProcessId(window, nullptr));
        EXPECT_FALSE(IsWindowEnabled(window)) << "the box is not task-modal";
        if (answer)
            ui::AnswerMessageBox(box, IDOK);
    }

    testenv::TempDir dir_{"report"};
    std::string temp_ = dir_.Path().substr(0, dir_.Path().size() - 1);
    testenv::Process probe_;
};

}  // namespace

TEST_F(ReportTest, ReportsLogShowTheirBoxOnTheMainThreadAndEndWithTheirCode)
{
    const std::string diskFull = "FILE: Not enough disk space to write save.dat to D: (" + SystemText(5) + ")";
    const std::string atExit = "chyba: <stamp>\nZKSE: Scene 'at exit' not found\nFile: probe.cpp; Line: 4244\n"
                               "left: application 0, command 1, timer 0\n";
    const struct {
        const char* arguments;
        DWORD exitCode;
        int severity;   // of the box, 0 for none
        std::string proper, log;   // log: when not the proper text and the location
    } cases[] = {
        {"main 255 plain 79", 255, 1, "ZKSE: Scene '%s' not found", ""},
        {"main 255 text 79 100%s%d%%", 255, 1, "ZKSE: Scene '100%s%d%%' not found", ""},
        {"main 255 number 76 7", 255, 1, "ZKSS_JR: Job 7 started twice", ""},
        {"main 255 texttext 381 cam1 hall", 255, 4, "ZKAM: Camera definition cam1 is missing in scene hall", ""},
        {"main 255 textnumber 355 map.dat 4096", 255, 2, "FILE: Not enough memory to read map.dat (4096 bytes)", ""},
        {"main 255 numbernumber 95 12 -3", 255, 1, "ZKSE: Scene 12 has an invalid state -3", ""},
        {"main 255 system 2 5", 255, 2, "INIT: Cannot create the main window (" + SystemText(5) + ")", ""},
        {"main 255 textsystem 5 a.dat 2", 255, 3, "The file a.dat cannot be opened.\n" + SystemText(2), ""},
        {"main 255 last 354 save.dat D:", 255, 2, diskFull, ""},
        {"main 255 plain 0", 255, 3, "", ""},
        {"main 255 plain 420", 255, 1, "Message number 420 is not in the table", ""},
        {"thread 255 last 354 save.dat D:", 255, 2, diskFull, ""},
        {"twice 255 textnumber 355 map.dat 4096", 255, 2, "FILE: Not enough memory to read map.dat (4096 bytes)", ""},
        {"nested 255 text 79 intro", 9, 1, "ZKSE: Scene 'intro' not found",
         "ZKSE: Scene 'intro' not found" + kLocation + kDone},
        {"closing 5 text 79 intro", 5, 0, "", kDone + atExit},
        {"closing 0 plain 5", 0, 0, "", kDone + atExit},
        {"closing 3 end", 3, 0, "", kDone + atExit},
        {"closing 255 end", 255, 0, "", "error" + kLocation + atExit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments);
        Start(c.arguments);
        if (c.severity)
            CheckBox(c.severity, c.proper, c.exitCode == 255);
        EXPECT_EQ(probe_.Wait(10000), c.exitCode);
        EXPECT_EQ(TakeLog(dir_ / "zkal.log"), Crlf(kHeader + (c.log.empty() ? c.proper + kLocation : c.log)));
    }
    // Texts longer than the box and log buffers are cut.
    std::string xs(3000, 'x');
    Start("main 255 text 79 " + xs);
    CheckBox(1, ("ZKSE: Scene '" + xs).substr(0, 1025 - strlen(kLevelTemplates[0])), true);
    EXPECT_EQ(probe_.Wait(10000), 255u);
    EXPECT_NE(TakeLog(dir_ / "zkal.log").find("xxx" + Crlf(kLocation)), std::string::npos);
}

TEST_F(ReportTest, TheLogGoesToTempWithABackslashElseToCTemp)
{
    if (testenv::DirectoryExists("c:\\temp"))
        GTEST_SKIP() << "c:\\temp exists already";
    Start("main 0 none", {{"TEMP", nullptr}});
    EXPECT_EQ(probe_.Wait(10000), 100u);
    EXPECT_TRUE(testenv::DirectoryExists("c:\\temp")) << "not created at start-up";
    std::string fits = dir_.Path() + std::string(kLogPathSize - dir_.Path().size() - 10, 'q');
    ASSERT_TRUE(testenv::MakeDirectories(fits));
    for (const std::string& temp : {fits, std::string(), fits + "q"}) {
        Start("main 7 end", {{"TEMP", temp.c_str()}});
        EXPECT_EQ(probe_.Wait(10000), 7u) << temp;
    }
    EXPECT_EQ(TakeLog(fits + "\\zkal.log"), Crlf(kHeader + kDone));
    EXPECT_EQ(TakeLog("c:\\temp\\zkal.log"), Crlf(kHeader + kDone + kHeader + kDone)) << "runs append";
    testenv::RemoveTree("c:\\temp");
}

int main(int argc, char** argv)
{
    if (argc > 1 && strcmp(argv[1], "--probe") == 0)
        return RunProbe(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
