// A message hook that a test installs on another process's dialog thread:
// when the dialog receives the registered message "FontProbeQuery", it
// writes, for the dialog and each of its child controls, one line
//   <control id> <font handle> <height> <weight> <charset> <face>
// to the file named by the environment variable FONT_PROBE_OUT. The fonts
// of controls cannot be asked for across processes, but inside one they can.
#include <windows.h>

#include <cstdio>

namespace {

void WriteFontLine(FILE* out, int id, HWND window)
{
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    LOGFONTA info = {};
    if (font)
        GetObjectA(font, sizeof info, &info);
    fprintf(out, "%d %p %ld %ld %d %s\n", id, static_cast<void*>(font), info.lfHeight,
            info.lfWeight, info.lfCharSet, info.lfFaceName);
}

BOOL CALLBACK WriteChildFont(HWND child, LPARAM param)
{
    WriteFontLine(reinterpret_cast<FILE*>(param), GetDlgCtrlID(child), child);
    return TRUE;
}

void WriteFonts(HWND dialog)
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("FONT_PROBE_OUT", path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return;
    FILE* out = fopen(path, "wb");
    if (!out)
        return;
    WriteFontLine(out, 0, dialog);
    EnumChildWindows(dialog, WriteChildFont, reinterpret_cast<LPARAM>(out));
    fclose(out);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK FontProbeHook(int code, WPARAM wParam,
                                                                 LPARAM lParam)
{
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && wParam == PM_REMOVE &&
        message->message == RegisterWindowMessageA("FontProbeQuery"))
        WriteFonts(message->hwnd);
    return CallNextHookEx(nullptr, code, wParam, lParam);
}
