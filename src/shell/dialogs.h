// What the program's dialogs share: the two fonts, dialog text tables and
// centring on the screen.
#pragma once

#include <windows.h>

struct DialogTextRow {
    int controlId;
    int stringNumber;
    int useTitleFont;   // 1: title font, 0: text font
};

extern HFONT g_titleFont;
extern HFONT g_textFont;

void CreateDialogFonts();
void DeleteDialogFonts();

// Sets each row's control to its language text and font.
void ApplyDialogTextTable(HWND dialog, int rowCount, const DialogTextRow* rows);
// Centres a window on the screen by its client size.
void CenterWindow(HWND window);
