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
#include "text/linefile.h"
#include "uninstall_log/log_entry.h"
#include "engine/pending_list.h"
#include "language/text_escapes.h"
#include "paths/macro_text.h"
#include "registry/registry_path.h"
#include "shell/cmdline_tokens.h"
#include "text/buf.h"
#include "text/path_split.h"

using std::string;

#define CHECK(c) \
    ((c) ? void() : (fprintf(stderr, "%s:%d: failed: %s\n", __FILE__, __LINE__, #c), abort()))

// The input taken apart; an exhausted input gives 0 and empty texts.
struct Fields {
    const char *at, *end;

    size_t Number(size_t limit)   // from two bytes
    {
        size_t n = 0;
        for (int i = 0; i < 2 && at < end; ++i)
            n = n << 8 | uint8_t(*at++);
        return n % limit;
    }
    string Text(size_t most = string::npos)   // up to the next NUL, which goes too
    {
        string text(at, strnlen(at, size_t(end - at)));
        at = std::min(end, at + text.size() + 1);
        return text.substr(0, most);
    }
    string Rest() { return string(std::exchange(at, end), end); }
};

std::unique_ptr<char[]> ExactBuffer(size_t size) { return std::unique_ptr<char[]>(new char[size]); }

string TerminatedText(const char* buffer, size_t size)
{
    CHECK(memchr(buffer, 0, size));
    return buffer;
}

// What fill leaves in a buffer of size bytes must be what it leaves in one of most bytes, cut
// at size - 1; true when fill says the text was whole.
bool CheckCut(size_t size, size_t most, const std::function<bool(char*, size_t)>& fill)
{
    auto cut = ExactBuffer(size), whole = ExactBuffer(most);
    bool complete = fill(cut.get(), size);
    CHECK(fill(whole.get(), most));
    string all = TerminatedText(whole.get(), most);
    string text = size ? TerminatedText(cut.get(), size) : "";
    CHECK(text == all.substr(0, size ? size - 1 : 0));
    return complete == (size > all.size());
}

// Tokens terminated within their buffer, without quotes, found in the line in order; a token
// ends only at a space, a quote or the end; a stop asked for is obeyed.
void FuzzCommandLine(Fields& fields)
{
    struct Split {
        string line;
        size_t from, tokens, stopAfter;
    } split{"", 0, 0, fields.Number(300) + 1};
    split.line = fields.Text();
    SplitCommandLine(split.line.c_str(), [](const char* token, void* context) {
        Split& split = *static_cast<Split*>(context);
        string text = TerminatedText(token, kTokenSize);
        size_t at = split.line.find(text, split.from);
        CHECK(split.tokens < split.stopAfter && text.find('"') == text.npos && at != text.npos);
        split.from = at + text.size();
        return ++split.tokens < split.stopAfter;
    }, &split);
    size_t ends = 1;
    for (char c : split.line)
        ends += c == ' ' || c == '"';
    CHECK(split.tokens <= ends);
}

// Reads bytes to their end at capacity: each read terminated within its buffer and equal, NULs
// included, to what it consumed less the line end; nothing read past a Ctrl-Z. The reads made.
int ReadAll(const string& bytes, size_t capacity)
{
    std::istringstream in(bytes);
    auto buffer = ExactBuffer(capacity);
    size_t consumed = 0, now, reads = 0;
    do {
        size_t stored = size_t(ReadTextLine(in, buffer.get(), int(capacity)));
        now = size_t(in.rdbuf()->pubseekoff(0, std::ios::cur, std::ios::in));
        string read = bytes.substr(consumed, now - consumed);
        size_t end = read.size() && (read.back() == '\n' || read.back() == 26);   // LF, CR LF, ^Z
        end += end && read.back() == '\n' && read.size() > 1 && read[read.size() - 2] == '\r';
        read.resize(read.size() - end);
        CHECK(stored == read.size() && stored < capacity && buffer[stored] == '\0');
        CHECK(!memcmp(buffer.get(), read.data(), stored) && read.find('\x1a') == read.npos);
        CHECK((now > consumed || !in.good()) && ++reads);
        consumed = now;
    } while (in.good());
    CHECK(consumed <= bytes.find('\x1a') || consumed == bytes.find('\x1a') + 1);
    return int(reads);
}

// The line reader at any capacity and its count. The INI copy is refused for text it would not
// keep whole, else is the lines read less whole ones equal to the line removed in its section,
// and a second search finds none.
void FuzzLineReader(Fields& fields)
{
    size_t capacity = fields.Number(1100) + 2;   // capacity 1 reads nothing, ever
    string header = "[" + fields.Text() + "]", line = fields.Text(), bytes = fields.Rest();
    ReadAll(bytes, capacity);
    std::istringstream search(bytes), in(bytes), again(bytes);
    int reads = CountTextLines(in);
    CHECK(reads == ReadAll(bytes, 1024) && in.good() && in.tellg() == 0);
    bool found = SectionHoldsLine(search, header.c_str(), line.c_str());
    std::ostringstream out;
    size_t end = bytes.find('\x1a');
    bool whole = bytes.find('\0') >= end && bytes.find_first_not_of('\x1a', end) == bytes.npos;
    CHECK(CopyWithoutLine(in, out, reads, header.c_str(), line.c_str()) == whole);
    if (!whole)
        return;
    string copy = out.str();
    char text[kIniLineSize];
    size_t at = 0, dropped = 0;
    for (int i = 0; i < reads; ++i) {   // a line read but not copied must be one to remove
        ReadTextLine(again, text, sizeof text);
        string written = string(text) + "\r\n";
        if (copy.compare(at, written.size(), written) == 0)
            at += written.size();
        else
            CHECK(text[0] != '[' && BufEqualNoCase(text, line.c_str()) && ++dropped);
    }
    std::istringstream copied(copy);
    CHECK(at == copy.size() && found == (dropped > 0));
    CHECK(line.empty() || !SectionHoldsLine(copied, header.c_str(), line.c_str()));
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
    CHECK(kind == ClassifyLogEntry(entry.substr(0, 1).c_str()));
    CHECK((kind == kFileEntry) == (entry.empty() || !strchr("%&-:;", entry[0])));
    string body = entry.substr(!entry.empty());
    size_t slash = body.rfind('\\');
    string key = body.substr(slash + 1);   // the whole body when there is no backslash
    CHECK(entry.empty() || IniEntryHasKey(entry.c_str()) == (slash != body.npos));
    auto section = ExactBuffer(sectionSize), line = ExactBuffer(kIniLineSize);
    if (!entry.empty() && slash != body.npos &&
        BuildIniRemoval(entry.c_str(), value.c_str(), section.get(), sectionSize, line.get()) ==
            kIniRemovalReady) {
        string name = TerminatedText(section.get(), sectionSize);
        CHECK(name.size() <= kIniSectionMaxLength && name + "\\" + key == body);
        CHECK(TerminatedText(line.get(), kIniLineSize) == key + "=" + value);
    } else {
        CHECK(entry.empty() || slash == body.npos || slash > kIniSectionMaxLength ||
              slash >= sectionSize || key.size() + 1 + value.size() >= kIniLineSize);
    }
    auto dir = ExactBuffer(dirSize);
    ProgramWorkingDirectory((";" + body).c_str(), second.c_str(), third.c_str(), dir.get(),
                            dirSize);
    string chosen = TerminatedText(dir.get(), dirSize);
    if (third.size() <= 1)
        CHECK(chosen.empty() || chosen == body.substr(0, DirectoryPartLength(body.c_str())));
    else
        CHECK(chosen == second.substr(!second.empty()) ||
              (chosen.empty() && second.size() > dirSize));
}

// A root only in its exact case; root, separator, subkey, backslash and value name give the
// path back.
void FuzzRegistryPath(Fields& fields)
{
    string path = fields.Text();
    auto key = ExactBuffer(kRegRemainderSize), name = ExactBuffer(kRegValueNameSize);
    int root = SplitRegistryPath(path.c_str(), key.get(), name.get());
    string subKey = TerminatedText(key.get(), kRegRemainderSize);
    string value = TerminatedText(name.get(), kRegValueNameSize);
    const char* remainder = "";
    CHECK(root >= -1 && root < kRootCount);
    CHECK(root < 0 ? subKey.empty() && value.empty()
                   : MatchRegistryRoot(path.c_str(), &remainder) == root);
    string rest = remainder, joined = rest.find('\\') == rest.npos ? value : subKey + "\\" + value;
    CHECK(root < 0 || (path.compare(0, 5, "HKEY_") == 0 && path.size() - rest.size() <= 22));
    CHECK(root < 0 || (rest == joined && RegistryRootKeyNumber(root) - 0x80000000 <= 6));
}

// The same text for every macro letter; one that fills the buffer comes without terminator.
void LookUp(char letter, char* out, size_t size, void* context)
{
    auto& [text, count] = *static_cast<std::pair<string, int>*>(context);
    bool lower = letter >= 'a' && letter <= 'z';
    CHECK(size == kMacroTextSize && !out[0] && letter && letter != '%' && !lower);
    ++count;
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
        ExpandTextEscapes(out, n, text.c_str(), dir.c_str(), product.c_str());
        return true;
    });
    most = text.size() * std::min<size_t>(cut.first.size() + 2, kMacroTextSize) + 1;
    CheckCut(size, most, [&](char* out, size_t n) {   // with cut's lookups, then whole's
        ExpandMacroText(text.c_str(), out, n, LookUp, std::exchange(next, &whole));
        return true;
    });
    CHECK((cut.second == whole.second || !size) && size_t(whole.second) * 2 <= text.size());

    string collapsed = text;
    CollapseBackslashRuns(&collapsed[0]);
    collapsed.resize(strlen(collapsed.c_str()));
    auto Unslashed = [](string s) {
        s.erase(std::remove(s.begin(), s.end(), '\\'), s.end());
        return s;
    };
    CHECK(collapsed.find("\\\\") == text.npos && Unslashed(collapsed) == Unslashed(text));

    size_t part = DirectoryPartLength(text.c_str());
    CHECK(part <= text.size() && text.find_first_of("\\/", part) == text.npos);
    auto directory = ExactBuffer(size);
    bool copied = CopyDirectoryPart(text.c_str(), directory.get(), size);
    CHECK(copied == (part < size) &&
          (!size || TerminatedText(directory.get(), size) == text.substr(0, copied ? part : 0)));
}

// Only whole pairs whose source names the path leave the list; every other byte, other
// programs' pairs included, stays in order; a second walk finds nothing.
void FuzzPendingList(Fields& fields)
{
    string path = fields.Text(), given = fields.Rest();
    auto list = ExactBuffer(given.size());
    memcpy(list.get(), given.data(), given.size());
    bool changed = true, again = true;
    size_t size = WithdrawPairsFromList(list.get(), given.size(), path.c_str(), &changed);
    CHECK(size <= given.size() && changed == (size < given.size()));
    string result(list.get(), size);
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
    CHECK(result.compare(to, result.npos, given, from, given.npos) == 0);
    CHECK(WithdrawPairsFromList(list.get(), size, path.c_str(), &again) == size && !again);
}

// Message rows with any arguments, and box texts of any message, cut to any size; reported as
// cut exactly when they are.
void FuzzMessages(Fields& fields)
{
    unsigned number = unsigned(fields.Number(kMessageCount + 30));
    size_t size = fields.Number(1100), count = fields.Number(6);
    std::vector<string> texts(count);
    std::vector<MessageArg> args(count);
    for (size_t i = 0; i < count; ++i) {
        bool text = fields.Number(2);
        texts[i] = text ? fields.Text() : "";
        args[i] = {text ? texts[i].c_str() : nullptr, int(fields.Number(1 << 16)) - (1 << 15)};
    }
    CHECK(CheckCut(size, 1 << 14, [&](char* out, size_t n) {
        return BuildMessage(out, n, number, args.data(), int(count));
    }));
    string message = fields.Text();
    CHECK(CheckCut(size, 1 << 14, [&](char* out, size_t n) {
        return BuildBoxText(out, n, message.c_str());
    }));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    const char* at = reinterpret_cast<const char*>(input);
    Fields fields{at, at + length};
    FUZZ_TARGET(fields);
    return 0;
}
