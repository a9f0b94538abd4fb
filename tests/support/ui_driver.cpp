#include "support/ui_driver.h"

#include <algorithm>

namespace ui {

namespace {

const DWORD kPollMs = 10;

std::string TextOf(HWND window)
{
    char text[4096] = "";
    if (!SendMessageTimeoutA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, 5000, nullptr))
        GetWindowTextA(window, text, sizeof text);
    std::string result = text;
    result.erase(std::remove(result.begin(), result.end(), '&'), result.end());
    return result;
}

std::string ClassOf(HWND window)
{
    char name[64] = "";
    GetClassNameA(window, name, sizeof name);
    return name;
}

bool Matches(const std::string& text, const std::string& pattern)
{
    size_t star = pattern.find('*');
    if (star == std::string::npos)
        return text == pattern;
    for (size_t at = star; at <= text.size() && !text.compare(0, star, pattern, 0, star); ++at)
        if (Matches(text.substr(at), pattern.substr(star + 1)))
            return true;
    return false;
}

struct Reading { std::string texts, buttons; };

BOOL CALLBACK ReadControl(HWND control, LPARAM param)
{
    auto* reading = reinterpret_cast<Reading*>(param);
    const std::string kind = ClassOf(control), text = TextOf(control);
    LONG style = GetWindowLongA(control, GWL_STYLE);
    if (!(style & WS_VISIBLE))
        return TRUE;
    if (kind == "Button" && !text.empty() && (style & BS_TYPEMASK) != BS_GROUPBOX)
        reading->buttons += (reading->buttons.empty() ? "" : "|") +
                            std::string(IsWindowEnabled(control) ? "" : "-") + text;
    else if (kind == "Static" && !text.empty()) {
        reading->texts += "|";
        for (char c : text)
            reading->texts += c == '\n' ? "\\n" : c == '\r' ? "" : std::string(1, c);
    }
    else if (kind == "ComboBox") {
        LRESULT selected = SendMessageA(control, CB_GETCURSEL, 0, 0);
        wchar_t item[256];   // across processes Wine hands over the wide text
        char narrow[256];
        reading->texts += "|{";
        for (int i = 0; SendMessageW(control, CB_GETLBTEXT, i, LPARAM(item)) != CB_ERR; ++i) {
            WideCharToMultiByte(CP_ACP, 0, item, -1, narrow, sizeof narrow, nullptr, nullptr);
            reading->texts += (i ? "|" : "") + std::string(i == selected ? "*" : "") + narrow;
        }
        reading->texts += "}";
    }
    return TRUE;
}

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

std::vector<HWND> TopLevelWindows(DWORD processId)
{
    std::vector<HWND> windows;
    std::pair<DWORD, std::vector<HWND>*> request(processId, &windows);
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&request));
    return windows;
}

std::string Render(HWND window)
{
    Reading reading;
    EnumChildWindows(window, ReadControl, reinterpret_cast<LPARAM>(&reading));
    return TextOf(window) + reading.texts + " [" + reading.buttons + "]";
}

bool WaitUntil(bool (*done)(void*), void* context, DWORD boundMs)
{
    for (DWORD start = GetTickCount(); !done(context); Sleep(kPollMs))
        if (GetTickCount() - start >= boundMs)
            return done(context);
    return true;
}

HWND WaitForRender(DWORD processId, const std::string& pattern, DWORD boundMs, std::string* seen)
{
    for (DWORD start = GetTickCount();; Sleep(kPollMs)) {
        std::string there;
        for (HWND window : TopLevelWindows(processId)) {
            std::string rendered = Render(window);
            if (Matches(rendered, pattern))
                return window;
            there += (there.empty() ? "" : "; ") + rendered;
        }
        if (GetTickCount() - start >= boundMs) {
            *seen = there.empty() ? "no window" : there;
            return nullptr;
        }
    }
}

bool Press(HWND window, const std::string& text)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        if (ClassOf(child) == "Button" && TextOf(child) == text)
            return PostMessageA(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(child), BN_CLICKED),
                                reinterpret_cast<LPARAM>(child));
    return false;
}

std::string PlayStep(DWORD processId, const std::string& step, DWORD boundMs, HWND* met)
{
    size_t arrow = step.rfind(" > ");
    std::string pattern = step.substr(0, arrow), button, seen;
    HWND window = WaitForRender(processId, pattern, boundMs, &seen);
    if (met)
        *met = window;
    if (!window)
        return "missing: " + pattern + " (there: " + seen + ")";
    if (arrow == std::string::npos)
        return step;
    button = step.substr(arrow + 3);
    if (button[0] == '!') {   // a question that only its buttons may end
        button.erase(0, 1);
        PostMessageA(window, WM_CLOSE, 0, 0);
        PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
    }
    if (!Press(window, button))
        return "no button " + button + ": " + Render(window);
    auto gone = [](void* w) { return !IsWindow(static_cast<HWND>(w)); };
    return WaitUntil(gone, window, boundMs) ? step : "stayed: " + step;
}

}  // namespace ui
