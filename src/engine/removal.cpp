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

void ClimbEmptiedDirectories(const char* directory, DirectoryStep step, void* context)
{
    char path[kPathSize];
    if (!BufSet(path, sizeof path, directory))
        return;   // a cut text would name some other directory
    size_t length = lstrlenA(path);
    if (length == 0)
        return;
    path[length - 1] = '\0';
    do {
        if (!step(path, context))
            return;
    } while (CutAtLastBackslash(path));
}

// RemoveDirectoryA removes only an empty directory.
static bool RemoveDirectoryStep(const char* directory, void*)
{
    return RemoveDirectoryA(directory) != 0;
}

void RemoveEmptyDirectories(const char* directory)
{
    ClimbEmptiedDirectories(directory, RemoveDirectoryStep, nullptr);
}
