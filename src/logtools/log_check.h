// uninstall-check's rules: what the uninstaller will do with an installation's
// uninstall.log and lang.ini where that differs from what their writer meant.
#pragma once

#include "language/text_numbers.h"   // kShownTextNumbers: the texts each language needs
#include "logtools/log_rules.h"

enum { kFindingTextSize = 512 };

struct Finding {
    const char* file;   // "uninstall.log" or "lang.ini"
    int line;           // from 1; 0 for the file as a whole
    FindingSeverity severity;
    const char* code;   // the rule's id in kLogRules
    char problem[kFindingTextSize];
    char outcome[kFindingTextSize];   // what the uninstaller does instead
    char fix[kFindingTextSize];
};

typedef void (*FindingSink)(const Finding& finding, void* context);

// Checks the log and the language file (which may be missing) and hands
// every finding to sink, in the order of the files. False when the log
// cannot be read at all.
bool CheckInstallation(const char* logPath, const char* langPath, FindingSink sink, void* context);
