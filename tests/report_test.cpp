// Reports end their process, so each case re-runs this program as a probe with
// TEMP set to its directory, answers the box and checks exit code and zkal.log.
#include <gtest/gtest.h>

#include <cstring>
#include <regex>

#include "diag/report.h"
#include "diag/run_log.h"
#include "support/test_env.h"
#include "support/ui_driver.h"
#include "text/buf.h"

using std::string;

namespace {

const char kFile[] = "probe.cpp";
const unsigned kLine = 4242;

// The probe's command line: --probe SCENE EXITCODE OPERATION ROW FIRST SECOND.
struct {
    string scene; int exitCode; char operation; unsigned row; const char *first, *second;
} g_probe;

// Raises the probe's operation, then overwrites its texts: a report must keep copies.
void Raise(int code, string first, string second)
{
    const char *text = first.c_str(), *text2 = second.c_str();
    SetLastError(ERROR_ACCESS_DENIED);
    switch (g_probe.operation) {
    case 'E': EndProgram(kFile, kLine, code); break;
    case 'T': ReportError(kFile, kLine, code, g_probe.row, text); break;
    case 'N': ReportError(kFile, kLine, code, g_probe.row, atoi(text), atoi(text2)); break;
    case 'S': ReportSystemError(kFile, kLine, code, g_probe.row, text, atoi(text2)); break;
    case 'L': ReportLastError(kFile, kLine, code, g_probe.row, text, text2); break;
    }
    first.assign(first.size(), 'X');
    second.assign(second.size(), 'X');
}

// From a worker: the report and a later one, to be dropped.
DWORD WINAPI RaiseTwice(LPVOID)
{
    Raise(g_probe.exitCode, g_probe.first, g_probe.second);
    Raise(g_probe.exitCode, "late", "late");
    return 0;
}

// Destroyed after the run's own objects: a report while closing returns; logs a live timer.
struct ExitRecorder {
    ~ExitRecorder()
    {
        if (g_probe.scene != "closing")
            return;
        ReportError(kFile, kLine, kErrorExitCode, 79, "at exit");
        LogWrite(KillTimer(nullptr, g_handOverTimer) ? "timer\n" : "");
    }
} g_exitRecorder __attribute__((init_priority(101)));

const string kHeader = "\n\n---- Log started <stamp>\n", kDone = "log done ok: <stamp>\n";
const string kLocation = "\nFile: probe.cpp; Line: 4242\n";

string SystemText(DWORD code)
{
    char text[1024] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, sizeof text, nullptr);
    return string(text, strcspn(text, "\r\n"));
}

// The file, removed, with stamps as <stamp>, CR LF as \n and bare LF as <LF>.
string TakeLog(const string& path)
{
    string log = testenv::ReadFileOrEmpty(path);
    DeleteFileA(path.c_str());
    std::regex stamp("(started |chyba: |ok: ).*[0-9], .*[0-9]:[0-9].* \\(t=[0-9]+\\)");
    log = std::regex_replace(std::regex_replace(log, stamp, "$1<stamp>"), std::regex("\n"), "<LF>");
    return std::regex_replace(log, std::regex("\r<LF>"), "\n");
}

// The probe inherits TEMP set to temp, or none when null.
void StartProbe(testenv::Process* probe, const string& arguments, const char* temp)
{
    char saved[MAX_PATH] = "";
    GetEnvironmentVariableA("TEMP", saved, sizeof saved);
    SetEnvironmentVariableA("TEMP", temp);
    string program = "\"" + testenv::ProgramDir() + "report_test.exe\" --probe ";
    bool started = probe->Start(program + arguments + " 0 0 0 0");
    SetEnvironmentVariableA("TEMP", saved);
    ASSERT_TRUE(started);
}

}  // namespace

