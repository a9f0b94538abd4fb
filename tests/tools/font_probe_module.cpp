// A message hook a test installs on another process's dialog thread, since
// fonts cannot be asked for across processes: on the registered message
// "FontProbeQuery" it writes "<control id> <height> <weight> <charset> <face>"
// for the dialog (id 0) and each child, then "end", to the file named by
// FONT_PROBE_OUT. Exported undecorated (modules are linked with --kill-at).
#include <windows.h>

#include <cstdio>

static BOOL CALLBACK WriteFontLine(HWND window, LPARAM out)
{
    LOGFONTA info = {};
    GetObjectA(reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0)), sizeof info, &info);
    fprintf(reinterpret_cast<FILE*>(out), "%d %ld %ld %d %s\n",
            (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) ? GetDlgCtrlID(window) : 0, info.lfHeight,
            info.lfWeight, info.lfCharSet, info.lfFaceName);
    return TRUE;
}

extern "C" __declspec(dllexport) LRESULT CALLBACK FontProbeHook(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("FONT_PROBE_OUT", path, sizeof path);
    FILE* out = nullptr;
    if (code == HC_ACTION && wParam == PM_REMOVE && length && length < sizeof path &&
        message->message == RegisterWindowMessageA("FontProbeQuery") && (out = fopen(path, "wb"))) {
        WriteFontLine(message->hwnd, reinterpret_cast<LPARAM>(out));
        EnumChildWindows(message->hwnd, WriteFontLine, reinterpret_cast<LPARAM>(out));
        fputs("end\n", out);
        fclose(out);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
