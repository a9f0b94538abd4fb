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

#include "support/test_env.h"
#include "support/ui_driver.h"

namespace {

using testenv::Process;

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

// The demo's user: each window as it reads, the button pressed, and a picture taken first.
const char* const kDemoSteps[][2] = {
    {"Language|* > OK", "language"}, {"Uninstall|* > Yes", "confirm"}, {"Demo App|*", "progress"},
    {"demoshr.dll|* > Yes", "system-file"},
    {"Demo App|*|Uninstallation was successful. [OK] > OK", "done"}, {"Restart|* > No", "restart"},
};
const DWORD kWindowBoundMs = 20000;

int PlayDemo(const char* program, const char* pictures)
{
    Process process;
    if (!process.Start(std::string("\"") + program + "\""))
        return 3;
    int count = 0;
    for (const auto& step : kDemoSteps) {
        std::string pattern = step[0], seen;
        HWND window = ui::WaitForRender(process.Id(), pattern.substr(0, pattern.find(" > ")),
                                        kWindowBoundMs, &seen);
        if (window) {
            Sleep(400);   // let it paint
            char path[MAX_PATH];
            snprintf(path, sizeof path, "%s\\%d-%s.bmp", pictures, ++count, step[1]);
            if (SaveWindowBitmap(window, path))
                printf("picture: %s\n", path);
        }
        std::string played = ui::PlayStep(process.Id(), step[0], kWindowBoundMs);
        if (played != step[0])
            fprintf(stderr, "%s\n", played.c_str());
    }
    DWORD code = process.Wait(kWindowBoundMs);
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
    Process process;
    if (!process.Start(std::string("\"") + program + "\" -c"))
        return 3;
    std::string seen;
    HWND dialog = ui::WaitForRender(process.Id(), "Bench App|*", kRunTimeoutMs, &seen);
    double dialogMs = MillisecondsSince(start);
    if (!dialog || !ui::WaitForRender(process.Id(), "Bench App|* [OK]", kRunTimeoutMs, &seen)) {
        fprintf(stderr, "the main dialog did not finish: %s\n", seen.c_str());
        return 4;
    }
    double doneMs = MillisecondsSince(start);
    ui::Press(dialog, "OK");
    Measure measure;
    WaitMeasuring(process.Handle(), start, 60000, &measure);
    DWORD code = process.Wait(0);
    printf("dialog_ms=%.1f done_ms=%.1f ", dialogMs, doneMs);
    PrintMeasure(measure);
    printf(" exit=%lu\n", code);
    return code == 1 ? 0 : 5;
}

int RunWhole(const char* commandLine)
{
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    Process process;
    if (!process.Start(commandLine))
        return 3;
    Measure measure;
    WaitMeasuring(process.Handle(), start, kRunTimeoutMs, &measure);
    DWORD code = process.Wait(0);
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
