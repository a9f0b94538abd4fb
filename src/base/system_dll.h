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

// A module named by its full path, the DLLs it imports searched in its own
// directory first and then in the system's; null when it cannot be loaded.
HMODULE LoadModuleBesideItsDlls(const char* path);
