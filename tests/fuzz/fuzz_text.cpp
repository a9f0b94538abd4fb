// Arbitrary bytes through the walks over untrusted text, in buffers of exactly their size: byte 0
// is the length of the path after it and the size of the macro output; the rest is a pending list.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "engine/pending_list.h"
#include "paths/macro_text.h"

// Odd letters fill the lookup's whole buffer with themselves and no terminator; even ones give "".
static void LookUpMacro(char letter, char* out, size_t size, void*)
{
    memset(out, letter, letter & 1 ? size : 0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    size_t rest = length ? length - 1 : 0, pathLength = rest && input[0] < rest ? input[0] : rest;
    std::string path(reinterpret_cast<const char*>(input) + 1, pathLength);
    const uint8_t* given = input + 1 + pathLength;
    size_t size = rest - pathLength;
    std::unique_ptr<char[]> list(new char[size]), output(new char[pathLength + 1]);
    bool changed = true, again = true;
    size_t newSize = WithdrawPairsFromList(static_cast<char*>(memcpy(list.get(), given, size)),
                                           size, path.c_str(), &changed);
    // A change shrinks the list, no change leaves every byte, and a second walk finds nothing.
    bool untouched = newSize == size && memcmp(list.get(), given, size) == 0;
    if ((changed ? newSize >= size : !untouched) ||
        WithdrawPairsFromList(list.get(), newSize, path.c_str(), &again) != newSize || again)
        __builtin_trap();
    ExpandMacroText(path.c_str(), output.get(), pathLength + 1, LookUpMacro, nullptr);
    CollapseBackslashRuns(output.get());
    return 0;
}
