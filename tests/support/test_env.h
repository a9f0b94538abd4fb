// Files, processes and registry keys for tests that work on the real system
// of the Wine prefix. Everything a test creates is removed by its owner.
#pragma once

#include <windows.h>

#include <string>

namespace testenv {

// Base of the objects below that own something and so are never copied.
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

bool SetString(HKEY root, const std::string& subKey, const char* name, const std::string& value);
bool SetDword(HKEY root, const std::string& subKey, const char* name, DWORD value);
bool SetBinary(HKEY root, const std::string& subKey, const char* name, DWORD type,
               const std::string& data);
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

// While alive, Wine reports Windows 98 to programs named exeName.
struct Win98Mode : ScopedKey {
    explicit Win98Mode(const std::string& exeName);
};

// One registry value (or its absence), put back on destruction.
class SavedValue : Owner {
public:
    SavedValue(HKEY root, const std::string& subKey, const char* name)
        : root_(root), subKey_(subKey), name_(name) {}
    ~SavedValue();

private:
    HKEY root_;
    std::string subKey_, name_, data_;
    DWORD type_ = 0;
    bool existed_ = GetValue(root_, subKey_, name_.c_str(), &data_, &type_);
};

// A file's bytes (or its absence), put back on destruction.
class SavedFile : Owner {
public:
    explicit SavedFile(const std::string& path) : path_(path), existed_(FileExists(path)) {}
    ~SavedFile();

private:
    std::string path_, bytes_ = ReadFileOrEmpty(path_);
    bool existed_;
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

// Wine only: the unix path of a Windows path (empty elsewhere), and /bin/sh -c script
// started; Wine does not report when a unix program ends, so callers wait for its effect.
std::string UnixPath(const std::string& path);
bool StartUnixShell(const std::string& script);

}  // namespace testenv
