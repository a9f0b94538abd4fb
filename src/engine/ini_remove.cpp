#include "engine/ini_remove.h"

#include <windows.h>

#include "base/globals.h"
#include "engine/ini_lines.h"
#include "paths/path_macros.h"
#include "text/buf.h"
#include "text/linefile.h"
#include "uninstall_log/log_entry.h"

#ifdef UNINSTALLER_TEST_SEAMS
void (*g_beforeIniReplace)(const char* path) = nullptr;

static void BeforeReplace(const char* path)
{
    if (g_beforeIniReplace)
        g_beforeIniReplace(path);
}
#else
static void BeforeReplace(const char*) {}
#endif

static bool HasAttribute(const char* path, DWORD mask)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & mask);
}

// A read-only file is not ours to replace (Windows refuses the move, Wine does not), nor is a
// directory or a read-only file in the copy's place ours to overwrite.
static bool MayRewrite(const char* path, const char* copyPath)
{
    return !HasAttribute(path, FILE_ATTRIBUTE_READONLY) &&
           !HasAttribute(copyPath, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY);
}

// Puts the closed copy in the file's place. False leaves the file as it was.
static bool ReplaceWithCopy(const char* copyPath, const char* path)
{
    if (MoveFileExA(copyPath, path, MOVEFILE_REPLACE_EXISTING))
        return true;
    if (GetLastError() != ERROR_CALL_NOT_IMPLEMENTED)
        return false;
    // Windows 95/98: no replacing move, so the file steps aside and comes back
    // if the copy cannot take its name.
    char asidePath[kPathSize];   // fits: the copy's path of the same length did
    BufFormat(asidePath, sizeof asidePath, "%s~", path);
    if (!MoveFileA(path, asidePath))
        return false;
    if (!MoveFileA(copyPath, path)) {
        MoveFileA(asidePath, path);
        return false;
    }
    DeleteFileA(asidePath);
    return true;
}

bool IniFileHoldsLine(const char* section, const char* line, const char* path)
{
    char header[kIniHeaderSize];
    if (!BufFormat(header, sizeof header, "[%s]", section))
        return false;
    LineFile in;
    in.OpenForReading(path);
    return in.is_open() && SectionHoldsLine(in, header, line);
}

// Section names over 125 characters and paths over 258 are refused.
void RemoveIniLine(const char* section, const char* line, const char* path)
{
    char header[kIniHeaderSize];
    char copyPath[kPathSize];
    if (!BufFormat(header, sizeof header, "[%s]", section) ||
        !BufFormat(copyPath, sizeof copyPath, "%s_", path))
        return;

    LineFile in;
    in.OpenForReading(path);
    if (!in.is_open())
        return;
    int reads = in.CountLines();
    bool found = SectionHoldsLine(in, header, line);
    in.close();
    if (!found || !MayRewrite(path, copyPath))
        return;

    in.OpenForReading(path);
    if (!in.is_open())
        return;
    LineFile out;
    out.OpenForWriting(copyPath);
    if (!out.is_open())
        return;
    bool complete = CopyWithoutLine(in, out, reads, header, line);
    in.close();
    out.close();
    complete = complete && !out.fail();
    if (complete)
        BeforeReplace(path);
    if (!complete || !ReplaceWithCopy(copyPath, path)) {
        DeleteFileA(copyPath);
        return;
    }
    InterlockedExchange(&g_restartNeeded, 1);
}

void BuildSystemIniPath(char* path, size_t size)
{
    char windowsDir[kTextSize];
    GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
    BufFormat(path, size, "%s\\system.ini", windowsDir);
    ExpandPathMacros(path, size);
}
