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

// Directory of the running test program, where uninstall.exe and the helper
// programs are built (ends in a backslash).
std::string ProgramDir();
std::string WindowsDir();   // without a trailing backslash
std::string SystemDir();    // without a trailing backslash

// A fresh directory under %TEMP%, removed with its contents on destruction.
class TempDir : Owner {
public:
    explicit TempDir(const char* prefix = "ut");
    ~TempDir();
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
void RemoveTree(const std::string& path);        // a file or a directory tree, read-only or not

// A registry key created empty now and deleted with its subtree on destruction.
class ScopedKey : Owner {
public:
    ScopedKey(HKEY root, const std::string& subKey);
    ~ScopedKey();

private:
    HKEY root_;
    std::string subKey_;
};

bool SetString(HKEY root, const std::string& subKey, const char* name, const std::string& value);
bool SetDword(HKEY root, const std::string& subKey, const char* name, DWORD value);
bool SetBinary(HKEY root, const std::string& subKey, const char* name, DWORD type,
               const std::string& data);
// Value data and type; false when missing.
bool GetValue(HKEY root, const std::string& subKey, const char* name, std::string* data,
              DWORD* type = nullptr);
void DeleteValueForTest(HKEY root, const std::string& subKey, const char* name);
bool DeleteKeyTreeForTest(HKEY root, const std::string& subKey);

// One registry value (or its absence), put back on destruction.
class SavedValue : Owner {
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
class SavedFile : Owner {
public:
    explicit SavedFile(const std::string& path);
    ~SavedFile();

private:
    std::string path_, bytes_;
    bool existed_;
};

// A started process, killed if it still runs when the object goes.
class Process : Owner {
public:
    Process() = default;
    ~Process();
    // desktop: e.g. "WinSta0\\name"; empty for the test program's.
    bool Start(const std::string& commandLine, const std::string& desktop = std::string());
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }
    DWORD Wait(DWORD timeoutMs);   // the exit code, or STILL_ACTIVE (259) on timeout

private:
    PROCESS_INFORMATION info_ = {};
};

// While alive, Wine reports Windows 98 to programs named exeName.
class Win98Mode : Owner {
public:
    explicit Win98Mode(const std::string& exeName);
    ~Win98Mode();

private:
    std::string key_;
};

// The main dialog of this process on dir's uninstall.log, as the start-up leaves it: header
// read, language settled from dir's lang.ini; the one way the tests open the log and show it.
INT_PTR ShowMainDialogOn(const std::string& dir);

// Wine only: the unix path of a Windows path (empty elsewhere), and
// /bin/sh -c script started; Wine does not report when a unix program ends,
// so the caller waits for an effect of the script instead.
std::string UnixPath(const std::string& path);
bool StartUnixShell(const std::string& script);

}  // namespace testenv
