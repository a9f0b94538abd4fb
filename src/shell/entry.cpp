#include "shell/entry.h"

#include "base/globals.h"
#include "engine/removal.h"
#include "language/language.h"
#include "shell/main_dialog.h"
#include "shell/restart.h"
#include "shell/startup.h"

void RunUninstaller(HINSTANCE instance)
{
    g_instance = instance;
    StartUp();

    // lang.ini is gone once the work is done: fetch the closing texts now.
    char restartText[kTextSize];
    char restartCaption[kShortTextSize];
    GetLangString(97, sizeof restartText, restartText);
    GetLangString(96, sizeof restartCaption, restartCaption);

    ShowMainDialog();
    ScheduleRemovalAtRestart(g_programPath);
    if (g_restartNeeded &&
        MessageBoxA(nullptr, restartText, restartCaption, MB_YESNO | MB_TOPMOST) == IDYES)
        RestartWindows();
    ExitProgram();
}
