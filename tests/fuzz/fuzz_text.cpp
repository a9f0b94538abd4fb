// Arbitrary bytes through the walks over untrusted text. The first byte gives the length of
// the path that follows it and the size of the macro output; the rest is a pending list.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine/pending_list.h"
#include "paths/macro_text.h"

// Odd letters answer with a full buffer of backslashes and no terminator, even ones with text.
static void Lookup(char letter, char* out, size_t size, void* text)
{
    if (letter & 1)
        memset(out, '\\', size);
    else
        strncpy(out, static_cast<const char*>(text), size);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    if (length == 0)
        return 0;
    size_t split = input[0] < length - 1 ? input[0] : length - 1, size = length - 1 - split;
    std::string path(reinterpret_cast<const char*>(input + 1), split);
    std::unique_ptr<char[]> list(new char[size]), output(new char[input[0]]);
    memcpy(list.get(), input + 1 + split, size);
    bool changed = true, again = true;
    size_t newSize = WithdrawPairsFromList(list.get(), size, path.c_str(), &changed);
    // Nothing grows, no change leaves every byte, and a second walk finds nothing more.
    if (newSize > size || changed == (newSize == size) || (!changed && memcmp(list.get(), input + 1 + split, size)) ||
        WithdrawPairsFromList(list.get(), newSize, path.c_str(), &again) != newSize || again)
        abort();
    ExpandMacroText(path.c_str(), output.get(), input[0], Lookup, &path[0]);
    if (input[0] > 0)
        CollapseBackslashRuns(output.get());
    return 0;
}
