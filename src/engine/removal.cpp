#include "engine/removal.h"

#include <windows.h>

#include "base/globals.h"
#include "base/system_dll.h"
#include "text/buf.h"
#include "text/path_split.h"

typedef HRESULT(STDAPICALLTYPE* UnregisterServerFn)();

void UnregisterServerDll(const char* modulePath)
{
    HMODULE module = LoadModuleBesideItsDlls(modulePath);
    if (!module)
        return;
    UnregisterServerFn unregister =
        reinterpret_cast<UnregisterServerFn>(GetProcAddress(module, "DllUnregisterServer"));
    if (unregister)
        unregister();
    FreeLibrary(module);
}

void RemoveEmptyDirectories(const char* directory)
{
    char path[kPathSize];
    if (!BufSet(path, sizeof path, directory))
        return;   // a cut text would name some other directory
    size_t length = lstrlenA(path);
    if (length == 0)
        return;
    path[length - 1] = '\0';
    do {
        if (!RemoveDirectoryA(path))
            return;
    } while (CutAtLastBackslash(path));
}
