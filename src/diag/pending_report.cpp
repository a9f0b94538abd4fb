#include "diag/pending_report.h"

namespace {

enum { kEmpty = 0, kFilling = 1, kReady = 2 };

}  // namespace

bool HandOverReport(const Report& report)
{
    if (InterlockedCompareExchange(&g_pendingReport.state, kFilling, kEmpty) != kEmpty)
        return false;
    g_pendingReport.report = report;
    // A full barrier: the values are visible before the state says ready.
    InterlockedExchange(&g_pendingReport.state, kReady);
    return true;
}

bool TakePendingReport(Report* report)
{
    if (InterlockedCompareExchange(&g_pendingReport.state, kReady, kReady) != kReady)
        return false;
    *report = g_pendingReport.report;
    InterlockedExchange(&g_pendingReport.state, kEmpty);
    return true;
}

void DiscardPendingReport()
{
    InterlockedCompareExchange(&g_pendingReport.state, kEmpty, kReady);
}
