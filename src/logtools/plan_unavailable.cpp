// The Linux build checks logs but cannot look at a Windows machine.
#include "logtools/log_plan.h"

bool PlanLog(const char*, PlanSink, void*, const char** reason)
{
    *reason = "--plan looks at the files and the registry of a Windows machine: run "
              "uninstall-check.exe there (or under Wine)";
    return false;
}
