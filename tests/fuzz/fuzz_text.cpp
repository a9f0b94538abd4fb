// Property checks of the text routines over arbitrary input. The build compiles this file once
// per target, naming the target's function in FUZZ_TARGET. Outputs go into heap buffers of
// exactly their size, so that the sanitizer sees one byte too far.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "diag/message_table.h"
#include "engine/ini_lines.h"
#include "engine/pending_list.h"
#include "language/text_escapes.h"
#include "paths/macro_text.h"
#include "registry/registry_path.h"
#include "text/buf.h"
#include "text/linefile.h"
#include "text/path_split.h"
#include "uninstall_log/log_entry.h"

using std::string;
using namespace std::placeholders;

#define CHECK(c) \
    ((c) ? void() : (fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #c), abort()))

// The input taken apart; an exhausted input gives 0 and empty texts.
struct Fields {
    const char *at, *end;

    size_t Number(size_t limit)   // from two bytes
    {
        size_t high = at < end ? uint8_t(*at++) : 0;
        return (at < end ? high << 8 | uint8_t(*at++) : high) % limit;
    }
    string Text(size_t most = string::npos)   // up to the next NUL, which goes too
    {
        string text(at, strnlen(at, size_t(end - at)));
        return at = std::min(end, at + text.size() + 1), text.substr(0, most);
    }
    string Rest() { return string(std::exchange(at, end), end); }
};

string TerminatedText(const char* buffer, size_t size)
{
    return CHECK(memchr(buffer, 0, size)), buffer;
}

// A heap buffer of exactly size bytes; Text() is what it holds, terminated within it.
struct Exact {
    size_t size;
    std::unique_ptr<char[]> bytes{new char[size]};
    operator char*() const { return bytes.get(); }
    string Text() const { return TerminatedText(bytes.get(), size); }
};

// What fill leaves in a buffer of size bytes must be what it leaves in one of most bytes, cut
// at size - 1; true when fill's answer says whether it was cut.
bool CheckCut(size_t size, size_t most, const std::function<bool(char*, size_t)>& fill)
{
    Exact cut{size}, whole{most};
    bool complete = fill(cut, size);
    CHECK(fill(whole, most));
    string all = whole.Text();
    CHECK((size ? cut.Text() : "") == all.substr(0, size ? size - 1 : 0));
    return complete == (size > all.size());
}

// Reads bytes to their end at capacity: each read terminated within its buffer and equal, NULs
// included, to what it consumed less the line end; nothing read past a Ctrl-Z. The reads made.
int ReadAll(const string& bytes, size_t capacity)
{
    std::istringstream in(bytes);
    Exact buffer{capacity};
    size_t consumed = 0, now, reads = 0;
    do {
        size_t stored = size_t(ReadTextLine(in, buffer, int(capacity)));
        now = size_t(in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in));
        string read = bytes.substr(consumed, now - consumed);
        size_t end = read.size() && (read.back() == '\n' || read.back() == 26);   // LF, CR LF, ^Z
        end += end && read.back() == '\n' && read.size() > 1 && read[read.size() - 2] == '\r';
        read.resize(read.size() - end);
        CHECK(stored < capacity && string(buffer, stored + 1) == read + '\0' &&
              read.find('\x1a') == read.npos);
        CHECK((now > consumed || !in.good()) && ++reads);
        consumed = now;
    } while (in.good());
    CHECK(consumed <= bytes.find('\x1a') || consumed == bytes.find('\x1a') + 1);
    return int(reads);
}

// The line reader at any capacity and its count. The INI copy is refused for text it would not
// keep whole, else is the lines read less whole ones equal to the line removed in its section;
// a search, before or after, with header and line upper-cased agrees.
void FuzzLineReader(Fields& fields)
{
    size_t capacity = fields.Number(1100) + 2;   // capacity 1 reads nothing, ever
    string header = "[" + fields.Text() + "]", line = fields.Text(), bytes = fields.Rest();
    auto upper = [](string s) { return BufUpperAscii(&s[0]), s; };
    ReadAll(bytes, capacity);
    std::istringstream search(bytes), in(bytes), again(bytes);
    int reads = CountTextLines(in);
    CHECK(reads == ReadAll(bytes, 1024) && in.good() && in.tellg() == 0);
    bool found = SectionHoldsLine(search, upper(header).c_str(), upper(line).c_str());
    std::ostringstream out;
    size_t end = bytes.find('\x1a');
    bool whole = bytes.find('\0') >= end && bytes.find_first_not_of('\x1a', end) == bytes.npos;
    CHECK(CopyWithoutLine(in, out, reads, header.c_str(), line.c_str()) == whole);
    if (!whole)
        return;
    string copy = out.str(), written;
    char text[kIniLineSize];
    size_t at = 0, dropped = 0;
    for (int i = 0; i < reads; ++i) {   // a line read but not copied must be one to remove
        ReadTextLine(again, text, sizeof text);
        if (copy.compare(at, (written = string(text) + "\r\n").size(), written) == 0)
            at += written.size();
        else
            CHECK(text[0] != '[' && BufEqualNoCase(text, line.c_str()) && ++dropped);
    }
    std::istringstream copied(copy);
    CHECK(at == copy.size() && found == (dropped > 0));
    CHECK(line.empty() || !SectionHoldsLine(copied, upper(header).c_str(), upper(line).c_str()));
}

// The first character alone gives an entry's kind; an INI entry splits into section and
// key=value with nothing lost, or is refused as too long; a program's working directory is the
// command's directory or the second line's value, never a cut path.
void FuzzLogEntries(Fields& fields)
{
    size_t sectionSize = fields.Number(300) + 1, dirSize = fields.Number(300) + 1;
    string entry = fields.Text(259), value = fields.Text(1023);
    string second = fields.Text(259), third = fields.Text(127);
    LogEntryKind kind = ClassifyLogEntry(entry.c_str());
    CHECK(kind == ClassifyLogEntry(entry.substr(0, 1).c_str()) &&
          (kind == kFileEntry) == (entry.empty() || !strchr("%&-:;", entry[0])));
    string body = entry.substr(!entry.empty()), given = second.substr(!second.empty());
    size_t slash = body.rfind('\\');
    string key = body.substr(slash + 1);   // the whole body when there is no backslash
    CHECK(entry.empty() || IniEntryHasKey(entry.c_str()) == (slash != body.npos));
    Exact section{sectionSize}, line{kIniLineSize}, dir{dirSize};
    if (!entry.empty() && slash != body.npos &&
        BuildIniRemoval(entry.c_str(), value.c_str(), section, sectionSize, line) ==
            kIniRemovalReady) {
        CHECK(section.Text().size() <= kIniSectionMaxLength &&
              section.Text() + "\\" + key == body && line.Text() == key + "=" + value);
    } else {
        CHECK(entry.empty() || slash == body.npos || slash > kIniSectionMaxLength ||
              slash >= sectionSize || key.size() + 1 + value.size() >= kIniLineSize);
    }
    ProgramWorkingDirectory((";" + body).c_str(), second.c_str(), third.c_str(), dir, dirSize);
    string chosen = dir.Text(), own = body.substr(0, DirectoryPartLength(body.c_str()));
    CHECK(third.size() <= 1 ? chosen.empty() || chosen == own
                            : chosen == given || (chosen.empty() && second.size() > dirSize));
}

// A root only in its exact case; root, separator, subkey, backslash and value name give it back.
void FuzzRegistryPath(Fields& fields)
{
    string path = fields.Text();
    Exact key{kRegRemainderSize}, name{kRegValueNameSize};
    int root = SplitRegistryPath(path.c_str(), key, name);
    string subKey = key.Text(), value = name.Text();
    const char* remainder = "";
    CHECK(root >= -1 && root < kRootCount);
    CHECK(root < 0 ? subKey.empty() && value.empty()
                   : MatchRegistryRoot(path.c_str(), &remainder) == root);
    string rest = remainder, joined = rest.find('\\') == rest.npos ? value : subKey + "\\" + value;
    CHECK(root < 0 || (path.compare(0, 5, "HKEY_") == 0 && path.size() - rest.size() <= 22 &&
                       rest == joined && RegistryRootKeyNumber(root) - 0x80000000 <= 6));
}

// The same text for every macro letter; one that fills the buffer comes without terminator.
void LookUp(char letter, char* out, size_t size, void* context)
{
    auto& [text, count] = *static_cast<std::pair<string, int>*>(context);
    CHECK(size == kMacroTextSize && !out[0] && letter && letter != '%' &&
          letter == UpperAscii(letter) && ++count);
    memcpy(out, text.c_str(), std::min(size, text.size() + 1));
}

// Text escapes and path macros cut to any size (0 included) are the whole result cut, and
// every lookup is made all the same; backslash runs and the directory part.
void FuzzExpansions(Fields& fields)
{
    size_t size = fields.Number(600);
    string dir = fields.Text(), product = fields.Text(), text = fields.Text();
    std::pair<string, int> cut{fields.Text(), 0}, whole = cut, *next = &cut;
    size_t most = text.size() * std::max<size_t>(product.size(), 2) + 1;
    CheckCut(size, most, [&](char* out, size_t n) {
        return ExpandTextEscapes(out, n, text.c_str(), dir.c_str(), product.c_str()), true;
    });
    most = text.size() * std::min<size_t>(cut.first.size() + 2, kMacroTextSize) + 1;
    CheckCut(size, most, [&](char* out, size_t n) {   // with cut's lookups, then whole's
        return ExpandMacroText(text.c_str(), out, n, LookUp, std::exchange(next, &whole)), true;
    });
    CHECK((cut.second == whole.second || !size) && size_t(whole.second) * 2 <= text.size());

    string collapsed = text;   // collapsed in place: read up to its new terminator
    CollapseBackslashRuns(&collapsed[0]);
    auto Unslashed = [](string s) { return s.erase(remove(begin(s), end(s), '\\'), end(s)), s; };
    CHECK(!strstr(collapsed.c_str(), "\\\\") && Unslashed(collapsed.c_str()) == Unslashed(text));

    size_t part = DirectoryPartLength(text.c_str());
    CHECK(part <= text.size() && text.find_first_of("\\/", part) == text.npos);
    Exact directory{size};
    bool copied = CopyDirectoryPart(text.c_str(), directory, size);
    CHECK(copied == (part < size) &&
          (!size || directory.Text() == text.substr(0, copied ? part : 0)));
}

// Only whole pairs whose source names the path leave the list; every other byte, other
// programs' pairs included, stays in order; a second walk finds nothing.
void FuzzPendingList(Fields& fields)
{
    string path = fields.Text(), given = fields.Rest();
    Exact list{given.size()};
    memcpy(list, given.data(), given.size());
    bool changed = true, again = true;
    size_t size = WithdrawPairsFromList(list, given.size(), path.c_str(), &changed);
    CHECK(size <= given.size() && changed == (size < given.size()));
    string result(list, size);
    size_t from = 0, to = 0, source, end;
    while ((source = given.find('\0', from)) < given.size() - 1 &&
           (end = given.find('\0', source + 1) + 1) != 0) {
        const char* colon = strchr(&given[from], ':');
        if (result.compare(to, end - from, given, from, end - from) == 0)
            to += end - from;
        else
            CHECK(colon && colon > &given[from] && BufEqualNoCase(colon - 1, path.c_str()));
        from = end;
    }
    CHECK(result.compare(to, result.npos, given, from, given.npos) == 0 &&
          WithdrawPairsFromList(list, size, path.c_str(), &again) == size && !again);
}

// Message rows with any arguments, and box texts of any message, cut to any size; reported as
// cut exactly when they are.
void FuzzMessages(Fields& fields)
{
    unsigned number = unsigned(fields.Number(kMessageCount + 30));
    size_t size = fields.Number(1100), count = fields.Number(6);
    std::vector<string> texts(count);   // each argument a text or not, and a number
    std::vector<MessageArg> args;
    for (string& text : texts)   // in order: a braced list is read left to right
        args.push_back({fields.Number(2) ? (text = fields.Text()).c_str() : nullptr,
                        int(fields.Number(1 << 16)) - (1 << 15)});
    CHECK(CheckCut(size, 1 << 14, bind(BuildMessage, _1, _2, number, args.data(), int(count))));
    string message = fields.Text();
    CHECK(CheckCut(size, 1 << 14, std::bind(BuildBoxText, _1, _2, message.c_str())));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    const char* at = reinterpret_cast<const char*>(input);
    Fields fields{at, at + length};
    FUZZ_TARGET(fields);
    return 0;
}
