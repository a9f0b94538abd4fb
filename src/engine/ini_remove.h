#pragma once

// Removes every line equal to line (ASCII case ignored) from each [section]
// of the INI file at path. The file is replaced only by a complete copy;
// sets the restart-needed flag when a line went.
void RemoveIniLine(const char* section, const char* line, const char* path);
// True when a [section] of the INI file at path holds line, as RemoveIniLine
// would find it; changes nothing.
bool IniFileHoldsLine(const char* section, const char* line, const char* path);
