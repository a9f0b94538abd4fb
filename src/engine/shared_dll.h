// Shared-DLL counters and the question asked before a system file goes.
#pragma once

#include <windows.h>

class RegistryAccessor;

enum SystemFileChoice { Ask = 0, DeleteAll = 1, KeepAll = 2 };

extern int g_systemFileChoice;

// True when path lies directly in the system directory, letter case aside:
// only such a file can bring the question or touch the counters.
bool IsInSystemDirectory(const char* path);
// True when path may be deleted; its read-only attribute is then cleared.
bool ConfirmFileRemoval(HWND owner, const char* path);
// The file's SharedDLLs counter: -1 when there is none, 0 when it is no
// REG_DWORD. Read alike by the release and by uninstall-check's plan.
LONG ReadSharedDllCount(RegistryAccessor& registry, const char* path);
// Decrements the file's SharedDLLs counter; returns what is left (0 when none).
DWORD ReleaseSharedDll(const char* path);
INT_PTR CALLBACK SystemFileQuestionProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
