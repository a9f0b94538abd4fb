// System state that a test changes for a while and must hand back as it
// found it: a registry value, the values of a key, a file.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace testenv {

// Saves one registry value (or its absence) and puts it back on destruction.
class SavedValue {
public:
    SavedValue(HKEY root, const std::string& subKey, const char* name);
    ~SavedValue();
    SavedValue(const SavedValue&) = delete;
    SavedValue& operator=(const SavedValue&) = delete;

private:
    HKEY root_;
    std::string subKey_;
    std::string name_;
    bool existed_;
    std::string data_;
    DWORD type_ = 0;
};

// Saves the values of a key (or its absence) and removes the key, so that
// the test starts without it; on destruction the key is removed again and
// rebuilt with the saved values. Subkeys are not saved.
class SavedKeyValues {
public:
    SavedKeyValues(HKEY root, const std::string& subKey);
    ~SavedKeyValues();
    SavedKeyValues(const SavedKeyValues&) = delete;
    SavedKeyValues& operator=(const SavedKeyValues&) = delete;

private:
    struct Value {
        std::string name;
        DWORD type;
        std::string data;
    };
    HKEY root_;
    std::string subKey_;
    bool existed_;
    std::vector<Value> values_;
};

// Saves a file's bytes (or its absence) and puts them back on destruction.
class SavedFile {
public:
    explicit SavedFile(const std::string& path);
    ~SavedFile();
    SavedFile(const SavedFile&) = delete;
    SavedFile& operator=(const SavedFile&) = delete;

private:
    std::string path_;
    bool existed_;
    std::string bytes_;
};

}  // namespace testenv
