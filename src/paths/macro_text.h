// "%" escapes in a path text and the collapse of backslash runs, over plain
// text; the caller supplies what each letter stands for.
#pragma once

#include <cstddef>

// Capacity of the text a lookup may supply for one letter.
enum { kMacroTextSize = 260 };

// Supplies the replacement of "%" and letter in out (size bytes, handed over
// holding the empty text); leaving it empty inserts nothing. The letter is
// upper-cased if it is an ASCII letter and is never '%' or the terminator.
typedef void (*MacroLookup)(char letter, char* out, size_t size, void* context);

// Expands input into output (size bytes): "%%" becomes one percent sign, "%"
// and another character become lookup's text, and a final lone "%" is
// dropped. Replacements are not scanned again. The result is cut at size - 1
// characters; the scan still runs to the end, so every lookup is made.
void ExpandMacroText(const char* input, char* output, size_t size, MacroLookup lookup,
                     void* context);

// Removes in place every backslash that is directly followed by another one.
void CollapseBackslashRuns(char* text);
