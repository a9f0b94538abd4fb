#include "shell/main_dialog.h"

#include <commctrl.h>

#include "base/globals.h"
#include "base/window.h"
#include "engine/linefile.h"
#include "engine/worker.h"
#include "language/dialog_texts.h"
#include "resources/resource.h"

namespace {

const char kMainWindowClass[] = "KSWUNINST";

const DialogTextRow kMainDialogTexts[] = {
    {IDC_MAIN_HEADING, 73, 1},
    {IDC_MAIN_INTRO, 74, 0},
    {IDC_MAIN_WAIT, 75, 0},
    {IDC_MAIN_SUCCESS, 76, 0},
};

// Opens the dialog: texts, title, position, progress range and count, and
// the worker that undoes the log.
void OpenMainDialog(HWND dialog)
{
    ApplyDialogTextTable(dialog, sizeof kMainDialogTexts / sizeof kMainDialogTexts[0],
                         kMainDialogTexts);
    SetWindowTextA(dialog, g_productName);
    CenterWindow(dialog);
    SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    g_totalEntries = g_logStream.CountLines();
    g_processedCount = 0;
    g_mainDialog = dialog;
    g_workerThread = CreateThread(nullptr, 0, UninstallWorker, nullptr, 0, &g_workerThreadId);
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

INT_PTR ShowMainDialog()
{
    return DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        OpenMainDialog(dialog);
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
