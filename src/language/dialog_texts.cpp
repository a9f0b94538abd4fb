#include "language/dialog_texts.h"

#include "base/globals.h"
#include "language/language.h"

void ApplyDialogTextTable(HWND dialog, int rowCount, const DialogTextRow* rows)
{
    for (int i = 0; i < rowCount; ++i) {
        char text[kTextSize];
        GetLangString(unsigned(rows[i].stringNumber), sizeof text, text);
        SetDlgItemTextA(dialog, rows[i].controlId, text);
        HFONT font = rows[i].useTitleFont ? g_titleFont : g_textFont;
        SendDlgItemMessageA(dialog, rows[i].controlId, WM_SETFONT,
                            reinterpret_cast<WPARAM>(font), 1);
    }
}
