// What the program's windows share: centring on the screen and the two
// dialog fonts (their handles are with the run's values in base/globals.h).
#pragma once

#include <windows.h>

void CreateDialogFonts();
void DeleteDialogFonts();

// Centres a window on the screen by its client size.
void CenterWindow(HWND window);
