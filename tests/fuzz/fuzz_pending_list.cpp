// Feeds arbitrary list data to the withdrawal walk. The first byte gives the
// length of the path that follows it; the rest is the list, copied into a
// buffer of exactly its size so that any read past it is caught.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "engine/pending_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    if (length == 0)
        return 0;
    size_t pathLength = input[0] < length - 1 ? input[0] : length - 1;
    std::string path(reinterpret_cast<const char*>(input + 1), pathLength);
    size_t size = length - 1 - pathLength;
    const uint8_t* list = input + 1 + pathLength;

    std::unique_ptr<char[]> data(new char[size ? size : 1]);
    memcpy(data.get(), list, size);
    bool changed = true;
    size_t newSize = WithdrawPairsFromList(data.get(), size, path.c_str(), &changed);

    if (newSize > size)
        abort();
    if (!changed && (newSize != size || memcmp(data.get(), list, size) != 0))
        abort();
    if (changed && newSize == size)
        abort();
    // Every matching pair before the walk's stop went in one go, so a second
    // walk over the result finds nothing more.
    bool again = true;
    if (WithdrawPairsFromList(data.get(), newSize, path.c_str(), &again) != newSize || again)
        abort();
    return 0;
}
