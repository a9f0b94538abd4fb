#include "shell/restart.h"

#include <windows.h>

void RestartWindows()
{
    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        TOKEN_PRIVILEGES privileges = {};
        privileges.PrivilegeCount = 1;
        LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        ExitWindowsEx(EWX_REBOOT, 0);
        // The token stays open: the process ends right after the request.
    }
    // Asked again whatever became of the token: Windows 95/98 has no token to
    // open, and there this is the only request.
    ExitWindowsEx(EWX_REBOOT, 0);
}
