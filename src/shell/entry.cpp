#include "shell/entry.h"

#include "base/globals.h"
#include "engine/removal.h"
#include "language/language.h"
#include "language/text_numbers.h"
#include "shell/main_dialog.h"
#include "shell/restart.h"
#include "shell/startup.h"

void RunUninstaller(HINSTANCE instance)
{
    g_instance = instance;
    StartUp(g_uninstallLog);

    // lang.ini is gone once the work is done: fetch the closing texts now.
    char restartText[kTextSize];
    char restartCaption[kShortTextSize];
    GetLangString(kTextRestartQuestion, sizeof restartText, restartText);
    GetLangString(kTextRestartCaption, sizeof restartCaption, restartCaption);

    ShowMainDialog(g_uninstallLog);
    ScheduleRemovalAtRestart(g_programPath);
    if (g_restartNeeded &&
        MessageBoxA(nullptr, restartText, restartCaption, MB_YESNO | MB_TOPMOST) == IDYES)
        RestartWindows();
    ExitProgram();
}
