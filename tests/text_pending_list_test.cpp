#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/pending_list.h"

namespace {

using Strings = std::vector<std::string>;

// Each string with its terminator, back to back.
std::string Join(const Strings& strings)
{
    std::string data;
    for (const std::string& s : strings) {
        data += s;
        data += '\0';
    }
    return data;
}

// Splits data at its terminators; a last string without one comes back as
// it is, marked with a trailing "<unterminated>".
Strings Split(const std::string& data)
{
    Strings strings;
    size_t start = 0;
    while (start < data.size()) {
        size_t end = data.find('\0', start);
        if (end == std::string::npos) {
            strings.push_back(data.substr(start) + "<unterminated>");
            break;
        }
        strings.push_back(data.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

const size_t kGuard = 16;
const char kSentinel = '\x5a';

// Result of one walk over a heap copy of exactly data.size() bytes, so that
// the sanitizer sees any read past it.
struct Walk {
    std::string data;
    bool changed = false;
    size_t size = 0;
};

Walk Withdraw(const std::string& data, const char* path)
{
    std::unique_ptr<char[]> buffer(new char[data.size() ? data.size() : 1]);
    memcpy(buffer.get(), data.data(), data.size());
    Walk walk;
    walk.changed = true;   // must be overwritten
    walk.size = WithdrawPairsFromList(buffer.get(), data.size(), path, &walk.changed);
    EXPECT_LE(walk.size, data.size());
    walk.data.assign(buffer.get(), walk.size <= data.size() ? walk.size : data.size());
    return walk;
}

}  // namespace

TEST(WithdrawPairsFromList, MatchingPairsGoAndOtherPairsKeepTheirTargets)
{
    std::string data = Join({"\\??\\C:\\App\\x.dll", "",
                             "\\??\\C:\\Other\\old.dat", "!\\??\\C:\\Other\\new.dat",
                             "\\??\\C:\\App\\x.dll", "",
                             "\\??\\C:\\Other\\tmp.dat", "",
                             ""});
    Walk walk = Withdraw(data, "C:\\App\\x.dll");
    EXPECT_TRUE(walk.changed);
    EXPECT_EQ(Split(walk.data), (Strings{"\\??\\C:\\Other\\old.dat", "!\\??\\C:\\Other\\new.dat",
                                         "\\??\\C:\\Other\\tmp.dat", "", ""}));
    EXPECT_EQ(walk.size, data.size() - 2 * (strlen("\\??\\C:\\App\\x.dll") + 2));
}

TEST(WithdrawPairsFromList, NothingMatchingLeavesTheListAlone)
{
    std::string data = Join({"\\??\\C:\\App\\x.dll", "", "\\??\\C:\\App\\y.dll", "", ""});
    for (const char* path : {"C:\\App\\x.dl", "C:\\App\\x.dll.bak", "D:\\App\\x.dll", "",
                             "\\??\\C:\\App\\x.dll"}) {
        Walk walk = Withdraw(data, path);
        EXPECT_FALSE(walk.changed) << path;
        EXPECT_EQ(walk.data, data) << path;
    }
}

TEST(WithdrawPairsFromList, PrefixBeforeTheDriveIsIgnored)
{
    std::string data = Join({"C:\\App\\a.dll", "", "\\??\\C:\\App\\b.dll", "",
                             "anything at all C:\\App\\c.dll", "", ""});
    EXPECT_EQ(Split(Withdraw(data, "C:\\App\\a.dll").data),
              (Strings{"\\??\\C:\\App\\b.dll", "", "anything at all C:\\App\\c.dll", "", ""}));
    EXPECT_EQ(Split(Withdraw(data, "C:\\App\\b.dll").data),
              (Strings{"C:\\App\\a.dll", "", "anything at all C:\\App\\c.dll", "", ""}));
    EXPECT_EQ(Split(Withdraw(data, "C:\\App\\c.dll").data),
              (Strings{"C:\\App\\a.dll", "", "\\??\\C:\\App\\b.dll", "", ""}));
}

TEST(WithdrawPairsFromList, AsciiLetterCaseIsIgnoredOtherBytesAreNot)
{
    std::string lower = Join({"\\??\\c:\\my app\\x.dll", "", ""});
    Walk walk = Withdraw(lower, "C:\\MY APP\\X.DLL");
    EXPECT_TRUE(walk.changed);
    EXPECT_EQ(walk.data, std::string(1, '\0'));

    std::string upper = Join({"\\??\\C:\\MY APP\\X.DLL", "", ""});
    EXPECT_TRUE(Withdraw(upper, "c:\\my app\\x.dll").changed);

    // Latin-1 e-acute against E-acute: not an ASCII letter, so no match.
    std::string accented = Join({"\\??\\C:\\Caf\xe9\\x.dll", "", ""});
    EXPECT_FALSE(Withdraw(accented, "C:\\CAF\xc9\\X.DLL").changed);
    EXPECT_TRUE(Withdraw(accented, "c:\\caf\xe9\\X.DLL").changed);
}

TEST(WithdrawPairsFromList, SourceWithoutColonEndsTheWalk)
{
    std::string data = Join({"\\??\\C:\\App\\x.dll", "",
                             "\\\\server\\share\\f.dat", "",
                             "\\??\\C:\\App\\x.dll", "", ""});
    Walk walk = Withdraw(data, "C:\\App\\x.dll");
    EXPECT_TRUE(walk.changed);
    EXPECT_EQ(Split(walk.data),
              (Strings{"\\\\server\\share\\f.dat", "", "\\??\\C:\\App\\x.dll", "", ""}));
}

TEST(WithdrawPairsFromList, OnlyPairWithdrawnLeavesTheFinalEmptyString)
{
    Walk walk = Withdraw(Join({"\\??\\C:\\App\\x.dll", "", ""}), "C:\\App\\x.dll");
    EXPECT_TRUE(walk.changed);
    EXPECT_EQ(walk.size, 1u);
    EXPECT_EQ(walk.data, std::string(1, '\0'));
}

TEST(WithdrawPairsFromList, MalformedDataIsNeverWalkedPast)
{
    // No final empty string: the pair still goes, nothing is invented.
    Walk noEnd = Withdraw(Join({"C:\\a", "", "C:\\b", "C:\\c"}), "C:\\a");
    EXPECT_TRUE(noEnd.changed);
    EXPECT_EQ(Split(noEnd.data), (Strings{"C:\\b", "C:\\c"}));

    // Odd number of strings: the lone last source has no target and stays.
    Walk odd = Withdraw(Join({"C:\\a", "", "C:\\a"}), "C:\\a");
    EXPECT_TRUE(odd.changed);
    EXPECT_EQ(Split(odd.data), (Strings{"C:\\a"}));

    // A source running to the end without a terminator.
    std::string open = Join({"C:\\b", ""}) + "C:\\a";
    Walk unterminated = Withdraw(open, "C:\\a");
    EXPECT_FALSE(unterminated.changed);
    EXPECT_EQ(unterminated.data, open);

    // A target running to the end: its pair is not withdrawn.
    std::string openTarget = Join({"C:\\a"}) + "C:\\x";
    Walk target = Withdraw(openTarget, "C:\\a");
    EXPECT_FALSE(target.changed);
    EXPECT_EQ(target.data, openTarget);

    // A colon in first place has no character before it to compare.
    std::string leadingColon = Join({":a", "", ""});
    Walk colon = Withdraw(leadingColon, ":a");
    EXPECT_FALSE(colon.changed);
    EXPECT_EQ(colon.data, leadingColon);

    // Only the path's terminator ends a match; the source's colon text cannot
    // run into the next string.
    Walk split = Withdraw(Join({"C:", "\\a", ""}), "C:\\a");
    EXPECT_FALSE(split.changed);

    Walk empty = Withdraw(std::string(), "C:\\a");
    EXPECT_FALSE(empty.changed);
    EXPECT_EQ(empty.size, 0u);

    Walk justEnd = Withdraw(std::string(1, '\0'), "C:\\a");
    EXPECT_FALSE(justEnd.changed);
    EXPECT_EQ(justEnd.size, 1u);
}

TEST(WithdrawPairsFromList, WritesNothingPastTheNewEnd)
{
    std::string data = Join({"\\??\\C:\\App\\x.dll", "", "\\??\\C:\\App\\y.dll", "", ""});
    std::vector<char> buffer(data.size() + kGuard, kSentinel);
    memcpy(buffer.data(), data.data(), data.size());
    bool changed = false;
    size_t size = WithdrawPairsFromList(buffer.data(), data.size(), "C:\\App\\x.dll", &changed);
    EXPECT_TRUE(changed);
    EXPECT_EQ(std::string(buffer.data(), size), Join({"\\??\\C:\\App\\y.dll", "", ""}));
    for (size_t i = data.size(); i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], kSentinel) << "guard byte " << i;
}
