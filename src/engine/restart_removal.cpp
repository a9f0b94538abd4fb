// Deletion at the next start of Windows: PendingFileRenameOperations on NT,
// the [rename] section of WININIT.INI on 95/98.
#include <windows.h>

#include <cstring>
#include <new>

#include "base/globals.h"
#include "engine/ini_remove.h"
#include "engine/pending_list.h"
#include "engine/removal.h"
#include "paths/path_macros.h"
#include "registry/registry.h"
#include "text/buf.h"
#include "text/path_split.h"

static const char kPendingRenames[] =
    "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager\\"
    "PendingFileRenameOperations";

// Full path of WININIT.INI in the Windows directory.
static void BuildWininitPath(char* path, size_t size)
{
    BufSet(path, size, "%w\\WININIT.INI");
    ExpandPathMacros(path, size);
}

// The 8.3 form of path; false when the system has none for it (the file is
// gone, the path is empty) or it does not fit.
static bool GetShortPath(const char* path, char* shortPath, DWORD size)
{
    DWORD length = GetShortPathNameA(path, shortPath, size);
    return length > 0 && length < size;
}

// Drive and directory of path, ending in its last backslash or slash; false
// when path has none or the text does not fit.
static bool DirectoryOf(const char* path, char* directory, size_t size)
{
    size_t length = DirectoryPartLength(path);
    if (length == 0 || (path[length - 1] != '\\' && path[length - 1] != '/'))
        return false;
    return CopyDirectoryPart(path, directory, size);
}

static void WithdrawFromRenameList(const char* path)
{
    RegistryAccessor registry("");
    // A value of another type is no list of Windows': it stays as it is.
    DWORD size = registry.GetValueSize(kPendingRenames);
    if (size == 0 || !registry.IsMultiString(kPendingRenames))
        return;
    // Zero-filled, so that bytes a shorter read leaves untouched read as the
    // end of the list rather than as stale memory.
    char* data = new (std::nothrow) char[size]();
    if (!data)
        return;
    if (registry.ReadValue(kPendingRenames, data, size)) {
        bool changed = false;
        size_t newSize = WithdrawPairsFromList(data, size, path, &changed);
        if (changed)
            registry.WriteMultiString(kPendingRenames, data, DWORD(newSize));
    }
    delete[] data;
}

static void WithdrawFromWininit(const char* path)
{
    char shortPath[kPathSize];
    if (!GetShortPath(path, shortPath, sizeof shortPath))
        return;   // without the short path any line would name a guess
    char line[kPathSize + 4];
    if (!BufFormat(line, sizeof line, "NUL=%s", shortPath))
        return;
    char wininit[kPathSize];
    BuildWininitPath(wininit, sizeof wininit);
    RemoveIniLine("rename", line, wininit);
}

void WithdrawPendingRemoval(const char* path)
{
    if (g_isNT)
        WithdrawFromRenameList(path);
    else
        WithdrawFromWininit(path);
}

void ScheduleRemovalAtRestart(const char* path)
{
    WithdrawPendingRemoval(path);
    if (g_isNT) {
        MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        // The directory goes behind every file of it listed so far, so that
        // Windows reaches it once they are gone.
        char directory[kPathSize];
        if (!DirectoryOf(path, directory, sizeof directory))
            return;
        WithdrawPendingRemoval(directory);
        MoveFileExA(directory, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        return;
    }
    char shortPath[kPathSize];
    if (!GetShortPath(path, shortPath, sizeof shortPath))
        return;
    char wininit[kPathSize];
    BuildWininitPath(wininit, sizeof wininit);
    WritePrivateProfileStringA("rename", "NUL", shortPath, wininit);
}
