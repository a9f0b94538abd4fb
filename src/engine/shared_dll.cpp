#include "engine/shared_dll.h"

#include <cstring>

#include "base/globals.h"
#include "base/window.h"
#include "language/dialog_texts.h"
#include "language/language.h"
#include "language/text_numbers.h"
#include "registry/registry.h"
#include "resources/resource.h"
#include "text/buf.h"
#include "text/path_split.h"

int g_systemFileChoice = Ask;

// File name and extension of the file in question; the dialog's title.
static char g_questionTitle[kPathSize];

// HKLM subkey of the counters, one value per file path.
static const char kSharedDllsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

static const DialogTextRow kQuestionTexts[] = {
    {IDC_SYSFILE_TEXT, kTextSystemFileQuestion, 0},
    {IDC_SYSFILE_YES, kTextSystemFileYes, 0},
    {IDC_SYSFILE_YES_ALL, kTextSystemFileYesToAll, 0},
    {IDC_SYSFILE_NO, kTextSystemFileNo, 0},
    {IDC_SYSFILE_NO_ALL, kTextSystemFileNoToAll, 0},
};

// Answers of the question, as its dialog result.
enum { kAnswerYes = 0, kAnswerYesToAll = 1, kAnswerNo = 2, kAnswerNoToAll = 3 };

// Ensures text ends in a backslash; false when it does not fit.
static bool EndWithBackslash(char* text, size_t size)
{
    size_t length = strlen(text);
    return (length > 0 && text[length - 1] == '\\') || BufAppend(text, size, "\\");
}

bool IsInSystemDirectory(const char* path)
{
    char systemDir[kPathSize];
    UINT length = GetSystemDirectoryA(systemDir, sizeof systemDir);
    if (length == 0 || length >= sizeof systemDir || !EndWithBackslash(systemDir, sizeof systemDir))
        return false;

    size_t directoryLength = DirectoryPartLength(path);
    if (directoryLength >= kPathSize)
        return false;
    char directory[kPathSize];
    memcpy(directory, path, directoryLength);
    directory[directoryLength] = '\0';
    return EndWithBackslash(directory, sizeof directory) && BufEqualNoCase(directory, systemDir);
}

// Only a read-only file needs the write: for any other the attributes would
// be written back unchanged, and the write costs as much as the deletion.
static void ClearReadOnly(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
}

// Shows the question for path; true when the user lets the file go.
static bool AskAboutSystemFile(HWND owner, const char* path)
{
    BufSet(g_questionTitle, sizeof g_questionTitle, path + DirectoryPartLength(path));
    INT_PTR answer = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_SYSTEM_FILE), owner,
                                     SystemFileQuestionProc, 0);
    switch (answer) {
    case kAnswerYesToAll:
        g_systemFileChoice = DeleteAll;
        return true;
    case kAnswerNo:
        return false;
    case kAnswerNoToAll:
        g_systemFileChoice = KeepAll;
        return false;
    default:
        return true;   // Yes, or a question that could not be shown
    }
}

bool ConfirmFileRemoval(HWND owner, const char* path)
{
    if (IsInSystemDirectory(path)) {
        if (ReleaseSharedDll(path) > 0)
            return false;   // other products still count on it
        if (g_systemFileChoice == KeepAll)
            return false;
        if (g_systemFileChoice != DeleteAll && !AskAboutSystemFile(owner, path))
            return false;
    }
    ClearReadOnly(path);
    return true;
}

LONG ReadSharedDllCount(RegistryAccessor& registry, const char* path)
{
    return LONG(registry.ReadDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, path, 0xFFFFFFFF));
}

DWORD ReleaseSharedDll(const char* path)
{
    RegistryAccessor registry("");
    LONG count = ReadSharedDllCount(registry, path);
    if (count <= 0)
        return 0;
    DWORD left = DWORD(count - 1);
    if (left > 0) {
        registry.WriteDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, path, left);
        return left;
    }
    registry.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, kSharedDllsKey, path);
    return 0;
}

INT_PTR CALLBACK SystemFileQuestionProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        CenterWindow(dialog);
        ApplyDialogTextTable(dialog, sizeof kQuestionTexts / sizeof kQuestionTexts[0],
                             kQuestionTexts);
        SetWindowTextA(dialog, g_questionTitle);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_SYSFILE_YES:
            EndDialog(dialog, kAnswerYes);
            return TRUE;
        case IDC_SYSFILE_YES_ALL:
            EndDialog(dialog, kAnswerYesToAll);
            return TRUE;
        case IDC_SYSFILE_NO:
            EndDialog(dialog, kAnswerNo);
            return TRUE;
        case IDC_SYSFILE_NO_ALL:
            EndDialog(dialog, kAnswerNoToAll);
            return TRUE;
        }
        return FALSE;   // Esc's IDCANCEL included: only the four buttons end it
    case WM_CLOSE:
        return TRUE;    // the close box does nothing
    }
    return FALSE;
}
