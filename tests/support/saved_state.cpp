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
    HKEY key;
    if (existed_)
        SetBinary(root_, subKey_, name_.c_str(), type_, data_);
    else if (RegOpenKeyExA(root_, subKey_.c_str(), 0, KEY_SET_VALUE, &key) == ERROR_SUCCESS) {
        RegDeleteValueA(key, name_.c_str());
        RegCloseKey(key);
    }
}

SavedKeyValues::SavedKeyValues(HKEY root, const std::string& subKey)
    : root_(root), subKey_(subKey)
{
    HKEY key;
    existed_ = RegOpenKeyExA(root_, subKey_.c_str(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS;
    if (!existed_)
        return;
    char name[16384];
    DWORD length = sizeof name;
    for (DWORD i = 0; RegEnumValueA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) ==
                      ERROR_SUCCESS;
         ++i, length = sizeof name)
        values_.emplace_back(new SavedValue(root_, subKey_, name));
    RegCloseKey(key);
    DeleteKeyTreeForTest(root_, subKey_);
}

SavedKeyValues::~SavedKeyValues()
{
    DeleteKeyTreeForTest(root_, subKey_);
    HKEY key;
    if (existed_ && RegCreateKeyExA(root_, subKey_.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                                    nullptr) == ERROR_SUCCESS)
        RegCloseKey(key);
}

SavedFile::SavedFile(const std::string& path) : path_(path)
{
    existed_ = FileExists(path_);
    bytes_ = ReadFileOrEmpty(path_);
}

SavedFile::~SavedFile()
{
    if (existed_)
        WriteFileBytes(path_, bytes_);
    else
        DeleteFileA(path_.c_str());
}

}  // namespace testenv
