#include "support/ui_driver.h"

#include <cstdio>

namespace ui {

namespace {

const DWORD kPollMs = 20;
const UINT kSendTimeoutMs = 5000;

BOOL CALLBACK CollectWindow(HWND window, LPARAM param)
{
    auto* request = reinterpret_cast<std::pair<DWORD, std::vector<HWND>*>*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (IsWindowVisible(window) && (!request->first || pid == request->first))
        request->second->push_back(window);
    return TRUE;
}

}  // namespace

HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs, DWORD processId)
{
    for (DWORD start = GetTickCount();; Sleep(kPollMs)) {
        for (HWND window : TopLevelWindows(processId))
            if ((!className || ClassName(window) == className) &&
                (!title || WindowText(window) == title))
                return window;
        if (GetTickCount() - start >= timeoutMs)
            return nullptr;
    }
}

std::vector<HWND> TopLevelWindows(DWORD processId)
{
    std::vector<HWND> windows;
    std::pair<DWORD, std::vector<HWND>*> request(processId, &windows);
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&request));
    return windows;
}

std::string WindowText(HWND window)
{
    char text[4096] = "";
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &copied))
        GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ControlText(HWND dialog, int controlId)
{
    HWND control = GetDlgItem(dialog, controlId);
    return control ? WindowText(control) : std::string("<no control>");
}

bool ControlEnabled(HWND dialog, int controlId)
{
    return IsWindowEnabled(GetDlgItem(dialog, controlId)) != FALSE;
}

bool ControlVisible(HWND dialog, int controlId)
{
    return (GetWindowLongA(GetDlgItem(dialog, controlId), GWL_STYLE) & WS_VISIBLE) != 0;
}

std::string ClassName(HWND window)
{
    char name[256] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

void PressButton(HWND dialog, int controlId)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(controlId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, controlId)));
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); IsWindow(window); Sleep(kPollMs))
        if (GetTickCount() - start >= timeoutMs)
            return false;
    return true;
}

}  // namespace ui
