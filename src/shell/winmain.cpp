#include <windows.h>

#include "base/system_dll.h"
#include "shell/entry.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    RestrictDllSearch();
    RunUninstaller(instance);
}
