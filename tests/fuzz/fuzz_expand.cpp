// Text escapes, path macros, backslash runs and the directory part over arbitrary text, into
// buffers of exactly their size (0 included): a result that does not fit is the whole result cut
// at size - 1, terminated within the buffer, and every lookup is made all the same.
#include <algorithm>

#include "fuzz_check.h"
#include "language/text_escapes.h"
#include "paths/macro_text.h"
#include "text/path_split.h"

namespace {

struct Lookups {
    std::string text;
    int count;
};

// Supplies the same text for every letter; one that fills the buffer comes without terminator.
void LookUp(char letter, char* out, size_t size, void* context)
{
    Lookups& lookups = *static_cast<Lookups*>(context);
    CHECK(size == kMacroTextSize && out[0] == '\0');
    CHECK(letter != '%' && letter != '\0' && !(letter >= 'a' && letter <= 'z'));
    ++lookups.count;
    memcpy(out, lookups.text.c_str(), std::min(size, lookups.text.size() + 1));
}

// What expand(buffer, size) leaves in a buffer of exactly size bytes; "-" for size 0, where
// nothing may be written.
template <typename Expand>
std::string Into(size_t size, Expand expand)
{
    auto buffer = ExactBuffer(size);
    expand(buffer.get(), size);
    return size ? TerminatedText(buffer.get(), size) : "-";
}

void CheckCut(const std::string& cut, const std::string& whole, size_t size)
{
    CHECK(size == 0 ? cut == "-" : cut == whole.substr(0, size - 1));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    Fields fields{input, length};
    size_t size = fields.Number(600);
    std::string dir = fields.Text(), product = fields.Text(), text = fields.Text();
    Lookups small{fields.Text(), 0}, whole{small.text, 0};

    size_t most = text.size() * std::max<size_t>(product.size(), 2) + 1;
    auto escape = [&](char* out, size_t n) {
        ExpandTextEscapes(out, n, text.c_str(), dir.c_str(), product.c_str());
    };
    CheckCut(Into(size, escape), Into(most, escape), size);

    most = text.size() * kMacroTextSize + 1;
    std::string expanded = Into(most, [&](char* out, size_t n) {
        ExpandMacroText(text.c_str(), out, n, LookUp, &whole);
    });
    CheckCut(Into(size, [&](char* out, size_t n) {
        ExpandMacroText(text.c_str(), out, n, LookUp, &small);
    }), expanded, size);
    CHECK((small.count == whole.count || size == 0) && size_t(whole.count) * 2 <= text.size());

    std::string collapsed = text;
    CollapseBackslashRuns(&collapsed[0]);
    collapsed.resize(strlen(collapsed.c_str()));
    CHECK(collapsed.find("\\\\") == std::string::npos);
    auto NoBackslashes = [](std::string s) {
        s.erase(std::remove(s.begin(), s.end(), '\\'), s.end());
        return s;
    };
    CHECK(NoBackslashes(collapsed) == NoBackslashes(text));

    size_t part = DirectoryPartLength(text.c_str());
    CHECK(part <= text.size() && text.find_first_of("\\/", part) == std::string::npos);
    auto directory = ExactBuffer(size);
    bool copied = CopyDirectoryPart(text.c_str(), directory.get(), size);
    CHECK(copied == (part < size));
    CHECK(!size || TerminatedText(directory.get(), size) == (copied ? text.substr(0, part) : ""));
    return 0;
}
