// A self-registering module: DllUnregisterServer appends a line to the file SELFREG_MARKER
// names, so a test sees the call, through a DLL that must lie beside this one.
#include <windows.h>

extern "C" __declspec(dllimport) int AppendLine(const char* path, const char* line);

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    char marker[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("SELFREG_MARKER", marker, sizeof marker);
    return length && length < sizeof marker && AppendLine(marker, "unregistered\n") ? S_OK : E_FAIL;
}
