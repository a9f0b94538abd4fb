#include "text/path_split.h"

#include <cstring>

size_t DirectoryPartLength(const char* path)
{
    size_t length = (path[0] && path[1] == ':') ? 2 : 0;
    for (size_t i = 0; path[i]; ++i) {
        if (path[i] == '\\' || path[i] == '/')
            length = i + 1;
    }
    return length;
}

bool CopyDirectoryPart(const char* path, char* out, size_t size)
{
    if (size == 0)
        return false;
    size_t length = DirectoryPartLength(path);
    if (length >= size) {
        out[0] = '\0';
        return false;
    }
    memcpy(out, path, length);
    out[length] = '\0';
    return true;
}

bool CutAtLastBackslash(char* text)
{
    for (size_t i = strlen(text); i > 1; --i) {
        if (text[i - 1] == '\\') {
            text[i - 1] = '\0';
            return true;
        }
    }
    return false;
}
