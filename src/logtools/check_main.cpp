// uninstall-check: reports what the uninstaller will do with a vendor's
// uninstall.log and lang.ini where that differs from what was meant, and
// with --plan what each entry would do on this machine now.
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "text/buf.h"
#include "logtools/log_check.h"
#include "logtools/log_plan.h"

namespace {

enum ExitCode { kClean = 0, kWarningsOnly = 1, kErrors = 2, kCannotCheck = 3 };
enum { kArgumentPathSize = 1024 };
enum OutputFormat { kText, kJson, kSarif };

const char kUsage[] =
    "usage: uninstall-check [OPTION]... INSTALLATION-DIRECTORY\n"
    "       uninstall-check [OPTION]... UNINSTALL.LOG LANG.INI\n"
    "  --json             one JSON object on standard output\n"
    "  --sarif            a SARIF 2.1.0 log on standard output, for code-scanning services\n"
    "  --plan             also what each entry would do on this machine now (Windows)\n"
    "  --ignore RULE      silence a rule; RULE:LINE silences it on one line of the log,\n"
    "                     RULE:lang.ini:LINE on one line of lang.ini\n"
    "  --baseline FILE    silence the accepted findings listed in FILE, one --ignore\n"
    "                     argument per line (# starts a comment)\n"
    "  --version, --help\n"
    "Exit code: 0 clean, 1 warnings only, 2 errors, 3 nothing could be checked.\n"
    "Every rule is explained in docs/rules.md under its id.\n";
const char kRulesDocument[] = "docs/rules.md";

// A finding the vendor has accepted: its rule, on every line (line -1) or one.
struct Silenced {
    std::string rule;
    std::string file;
    int line;
};

struct Options {
    OutputFormat format = kText;
    bool plan = false;
    std::vector<Silenced> silenced;
    const char* paths[2] = {nullptr, nullptr};
    int pathCount = 0;
};

int g_errors;
int g_warnings;
bool g_firstItem;   // no comma before it in a JSON list
OutputFormat g_format;
const Options* g_options;

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

// RULE, RULE:LINE or RULE:lang.ini:LINE; false when the rule is unknown.
bool ParseSilenced(const std::string& text, Silenced* out)
{
    size_t colon = text.find(':');
    out->rule = text.substr(0, colon);
    out->file = "uninstall.log";
    out->line = -1;
    if (colon != std::string::npos) {
        std::string rest = text.substr(colon + 1);
        size_t fileEnd = rest.rfind(':');
        if (fileEnd != std::string::npos) {
            out->file = rest.substr(0, fileEnd);
            rest = rest.substr(fileEnd + 1);
        }
        char* end = nullptr;
        out->line = int(strtol(rest.c_str(), &end, 10));
        if (rest.empty() || *end || out->line < 0)
            return false;
    }
    return FindLogRule(out->rule.c_str()) != nullptr;
}

bool ReadBaseline(const char* path, std::vector<Silenced>* silenced)
{
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        line = line.substr(0, line.find('#'));
        while (!line.empty() && strchr(" \t\r", line.back()))
            line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        Silenced accepted;
        if (start != std::string::npos && !ParseSilenced(line.substr(start), &accepted))
            return false;
        if (start != std::string::npos)
            silenced->push_back(accepted);
    }
    return !in.bad() && in.eof();
}

bool IsSilenced(const Finding& f)
{
    for (const Silenced& s : g_options->silenced)
        if (s.rule == f.code && (s.line < 0 || (s.line == f.line && s.file == f.file)))
            return true;
    return false;
}

int RuleIndex(const char* id)
{
    return int(FindLogRule(id) - kLogRules);
}

// The path as a URI reference: \\ as /, a full path as a file URI, bytes
// outside the unreserved set escaped.
std::string UriOf(const char* path)
{
    bool drive = isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
    std::string uri = drive ? "file:///" : path[0] == '/' ? "file://" : "";
    for (size_t i = 0; path[i]; ++i) {
        unsigned char c = path[i] == '\\' ? '/' : static_cast<unsigned char>(path[i]);
        bool plain = isalnum(c) || strchr("-._~/", c) || (drive && i == 1);
        char escaped[4];
        BufFormat(escaped, sizeof escaped, plain ? "%c" : "%%%02X", c);
        uri += escaped;
    }
    return uri;
}

struct PrintContext {
    const char* logPath;
    const char* langPath;
};

