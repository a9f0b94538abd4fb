// A self-registering module for the tests: DllUnregisterServer writes the
// file named by the environment variable SELFREG_MARKER, so a test can see
// that the export was called.
#include <windows.h>

#include <cstdio>

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer()
{
    char marker[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("SELFREG_MARKER", marker, sizeof marker);
    if (length == 0 || length >= sizeof marker)
        return E_FAIL;
    FILE* f = fopen(marker, "ab");
    if (!f)
        return E_FAIL;
    fputs("unregistered\n", f);
    fclose(f);
    return S_OK;
}
