// Brings the Wine desktop up and keeps it: a hidden window that lives until
// the wineserver is stopped. Writes the file named by its argument when ready.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    HWND window = CreateWindowExA(0, "STATIC", "desktop keeper", WS_POPUP, 0, 0, 1, 1,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window)
        return 1;
    if (argc > 1) {
        FILE* ready = fopen(argv[1], "w");
        if (ready)
            fclose(ready);
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
