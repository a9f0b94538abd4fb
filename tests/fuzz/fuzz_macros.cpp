// Feeds arbitrary text through the macro expansion and the backslash
// collapse with small output buffers; the sanitizers catch any overrun.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "paths/macro_text.h"

static void FuzzLookup(char letter, char* out, size_t size, void* context)
{
    const std::string& replacement = *static_cast<const std::string*>(context);
    if (letter == 'F')
        memset(out, '\\', size);
    else if (letter >= 'A' && letter <= 'Z')
        strncpy(out, replacement.c_str(), size);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    size_t outputSize = data[0] % 300;
    std::string input(reinterpret_cast<const char*>(data + 1), size - 1);
    std::string replacement = input.substr(0, input.size() / 3);
    std::vector<char> output(outputSize);
    ExpandMacroText(input.c_str(), output.data(), output.size(), FuzzLookup, &replacement);
    if (outputSize > 0) {
        size_t before = strlen(output.data());
        CollapseBackslashRuns(output.data());
        if (strlen(output.data()) > before)
            __builtin_trap();
    }
    return 0;
}
