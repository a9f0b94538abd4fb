#include "engine/ini_remove.h"

#include <windows.h>

#include "base/globals.h"
#include "engine/linefile.h"
#include "text/buf.h"

enum { kIniLineSize = 1024 };

static bool IsSectionStart(const char* text) { return text[0] == '['; }

// True when a line of the section(s) named by header equals line.
static bool SectionHoldsLine(LineFile& in, const char* header, const char* line)
{
    char text[kIniLineSize];
    bool inSection = false;
    while (in.good()) {
        in.ReadLine(text, sizeof text);
        if (inSection && !IsSectionStart(text) && BufEqualNoCase(text, line))
            return true;
        if (IsSectionStart(text))
            inSection = false;
        if (BufEqualNoCase(text, header))
            inSection = true;
    }
    return false;
}

// Copies the given number of line reads from in to out, leaving out the
// lines of the section(s) named by header that equal line. True when the
// last read met the end of in and every write went through.
static bool CopyWithoutLine(LineFile& in, LineFile& out, int reads, const char* header,
                            const char* line)
{
    char text[kIniLineSize];
    bool inSection = false;
    for (int i = 0; i < reads; ++i) {
        in.ReadLine(text, sizeof text);
        if (IsSectionStart(text)) {
            inSection = false;
            out.WriteLine(text);
        } else if (!inSection || !BufEqualNoCase(text, line)) {
            out.WriteLine(text);
        }
        if (BufEqualNoCase(text, header))
            inSection = true;
    }
    out.flush();
    return in.eof() && !in.bad() && out.good();
}

// A directory or a read-only file in the copy's place is not ours to overwrite.
static bool CopyPathIsFree(const char* copyPath)
{
    DWORD attributes = GetFileAttributesA(copyPath);
    return attributes == INVALID_FILE_ATTRIBUTES ||
           !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY));
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
    char header[kShortTextSize];
    if (!BufFormat(header, sizeof header, "[%s]", section))
        return false;
    LineFile in;
    in.OpenForReading(path);
    return in.is_open() && SectionHoldsLine(in, header, line);
}

// Section names over 125 characters and paths over 258 are refused.
void RemoveIniLine(const char* section, const char* line, const char* path)
{
    char header[kShortTextSize];
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
    if (!found || !CopyPathIsFree(copyPath))
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
    if (!complete || !ReplaceWithCopy(copyPath, path)) {
        DeleteFileA(copyPath);
        return;
    }
    InterlockedExchange(&g_restartNeeded, 1);
}
