// The main dialog with its progress bar.
#pragma once

#include <windows.h>

struct LogWalk;

void RegisterMainWindowClass();

// Shows dialog 108 modally, which hands log (past its header) to the worker;
// returns DialogBoxParamA's result (2 after OK).
INT_PTR ShowMainDialog(LogWalk& log);
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
