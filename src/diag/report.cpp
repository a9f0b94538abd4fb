#include "diag/report.h"

#include <cstdlib>
#include <cstring>

#include "diag/message_table.h"
#include "diag/pending_report.h"
#include "diag/run_log.h"
#include "text/buf.h"

volatile LONG g_stopStage = Running;

namespace {

const char kBoxTitle[] = "Error";
const UINT kBoxStyle = MB_OK | MB_ICONHAND | MB_TASKMODAL | MB_TOPMOST;
const UINT kHandOverPeriodMs = 100;

enum {
    kMessageSize = 1024,
    kLastErrorMessageSize = 2048,
    kBoxTextSize = 1024,
    kLogTextSize = 1024,
    kSystemTextSize = 1024,
};

Report NewReport(ReportKind kind, const char* file, unsigned line, int exitCode,
                 unsigned messageNumber)
{
    Report report;
    report.kind = kind;
    BufSet(report.file, sizeof report.file, file ? file : "");
    report.line = line;
    report.exitCode = exitCode;
    report.messageNumber = messageNumber;
    report.valueCount = 0;
    report.systemCode = 0;
    return report;
}

void AddText(Report* report, const char* text)
{
    ReportValue& value = report->values[report->valueCount++];
    value.isText = true;
    value.number = 0;
    BufSet(value.text, sizeof value.text, text ? text : "(null)");
}

void AddNumber(Report* report, int number)
{
    ReportValue& value = report->values[report->valueCount++];
    value.isText = false;
    value.number = number;
    value.text[0] = '\0';
}

bool IsKnownKind(LONG kind)
{
    switch (kind) {
    case EndProgramReport:
    case PlainErrorReport:
    case TextErrorReport:
    case TextTextErrorReport:
    case NumberErrorReport:
    case TextNumberErrorReport:
    case NumberNumberErrorReport:
    case SystemErrorReport:
    case LastErrorReport:
    case TextSystemErrorReport:
        return true;
    default:
        return false;
    }
}

bool HasSystemText(LONG kind)
{
    return kind == SystemErrorReport || kind == LastErrorReport || kind == TextSystemErrorReport;
}

// The system's text for code without its closing line end.
void GetSystemErrorText(DWORD code, char* out, size_t size)
{
    char* text = nullptr;
    DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM,
                                  nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                                  reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (length && text) {
        BufSet(out, size, text);
        size_t end = strlen(out);
        while (end > 0 && (out[end - 1] == '\r' || out[end - 1] == '\n'))
            out[--end] = '\0';
    } else {
        BufFormat(out, size, "System error %lu", static_cast<unsigned long>(code));
    }
    if (text)
        LocalFree(text);
}

void BuildReportMessage(const Report& report, char* message, size_t size)
{
    MessageArg args[kReportMaxValues + 1];
    int count = 0;
    for (int i = 0; i < report.valueCount; ++i) {
        const ReportValue& value = report.values[i];
        args[count++] = MessageArg{value.isText ? value.text : nullptr, value.number};
    }
    char systemText[kSystemTextSize];
    if (HasSystemText(report.kind)) {
        GetSystemErrorText(report.systemCode, systemText, sizeof systemText);
        args[count++] = MessageArg{systemText, 0};
    }
    BuildMessage(message, size, report.messageNumber, args, count);
}

[[noreturn]] void FinishProcess(int exitCode)
{
    CloseDown();
    exit(exitCode);
}

void RunEndProgram(const Report& report)
{
    if (report.exitCode == kErrorExitCode)
        LogErrorAt("error", report.file, report.line);
    else
        LogDone();
    if (g_stopStage == Closing)
        return;
    FinishProcess(report.exitCode);
}

// The main thread's part of every report.
void RunReport(const Report& report)
{
    DiscardPendingReport();
    if (report.kind == EndProgramReport) {
        RunEndProgram(report);
        return;
    }
    char message[kLastErrorMessageSize];
    BuildReportMessage(report, message,
                       report.kind == LastErrorReport ? kLastErrorMessageSize : kMessageSize);
    if (report.exitCode == kErrorExitCode)
        LogErrorAt(MessageProper(message), report.file, report.line);
    else
        LogDone();
    if (g_stopStage == Closing)
        return;
    g_stopStage = Reporting;
    if (report.exitCode == kErrorExitCode)
        ShowErrorBox(message);
    FinishProcess(report.exitCode);
}

void Raise(const Report& report)
{
    if (IsOffMainThread())
        HandOverReport(report);
    else
        RunReport(report);
}

void StopHandOverTimer() { KillTimer(nullptr, g_handOverTimer); }

}  // namespace

