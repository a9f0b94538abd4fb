// Planted under a system DLL's name, it leaves an empty file named PLANTED_MARKERS + its own
// file name when loaded. selfreg_module.dll imports it, as a module imports a DLL beside it.
#include <windows.h>

#include <cstdio>
#include <string>

extern "C" __declspec(dllexport) int AppendLine(const char* path, const char* line)
{
    FILE* f = fopen(path, "ab");
    if (!f)
        return 0;
    fputs(line, f);
    return fclose(f) == 0;   // a failed write shows here
}

// Wine's user32 calls these when a program loads comctl32.dll: handed on.
__asm__(".section .drectve\n.ascii \""
        " -export:GetFileVersionInfoSizeW=kernelbase.GetFileVersionInfoSizeW"
        " -export:GetFileVersionInfoW=kernelbase.GetFileVersionInfoW"
        " -export:VerQueryValueW=kernelbase.VerQueryValueW\"\n.text");

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*)
{
    char dir[MAX_PATH], path[MAX_PATH];
    if (reason == DLL_PROCESS_ATTACH && GetEnvironmentVariableA("PLANTED_MARKERS", dir, MAX_PATH) &&
        GetModuleFileNameA(instance, path, MAX_PATH))
        AppendLine((dir + std::string(path).substr(std::string(path).rfind('\\') + 1)).c_str(), "");
    return TRUE;
}
