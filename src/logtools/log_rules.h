// The rules of uninstall.log and lang.ini: every way a line can be written
// that the uninstaller would not carry out as meant. uninstall-check reports
// them and UninstallLogWriter refuses them, both from this one table and
// these tests, so the two cannot drift apart. Each rule is explained in
// docs/rules.md under its id. Header-only and free of Windows headers.
#pragma once

#include <cstring>

enum FindingSeverity { kWarning, kError };

struct LogRule {
    const char* id;   // stable: vendors silence and baseline findings by it
    FindingSeverity severity;
    const char* summary;
};

inline constexpr LogRule kLogRules[] = {
    {"not-text", kError, "a byte that is not text"},
    {"utf16", kError, "the file is UTF-16, not ANSI text"},
    {"byte-order-mark", kError, "a UTF-8 byte-order mark at the start of the file"},
    {"line-too-long", kError, "a line longer than the uninstaller reads"},
    {"no-line-end", kError, "the last line has no line end"},
    {"header-incomplete", kError, "the log ends within its header"},
    {"header-language", kError, "the language names no section of lang.ini"},
    {"header-product-key", kError, "the product key is empty or holds a backslash"},
    {"empty-entry", kWarning, "an empty line, read as a file entry"},
    {"relative-path", kError, "a path that is not a full path"},
    {"path-control", kError, "a control character (such as TAB) in a path"},
    {"path-character", kError, "a path with a character no file name holds (< > : \" | ? *)"},
    {"path-spelling", kWarning, "a path with a doubled separator"},
    {"percent-in-path", kWarning, "a path with a macro-like %"},
    {"dot-dot", kWarning, "a path with . or .. steps"},
    {"forward-slash", kWarning, "a path separated with /"},
    {"short-name", kWarning, "a path with a short (8.3) name step such as PROGRA~1"},
    {"directory-as-file", kError, "a directory listed as a file"},
    {"listed-twice", kWarning, "a file listed twice"},
    {"system-file-twice", kError, "a file in a system directory listed twice"},
    {"own-file", kError, "lang.ini, uninstall.log or uninstall.exe listed as an entry"},
    {"registry-root-case", kError, "a registry root key name not in capitals"},
    {"registry-root-unknown", kError, "a registry path without a known root key"},
    {"registry-too-long", kError, "a registry value name that is too long"},
    {"registry-key-path", kWarning, "a registry path ending in a backslash, with no value name"},
    {"ini-no-backslash", kError, "an INI entry without a backslash between section and key"},
    {"ini-no-value", kError, "an INI entry without its value line"},
    {"ini-section-too-long", kError, "an INI section name that is too long"},
    {"ini-line-too-long", kError, "an INI line (key=value) that is too long"},
    {"ini-section-brackets", kError, "an INI section name written with its brackets"},
    {"ini-key-equals", kError, "an INI key holding = (or empty)"},
    {"entry-incomplete", kError, "a program entry without its further lines"},
    {"further-line-marker", kWarning, "a program entry's further line without ;"},
    {"program-empty", kError, "a program entry with an empty command line"},
    {"program-unquoted", kWarning, "a program path with a space, not in quotes"},
    {"program-quoted", kError, "a quoted command line run in its own directory"},
    {"program-directory", kError, "a command line with arguments run in its own directory"},
    {"lang-missing", kError, "no lang.ini"},
    {"text-missing", kError, "a language section lacks shown texts"},
    {"text-escape", kError, "a text that the text escapes change"},
    {"text-too-long", kError, "a text longer than the buffer that receives it"},
};

inline const LogRule* FindLogRule(const char* id)
{
    for (const LogRule& rule : kLogRules)
        if (strcmp(rule.id, id) == 0)
            return &rule;
    return nullptr;
}

// --- Tests on the text of one line, for the checker and the writer alike.

inline bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

inline bool IsAsciiLetter(char c)
{
    return (c | 0x20) >= 'a' && (c | 0x20) <= 'z';
}

