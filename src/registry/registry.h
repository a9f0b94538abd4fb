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

    void PruneEmptyKeys(HKEY root, char* path);
    bool JoinKeyPath(const char* subKey, char* out, size_t size) const;

    int isNT_;
    char* baseKeyPath_;
    HMODULE shlwapi_;
    SHDeleteKeyFn shDeleteKey_;
};

// The process-wide accessor, used by the worker for registry entries.
extern RegistryAccessor g_registry;
