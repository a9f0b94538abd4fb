#include "logtools/log_check.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <deque>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/text_sizes.h"
#include "language/text_escapes.h"
#include "registry/registry_path.h"
#include "text/buf.h"
#include "logtools/log_walk.h"

namespace {

const char kLogName[] = "uninstall.log";
const char kLangName[] = "lang.ini";
const char kLineEndFix[] = "End every line, the last one included, with CR LF.";

struct LoggedPath {
    std::string upper;   // one spelling per file: see FileKey
    int line;
};

struct Checker {
    FindingSink sink;
    void* context;
    std::deque<LoggedPath> paths;   // each file once, in log order; never moved
    std::unordered_map<std::string_view, int> lineOfPath;   // into paths: the first line
};

// Starts a finding of a rule of kLogRules; its three texts are filled by Say.
Finding NewFinding(const char* file, int line, const char* code)
{
    Finding finding = {file, line, FindLogRule(code)->severity, code, "", "", ""};
    return finding;
}

// The file a path names, as Windows finds it: letters without case, / as \,
// doubled separators as one.
std::string FileKey(const char* path)
{
    std::string key = ComparisonKey(path);
    size_t kept = 0;
    for (size_t i = 0; i < key.size(); ++i) {
        char c = key[i] == '/' ? '\\' : key[i];
        if (!(c == '\\' && kept > 1 && key[kept - 1] == '\\'))
            key[kept++] = c;
    }
    key.resize(kept);
    return key;
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

std::string FileBytes(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// UTF-16, with its byte-order mark or without: every other byte of ASCII text is NUL.
bool IsUtf16(const std::string& bytes)
{
    return bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0 ||
           (bytes.size() >= 2 && (bytes[0] == '\0') != (bytes[1] == '\0'));
}

const char kUtf8Mark[] = "\xEF\xBB\xBF";

// The file's encoding; false when it is UTF-16, which no line of it survives.
bool CheckEncoding(Checker& c, const char* file, const std::string& bytes, const char* markLands)
{
    if (IsUtf16(bytes)) {
        Finding f = NewFinding(file, 0, "utf16");
        Say(f.problem, "the file is UTF-16 text");
        Say(f.outcome, "the uninstaller reads single bytes in the ANSI code page: every second "
            "byte is NUL, which ends each text after its first character");
        Say(f.fix, "Save %s as ANSI text (the system's code page), not as Unicode.", file);
        c.sink(f, c.context);
        return false;
    }
    if (bytes.compare(0, 3, kUtf8Mark) == 0) {
        Finding f = NewFinding(file, 1, "byte-order-mark");
        Say(f.problem, "the file begins with a UTF-8 byte-order mark");
        Say(f.outcome, "the mark's three bytes are read as text: they begin %s", markLands);
        Say(f.fix, "Save %s as ANSI text without a byte-order mark.", file);
        c.sink(f, c.context);
    }
    return true;
}

// Control bytes, a lone CR, NUL and Ctrl-Z, which ends the text for the line reader.
void ScanBytes(Checker& c, const std::string& bytes)
{
    int line = 1, column = 0;
    bool lineReported = false;
    for (size_t i = 0; i < bytes.size(); ++i) {
        int byte = static_cast<unsigned char>(bytes[i]);
        ++column;
        if (byte == '\n') {
            ++line;
            column = 0;
            lineReported = false;
            continue;
        }
        bool lastLineEnded = byte == kEndOfText && column == 1 && i + 1 == bytes.size();
        if ((byte == '\r' && bytes[i + 1] == '\n') || byte == '\t' || byte >= 32 ||
            lineReported || lastLineEnded)
            continue;
        lineReported = true;
        Finding f = NewFinding(kLogName, line, "not-text");
        Say(f.problem, "byte %d (0x%02X) in column %d is not text", byte, byte, column);
        if (byte == kEndOfText)
            Say(f.outcome, "Ctrl-Z ends the text: nothing after it is read");
        else if (byte == 0)
            Say(f.outcome, "the line ends there for every use the uninstaller makes of it");
        else
            Say(f.outcome, "the byte stays part of the line, where no path or name can use it");
        Say(f.fix, "Write text in the ANSI code page only; end lines with CR LF.");
        c.sink(f, c.context);
        if (byte == kEndOfText)
            return;
    }
}

void ReportCut(Checker& c, const LogRead& read, const char* what, int capacity)
{
    Finding f = NewFinding(kLogName, read.line, "line-too-long");
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
        Finding f = NewFinding(kLogName, header.reads[i].line, "header-incomplete");
        Say(f.problem, "the log ends within its three header lines");
        Say(f.outcome, "missing header lines are empty, and no entry is read");
        Say(f.fix, "Write the product name, the product key and the language, each on its line, "
            "then the entries. %s", kLineEndFix);
        c.sink(f, c.context);
        return;
    }
    if (strlen(header.language) > size_t(kLanguageNameMaxLength)) {
        Finding f = NewFinding(kLogName, header.reads[2].line, "header-language");
        Say(f.problem, "the language name has %d characters; at most %d are kept",
            int(strlen(header.language)), kLanguageNameMaxLength);
        Say(f.outcome, "the name is cut and names no section: every text shows as "
            "___string not found___");
        Say(f.fix, "Use a shorter section name in lang.ini and in the log.");
        c.sink(f, c.context);
    }
    const char* key = header.productKey;
    if (key[0] == '\0' || strchr(key, '\\')) {
        Finding f = NewFinding(kLogName, header.reads[1].line, "header-product-key");
        Say(f.problem, key[0] ? "the product key \"%s\" holds a backslash"
                              : "the product key (header line 2) is empty%s", key);
        Say(f.outcome, "the values UninstallString and DisplayName are deleted under another key "
            "than the product's: the product stays in the list of installed programs");
        Say(f.fix, "Write the name of the product's key under HKEY_LOCAL_MACHINE\\SOFTWARE\\"
            "Microsoft\\Windows\\CurrentVersion\\Uninstall, as the installer created it.");
        c.sink(f, c.context);
    }
}

// Rules for any path the uninstaller hands to the system as written.
void CheckPathText(Checker& c, int line, const char* path)
{
    char quote[80];
    Excerpt(path, quote, sizeof quote);
    if (!IsFullPath(path)) {
        Finding f = NewFinding(kLogName, line, "relative-path");
        Say(f.problem, "\"%s\" is not a full path", quote);
        Say(f.outcome, "the path is used as written, against whatever directory the uninstaller "
            "runs in: the intended file is not touched");
        Say(f.fix, "Write the full path: a drive and a backslash (C:\\) or \\\\server\\share\\.");
        c.sink(f, c.context);
    }
    if (strchr(path, '\t')) {
        Finding f = NewFinding(kLogName, line, "path-control");
        Say(f.problem, "\"%s\" holds a TAB", quote);
        Say(f.outcome, "no Windows file name holds a TAB: the path names no file, and nothing "
            "is removed");
        Say(f.fix, "Write the path without control characters.");
        c.sink(f, c.context);
    }
    if (const char* forbidden = ForbiddenPathCharacter(path)) {
        Finding f = NewFinding(kLogName, line, "path-character");
        Say(f.problem, "\"%s\" holds %c", quote, *forbidden);
        Say(f.outcome, "no Windows file name holds it: the path names no file, its deletion "
            "fails, and it is listed for deletion at the next start of Windows");
        Say(f.fix, "Write the path as the file is named.");
        c.sink(f, c.context);
    }
    if (HasDoubledSeparator(path)) {
        Finding f = NewFinding(kLogName, line, "path-spelling");
        f.severity = IsInSystemDirectory(path) ? kError : f.severity;   // no SharedDLLs release
        Say(f.problem, "\"%s\" doubles a separator", quote);
        Say(f.outcome, "Windows finds the file, but the uninstaller compares the text: a file in "
            "the system directory is not recognised (its SharedDLLs counter is not released "
            "and nobody is asked)");
        Say(f.fix, "Separate every step with one backslash.");
        c.sink(f, c.context);
    }
    if (HasMacroLikePercent(path)) {
        Finding f = NewFinding(kLogName, line, "percent-in-path");
        Say(f.problem, "\"%s\" holds %% as in a path macro", quote);
        Say(f.outcome, "paths in the log are not macro-expanded: the %% and what follows are "
            "taken literally");
        Say(f.fix, "Write the expanded path; where the %% is part of a name, silence this rule "
            "for the line.");
        c.sink(f, c.context);
    }
    if (HasDotStep(path)) {
        Finding f = NewFinding(kLogName, line, "dot-dot");
        f.severity = IsInSystemDirectory(path) ? kError : f.severity;   // no SharedDLLs release
        Say(f.problem, "\"%s\" has a . or .. step", quote);
        Say(f.outcome, "the path is compared and climbed as text: emptied directories may stay, "
            "and a system file or its SharedDLLs counter is not recognised");
        Say(f.fix, "Write the path without . or .. steps.");
        c.sink(f, c.context);
    }
    if (HasShortNameStep(path)) {
        Finding f = NewFinding(kLogName, line, "short-name");
        Say(f.problem, "\"%s\" has a short (8.3) name step", quote);
        Say(f.outcome, "Windows finds the file, but the uninstaller compares the text: a file in "
            "the system directory is not recognised, and the same file under its long name "
            "counts as another");
        Say(f.fix, "Write the long names.");
        c.sink(f, c.context);
    }
    if (strchr(path, '/')) {
        Finding f = NewFinding(kLogName, line, "forward-slash");
        f.severity = IsInSystemDirectory(path) ? kError : f.severity;   // no SharedDLLs release
        Say(f.problem, "\"%s\" separates with /", quote);
        Say(f.outcome, "Windows takes / for \\, so the file itself is found; but emptied "
            "directories are climbed at backslashes only, so those above a / stay, and a file "
            "in the system directory is not recognised as a system file");
        Say(f.fix, "Write backslashes.");
        c.sink(f, c.context);
    }
}

// Entries naming the uninstaller's own files, which it handles itself.
void CheckOwnFile(Checker& c, int line, const char* path)
{
    if (!IsOwnFile(path))
        return;
    Finding f = NewFinding(kLogName, line, "own-file");
    Say(f.problem, "\"%s\" is a file the uninstaller itself needs", FileNamePart(path));
    if (EqualNoCase(FileNamePart(path), kLangName))
        Say(f.outcome, "lang.ini is deleted at this entry: every text fetched later (the "
            "system-file question) reads ___string not found___");
    else
        Say(f.outcome, "the file is open or running while the log is worked through: its "
            "deletion fails and it is listed for deletion at the next start of Windows");
    Say(f.fix, "Leave it out: the uninstaller removes lang.ini, uninstall.log and itself at "
        "the end.");
    c.sink(f, c.context);
}

void CheckListedTwice(Checker& c, int line, const char* path, const char* quote)
{
    std::string key = FileKey(path);
    auto earlier = c.lineOfPath.find(key);
    if (earlier == c.lineOfPath.end()) {
        c.paths.push_back({key, line});
        c.lineOfPath.emplace(c.paths.back().upper, line);
        return;
    }
    bool system = IsInSystemDirectory(path);
    Finding f = NewFinding(kLogName, line, system ? "system-file-twice" : "listed-twice");
    Say(f.problem, "\"%s\" is listed on line %d already", quote, earlier->second);
    if (system)
        Say(f.outcome, "its SharedDLLs counter is counted down once per entry: the second "
            "count takes another product's claim on the shared file");
    else
        Say(f.outcome, "the second deletion fails on the missing file, which is then listed for "
            "deletion at the next start of Windows");
    Say(f.fix, "List each file once, in one spelling.");
    c.sink(f, c.context);
}

// A file, server or font entry.
void CheckLoggedFile(Checker& c, int line, const char* path)
{
    if (path[0] == '\0') {
        Finding f = NewFinding(kLogName, line, "empty-entry");
        Say(f.problem, "an empty line is a file entry with an empty path");
        Say(f.outcome, "its deletion fails, and the empty path is listed for deletion at the "
            "next start of Windows");
        Say(f.fix, "Leave out empty lines.");
        c.sink(f, c.context);
        return;
    }
    CheckPathText(c, line, path);
    CheckOwnFile(c, line, path);
    char quote[80];
    Excerpt(path, quote, sizeof quote);
    if (IsSeparator(path[strlen(path) - 1])) {
        Finding f = NewFinding(kLogName, line, "directory-as-file");
        Say(f.problem, "\"%s\" names a directory", quote);
        Say(f.outcome, "a directory cannot be deleted as a file: the deletion fails and it is "
            "listed for deletion at the next start of Windows");
        Say(f.fix, "List the files in it; directories left empty go by themselves.");
        c.sink(f, c.context);
    }
    CheckListedTwice(c, line, path, quote);
}

// A path that another logged file lies below is a directory.
void CheckDirectoriesListedAsFiles(Checker& c)
{
    std::vector<const LoggedPath*> sorted;
    for (const LoggedPath& path : c.paths)
        sorted.push_back(&path);
    std::sort(sorted.begin(), sorted.end(),
              [](const LoggedPath* a, const LoggedPath* b) { return a->upper < b->upper; });
    for (const LoggedPath& path : c.paths) {
        std::string below = path.upper + "\\";
        auto next = std::lower_bound(
            sorted.begin(), sorted.end(), below,
            [](const LoggedPath* a, const std::string& b) { return a->upper < b; });
        if (next == sorted.end() || (*next)->upper.compare(0, below.size(), below) != 0)
            continue;
        Finding f = NewFinding(kLogName, path.line, "directory-as-file");
        Say(f.problem, "this path is the directory of the file on line %d", (*next)->line);
        Say(f.outcome, "a directory cannot be deleted as a file: the deletion fails and it is "
            "listed for deletion at the next start of Windows");
        Say(f.fix, "Leave the directory out; it goes by itself when its files are gone.");
        c.sink(f, c.context);
    }
}

void ReportRegistryKeyPath(Checker& c, int line, const char* quote)
{
    Finding f = NewFinding(kLogName, line, "registry-key-path");
    Say(f.problem, "\"%s\" ends in a backslash: its value name is empty", quote);
    Say(f.outcome, "the empty name is the key's unnamed value: that value alone is deleted, and "
        "the key stays while it holds anything else");
    Say(f.fix, "Name each value of the key; write (default) for the unnamed one.");
    c.sink(f, c.context);
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
        Finding f = NewFinding(kLogName, line, caseOnly ? "registry-root-case" : "registry-root-unknown");
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
    if (SplitRegistryPath(path, subKey, valueName) >= 0) {
        if (valueName[0] == '\0')
            ReportRegistryKeyPath(c, line, quote);
        return;
    }
    const char* lastSlash = strrchr(remainder, '\\');
    Finding f = NewFinding(kLogName, line, "registry-too-long");
    Say(f.problem, "the value name has %d characters; at most %d are possible",
        int(strlen(lastSlash ? lastSlash + 1 : remainder)), kRegistryValueNameMaxLength);
    Say(f.outcome, "the entry is ignored: the value stays in the registry");
    Say(f.fix, "Use a shorter value name.");
    c.sink(f, c.context);
}

// Section and key as the INI line removal matches them.
void CheckIniNames(Checker& c, int line, const char* section, const char* key)
{
    if (IsBracketedSection(section, strlen(section))) {
        Finding f = NewFinding(kLogName, line, "ini-section-brackets");
        Say(f.problem, "the section \"%s\" is written with its brackets", section);
        Say(f.outcome, "the uninstaller adds brackets of its own and looks for [%s]: no such "
            "section is found, and the line stays in system.ini", section);
        Say(f.fix, "Write the section name without [ and ].");
        c.sink(f, c.context);
    }
    if (key[0] == '\0' || strchr(key, '=')) {
        Finding f = NewFinding(kLogName, line, "ini-key-equals");
        Say(f.problem, key[0] ? "the key \"%s\" holds =" : "the key is empty%s", key);
        Say(f.outcome, "an INI key ends at its first =: the line built from this key and the "
            "value is not the line meant, and the line stays in system.ini");
        Say(f.fix, "Write the key up to its = after the backslash, and everything after the = "
            "on the value line.");
        c.sink(f, c.context);
    }
}

void CheckIniEntry(Checker& c, const WalkedEntry& entry)
{
    int line = entry.first.line;
    if (entry.furtherCount == 0) {
        Finding f = NewFinding(kLogName, line, "ini-no-backslash");
        Say(f.problem, "the INI entry has no backslash between section and key");
        Say(f.outcome, "the entry is skipped and no value line is read for it: the next line is "
            "read as an entry of its own");
        Say(f.fix, "Write -section\\key, then the value on the next line.");
        c.sink(f, c.context);
        return;
    }
    if (entry.further[0].ended && entry.value[0] == '\0') {
        Finding f = NewFinding(kLogName, line, "ini-no-value");
        Say(f.problem, "the log ends where the INI entry's value line should be");
        Say(f.outcome, "the value reads as empty: the line key= is removed, not the line meant");
        Say(f.fix, "Follow -section\\key with its value line, ended with CR LF.");
        c.sink(f, c.context);
        return;
    }
    char section[kIniLineSize];
    char iniLine[kIniLineSize];
    IniRemoval removal = BuildIniRemoval(entry.text, entry.value, section, sizeof section, iniLine);
    if (removal == kIniRemovalReady) {
        CheckIniNames(c, line, section, strrchr(entry.text, '\\') + 1);
        return;
    }
    bool longSection = removal == kIniSectionTooLong;
    Finding f = NewFinding(kLogName, line, longSection ? "ini-section-too-long" : "ini-line-too-long");
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
            Finding f = NewFinding(kLogName, entry.first.line, "entry-incomplete");
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
                NewFinding(kLogName, entry.further[i].line, "further-line-marker");
            Say(f.problem, "this line is the %s of the program on line %d but does not begin "
                "with ;", kWhat[i], entry.first.line);
            Say(f.outcome, "its first character is dropped and the rest is taken as the %s, "
                "not as an entry", kWhat[i]);
            Say(f.fix, "Write ; in front of the working directory and of the flag.");
            c.sink(f, c.context);
        }
    }
    if (entry.text[1] == '\0') {
        Finding f = NewFinding(kLogName, entry.first.line, "program-empty");
        Say(f.problem, "the program entry has no command line");
        Say(f.outcome, "no program is started; its two further lines are read and dropped");
        Say(f.fix, "Write the command line after the ;, or leave the entry out.");
        c.sink(f, c.context);
    }
    bool flagEmpty = FurtherLineValue(entry.third)[0] == '\0';
    if (entry.text[1] == '"' && flagEmpty) {
        Finding f = NewFinding(kLogName, entry.first.line, "program-quoted");
        Say(f.problem, "the command line is quoted and the directory flag is empty");
        Say(f.outcome, "the working directory is taken from the command line, quote included: "
            "the program does not start");
        Say(f.fix, "Write the directory on the second line and a non-empty flag (;1) on the "
            "third.");
        c.sink(f, c.context);
    }
    const char* command = entry.text + 1;
    if (command[0] != '"' && memchr(command, ' ', ProgramNameEnd(command))) {
        Finding f = NewFinding(kLogName, entry.first.line, "program-unquoted");
        Say(f.problem, "the program's path holds a space and is not in quotes");
        Say(f.outcome, "Windows tries the path up to each space in turn (C:\\Program.exe before "
            "C:\\Program Files\\...): another program of such a name is started instead");
        Say(f.fix, "Quote the program's path, and write the working directory on the second "
            "line with ;1 on the third.");
        c.sink(f, c.context);
    }
    if (entry.text[1] != '"' && flagEmpty && ArgumentsInProgramDirectory(entry.text + 1)) {
        char directory[kProgramDirSize];
        ProgramWorkingDirectory(entry.text, entry.second, entry.third, directory, sizeof directory);
        Finding f = NewFinding(kLogName, entry.first.line, "program-directory");
        Say(f.problem, "the command line has arguments with a separator and the directory flag "
            "is empty");
        Say(f.outcome, "the working directory is taken from the whole command line, arguments "
            "included: \"%s\" is not a directory, and the program does not start", directory);
        Say(f.fix, "Write the working directory on the second line and a non-empty flag (;1) "
            "on the third.");
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
            Finding f = NewFinding(kLogName, entry.further[i].line, "no-line-end");
            f.severity = kWarning;   // a further line is acted on before the end is tested
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
        Finding f = NewFinding(kLogName, entry.first.line, "no-line-end");
        Say(f.problem, "the last line has no line end");
        Say(f.outcome, "the read that meets the end of the file is not acted upon: this entry "
            "is never carried out");
        Say(f.fix, "%s", kLineEndFix);
        c.sink(f, c.context);
    }
    CheckDirectoriesListedAsFiles(c);
}

