// ini_remove_tool SECTION LINE INI_PATH RESULT_PATH: runs RemoveIniLine and
// writes the restart-needed flag aside, then renames it to RESULT_PATH, so
// the result appears whole once the call is over.
#include <windows.h>

#include <string>

#include "base/globals.h"
#include "engine/ini_remove.h"
#include "support/test_env.h"

int main(int argc, char** argv)
{
    if (argc != 5)
        return 2;
    RemoveIniLine(argv[1], argv[2], argv[3]);
    std::string aside = std::string(argv[4]) + ".part";
    bool written = testenv::WriteFileBytes(aside, std::to_string(g_restartNeeded));
    return written && MoveFileA(aside.c_str(), argv[4]) ? 0 : 3;
}
