// "%" and a letter inside a path stand for a directory of this machine.
#pragma once

#include <cstddef>

// Path slots of %A, %C and %U; start-up sets %C and %U to the empty text.
extern char g_pathSlotA[260];
extern char g_pathSlotC[260];
extern char g_pathSlotU[260];

// Expands the macros of path in place and collapses runs of backslashes.
// size is the capacity of path; the result is cut to fit it and 259 chars.
void ExpandPathMacros(char* path, size_t size);
