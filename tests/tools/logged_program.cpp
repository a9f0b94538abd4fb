// Stands for a program named in an uninstall log: writes the directory it
// was started in to the file named by its first argument (a relative name
// lands in that directory), then, when a second argument is given, waits
// until that file exists (at most a minute).
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof directory, directory);
    FILE* out = fopen(argv[1], "wb");
    if (!out)
        return 3;
    fputs(directory, out);
    fclose(out);
    if (argc < 3)
        return 0;
    for (int i = 0; i < 600; ++i) {
        if (GetFileAttributesA(argv[2]) != INVALID_FILE_ATTRIBUTES)
            return 0;
        Sleep(50);
    }
    return 1;
}
