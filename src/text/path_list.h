// Walking a list of directories such as the PATH variable's.
#pragma once

#include <cstddef>

// Copies the next directory of a semicolon-separated list into entry and
// moves *list past it; false at the list's end. Empty entries are skipped;
// one that does not fit comes back empty, as a cut one would name another
// directory.
bool NextPathListEntry(const char** list, char* entry, size_t size);
