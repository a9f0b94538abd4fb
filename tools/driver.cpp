// The scripts' hand on the Windows side, in these modes:
//   driver keep READY_FILE        keeps the Wine desktop up (a hidden window
//                                 that lives until the wineserver stops) and
//                                 writes READY_FILE once it is there
//   driver demo PROGRAM PICTURES  plays the user of the demo: answers every
//                                 window of PROGRAM and saves a picture of it
//   driver time PROGRAM           runs PROGRAM -c, presses OK the moment it is
//                                 enabled and times the whole process
//   driver run COMMAND_LINE       times a whole process that needs no user
//   driver floor LIST             deletes what LIST names and nothing else: a
//                                 line ending in a backslash is a directory
//   driver cleanup FILE           stands for the demo product's clean-up
//                                 program, which the uninstaller runs: writes FILE
// demo exits with the uninstaller's exit code, time with 0 when it was 1,
// run with the program's exit code. time and run print end_ms (start to
// process end) and peak_kb (the process's peak working set).
#include <windows.h>
#include <psapi.h>

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

// The peak working set is read while the process lives (the counters go
// with it); it only grows, so the last reading before the end is the peak.
struct Measure {
    double endMs;
    SIZE_T peakBytes;
};

DWORD WaitMeasuring(HANDLE process, const LARGE_INTEGER& start, DWORD timeoutMs, Measure* measure)
{
    const DWORD kSampleMs = 10;
    measure->peakBytes = 0;
    DWORD begun = GetTickCount(), result;
    do {
        PROCESS_MEMORY_COUNTERS counters = {};
        counters.cb = sizeof counters;
        if (GetProcessMemoryInfo(process, &counters, sizeof counters) &&
            counters.PeakWorkingSetSize > measure->peakBytes)
            measure->peakBytes = counters.PeakWorkingSetSize;
        result = WaitForSingleObject(process, kSampleMs);
    } while (result == WAIT_TIMEOUT && GetTickCount() - begun < timeoutMs);
    measure->endMs = MillisecondsSince(start);
    return result;
}

void PrintMeasure(const Measure& measure)
{
    printf("end_ms=%.1f peak_kb=%lu", measure.endMs, (unsigned long)(measure.peakBytes / 1024));
}

const DWORD kRunTimeoutMs = 900000;

int TimeRun(const char* program)
{
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    PROCESS_INFORMATION process;
    if (!Start(std::string("\"") + program + "\" -c", &process))
        return 3;
    HWND dialog = WaitForWindow(process.dwProcessId, "KSWUNINST", nullptr, kRunTimeoutMs);
    double dialogMs = MillisecondsSince(start);
    if (!dialog || !WaitUntilEnabled(dialog, IDOK, kRunTimeoutMs)) {
        fprintf(stderr, "the main dialog did not finish\n");
        ExitCodeOf(process, 0);
        return 4;
    }
    double doneMs = MillisecondsSince(start);
    Press(dialog, IDOK);
    Measure measure;
    WaitMeasuring(process.hProcess, start, 60000, &measure);
    DWORD code = ExitCodeOf(process, 0);
    printf("dialog_ms=%.1f done_ms=%.1f ", dialogMs, doneMs);
    PrintMeasure(measure);
    printf(" exit=%lu\n", code);
    return code == 1 ? 0 : 5;
}

int RunWhole(const char* commandLine)
{
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    PROCESS_INFORMATION process;
    if (!Start(commandLine, &process))
        return 3;
    Measure measure;
    WaitMeasuring(process.hProcess, start, kRunTimeoutMs, &measure);
    DWORD code = ExitCodeOf(process, 0);
    PrintMeasure(measure);
    printf(" exit=%lu\n", code);
    return int(code);
}

// The least any uninstaller has to do: one call per file and per directory.
int DeleteListed(const char* listFile)
{
    FILE* list = fopen(listFile, "r");
    if (!list)
        return 3;
    char line[MAX_PATH + 2];
    while (fgets(line, sizeof line, list)) {
        size_t length = strcspn(line, "\r\n");
        line[length] = '\0';
        if (length > 0 && line[length - 1] == '\\') {
            line[length - 1] = '\0';
            RemoveDirectoryA(line);
        } else if (length > 0) {
            DeleteFileA(line);
        }
    }
    fclose(list);
    return 0;
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
    if (mode == "run")
        return RunWhole(argv[2]);
    if (mode == "floor")
        return DeleteListed(argv[2]);
    if (mode == "cleanup")
        return WriteMarker(argv[2]) ? 0 : 1;
    fprintf(stderr, "usage: driver keep READY_FILE | demo PROGRAM PICTURES | time PROGRAM | run COMMAND_LINE\n       | floor LIST | cleanup FILE\n");
    return 2;
}
