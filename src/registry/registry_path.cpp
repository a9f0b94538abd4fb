#include "registry/registry_path.h"

#include <cstring>

#include "text/buf.h"

static const char* const kRootNames[kRootCount] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_CONFIG",   "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE",
    "HKEY_USERS",        "HKEY_PERFORMANCE_DATA", "HKEY_DYN_DATA",
};

int MatchRegistryRoot(const char* path, const char** remainder)
{
    size_t pathLength = strlen(path);
    for (int row = 0; row < kRootCount; ++row) {
        size_t nameLength = strlen(kRootNames[row]);
        if (pathLength > nameLength && memcmp(path, kRootNames[row], nameLength) == 0) {
            *remainder = path + nameLength + 1;
            return row;
        }
    }
    return -1;
}

int SplitRegistryPath(const char* path, char* subKey, char* valueName)
{
    subKey[0] = '\0';
    valueName[0] = '\0';
    const char* remainder;
    int root = MatchRegistryRoot(path, &remainder);
    if (root < 0 || strlen(remainder) >= kRegRemainderSize)
        return -1;
    const char* lastSlash = strrchr(remainder, '\\');
    const char* name = lastSlash ? lastSlash + 1 : remainder;
    if (!BufSet(valueName, kRegValueNameSize, name)) {
        valueName[0] = '\0';
        return -1;
    }
    if (lastSlash) {
        BufSet(subKey, kRegRemainderSize, remainder);
        subKey[lastSlash - remainder] = '\0';
    }
    return root;
}

bool IsDefaultValueName(const char* name)
{
    return BufEqualNoCase(name, "(default)");
}
