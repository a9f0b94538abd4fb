// UninstallLogWriter: writes uninstall.log for the uninstaller, for use in
// installers. Header-only and free of Windows headers: copy this file with
// logtools/log_rules.h, uninstall_log/log_entry.h and registry/registry_path.h,
// keeping their folders.
//
//   UninstallLogWriter log;
//   log.Open("C:\\Program Files\\Demo App\\uninstall.log");
//   log.Header("Demo App", "DemoApp", "English");
//   log.File("C:\\Program Files\\Demo App\\demo.exe");
//   log.RegistryValue("HKEY_LOCAL_MACHINE\\Software\\Demo\\App\\InstallPath");
//   if (!log.Close()) report(log.Error());
//
// The header comes first; every line ends with CR LF, the last one included.
// A call whose entry uninstall-check would report writes nothing and returns
// false, with the rule's id and the problem in Error(); later calls go on.
#pragma once

#include <cstdio>
#include <cstring>
#include <set>
#include <string>

#include "logtools/log_rules.h"
#include "uninstall_log/log_entry.h"
#include "registry/registry_path.h"

class UninstallLogWriter {
public:
    UninstallLogWriter() = default;
    UninstallLogWriter(const UninstallLogWriter&) = delete;
    UninstallLogWriter& operator=(const UninstallLogWriter&) = delete;
    ~UninstallLogWriter() { Close(); }

    bool Open(const char* path)
    {
        Close();
        file_ = fopen(path, "wb");
        path_ = path;
        headerWritten_ = writeFailed_ = false;
        paths_.clear();
        return file_ ? true : Refuse(nullptr, "cannot create the log file");
    }

    // language: a section of lang.ini, or "" to let the user choose.
    bool Header(const char* productName, const char* productKey, const char* language)
    {
        if (!file_ || headerWritten_)
            return Refuse(nullptr, "the header goes first, once, into an open log");
        const char* texts[] = {productName, productKey, language};
        const size_t capacities[] = {kProductNameSize, kProductKeySize, kLanguageNameMaxLength + 2};
        for (int i = 0; i < 3; ++i) {
            if (HasControlByte(texts[i]))
                return Refuse("not-text");
            if (strlen(texts[i]) > capacities[i] - 2)
                return Refuse(i == 2 ? "header-language" : "line-too-long");
        }
        if (!productKey[0] || strchr(productKey, '\\'))
            return Refuse("header-product-key");
        headerWritten_ = true;
        return Line("", productName) && Line("", productKey) && Line("", language);
    }

    bool File(const char* path) { return LoggedFile("", path); }
    // DllUnregisterServer is called before the file is deleted.
    bool SelfRegisteringModule(const char* path) { return LoggedFile("%", path); }
    // Taken out of the font table before the file is deleted.
    bool Font(const char* path) { return LoggedFile("&", path); }

    // The line key=value, removed from [section] of system.ini.
    bool IniLine(const char* section, const char* key, const char* value)
    {
        std::string entry = std::string("-") + section + "\\" + key;
        const char* rule = HasControlByte(entry.c_str()) || HasControlByte(value) ? "not-text"
                           : strlen(section) > kIniSectionMaxLength ? "ini-section-too-long"
                           : IsBracketedSection(section, strlen(section)) ? "ini-section-brackets"
                           : !key[0] || strchr(key, '=') ? "ini-key-equals"
                           : strlen(key) + 1 + strlen(value) > kIniLineSize - 1 ? "ini-line-too-long"
                           : entry.size() > kEntryLineSize - 2 || strlen(value) > kIniValueSize - 2
                               ? "line-too-long"
                               : nullptr;
        if (rule)
            return Refuse(rule);
        if (strchr(key, '\\'))
            return Refuse(nullptr, "an INI key holds a backslash: the section would end there");
        return Entry() && Line("", entry.c_str()) && Line("", value);
    }

    // A Registry Path: a root key name in capitals, a backslash, the key path,
    // a backslash and the value name ("(default)" for the unnamed value).
    bool RegistryValue(const char* path)
    {
        static const char* const kRoots[] = {
            "HKEY_CLASSES_ROOT\\", "HKEY_CURRENT_CONFIG\\", "HKEY_CURRENT_USER\\",
            "HKEY_LOCAL_MACHINE\\", "HKEY_USERS\\", "HKEY_PERFORMANCE_DATA\\", "HKEY_DYN_DATA\\"};
        bool rooted = false, rootedIgnoringCase = false;
        for (const char* root : kRoots) {
            rooted = rooted || (strncmp(path, root, strlen(root)) == 0 && path[strlen(root)]);
            rootedIgnoringCase = rootedIgnoringCase || StartsWithNoCase(path, root);
        }
        const char* rule = HasControlByte(path)                       ? "not-text"
                           : rootedIgnoringCase && !rooted            ? "registry-root-case"
                           : !rooted                                  ? "registry-root-unknown"
                           : strlen(strrchr(path, '\\') + 1) > kRegValueNameSize - 1
                               ? "registry-too-long"
                           : strlen(path) + 1 > kEntryLineSize - 2    ? "line-too-long"
                           : !strrchr(path, '\\')[1]                   ? "registry-key-path"
                                                                      : nullptr;
        return rule ? Refuse(rule) : Entry() && Line(":", path);
    }

