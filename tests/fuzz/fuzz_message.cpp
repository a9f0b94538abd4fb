// Message rows with arbitrary arguments, and box texts of arbitrary messages, into buffers of
// exactly their size: a message that does not fit is the whole one cut at size - 1, terminated
// within the buffer, and reported as cut.
#include <vector>

#include "diag/message_table.h"
#include "fuzz_check.h"

namespace {

// Builds into a buffer of size bytes; the text, or "-" for size 0, and whether it was whole.
template <typename Build>
std::pair<std::string, bool> Into(size_t size, Build build)
{
    auto buffer = ExactBuffer(size);
    bool whole = build(buffer.get(), size);
    return {size ? TerminatedText(buffer.get(), size) : "-", whole};
}

template <typename Build>
void CheckCut(size_t size, size_t most, Build build)
{
    auto whole = Into(most, build), cut = Into(size, build);
    CHECK(whole.second);
    CHECK(size == 0 ? cut.first == "-" : cut.first == whole.first.substr(0, size - 1));
    CHECK(cut.second == (size > whole.first.size()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    Fields fields{input, length};
    unsigned number = unsigned(fields.Number(kMessageCount + 30));
    size_t size = fields.Number(1100), count = fields.Number(6);
    std::vector<std::string> texts(count);
    std::vector<MessageArg> args(count);
    size_t most = 1024;
    for (size_t i = 0; i < count; ++i) {
        if (fields.Number(2)) {
            texts[i] = fields.Text();
            args[i] = {texts[i].c_str(), 0};
        } else {
            args[i] = {nullptr, int(fields.Number(1u << 16)) - 32768};
        }
        most += texts[i].size() + 12;
    }
    CheckCut(size, most, [&](char* out, size_t n) {
        return BuildMessage(out, n, number, args.data(), int(count));
    });
    std::string message = fields.Text();
    CheckCut(size, message.size() + 1024, [&](char* out, size_t n) {
        return BuildBoxText(out, n, message.c_str());
    });
    return 0;
}
