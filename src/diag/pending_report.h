// The hand-over slot that carries one report raised off the main thread to
// the main thread's timer. A report is published only once all its values
// are in place; while one waits, later ones are dropped, so two reports never
// mix their values.
#pragma once

#include <windows.h>

enum { kReportFileSize = 260, kReportTextSize = 1024, kReportMaxValues = 2 };

// A message argument, texts copied so that they outlive the raising thread's
// buffers.
struct ReportValue {
    bool isText;
    int number;
    char text[kReportTextSize];
};

struct Report {
    LONG kind;                          // a ReportKind
    char file[kReportFileSize];
    unsigned line;
    int exitCode;
    unsigned messageNumber;
    int valueCount;
    ReportValue values[kReportMaxValues];
    DWORD systemCode;                   // the system code, or the raiser's last error
};

struct PendingReport {
    volatile LONG state;                // empty, being filled, or ready
    Report report;
};

// Defined with the other process-wide objects; starts empty.
extern PendingReport g_pendingReport;

// Publishes report unless one is waiting already; false when it was dropped.
bool HandOverReport(const Report& report);
// Takes the waiting report out of the slot; false when none is ready.
bool TakePendingReport(Report* report);
// Empties the slot of a ready report.
void DiscardPendingReport();
