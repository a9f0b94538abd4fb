#pragma once

#include <windows.h>

struct LogWalk;

// The whole run: start-up, main dialog, closing steps. Never returns.
[[noreturn]] void RunUninstaller(HINSTANCE instance);

// uninstall.log, open from the start-up until the worker has undone it.
// Only RunUninstaller names it; each step gets it handed on.
extern LogWalk g_uninstallLog;
