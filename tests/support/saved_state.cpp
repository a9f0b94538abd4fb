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
