// Windows 95/98 and NT 4 refuse to load a program with an import they do not
// have. The runtime's file streams import _fstat64 (absent from their
// msvcrt.dll), and the compiler's runtime imports three wide-character
// functions that 95/98 do not provide. Defining their import slots here keeps
// those imports out of the program; each replacement uses calls that every
// 32-bit Windows has. Linked into the 32-bit program only.
#include <windows.h>

#include <errno.h>
#include <io.h>
#include <sys/stat.h>

namespace {

// Enough of _fstat64 for the file streams: the kind of file and its size.
int __cdecl StatOpenFile(int descriptor, struct _stat64* status)
{
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
    if (file == INVALID_HANDLE_VALUE) {
        errno = EBADF;
        return -1;
    }
    ZeroMemory(status, sizeof *status);
    DWORD high = 0;
    DWORD low = GetFileSize(file, &high);
    status->st_size = static_cast<long long>((ULONGLONG(high) << 32) | low);
    status->st_mode = GetFileType(file) == FILE_TYPE_DISK ? _S_IFREG : _S_IFCHR;
    return 0;
}

// The runtime creates unnamed semaphores only.
HANDLE WINAPI CreateUnnamedSemaphore(SECURITY_ATTRIBUTES* security, LONG initial, LONG maximum,
                                     const WCHAR* name)
{
    if (name) {
        SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    return CreateSemaphoreA(security, initial, maximum, nullptr);
}

// Module names are converted to the ANSI code page; one that does not
// convert is not found.
bool NarrowModuleName(const WCHAR* name, char* narrow, int size)
{
    return WideCharToMultiByte(CP_ACP, 0, name, -1, narrow, size, nullptr, nullptr) > 0;
}

HMODULE WINAPI ModuleHandleByWideName(const WCHAR* name)
{
    char narrow[MAX_PATH];
    if (!name)
        return GetModuleHandleA(nullptr);
    return NarrowModuleName(name, narrow, sizeof narrow) ? GetModuleHandleA(narrow) : nullptr;
}

HMODULE WINAPI LoadLibraryByWideName(const WCHAR* name)
{
    char narrow[MAX_PATH];
    return NarrowModuleName(name, narrow, sizeof narrow) ? LoadLibraryA(narrow) : nullptr;
}

}  // namespace

extern "C" {
extern void* const g_fstat64Slot __asm__("__imp___fstat64");
extern void* const g_createSemaphoreWSlot __asm__("__imp__CreateSemaphoreW@16");
extern void* const g_getModuleHandleWSlot __asm__("__imp__GetModuleHandleW@4");
extern void* const g_loadLibraryWSlot __asm__("__imp__LoadLibraryW@4");
}

void* const g_fstat64Slot = reinterpret_cast<void*>(&StatOpenFile);
void* const g_createSemaphoreWSlot = reinterpret_cast<void*>(&CreateUnnamedSemaphore);
void* const g_getModuleHandleWSlot = reinterpret_cast<void*>(&ModuleHandleByWideName);
void* const g_loadLibraryWSlot = reinterpret_cast<void*>(&LoadLibraryByWideName);
