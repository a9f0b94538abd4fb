// Loading DLLs so that none lying beside the program is taken for a system
// one: the program runs with administrator rights from an installation
// directory that ordinary users may be able to write to.
#pragma once

#include <windows.h>

// Leaves the system directory as the only place searched for a DLL named
// without a path, where the system offers that; elsewhere (95/98, NT before
// the calls came) nothing changes and the run goes on.
void RestrictDllSearch();

// The DLL of that file name from the system directory, by its full path;
// null when it cannot be loaded.
HMODULE LoadSystemDll(const char* name);

// A self-registering module, loaded wherever a plain LoadLibraryA would have
// found it and its DLLs, except in the program's own directory: a relative
// path is taken from the current directory, as its deletion takes it; its
// DLLs are searched beside it and in the system directory, then in the
// Windows directory, the current one and those on PATH. Null when it cannot
// be loaded.
HMODULE LoadModuleBesideItsDlls(const char* path);

// CreateProcessA for a program that the log names, which gets the DLL search
// that a program started from Explorer gets, none of this program's.
BOOL StartProgramWithPlainDllSearch(char* commandLine, const char* workDir,
                                    STARTUPINFOA* startup, PROCESS_INFORMATION* process);
