// Process-wide objects whose construction order matters. They live in one
// file because C++ fixes the order of static construction only within one.
#include "base/globals.h"
#include "diag/pending_report.h"
#include "diag/report.h"
#include "diag/run_log.h"
#include "registry/registry.h"
#include "shell/entry.h"
#include "uninstall_log/log_reader.h"

PendingReport g_pendingReport;
UINT_PTR g_handOverTimer = StartHandOverTimer();
LogDirectory g_logDirectory = ChooseLogDirectory();
DWORD g_mainThreadId = GetCurrentThreadId();
LogWalk g_uninstallLog;
RegistryAccessor g_registry;
