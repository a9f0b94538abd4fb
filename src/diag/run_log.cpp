#include "diag/run_log.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <direct.h>
#include <share.h>

#include "text/buf.h"

char g_runLogPath[kLogPathSize];

namespace {

const char kLogFileName[] = "zkal.log";
const char kFallbackDirectory[] = "c:\\temp\\";

// Room for the directory, a backslash that may be added and the file name.
bool FitsLogPath(const char* directory)
{
    return strlen(directory) + 1 + strlen(kLogFileName) < kLogPathSize;
}

void EnsureTrailingBackslash(char* path, size_t size)
{
    size_t length = strlen(path);
    if (length > 0 && path[length - 1] != '\\')
        BufAppend(path, size, "\\");
}

// Other processes may read or append to the log at the same time.
FILE* OpenForAppend(const char* path) { return _fsopen(path, "a", _SH_DENYNO); }

}  // namespace

LogDirectory ChooseLogDirectory()
{
    LogDirectory directory = {};
    const char* temp = getenv("temp");
    if (temp && temp[0] && FitsLogPath(temp)) {
        BufSet(directory.path, sizeof directory.path, temp);
    } else {
        BufSet(directory.path, sizeof directory.path, kFallbackDirectory);
        if (_mkdir(kFallbackDirectory) != 0 && errno == ENOENT &&
            !_getcwd(directory.path, sizeof directory.path))
            directory.path[0] = '\0';
    }
    EnsureTrailingBackslash(directory.path, sizeof directory.path);
    return directory;
}

void FormatLogStamp(char* buffer, size_t size)
{
    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[kLogStampSize] = "";
    char time[kLogStampSize] = "";
    if (!GetDateFormatA(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &now, nullptr, date, sizeof date))
        date[0] = '\0';
    if (!GetTimeFormatA(LOCALE_SYSTEM_DEFAULT, 0, &now, nullptr, time, sizeof time))
        time[0] = '\0';
    BufFormat(buffer, size, "%s, %s (t=%u)", date, time, unsigned(GetTickCount()));
}

void LogOpen(const char* name)
{
    if (!BufFormat(g_runLogPath, sizeof g_runLogPath, "%s%s", g_logDirectory.path, name)) {
        g_runLogPath[0] = '\0';
        return;
    }
    FILE* file = OpenForAppend(g_runLogPath);
    if (!file) {
        g_runLogPath[0] = '\0';
        return;
    }
    char stamp[kLogStampSize];
    FormatLogStamp(stamp, sizeof stamp);
    fprintf(file, "\n\n---- Log started %s\n", stamp);
    fclose(file);
}

void LogWrite(const char* text)
{
    if (!g_runLogPath[0])
        return;
    FILE* file = OpenForAppend(g_runLogPath);
    if (!file)
        return;
    fprintf(file, "%s", text);
    fclose(file);
}

void LogError(const char* text)
{
    if (g_runLogPath[0]) {
        char stamp[kLogStampSize];
        FormatLogStamp(stamp, sizeof stamp);
        char line[kLogStampSize + 16];
        BufFormat(line, sizeof line, "chyba: %s\n", stamp);
        LogWrite(line);
    } else {
        LogOpen(kLogFileName);
    }
    LogWrite(text);
    LogWrite("\n");
}

void LogDone()
{
    char stamp[kLogStampSize];
    FormatLogStamp(stamp, sizeof stamp);
    char line[kLogStampSize + 16];
    BufFormat(line, sizeof line, "log done ok: %s\n", stamp);
    if (!g_runLogPath[0])
        LogOpen(kLogFileName);
    LogWrite(line);
}
