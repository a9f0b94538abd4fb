#include "base/system_dll.h"

#include "base/globals.h"
#include "text/buf.h"

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD flags);
typedef BOOL(WINAPI* SetDllDirectoryFn)(const char* path);

static bool g_searchRestricted = false;

void RestrictDllSearch()
{
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesFn setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        GetProcAddress(kernel32, "SetDefaultDllDirectories"));
    SetDllDirectoryFn setDirectory =
        reinterpret_cast<SetDllDirectoryFn>(GetProcAddress(kernel32, "SetDllDirectoryA"));
    g_searchRestricted = setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Where the default cannot be set, this at least takes the current
    // directory out of the search.
    if (setDirectory)
        setDirectory("");
}

HMODULE LoadSystemDll(const char* name)
{
    char directory[kPathSize];
    char path[kPathSize];
    UINT length = GetSystemDirectoryA(directory, sizeof directory);
    if (length == 0 || length >= sizeof directory ||
        !BufFormat(path, sizeof path, "%s\\%s", directory, name))
        return nullptr;
    return LoadLibraryA(path);
}

// An installer may put a module's own DLLs beside it, so they are searched
// there: LOAD_WITH_ALTERED_SEARCH_PATH puts the module's directory in place of
// the program's, as regsvr32 loads modules, but keeps the rest of the old
// order (the Windows directory, the current one, PATH). Where the newer flags
// exist they keep the search to the module's directory and the system's.
HMODULE LoadModuleBesideItsDlls(const char* path)
{
    if (g_searchRestricted)
        return LoadLibraryExA(path, nullptr,
                              LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}
