// Reads uninstall.log as the uninstaller acts on it: the three header lines,
// then entry by entry, each with the further lines its kind reads, every
// line into the buffer of its capacity. The start-up, the worker,
// uninstall-check and its plan all read through here, and each read tells
// where it began and whether it was cut or met the end of the text.
#pragma once

#include "text/linefile.h"
#include "uninstall_log/log_entry.h"

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

// The open log and the physical line its next read begins on.
struct LogWalk {
    LineFile file;
    int nextLine;
};

// False when the log cannot be opened.
bool OpenLogWalk(LogWalk& walk, const char* path);
// Missing lines stay empty.
void ReadLogHeader(LogWalk& walk, LogHeader* header);
// The next entry the uninstaller acts upon; false when the read met the end
// (entry->text and entry->first then hold that last read).
bool NextLogEntry(LogWalk& walk, WalkedEntry* entry);
// The reads from here to the end of the log, the one that meets the end
// included, as whole lines of up to 1023 characters; the position stays.
int CountRemainingReads(LogWalk& walk);
// Lets the log be deleted.
void CloseLogWalk(LogWalk& walk);
