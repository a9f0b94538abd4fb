// The command-line split over arbitrary text: each token is terminated within its buffer, holds
// no quote, comes from the line after the one before, and a stop asked for is obeyed.
#include <algorithm>

#include "fuzz_check.h"
#include "shell/cmdline_tokens.h"

namespace {

struct Split {
    std::string line;
    size_t from, tokens, stopAfter;
};

bool OnToken(const char* token, void* context)
{
    Split& split = *static_cast<Split*>(context);
    CHECK(split.tokens < split.stopAfter);
    std::string text = TerminatedText(token, kTokenSize);
    CHECK(text.find('"') == std::string::npos);
    size_t at = split.line.find(text, split.from);
    CHECK(at != std::string::npos);
    split.from = at + text.size();
    return ++split.tokens < split.stopAfter;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    Fields fields{input, length};
    Split split{"", 0, 0, fields.Number(300) + 1};
    split.line = fields.Text();
    SplitCommandLine(split.line.c_str(), OnToken, &split);
    // A token ends only at a space or a quote, or with the line.
    size_t ends = std::count(split.line.begin(), split.line.end(), ' ') +
                  std::count(split.line.begin(), split.line.end(), '"');
    CHECK(split.tokens <= ends + 1);
    return 0;
}
