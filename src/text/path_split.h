// Splitting a Windows path into its directory and file name, bounded by the
// path itself (the runtime's _splitpath has fixed 256-byte parts).
#pragma once

#include <cstddef>

// Length of path's drive and directory: up to and including its last
// backslash or slash, or the "X:" of a drive without a directory; 0 if none.
size_t DirectoryPartLength(const char* path);

// Copies path's drive and directory into out; false, with out empty, when
// they do not fit (a cut directory would name another one).
bool CopyDirectoryPart(const char* path, char* out, size_t size);

// Cuts text at its last backslash after the first character, the backslash
// dropped: how emptied directories are climbed. False when there is none.
bool CutAtLastBackslash(char* text);
