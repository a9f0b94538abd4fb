// Raises one fatal-error report in a chosen setting and records what it sees
// in a trace file, for the report tests.
//   report_probe TRACE SCENE EXITCODE OP [MESSAGE [ARG...]]
// SCENE: idle (no report; traces the Log Directory), main (on the main thread
// before any loop), thread (on a worker while the main thread runs a message
// loop), twice (the worker raises two reports while the main thread is busy),
// nested (a worker raises EndProgram with exit code 9 while the main thread's
// box is open), closing (application messages wait in the queue; at exit a
// static destructor raises another report and traces the queue).
// OP: end plain text number texttext textnumber numbernumber system textsystem
// last. A text argument "repeat:N" stands for N letters x.
#include <windows.h>

#include <cstdarg>
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
const UINT kWindowAppMessage = WM_USER;
const UINT kThreadAppMessage = WM_APP + 5;

const char* g_tracePath = "";
HWND g_window;
DWORD g_mainThread;
HANDLE g_mainBusy;
bool g_recordAtExit;

void Trace(const char* format, ...)
{
    FILE* file = fopen(g_tracePath, "a");
    if (!file)
        return;
    va_list args;
    va_start(args, format);
    vfprintf(file, format, args);
    va_end(args);
    fputc('\n', file);
    fclose(file);
}

struct Request {
    int exitCode = 0;
    std::string op;
    unsigned message = 0;
    std::string args[2];
};

std::string Expand(const std::string& arg)
{
    if (arg.compare(0, 7, "repeat:") == 0)
        return std::string(size_t(atoi(arg.c_str() + 7)), 'x');
    return arg;
}

int Number(const std::string& text) { return int(strtol(text.c_str(), nullptr, 0)); }

