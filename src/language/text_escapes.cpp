#include "language/text_escapes.h"

#include <cstring>

namespace {

// Appends text at *used, keeping room for the terminator; false when full.
bool Put(char* out, size_t outSize, size_t* used, const char* text, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        if (*used + 1 >= outSize)
            return false;
        out[(*used)++] = text[i];
    }
    return true;
}

}  // namespace

void ExpandTextEscapes(char* out, size_t outSize, const char* in,
                       const char* installDir, const char* productName)
{
    if (outSize == 0)
        return;
    size_t used = 0;
    bool room = true;
    for (const char* p = in; *p && room; ++p) {
        if (p[0] == '%') {
            if (p[1] == '\0')
                break;
            ++p;
            if (*p == 'd')
                room = Put(out, outSize, &used, installDir, strnlen(installDir, 2));
            else if (*p == 'n')
                room = Put(out, outSize, &used, "1", 1);
            else if (*p == 'p')
                room = Put(out, outSize, &used, productName, strlen(productName));
        } else if (p[0] == '\\' && p[1] == 'n') {
            ++p;
            room = Put(out, outSize, &used, "\n", 1);
        } else {
            room = Put(out, outSize, &used, p, 1);
        }
    }
    out[used] = '\0';
}
