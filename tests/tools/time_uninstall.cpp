// Times one run of an uninstaller: starts "PROGRAM" -c, waits for its main
// dialog and for OK to be enabled, presses OK and prints
//   dialog_ms=<start to dialog> done_ms=<start to OK enabled> exit=<code>
// Usage: time_uninstall.exe PROGRAM
#include <windows.h>

#include <cstdio>
#include <string>

#include "support/test_env.h"
#include "support/ui_driver.h"

namespace {

const DWORD kTimeoutMs = 600000;

double MillisecondsSince(const LARGE_INTEGER& start)
{
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return double(now.QuadPart - start.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: time_uninstall PROGRAM\n");
        return 2;
    }
    LARGE_INTEGER start;
    QueryPerformanceCounter(&start);
    testenv::Process process;
    if (!process.Start("\"" + std::string(argv[1]) + "\" -c")) {
        fprintf(stderr, "cannot start %s\n", argv[1]);
        return 3;
    }
    HWND dialog = ui::WaitForWindow("KSWUNINST", nullptr, kTimeoutMs, process.Id());
    double dialogMs = MillisecondsSince(start);
    if (!dialog) {
        fprintf(stderr, "no main dialog\n");
        process.Kill();
        return 4;
    }
    HWND ok = GetDlgItem(dialog, IDOK);
    while (!IsWindowEnabled(ok)) {
        if (!IsWindow(dialog) || MillisecondsSince(start) > kTimeoutMs) {
            fprintf(stderr, "OK was never enabled\n");
            process.Kill();
            return 5;
        }
        Sleep(5);
    }
    double doneMs = MillisecondsSince(start);
    ui::PressButton(dialog, IDOK);
    DWORD code = process.Wait(60000);
    printf("dialog_ms=%.1f done_ms=%.1f exit=%lu\n", dialogMs, doneMs, code);
    return code == 1 ? 0 : 6;
}
