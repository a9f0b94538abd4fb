#include "logtools/log_plan.h"

#include <windows.h>

#include <set>
#include <string>

#include "base/globals.h"
#include "engine/ini_remove.h"
#include "engine/removal.h"
#include "engine/shared_dll.h"
#include "logtools/log_walk.h"
#include "registry/registry.h"
#include "text/buf.h"
#include "text/path_split.h"

namespace {

// What the entries before the current one would have done, in upper case:
// the run changes the machine as it goes, the plan only remembers.
struct Planner {
    PlanSink sink;
    void* context;
    std::set<std::string> deletedFiles, removedDirectories;
    std::set<std::string> deletedValues, removedKeys;   // "root|subkey|name", "root|key"
    std::set<std::string> removedIniLines;
    char systemIni[kPathSize];
};

void Emit(Planner& p, int line, const char* kind, const char* target, const char* state,
          const char* action, const char* note)
{
    PlanStep step = {line, kind, "", state, action, ""};
    BufSet(step.target, sizeof step.target, target);
    BufSet(step.note, sizeof step.note, note);
    p.sink(step, p.context);
}

// A file or directory as the file system tells them apart: its full path,
// where runs of backslashes are one and a final one is none, letter case aside.
std::string FileKey(const std::string& path)
{
    char full[kTextSize];
    DWORD length = GetFullPathNameA(path.c_str(), sizeof full, full, nullptr);
    std::string key = length > 0 && length < sizeof full ? full : path;
    if (key.size() > 3 && key.back() == '\\')
        key.pop_back();
    return ComparisonKey(key);
}

// Whether nothing but what the plan already deletes is left in directory.
bool WouldBeEmpty(Planner& p, const std::string& directory)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((directory + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool empty = true;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..")
            continue;
        std::string path = FileKey(directory + "\\" + name);
        bool isDirectory = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        empty = isDirectory ? p.removedDirectories.count(path) : p.deletedFiles.count(path);
    } while (empty && FindNextFileA(search, &found));
    FindClose(search);
    return empty;
}

// Where the planned steps of one entry go.
struct EntryPlan {
    Planner* planner;
    int line;
};

// RemoveDirectoryA as the run's climb meets it: it removes an empty
// directory that is there and not read-only.
bool ForeseeDirectoryRemoval(const char* directory, void* context)
{
    EntryPlan& plan = *static_cast<EntryPlan*>(context);
    DWORD attributes = GetFileAttributesA(directory);
    std::string key = FileKey(directory);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        (attributes & FILE_ATTRIBUTE_READONLY) || plan.planner->removedDirectories.count(key) ||
        !WouldBeEmpty(*plan.planner, directory))
        return false;
    plan.planner->removedDirectories.insert(key);
    Emit(*plan.planner, plan.line, "directory", directory, "emptied", "remove", "");
    return true;
}

// The climb of the run after a deletion, from the file's directory upward.
void PlanEmptiedDirectories(Planner& p, int line, const char* filePath)
{
    char directory[kPathSize];
    EntryPlan plan = {&p, line};
    if (CopyDirectoryPart(filePath, directory, sizeof directory))
        ClimbEmptiedDirectories(directory, ForeseeDirectoryRemoval, &plan);
}

