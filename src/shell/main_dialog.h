// The main dialog with its progress bar.
#pragma once

#include <windows.h>

#include "shell/dialogs.h"

// Progress state: written when the dialog opens, then the processed count
// only by the worker.
extern LONG g_totalEntries;
extern LONG g_processedCount;
extern HWND g_mainDialog;
extern HANDLE g_workerThread;
extern DWORD g_workerThreadId;

void RegisterMainWindowClass();

// Shows dialog 108 modally; returns DialogBoxParamA's result (2 after OK).
INT_PTR ShowMainDialog();
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
