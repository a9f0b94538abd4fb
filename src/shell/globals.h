// The values of one run. Written during start-up and read-only afterwards,
// except the restart-needed flag and the progress values of the main dialog.
#pragma once

#include <windows.h>

enum {
    kPathSize = 260,
    kTextSize = 1024,
    kShortTextSize = 128,
};

extern HINSTANCE g_instance;
extern char g_installDir[kTextSize];      // always ends in a backslash
extern char g_programPath[kTextSize];
extern char g_commandOption[kPathSize];   // e.g. "-C" or "-UKEYNAME"; may be empty
extern char g_languageDir[kTextSize];     // where lang.ini lies
extern char g_macroDir[kTextSize];        // copy of the install dir for %F and %d
extern char g_logPath[kPathSize];
extern char g_productName[kTextSize];
extern char g_productKey[kShortTextSize];
extern char g_systemIniPath[kPathSize];
extern int g_isNT;
extern volatile LONG g_restartNeeded;     // set by RemoveIniLine, read after the dialog
