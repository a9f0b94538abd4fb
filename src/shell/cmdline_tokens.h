// Splits a command line into tokens the way this program reads its own
// command line: only spaces separate, double quotes group and are dropped.
#pragma once

#include <cstddef>

enum { kTokenSize = 260 };

// Called for every token in order; return false to stop the split.
typedef bool (*TokenHandler)(const char* token, void* context);

void SplitCommandLine(const char* line, TokenHandler onToken, void* context);
