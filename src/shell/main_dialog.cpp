#include "shell/main_dialog.h"

#include <commctrl.h>

#include "base/globals.h"
#include "base/window.h"
#include "engine/worker.h"
#include "language/dialog_texts.h"
#include "language/text_numbers.h"
#include "resources/resource.h"
#include "uninstall_log/log_reader.h"

namespace {

const char kMainWindowClass[] = "KSWUNINST";

const DialogTextRow kMainDialogTexts[] = {
    {IDC_MAIN_HEADING, kTextMainHeading, 1},
    {IDC_MAIN_INTRO, kTextMainIntro, 0},
    {IDC_MAIN_WAIT, kTextMainWait, 0},
    {IDC_MAIN_SUCCESS, kTextMainSuccess, 0},
};

// Opens the dialog: texts, title, position, progress range and count, and
// the worker that undoes the log.
void OpenMainDialog(HWND dialog, LogWalk& log)
{
    ApplyDialogTextTable(dialog, sizeof kMainDialogTexts / sizeof kMainDialogTexts[0],
                         kMainDialogTexts);
    SetWindowTextA(dialog, g_productName);
    CenterWindow(dialog);
    SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    g_totalEntries = CountRemainingReads(log);
    g_processedCount = 0;
    g_mainDialog = dialog;
    g_workerThread = CreateThread(nullptr, 0, UninstallWorker, &log, 0, &g_workerThreadId);
}

}  // namespace

// Windows checks cbSize and reserves the dialog's extra bytes by this count.
static_assert(sizeof(WNDCLASSEXA) == (sizeof(void*) == 4 ? 48 : 80), "the main dialog's class");
// MinGW's headers give 30 for 64-bit too, where Windows needs 48: the
// shipped program is 32-bit.
static_assert(sizeof(void*) != 4 || DLGWINDOWEXTRA == 30, "the dialog manager's bytes");

void RegisterMainWindowClass()
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_DBLCLKS | CS_OWNDC;
    windowClass.lpfnWndProc = DefDlgProcA;
    windowClass.cbWndExtra = DLGWINDOWEXTRA;
    windowClass.hInstance = g_instance;
    windowClass.hIcon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_APP));
    windowClass.hIconSm = windowClass.hIcon;
    windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = kMainWindowClass;
    RegisterClassExA(&windowClass);
}

INT_PTR ShowMainDialog(LogWalk& log)
{
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc,
                           reinterpret_cast<LPARAM>(&log));
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OpenMainDialog(dialog, *reinterpret_cast<LogWalk*>(lParam));
        return TRUE;
    case WM_CLOSE:
        // Only OK ends the run, and only once the worker has enabled it.
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            EndDialog(dialog, 2);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}
