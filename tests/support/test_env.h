// Files, processes and registry keys for tests that work on the real system of the Wine
// prefix. Everything a test creates is removed by its owner; owners are never copied.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "base/globals.h"
#include "language/language.h"
#include "shell/main_dialog.h"
#include "text/buf.h"
#include "uninstall_log/log_reader.h"

namespace testenv {

struct Owner {
    Owner() = default;
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
};

inline std::string ProgramDir()   // of the test program and uninstall.exe, with a backslash
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, strrchr(path, '\\') + 1);
}

inline std::string WindowsDir()   // these two without a trailing backslash
{
    char dir[MAX_PATH] = "";
    return std::string(dir, GetWindowsDirectoryA(dir, sizeof dir));
}

inline std::string SystemDir()
{
    char dir[MAX_PATH] = "";
    return std::string(dir, GetSystemDirectoryA(dir, sizeof dir));
}

inline bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    return bool(std::ofstream(path, std::ios::binary) << bytes << std::flush);
}

inline std::string ReadFileOrEmpty(const std::string& path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

inline bool FileExists(const std::string& path)
{
    return (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0;   // missing: ~0
}

inline bool DirectoryExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

inline bool MakeDirectories(const std::string& path)   // every missing one
{
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    return DirectoryExists(path);
}

inline void RemoveTree(const std::string& path)   // a file or a directory tree, read-only or not
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (DeleteFileA(path.c_str()) || !DirectoryExists(path))
        return;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &data))
        if (strcmp(data.cFileName, ".") && strcmp(data.cFileName, ".."))
            RemoveTree(path + "\\" + data.cFileName);
    FindClose(find);
    RemoveDirectoryA(path.c_str());
}

// A fresh directory under %TEMP%, removed with its contents on destruction.
class TempDir : Owner {
public:
    explicit TempDir(const char* prefix = "ut")
    {
        char temp[MAX_PATH] = "", name[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        static LONG counter;
        do
            snprintf(name, sizeof name, "%s%s_%lu_%ld\\", temp, prefix, GetCurrentProcessId(),
                     InterlockedIncrement(&counter));
        while (!CreateDirectoryA(name, nullptr));
        path_ = name;
    }
    ~TempDir() { RemoveTree(path_.substr(0, path_.size() - 1)); }
    const std::string& Path() const { return path_; }   // ends in a backslash
    std::string operator/(const std::string& name) const { return path_ + name; }

private:
    std::string path_;
};

inline bool SetBinary(HKEY root, const std::string& subKey, const char* name, DWORD type,
                      const std::string& data)
{
    return RegSetKeyValueA(root, subKey.c_str(), name, type, data.data(), DWORD(data.size())) ==
           ERROR_SUCCESS;
}

inline bool SetString(HKEY root, const std::string& subKey, const char* name,
                      const std::string& value)
{
    return SetBinary(root, subKey, name, REG_SZ, std::string(value.c_str(), value.size() + 1));
}

inline bool SetDword(HKEY root, const std::string& subKey, const char* name, DWORD value)
{
    return SetBinary(root, subKey, name, REG_DWORD, std::string((char*)&value, sizeof value));
}

// False when the value is missing.
inline bool GetValue(HKEY root, const std::string& subKey, const char* name, std::string* data,
                     DWORD* type = nullptr)
{
    DWORD size = 0, flags = RRF_RT_ANY | RRF_NOEXPAND;
    if (RegGetValueA(root, subKey.c_str(), name, flags, type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    data->assign(size, '\0');
    LONG rc = RegGetValueA(root, subKey.c_str(), name, flags, type, &(*data)[0], &size);
    data->resize(size);
    return rc == ERROR_SUCCESS;
}

inline void DeleteValueForTest(HKEY root, const std::string& subKey, const char* name)
{
    RegDeleteKeyValueA(root, subKey.c_str(), name);
}

inline bool DeleteKeyTreeForTest(HKEY root, const std::string& subKey)
{
    return RegDeleteTreeA(root, subKey.c_str()) == ERROR_SUCCESS;
}

// A registry key created empty now and deleted with its subtree on destruction.
struct ScopedKey : Owner {
    ScopedKey(HKEY root, const std::string& subKey) : root(root), subKey(subKey)
    {
        HKEY key;
        if (DeleteKeyTreeForTest(root, subKey), !RegCreateKeyA(root, subKey.c_str(), &key))
            RegCloseKey(key);
    }
    ~ScopedKey() { DeleteKeyTreeForTest(root, subKey); }
    const HKEY root;
    const std::string subKey;
};

// One registry value (or its absence), put back on destruction.
struct SavedValue : Owner {
    SavedValue(HKEY root, const std::string& subKey, const char* name)
        : root(root), subKey(subKey), name(name) {}
    ~SavedValue()
    {
        if (existed)
            SetBinary(root, subKey, name.c_str(), type, data);
        else
            DeleteValueForTest(root, subKey, name.c_str());
    }
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
    ~Process()
    {
        if (info_.hProcess && TerminateProcess(info_.hProcess, 99))   // fails once it has ended
            WaitForSingleObject(info_.hProcess, 5000);
        CloseHandle(info_.hProcess);
        CloseHandle(info_.hThread);
    }
    bool Start(std::string commandLine)
    {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        return CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &info_);
    }
    DWORD Id() const { return info_.dwProcessId; }
    HANDLE Handle() const { return info_.hProcess; }
    DWORD Wait(DWORD timeoutMs)   // the exit code, or STILL_ACTIVE (259) on timeout
    {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0)
            GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_ = {};
};

// Wine only: the unix path of a Windows path (empty elsewhere).
inline std::string UnixPath(const std::string& path)
{
    typedef char*(CDECL * UnixNameFn)(LPCWSTR);
    auto toUnix = reinterpret_cast<UnixNameFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    wchar_t wide[MAX_PATH];
    char* unixName = toUnix && MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH)
                         ? toUnix(wide) : nullptr;
    std::string result = unixName ? unixName : "";
    HeapFree(GetProcessHeap(), 0, unixName);
    return result;
}

// Wine only: /bin/sh -c script started (Z: is the unix root). Wine does not report when a
// unix program ends, so callers wait for its effect.
inline bool StartUnixShell(const std::string& script)
{
    Process shell;
    return !UnixPath("Z:\\bin\\sh").empty() && script.find('"') == std::string::npos &&
           shell.Start("Z:\\bin\\sh -c \"" + script + "\"");
}

// The main dialog of this process on dir's uninstall.log, as the start-up leaves it: header
// read, language settled from dir's lang.ini; the one way the tests open the log and show it.
inline INT_PTR ShowMainDialogOn(const std::string& dir)
{
    for (char* global : {g_installDir, g_languageDir, g_macroDir})
        BufSet(global, kTextSize, dir.c_str());
    BufSet(g_logPath, sizeof g_logPath, (dir + "uninstall.log").c_str());
    BufSet(g_systemIniPath, sizeof g_systemIniPath, (WindowsDir() + "\\system.ini").c_str());
    LogWalk log;   // the worker closes it before it enables OK, which ends the dialog
    LogHeader header;
    if (!OpenLogWalk(log, g_logPath))
        return 0;
    ReadLogHeader(log, &header);
    BufSet(g_productName, sizeof g_productName, header.productName);
    BufSet(g_productKey, sizeof g_productKey, header.productKey);
    return ChooseLanguage("lang.ini", "", header.language) ? ShowMainDialog(log) : 0;
}

}  // namespace testenv
