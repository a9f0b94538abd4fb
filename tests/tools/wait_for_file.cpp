// Stands for a logged program that takes its time: ends when the file named
// by its first argument exists, or after the milliseconds of the second
// (a minute by default).
#include <windows.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    int rounds = (argc > 2 ? atoi(argv[2]) : 60000) / 100;
    for (int i = 0; i < rounds; ++i) {
        if (GetFileAttributesA(argv[1]) != INVALID_FILE_ATTRIBUTES)
            return 0;
        Sleep(100);
    }
    return 1;
}
