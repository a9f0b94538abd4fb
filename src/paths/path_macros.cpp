#include "paths/path_macros.h"

#include <windows.h>

#include <cstring>

#include "base/globals.h"
#include "language/language.h"
#include "paths/macro_text.h"
#include "registry/registry.h"
#include "text/buf.h"

// Text of a directory call (GetWindowsDirectoryA style) in out, or nothing
// when it fails or does not fit.
static void CopySystemDirectory(UINT(WINAPI* getDirectory)(LPSTR, UINT), char* out, size_t size)
{
    UINT length = getDirectory(out, UINT(size));
    if (length == 0 || length >= size)
        out[0] = '\0';
}

// The Program Files directory: the user's value, the machine's, or the
// usual place when neither can be read.
static void CopyProgramFilesDir(char* out, size_t size)
{
    RegistryAccessor registry("");
    if (registry.ReadValue("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                           "ProgramFilesDir",
                           out, DWORD(size)) ||
        registry.ReadValue("HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                           "ProgramFilesDir",
                           out, DWORD(size))) {
        out[size - 1] = '\0';
        return;
    }
    BufSet(out, size, "C:\\Program Files");
}

// Tells the user that the component behind %A is not installed.
static void ShowNotInstalledMessage()
{
    char text[kTextSize];
    char caption[kShortTextSize];
    GetNamedString("sys_notinstalled", sizeof text, text);
    GetNamedString("sys_notinstalled_cap", sizeof caption, caption);
    MessageBoxA(nullptr, text, caption, MB_ICONERROR | MB_TOPMOST);
}

// What each macro letter of a path stands for on this machine.
static void LookUpPathMacro(char letter, char* out, size_t size, void*)
{
    switch (letter) {
    case 'A':
        if (g_pathSlotA[0] == '\0')
            ShowNotInstalledMessage();
        else
            BufSet(out, size, g_pathSlotA);
        break;
    case 'C':
        BufSet(out, size, g_pathSlotC);
        break;
    case 'D':
        BufSet(out, size, g_productKey);
        break;
    case 'F':
        BufSet(out, size, g_macroDir);
        break;
    case 'I':
        BufSet(out, size, g_installDir);
        break;
    case 'L':
        GetRegLang(out, size);
        break;
    case 'P':
        CopyProgramFilesDir(out, size);
        break;
    case 'S':
        CopySystemDirectory(GetSystemDirectoryA, out, size);
        break;
    case 'U':
        BufSet(out, size, g_pathSlotU);
        break;
    case 'W':
        CopySystemDirectory(GetWindowsDirectoryA, out, size);
        break;
    default:
        break;
    }
}

// A result longer than the caller's buffer or 259 characters is cut.
void ExpandPathMacros(char* path, size_t size)
{
    if (size == 0)
        return;
    if (strnlen(path, size) == size)
        path[size - 1] = '\0';
    char output[kPathSize];
    ExpandMacroText(path, output, sizeof output, LookUpPathMacro, nullptr);
    CollapseBackslashRuns(output);
    BufSet(path, size, output);
}