// Raises the request with its texts in buffers of this call, overwritten
// right after the report returns: a report that kept their addresses instead
// of copies would show the overwritten texts. A late report replaces the
// texts with "late" and adds 1000 to the numbers.
void Raise(const Request& r, bool late = false)
{
    std::string a = late ? "late" : r.args[0];
    std::string b = late ? "late" : r.args[1];
    int shift = late ? 1000 : 0;
    const std::string& op = r.op;
    if (op == "end")
        EndProgram(kFile, kLine, r.exitCode);
    else if (op == "plain")
        ReportError(kFile, kLine, r.exitCode, r.message);
    else if (op == "text")
        ReportError(kFile, kLine, r.exitCode, r.message, a.c_str());
    else if (op == "number")
        ReportError(kFile, kLine, r.exitCode, r.message, Number(r.args[0]) + shift);
    else if (op == "texttext")
        ReportError(kFile, kLine, r.exitCode, r.message, a.c_str(), b.c_str());
    else if (op == "textnumber")
        ReportError(kFile, kLine, r.exitCode, r.message, a.c_str(), Number(r.args[1]) + shift);
    else if (op == "numbernumber")
        ReportError(kFile, kLine, r.exitCode, r.message, Number(r.args[0]) + shift,
                    Number(r.args[1]) + shift);
    else if (op == "system")
        ReportSystemError(kFile, kLine, r.exitCode, r.message, DWORD(Number(r.args[0])));
    else if (op == "textsystem")
        ReportSystemError(kFile, kLine, r.exitCode, r.message, a.c_str(),
                          DWORD(Number(r.args[1])));
    else if (op == "last") {
        SetLastError(ERROR_ACCESS_DENIED);
        ReportLastError(kFile, kLine, r.exitCode, r.message, a.c_str(), b.c_str());
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
    if (message == kWindowAppMessage)
        Trace("handled window message");
    return DefWindowProcA(window, message, wParam, lParam);
}

void CreateProbeWindow()
{
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = ProbeWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "ReportProbe";
    RegisterClassA(&windowClass);
    g_window = CreateWindowExA(0, "ReportProbe", "report probe", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                               100, nullptr, nullptr, windowClass.hInstance, nullptr);
    ShowWindow(g_window, SW_SHOWNORMAL);
}

// The main thread's loop; its own last error is never the raiser's.
int RunMessageLoop()
{
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 100;
}

DWORD WINAPI RaiseFromWorker(LPVOID param)
{
    const Request& request = *static_cast<const Request*>(param);
    Sleep(300);
    Trace("raised %lu", GetTickCount());
    Raise(request);
    Trace("returned");
    return 0;
}

DWORD WINAPI RaiseTwiceFromWorker(LPVOID param)
{
    const Request& request = *static_cast<const Request*>(param);
    Sleep(300);
    PostMessageA(g_window, kBusyMessage, 0, 0);
    WaitForSingleObject(g_mainBusy, INFINITE);
    Raise(request);
    Raise(request, true);
    Trace("returned");
    return 0;
}

BOOL CALLBACK FindErrorBox(HWND window, LPARAM found)
{
    char title[64] = "";
    GetWindowTextA(window, title, sizeof title);
    if (strcmp(title, "Error") != 0 || !IsWindowVisible(window))
        return TRUE;
    *reinterpret_cast<bool*>(found) = true;
    return FALSE;
}

DWORD WINAPI EndWhileBoxIsOpen(LPVOID)
{
    bool found = false;
    while (!found) {
        Sleep(50);
        EnumThreadWindows(g_mainThread, FindErrorBox, reinterpret_cast<LPARAM>(&found));
    }
    Trace("raised %lu", GetTickCount());
    EndProgram(kFile, kLine + 1, 9);
    Trace("returned");
    return 0;
}

// Traces, at process exit, what the close-down left in the queue, then
// raises a report during the Closing stage.
struct ExitRecorder {
    ~ExitRecorder()
    {
        if (!g_recordAtExit)
            return;
        MSG message;
        int application = 0;
        while (PeekMessageA(&message, nullptr, WM_USER, 0xFFFF, PM_REMOVE))
            ++application;
        int commands = 0;
        while (PeekMessageA(&message, nullptr, WM_COMMAND, WM_COMMAND, PM_REMOVE))
            ++commands;
        Trace("at exit stage=%ld application=%d command=%d", long(g_stopStage), application,
              commands);
        ReportError(kFile, kLine + 2, kErrorExitCode, 79, "at exit");
        Trace("returned from closing report");
    }
};

ExitRecorder g_exitRecorder;
Request g_request;

HANDLE StartWorker(LPTHREAD_START_ROUTINE routine, Request* request)
{
    return CreateThread(nullptr, 0, routine, request, 0, nullptr);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 101;
    g_tracePath = argv[1];
    std::string scene = argv[2];
    g_mainThread = GetCurrentThreadId();
    if (scene == "idle") {
        Trace("logdir %s", g_logDirectory.path);
        return 0;
    }
    if (argc < 5)
        return 101;
    Request& request = g_request;
    request.exitCode = atoi(argv[3]);
    request.op = argv[4];
    request.message = argc > 5 ? unsigned(strtoul(argv[5], nullptr, 0)) : 0;
    for (int i = 6; i < argc && i < 8; ++i)
        request.args[i - 6] = Expand(argv[i]);

    if (scene == "main") {
        Raise(request);
        Trace("returned");
        return 100;
    }
    CreateProbeWindow();
    if (scene == "thread") {
        StartWorker(RaiseFromWorker, &request);
        return RunMessageLoop();
    }
    if (scene == "twice") {
        g_mainBusy = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        StartWorker(RaiseTwiceFromWorker, &request);
        return RunMessageLoop();
    }
    if (scene == "nested") {
        StartWorker(EndWhileBoxIsOpen, nullptr);
        Raise(request);
        return 100;
    }
    if (scene == "closing") {
        for (int i = 0; i < 3; ++i)
            PostMessageA(g_window, kWindowAppMessage, 0, 0);
        PostThreadMessageA(g_mainThread, kThreadAppMessage, 0, 0);
        PostThreadMessageA(g_mainThread, 0xC123, 0, 0);
        PostThreadMessageA(g_mainThread, 0xFFFF, 0, 0);
        PostMessageA(g_window, WM_COMMAND, 0, 0);
        g_recordAtExit = true;
        Raise(request);
        return 100;
    }
    return 101;
}
