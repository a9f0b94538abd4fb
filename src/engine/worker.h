#pragma once

#include <windows.h>

// Thread procedure that undoes the entries of openLog (a LogWalk past the
// header, which it reads alone from here on and closes) in file order, moves
// the progress bar and finally enables OK. Returns 0 when the log is used up.
DWORD WINAPI UninstallWorker(LPVOID openLog);
