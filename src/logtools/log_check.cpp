#include "logtools/log_check.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "registry/registry_path.h"
#include "text/buf.h"
#include "logtools/log_walk.h"

namespace {

const char kLogName[] = "uninstall.log";
const char kLangName[] = "lang.ini";
const char kLineEndFix[] = "End every line, the last one included, with CR LF.";

struct LoggedPath {
    std::string upper;   // for comparison: the uninstaller compares ASCII letters without case
    int line;
};

struct Checker {
    FindingSink sink;
    void* context;
    std::vector<LoggedPath> paths;
};

// Starts a finding; its three texts are filled by Say.
Finding NewFinding(const char* file, int line, FindingSeverity severity, const char* code)
{
    Finding finding = {file, line, severity, code, "", "", ""};
    return finding;
}

void Say(char* text, const char* format, ...) __attribute__((format(printf, 2, 3)));
void Say(char* text, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    // Findings quote the log; a cut quote is still a fair quote.
    BufFormatList(text, kFindingTextSize, format, args);
    va_end(args);
}

// The start of text for a finding, marked when shortened.
const char* Excerpt(const char* text, char* out, size_t size)
{
    if (!BufSet(out, size, text) && size > 4)
        memcpy(out + size - 4, "...", 4);
    return out;
}

// Control bytes, a lone CR, NUL and Ctrl-Z, which ends the text for the line reader.
void ScanBytes(Checker& c, const char* path)
{
    std::ifstream in(path, std::ios::binary);
    int line = 1, column = 0;
    bool lineReported = false;
    for (int byte; (byte = in.get()) != std::ifstream::traits_type::eof();) {
        ++column;
        if (byte == '\n') {
            ++line;
            column = 0;
            lineReported = false;
            continue;
        }
        if ((byte == '\r' && in.peek() == '\n') || byte == '\t' || byte >= 32 || lineReported)
            continue;
        lineReported = true;
        Finding f = NewFinding(kLogName, line, kError, "not-text");
        Say(f.problem, "byte %d (0x%02X) in column %d is not text", byte, byte, column);
        if (byte == 26)
            Say(f.outcome, "Ctrl-Z ends the text: nothing after it is read");
        else if (byte == 0)
            Say(f.outcome, "the line ends there for every use the uninstaller makes of it");
        else
            Say(f.outcome, "the byte stays part of the line, where no path or name can use it");
        Say(f.fix, "Write text in the ANSI code page only; end lines with CR LF.");
        c.sink(f, c.context);
        if (byte == 26)
            return;
    }
}

void ReportCut(Checker& c, const LogRead& read, const char* what, int capacity)
{
    Finding f = NewFinding(kLogName, read.line, kError, "line-too-long");
    Say(f.problem, "the %s has %d characters or more; it may have at most %d", what, capacity - 1,
        capacity - 2);
    Say(f.outcome, "the first %d characters are read as the line, and the rest of the line "
        "(or its line end alone) is read as the next line of the log, an entry of its own",
        capacity - 1);
    Say(f.fix, "Shorten the %s.", what);
    c.sink(f, c.context);
}

void CheckHeader(Checker& c, const LogHeader& header)
{
    static const char* const kWhat[] = {"product name (header line 1)",
                                        "product key (header line 2)",
                                        "language name (header line 3)"};
    static const int kCapacity[] = {kProductNameSize, kProductKeySize, kLanguageNameSize};
    for (int i = 0; i < 3; ++i) {
        if (header.reads[i].cut)
            ReportCut(c, header.reads[i], kWhat[i], kCapacity[i]);
        if (!header.reads[i].ended)
            continue;
        Finding f = NewFinding(kLogName, header.reads[i].line, kError, "header-incomplete");
        Say(f.problem, "the log ends within its three header lines");
        Say(f.outcome, "missing header lines are empty, and no entry is read");
        Say(f.fix, "Write the product name, the product key and the language, each on its line, "
            "then the entries. %s", kLineEndFix);
        c.sink(f, c.context);
        return;
    }
    if (strlen(header.language) > size_t(kLanguageNameMaxLength)) {
        Finding f = NewFinding(kLogName, header.reads[2].line, kError, "header-language");
        Say(f.problem, "the language name has %d characters; at most %d are kept",
            int(strlen(header.language)), kLanguageNameMaxLength);
        Say(f.outcome, "the name is cut and names no section: every text shows as "
            "___string not found___");
        Say(f.fix, "Use a shorter section name in lang.ini and in the log.");
        c.sink(f, c.context);
    }
}

bool IsFullPath(const char* path)
{
    bool drive = ((path[0] | 0x20) >= 'a' && (path[0] | 0x20) <= 'z') && path[1] == ':' &&
                 path[2] == '\\';
    return drive || (path[0] == '\\' && path[1] == '\\');
}

bool HasDotDotStep(const char* path)
{
    for (const char* dots = strstr(path, ".."); dots; dots = strstr(dots + 1, "..")) {
        bool starts = dots == path || dots[-1] == '\\' || dots[-1] == '/';
        bool ends = dots[2] == '\0' || dots[2] == '\\' || dots[2] == '/';
        if (starts && ends)
            return true;
    }
    return false;
}

// Rules for any path the uninstaller hands to the system as written.
void CheckPathText(Checker& c, int line, const char* path)
{
    char quote[80];
    Excerpt(path, quote, sizeof quote);
    if (!IsFullPath(path)) {
        Finding f = NewFinding(kLogName, line, kError, "relative-path");
        Say(f.problem, "\"%s\" is not a full path", quote);
        Say(f.outcome, "the path is used as written, against whatever directory the uninstaller "
            "runs in: the intended file is not touched");
        Say(f.fix, "Write the full path: a drive and a backslash (C:\\) or \\\\server\\share\\.");
        c.sink(f, c.context);
    }
    if (strchr(path, '%')) {
        Finding f = NewFinding(kLogName, line, kWarning, "percent-in-path");
        Say(f.problem, "\"%s\" holds %%", quote);
        Say(f.outcome, "paths in the log are not macro-expanded: the %% and what follows are "
            "taken literally");
        Say(f.fix, "Write the expanded path.");
        c.sink(f, c.context);
    }
    if (HasDotDotStep(path)) {
        Finding f = NewFinding(kLogName, line, kWarning, "dot-dot");
        Say(f.problem, "\"%s\" steps up with ..", quote);
        Say(f.outcome, "the path is compared and climbed as text: emptied directories may stay, "
            "and a system file or its SharedDLLs counter is not recognised");
        Say(f.fix, "Write the path without . or .. steps.");
        c.sink(f, c.context);
    }
    if (strchr(path, '/')) {
        Finding f = NewFinding(kLogName, line, kWarning, "forward-slash");
        Say(f.problem, "\"%s\" separates with /", quote);
        Say(f.outcome, "directories are climbed at backslashes only: emptied directories may "
            "stay, and a system file is not recognised as one");
        Say(f.fix, "Write backslashes.");
        c.sink(f, c.context);
    }
}

// A file, server or font entry.
void CheckLoggedFile(Checker& c, int line, const char* path)
{
    if (path[0] == '\0') {
        Finding f = NewFinding(kLogName, line, kWarning, "empty-entry");
        Say(f.problem, "an empty line is a file entry with an empty path");
        Say(f.outcome, "its deletion fails, and the empty path is listed for deletion at the "
            "next start of Windows");
        Say(f.fix, "Leave out empty lines.");
        c.sink(f, c.context);
        return;
    }
    CheckPathText(c, line, path);
    char quote[80];
    Excerpt(path, quote, sizeof quote);
    size_t length = strlen(path);
    if (path[length - 1] == '\\' || path[length - 1] == '/') {
        Finding f = NewFinding(kLogName, line, kError, "directory-as-file");
        Say(f.problem, "\"%s\" names a directory", quote);
        Say(f.outcome, "a directory cannot be deleted as a file: the deletion fails and it is "
            "listed for deletion at the next start of Windows");
        Say(f.fix, "List the files in it; directories left empty go by themselves.");
        c.sink(f, c.context);
    }
    std::string upper = ComparisonKey(path);
    for (const LoggedPath& earlier : c.paths) {
        if (earlier.upper != upper)
            continue;
        Finding f = NewFinding(kLogName, line, kWarning, "listed-twice");
        Say(f.problem, "\"%s\" is listed on line %d already", quote, earlier.line);
        Say(f.outcome, "the second deletion fails on the missing file, which is then listed for "
            "deletion at the next start of Windows");
        Say(f.fix, "List each file once.");
        c.sink(f, c.context);
        return;
    }
    c.paths.push_back({upper, line});
}

// A path that another logged file lies below is a directory.
void CheckDirectoriesListedAsFiles(Checker& c)
{
    std::vector<LoggedPath> sorted = c.paths;
    std::sort(sorted.begin(), sorted.end(),
              [](const LoggedPath& a, const LoggedPath& b) { return a.upper < b.upper; });
    for (const LoggedPath& path : c.paths) {
        std::string below = path.upper + "\\";
        auto next = std::lower_bound(
            sorted.begin(), sorted.end(), below,
            [](const LoggedPath& a, const std::string& b) { return a.upper < b; });
        if (next == sorted.end() || next->upper.compare(0, below.size(), below) != 0)
            continue;
        Finding f = NewFinding(kLogName, path.line, kError, "directory-as-file");
        Say(f.problem, "this path is the directory of the file on line %d", next->line);
        Say(f.outcome, "a directory cannot be deleted as a file: the deletion fails and it is "
            "listed for deletion at the next start of Windows");
        Say(f.fix, "Leave the directory out; it goes by itself when its files are gone.");
        c.sink(f, c.context);
    }
}

void CheckRegistryEntry(Checker& c, int line, const char* path)
{
    char quote[80];
    Excerpt(path, quote, sizeof quote);
    const char* remainder;
    int root = MatchRegistryRoot(path, &remainder);
    if (root < 0 || remainder[-1] != '\\') {
        int rowIgnoringCase = -1;
        for (int row = 0; row < kRootCount && root < 0; ++row) {
            size_t nameLength = strlen(RegistryRootName(row));
            std::string start = ComparisonKey(path).substr(0, nameLength);
            if (strlen(path) > nameLength && start == RegistryRootName(row))
                rowIgnoringCase = row;
        }
        bool caseOnly = rowIgnoringCase >= 0;
        Finding f = NewFinding(kLogName, line, kError,
                               caseOnly ? "registry-root-case" : "registry-root-unknown");
        if (caseOnly)
            Say(f.problem, "\"%s\" writes the root key name in lower case", quote);
        else
            Say(f.problem, "\"%s\" does not begin with a root key name and a backslash", quote);
        Say(f.outcome, "the entry is ignored: the value stays in the registry");
        if (caseOnly)
            Say(f.fix, "Write %s in capitals.", RegistryRootName(rowIgnoringCase));
        else
            Say(f.fix, "Begin with HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_CURRENT_USER, "
                "HKEY_LOCAL_MACHINE, HKEY_USERS, HKEY_PERFORMANCE_DATA or HKEY_DYN_DATA, "
                "then a backslash; abbreviations are not known.");
        c.sink(f, c.context);
        return;
    }
    char subKey[kRegRemainderSize];
    char valueName[kRegValueNameSize];
    if (SplitRegistryPath(path, subKey, valueName) >= 0)
        return;
    const char* lastSlash = strrchr(remainder, '\\');
    Finding f = NewFinding(kLogName, line, kError, "registry-too-long");
    Say(f.problem, "the value name has %d characters; at most %d are possible",
        int(strlen(lastSlash ? lastSlash + 1 : remainder)), kRegistryValueNameMaxLength);
    Say(f.outcome, "the entry is ignored: the value stays in the registry");
    Say(f.fix, "Use a shorter value name.");
    c.sink(f, c.context);
}

void CheckIniEntry(Checker& c, const WalkedEntry& entry)
{
    int line = entry.first.line;
    if (entry.furtherCount == 0) {
        Finding f = NewFinding(kLogName, line, kError, "ini-no-backslash");
        Say(f.problem, "the INI entry has no backslash between section and key");
        Say(f.outcome, "the entry is skipped and no value line is read for it: the next line is "
            "read as an entry of its own");
        Say(f.fix, "Write -section\\key, then the value on the next line.");
        c.sink(f, c.context);
        return;
    }
    char section[kIniLineSize];
    char iniLine[kIniLineSize];
    IniRemoval removal = BuildIniRemoval(entry.text, entry.value, section, sizeof section, iniLine);
    if (removal == kIniRemovalReady)
        return;
    bool longSection = removal == kIniSectionTooLong;
    Finding f = NewFinding(kLogName, line, kError,
                           longSection ? "ini-section-too-long" : "ini-line-too-long");
    if (longSection)
        Say(f.problem, "the section name has more than %d characters", kIniSectionMaxLength);
    else
        Say(f.problem, "key, equals sign and value make more than %d characters", kIniLineSize - 1);
    Say(f.outcome, "the entry is skipped: the line stays in system.ini");
    Say(f.fix, "Keep section names to %d characters and key=value to %d.", kIniSectionMaxLength,
        kIniLineSize - 1);
    c.sink(f, c.context);
}

void CheckProgramEntry(Checker& c, const WalkedEntry& entry)
{
    static const char* const kWhat[] = {"working directory", "directory flag"};
    const char* lines[] = {entry.second, entry.third};
    for (int i = 0; i < entry.furtherCount; ++i) {
        if (entry.further[i].ended && lines[i][0] == '\0') {
            Finding f = NewFinding(kLogName, entry.first.line, kError, "entry-incomplete");
            Say(f.problem, "the program entry lacks its %s line%s", kWhat[i],
                i == 0 ? " and its directory flag line" : "");
            Say(f.outcome, "the missing lines read as empty: the program runs in the directory "
                "of its command line");
            Say(f.fix, "Follow the command line with ;directory and ;flag lines.");
            c.sink(f, c.context);
            return;
        }
        if (lines[i][0] != ';') {
            Finding f =
                NewFinding(kLogName, entry.further[i].line, kWarning, "further-line-marker");
            Say(f.problem, "this line is the %s of the program on line %d but does not begin "
                "with ;", kWhat[i], entry.first.line);
            Say(f.outcome, "its first character is dropped and the rest is taken as the %s, "
                "not as an entry", kWhat[i]);
            Say(f.fix, "Write ; in front of the working directory and of the flag.");
            c.sink(f, c.context);
        }
    }
    bool flagEmpty = FurtherLineValue(entry.third)[0] == '\0';
    if (entry.text[1] == '"' && flagEmpty) {
        Finding f = NewFinding(kLogName, entry.first.line, kError, "program-quoted");
        Say(f.problem, "the command line is quoted and the directory flag is empty");
        Say(f.outcome, "the working directory is taken from the command line, quote included: "
            "the program does not start");
        Say(f.fix, "Write the directory on the second line and a non-empty flag (;1) on the "
            "third.");
        c.sink(f, c.context);
    }
    const char* directory = FurtherLineValue(entry.second);
    if (!flagEmpty && directory[0])
        CheckPathText(c, entry.further[0].line, directory);
}

void CheckFurtherReads(Checker& c, const WalkedEntry& entry)
{
    static const int kProgramCapacity[] = {kProgramDirSize, kProgramFlagSize};
    static const char* const kProgramWhat[] = {"working directory line", "directory flag line"};
    for (int i = 0; i < entry.furtherCount; ++i) {
        bool ini = entry.kind == kIniEntry;
        const char* text = ini ? entry.value : i == 0 ? entry.second : entry.third;
        if (entry.further[i].cut)
            ReportCut(c, entry.further[i], ini ? "INI value line" : kProgramWhat[i],
                      ini ? kIniValueSize : kProgramCapacity[i]);
        if (entry.further[i].ended && text[0]) {
            Finding f = NewFinding(kLogName, entry.further[i].line, kWarning, "no-line-end");
            Say(f.problem, "the last line has no line end");
            Say(f.outcome, "it is read all the same, as the entry's further line");
            Say(f.fix, "%s", kLineEndFix);
            c.sink(f, c.context);
        }
    }
}

void CheckEntries(Checker& c, LogWalk& walk)
{
    WalkedEntry entry;
    while (NextLogEntry(walk, &entry)) {
        int line = entry.first.line;
        if (entry.first.cut)
            ReportCut(c, entry.first, "entry line", kEntryLineSize);
        CheckFurtherReads(c, entry);
        switch (entry.kind) {
        case kFileEntry:
        case kServerEntry:
        case kFontEntry:
            CheckLoggedFile(c, line, LoggedFilePath(entry.text));
            break;
        case kIniEntry:
            CheckIniEntry(c, entry);
            break;
        case kRegistryEntry:
            CheckRegistryEntry(c, line, entry.text + 1);
            break;
        case kProgramEntry:
            CheckProgramEntry(c, entry);
            break;
        }
    }
    if (entry.text[0]) {
        Finding f = NewFinding(kLogName, entry.first.line, kError, "no-line-end");
        Say(f.problem, "the last line has no line end");
        Say(f.outcome, "the read that meets the end of the file is not acted upon: this entry "
            "is never carried out");
        Say(f.fix, "%s", kLineEndFix);
        c.sink(f, c.context);
    }
    CheckDirectoriesListedAsFiles(c);
}

// One [section] of lang.ini and the shown texts it has.
struct LangSection {
    std::string name;
    int line;
    std::vector<unsigned> numbers;
};

std::string Trimmed(const char* text, size_t length)
{
    while (length > 0 && (*text == ' ' || *text == '\t'))
        ++text, --length;
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        --length;
    return std::string(text, length);
}

// Sections and keys as the system's profile functions see them.
bool ReadLangSections(const char* path, std::vector<LangSection>* sections)
{
    LineFile file;
    file.OpenForReading(path);
    if (!file.is_open())
        return false;
    char text[kIniLineSize];
    for (int line = 1; file.good(); ++line) {
        file.ReadLine(text, sizeof text);
        std::string trimmed = Trimmed(text, strlen(text));
        if (trimmed[0] == '[') {
            size_t close = trimmed.find(']');
            sections->push_back({Trimmed(trimmed.c_str() + 1, std::min(close, trimmed.size()) - 1),
                                 line, {}});
            continue;
        }
        size_t equals = trimmed.find('=');
        if (sections->empty() || equals == std::string::npos)
            continue;
        std::string key = ComparisonKey(Trimmed(trimmed.c_str(), equals).c_str());
        for (const unsigned* number = kShownTextNumbers; *number; ++number)
            if (key == "STR" + std::to_string(*number))
                sections->back().numbers.push_back(*number);
    }
    return true;
}

void CheckLanguageFile(Checker& c, const char* path, const LogHeader& header)
{
    std::vector<LangSection> sections;
    if (!ReadLangSections(path, &sections)) {
        Finding f = NewFinding(kLangName, 0, kError, "lang-missing");
        Say(f.problem, "there is no lang.ini beside the log");
        Say(f.outcome, "every text the uninstaller shows reads ___string not found___");
        Say(f.fix, "Install lang.ini with one section per language.");
        c.sink(f, c.context);
        return;
    }
    bool named = false, anyLanguage = false;
    for (const LangSection& section : sections) {
        bool general = BufEqualNoCase(section.name.c_str(), "general");
        anyLanguage = anyLanguage || !general;
        named = named || (!general && BufEqualNoCase(section.name.c_str(), header.language));
    }
    if (!(header.language[0] ? named : anyLanguage)) {
        Finding f = NewFinding(kLogName, header.reads[2].line, kError, "header-language");
        char quote[80];
        if (header.language[0])
            Say(f.problem, "the language \"%s\" names no section of lang.ini",
                Excerpt(header.language, quote, sizeof quote));
        else
            Say(f.problem, "the user is to choose the language, but lang.ini has no language "
                "section");
        Say(f.outcome, "every text the uninstaller shows reads ___string not found___");
        Say(f.fix, "Write a section name of lang.ini on header line 3, or leave it empty to let "
            "the user choose.");
        c.sink(f, c.context);
    }
    for (const LangSection& section : sections) {
        std::string missing;
        for (const unsigned* number = kShownTextNumbers; *number; ++number)
            if (std::find(section.numbers.begin(), section.numbers.end(), *number) ==
                section.numbers.end())
                missing += (missing.empty() ? "str" : ", str") + std::to_string(*number);
        if (missing.empty() || BufEqualNoCase(section.name.c_str(), "general"))
            continue;
        Finding f = NewFinding(kLangName, section.line, kError, "text-missing");
        Say(f.problem, "[%s] lacks %s", section.name.c_str(), missing.c_str());
        Say(f.outcome, "in this language these texts read ___string not found___");
        Say(f.fix, "Add each missing strN=text to the section.");
        c.sink(f, c.context);
    }
}

}  // namespace

bool CheckInstallation(const char* logPath, const char* langPath, FindingSink sink, void* context)
{
    Checker c = {sink, context, {}};
    LogWalk walk;
    if (!OpenLogWalk(walk, logPath))
        return false;
    ScanBytes(c, logPath);
    LogHeader header;
    ReadLogHeader(walk, &header);
    CheckHeader(c, header);
    CheckEntries(c, walk);
    CheckLanguageFile(c, langPath, header);
    return true;
}
