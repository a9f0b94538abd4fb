// Editing of the PendingFileRenameOperations multi-string in memory.
#pragma once

#include <cstddef>

// Removes every (source, target) pair whose source, from the character
// before its first colon, equals path (ASCII letters compared without case).
// Never reads past size bytes, whatever data holds. Returns the new size;
// *changed tells whether a pair was removed.
size_t WithdrawPairsFromList(char* data, size_t size, const char* path, bool* changed);
