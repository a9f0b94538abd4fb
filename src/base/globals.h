// The values of one run, all in one place. Each line: capacity, who writes
// it, who reads it. Start-up writes before the worker starts; afterwards only
// the restart-needed flag and the progress values change.
#pragma once

#include <windows.h>

#include "base/text_sizes.h"
#include "uninstall_log/log_entry.h"

// The program's module; the entry point; dialogs and the icon are loaded from it.
extern HINSTANCE g_instance;
// 1024, ends in a backslash; ParseCommandLine; start-up, language file, %I.
extern char g_installDir[kTextSize];
// 1024; ParseCommandLine; the entry point schedules it for removal.
extern char g_programPath[kTextSize];
// 260, "-C", "-UKEYNAME" or empty; ParseCommandLine, upper-cased by start-up; start-up.
extern char g_commandOption[kPathSize];
// 1024, where lang.ini lies; start-up; the worker deletes lang.ini there.
extern char g_languageDir[kTextSize];
// 1024, copy of the install dir; start-up; %F and the %d text escape.
extern char g_macroDir[kTextSize];
// 260, uninstall.log; start-up; the missing-log box, the worker deletes it.
extern char g_logPath[kPathSize];
// Log header line 1; start-up; main dialog title, the %p text escape.
extern char g_productName[kProductNameSize];
// Log header line 2; start-up (registration removal); %D.
extern char g_productKey[kProductKeySize];
// 260; start-up; the worker's INI entries.
extern char g_systemIniPath[kPathSize];
// 1 on Windows NT; start-up; removal at restart.
extern int g_isNT;
// 0 or 1; RemoveIniLine (system.ini, WININIT.INI); the entry point, after the dialog.
extern volatile LONG g_restartNeeded;

// Lines of the log left after the header; the main dialog when it opens; the worker's bar.
extern LONG g_totalEntries;
// Lines read; zeroed by the main dialog when it opens, then counted by the worker alone.
extern LONG g_processedCount;
// The main dialog; set when it opens; the worker's bar, buttons and questions.
extern HWND g_mainDialog;
// The one worker and its id; created by the main dialog and never waited for.
extern HANDLE g_workerThread;
extern DWORD g_workerThreadId;

// Dialog fonts; CreateDialogFonts at start-up, DeleteDialogFonts at exit; dialog text tables.
extern HFONT g_titleFont;
extern HFONT g_textFont;

// 260, path macro %A; nothing in this program writes it; ExpandPathMacros.
extern char g_pathSlotA[kPathSize];
// 260 each, path macros %C and %U; start-up empties them; ExpandPathMacros.
extern char g_pathSlotC[kPathSize];
extern char g_pathSlotU[kPathSize];

// The process-wide objects whose construction order matters (the open log,
// the registry accessor and the diagnostics' objects) are defined in
// shell/process_objects.cpp and declared by their own subsystems.
