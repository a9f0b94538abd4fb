// Files, processes and registry keys for tests that work on the real system of the Wine
// prefix. Everything a test creates is removed by its owner; owners are never copied.
#pragma once

#include <windows.h>

#include <string>

namespace testenv {

struct Owner {
    Owner() = default;
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
};

std::string ProgramDir();   // of the test program and uninstall.exe, ends in a backslash
std::string WindowsDir();   // these two without a trailing backslash
std::string SystemDir();

void RemoveTree(const std::string& path);   // a file or a directory tree, read-only or not

// A fresh directory under %TEMP%, removed with its contents on destruction.
class TempDir : Owner {
public:
    explicit TempDir(const char* prefix = "ut");
    ~TempDir() { RemoveTree(path_.substr(0, path_.size() - 1)); }
    const std::string& Path() const { return path_; }   // ends in a backslash
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

bool WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileOrEmpty(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
bool MakeDirectories(const std::string& path);   // every missing one

bool SetBinary(HKEY root, const std::string& subKey, const char* name, DWORD type,
               const std::string& data);
bool SetString(HKEY root, const std::string& subKey, const char* name, const std::string& value);
bool SetDword(HKEY root, const std::string& subKey, const char* name, DWORD value);
bool GetValue(HKEY root, const std::string& subKey, const char* name, std::string* data,
              DWORD* type = nullptr);   // false when missing
void DeleteValueForTest(HKEY root, const std::string& subKey, const char* name);
bool DeleteKeyTreeForTest(HKEY root, const std::string& subKey);

// A registry key created empty now and deleted with its subtree on destruction.
struct ScopedKey : Owner {
    ScopedKey(HKEY root, const std::string& subKey);
    ~ScopedKey() { DeleteKeyTreeForTest(root, subKey); }
    const HKEY root;
    const std::string subKey;
};

// One registry value (or its absence), put back on destruction.
struct SavedValue : Owner {
    SavedValue(HKEY root, const std::string& subKey, const char* name)
        : root(root), subKey(subKey), name(name) {}
    ~SavedValue();
    HKEY root;
    std::string subKey, name, data;
    DWORD type = 0;
    bool existed = GetValue(root, subKey, name.c_str(), &data, &type);
};

// A file's bytes (or its absence), put back on destruction.
struct SavedFile : Owner {
    explicit SavedFile(const std::string& path) : path(path) {}
    ~SavedFile() { existed ? void(WriteFileBytes(path, bytes)) : void(DeleteFileA(path.c_str())); }
    std::string path;
    bool existed = FileExists(path);
    std::string bytes = ReadFileOrEmpty(path);
};

// A started process, killed if it still runs when the object goes.
class Process : Owner {
public:
    ~Process();
    bool Start(std::string commandLine);
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }
    DWORD Wait(DWORD timeoutMs);   // the exit code, or STILL_ACTIVE (259) on timeout

private:
    PROCESS_INFORMATION info_ = {};
};

// The main dialog of this process on dir's uninstall.log, as the start-up leaves it: header
// read, language settled from dir's lang.ini; the one way the tests open the log and show it.
INT_PTR ShowMainDialogOn(const std::string& dir);

// Wine only: /bin/sh -c script started (Z: is the unix root). Wine does not report when a
// unix program ends, so callers wait for its effect.
bool StartUnixShell(const std::string& script);
std::string UnixPath(const std::string& path);   // of a Windows path; empty elsewhere

}  // namespace testenv
