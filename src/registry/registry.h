// Registry values named as text ("HKEY_LOCAL_MACHINE\Key\Sub\Value") and the
// accessor object whose members read, write and delete them.
#pragma once

#include <windows.h>

#include "registry/registry_path.h"

// Splits a Registry Path; returns the root key or NULL when no root matches
// or a part does not fit its buffer (subKey 1024 bytes, valueName 100 bytes).
HKEY ParseRegistryPath(const char* path, char* subKey, char* valueName);

class RegistryAccessor {
public:
    explicit RegistryAccessor(const char* baseKeyPath = "");
    ~RegistryAccessor();
    RegistryAccessor(const RegistryAccessor&) = delete;
    RegistryAccessor& operator=(const RegistryAccessor&) = delete;

    bool ReadValue(const char* path, void* buffer, DWORD size);
    bool ValueExists(const char* path);
    bool IsMultiString(const char* path);   // false when missing or of another type
    DWORD GetValueSize(const char* path);
    bool WriteMultiString(const char* path, const void* data, DWORD size);
    DWORD ReadDword(HKEY root, const char* subKey, const char* valueName, DWORD defaultValue);
    bool WriteDword(HKEY root, const char* subKey, const char* valueName, DWORD value);

    bool DeleteValue(const char* path);
    bool DeleteValueAndPrune(HKEY root, const char* subKey, const char* valueName);
    bool DeleteKeyTree(const char* path);

    int IsNT() const { return isNT_; }

private:
    typedef LONG(WINAPI* SHDeleteKeyFn)(HKEY, LPCSTR);

    bool JoinKeyPath(const char* subKey, char* out, size_t size) const;

    int isNT_;
    char* baseKeyPath_;
    HMODULE shlwapi_;
    SHDeleteKeyFn shDeleteKey_;
};

enum KeyEntryKind { kSubkeyEntry, kValueEntry };
// Tells whether an entry of a key is gone already: the plan's earlier steps.
typedef bool (*GoneEntry)(const char* name, KeyEntryKind kind, void* context);
// True when key holds a subkey or a value that gone (null: nothing is gone)
// does not count as gone. A name too long for 100 characters, or any other
// enumeration failure, counts as held.
bool KeyHoldsMore(HKEY key, GoneEntry gone, void* context);

// One step of the pruning walk on the key keyPath below root: true when the
// key was empty and went, and the walk goes on to its parent.
typedef bool (*KeyStep)(HKEY root, const char* keyPath, void* context);
// The pruning walk after a deletion: keyPath, then each key above it, until
// step fails for one; never a top-level key, nor through an empty name (a
// doubled, leading or trailing backslash), by which one could be reached.
// The run removes; uninstall-check's plan only foresees.
void ClimbEmptiedKeys(HKEY root, const char* keyPath, KeyStep step, void* context);

// The process-wide accessor, used by the worker for registry entries.
extern RegistryAccessor g_registry;
