#pragma once

#include <cstddef>

// Removes every line equal to line (ASCII case ignored) from each [section]
// of the INI file at path. The file is replaced only by a complete copy;
// sets the restart-needed flag when a line went.
void RemoveIniLine(const char* section, const char* line, const char* path);
// True when a [section] of the INI file at path holds line, as RemoveIniLine
// would find it; changes nothing.
bool IniFileHoldsLine(const char* section, const char* line, const char* path);

// The system.ini that logged INI lines are removed from: in the Windows
// directory, path macros expanded as in every path the start-up builds.
void BuildSystemIniPath(char* path, size_t size);

#ifdef UNINSTALLER_TEST_SEAMS
// The test build's fault injection, absent from the program: called with the
// file's path between the completed copy and the replace, the one moment no
// other process can hit on purpose.
extern void (*g_beforeIniReplace)(const char* path);
#endif
