#pragma once

#include <cstddef>

// Expands %d (drive: first two characters of installDir), %n ("1"),
// %p (productName) and backslash-n (line feed); "%" with anything else
// vanishes with it. The result is cut to fit outSize bytes.
void ExpandTextEscapes(char* out, size_t outSize, const char* in,
                       const char* installDir, const char* productName);
