#include "engine/pending_list.h"

#include <cstring>

#include "text/buf.h"

// Length of the string at data[pos]; false when it has no terminator before
// the end of the data.
static bool TerminatedLength(const char* data, size_t size, size_t pos, size_t* length)
{
    const void* end = memchr(data + pos, '\0', size - pos);
    if (!end)
        return false;
    *length = size_t(static_cast<const char*>(end) - (data + pos));
    return true;
}

// True when the terminated source, from the character before its first
// colon on, equals path. A colon in first place has no drive letter before
// it and never matches.
static bool SourceNamesPath(const char* source, const char* colon, const char* path)
{
    return colon > source && BufEqualNoCase(colon - 1, path);
}

size_t WithdrawPairsFromList(char* data, size_t size, const char* path, bool* changed)
{
    *changed = false;
    size_t pos = 0;
    while (pos < size && data[pos] != '\0') {
        size_t sourceLength;
        if (!TerminatedLength(data, size, pos, &sourceLength))
            break;   // unterminated source: nothing safe to compare
        const char* source = data + pos;
        const char* colon = static_cast<const char*>(memchr(source, ':', sourceLength));
        if (!colon)
            break;   // a source without a drive (a network path) ends the walk
        size_t targetPos = pos + sourceLength + 1;
        if (targetPos >= size)
            break;   // a source without a target is no pair
        size_t targetLength;
        if (!TerminatedLength(data, size, targetPos, &targetLength))
            break;   // the target runs to the end of the data
        size_t pairEnd = targetPos + targetLength + 1;
        if (SourceNamesPath(source, colon, path)) {
            memmove(data + pos, data + pairEnd, size - pairEnd);
            size -= pairEnd - pos;
            *changed = true;
        } else {
            pos = pairEnd;
        }
    }
    return size;
}
