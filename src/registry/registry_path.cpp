#include "registry/registry_path.h"

#include <cstring>

#include "text/buf.h"

namespace {

// The root names a Registry Path may begin with and their predefined keys,
// as numbers so that this file needs no windows.h.
struct RootRow {
    const char* name;
    unsigned long keyNumber;
};

const RootRow kRoots[] = {
    {"HKEY_CLASSES_ROOT", 0x80000000},
    {"HKEY_CURRENT_CONFIG", 0x80000005},
    {"HKEY_CURRENT_USER", 0x80000001},
    {"HKEY_LOCAL_MACHINE", 0x80000002},
    {"HKEY_USERS", 0x80000003},
    {"HKEY_PERFORMANCE_DATA", 0x80000004},
    {"HKEY_DYN_DATA", 0x80000006},
};
static_assert(sizeof kRoots / sizeof kRoots[0] == kRootCount, "one row per RegistryRoot");

}  // namespace

int MatchRegistryRoot(const char* path, const char** remainder)
{
    size_t pathLength = strlen(path);
    for (int row = 0; row < kRootCount; ++row) {
        size_t nameLength = strlen(kRoots[row].name);
        if (pathLength > nameLength && memcmp(path, kRoots[row].name, nameLength) == 0) {
            *remainder = path + nameLength + 1;
            return row;
        }
    }
    return -1;
}

const char* RegistryRootName(int row)
{
    return kRoots[row].name;
}

unsigned long RegistryRootKeyNumber(int row)
{
    return kRoots[row].keyNumber;
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