inline char AsciiUpper(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// A drive and a separator, or \\server\share: Windows takes / for \ here.
inline bool IsFullPath(const char* path)
{
    return (IsAsciiLetter(path[0]) && path[1] == ':' && IsSeparator(path[2])) ||
           (IsSeparator(path[0]) && IsSeparator(path[1]));
}

inline bool HasControlByte(const char* text)
{
    for (; *text; ++text)
        if (static_cast<unsigned char>(*text) < 32)
            return true;
    return false;
}

// A character Windows refuses in file names; a colon only as the drive's,
// ? only in the \\?\ prefix of a long path.
inline const char* ForbiddenPathCharacter(const char* path)
{
    const char* rest = path + 4 * (strncmp(path, "\\\\?\\", 4) == 0);
    rest += 2 * (IsAsciiLetter(rest[0]) && rest[1] == ':');
    return strpbrk(rest, "<>:\"|?*");
}

// Two separators in a row past a leading \\: the uninstaller compares paths
// as text, so this spelling of a directory is some other directory to it.
inline bool HasDoubledSeparator(const char* path)
{
    for (const char* p = path + 2 * IsSeparator(path[0]); *p; ++p)
        if (IsSeparator(p[0]) && IsSeparator(p[1]))
            return true;
    return false;
}

// A step that is . or .. between separators.
inline bool HasDotStep(const char* path)
{
    for (const char* p = path; *p; ++p) {
        bool starts = p == path || IsSeparator(p[-1]);
        size_t dots = p[0] == '.' ? (p[1] == '.' ? 2 : 1) : 0;
        if (starts && dots && (p[dots] == '\0' || IsSeparator(p[dots])))
            return true;
    }
    return false;
}

// A step shortened to 8.3 form: a ~ and a digit within its first eight characters.
inline bool HasShortNameStep(const char* path)
{
    int column = 0;
    for (const char* p = path; *p; ++p) {
        column = IsSeparator(*p) ? 0 : column + 1;
        if (*p == '~' && p[1] >= '1' && p[1] <= '9' && column > 1 && column <= 7)
            return true;
    }
    return false;
}

// A % that reads like a path macro (%W, %%): the log's paths are not expanded.
inline bool HasMacroLikePercent(const char* path)
{
    for (const char* p = strchr(path, '%'); p; p = strchr(p + 1, '%'))
        if (IsAsciiLetter(p[1]) || p[1] == '%')
            return true;
    return false;
}

// The file name: the text after the last separator.
inline const char* FileNamePart(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (IsSeparator(*p))
            name = p + 1;
    return name;
}

// ASCII letters without case, every other byte as it is.
inline bool StartsWithNoCase(const char* text, const char* start)
{
    for (; *start; ++text, ++start)
        if (AsciiUpper(*text) != AsciiUpper(*start))
            return false;
    return true;
}

inline bool EqualNoCase(const char* a, const char* b)
{
    return strlen(a) == strlen(b) && StartsWithNoCase(a, b);
}

// The files the uninstaller itself reads, runs from, or deletes at the end.
inline bool IsOwnFile(const char* path)
{
    static const char* const kOwnFiles[] = {"lang.ini", "uninstall.log", "uninstall.exe"};
    for (const char* own : kOwnFiles)
        if (EqualNoCase(FileNamePart(path), own))
            return true;
    return false;
}

// A file directly in a directory named like Windows' system directory,
// whose SharedDLLs counter the uninstaller counts down once per entry.
inline bool IsInSystemDirectory(const char* path)
{
    static const char* const kSystemDirectories[] = {"system32", "system", "syswow64"};
    const char* name = FileNamePart(path);
    const char* directory = name - 1;
    while (directory > path && !IsSeparator(directory[-1]))
        --directory;
    for (const char* system : kSystemDirectories)
        if (name > path && size_t(name - 1 - directory) == strlen(system) &&
            StartsWithNoCase(directory, system))
            return true;
    return false;
}

// Where the program's name ends in a command line: after an executable's
// extension followed by a space, else before the first option or quote.
inline size_t ProgramNameEnd(const char* commandLine)
{
    static const char* const kExtensions[] = {".exe ", ".com ", ".bat ", ".cmd "};
    for (const char* p = commandLine; *p; ++p)
        for (const char* extension : kExtensions)
            if (StartsWithNoCase(p, extension))
                return size_t(p + 4 - commandLine);
    for (const char* p = commandLine; *p; ++p)
        if (p[0] == ' ' && (p[1] == '/' || p[1] == '-' || p[1] == '"'))
            return size_t(p - commandLine);
    return strlen(commandLine);
}

// With an empty directory flag the program runs in the directory part of
// its whole command line; arguments holding a separator then make that part
// no directory at all.
inline bool ArgumentsInProgramDirectory(const char* commandLine)
{
    return size_t(FileNamePart(commandLine) - commandLine) > ProgramNameEnd(commandLine);
}

// An INI section written as [section]: the uninstaller adds the brackets.
inline bool IsBracketedSection(const char* section, size_t length)
{
    return length > 0 && (section[0] == '[' || section[length - 1] == ']');
}
