// The scripts' hand on the Windows side, in three modes:
//   driver keep READY_FILE        keeps the Wine desktop up (a hidden window
//                                 that lives until the wineserver stops) and
//                                 writes READY_FILE once it is there
//   driver demo PROGRAM PICTURES  plays the user of the demo: answers every
//                                 window of PROGRAM and saves a picture of it
//   driver time PROGRAM           times PROGRAM -c from its start to OK enabled
//   driver cleanup FILE           stands for the demo product's clean-up
//                                 program, which the uninstaller runs: writes FILE
// demo exits with the uninstaller's exit code, time with 0 when it was 1.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "resources/resource.h"

namespace {

const DWORD kPollMs = 5;

struct WindowSearch {
    DWORD processId;
    const char* className;
    const char* title;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
    char className[64] = "", title[256] = "";
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (processId != search->processId || !IsWindowVisible(window) ||
        strcmp(className, search->className) || (search->title && strcmp(title, search->title)))
        return TRUE;
    search->found = window;
    return FALSE;
}

// A visible top-level window of the process; null after timeoutMs.
HWND WaitForWindow(DWORD processId, const char* className, const char* title, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(kPollMs)) {
        WindowSearch search = {processId, className, title, nullptr};
        EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found)
            return search.found;
    }
    return nullptr;
}

void Press(HWND dialog, int button)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

bool WaitUntilEnabled(HWND dialog, int button, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(kPollMs))
        if (IsWindowEnabled(GetDlgItem(dialog, button)))
            return true;
    return false;
}

bool Start(const std::string& commandLine, PROCESS_INFORMATION* process)
{
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string line = commandLine;
    return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, process) != 0;
}

DWORD ExitCodeOf(const PROCESS_INFORMATION& process, DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, timeoutMs) != WAIT_OBJECT_0)
        TerminateProcess(process.hProcess, code);
    GetExitCodeProcess(process.hProcess, &code);
    return code;
}

// The window's screen area as a 24-bit BMP file.
bool SaveWindowBitmap(HWND window, const char* path)
{
    RECT rect;
    GetWindowRect(window, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, old);
    BITMAPINFOHEADER info = {sizeof info, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::string pixels(((DWORD(width) * 3 + 3) & ~3u) * height, '\0');
    GetDIBits(memory, bitmap, 0, height, &pixels[0], reinterpret_cast<BITMAPINFO*>(&info),
              DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info;
    header.bfSize = header.bfOffBits + DWORD(pixels.size());
    FILE* out = fopen(path, "wb");
    if (!out)
        return false;
    bool written = fwrite(&header, sizeof header, 1, out) == 1 &&
                   fwrite(&info, sizeof info, 1, out) == 1 &&
                   fwrite(pixels.data(), pixels.size(), 1, out) == 1;
    return fclose(out) == 0 && written;
}

bool WriteMarker(const char* path)
{
    FILE* marker = fopen(path, "w");
    return marker && fclose(marker) == 0;
}

int KeepDesktop(const char* readyFile)
{
    if (!CreateWindowExA(0, "STATIC", "desktop keeper", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr))
        return 1;
    WriteMarker(readyFile);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

class DemoUser {
public:
    DemoUser(DWORD processId, const char* pictures) : processId_(processId), pictures_(pictures) {}

    // Takes a picture of the window (title or, for null, a message box) and
    // presses the button; false when the window never came.
    bool Answer(const char* className, const char* title, int button, const char* name)
    {
        HWND window = WaitForWindow(processId_, className, title, 20000);
        if (!window)
            return false;
        Picture(window, name);
        Press(window, button);
        return true;
    }

    void Picture(HWND window, const char* name)
    {
        Sleep(400);   // let it paint
        char path[MAX_PATH];
        snprintf(path, sizeof path, "%s\\%d-%s.bmp", pictures_, ++count_, name);
        if (SaveWindowBitmap(window, path))
            printf("picture: %s\n", path);
    }

private:
    DWORD processId_;
    const char* pictures_;
    int count_ = 0;
};

int PlayDemo(const char* program, const char* pictures)
{
    PROCESS_INFORMATION process;
    if (!Start(std::string("\"") + program + "\"", &process))
        return 3;
    DemoUser user(process.dwProcessId, pictures);
    user.Answer("#32770", "Language", IDOK, "language");
    user.Answer("#32770", "Uninstall", IDYES, "confirm");
    HWND dialog = WaitForWindow(process.dwProcessId, "KSWUNINST", nullptr, 20000);
    if (!dialog)
        return 4;
    user.Picture(dialog, "progress");
    user.Answer("#32770", "demoshr.dll", IDC_SYSFILE_YES, "system-file");
    WaitUntilEnabled(dialog, IDOK, 60000);
    user.Picture(dialog, "done");
    Press(dialog, IDOK);
    user.Answer("#32770", "Restart", IDNO, "restart");
    DWORD code = ExitCodeOf(process, 20000);
    printf("uninstall.exe exit code: %lu\n", code);
    return int(code);
}

double MillisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

int TimeRun(const char* program)
{
    const DWORD kTimeoutMs = 600000;
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    PROCESS_INFORMATION process;
    if (!Start(std::string("\"") + program + "\" -c", &process))
        return 3;
    HWND dialog = WaitForWindow(process.dwProcessId, "KSWUNINST", nullptr, kTimeoutMs);
    double dialogMs = MillisecondsSince(start);
    if (!dialog || !WaitUntilEnabled(dialog, IDOK, kTimeoutMs)) {
        fprintf(stderr, "the main dialog did not finish\n");
        ExitCodeOf(process, 0);
        return 4;
    }
    double doneMs = MillisecondsSince(start);
    Press(dialog, IDOK);
    DWORD code = ExitCodeOf(process, 60000);
    printf("dialog_ms=%.1f done_ms=%.1f exit=%lu\n", dialogMs, doneMs, code);
    return code == 1 ? 0 : 5;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 2 ? argv[1] : "";
    if (mode == "keep")
        return KeepDesktop(argv[2]);
    if (mode == "demo" && argc > 3)
        return PlayDemo(argv[2], argv[3]);
    if (mode == "time")
        return TimeRun(argv[2]);
    if (mode == "cleanup")
        return WriteMarker(argv[2]) ? 0 : 1;
    fprintf(stderr, "usage: driver keep READY_FILE | demo PROGRAM PICTURES | time PROGRAM | cleanup FILE\n");
    return 2;
}