// A shown text as the system's profile functions return it.
struct LangText {
    unsigned number;
    int line;
    std::string value;
};

// One [section] of lang.ini and the shown texts it has.
struct LangSection {
    std::string name;
    int line;
    std::vector<LangText> texts;
};

std::string Trimmed(const char* text, size_t length)
{
    while (length > 0 && (*text == ' ' || *text == '\t'))
        ++text, --length;
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t'))
        --length;
    return std::string(text, length);
}

// A value in matching quotes comes back without them.
std::string Unquoted(const std::string& value)
{
    bool quoted = value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
                  value.back() == value[0];
    return quoted ? value.substr(1, value.size() - 2) : value;
}

// Sections and keys as the system's profile functions see them.
std::vector<LangSection> ReadLangSections(const std::string& bytes)
{
    std::vector<LangSection> sections;
    std::istringstream in(bytes);
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        if (!text.empty() && text.back() == '\r')
            text.pop_back();
        std::string trimmed = Trimmed(text.c_str(), text.size());
        if (trimmed[0] == '[') {
            size_t close = trimmed.find(']');
            sections.push_back({Trimmed(trimmed.c_str() + 1, std::min(close, trimmed.size()) - 1),
                                line, {}});
            continue;
        }
        size_t equals = trimmed.find('=');
        if (sections.empty() || equals == std::string::npos)
            continue;
        std::string key = ComparisonKey(Trimmed(trimmed.c_str(), equals).c_str());
        std::string value = Unquoted(Trimmed(trimmed.c_str() + equals + 1,
                                             trimmed.size() - equals - 1));
        for (const unsigned* number = kShownTextNumbers; *number; ++number)
            if (key == "STR" + std::to_string(*number))
                sections.back().texts.push_back({*number, line, value});
    }
    return sections;
}