void EndProgram(const char* file, unsigned line, int exitCode)
{
    Raise(NewReport(EndProgramReport, file, line, exitCode, 0));
}

void ReportError(const char* file, unsigned line, int exitCode, unsigned messageNumber)
{
    Raise(NewReport(PlainErrorReport, file, line, exitCode, messageNumber));
}

void ReportError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                 const char* arg1)
{
    Report report = NewReport(TextErrorReport, file, line, exitCode, messageNumber);
    AddText(&report, arg1);
    Raise(report);
}

void ReportError(const char* file, unsigned line, int exitCode, unsigned messageNumber, int arg1)
{
    Report report = NewReport(NumberErrorReport, file, line, exitCode, messageNumber);
    AddNumber(&report, arg1);
    Raise(report);
}

void ReportError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                 const char* arg1, const char* arg2)
{
    Report report = NewReport(TextTextErrorReport, file, line, exitCode, messageNumber);
    AddText(&report, arg1);
    AddText(&report, arg2);
    Raise(report);
}

void ReportError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                 const char* arg1, int arg2)
{
    Report report = NewReport(TextNumberErrorReport, file, line, exitCode, messageNumber);
    AddText(&report, arg1);
    AddNumber(&report, arg2);
    Raise(report);
}

void ReportError(const char* file, unsigned line, int exitCode, unsigned messageNumber, int arg1,
                 int arg2)
{
    Report report = NewReport(NumberNumberErrorReport, file, line, exitCode, messageNumber);
    AddNumber(&report, arg1);
    AddNumber(&report, arg2);
    Raise(report);
}

void ReportSystemError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                       DWORD systemCode)
{
    Report report = NewReport(SystemErrorReport, file, line, exitCode, messageNumber);
    report.systemCode = systemCode;
    Raise(report);
}

void ReportSystemError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                       const char* arg1, DWORD systemCode)
{
    Report report = NewReport(TextSystemErrorReport, file, line, exitCode, messageNumber);
    AddText(&report, arg1);
    report.systemCode = systemCode;
    Raise(report);
}

void ReportLastError(const char* file, unsigned line, int exitCode, unsigned messageNumber,
                     const char* arg1, const char* arg2)
{
    DWORD lastError = GetLastError();
    Report report = NewReport(LastErrorReport, file, line, exitCode, messageNumber);
    AddText(&report, arg1);
    AddText(&report, arg2);
    report.systemCode = lastError;
    Raise(report);
}

void ShowErrorBox(const char* message)
{
    char text[kBoxTextSize];
    BuildBoxText(text, sizeof text, message);
    MessageBoxA(nullptr, text, kBoxTitle, kBoxStyle);
}

void LogErrorAt(const char* text, const char* file, unsigned line)
{
    char location[kReportFileSize + 32];
    BufFormat(location, sizeof location, "\nFile: %s; Line: %u", file, line);
    // A long text is cut so that the location always fits.
    char entry[kLogTextSize];
    BufSet(entry, sizeof entry - strlen(location), text);
    BufAppend(entry, sizeof entry, location);
    LogError(entry);
}

void CloseDown()
{
    if (g_stopStage == Closing)
        return;
    g_stopStage = Closing;
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_USER, 0xFFFF, PM_REMOVE))
        continue;
}

bool IsOffMainThread() { return GetCurrentThreadId() != g_mainThreadId; }

VOID CALLBACK ReplayPendingReport(HWND, UINT, UINT_PTR, DWORD)
{
    if (IsOffMainThread())
        return;
    Report report;
    if (!TakePendingReport(&report) || !IsKnownKind(report.kind))
        return;
    RunReport(report);
}

UINT_PTR StartHandOverTimer()
{
    UINT_PTR timer = SetTimer(nullptr, 0, kHandOverPeriodMs, ReplayPendingReport);
    atexit(StopHandOverTimer);
    return timer;
}
