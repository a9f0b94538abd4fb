// Reads uninstall.log exactly as the uninstaller does, with the same line
// reader, capacities and entry rules, and tells per line read where it began
// and whether it was cut or met the end of the file.
#pragma once

#include <string>

#include "engine/linefile.h"
#include "engine/log_entry.h"

struct LogRead {
    int line;      // physical line where the read began, from 1
    bool cut;      // the line reached its capacity less one
    bool ended;    // the read met the end of the text
};

struct LogHeader {
    LogRead reads[3];
    char productName[kProductNameSize];
    char productKey[kProductKeySize];
    char language[kLanguageNameSize];
};

struct WalkedEntry {
    LogEntryKind kind;
    LogRead first;
    LogRead further[2];   // the INI value line, or the program's two lines
    int furtherCount;
    char text[kEntryLineSize];
    char value[kIniValueSize];
    char second[kProgramDirSize];
    char third[kProgramFlagSize];
};

struct LogWalk {
    LineFile file;
    int nextLine;
};

// False when the log cannot be opened.
bool OpenLogWalk(LogWalk& walk, const char* path);
void ReadLogHeader(LogWalk& walk, LogHeader* header);
// The next entry the uninstaller acts upon; false when the read met the end
// (entry->text and entry->first then hold that last read).
bool NextLogEntry(LogWalk& walk, WalkedEntry* entry);

// The text as the uninstaller compares paths and names: ASCII letters
// upper-cased, every other byte as it is.
std::string ComparisonKey(const std::string& text);
