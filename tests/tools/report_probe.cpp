// report_probe TRACE SCENE EXITCODE OP [MESSAGE [ARG ARG]] raises a report
// (OP: end plain text number texttext textnumber numbernumber system
// textsystem last) and traces what it sees. SCENE: idle (no report), main,
// thread (from a worker while the main loop runs), twice (two from a worker
// while the main thread is busy), nested (a worker's EndProgram(9) while the
// box is open), closing (messages queued; at exit another report).
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diag/report.h"
#include "diag/run_log.h"

namespace {

const char kFile[] = "probe.cpp";
const unsigned kLine = 4242;
const UINT kBusyMessage = WM_APP + 1;

const char* g_tracePath = "";
HWND g_window;
DWORD g_mainThread;
HANDLE g_mainBusy;
bool g_recordAtExit;

void Trace(const char* text, long number = -1)
{
    if (FILE* file = fopen(g_tracePath, "a")) {
        fprintf(file, number < 0 ? "%s\n" : "%s %ld\n", text, number);
        fclose(file);
    }
}

int g_exitCode;
unsigned g_message;
std::string g_op, g_args[2];

// The texts live in buffers of this call, overwritten once the report
// returns, so a report that kept their addresses would show the wrong text.
// A late report uses "late" and numbers shifted by 1000.
void Raise(bool late = false)
{
    std::string a = late ? "late" : g_args[0], b = late ? "late" : g_args[1];
    int shift = late ? 1000 : 0;
    int x = atoi(g_args[0].c_str()) + shift, y = atoi(g_args[1].c_str()) + shift;
    const std::string& op = g_op;
    int code = g_exitCode;
    unsigned n = g_message;
    if (op == "end") EndProgram(kFile, kLine, code);
    if (op == "plain") ReportError(kFile, kLine, code, n);
    if (op == "text") ReportError(kFile, kLine, code, n, a.c_str());
    if (op == "number") ReportError(kFile, kLine, code, n, x);
    if (op == "texttext") ReportError(kFile, kLine, code, n, a.c_str(), b.c_str());
    if (op == "textnumber") ReportError(kFile, kLine, code, n, a.c_str(), y);
    if (op == "numbernumber") ReportError(kFile, kLine, code, n, x, y);
    if (op == "system") ReportSystemError(kFile, kLine, code, n, DWORD(x));
    if (op == "textsystem") ReportSystemError(kFile, kLine, code, n, a.c_str(), DWORD(y));
    if (op == "last") {
        SetLastError(ERROR_ACCESS_DENIED);
        ReportLastError(kFile, kLine, code, n, a.c_str(), b.c_str());
    }
    a.assign(a.size(), 'X');
    b.assign(b.size(), 'X');
}

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kBusyMessage) {
        SetEvent(g_mainBusy);
        Sleep(700);
        return 0;
    }
    if (message == WM_USER)
        Trace("handled window message");
    return DefWindowProcA(window, message, wParam, lParam);
}

// The main loop sets its own last error, never the raiser's.
int RunMessageLoop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        DispatchMessageA(&message);
    }
    return 100;
}

DWORD WINAPI RaiseFromWorker(LPVOID twice)
{
    Sleep(300);
    if (twice) {
        PostMessageA(g_window, kBusyMessage, 0, 0);
        WaitForSingleObject(g_mainBusy, INFINITE);
    }
    Trace("raised", long(GetTickCount()));
    Raise();
    if (twice)
        Raise(true);
    Trace("returned");
    return 0;
}

DWORD WINAPI EndWhileBoxIsOpen(LPVOID)
{
    HWND box;
    do {
        Sleep(50);
        box = FindWindowA(nullptr, "Error");
    } while (GetWindowThreadProcessId(box, nullptr) != g_mainThread || !IsWindowVisible(box));
    EndProgram(kFile, kLine + 1, 9);
    return 0;
}

// At exit: counts what the close-down left queued, then reports while Closing.
struct ExitRecorder {
    ~ExitRecorder()
    {
        if (!g_recordAtExit)
            return;
        MSG message;
        long application = 0, commands = 0;
        while (PeekMessageA(&message, nullptr, WM_USER, 0xFFFF, PM_REMOVE))
            ++application;
        while (PeekMessageA(&message, nullptr, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            ++commands;
        char line[80];
        snprintf(line, sizeof line, "at exit stage=%ld application=%ld command=%ld",
                 long(g_stopStage), application, commands);
        Trace(line);
        ReportError(kFile, kLine + 2, kErrorExitCode, 79, "at exit");
        Trace("returned from closing report");
    }
} g_exitRecorder;

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 101;
    g_tracePath = argv[1];
    std::string scene = argv[2];
    g_mainThread = GetCurrentThreadId();
    if (scene == "idle") {
        Trace((std::string("logdir ") + g_logDirectory.path).c_str());
        return 0;
    }
    if (argc < 5)
        return 101;
    g_exitCode = atoi(argv[3]);
    g_op = argv[4];
    g_message = argc > 5 ? unsigned(strtoul(argv[5], nullptr, 0)) : 0;
    for (int i = 6; i < argc && i < 8; ++i)
        g_args[i - 6] = argv[i];
    if (scene == "main" || scene == "nested") {
        if (scene == "nested")
            CreateThread(nullptr, 0, EndWhileBoxIsOpen, nullptr, 0, nullptr);
        Raise();
        Trace("returned");
        return 100;
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ProbeWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ReportProbe";
    RegisterClassA(&windowClass);
    g_window = CreateWindowExA(0, "ReportProbe", "report probe", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                               100, nullptr, nullptr, windowClass.hInstance, nullptr);
    ShowWindow(g_window, SW_SHOWNORMAL);
    if (scene == "closing") {
        for (int i = 0; i < 3; ++i)
            PostMessageA(g_window, WM_USER, 0, 0);
        for (UINT message : {UINT(WM_APP + 5), 0xC123u, 0xFFFFu})
            PostThreadMessageA(g_mainThread, message, 0, 0);
        PostMessageA(g_window, WM_COMMAND, 0, 0);
        g_recordAtExit = true;
        Raise();
        return 100;
    }
    g_mainBusy = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    CreateThread(nullptr, 0, RaiseFromWorker, scene == "twice" ? &g_op : nullptr, 0, nullptr);
    return RunMessageLoop();
}
