#include "shell/startup.h"

#include <windows.h>
#include <objbase.h>

#include <cstdlib>
#include <cstring>

#include "base/globals.h"
#include "base/system_dll.h"
#include "base/window.h"
#include "engine/ini_remove.h"
#include "language/language.h"
#include "language/text_numbers.h"
#include "paths/path_macros.h"
#include "registry/registry.h"
#include "shell/cmdline.h"
#include "shell/main_dialog.h"
#include "text/buf.h"
#include "text/path_split.h"
#include "uninstall_log/log_reader.h"

namespace {

typedef void(WINAPI* InitCommonControlsFn)();

const char kUninstallKey[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// Windows checks the size field: a header that laid the record out
// otherwise would make the call fail everywhere.
static_assert(sizeof(OSVERSIONINFOA) == 148, "GetVersionExA's record");

int DetectNT()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return 0;
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT ? 1 : 0;
}

// The product key's name when the log is missing: the -U option's rest, or
// the installation directory's last name (empty for a root directory).
void FindProductKeyName(char* name, size_t size)
{
    if (strncmp(g_commandOption, "-U", 2) == 0) {
        BufSet(name, size, g_commandOption + 2);
        return;
    }
    // The last name once the final backslash is gone; "C:\" leaves "C:" and no name.
    char dir[kTextSize];
    BufSet(dir, sizeof dir, g_installDir);
    size_t length = strlen(dir);
    if (length > 0 && (dir[length - 1] == '\\' || dir[length - 1] == '/'))
        dir[length - 1] = '\0';
    BufSet(name, size, dir + DirectoryPartLength(dir));
}

// Offers to remove the product from the list of installed programs when
// there is no log to undo; always ends the process.
[[noreturn]] void HandleMissingLog(RegistryAccessor& registry)
{
    char text[kTextSize];
    BufFormat(text, sizeof text,
              "Unable to find the installation log file '%s'. Uninstallation can not continue.\n"
              "Remove uninstallation option?",
              g_logPath);
    if (MessageBoxA(nullptr, text, "Uninstall", MB_YESNO | MB_ICONERROR) == IDYES) {
        char name[kPathSize];
        char keyPath[kTextSize];   // room for the key prefix and any name
        FindProductKeyName(name, sizeof name);
        // An empty name would take the whole list of installed programs.
        if (name[0]) {
            BufFormat(keyPath, sizeof keyPath, "%s%s", kUninstallKey, name);
            registry.DeleteKeyTree(keyPath);
        }
    }
    ExitProgram();
}


// Asks whether to uninstall, unless -C was given; No ends the run.
void ConfirmUninstall()
{
    if (strncmp(g_commandOption, "-C", 2) == 0)
        return;
    char text[kTextSize];
    char caption[kTextSize];
    GetLangString(kTextConfirmQuestion, sizeof text, text);
    GetLangString(kTextConfirmCaption, sizeof caption, caption);
    if (MessageBoxA(nullptr, text, caption, MB_YESNO | MB_ICONINFORMATION) == IDNO)
        ExitProgram();
}

// Takes the product off the list of installed programs before any work.
void RemoveProductRegistration(RegistryAccessor& registry)
{
    char path[kTextSize];   // the key is at most 127 characters: the paths always fit
    BufFormat(path, sizeof path, "%s%s\\UninstallString", kUninstallKey, g_productKey);
    if (!registry.DeleteValue(path) && registry.ValueExists(path)) {
        char text[kTextSize];
        char caption[kTextSize];
        GetLangString(kTextRegistrationError, sizeof text, text);
        GetLangString(kTextRegistrationErrorCaption, sizeof caption, caption);
        MessageBoxA(nullptr, text, caption, MB_OK | MB_ICONERROR);
        ExitProgram();
    }
    BufFormat(path, sizeof path, "%s%s\\DisplayName", kUninstallKey, g_productKey);
    registry.DeleteValue(path);
}

// Registers the progress bar's window class for the main dialog.
// comctl32.dll is no KnownDLL: a file of that name beside the program would
// be loaded in its place by a static import.
void InitCommonControlsFromSystem()
{
    HMODULE comctl32 = LoadSystemDll("comctl32.dll");
    InitCommonControlsFn init = comctl32 ? reinterpret_cast<InitCommonControlsFn>(
                                               GetProcAddress(comctl32, "InitCommonControls"))
                                         : nullptr;
    if (init)
        init();
}

}  // namespace

void StartUp(LogWalk& log)
{
    RegistryAccessor registry;
    CoInitialize(nullptr);
    InitCommonControlsFromSystem();
    ParseCommandLine();
    g_isNT = DetectNT();
    RegisterMainWindowClass();
    BufSet(g_languageDir, sizeof g_languageDir, g_installDir);
    BufSet(g_macroDir, sizeof g_macroDir, g_installDir);
    CreateDialogFonts();
    BufUpperAscii(g_commandOption);

    // A log path cut to its buffer would name another file: treat it as missing.
    bool logPathFits = BufFormat(g_logPath, sizeof g_logPath, "%s\\uninstall.log", g_installDir);
    if (logPathFits)
        ExpandPathMacros(g_logPath, sizeof g_logPath);
    if (!logPathFits || !OpenLogWalk(log, g_logPath))
        HandleMissingLog(registry);

    LogHeader header;
    ReadLogHeader(log, &header);
    BufSet(g_productName, sizeof g_productName, header.productName);
    BufSet(g_productKey, sizeof g_productKey, header.productKey);
    if (ChooseLanguage("lang.ini", "", header.language) == 0)
        ExitProgram();
    ConfirmUninstall();

    g_pathSlotC[0] = '\0';
    g_pathSlotU[0] = '\0';
    RemoveProductRegistration(registry);
    BuildSystemIniPath(g_systemIniPath, sizeof g_systemIniPath);
}

void ExitProgram()
{
    DeleteDialogFonts();
    CoUninitialize();
    exit(1);
}
