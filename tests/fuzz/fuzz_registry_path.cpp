// Registry Path splitting over arbitrary text, into buffers of exactly their size: a known root
// in its exact case, and root, separator, subkey, backslash and value name give the path back.
#include "fuzz_check.h"
#include "registry/registry_path.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length)
{
    Fields fields{input, length};
    std::string path = fields.Text();
    auto key = ExactBuffer(kRegRemainderSize), name = ExactBuffer(kRegValueNameSize);
    int root = SplitRegistryPath(path.c_str(), key.get(), name.get());
    std::string subKey = TerminatedText(key.get(), kRegRemainderSize);
    std::string valueName = TerminatedText(name.get(), kRegValueNameSize);
    const char* remainder = nullptr;
    int match = MatchRegistryRoot(path.c_str(), &remainder);
    CHECK(root >= -1 && root < kRootCount && (root == match || root < 0));
    if (root < 0) {
        CHECK(subKey.empty() && valueName.empty());
        return 0;
    }
    CHECK(StartsWith(path, "HKEY_") && remainder > path.c_str() + 5);
    std::string rest = remainder;
    CHECK(path.size() - rest.size() - 1 <= 21);   // the longest root name
    CHECK(valueName.find('\\') == std::string::npos);
    CHECK(rest == (rest.find('\\') == std::string::npos ? valueName : subKey + "\\" + valueName));
    CHECK(RegistryRootKeyNumber(root) - 0x80000000 <= 6);
    return 0;
}
