// The one window driver of the tests, the demo and the bench: a window is met by how it reads
// (Render), answered by the text of a button, and every wait has a bound.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ui {

std::vector<HWND> TopLevelWindows(DWORD processId);   // visible ones; processId 0: of any
// "Title|static text|...|{item|*selected}[Button|-Disabled]": the window as a user reads it.
std::string Render(HWND window);
// Waits up to boundMs for a window of the process that renders as pattern ('*': any run of
// characters); null when none did, and then *seen says what was there.
HWND WaitForRender(DWORD processId, const std::string& pattern, DWORD boundMs, std::string* seen);
// Posts the click on the button that reads text ('&' ignored); false when there is none.
bool Press(HWND window, const std::string& text);
// A step "PATTERN > BUTTON" ("> !BUTTON": the close box and Esc first), or "PATTERN" to meet
// the window only: waits, answers and waits until the window has gone. The step itself when it
// went so, else what happened instead, naming the window.
std::string PlayStep(DWORD processId, const std::string& step, DWORD boundMs, HWND* met = nullptr);
bool WaitUntil(bool (*done)(void*), void* context, DWORD boundMs);

}  // namespace ui
