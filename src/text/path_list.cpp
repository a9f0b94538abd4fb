#include "text/path_list.h"

#include <cstring>

#include "text/buf.h"

bool NextPathListEntry(const char** list, char* entry, size_t size)
{
    while (**list == ';')
        ++*list;
    if (!**list)
        return false;
    size_t length = strcspn(*list, ";");
    if (!BufFormat(entry, size, "%.*s", int(length), *list))
        entry[0] = '\0';
    *list += length;
    return true;
}
