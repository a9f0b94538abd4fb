// A window that refuses to end the session and appends "query" to the file
// named by its first argument for each WM_QUERYENDSESSION, after "ready"; refusing keeps
// wineboot from closing it or carrying out the restart. With the second
// argument "restart" it opens no window: it runs the uninstaller's restart
// and appends "privilege BEFORE AFTER" (1 enabled, 0 not, -1 unreadable).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "shell/restart.h"

static const char* g_recordPath = "";

static void Record(const char* line)
{
    if (FILE* file = fopen(g_recordPath, "a")) {
        fprintf(file, "%s\n", line);
        fclose(file);
    }
}

static int ShutdownPrivilegeEnabled()
{
    HANDLE token;
    LUID shutdown;
    DWORD size = 0;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return -1;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buffer(size + 1);
    int state = -1;
    auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(buffer.data());
    if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &shutdown) &&
        GetTokenInformation(token, TokenPrivileges, privileges, size, &size))
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i)
            if (!memcmp(&privileges->Privileges[i].Luid, &shutdown, sizeof shutdown))
                state = (privileges->Privileges[i].Attributes & SE_PRIVILEGE_ENABLED) ? 1 : 0;
    CloseHandle(token);
    return state;
}

static LRESULT CALLBACK WatcherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_QUERYENDSESSION)
        Record("query");
    return message == WM_QUERYENDSESSION ? FALSE : DefWindowProcA(window, message, wParam, lParam);
}

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    g_recordPath = argv[1];
    if (argc > 2) {
        int before = ShutdownPrivilegeEnabled();
        RestartWindows();
        char line[64];
        snprintf(line, sizeof line, "privilege %d %d", before, ShutdownPrivilegeEnabled());
        Record(line);
        return 0;
    }
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WatcherProc;
    windowClass.lpszClassName = "SessionWatcher";
    RegisterClassA(&windowClass);
    ShowWindow(CreateWindowA("SessionWatcher", "session watcher", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                             nullptr, nullptr, nullptr), SW_SHOWNORMAL);
    Record("ready");
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
