// The text side of a Registry Path ("HKEY_LOCAL_MACHINE\Key\Sub\Value"):
// root name lookup and the split into subkey path and value name.
#pragma once

#include "uninstall_log/log_entry.h"

enum {
    kRegRemainderSize = 1024,
    kRegValueNameSize = kRegistryValueNameMaxLength + 1,
    kRegKeyPathSize = 256,
};

// Rows of the root table in registry_path.cpp, in lookup order.
enum RegistryRoot {
    kRootClassesRoot,
    kRootCurrentConfig,
    kRootCurrentUser,
    kRootLocalMachine,
    kRootUsers,
    kRootPerformanceData,
    kRootDynData,
    kRootCount
};

// Index of the first root whose name begins path, with at least one
// character after it (the separator, not examined); -1 when none matches.
// *remainder points past the separator.
int MatchRegistryRoot(const char* path, const char** remainder);

// The name of a root row, as a Registry Path must begin with it.
const char* RegistryRootName(int row);

// The predefined key of a root row as its number (0x80000000 for
// HKEY_CLASSES_ROOT ...); registry.cpp turns it into the key handle.
unsigned long RegistryRootKeyNumber(int row);

// Splits path at its root and the last backslash of the remainder into
// subKey (kRegRemainderSize bytes) and valueName (kRegValueNameSize bytes).
// Returns the root index, or -1 when no root matches or the remainder or
// the value name does not fit; both buffers are then empty.
int SplitRegistryPath(const char* path, char* subKey, char* valueName);

// True for "(default)" in any case: the name of a key's unnamed value.
bool IsDefaultValueName(const char* name);
