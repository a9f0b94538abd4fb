// The format of uninstall.log: the buffers its lines are read into, the
// limits of what an entry may hold, how a line's first character picks its
// kind and how an entry's parts are taken apart. The worker, the start-up
// and the registry, INI and language code take their sizes from here, and
// uninstall-check reports against the same numbers.
#pragma once

#include <cstddef>

// Capacities of the line reads, terminator included: a line must stay
// shorter than its capacity less one, or it is cut there.
enum LogLineCapacity {
    kProductNameSize = 1024,
    kProductKeySize = 128,
    kLanguageNameSize = 1024,
    kEntryLineSize = 260,
    kIniValueSize = 1024,
    kProgramDirSize = 260,
    kProgramFlagSize = 128,
};

enum LogLimit {
    kIniSectionMaxLength = 125,                 // its header "[...]" fills kIniHeaderSize
    kIniHeaderSize = kIniSectionMaxLength + 3,
    kIniLineSize = 1024,                        // "key=value"
    kRegistryValueNameMaxLength = 99,           // a registry entry's value name
    kLanguageNameMaxLength = 103,               // what the current language holds of the name
};

enum LogEntryKind {
    kFileEntry,       // C:\path\file
    kServerEntry,     // %C:\path\module.dll: unregistered, then deleted
    kFontEntry,       // &C:\path\font.ttf: out of the font table, then deleted
    kIniEntry,        // -section\key, then the value line
    kRegistryEntry,   // :HKEY_...\Key\Value
    kProgramEntry,    // ;command line, ;working directory, ;flag
};

LogEntryKind ClassifyLogEntry(const char* line);

// The path of a file, server or font entry.
const char* LoggedFilePath(const char* line);

// True when an INI entry has a backslash after its '-': only then is its
// value line read and the entry acted upon.
bool IniEntryHasKey(const char* line);

enum IniRemoval { kIniRemovalReady, kIniSectionTooLong, kIniLineTooLong };

// Section (size >= 126 bytes) and "key=value" (kIniLineSize bytes) of an
// INI entry with a key. Anything but kIniRemovalReady means the entry is
// skipped: a cut section or line would name some other one.
IniRemoval BuildIniRemoval(const char* line, const char* value, char* section, size_t sectionSize,
                           char* iniLine);

// The value of a program entry's further line: from its second character on.
const char* FurtherLineValue(const char* line);

// Working directory of a program entry: with an empty flag the drive and
// directory of the command line, else the second line's value. Empty means
// the uninstaller's current directory, as when the value does not fit.
void ProgramWorkingDirectory(const char* line, const char* second, const char* third, char* out,
                             size_t size);
