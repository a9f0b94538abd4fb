// The rules of the log's entries, over plain text: the kind an entry's first
// character gives, and the parts of INI and program entries.
#pragma once

#include <cstddef>

enum EntryKind { kFileEntry, kServerEntry, kFontEntry, kIniEntry, kRegistryEntry, kProgramEntry };

// Section names longer than this do not fit the header "[name]" of 128 bytes.
enum { kMaxIniSectionLength = 125 };

EntryKind ClassifyEntry(const char* entry);

// True when the INI entry "-section\key" has its backslash; only then does a
// value line follow it.
bool IniEntryHasValueLine(const char* entry);

// Splits "-section\key" at its last backslash and builds the line "key=value".
// False, with nothing to act on, when the section is longer than
// kMaxIniSectionLength or either text does not fit: a cut one would name
// another section or line.
bool SplitIniEntry(const char* entry, const char* value, char* section, size_t sectionSize,
                   char* line, size_t lineSize);

// The value of a program entry's further line: from its second character.
const char* FurtherLineValue(const char* line);

// The directory a program entry's command runs in: the command's own
// directory when the third line's value is empty, else the second line's
// value; the empty text (the current directory) when that does not fit
// (size >= 1).
void ChooseWorkDirectory(const char* commandLine, const char* second, const char* third,
                         char* workDir, size_t size);
