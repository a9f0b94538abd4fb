// The main dialog with its progress bar.
#pragma once

#include <windows.h>

void RegisterMainWindowClass();

// Shows dialog 108 modally; returns DialogBoxParamA's result (2 after OK).
INT_PTR ShowMainDialog();
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
