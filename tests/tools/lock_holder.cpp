// Holds files open the way a running program holds its own files: without
// FILE_SHARE_DELETE, so that DeleteFileA fails on them. Usage:
//   lock_holder.exe READY_FILE FILE...
// Creates READY_FILE once every FILE is open, then waits until it is killed.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    for (int i = 2; i < argc; ++i) {
        HANDLE file = CreateFileA(argv[i], GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            fprintf(stderr, "lock_holder: cannot open %s (error %lu)\n", argv[i], GetLastError());
            return 3;
        }
    }
    FILE* ready = fopen(argv[1], "w");
    if (!ready)
        return 4;
    fclose(ready);
    Sleep(INFINITE);
    return 0;
}
