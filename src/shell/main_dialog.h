// The main dialog with its progress bar, and the pieces that the other
// dialogs share: fonts, dialog text tables and centring.
#pragma once

#include <windows.h>

struct DialogTextRow {
    int controlId;
    int stringNumber;
    int useTitleFont;   // 1: title font, 0: text font
};

extern HFONT g_titleFont;
extern HFONT g_textFont;

// Progress state: written when the dialog opens, then the processed count
// only by the worker.
extern LONG g_totalEntries;
extern LONG g_processedCount;
extern HWND g_mainDialog;
extern HANDLE g_workerThread;
extern DWORD g_workerThreadId;

void RegisterMainWindowClass();
void CreateDialogFonts();
void DeleteDialogFonts();

// Shows dialog 108 modally; returns DialogBoxParamA's result (2 after OK).
INT_PTR ShowMainDialog();
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void ApplyDialogTextTable(HWND dialog, int rowCount, const DialogTextRow* rows);
// Centres a window on the screen by its client size.
void CenterWindow(HWND window);