bool InUse(const char* path)
{
    HANDLE file = CreateFileA(path, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

void PlanFile(Planner& p, int line, const char* kind, const char* path)
{
    const char* atRestart = "the deletion fails: listed for deletion at the next start of Windows";
    if (IsInSystemDirectory(path)) {
        RegistryAccessor registry;
        LONG count = ReadSharedDllCount(registry, path);
        char note[kPlanTextSize];
        if (count > 1) {
            BufFormat(note, sizeof note, "SharedDLLs count %ld goes to %ld; other products "
                      "still count on the file", count, count - 1);
            return Emit(p, line, kind, path, "shared", "keep", note);
        }
        BufFormat(note, sizeof note, "%s; the user is asked whether to delete the system file",
                  count == 1 ? "its SharedDLLs count 1 goes" : "no SharedDLLs count");
        return Emit(p, line, kind, path, "system", "ask", note);
    }
    DWORD attributes = GetFileAttributesA(path);
    std::string upper = FileKey(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || p.deletedFiles.count(upper))
        return Emit(p, line, kind, path, "missing", "at-restart", atRestart);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        return Emit(p, line, kind, path, "directory", "at-restart", atRestart);
    if (InUse(path))
        return Emit(p, line, kind, path, "in-use", "at-restart", atRestart);
    bool readOnly = attributes & FILE_ATTRIBUTE_READONLY;
    const char* first = strcmp(kind, "module") == 0 ? "DllUnregisterServer is called first"
                        : strcmp(kind, "font") == 0 ? "the font leaves the font table first"
                                                    : "";
    char note[kPlanTextSize];
    BufFormat(note, sizeof note, "%s%s%s", readOnly ? "the read-only attribute is cleared" : "",
              readOnly && first[0] ? "; " : "", first);
    Emit(p, line, kind, path, readOnly ? "read-only" : "present", "delete", note);
    p.deletedFiles.insert(upper);
    PlanEmptiedDirectories(p, line, path);
}

// Where the planned steps of one registry entry go, and the key being looked at.
struct KeyPlan {
    Planner* planner;
    int line;
    int row;
    std::string id;   // "ROOT\key\path"
};

// Whether a subkey or value of the key in question is gone by the plan already.
bool GoneByPlan(const char* name, KeyEntryKind kind, void* context)
{
    KeyPlan& plan = *static_cast<KeyPlan*>(context);
    if (kind == kSubkeyEntry)
        return plan.planner->removedKeys.count(ComparisonKey(plan.id + "\\" + name)) != 0;
    return plan.planner->deletedValues.count(ComparisonKey(plan.id + "|" + name)) != 0;
}

// The run's pruning step as it would go: a key it can open with full access
// goes when nothing but what the plan removes is left in it.
bool ForeseeKeyRemoval(HKEY root, const char* keyPath, void* context)
{
    KeyPlan& plan = *static_cast<KeyPlan*>(context);
    HKEY key;
    if (RegOpenKeyExA(root, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return false;
    plan.id = std::string(RegistryRootName(plan.row)) + "\\" + keyPath;
    bool holdsMore = KeyHoldsMore(key, GoneByPlan, &plan);
    RegCloseKey(key);
    if (holdsMore)
        return false;
    plan.planner->removedKeys.insert(ComparisonKey(plan.id));
    Emit(*plan.planner, plan.line, "key", plan.id.c_str(), "emptied", "remove", "");
    return true;
}

void PlanEmptiedKeys(Planner& p, int line, HKEY root, int row, const char* subKey)
{
    KeyPlan plan = {&p, line, row, ""};
    ClimbEmptiedKeys(root, subKey, ForeseeKeyRemoval, &plan);
}

void PlanRegistryValue(Planner& p, int line, const char* path)
{
    char subKey[kRegRemainderSize];
    char valueName[kRegValueNameSize];
    HKEY root = ParseRegistryPath(path, subKey, valueName);
    const char* remainder;
    int row = MatchRegistryRoot(path, &remainder);
    if (!root)
        return Emit(p, line, "registry", path, "unreadable", "skip",
                    "no root key name, or a part too long: the entry is ignored");
    const char* name = IsDefaultValueName(valueName) ? "" : valueName;
    std::string id = std::string(RegistryRootName(row)) + "\\" + subKey;
    std::string valueId = ComparisonKey(id + "|" + name);
    HKEY key;
    bool present = false;
    if (RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, &key) == ERROR_SUCCESS) {
        present = RegQueryValueExA(key, name[0] ? name : nullptr, nullptr, nullptr, nullptr,
                                   nullptr) == ERROR_SUCCESS && !p.deletedValues.count(valueId);
        RegCloseKey(key);
    }
    if (!present)
        return Emit(p, line, "registry", path, "missing", "none", "");
    Emit(p, line, "registry", path, "present", "delete", "");
    p.deletedValues.insert(valueId);
    PlanEmptiedKeys(p, line, root, row, subKey);
}

void PlanIniLine(Planner& p, const WalkedEntry& entry)
{
    char section[kIniLineSize];
    char iniLine[kIniLineSize];
    int line = entry.first.line;
    if (!IniEntryHasKey(entry.text) || BuildIniRemoval(entry.text, entry.value, section,
                                                       sizeof section, iniLine) != kIniRemovalReady)
        return Emit(p, line, "ini", entry.text, "unreadable", "skip", "the entry is skipped");
    char target[kPlanTextSize];
    BufFormat(target, sizeof target, "[%s] %s", section, iniLine);
    std::string id = ComparisonKey(std::string(section) + "|" + iniLine);
    if (p.removedIniLines.count(id) || !IniFileHoldsLine(section, iniLine, p.systemIni))
        return Emit(p, line, "ini", target, "missing", "none", p.systemIni);
    p.removedIniLines.insert(id);
    Emit(p, line, "ini", target, "present", "remove-line",
         "the user is offered a restart at the end");
}

// The program file CreateProcessA would find: a quoted first token, or the
// shortest run of space-separated words that names one.
bool FindProgram(const char* commandLine, char* found)
{
    std::string text = commandLine;
    if (text[0] == '"') {
        std::string name = text.substr(1, text.find('"', 1) - 1);
        return SearchPathA(nullptr, name.c_str(), ".exe", kPathSize, found, nullptr) != 0;
    }
    for (size_t end = text.find(' ');; end = text.find(' ', end + 1)) {
        std::string name = text.substr(0, end);
        if (SearchPathA(nullptr, name.c_str(), ".exe", kPathSize, found, nullptr))
            return true;
        if (end == std::string::npos)
            return false;
    }
}

void PlanProgram(Planner& p, const WalkedEntry& entry)
{
    char directory[kProgramDirSize];
    char program[kPathSize];
    char note[kPlanTextSize];
    const char* commandLine = entry.text + 1;
    ProgramWorkingDirectory(entry.text, entry.second, entry.third, directory, sizeof directory);
    DWORD attributes = GetFileAttributesA(directory);
    if (directory[0] && (attributes == INVALID_FILE_ATTRIBUTES ||
                         !(attributes & FILE_ATTRIBUTE_DIRECTORY))) {
        BufFormat(note, sizeof note, "the working directory %s does not exist: it does not start",
                  directory);
        return Emit(p, entry.first.line, "program", commandLine, "no-directory", "skip", note);
    }
    if (!FindProgram(commandLine, program))
        return Emit(p, entry.first.line, "program", commandLine, "missing", "skip",
                    "no program file found: it does not start");
    BufFormat(note, sizeof note, "%s runs in %s and is waited for", program,
              directory[0] ? directory : "the uninstaller's current directory");
    Emit(p, entry.first.line, "program", commandLine, "present", "run", note);
}

}  // namespace

bool PlanLog(const char* logPath, PlanSink sink, void* context, const char** reason)
{
    LogWalk walk;
    if (!OpenLogWalk(walk, logPath)) {
        *reason = "the log cannot be opened";
        return false;
    }
    Planner p;
    p.sink = sink;
    p.context = context;
    BuildSystemIniPath(p.systemIni, sizeof p.systemIni);
    LogHeader header;
    ReadLogHeader(walk, &header);
    WalkedEntry entry;
    while (NextLogEntry(walk, &entry)) {
        static const char* const kFileKinds[] = {"file", "module", "font"};
        static_assert(kFileEntry == 0 && kServerEntry == 1 && kFontEntry == 2, "kFileKinds");
        switch (entry.kind) {
        case kFileEntry:
        case kServerEntry:
        case kFontEntry:
            PlanFile(p, entry.first.line, kFileKinds[entry.kind], LoggedFilePath(entry.text));
            break;
        case kIniEntry:
            PlanIniLine(p, entry);
            break;
        case kRegistryEntry:
            PlanRegistryValue(p, entry.first.line, entry.text + 1);
            break;
        case kProgramEntry:
            PlanProgram(p, entry);
            break;
        }
    }
    return true;
}