void PrintSarifResult(const Finding& f, const char* severity, const PrintContext& paths)
{
    char message[3 * kFindingTextSize + 64];
    BufFormat(message, sizeof message, "%s. Uninstaller: %s. Fix: %s", f.problem, f.outcome,
              f.fix);
    BeginJsonItem();
    PrintJsonField("ruleId", f.code, ", ");
    printf("\"ruleIndex\": %d, ", RuleIndex(f.code));
    PrintJsonField("level", severity, ",\n     ");
    fputs("\"message\": {", stdout);
    PrintJsonField("text", message, "},\n     ");
    std::string uri = UriOf(f.file[0] == 'l' ? paths.langPath : paths.logPath);
    fputs("\"locations\": [{\"physicalLocation\": {\"artifactLocation\": {", stdout);
    PrintJsonField("uri", uri.c_str(), "}");
    if (f.line > 0)
        printf(", \"region\": {\"startLine\": %d}", f.line);
    fputs("}}]}", stdout);
}

void PrintFinding(const Finding& f, void* context)
{
    if (IsSilenced(f))
        return;
    const char* severity = f.severity == kError ? "error" : "warning";
    ++(f.severity == kError ? g_errors : g_warnings);
    if (g_format == kText) {
        printf("%s:%d: %s [%s] %s\n    uninstaller: %s\n    fix: %s\n    see: %s#%s\n", f.file,
               f.line, severity, f.code, f.problem, f.outcome, f.fix, kRulesDocument, f.code);
        return;
    }
    if (g_format == kSarif) {
        PrintSarifResult(f, severity, *static_cast<const PrintContext*>(context));
        return;
    }
    char help[64];
    BufFormat(help, sizeof help, "%s#%s", kRulesDocument, f.code);
    BeginJsonItem();
    PrintJsonField("file", f.file, ", ");
    printf("\"line\": %d, ", f.line);
    PrintJsonField("severity", severity, ", ");
    PrintJsonField("code", f.code, ", ");
    PrintJsonField("problem", f.problem, ", ");
    PrintJsonField("uninstaller", f.outcome, ", ");
    PrintJsonField("fix", f.fix, ", ");
    PrintJsonField("help", help, "}");
}

