// A window that refuses to end the session and appends a line to the file
// named by its argument for each WM_QUERYENDSESSION ("query WPARAM LPARAM")
// and WM_ENDSESSION ("end ..."), after "ready" at start. Refusing keeps
// wineboot from closing it or carrying out the restart.
#include <windows.h>

#include <cstdio>

static const char* g_recordPath = "";

static void Record(const char* line, WPARAM wParam, LPARAM lParam)
{
    if (FILE* file = fopen(g_recordPath, "a")) {
        fprintf(file, "%s %lu %lu\n", line, (unsigned long)wParam, (unsigned long)lParam);
        fclose(file);
    }
}

static LRESULT CALLBACK WatcherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUERYENDSESSION || message == WM_ENDSESSION)
        Record(message == WM_ENDSESSION ? "end" : "query", wParam, lParam);
    return message == WM_QUERYENDSESSION ? FALSE
           : message == WM_ENDSESSION    ? 0
                                         : DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return 1;
    g_recordPath = argv[1];
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WatcherProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "SessionWatcher";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "SessionWatcher", "session watcher", WS_OVERLAPPEDWINDOW, 0,
                                  0, 200, 100, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window)
        return 2;
    ShowWindow(window, SW_SHOWNORMAL);
    Record("ready", 0, 0);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
