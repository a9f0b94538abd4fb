#include "support/installation.h"

#include <cstdio>

namespace testenv {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kCzechName[] = "\xC8" "esky";

std::string StandardLangIni()
{
    std::string ini = "[general]\r\ndefault=English\r\n[English]\r\n"
                      "str72=Remove '%p' from your computer?\r\n"
                      "str74=The software '%p' will be removed.\r\n";
    for (unsigned n : {71, 73, 75, 76, 89, 90, 96, 97, 100, 101, 102, 103, 104})
        ini += "str" + std::to_string(n) + "=English text " + std::to_string(n) + "\r\n";
    // Czech letters in code page 1250.
    return ini + "[" + kCzechName + "]\r\nstr71=Odinstalace\r\n"
           "str72=Opravdu odebrat '%p' z po\xE8\xEDta\xE8" "e?\r\n"
           "str73=Odebr\xE1n\xED program\xF9\r\n";
}

Installation::Installation(const std::string& productKey, const std::string& dirName)
    : productKey_(productKey)
{
    char temp[MAX_PATH] = "";
    GetTempPathA(sizeof temp, temp);
    char unique[64];
    snprintf(unique, sizeof unique, "inst%lu_%lu\\", GetCurrentProcessId(), GetTickCount());
    dir_ = std::string(temp) + unique + dirName + "\\";
    MakeDirectories(dir_.substr(0, dir_.size() - 1));
    CopyFileA((ProgramDir() + "uninstall.exe").c_str(), (dir_ + "uninstall.exe").c_str(), FALSE);
}

Installation::~Installation()
{
    RemoveTree(dir_.substr(0, dir_.find_last_of('\\', dir_.size() - 2)));
    DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, Key());
}

std::string Installation::AddFile(const std::string& relative, const std::string& bytes)
{
    std::string path = dir_ + relative;
    MakeDirectories(path.substr(0, path.find_last_of('\\')));
    WriteFileBytes(path, bytes);
    return path;
}

void Installation::WriteLog(const std::string& productName, const std::string& language,
                            const std::vector<std::string>& entries)
{
    std::string log = productName + "\r\n" + productKey_ + "\r\n" + language + "\r\n";
    for (const std::string& entry : entries)
        log += entry + "\r\n";
    WriteLogBytes(log);
}

void Installation::Register()
{
    SetString(HKEY_LOCAL_MACHINE, Key(), "DisplayName", "Demo App");
    SetString(HKEY_LOCAL_MACHINE, Key(), "UninstallString", "\"" + dir_ + "uninstall.exe\"");
}

bool Installation::ValueExists(const char* name) const
{
    std::string data;
    return GetValue(HKEY_LOCAL_MACHINE, Key(), name, &data);
}

bool Installation::Start(Process* process, const std::string& arguments) const
{
    return process->Start("\"" + dir_ + "uninstall.exe\"" + (arguments.empty() ? "" : " ") + arguments);
}

DWORD Installation::RunConfirmed(const std::string& arguments, DWORD timeoutMs)
{
    Process process;
    if (!Start(&process, arguments))
        return STILL_ACTIVE;
    HWND dialog = nullptr;
    DWORD start = GetTickCount();
    while (!dialog && GetTickCount() - start < 20000) {
        if (HWND language = ui::WaitForWindow("#32770", "Language", 0, process.Id())) {
            ui::PressButton(language, IDOK);
            ui::WaitForWindowGone(language, 5000);
        }
        ui::MessageBox box;
        if (ui::WaitForMessageBox(&box, 0, process.Id()))
            ui::AnswerMessageBox(box, IDYES);
        dialog = WaitForMainDialog(process, 50);
    }
    if (!dialog || !WaitForWorkDone(dialog, timeoutMs)) {
        process.Kill();
        return STILL_ACTIVE;
    }
    ui::PressButton(dialog, IDOK);
    DWORD code = process.Wait(20000);
    if (code == STILL_ACTIVE)
        process.Kill();
    return code;
}

HWND WaitForMainDialog(const Process& process, DWORD timeoutMs)
{
    return ui::WaitForWindow("KSWUNINST", nullptr, timeoutMs, process.Id());
}

bool WaitForWorkDone(HWND dialog, DWORD timeoutMs)
{
    for (DWORD start = GetTickCount(); !ui::ControlEnabled(dialog, IDOK); Sleep(20))
        if (!IsWindow(dialog) || GetTickCount() - start >= timeoutMs)
            return false;
    return true;
}

}  // namespace testenv
