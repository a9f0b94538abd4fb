#pragma once

#include <windows.h>

// Thread procedure that undoes the log's entries in file order, moves the
// progress bar and finally enables OK. Returns 0 when the log is used up.
DWORD WINAPI UninstallWorker(LPVOID unused);