// The escape that vanishes from a text: % before anything but d, n or p.
const char* VanishingEscape(const char* text)
{
    for (const char* p = strchr(text, '%'); p; p = strchr(p + 2, '%'))
        if (p[1] == '\0' || !strchr("dnp", p[1]))
            return p;
    return nullptr;
}

// The restart question's caption is fetched into a short buffer, every other text into a long one.
size_t TextCapacity(unsigned number)
{
    return number == 96 ? kShortTextSize : kTextSize;
}

void CheckShownText(Checker& c, const LangText& text, const char* productName)
{
    if (const char* escape = VanishingEscape(text.value.c_str())) {
        Finding f = NewFinding(kLangName, text.line, "text-escape");
        Say(f.problem, "str%u holds \"%.2s\", which is no text escape", text.number, escape);
        Say(f.outcome, "%% and the character after it vanish from the text shown: only %%d, %%n "
            "and %%p (lower case) stand for something, and %%%% shows nothing");
        Say(f.fix, "Leave out %%, or write it as part of %%d, %%n or %%p.");
        c.sink(f, c.context);
    }
    std::vector<char> shown(text.value.size() * (strlen(productName) + 2) + 2);
    ExpandTextEscapes(shown.data(), shown.size(), text.value.c_str(), "C:", productName);
    size_t length = std::max(strlen(shown.data()), text.value.size());
    if (length > TextCapacity(text.number) - 1) {
        Finding f = NewFinding(kLangName, text.line, "text-too-long");
        Say(f.problem, "str%u has %d characters as shown (with %%p the product name); it is "
            "fetched into room for %d", text.number, int(length),
            int(TextCapacity(text.number) - 1));
        Say(f.outcome, "the text is cut there");
        Say(f.fix, "Shorten the text.");
        c.sink(f, c.context);
    }
}

