// Calls RestartWindows and tells in its exit code what it saw: bit 0 the
// shutdown privilege enabled afterwards, bit 1 enabled before, bit 2 the
// Windows 95/98 platform; 64 the token was unreadable.
#include <windows.h>

#include <vector>

#include "shell/restart.h"

// 1 enabled, 0 not, -1 the token or its privileges could not be read.
static int ShutdownPrivilegeEnabled()
{
    HANDLE token;
    LUID shutdown;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return -1;
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::vector<BYTE> buffer(size ? size : 1);
    int state = -1;
    if (LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &shutdown) &&
        GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
        const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
        for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
            const LUID_AND_ATTRIBUTES& entry = privileges->Privileges[i];
            if (entry.Luid.LowPart == shutdown.LowPart && entry.Luid.HighPart == shutdown.HighPart)
                state = (entry.Attributes & SE_PRIVILEGE_ENABLED) ? 1 : 0;
        }
    }
    CloseHandle(token);
    return state;
}

int main()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    int before = ShutdownPrivilegeEnabled();
    RestartWindows();
    int after = ShutdownPrivilegeEnabled();
    if (before < 0 || after < 0)
        return 64;
    return (after ? 1 : 0) | (before ? 2 : 0) |
           (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? 4 : 0);
}
