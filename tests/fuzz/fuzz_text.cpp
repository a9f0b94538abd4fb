// Arbitrary bytes through the walks over untrusted text, in buffers of exactly their size: byte 0 is
// the length of the path after it and the size of the macro output; the rest is a pending list.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "engine/pending_list.h"
#include "paths/macro_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    size_t rest = length ? length - 1 : 0, split = rest && input[0] < rest ? input[0] : rest, size = rest - split;
    std::string path(reinterpret_cast<const char*>(input) + 1, split);
    std::unique_ptr<char[]> list(new char[size]), output(new char[split + 1]);
    bool changed = true, again = true;
    size_t newSize = WithdrawPairsFromList(static_cast<char*>(memcpy(list.get(), input + 1 + split, size)), size,
                                           path.c_str(), &changed);
    // Nothing grows, no change leaves every byte, and a second walk finds nothing more.
    if (newSize > size || changed == (newSize == size) || (!changed && memcmp(list.get(), input + 1 + split, size)) ||
        WithdrawPairsFromList(list.get(), newSize, path.c_str(), &again) != newSize || again)
        __builtin_trap();
    // Odd letters answer with a full buffer of backslashes and no terminator, even ones with the path.
    ExpandMacroText(path.c_str(), output.get(), split + 1, [](char letter, char* out, size_t room, void* text) {
        letter & 1 ? (void)memset(out, '\\', room) : (void)strncpy(out, static_cast<char*>(text), room);
    }, &path[0]);
    CollapseBackslashRuns(output.get());
    return 0;
}
