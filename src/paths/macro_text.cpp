#include "paths/macro_text.h"

#include <cstring>

#include "text/buf.h"

// Appends one character to output when there is room for it.
static void AppendChar(char* output, size_t size, size_t* used, char c)
{
    if (*used + 1 < size) {
        output[(*used)++] = c;
        output[*used] = '\0';
    }
}

void ExpandMacroText(const char* input, char* output, size_t size, MacroLookup lookup,
                     void* context)
{
    if (size == 0)
        return;
    output[0] = '\0';
    size_t used = 0;
    for (const char* p = input; *p; ++p) {
        if (*p != '%') {
            AppendChar(output, size, &used, *p);
            continue;
        }
        char letter = UpperAscii(p[1]);
        if (letter == '\0')
            break;
        ++p;
        if (letter == '%') {
            AppendChar(output, size, &used, '%');
            continue;
        }
        char replacement[kMacroTextSize] = "";
        lookup(letter, replacement, sizeof replacement, context);
        replacement[sizeof replacement - 1] = '\0';
        BufAppend(output, size, replacement);
        used = strlen(output);
    }
}

void CollapseBackslashRuns(char* text)
{
    char* out = text;
    for (const char* p = text; *p; ++p) {
        if (!(p[0] == '\\' && p[1] == '\\'))
            *out++ = *p;
    }
    *out = '\0';
}
