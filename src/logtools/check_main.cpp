// uninstall-check: reports what the uninstaller will do with a vendor's
// uninstall.log and lang.ini where that differs from what was meant, and
// with --plan what each entry would do on this machine now.
#include <cstdio>
#include <cstring>

#include "text/buf.h"
#include "logtools/log_check.h"
#include "logtools/log_plan.h"

namespace {

enum ExitCode { kClean = 0, kWarningsOnly = 1, kErrors = 2, kCannotCheck = 3 };
enum { kArgumentPathSize = 1024 };

const char kUsage[] =
    "usage: uninstall-check [--json] [--plan] INSTALLATION-DIRECTORY\n"
    "       uninstall-check [--json] [--plan] UNINSTALL.LOG LANG.INI\n"
    "Exit code: 0 clean, 1 warnings only, 2 errors, 3 nothing could be checked.\n";

bool g_json;
int g_errors;
int g_warnings;
bool g_firstItem;   // no comma before it in a JSON list

// A JSON string; bytes over 127 (code page text) as \u0080 to \u00FF.
void PrintJsonString(const char* text)
{
    putchar('"');
    for (const unsigned char* c = reinterpret_cast<const unsigned char*>(text); *c; ++c) {
        if (*c == '"' || *c == '\\')
            printf("\\%c", *c);
        else if (*c < 32 || *c > 126)
            printf("\\u%04x", *c);
        else
            putchar(*c);
    }
    putchar('"');
}

void PrintJsonField(const char* name, const char* value, const char* after)
{
    printf("\"%s\": ", name);
    PrintJsonString(value);
    fputs(after, stdout);
}

void BeginJsonItem()
{
    fputs(g_firstItem ? "\n    {" : ",\n    {", stdout);
    g_firstItem = false;
}

void PrintFinding(const Finding& f, void*)
{
    const char* severity = f.severity == kError ? "error" : "warning";
    ++(f.severity == kError ? g_errors : g_warnings);
    if (!g_json) {
        printf("%s:%d: %s [%s] %s\n    uninstaller: %s\n    fix: %s\n", f.file, f.line, severity,
               f.code, f.problem, f.outcome, f.fix);
        return;
    }
    BeginJsonItem();
    PrintJsonField("file", f.file, ", ");
    printf("\"line\": %d, ", f.line);
    PrintJsonField("severity", severity, ", ");
    PrintJsonField("code", f.code, ", ");
    PrintJsonField("problem", f.problem, ", ");
    PrintJsonField("uninstaller", f.outcome, ", ");
    PrintJsonField("fix", f.fix, "}");
}

void PrintPlanStep(const PlanStep& s, void*)
{
    if (!g_json) {
        printf("uninstall.log:%d: %-9s %-10s %-11s %s%s%s%s\n", s.line, s.kind, s.state, s.action,
               s.target, s.note[0] ? " (" : "", s.note, s.note[0] ? ")" : "");
        return;
    }
    BeginJsonItem();
    printf("\"line\": %d, ", s.line);
    PrintJsonField("kind", s.kind, ", ");
    PrintJsonField("target", s.target, ", ");
    PrintJsonField("state", s.state, ", ");
    PrintJsonField("action", s.action, ", ");
    PrintJsonField("note", s.note, "}");
}

// Plans after the findings; a plan that cannot be made is an error of its own.
void RunPlan(const char* logPath)
{
    const char* reason = "";
    if (g_json)
        fputs(",\n  \"plan\": [", stdout);
    else
        puts("plan for this machine now (nothing was changed):");
    g_firstItem = true;
    bool planned = PlanLog(logPath, PrintPlanStep, nullptr, &reason);
    if (g_json)
        fputs("\n  ]", stdout);
    if (planned)
        return;
    ++g_errors;
    if (g_json)
        PrintJsonField(",\n  \"planError\"", reason, "");
    else
        printf("no plan: %s\n", reason);
}

}  // namespace

int main(int argc, char** argv)
{
    bool plan = false;
    const char* paths[2] = {nullptr, nullptr};
    int pathCount = 0;
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--json") == 0)
            g_json = true;
        else if (strcmp(argv[i], "--plan") == 0)
            plan = true;
        else if (argv[i][0] != '-' && pathCount < 2)
            paths[pathCount++] = argv[i];
        else
            pathCount = 3;
    }
    if (pathCount == 0 || pathCount > 2) {
        fputs(kUsage, stderr);
        return kCannotCheck;
    }
    char logPath[kArgumentPathSize];
    char langPath[kArgumentPathSize];
    bool fits = pathCount == 2 ? BufSet(logPath, sizeof logPath, paths[0]) &&
                                     BufSet(langPath, sizeof langPath, paths[1])
                               : BufFormat(logPath, sizeof logPath, "%s/uninstall.log", paths[0]) &&
                                     BufFormat(langPath, sizeof langPath, "%s/lang.ini", paths[0]);
    if (g_json) {
        fputs("{\n  ", stdout);
        PrintJsonField("log", logPath, ",\n  ");
        PrintJsonField("lang", langPath, ",\n  \"findings\": [");
    }
    g_firstItem = true;
    if (!fits || !CheckInstallation(logPath, langPath, PrintFinding, nullptr)) {
        if (g_json)
            puts("\n  ],\n  \"errors\": 0, \"warnings\": 0, \"exit\": 3\n}");
        fprintf(stderr, "uninstall-check: cannot read %s\n", logPath);
        return kCannotCheck;
    }
    if (g_json)
        fputs("\n  ]", stdout);
    if (plan)
        RunPlan(logPath);
    int code = g_errors ? kErrors : g_warnings ? kWarningsOnly : kClean;
    if (g_json)
        printf(",\n  \"errors\": %d, \"warnings\": %d, \"exit\": %d\n}\n", g_errors, g_warnings,
               code);
    else if (code == kClean)
        printf("%s: clean\n", logPath);
    else
        printf("%s: %d error(s), %d warning(s)\n", logPath, g_errors, g_warnings);
    return code;
}
