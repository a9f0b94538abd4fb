#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/pending_list.h"

namespace {

// Each string with its terminator, back to back.
std::string Join(const std::vector<std::string>& strings)
{
    std::string data;
    for (const std::string& s : strings)
        data += s + '\0';
    return data;
}

// "changed:" and the new list, walked over a heap copy of exactly
// data.size() bytes so that the sanitizer sees any read past it.
std::string Withdraw(const std::string& data, const char* path)
{
    std::unique_ptr<char[]> buffer(new char[data.size() ? data.size() : 1]);
    memcpy(buffer.get(), data.data(), data.size());
    bool changed = true;
    size_t size = WithdrawPairsFromList(buffer.get(), data.size(), path, &changed);
    EXPECT_LE(size, data.size()) << path;
    return (changed ? "changed:" : "same:") + std::string(buffer.get(), std::min(size, data.size()));
}

}  // namespace

TEST(WithdrawPairsFromList, PairsOfThePathGoOthersStay)
{
    const std::string x = "\\??\\C:\\App\\x.dll";
    const std::string list = Join({x, "", "\\??\\C:\\App\\y.dll", "", ""});
    const struct {
        std::string data;
        const char* path;
        std::string result;
    } rows[] = {
        // Other programs' pairs keep their targets; a file listed twice goes twice.
        {Join({x, "", "\\??\\C:\\O\\old.dat", "!\\??\\C:\\O\\new.dat", x, "", "\\??\\C:\\O\\t", "", ""}),
         "C:\\App\\x.dll",
         "changed:" + Join({"\\??\\C:\\O\\old.dat", "!\\??\\C:\\O\\new.dat", "\\??\\C:\\O\\t", "", ""})},
        {list, "C:\\App\\x.dl", "same:" + list},
        {list, "C:\\App\\x.dll.bak", "same:" + list},
        {list, "D:\\App\\x.dll", "same:" + list},
        {list, "", "same:" + list},
        {list, "\\??\\C:\\App\\x.dll", "same:" + list},
        // Whatever stands before the character ahead of the colon is ignored.
        {Join({"C:\\a", "", "x y C:\\b", "", ""}), "C:\\b", "changed:" + Join({"C:\\a", "", ""})},
        // ASCII letters match in any case, other bytes only as they are.
        {Join({"\\??\\c:\\my app\\x.dll", "", ""}), "C:\\MY APP\\X.DLL", "changed:" + Join({""})},
        {Join({"\\??\\C:\\Caf\xe9\\x", "", ""}), "C:\\CAF\xc9\\X", "same:" + Join({"\\??\\C:\\Caf\xe9\\x", "", ""})},
        {Join({"\\??\\C:\\Caf\xe9\\x", "", ""}), "c:\\caf\xe9\\X", "changed:" + Join({""})},
        // A source without a colon ends the walk.
        {Join({x, "", "\\\\server\\f.dat", "", x, "", ""}), "C:\\App\\x.dll",
         "changed:" + Join({"\\\\server\\f.dat", "", x, "", ""})},
        // The only pair withdrawn: just the final empty string is left.
        {Join({x, "", ""}), "C:\\App\\x.dll", "changed:" + Join({""})},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Withdraw(row.data, row.path), row.result) << row.path;
}

TEST(WithdrawPairsFromList, DamagedListsAreNeverReadPast)
{
    const struct {
        std::string data;
        std::string result;
        const char* path = "C:\\a";
    } rows[] = {
        {Join({"C:\\a", "", "C:\\b", "C:\\c"}), "changed:" + Join({"C:\\b", "C:\\c"})},  // no end
        {Join({"C:\\a", "", "C:\\a"}), "changed:" + Join({"C:\\a"})},  // lone source stays
        {Join({"C:\\b", ""}) + "C:\\a", "same:" + Join({"C:\\b", ""}) + "C:\\a"},  // open source
        {Join({"C:\\a"}) + "C:\\x", "same:" + Join({"C:\\a"}) + "C:\\x"},  // open target
        {Join({":a", "", ""}), "same:" + Join({":a", "", ""}), ":a"},  // nothing before the colon
        {Join({"C:", "\\a", ""}), "same:" + Join({"C:", "\\a", ""})},  // no run into the next
        {"", "same:"},
        {std::string(1, '\0'), "same:" + std::string(1, '\0')},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Withdraw(row.data, row.path), row.result);
}

TEST(WithdrawPairsFromList, WritesNothingPastTheNewEnd)
{
    std::string data = Join({"\\??\\C:\\App\\x.dll", "", "\\??\\C:\\App\\y.dll", "", ""});
    std::vector<char> buffer(data.size() + 16, '\x5a');
    memcpy(buffer.data(), data.data(), data.size());
    bool changed = false;
    size_t size = WithdrawPairsFromList(buffer.data(), data.size(), "C:\\App\\x.dll", &changed);
    EXPECT_TRUE(changed);
    EXPECT_EQ(std::string(buffer.data(), size), Join({"\\??\\C:\\App\\y.dll", "", ""}));
    for (size_t i = data.size(); i < buffer.size(); ++i)
        EXPECT_EQ(buffer[i], '\x5a') << "guard byte " << i;
}
