#include "support/saved_state.h"

#include "support/test_env.h"

namespace testenv {

SavedValue::SavedValue(HKEY root, const std::string& subKey, const char* name)
    : root_(root), subKey_(subKey), name_(name)
{
    existed_ = GetValue(root_, subKey_, name_.c_str(), &data_, &type_);
}

SavedValue::~SavedValue()
{
    if (existed_) {
        SetBinary(root_, subKey_, name_.c_str(), type_, data_);
        return;
    }
    HKEY key;
    if (RegOpenKeyExA(root_, subKey_.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name_.c_str());
        RegCloseKey(key);
    }
}

SavedKeyValues::SavedKeyValues(HKEY root, const std::string& subKey)
    : root_(root), subKey_(subKey), existed_(false)
{
    HKEY key;
    if (RegOpenKeyExA(root_, subKey_.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    existed_ = true;
    for (DWORD index = 0;; ++index) {
        char name[16384];
        DWORD nameLength = sizeof name;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueA(key, index, name, &nameLength, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS)
            break;
        Value value = {name, type, std::string()};
        GetValue(root_, subKey_, name, &value.data, &value.type);
        values_.push_back(value);
    }
    RegCloseKey(key);
    DeleteKeyTreeForTest(root_, subKey_);
}

SavedKeyValues::~SavedKeyValues()
{
    DeleteKeyTreeForTest(root_, subKey_);
    if (!existed_)
        return;
    HKEY key;
    if (RegCreateKeyExA(root_, subKey_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
    for (const Value& value : values_)
        SetBinary(root_, subKey_, value.name.c_str(), value.type, value.data);
}

SavedFile::SavedFile(const std::string& path) : path_(path)
{
    existed_ = ReadFileBytes(path_, &bytes_);
}

SavedFile::~SavedFile()
{
    if (existed_)
        WriteFileBytes(path_, bytes_);
    else
        DeleteFileA(path_.c_str());
}

}  // namespace testenv
