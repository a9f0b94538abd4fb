#include "registry/registry.h"

#include <cstring>

#include "base/system_dll.h"
#include "text/buf.h"

// The handle of a root row's predefined key, sign-extended on 64-bit
// systems as windows.h defines HKEY_CLASSES_ROOT and the others.
static HKEY RootKey(int row)
{
    LONG number = static_cast<LONG>(RegistryRootKeyNumber(row));
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(number));
}

HKEY ParseRegistryPath(const char* path, char* subKey, char* valueName)
{
    int root = SplitRegistryPath(path, subKey, valueName);
    return root < 0 ? nullptr : RootKey(root);
}

// The name to hand to the registry: none for the unnamed value.
static const char* RegistryValueName(const char* valueName)
{
    return IsDefaultValueName(valueName) ? nullptr : valueName;
}

// RegQueryValueExA on the value a Registry Path names, the key opened for
// reading only; false when the path does not parse, the key cannot be
// opened or the query fails.
static bool QueryPathValue(const char* path, void* data, DWORD* size, DWORD* type = nullptr)
{
    char subKey[kRegRemainderSize];
    char valueName[kRegValueNameSize];
    HKEY root = ParseRegistryPath(path, subKey, valueName);
    if (!root)
        return false;
    HKEY key;
    if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    LONG rc = RegQueryValueExA(key, RegistryValueName(valueName), nullptr, type,
                               static_cast<BYTE*>(data), size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

// Creates (or opens) the key for writing and sets one value in it.
static bool SetKeyValue(HKEY root, const char* subKey, const char* name, DWORD type,
                        const void* data, DWORD size)
{
    HKEY key;
    if (RegCreateKeyExA(root, subKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    LONG rc = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

bool KeyHoldsMore(HKEY key, GoneEntry gone, void* context)
{
    char name[kRegValueNameSize];
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        LONG rc = RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            break;
        if (rc != ERROR_SUCCESS || !gone || !gone(name, kSubkeyEntry, context))
            return true;
    }
    for (DWORD i = 0;; ++i) {
        DWORD length = sizeof name;
        LONG rc = RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS)
            return false;
        if (rc != ERROR_SUCCESS || !gone || !gone(name, kValueEntry, context))
            return true;
    }
}

void ClimbEmptiedKeys(HKEY root, const char* keyPath, KeyStep step, void* context)
{
    char path[kRegRemainderSize];
    if (!BufSet(path, sizeof path, keyPath))
        return;
    for (;;) {
        char* lastSlash = strrchr(path, '\\');
        if (!lastSlash || lastSlash == path || lastSlash[1] == '\0')
            return;
        if (!step(root, path, context))
            return;
        *lastSlash = '\0';
    }
}

// The run's step: an empty key, opened with full access, is deleted from its parent.
static bool RemoveKeyIfEmpty(HKEY root, const char* keyPath, void*)
{
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    bool holdsMore = KeyHoldsMore(key, nullptr, nullptr);
    RegCloseKey(key);
    if (holdsMore)
        return false;
    char parentPath[kRegRemainderSize];
    BufSet(parentPath, sizeof parentPath, keyPath);   // fits: the climb's copy did
    char* lastSlash = strrchr(parentPath, '\\');
    *lastSlash = '\0';
    HKEY parent;
    if (RegOpenKeyExA(root, parentPath, 0, KEY_ALL_ACCESS, &parent) != ERROR_SUCCESS)
        return false;
    RegDeleteKeyA(parent, lastSlash + 1);
    RegCloseKey(parent);
    return true;
}

RegistryAccessor::RegistryAccessor(const char* baseKeyPath)
    : isNT_(0), baseKeyPath_(nullptr), shlwapi_(nullptr), shDeleteKey_(nullptr)
{
    if (!baseKeyPath)
        baseKeyPath = "";
    size_t size = strlen(baseKeyPath) + 1;
    baseKeyPath_ = new char[size];
    BufSet(baseKeyPath_, size, baseKeyPath);

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = 148;
    if (!GetVersionExA(&version))
        return;
    isNT_ = version.dwPlatformId == VER_PLATFORM_WIN32_NT ? 1 : 0;
    if (!isNT_)
        return;
    shlwapi_ = LoadSystemDll("shlwapi.dll");
    if (shlwapi_)
        shDeleteKey_ = reinterpret_cast<SHDeleteKeyFn>(GetProcAddress(shlwapi_, "SHDeleteKeyA"));
}

RegistryAccessor::~RegistryAccessor()
{
    delete[] baseKeyPath_;
    if (shlwapi_)
        FreeLibrary(shlwapi_);
}

bool RegistryAccessor::ReadValue(const char* path, void* buffer, DWORD size)
{
    DWORD count = size;
    return QueryPathValue(path, buffer, &count);
}

bool RegistryAccessor::ValueExists(const char* path)
{
    return QueryPathValue(path, nullptr, nullptr);
}

bool RegistryAccessor::IsMultiString(const char* path)
{
    DWORD type = REG_NONE;
    return QueryPathValue(path, nullptr, nullptr, &type) && type == REG_MULTI_SZ;
}

DWORD RegistryAccessor::GetValueSize(const char* path)
{
    DWORD size = 0;
    return QueryPathValue(path, nullptr, &size) ? size : 0;
}

bool RegistryAccessor::WriteMultiString(const char* path, const void* data, DWORD size)
{
    char subKey[kRegRemainderSize];
    char valueName[kRegValueNameSize];
    HKEY root = ParseRegistryPath(path, subKey, valueName);
    if (!root)
        return false;
    return SetKeyValue(root, subKey, RegistryValueName(valueName), REG_MULTI_SZ, data, size);
}

// The base key path and subKey joined by one backslash; false (out cut)
// when the joined path does not fit.
bool RegistryAccessor::JoinKeyPath(const char* subKey, char* out, size_t size) const
{
    if (!BufSet(out, size, baseKeyPath_))
        return false;
    size_t length = strlen(out);
    if (length > 0 && out[length - 1] != '\\' && !BufAppend(out, size, "\\"))
        return false;
    return BufAppend(out, size, subKey);
}

DWORD RegistryAccessor::ReadDword(HKEY root, const char* subKey, const char* valueName,
                                  DWORD defaultValue)
{
    char keyPath[kRegKeyPathSize];
    if (!JoinKeyPath(subKey, keyPath, sizeof keyPath))
        return defaultValue;
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return defaultValue;
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    LONG rc =
        RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return defaultValue;
    return type == REG_DWORD ? data : 0;
}

bool RegistryAccessor::WriteDword(HKEY root, const char* subKey, const char* valueName, DWORD value)
{
    char keyPath[kRegKeyPathSize];
    if (!JoinKeyPath(subKey, keyPath, sizeof keyPath))
        return false;
    return SetKeyValue(root, keyPath, valueName, REG_DWORD, &value, sizeof value);
}

bool RegistryAccessor::DeleteValue(const char* path)
{
    char subKey[kRegRemainderSize];
    char valueName[kRegValueNameSize];
    HKEY root = ParseRegistryPath(path, subKey, valueName);
    if (!root)
        return false;
    return DeleteValueAndPrune(root, subKey, valueName);
}

bool RegistryAccessor::DeleteValueAndPrune(HKEY root, const char* subKey, const char* valueName)
{
    char keyPath[kRegRemainderSize];
    char name[kRegValueNameSize];
    if (!BufSet(keyPath, sizeof keyPath, subKey) || !BufSet(name, sizeof name, valueName))
        return false;
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    LONG rc = RegDeleteValueA(key, RegistryValueName(name));
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return false;
    ClimbEmptiedKeys(root, keyPath, RemoveKeyIfEmpty, nullptr);
    return true;
}

bool RegistryAccessor::DeleteKeyTree(const char* path)
{
    const char* remainder;
    int row = MatchRegistryRoot(path, &remainder);
    char keyPath[kRegRemainderSize];
    // An empty key path would name the root key itself.
    if (row < 0 || !BufSet(keyPath, sizeof keyPath, remainder) || keyPath[0] == '\0')
        return false;
    HKEY root = RootKey(row);
    LONG rc = (isNT_ && shDeleteKey_) ? shDeleteKey_(root, keyPath) : RegDeleteKeyA(root, keyPath);
    if (rc != ERROR_SUCCESS)
        return false;
    char* lastSlash = strrchr(keyPath, '\\');
    if (lastSlash) {
        *lastSlash = '\0';
        ClimbEmptiedKeys(root, keyPath, RemoveKeyIfEmpty, nullptr);
    }
    return true;
}
