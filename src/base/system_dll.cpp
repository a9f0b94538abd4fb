#include "base/system_dll.h"

#include <direct.h>

#include <cstdlib>

#include "base/globals.h"
#include "text/buf.h"
#include "text/path_list.h"
#include "text/path_split.h"

namespace {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD flags);
typedef BOOL(WINAPI* SetDllDirectoryFn)(const char* path);
typedef void*(WINAPI* AddDllDirectoryFn)(const WCHAR* directory);
typedef BOOL(WINAPI* RemoveDllDirectoryFn)(void* cookie);

// Set where the system searches its own directory alone for DLLs named
// without a path (SetDefaultDllDirectories, which came with the calls that
// add a directory to one load's search).
bool g_searchRestricted = false;
AddDllDirectoryFn g_addDllDirectory = nullptr;
RemoveDllDirectoryFn g_removeDllDirectory = nullptr;

// Where the search could not be restricted, SetDllDirectoryA("") takes the
// current directory out of it, for this process and the ones it starts.
SetDllDirectoryFn g_setDllDirectory = nullptr;
bool g_currentDirectoryDropped = false;

// A logged module or program gets the current directory back while it loads.
void ReturnCurrentDirectoryToSearch()
{
    if (g_currentDirectoryDropped)
        g_setDllDirectory(nullptr);
}

void DropCurrentDirectoryFromSearch()
{
    if (g_currentDirectoryDropped)
        g_setDllDirectory("");
}

// Directories compare by their full short form without a trailing backslash:
// "C:\App\.", "c:\app\" and "C:\PROGRA~1\App" all name the same place.
bool NormaliseDirectory(const char* directory, char* out, DWORD size)
{
    char full[kPathSize];
    if (!_fullpath(full, directory, sizeof full))
        return false;
    DWORD length = GetShortPathNameA(full, out, size);
    if (length == 0 || length >= size) {
        if (!BufSet(out, size, full))
            return false;
        length = lstrlenA(out);
    }
    while (length > 0 && out[length - 1] == '\\')
        out[--length] = '\0';
    return true;
}

// Also true when it cannot tell: nothing doubtful joins the search.
bool IsProgramDirectory(const char* directory)
{
    char program[kPathSize], own[kPathSize], other[kPathSize];
    DWORD length = GetModuleFileNameA(nullptr, program, sizeof program);
    return length == 0 || length >= sizeof program ||
           !CopyDirectoryPart(program, own, sizeof own) ||
           !NormaliseDirectory(own, own, sizeof own) ||
           !NormaliseDirectory(directory, other, sizeof other) ||
           BufEqualNoCase(own, other);
}

// A PATH of more directories is searched as far as this.
const int kMaxAddedDirectories = 64;

// Directories added to the search of one module's DLLs, taken out again after.
struct AddedDirectories {
    void* cookies[kMaxAddedDirectories];
    int count;
};

void AddToSearch(const char* directory, AddedDirectories* added)
{
    WCHAR wide[kPathSize];
    if (!directory[0] || added->count == kMaxAddedDirectories || IsProgramDirectory(directory) ||
        !MultiByteToWideChar(CP_ACP, 0, directory, -1, wide, kPathSize))
        return;
    void* cookie = g_addDllDirectory(wide);
    if (cookie)
        added->cookies[added->count++] = cookie;
}

// What a plain load searches besides the system directory, in its order.
void AddPlainSearchDirectories(AddedDirectories* added)
{
    char directory[kPathSize];
    UINT length = GetWindowsDirectoryA(directory, sizeof directory);
    if (length && length < sizeof directory)
        AddToSearch(directory, added);
    if (_getcwd(directory, sizeof directory))
        AddToSearch(directory, added);
    const char* path = getenv("PATH");
    while (path && NextPathListEntry(&path, directory, sizeof directory))
        AddToSearch(directory, added);
}

// Only for a module that does not load otherwise: the added directories are
// searched before the system's own.
HMODULE LoadWithPlainSearchDirectories(const char* path)
{
    AddedDirectories added = {};
    AddPlainSearchDirectories(&added);
    HMODULE module = LoadLibraryExA(path, nullptr,
                                    LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS |
                                        LOAD_LIBRARY_SEARCH_SYSTEM32);
    while (added.count > 0)
        g_removeDllDirectory(added.cookies[--added.count]);
    return module;
}

}  // namespace

void RestrictDllSearch()
{
    HMODULE kernel32 = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesFn setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
        GetProcAddress(kernel32, "SetDefaultDllDirectories"));
    g_addDllDirectory =
        reinterpret_cast<AddDllDirectoryFn>(GetProcAddress(kernel32, "AddDllDirectory"));
    g_removeDllDirectory =
        reinterpret_cast<RemoveDllDirectoryFn>(GetProcAddress(kernel32, "RemoveDllDirectory"));
    g_searchRestricted = setDefault && g_addDllDirectory && g_removeDllDirectory &&
                         setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (g_searchRestricted)
        return;
    g_setDllDirectory =
        reinterpret_cast<SetDllDirectoryFn>(GetProcAddress(kernel32, "SetDllDirectoryA"));
    g_currentDirectoryDropped = g_setDllDirectory && g_setDllDirectory("");
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
// there first, as regsvr32 loads modules. LOAD_WITH_ALTERED_SEARCH_PATH puts
// the module's directory in place of the program's and keeps the rest of the
// plain order (the system directories, the Windows one, the current one,
// PATH); once the search is restricted it keeps only the system directory.
HMODULE LoadModuleBesideItsDlls(const char* path)
{
    char fullPath[kPathSize];
    if (!_fullpath(fullPath, path, sizeof fullPath))
        return nullptr;
    if (g_searchRestricted) {
        HMODULE module = LoadLibraryExA(
            fullPath, nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
        return module ? module : LoadWithPlainSearchDirectories(fullPath);
    }
    ReturnCurrentDirectoryToSearch();
    HMODULE module = LoadLibraryExA(fullPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    DropCurrentDirectoryFromSearch();
    return module;
}

BOOL StartProgramWithPlainDllSearch(char* commandLine, const char* workDir,
                                    STARTUPINFOA* startup, PROCESS_INFORMATION* process)
{
    ReturnCurrentDirectoryToSearch();
    BOOL started = CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr,
                                  workDir, startup, process);
    DropCurrentDirectoryFromSearch();
    return started;
}
