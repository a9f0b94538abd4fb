#include "support/installation.h"

#include <cstdio>

namespace testenv {

const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kCzechName[] = "\xC8" "esky";

std::string StandardLangIni()
{
    static const unsigned kNumbers[] = {71, 72, 73, 74, 75, 76, 89, 90, 96, 97,
                                        100, 101, 102, 103, 104};
    std::string ini = "[general]\r\ndefault=English\r\n[English]\r\n";
    for (unsigned n : kNumbers) {
        if (n == 72 || n == 74)
            continue;
        char line[128];
        snprintf(line, sizeof line, "str%u=English text %u\r\n", n, n);
        ini += line;
    }
    ini += "str72=Remove '%p' from your computer?\r\n";
    ini += "str74=The software '%p' will be removed.\r\n";
    ini += std::string("[") + kCzechName + "]\r\n";
    // "Odinstalovat" / "Opravdu odebrat '%p'?" with Czech letters in cp1250.
    ini += "str71=Odinstalace\r\n";
    ini += "str72=Opravdu odebrat '%p' z po\xE8\xEDta\xE8" "e?\r\n";
    ini += "str73=Odebr\xE1n\xED program\xF9\r\n";
    return ini;
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
    std::string parent = dir_.substr(0, dir_.size() - 1);
    parent = parent.substr(0, parent.find_last_of('\\'));
    RemoveTree(parent);
    DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\" + productKey_);
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

void Installation::WriteLogBytes(const std::string& bytes)
{
    WriteFileBytes(dir_ + "uninstall.log", bytes);
}

void Installation::WriteLangIni(const std::string& bytes)
{
    WriteFileBytes(dir_ + "lang.ini", bytes);
}

void Installation::Register()
{
    std::string key = std::string(kUninstallKey) + "\\" + productKey_;
    SetString(HKEY_LOCAL_MACHINE, key, "DisplayName", "Demo App");
    SetString(HKEY_LOCAL_MACHINE, key, "UninstallString", "\"" + dir_ + "uninstall.exe\"");
}

bool Installation::ProductKeyExists() const
{
    return KeyExists(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\" + productKey_);
}

bool Installation::ValueExists(const char* name) const
{
    std::string data;
    return GetValue(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + "\\" + productKey_, name,
                    &data);
}

bool Installation::Start(Process* process, const std::string& arguments) const
{
    std::string line = "\"" + dir_ + "uninstall.exe\"";
    if (!arguments.empty())
        line += " " + arguments;
    return process->Start(line);
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
    DWORD start = GetTickCount();
    while (!ui::ControlEnabled(dialog, IDOK)) {
        if (!IsWindow(dialog) || GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
    return true;
}

}  // namespace testenv
