// Stands for a logged program that takes its time: ends when the file named
// by its argument exists (or after a minute).
#include <windows.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    for (int i = 0; i < 600; ++i) {
        if (GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES)
            return 0;
        Sleep(100);
    }
    return 1;
}
