// Runs RemoveIniLine in a process of its own: ini_remove_tool SECTION LINE
// INI_PATH RESULT_PATH. The restart-needed flag is written to RESULT_PATH,
// which appears whole (written aside, then renamed) once the call is over.
#include <windows.h>

#include <cstdio>
#include <string>

#include "engine/ini_remove.h"
#include "shell/globals.h"
#include "support/test_env.h"

int main(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    RemoveIniLine(argv[1], argv[2], argv[3]);
    std::string result = argv[4];
    std::string aside = result + ".part";
    char flag[16];
    snprintf(flag, sizeof flag, "%ld", g_restartNeeded);
    if (!testenv::WriteFileBytes(aside, flag) || !MoveFileA(aside.c_str(), result.c_str()))
        return 3;
    return 0;
}
