#pragma once

// Removes every line equal to line (ASCII case ignored) from each [section]
// of the INI file at path. The file is replaced only by a complete copy;
// sets the restart-needed flag when a line went.
void RemoveIniLine(const char* section, const char* line, const char* path);
// True when a [section] of the INI file at path holds line, as RemoveIniLine
// would find it; changes nothing.
bool IniFileHoldsLine(const char* section, const char* line, const char* path);

// Fault-injection seam for tests, null in the program: called with the file's path between the
// completed copy and the replace, the one moment no other process can hit on purpose.
extern void (*g_beforeIniReplace)(const char* path);