    // Runs commandLine and waits for it; in workingDirectory, or with an
    // empty one in the directory of the command line (which must then be
    // unquoted and free of separators in its arguments).
    bool Program(const char* commandLine, const char* workingDirectory)
    {
        bool inOwnDirectory = !workingDirectory[0];
        const char* rule =
            HasControlByte(commandLine)                           ? "not-text"
            : !commandLine[0]                                     ? "program-empty"
            : strlen(commandLine) + 1 > kEntryLineSize - 2        ? "line-too-long"
            : commandLine[0] != '"' &&
                      memchr(commandLine, ' ', ProgramNameEnd(commandLine)) ? "program-unquoted"
            : inOwnDirectory && commandLine[0] == '"'             ? "program-quoted"
            : inOwnDirectory && ArgumentsInProgramDirectory(commandLine) ? "program-directory"
            : inOwnDirectory                                      ? nullptr
            : strlen(workingDirectory) + 1 > kProgramDirSize - 2 ? "line-too-long"
                                                                  : PathRule(workingDirectory);
        if (rule)
            return Refuse(rule);
        return Entry() && Line(";", commandLine) && Line(";", workingDirectory) &&
               Line(";", inOwnDirectory ? "" : "1");
    }

    // False when any write failed, or when the log got no header: the
    // uninstaller would read a log without one as the end of its work.
    bool Close()
    {
        if (!file_)
            return writeFailed_ ? Refuse(nullptr, "the log could not be written in full") : true;
        writeFailed_ = fclose(file_) != 0 || writeFailed_;
        file_ = nullptr;
        if (!headerWritten_) {
            remove(path_.c_str());
            return Refuse("header-incomplete");
        }
        return writeFailed_ ? Refuse(nullptr, "the log could not be written in full") : true;
    }

    const char* Error() const { return error_.c_str(); }

private:
    // The rule's id and summary, or the why of a refusal that is no rule.
    bool Refuse(const char* rule, const char* why = nullptr)
    {
        error_ = rule ? std::string(rule) + ": " + FindLogRule(rule)->summary : why;
        return false;
    }

    // The first rule a path breaks, or null.
    static const char* PathRule(const char* path)
    {
        return HasControlByte(path)           ? "path-control"
               : !IsFullPath(path)            ? "relative-path"
               : ForbiddenPathCharacter(path) ? "path-character"
               : HasDoubledSeparator(path)    ? "path-spelling"
               : HasMacroLikePercent(path)    ? "percent-in-path"
               : HasDotStep(path)             ? "dot-dot"
               : strchr(path, '/')            ? "forward-slash"
               : HasShortNameStep(path)       ? "short-name"
                                              : nullptr;
    }

    static std::string Upper(const std::string& text)
    {
        std::string upper(text);
        for (char& c : upper)
            c = AsciiUpper(c);
        return upper;
    }

    // Each file once, and never one that is the directory of another.
    bool LoggedFile(const char* kind, const char* path)
    {
        const char* rule = strlen(kind) + strlen(path) > kEntryLineSize - 2 ? "line-too-long"
                           : PathRule(path)                                ? PathRule(path)
                           : IsOwnFile(path)                               ? "own-file"
                           : IsSeparator(path[strlen(path) - 1])           ? "directory-as-file"
                                                                           : nullptr;
        if (rule)
            return Refuse(rule);
        std::string upper = Upper(path);
        std::string asDirectory = upper + "\\";
        auto below = paths_.lower_bound(asDirectory);
        bool isDirectory =
            below != paths_.end() && below->compare(0, asDirectory.size(), asDirectory) == 0;
        bool inFile = false;
        for (size_t at = upper.find('\\'); at != std::string::npos; at = upper.find('\\', at + 1))
            inFile = inFile || paths_.count(upper.substr(0, at));
        if (isDirectory || inFile)
            return Refuse("directory-as-file");
        if (paths_.count(upper))
            return Refuse(IsInSystemDirectory(path) ? "system-file-twice" : "listed-twice");
        if (!Entry() || !Line(kind, path))
            return false;
        paths_.insert(upper);
        return true;
    }

    bool Entry() { return headerWritten_ && file_ ? true : Refuse(nullptr, "write the header first"); }

    bool Line(const char* kind, const char* text)
    {
        writeFailed_ = writeFailed_ || fprintf(file_, "%s%s\r\n", kind, text) < 0;
        return !writeFailed_ || Refuse(nullptr, "the log could not be written");
    }

    FILE* file_ = nullptr;
    std::string path_;
    bool headerWritten_ = false;
    bool writeFailed_ = false;
    std::set<std::string> paths_;
    std::string error_;
};
