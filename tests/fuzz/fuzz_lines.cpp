// Arbitrary bytes through the line reader at any capacity, and through the INI search and copy.
// Every read is terminated within its buffer and holds what it consumed less the line end; the
// count matches the reads; the copy is the input's lines less whole lines equal to the one
// removed, in its section, and a second search finds none.
#include <sstream>

#include "engine/ini_lines.h"
#include "engine/linefile.h"
#include "fuzz_check.h"
#include "text/buf.h"

namespace {

const char kEndOfText = 26;

// The consumed bytes without the line end or Ctrl-Z that ended them.
std::string WithoutLineEnd(std::string raw)
{
    bool lineFeed = !raw.empty() && raw.back() == '\n';
    if (lineFeed || (!raw.empty() && raw.back() == kEndOfText))
        raw.pop_back();
    if (lineFeed && !raw.empty() && raw.back() == '\r')
        raw.pop_back();
    return raw;
}

// Reads bytes to their end at capacity, checking each read; returns the number of reads.
int ReadAll(const std::string& bytes, size_t capacity)
{
    std::istringstream in(bytes);
    auto buffer = ExactBuffer(capacity);
    size_t consumed = 0;
    int reads = 0;
    do {
        ReadTextLine(in, buffer.get(), int(capacity));
        ++reads;
        size_t now = size_t(in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in));
        std::string line = TerminatedText(buffer.get(), capacity);
        std::string read = WithoutLineEnd(bytes.substr(consumed, now - consumed));
        CHECK(StartsWith(read, line) && line.find(kEndOfText) == std::string::npos);
        CHECK(read == line || read.find('\0') != std::string::npos);
        CHECK(now > consumed || !in.good());
        consumed = now;
    } while (in.good());
    CHECK(consumed <= bytes.find(kEndOfText) || consumed == bytes.find(kEndOfText) + 1);
    return reads;
}

void CheckIniCopy(const std::string& bytes, const std::string& header, const std::string& line)
{
    std::istringstream search(bytes), in(bytes);
    bool found = SectionHoldsLine(search, header.c_str(), line.c_str());
    int reads = CountTextLines(in);
    std::ostringstream out;
    CHECK(CopyWithoutLine(in, out, reads, header.c_str(), line.c_str()));
    // Walk the input's lines along the copy: a line not copied must be one to remove.
    std::string copy = out.str();
    std::istringstream again(bytes);
    char text[kIniLineSize];
    size_t at = 0, dropped = 0;
    for (int i = 0; i < reads; ++i) {
        ReadTextLine(again, text, sizeof text);
        std::string written = std::string(text) + "\r\n";
        if (copy.compare(at, written.size(), written) == 0)
            at += written.size();
        else
            CHECK(text[0] != '[' && BufEqualNoCase(text, line.c_str()) && ++dropped);
    }
    CHECK(at == copy.size() && found == (dropped > 0));
    std::istringstream copied(copy);
    CHECK(line.empty() || !SectionHoldsLine(copied, header.c_str(), line.c_str()));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    Fields fields{input, length};
    size_t capacity = fields.Number(1100) + 2;   // capacity 1 reads nothing, ever
    std::string header = "[" + fields.Text() + "]", line = fields.Text(), bytes = fields.Rest();
    ReadAll(bytes, capacity);
    std::istringstream counted(bytes);
    CHECK(CountTextLines(counted) == ReadAll(bytes, 1024) && counted.good() && counted.tellg() == 0);
    CheckIniCopy(bytes, header, line);
    return 0;
}
