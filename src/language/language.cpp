#include "language/language.h"

#include <cstring>

#include "base/globals.h"
#include "base/window.h"
#include "language/text_escapes.h"
#include "resources/resource.h"
#include "text/buf.h"

const char kFallbackText[] = "___string not found___";
char g_currentLanguage[kLanguageNameMaxLength + 1];

namespace {

const char kDefaultLanguage[] = "\xC8" "esky";   // "Česky" in code page 1250

char g_languageFile[kTextSize];
char g_namedTextFile[kTextSize];

// Looks up key in the current language's section of file and expands the
// text escapes into buffer.
void GetExpandedString(const char* file, const char* key, size_t size, char* buffer)
{
    char raw[kTextSize];
    GetPrivateProfileStringA(g_currentLanguage, key, kFallbackText, raw, sizeof raw, file);
    ExpandTextEscapes(buffer, size, raw, g_macroDir, g_productName);
}

// Adds every section of the language file but "general" to the combo box,
// in file order. The section list is walked only within what was returned.
void ListLanguages(HWND combo)
{
    char names[kTextSize];
    DWORD length = GetPrivateProfileSectionNamesA(names, sizeof names, g_languageFile);
    if (length >= sizeof names)
        length = sizeof names - 1;
    names[length] = '\0';
    for (const char* name = names; name < names + length && *name; name += strlen(name) + 1) {
        if (!BufEqualNoCase(name, "general"))
            SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
    }
}

void PreselectDefaultLanguage(HWND combo)
{
    char preferred[kTextSize];
    GetPrivateProfileStringA("general", "default", kDefaultLanguage, preferred, sizeof preferred,
                             g_languageFile);
    SendMessageA(combo, CB_SELECTSTRING, WPARAM(-1), reinterpret_cast<LPARAM>(preferred));
}

// Copies the selected entry into the current language, cut to its size.
void TakeSelectedLanguage(HWND combo)
{
    LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    if (index == CB_ERR)
        return;
    LRESULT length = SendMessageA(combo, CB_GETLBTEXTLEN, index, 0);
    if (length == CB_ERR || length >= LRESULT(kTextSize))
        return;
    char entry[kTextSize];
    SendMessageA(combo, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(entry));
    BufSet(g_currentLanguage, sizeof g_currentLanguage, entry);
}

}  // namespace

int ChooseLanguage(const char* languageFile, const char* namedTextFile, const char* presetLanguage)
{
    BufFormat(g_languageFile, sizeof g_languageFile, "%s%s", g_installDir, languageFile);
    BufFormat(g_namedTextFile, sizeof g_namedTextFile, "%s%s", g_installDir, namedTextFile);
    if (presetLanguage[0]) {
        BufSet(g_currentLanguage, sizeof g_currentLanguage, presetLanguage);
        return 1;
    }
    return int(DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_LANGUAGE), nullptr,
                               LanguageDialogProc, 0));
}

void GetLangString(unsigned number, size_t size, char* buffer)
{
    char key[32];
    BufFormat(key, sizeof key, "str%u", number);
    GetExpandedString(g_languageFile, key, size, buffer);
}

void GetNamedString(const char* key, size_t size, char* buffer)
{
    GetExpandedString(g_namedTextFile, key, size, buffer);
}

void GetRegLang(char* buffer, size_t size)
{
    GetPrivateProfileStringA(g_currentLanguage, "reglang", kFallbackText, buffer, DWORD(size),
                             g_namedTextFile);
}

INT_PTR CALLBACK LanguageDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    HWND combo = GetDlgItem(dialog, IDC_LANGUAGE_LIST);
    switch (message) {
    case WM_INITDIALOG:
        ListLanguages(combo);
        PreselectDefaultLanguage(combo);
        CenterWindow(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            TakeSelectedLanguage(combo);
            EndDialog(dialog, 1);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, 0);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}
