// Arbitrary bytes through the withdrawal from the pending-rename list, in a buffer of exactly its
// size: the first field is the path, the rest the list. Only whole pairs whose source names the
// path go; every other byte, another program's pairs included, stays in order.
#include "engine/pending_list.h"
#include "fuzz_check.h"
#include "text/buf.h"

namespace {

// Where the pair at pos ends, past its target's terminator; npos when it is no whole pair.
size_t PairEnd(const std::string& list, size_t pos)
{
    size_t source = list.find('\0', pos);
    if (source == std::string::npos || source + 1 >= list.size())
        return std::string::npos;
    size_t target = list.find('\0', source + 1);
    return target == std::string::npos ? target : target + 1;
}

bool SourceNamesPath(const char* source, const std::string& path)
{
    const char* colon = strchr(source, ':');
    return colon && colon > source && BufEqualNoCase(colon - 1, path.c_str());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    Fields fields{input, length};
    std::string path = fields.Text(), given = fields.Rest();
    auto list = ExactBuffer(given.size());
    memcpy(list.get(), given.data(), given.size());
    bool changed = true, again = true;
    size_t newSize = WithdrawPairsFromList(list.get(), given.size(), path.c_str(), &changed);
    CHECK(newSize <= given.size() && changed == (newSize < given.size()));
    std::string result(list.get(), newSize);
    size_t from = 0, to = 0, end;
    while ((end = PairEnd(given, from)) != std::string::npos) {
        if (result.compare(to, end - from, given, from, end - from) == 0)
            to += end - from;
        else
            CHECK(SourceNamesPath(given.c_str() + from, path));
        from = end;
    }
    CHECK(result.compare(to, std::string::npos, given, from, std::string::npos) == 0);
    // A second walk finds nothing more.
    CHECK(WithdrawPairsFromList(list.get(), newSize, path.c_str(), &again) == newSize && !again);
    return 0;
}
