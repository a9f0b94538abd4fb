// Dialog text tables: which control shows which language text in which font.
#pragma once

#include <windows.h>

struct DialogTextRow {
    int controlId;
    int stringNumber;
    int useTitleFont;   // 1: title font, 0: text font
};

// Sets each row's control to its language text and font.
void ApplyDialogTextTable(HWND dialog, int rowCount, const DialogTextRow* rows);
