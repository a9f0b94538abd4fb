#include "engine/worker.h"

#include <commctrl.h>

#include "base/globals.h"
#include "base/system_dll.h"
#include "engine/ini_remove.h"
#include "engine/removal.h"
#include "engine/shared_dll.h"
#include "registry/registry.h"
#include "resources/resource.h"
#include "text/buf.h"
#include "text/path_split.h"
#include "uninstall_log/log_reader.h"

namespace {

// CreateProcessA checks cb: a record laid out otherwise fails every start.
static_assert(sizeof(STARTUPINFOA) == (sizeof(void*) == 4 ? 68 : 104),
              "CreateProcessA's start-up record");

// Every line read from the log counts; only the first line of an entry
// moves the progress bar. Each send waits for the main thread, as long as a
// deletion or more; a position the bar already shows would change nothing,
// so only changes go.
void CountEntryLines(const WalkedEntry& entry, LONG* shownPosition)
{
    ++g_processedCount;
    LONG position = LONG(LONGLONG(g_processedCount) * 100 / g_totalEntries);
    if (position != *shownPosition) {
        *shownPosition = position;
        SendMessageA(GetDlgItem(g_mainDialog, IDC_MAIN_PROGRESS), PBM_SETPOS, WPARAM(position), 0);
    }
    g_processedCount += entry.furtherCount;
}

// The directory of the last deleted file, whose climb through the emptied
// directories has not been made yet; empty when none is owed.
char g_owedClimb[kEntryLineSize];

void SettleOwedClimb()
{
    if (g_owedClimb[0])
        RemoveEmptyDirectories(g_owedClimb);
    g_owedClimb[0] = '\0';
}

// True when a name in the backslash-separated text begins with a dot.
bool HasNameStartingWithDot(const char* text)
{
    for (const char* c = text; *c; ++c)
        if (*c == '.' && (c == text || c[-1] == '\\'))
            return true;
    return false;
}

// True when path names something inside the directory that the owed climb
// tries first. The rest of the path must be a chain of names: no "." or ".."
// and no slash could lead it out; and the directory must end in a name, as
// "C:" would be the drive's current directory, not its root.
bool LiesWhereOwedClimbStarts(const char* path)
{
    size_t length = strlen(g_owedClimb);
    if (length < 2 || strncmp(path, g_owedClimb, length) != 0)
        return false;
    char separator = g_owedClimb[length - 1], nameEnd = g_owedClimb[length - 2];
    if ((separator != '\\' && separator != '/') || strchr(":\\/", nameEnd))
        return false;
    const char* rest = path + length;
    return !HasNameStartingWithDot(rest) && !strchr(rest, '/');
}

// A self-registering module is unregistered before its file goes.
enum LoggedFileKind { kPlainFile, kSelfRegisteringModule };

// A climb costs a failing RemoveDirectoryA for nearly every file, as the next
// file of the log usually lies in the same directory. So a deletion's climb is
// owed, and left out when the next entry deletes a file where the climb would
// start: that file was there, so the climb would have ended at its first step
// without removing anything; in between, only that file's own read-only
// attribute may have been cleared. Any other outcome settles the climb before
// the entry does anything that could tell, and other entries and the log's end
// settle it before they start: it is always made before a program runs, a
// question is asked or the log ends.
void RemoveLoggedFile(const char* path, LoggedFileKind kind)
{
    char directory[kEntryLineSize];
    CopyDirectoryPart(path, directory, sizeof directory);
    if (IsInSystemDirectory(path) || !LiesWhereOwedClimbStarts(path))
        SettleOwedClimb();
    if (!ConfirmFileRemoval(g_mainDialog, path))
        return;
    if (kind == kSelfRegisteringModule)
        UnregisterServerDll(path);
    if (DeleteFileA(path)) {
        BufSet(g_owedClimb, sizeof g_owedClimb, directory);
        return;
    }
    SettleOwedClimb();
    ScheduleRemovalAtRestart(path);
}

// The font leaves the font table even if its file is kept.
void RemoveLoggedFont(const char* path)
{
    RemoveFontResourceA(path);
    SendMessageA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0);
    RemoveLoggedFile(path, kPlainFile);
}

// "-section\key" followed by a value line: removes key=value from system.ini.
// Without a key no value line was read, and there is nothing to remove.
void RemoveLoggedIniLine(const WalkedEntry& entry)
{
    if (entry.furtherCount == 0)
        return;
    char section[kTextSize];
    char iniLine[kIniLineSize];
    if (BuildIniRemoval(entry.text, entry.value, section, sizeof section, iniLine) ==
        kIniRemovalReady)
        RemoveIniLine(section, iniLine, g_systemIniPath);
}

void WaitForProcess(HANDLE process)
{
    DWORD code;
    while (GetExitCodeProcess(process, &code) && code == STILL_ACTIVE)
        Sleep(100);
}

// ";command line", then the working directory and the directory flag.
void RunLoggedProgram(const char* entry, const char* second, const char* third)
{
    char commandLine[kEntryLineSize];
    char workDir[kProgramDirSize];
    BufSet(commandLine, sizeof commandLine, entry + 1);
    ProgramWorkingDirectory(entry, second, third, workDir, sizeof workDir);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOW;
    PROCESS_INFORMATION process = {};
    StartProgramWithPlainDllSearch(commandLine, workDir[0] ? workDir : nullptr, &startup,
                                   &process);
    if (!process.hProcess)
        return;
    WaitForProcess(process.hProcess);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    SetFocus(g_mainDialog);
    ShowWindow(g_mainDialog, SW_RESTORE);
}

void ActOnEntry(const WalkedEntry& entry)
{
    // Only a plain file entry can leave the owed climb waiting.
    if (entry.kind != kFileEntry)
        SettleOwedClimb();
    switch (entry.kind) {
    case kServerEntry:
        RemoveLoggedFile(LoggedFilePath(entry.text), kSelfRegisteringModule);
        break;
    case kFontEntry:
        RemoveLoggedFont(LoggedFilePath(entry.text));
        break;
    case kIniEntry:
        RemoveLoggedIniLine(entry);
        break;
    case kRegistryEntry:
        g_registry.DeleteValue(entry.text + 1);
        break;
    case kProgramEntry:
        RunLoggedProgram(entry.text, entry.second, entry.third);
        break;
    case kFileEntry:
        RemoveLoggedFile(LoggedFilePath(entry.text), kPlainFile);
        break;
    }
}

// The log is used up: delete it and lang.ini, then let the user finish.
void FinishUninstall(LogWalk& log)
{
    SettleOwedClimb();
    CloseLogWalk(log);
    char languageFile[kPathSize];
    if (BufFormat(languageFile, sizeof languageFile, "%s%s", g_languageDir, "lang.ini"))
        DeleteFileA(languageFile);
    DeleteFileA(g_logPath);
    ShowWindow(GetDlgItem(g_mainDialog, IDC_MAIN_SUCCESS), SW_SHOW);
    EnableWindow(GetDlgItem(g_mainDialog, IDOK), TRUE);
}

}  // namespace

DWORD WINAPI UninstallWorker(LPVOID openLog)
{
    LogWalk& log = *static_cast<LogWalk*>(openLog);
    LONG shownPosition = -1;
    g_owedClimb[0] = '\0';
    WalkedEntry entry;
    // A read failure ends the log as its end does; that read counts too.
    while (NextLogEntry(log, &entry)) {
        CountEntryLines(entry, &shownPosition);
        ActOnEntry(entry);
    }
    CountEntryLines(entry, &shownPosition);
    FinishUninstall(log);
    return 0;
}
