// A product installed the way the installer leaves it: files, uninstall.log,
// lang.ini and a copy of uninstall.exe in one directory, and the product's
// entry in the list of installed programs. Everything is removed afterwards.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/test_env.h"
#include "support/ui_driver.h"

namespace testenv {

extern const char kUninstallKey[];   // SOFTWARE\...\CurrentVersion\Uninstall

// lang.ini with an English section and a Czech one ("Česky", code page 1250)
// holding every text the program shows; each English text names its number.
std::string StandardLangIni();
extern const char kCzechName[];      // "Česky" in code page 1250

class Installation {
public:
    // productKey is the key name under the Uninstall key; a directory named
    // dirName is made under %TEMP%.
    Installation(const std::string& productKey, const std::string& dirName = "Demo App");
    ~Installation();
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    const std::string& Dir() const { return dir_; }   // ends in a backslash
    std::string operator/(const std::string& name) const { return dir_ + name; }

    // Creates dir_ + relative (and its directories) holding bytes.
    std::string AddFile(const std::string& relative, const std::string& bytes = "data");
    // uninstall.log: three header lines, then the entry lines, each with CR LF.
    void WriteLog(const std::string& productName, const std::string& language,
                  const std::vector<std::string>& entries);
    void WriteLogBytes(const std::string& bytes) { WriteFileBytes(dir_ + "uninstall.log", bytes); }
    void WriteLangIni(const std::string& bytes = StandardLangIni()) { WriteFileBytes(dir_ + "lang.ini", bytes); }
    // The product's key under the Uninstall key, and its values.
    std::string Key() const { return std::string(kUninstallKey) + "\\" + productKey_; }
    void Register();   // DisplayName and UninstallString
    bool ProductKeyExists() const { return KeyExists(HKEY_LOCAL_MACHINE, Key()); }
    bool ValueExists(const char* name) const;

    // Starts the copy of uninstall.exe in the directory with the arguments.
    bool Start(Process* process, const std::string& arguments = std::string()) const;

    // Takes the preselected language and answers Yes if asked, waits for the
    // main dialog to finish, presses OK; returns the exit code (STILL_ACTIVE,
    // after killing the process, on a timeout).
    DWORD RunConfirmed(const std::string& arguments = std::string(), DWORD timeoutMs = 60000);

private:
    std::string productKey_;
    std::string dir_;
};

// Waits for the main dialog of process (class KSWUNINST).
HWND WaitForMainDialog(const Process& process, DWORD timeoutMs = 20000);
// Waits until OK of the main dialog is enabled; false on timeout.
bool WaitForWorkDone(HWND dialog, DWORD timeoutMs = 60000);

}  // namespace testenv
