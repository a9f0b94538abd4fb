#include "text/buf.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

bool BufSet(char* dst, size_t size, const char* src)
{
    if (size == 0)
        return false;
    size_t len = strlen(src);
    if (len < size) {
        memmove(dst, src, len + 1);
        return true;
    }
    memmove(dst, src, size - 1);
    dst[size - 1] = '\0';
    return false;
}

bool BufAppend(char* dst, size_t size, const char* src)
{
    size_t used = strnlen(dst, size);
    if (used >= size)
        return false;
    return BufSet(dst + used, size - used, src);
}

bool BufFormat(char* dst, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    bool whole = BufFormatList(dst, size, format, args);
    va_end(args);
    return whole;
}

bool BufFormatList(char* dst, size_t size, const char* format, va_list args)
{
    if (size == 0)
        return false;
    int n = vsnprintf(dst, size, format, args);
    if (n < 0) {
        dst[0] = '\0';
        return false;
    }
    return size_t(n) < size;
}

bool BufEqualNoCase(const char* a, const char* b)
{
    for (;; ++a, ++b) {
        if (UpperAscii(*a) != UpperAscii(*b))
            return false;
        if (*a == '\0')
            return true;
    }
}

void BufUpperAscii(char* text)
{
    for (; *text; ++text)
        *text = UpperAscii(*text);
}
