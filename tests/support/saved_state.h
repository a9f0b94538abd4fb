// System state that a test changes for a while and hands back as it found it.
#pragma once

#include <windows.h>

#include <string>

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
