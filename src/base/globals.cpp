#include "base/globals.h"

HINSTANCE g_instance;
char g_installDir[kTextSize];
char g_programPath[kTextSize];
char g_commandOption[kPathSize];
char g_languageDir[kTextSize];
char g_macroDir[kTextSize];
char g_logPath[kPathSize];
char g_productName[kProductNameSize];
char g_productKey[kProductKeySize];
char g_systemIniPath[kPathSize];
int g_isNT;
volatile LONG g_restartNeeded;

LONG g_totalEntries;
LONG g_processedCount;
HWND g_mainDialog;
HANDLE g_workerThread;
DWORD g_workerThreadId;

HFONT g_titleFont;
HFONT g_textFont;

char g_pathSlotA[kPathSize];
char g_pathSlotC[kPathSize];
char g_pathSlotU[kPathSize];
