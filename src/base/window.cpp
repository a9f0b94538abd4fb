#include "base/window.h"

#include "base/globals.h"
#include "text/buf.h"

namespace {

// The program declares itself DPI aware, so Windows no longer enlarges its
// windows: the fonts' heights, given for 96 dots per inch, grow with the
// screen's as the dialogs' own font does.
int ScaledToScreen(int height)
{
    HDC screen = GetDC(nullptr);
    int dotsPerInch = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    ReleaseDC(nullptr, screen);
    return dotsPerInch > 0 ? MulDiv(height, dotsPerInch, 96) : height;
}

HFONT CreateArialFont(int height, int weight)
{
    LOGFONTA font = {};
    font.lfHeight = ScaledToScreen(height);
    font.lfWeight = weight;
    font.lfCharSet = EASTEUROPE_CHARSET;
    font.lfOutPrecision = OUT_STROKE_PRECIS;
    font.lfClipPrecision = CLIP_STROKE_PRECIS;
    font.lfQuality = ANTIALIASED_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH;
    BufSet(font.lfFaceName, sizeof font.lfFaceName, "Arial");
    return CreateFontIndirectA(&font);
}

}  // namespace

void CreateDialogFonts()
{
    g_titleFont = CreateArialFont(-14, FW_BOLD);
    g_textFont = CreateArialFont(-12, FW_NORMAL);
}

void DeleteDialogFonts()
{
    DeleteObject(g_titleFont);
    DeleteObject(g_textFont);
    g_titleFont = nullptr;
    g_textFont = nullptr;
}

void CenterWindow(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    int x = (GetSystemMetrics(SM_CXSCREEN) - client.right) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - client.bottom) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_SHOWWINDOW);
}
