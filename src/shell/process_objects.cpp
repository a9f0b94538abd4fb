// Process-wide objects whose construction order matters. They live in one
// file because C++ fixes the order of static construction only within one.
#include "base/globals.h"
#include "diag/pending_report.h"
#include "diag/report.h"
#include "diag/run_log.h"
#include "engine/linefile.h"
#include "registry/registry.h"

PendingReport g_pendingReport;
UINT_PTR g_handOverTimer = StartHandOverTimer();
LogDirectory g_logDirectory = ChooseLogDirectory();
DWORD g_mainThreadId = GetCurrentThreadId();
LineFile g_logStream;   // declared with the run's values in base/globals.h
RegistryAccessor g_registry;
