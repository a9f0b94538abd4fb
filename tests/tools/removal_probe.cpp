// Runs one removal operation in a process of its own, to which Wine may
// report Windows 98:  removal_probe.exe schedule|withdraw PATH
// Exit code: 4 for a bad command line, else bit 1 set on NT and bit 0 when
// the restart-needed flag was set.
#include <windows.h>

#include <cstring>

#include "base/globals.h"
#include "engine/removal.h"

int main(int argc, char** argv)
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    g_isNT = GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    if (argc == 3 && strcmp(argv[1], "schedule") == 0)
        ScheduleRemovalAtRestart(argv[2]);
    else if (argc == 3 && strcmp(argv[1], "withdraw") == 0)
        WithdrawPendingRemoval(argv[2]);
    else
        return 4;
    return (g_isNT ? 2 : 0) | (g_restartNeeded ? 1 : 0);
}
