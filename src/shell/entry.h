#pragma once

#include <windows.h>

// The whole run: start-up, main dialog, closing steps. Never returns.
[[noreturn]] void RunUninstaller(HINSTANCE instance);
