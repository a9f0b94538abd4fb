// A message hook a test installs on another process's dialog thread: on the
// registered message "FontProbeQuery" the dialog and each child control get
// a line "<control id> <font handle> <height> <weight> <charset> <face>" in
// the file named by FONT_PROBE_OUT, then "end". Fonts cannot be asked for
// across processes. Exported undecorated (the build links modules with --kill-at).
#include <windows.h>

#include <cstdio>

namespace {

BOOL CALLBACK WriteFontLine(HWND window, LPARAM out)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    LOGFONTA info = {};
    if (font)
        GetObjectA(font, sizeof info, &info);
    fprintf(reinterpret_cast<FILE*>(out), "%d %p %ld %ld %d %s\n",
            (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) ? GetDlgCtrlID(window) : 0, static_cast<void*>(font),
            info.lfHeight, info.lfWeight, info.lfCharSet, info.lfFaceName);
    return TRUE;
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK FontProbeHook(int code, WPARAM wParam,
                                                                 LPARAM lParam)
{
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("FONT_PROBE_OUT", path, sizeof path);
    if (code == HC_ACTION && wParam == PM_REMOVE && length && length < sizeof path &&
        message->message == RegisterWindowMessageA("FontProbeQuery")) {
        if (FILE* out = fopen(path, "wb")) {
            WriteFontLine(message->hwnd, reinterpret_cast<LPARAM>(out));
            EnumChildWindows(message->hwnd, WriteFontLine, reinterpret_cast<LPARAM>(out));
            fputs("end\n", out);
            fclose(out);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
