// Stands for a program named in an uninstall log: writes the directory it
// was started in to the file named by its first argument, then, given a
// second argument, waits (at most a minute) until that file exists.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof directory, directory);
    FILE* out = argc < 2 ? nullptr : fopen(argv[1], "wb");
    if (!out)
        return 2;
    fputs(directory, out);
    fclose(out);
    for (int i = 0; argc > 2 && i < 600; ++i, Sleep(50))
        if (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES)
            return 0;
    return argc > 2;
}
