// Fatal-error reports: each logs its message to the Run Log, shows it in the
// error box when the exit code is 255, and ends the program with the exit
// code. Only the main thread shows boxes and ends the process: a report
// raised on another thread is handed over and replayed by the main thread's
// 100 ms timer, and the raising thread goes on at once.
#pragma once

#include <windows.h>

// The exit code whose reports are logged as errors and shown in the box;
// any other code logs a "log done ok" line and ends silently.
const int kErrorExitCode = 255;

// How far the stop sequence has gone; only moves forward, main thread only.
enum StopStage { Running = 0, Reporting = 1, Closing = 2 };
extern volatile LONG g_stopStage;

// One kind per report operation and argument types; 6 and 9 are unused.
enum ReportKind {
    NoReport = 0,
    EndProgramReport = 1,
    PlainErrorReport = 2,
    TextErrorReport = 3,
    TextTextErrorReport = 4,
    NumberErrorReport = 5,
    TextNumberErrorReport = 7,
    NumberNumberErrorReport = 8,
    SystemErrorReport = 10,
    LastErrorReport = 11,
    TextSystemErrorReport = 12,
};

// The thread that ran the static initialisation; defined with the other
// process-wide objects.
extern DWORD g_mainThreadId;
// The hand-over timer's id.
extern UINT_PTR g_handOverTimer;

// On the main thread these end the process and return only while the stop
// sequence is already Closing; elsewhere they hand the report over and return.
void EndProgram(const char* file, unsigned line, int exitCode);
// Without arguments the row's placeholders stay as written.
void ReportError(const char* file, unsigned line, int exitCode, unsigned messageNumber);
void ReportError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                 const char* arg1);
void ReportError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                 int arg1);
void ReportError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                 const char* arg1, const char* arg2);
void ReportError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                 const char* arg1, int arg2);
void ReportError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                 int arg1, int arg2);
// The system's text for systemCode fills the row's last placeholder.
void ReportSystemError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                       DWORD systemCode);
void ReportSystemError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                       const char* arg1, DWORD systemCode);
// The system's text for the calling thread's last error is the third argument.
void ReportLastError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                     const char* arg1, const char* arg2);

// The error box for a message that still begins with its severity digit.
void ShowErrorBox(const char* message);
// Logs "text\nFile: file; Line: line" as an error entry.
void LogErrorAt(const char* text, const char* file, unsigned line);
// Enters the Closing stage and drops the application messages (WM_USER to
// 0xFFFF) waiting for this thread; does nothing when already Closing.
void CloseDown();
// True on every thread but the one that ran the static initialisation.
bool IsOffMainThread();
// The hand-over timer's callback: replays a waiting report on the main thread.
VOID CALLBACK ReplayPendingReport(HWND window, UINT message, UINT_PTR timerId, DWORD time);

// Creates the hand-over timer for the calling thread's queue and registers
// its removal at exit; returns its id.
UINT_PTR StartHandOverTimer();
