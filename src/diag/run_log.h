// The Run Log: zkal.log in the Log Directory, to which the error reports
// append their entries. Each piece is written with its own open, append and
// close, so the file holds everything written up to a crash; a run without
// reports never touches it.
#pragma once

#include <cstddef>

enum { kLogPathSize = 260, kLogStampSize = 512 };

struct LogDirectory {
    char path[kLogPathSize];   // ends in a backslash unless empty
};

// Chosen once at start-up; defined with the other process-wide objects.
extern LogDirectory g_logDirectory;

// Full path of the log file once this run has started the log; empty before,
// and again after an open that failed, so the next entry tries once more.
extern char g_runLogPath[kLogPathSize];

// TEMP (any case) when it is set and short enough for the log path; else
// c:\temp\, created here, or the current directory when c:\ cannot be found.
LogDirectory ChooseLogDirectory();

// Appends an error entry: the text and a line feed, after a "chyba:" stamp
// line unless it is the first entry of the run (the header dates that one).
void LogError(const char* text);
// Appends the line "log done ok: " with the stamp.
void LogDone();

// Starts the log under name in the Log Directory and writes the run header.
void LogOpen(const char* name);
// Appends text as it is, when the log is started.
void LogWrite(const char* text);
// "date, time (t=ticks)" in the system locale's short date and time formats.
void FormatLogStamp(char* buffer, size_t size);
