// uninstall-check --plan: what each entry of a log would do on this machine
// now, found by reading files and the registry only.
#pragma once

enum { kPlanTextSize = 1024 };

struct PlanStep {
    int line;             // the entry's line in the log
    const char* kind;     // file, module, font, ini, registry, program; directory, key
    char target[kPlanTextSize];
    const char* state;    // what is there now
    const char* action;   // what the uninstaller would do
    char note[kPlanTextSize];
};

typedef void (*PlanSink)(const PlanStep& step, void* context);

// Hands one step per entry to sink, followed by a step for every directory
// and registry key that the entry would leave empty and so remove. False,
// with why in *reason, when no plan can be made.
bool PlanLog(const char* logPath, PlanSink sink, void* context, const char** reason);
