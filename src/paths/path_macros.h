// "%" and a letter inside a path stand for a directory of this machine.
#pragma once

#include <cstddef>

// Expands the macros of path in place and collapses runs of backslashes.
// size is the capacity of path; the result is cut to fit it and 259 chars.
void ExpandPathMacros(char* path, size_t size);