void ReportMissingTexts(Checker& c, const LangSection& section, const std::string& missing)
{
    Finding f = NewFinding(kLangName, section.line, "text-missing");
    Say(f.problem, "[%s] lacks %s", section.name.c_str(), missing.c_str());
    Say(f.outcome, "in this language these texts read ___string not found___");
    Say(f.fix, "Add each missing strN=text to the section.");
    c.sink(f, c.context);
}

void CheckLanguageFile(Checker& c, const char* path, const LogHeader& header)
{
    std::ifstream exists(path, std::ios::binary);
    if (!exists) {
        Finding f = NewFinding(kLangName, 0, "lang-missing");
        Say(f.problem, "there is no lang.ini beside the log");
        Say(f.outcome, "every text the uninstaller shows reads ___string not found___");
        Say(f.fix, "Install lang.ini with one section per language.");
        c.sink(f, c.context);
        return;
    }
    std::string bytes = FileBytes(path);
    if (!CheckEncoding(c, kLangName, bytes, "the first line, whose section is not found"))
        return;
    if (bytes.compare(0, 3, kUtf8Mark) == 0)
        bytes.erase(0, 3);   // reported: read on as the vendor meant
    std::vector<LangSection> sections = ReadLangSections(bytes);
    bool named = false, anyLanguage = false;
    for (const LangSection& section : sections) {
        bool general = BufEqualNoCase(section.name.c_str(), "general");
        anyLanguage = anyLanguage || !general;
        named = named || (!general && BufEqualNoCase(section.name.c_str(), header.language));
    }
    if (!(header.language[0] ? named : anyLanguage)) {
        Finding f = NewFinding(kLogName, header.reads[2].line, "header-language");
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
        if (BufEqualNoCase(section.name.c_str(), "general"))
            continue;
        std::string missing;
        for (const unsigned* number = kShownTextNumbers; *number; ++number)
            if (std::none_of(section.texts.begin(), section.texts.end(),
                             [number](const LangText& text) { return text.number == *number; }))
                missing += (missing.empty() ? "str" : ", str") + std::to_string(*number);
        if (!missing.empty())
            ReportMissingTexts(c, section, missing);
        for (const LangText& text : section.texts)
            CheckShownText(c, text, header.productName);
    }
}

// The log's encoding and bytes; false when it is no single-byte text at all.
bool CheckLogBytes(Checker& c, const char* logPath)
{
    std::string bytes = FileBytes(logPath);
    if (!CheckEncoding(c, kLogName, bytes, "the product name"))
        return false;
    ScanBytes(c, bytes);
    return true;
}

}  // namespace

bool CheckInstallation(const char* logPath, const char* langPath, FindingSink sink, void* context)
{
    Checker c = {sink, context, {}, {}};
    LogWalk walk;
    if (!OpenLogWalk(walk, logPath))
        return false;
    if (!CheckLogBytes(c, logPath))
        return true;
    LogHeader header;
    ReadLogHeader(walk, &header);
    CheckHeader(c, header);
    CheckEntries(c, walk);
    CheckLanguageFile(c, langPath, header);
    return true;
}
