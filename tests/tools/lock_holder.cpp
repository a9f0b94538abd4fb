// Holds files open as a running program holds its own, without
// FILE_SHARE_DELETE, so that DeleteFileA fails on them:
//   lock_holder.exe READY_FILE FILE...
// Creates READY_FILE once every FILE is open, then waits to be killed.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    for (int i = 2; i < argc; ++i) {
        if (CreateFileA(argv[i], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr) == INVALID_HANDLE_VALUE)
            return 3;
    }
    FILE* ready = argc > 2 ? fopen(argv[1], "w") : nullptr;
    if (!ready)
        return 2;
    fclose(ready);
    Sleep(INFINITE);
}
