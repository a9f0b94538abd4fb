// A top-level window that refuses to end the session and records every
// WM_QUERYENDSESSION and WM_ENDSESSION it receives, one line each, in the file
// named by its argument ("ready" first). Refusing keeps Wine's wineboot from
// closing it and from carrying out the restart, so each request is seen.
#include <windows.h>

#include <cstdio>

namespace {

const char* g_recordPath = "";

void Record(const char* line, WPARAM wParam, LPARAM lParam)
{
    FILE* file = fopen(g_recordPath, "a");
    if (!file)
        return;
    fprintf(file, "%s %lu %lu\n", line, static_cast<unsigned long>(wParam),
            static_cast<unsigned long>(lParam));
    fclose(file);
}

LRESULT CALLBACK WatcherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUERYENDSESSION) {
        Record("query", wParam, lParam);
        return FALSE;
    }
    if (message == WM_ENDSESSION) {
        Record("end", wParam, lParam);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

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
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}
