// Drives real windows from another thread or process: waits for top-level
// windows, reads control texts and states, presses buttons, answers boxes.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace ui {

// Waits up to timeoutMs for a visible top-level window. className and title
// may be null (any); processId 0 means any process. Returns null on timeout.
HWND WaitForWindow(const char* className, const char* title, DWORD timeoutMs,
                   DWORD processId = 0);
// All visible top-level windows of a process (0: of every process).
std::vector<HWND> TopLevelWindows(DWORD processId);

std::string WindowText(HWND window);
std::string ControlText(HWND dialog, int controlId);
bool ControlEnabled(HWND dialog, int controlId);
bool ControlVisible(HWND dialog, int controlId);
std::string ClassName(HWND window);

// Posts the command a click on the button would send.
void PressButton(HWND dialog, int controlId);

// Waits until the window is gone; false on timeout.
bool WaitForWindowGone(HWND window, DWORD timeoutMs);

}  // namespace ui
