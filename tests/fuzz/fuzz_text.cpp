// Arbitrary bytes through the walk over a pending list read from the registry, in a buffer of
// exactly its size: byte 0 is the length of the path after it; the rest is the list.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "engine/pending_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    size_t rest = length ? length - 1 : 0, pathLength = rest && input[0] < rest ? input[0] : rest;
    std::string path(reinterpret_cast<const char*>(input) + 1, pathLength);
    const uint8_t* given = input + 1 + pathLength;
    size_t size = rest - pathLength;
    std::unique_ptr<char[]> list(new char[size]);
    memcpy(list.get(), given, size);
    bool changed = true, again = true;
    size_t newSize = WithdrawPairsFromList(list.get(), size, path.c_str(), &changed);
    // A change shrinks the list, no change leaves every byte, and a second walk finds nothing.
    bool untouched = newSize == size && memcmp(list.get(), given, size) == 0;
    if ((changed ? newSize >= size : !untouched) ||
        WithdrawPairsFromList(list.get(), newSize, path.c_str(), &again) != newSize || again)
        __builtin_trap();
    return 0;
}
