// Numbered texts of the chosen language from lang.ini, and the choice.
#pragma once

#include <windows.h>

#include "uninstall_log/log_entry.h"

extern const char kFallbackText[];          // "___string not found___"
extern char g_currentLanguage[kLanguageNameMaxLength + 1];

// Settles the current language; 1 when settled, 0 when the user cancelled,
// -1 when the language dialog cannot be shown.
int ChooseLanguage(const char* languageFile, const char* namedTextFile, const char* presetLanguage);
void GetLangString(unsigned number, size_t size, char* buffer);
void GetNamedString(const char* key, size_t size, char* buffer);
void GetRegLang(char* buffer, size_t size);
INT_PTR CALLBACK LanguageDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
