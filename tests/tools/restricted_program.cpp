// A careful program: restricts its DLL search first thing, takes comctl32.dll from the system
// directory, makes a progress bar. What the system loads into it, it loads into any program.
#include <windows.h>
#include <commctrl.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    HMODULE comctl32 = LoadLibraryExA("comctl32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    auto init = reinterpret_cast<void(WINAPI*)()>(GetProcAddress(comctl32, "InitCommonControls"));
    if (init)
        init();
    return CreateWindowExA(0, PROGRESS_CLASSA, "", WS_POPUP, 0, 0, 9, 9, nullptr, nullptr,
                           nullptr, nullptr) ? 0 : 3;
}