TEST(Report, LogsShowsItsBoxOnTheMainThreadAndEndsWithItsCode)
{
    testenv::TempDir dir("report");
    const string temp = dir.Path().substr(0, dir.Path().size() - 1);   // no backslash
    const string xs(982, 'x'), scene = "ZKSE: Scene '%s%d%%" + xs.substr(6);   // no format
    const string atExit = "chyba: <stamp>\nZKSE: Scene 'at exit' not found" + kLocation;
    // frame: the box's first words (its severity's), null: no box; log: when not text + location
    const char *fault = "Provedli jste", *system = "Program detekoval";
    const struct { string args; DWORD code; const char* frame; string text, log; } cases[] = {
        {"main 255 N 95 12 -3", 255, fault, "ZKSE: Scene 12 has an invalid state -3", ""},
        {"main 255 S 5 a 2", 255, "", "The file a cannot be opened.\n" + SystemText(2), ""},
        {"main 255 T 79 %s%d%%" + xs + xs, 255, fault, scene + xs, scene + kLocation},   // cut
        {"twice 255 L 354 a D:", 255, system,   // with the worker's last error
         "FILE: Not enough disk space to write a to D: (" + SystemText(5) + ")", ""},
        {"closing 5 T 79 intro", 5, nullptr, "", kDone + atExit},
        {"closing 255 E", 255, nullptr, "", "error" + kLocation + atExit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.substr(0, 40));
        testenv::Process probe;
        StartProbe(&probe, c.args, temp.c_str());
        if (c.frame) {
            string seen;
            HWND window = ui::WaitForRender(probe.Id(), "report probe*", 30000, &seen);
            HWND box = ui::WaitForRender(probe.Id(), "Error|*", 30000, &seen);
            ASSERT_TRUE(box) << seen;
            char text[2048] = "";   // the frame's words, then the message, cut at 1023 in all
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            const string got = text, framed = *c.frame ? "\n\nChyba:\n" : "";
            const size_t body = *c.frame ? got.find(framed) + framed.size() : 0;
            EXPECT_EQ(got.substr(0, strlen(c.frame)), c.frame);
            EXPECT_EQ(got.substr(body), c.text.substr(0, 1023 - body));
            EXPECT_TRUE(IsWindowVisible(GetDlgItem(box, 1088)) && !GetDlgItem(box, IDCANCEL));
            EXPECT_EQ(GetWindowThreadProcessId(box, nullptr),
                      GetWindowThreadProcessId(window, nullptr)) << "not on the main thread";
            EXPECT_FALSE(IsWindowEnabled(window)) << "the box is not task-modal";
            ui::Press(box, "OK");
        }
        EXPECT_EQ(probe.Wait(30000), c.code);
        EXPECT_EQ(TakeLog(dir / "zkal.log"), kHeader + (c.log.size() ? c.log : c.text + kLocation));
    }
    // No usable TEMP: c:\temp\, made at start-up. After a lost entry, the next starts the log.
    ASSERT_FALSE(testenv::DirectoryExists("c:\\temp"));
    for (const char* temp : {(const char*)nullptr, "", xs.c_str() + xs.size() - 251}) {
        testenv::Process probe;
        StartProbe(&probe, temp ? "main 7 E" : "main 0 -", temp);
        EXPECT_EQ(probe.Wait(30000), temp ? 7u : 100u);
        EXPECT_TRUE(testenv::DirectoryExists("c:\\temp"));
    }
    EXPECT_EQ(TakeLog("c:\\temp\\zkal.log"), kHeader + kDone + kHeader + kDone) << "runs append";
    testenv::RemoveTree("c:\\temp");
    BufSet(g_logDirectory.path, sizeof g_logDirectory.path, (dir / "later\\").c_str());
    LogDone();
    ASSERT_TRUE(testenv::MakeDirectories(dir / "later"));
    LogDone();
    EXPECT_EQ(TakeLog(dir / "later\\zkal.log"), kHeader + kDone);
}

int main(int argc, char** argv)
{
    if (argc < 2 || strcmp(argv[1], "--probe") != 0) {
        ::testing::InitGoogleTest(&argc, argv);
        return RUN_ALL_TESTS();
    }
    // The probe. SCENE: main, closing (reports again at exit) or twice (from a worker).
    g_probe = {argv[2], atoi(argv[3]), argv[4][0], unsigned(atoi(argv[5])), argv[6], argv[7]};
    CreateWindowExA(0, "STATIC", "report probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                    nullptr, nullptr, nullptr, nullptr);
    if (g_probe.scene != "twice") {
        Raise(g_probe.exitCode, g_probe.first, g_probe.second);
        return 100;   // after an operation that raises nothing
    }
    WaitForSingleObject(CreateThread(nullptr, 0, RaiseTwice, nullptr, 0, nullptr), INFINITE);
    for (MSG message; GetMessageA(&message, nullptr, 0, 0) > 0; DispatchMessageA(&message))
        SetLastError(ERROR_FILE_NOT_FOUND);   // the loop's own, never the raiser's
    return 100;
}
