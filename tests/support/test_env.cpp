#include "support/test_env.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "base/globals.h"
#include "language/language.h"
#include "shell/main_dialog.h"
#include "text/buf.h"
#include "uninstall_log/log_reader.h"

namespace testenv {

std::string ProgramDir()
{
    char path[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, path, sizeof path);
    return std::string(path, strrchr(path, '\\') + 1);
}

std::string WindowsDir()
{
    char dir[MAX_PATH] = "";
    return std::string(dir, GetWindowsDirectoryA(dir, sizeof dir));
}

std::string SystemDir()
{
    char dir[MAX_PATH] = "";
    return std::string(dir, GetSystemDirectoryA(dir, sizeof dir));
}

TempDir::TempDir(const char* prefix)
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

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    return bool(std::ofstream(path, std::ios::binary) << bytes << std::flush);
}

std::string ReadFileOrEmpty(const std::string& path)
{
    std::ostringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}

bool FileExists(const std::string& path)
{
    return (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY) == 0;   // missing: ~0
}

bool DirectoryExists(const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectories(const std::string& path)
{
    for (size_t i = 3; i <= path.size(); ++i)
        if (i == path.size() || path[i] == '\\')
            CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
    return DirectoryExists(path);
}

void RemoveTree(const std::string& path)
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

ScopedKey::ScopedKey(HKEY root, const std::string& subKey) : root(root), subKey(subKey)
{
    DeleteKeyTreeForTest(root, subKey);
    HKEY key;
    if (RegCreateKeyA(root, subKey.c_str(), &key) == ERROR_SUCCESS)
        RegCloseKey(key);
}

bool SetBinary(HKEY root, const std::string& subKey, const char* name, DWORD type,
               const std::string& data)
{
    return RegSetKeyValueA(root, subKey.c_str(), name, type, data.data(), DWORD(data.size())) ==
           ERROR_SUCCESS;
}

bool SetString(HKEY root, const std::string& subKey, const char* name, const std::string& value)
{
    return SetBinary(root, subKey, name, REG_SZ, std::string(value.c_str(), value.size() + 1));
}

bool SetDword(HKEY root, const std::string& subKey, const char* name, DWORD value)
{
    return SetBinary(root, subKey, name, REG_DWORD, std::string((char*)&value, sizeof value));
}

bool GetValue(HKEY root, const std::string& subKey, const char* name, std::string* data,
              DWORD* type)
{
    DWORD size = 0, flags = RRF_RT_ANY | RRF_NOEXPAND;
    if (RegGetValueA(root, subKey.c_str(), name, flags, type, nullptr, &size) != ERROR_SUCCESS)
        return false;
    data->assign(size, '\0');
    LONG rc = RegGetValueA(root, subKey.c_str(), name, flags, type, &(*data)[0], &size);
    data->resize(size);
    return rc == ERROR_SUCCESS;
}

void DeleteValueForTest(HKEY root, const std::string& subKey, const char* name)
{
    RegDeleteKeyValueA(root, subKey.c_str(), name);
}

bool DeleteKeyTreeForTest(HKEY root, const std::string& subKey)
{
    return RegDeleteTreeA(root, subKey.c_str()) == ERROR_SUCCESS;
}

SavedValue::~SavedValue()
{
    if (existed)
        SetBinary(root, subKey, name.c_str(), type, data);
    else
        DeleteValueForTest(root, subKey, name.c_str());
}

Process::~Process()
{
    if (info_.hProcess && TerminateProcess(info_.hProcess, 99))   // fails once it has ended
        WaitForSingleObject(info_.hProcess, 5000);
    CloseHandle(info_.hProcess);
    CloseHandle(info_.hThread);
}

bool Process::Start(std::string commandLine)
{
    STARTUPINFOA startup = {sizeof startup};
    return CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &info_) != 0;
}

DWORD Process::Wait(DWORD timeoutMs)
{
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

std::string UnixPath(const std::string& path)
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

bool StartUnixShell(const std::string& script)
{
    Process shell;
    return !UnixPath("Z:\\bin\\sh").empty() && script.find('"') == std::string::npos &&
           shell.Start("Z:\\bin\\sh -c \"" + script + "\"");
}

INT_PTR ShowMainDialogOn(const std::string& dir)
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