void PrintPlanStep(const PlanStep& s, void*)
{
    if (g_format == kText) {
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

// Plans after the findings. A plan that cannot be made says so, but it is
// no fault of the log: the exit code stays the findings'.
void RunPlan(const char* logPath)
{
    const char* reason = "";
    if (g_format == kJson)
        fputs(",\n  \"plan\": [", stdout);
    else
        puts("plan for this machine now (nothing was changed):");
    g_firstItem = true;
    bool planned = PlanLog(logPath, PrintPlanStep, nullptr, &reason);
    if (g_format == kJson)
        fputs("\n  ]", stdout);
    if (planned)
        return;
    if (g_format == kJson) {
        fputs(",\n  ", stdout);
        PrintJsonField("planError", reason, "");
    } else {
        printf("no plan: %s\n", reason);
    }
}

void PrintSarifStart()
{
    fputs("{\n  \"$schema\": \"https://json.schemastore.org/sarif-2.1.0.json\",\n"
          "  \"version\": \"2.1.0\",\n  \"runs\": [{\n    \"tool\": {\"driver\": {\n"
          "      \"name\": \"uninstall-check\", \"version\": \"" UNINSTALLER_VERSION "\",\n"
          "      \"rules\": [",
          stdout);
    g_firstItem = true;
    for (const LogRule& rule : kLogRules) {
        char help[128];
        BufFormat(help, sizeof help, "See %s#%s", kRulesDocument, rule.id);
        fputs(g_firstItem ? "\n        {" : ",\n        {", stdout);
        g_firstItem = false;
        PrintJsonField("id", rule.id, ", \"shortDescription\": {");
        PrintJsonField("text", rule.summary, "}, \"help\": {");
        PrintJsonField("text", help, "}, ");
        printf("\"defaultConfiguration\": {\"level\": \"%s\"}}",
               rule.severity == kError ? "error" : "warning");
    }
    fputs("\n      ]}},\n    \"results\": [", stdout);
    g_firstItem = true;
}

void PrintSarifEnd(bool checked, const char* note)
{
    printf("\n    ],\n    \"invocations\": [{\"executionSuccessful\": %s",
           checked ? "true" : "false");
    if (note) {
        fputs(", \"toolExecutionNotifications\": [{\"level\": \"error\", \"message\": {", stdout);
        PrintJsonField("text", note, "}}]");
    }
    puts("}]\n  }]\n}");
}

// Nothing could be checked: the reason on standard error, and in the
// machine-readable formats on standard output too.
int CannotCheck(const char* why)
{
    if (g_format == kJson) {
        fputs("{\n  ", stdout);
        PrintJsonField("error", why, ",\n  ");
        printf("\"findings\": [], \"errors\": 0, \"warnings\": 0, \"exit\": %d\n}\n",
               kCannotCheck);
    } else if (g_format == kSarif) {
        PrintSarifStart();
        PrintSarifEnd(false, why);
    }
    fprintf(stderr, "uninstall-check: %s\n", why);
    return kCannotCheck;
}

bool Refuse(std::string* why, const std::string& reason)
{
    *why = reason;
    return false;
}

// False, with why, when the arguments make no request.
bool ReadArguments(int argc, char** argv, Options* options, std::string* why)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool hasValue = i + 1 < argc;
        Silenced silenced;
        if (arg == "--json" || arg == "--sarif") {
            OutputFormat format = arg == "--json" ? kJson : kSarif;
            if (options->format != kText && options->format != format)
                return Refuse(why, "--json and --sarif exclude each other");
            options->format = format;
        } else if (arg == "--plan") {
            options->plan = true;
        } else if (arg == "--ignore" && hasValue) {
            if (!ParseSilenced(argv[++i], &silenced))
                return Refuse(why, std::string("no such rule or line: ") + argv[i]);
            options->silenced.push_back(silenced);
        } else if (arg == "--baseline" && hasValue) {
            if (!ReadBaseline(argv[++i], &options->silenced))
                return Refuse(why, std::string("cannot read the baseline ") + argv[i] +
                              ", or it names no rule of uninstall-check");
        } else if (arg[0] == '-' || options->pathCount == 2) {
            return Refuse(why, "unexpected argument: " + arg);
        } else {
            options->paths[options->pathCount++] = argv[i];
        }
    }
    if (options->pathCount == 0)
        return Refuse(why, "no installation directory or log given");
    if (options->plan && options->format == kSarif)
        return Refuse(why, "--plan has no place in a SARIF log");
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (strcmp(argv[i], "--help") == 0) {
            fputs(kUsage, stdout);
            return kClean;
        }
        if (strcmp(argv[i], "--version") == 0) {
            puts("uninstall-check " UNINSTALLER_VERSION);
            return kClean;
        }
    }
    Options options;
    std::string why;
    bool understood = ReadArguments(argc, argv, &options, &why);
    g_format = options.format;
    g_options = &options;
    if (!understood) {
        fputs(kUsage, stderr);
        return CannotCheck(why.c_str());
    }
    char logPath[kArgumentPathSize];
    char langPath[kArgumentPathSize];
    const char* const* paths = options.paths;
    bool fits = options.pathCount == 2
                    ? BufSet(logPath, sizeof logPath, paths[0]) &&
                          BufSet(langPath, sizeof langPath, paths[1])
                    : BufFormat(logPath, sizeof logPath, "%s/uninstall.log", paths[0]) &&
                          BufFormat(langPath, sizeof langPath, "%s/lang.ini", paths[0]);
    std::string cannotRead = std::string("cannot read ") + logPath;
    if (!fits)
        return CannotCheck(cannotRead.c_str());
    if (g_format == kJson) {
        fputs("{\n  ", stdout);
        PrintJsonField("log", logPath, ",\n  ");
        PrintJsonField("lang", langPath, ",\n  \"findings\": [");
    } else if (g_format == kSarif) {
        PrintSarifStart();
    }
    g_firstItem = true;
    PrintContext context = {logPath, langPath};
    bool checked = CheckInstallation(logPath, langPath, PrintFinding, &context);
    if (!checked)
        fprintf(stderr, "uninstall-check: %s\n", cannotRead.c_str());
    if (g_format == kSarif) {
        PrintSarifEnd(checked, checked ? nullptr : cannotRead.c_str());
        if (!checked)
            return kCannotCheck;
        return g_errors ? kErrors : g_warnings ? kWarningsOnly : kClean;
    }
    if (g_format == kJson)
        fputs("\n  ]", stdout);
    if (!checked) {
        if (g_format == kJson) {
            fputs(",\n  ", stdout);
            PrintJsonField("error", cannotRead.c_str(), "");
            printf(",\n  \"errors\": 0, \"warnings\": 0, \"exit\": %d\n}\n", kCannotCheck);
        }
        return kCannotCheck;
    }
    if (options.plan)
        RunPlan(logPath);
    int code = g_errors ? kErrors : g_warnings ? kWarningsOnly : kClean;
    if (g_format == kJson)
        printf(",\n  \"errors\": %d, \"warnings\": %d, \"exit\": %d\n}\n", g_errors, g_warnings,
               code);
    else if (code == kClean)
        printf("%s: clean\n", logPath);
    else
        printf("%s: %d error(s), %d warning(s)\n", logPath, g_errors, g_warnings);
    return code;
}
