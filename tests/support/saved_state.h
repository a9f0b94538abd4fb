// System state that a test changes for a while and hands back as it found it.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace testenv {

// One registry value (or its absence), put back on destruction.
class SavedValue {
public:
    SavedValue(HKEY root, const std::string& subKey, const char* name);
    ~SavedValue();

private:
    HKEY root_;
    std::string subKey_, name_, data_;
    DWORD type_ = 0;
    bool existed_;
};

// The values of a key (or its absence); the key is removed now and rebuilt
// with them on destruction. Subkeys are not saved.
class SavedKeyValues {
public:
    SavedKeyValues(HKEY root, const std::string& subKey);
    ~SavedKeyValues();

private:
    HKEY root_;
    std::string subKey_;
    bool existed_;
    std::vector<std::unique_ptr<SavedValue>> values_;  // put back after the destructor's body
};

// A file's bytes (or its absence), put back on destruction.
class SavedFile {
public:
    explicit SavedFile(const std::string& path);
    ~SavedFile();

private:
    std::string path_, bytes_;
    bool existed_;
};

}  // namespace testenv
