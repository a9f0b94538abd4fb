#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "registry/registry_path.h"

namespace {

const char kSentinel = '\xAA';
const size_t kSlack = 16;

bool TailIntact(const char* buffer, size_t size)
{
    for (size_t i = size; i < size + kSlack; ++i)
        if (buffer[i] != kSentinel)
            return false;
    return true;
}

// "root|subKey|valueName" of the split, with the sentinel tails checked.
std::string SplitPath(const std::string& path)
{
    char subKey[kRegRemainderSize + kSlack];
    char valueName[kRegValueNameSize + kSlack];
    memset(subKey, kSentinel, sizeof subKey);
    memset(valueName, kSentinel, sizeof valueName);
    int root = SplitRegistryPath(path.c_str(), subKey, valueName);
    EXPECT_TRUE(TailIntact(subKey, kRegRemainderSize) && TailIntact(valueName, kRegValueNameSize))
        << "overrun by " << path.substr(0, 40);
    return std::to_string(root) + "|" + std::string(subKey, strnlen(subKey, kRegRemainderSize)) +
           "|" + std::string(valueName, strnlen(valueName, kRegValueNameSize));
}

}  // namespace

TEST(SplitRegistryPath, RootsSeparatorLastBackslashAndLimits)
{
    const char* names[] = {"HKEY_CLASSES_ROOT",  "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER",
                           "HKEY_LOCAL_MACHINE", "HKEY_USERS",          "HKEY_PERFORMANCE_DATA",
                           "HKEY_DYN_DATA"};
    for (int i = 0; i < kRootCount; ++i) {
        EXPECT_EQ(SplitPath(std::string(names[i]) + "\\Key\\Value"), std::to_string(i) + "|Key|Value");
        EXPECT_EQ(SplitPath(names[i]), "-1||") << "bare root";
    }
    const std::string user = std::to_string(kRootCurrentUser) + "|";
    const std::string hkcu = "HKEY_CURRENT_USER\\";
    const std::string name99(99, 'v');
    const std::string key(kRegRemainderSize - 2 - name99.size(), 'k');  // remainder of 1023
    const struct {
        std::string path;
        std::string split;
    } rows[] = {
        {"hkey_local_machine\\Software\\X", "-1||"},
        {"HKLM\\Software\\X", "-1||"},
        {"\\HKEY_USERS\\X", "-1||"},
        {"", "-1||"},
        {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir",
         std::to_string(kRootLocalMachine) +
             "|Software\\Microsoft\\Windows\\CurrentVersion|ProgramFilesDir"},
        {hkcu + "Word", user + "|Word"},
        {hkcu + "Software\\Demo\\", user + "Software\\Demo|"},
        {hkcu + "Software\\(Default)", user + "Software|(Default)"},
        {"HKEY_CURRENT_USER/Software\\Demo\\Name", user + "Software\\Demo|Name"},
        {"HKEY_CURRENT_USERXSoftware\\Demo\\Name", user + "Software\\Demo|Name"},
        {"HKEY_CURRENT_USER//Key\\V", user + "/Key|V"},  // one separator skipped
        {hkcu + key + "\\" + name99, user + key + "|" + name99},
        {hkcu + key + "k\\" + name99, "-1||"},         // remainder of 1024
        {hkcu + "Key\\" + name99 + "v", "-1||"},       // value name of 100
        {hkcu + std::string(5000, 'k') + "\\" + std::string(5000, 'v'), "-1||"},
        {hkcu + std::string(kRegRemainderSize - 1, 'k'), "-1||"},  // all of it a value name
    };
    for (const auto& row : rows)
        EXPECT_EQ(SplitPath(row.path), row.split) << row.path.substr(0, 60);
}

TEST(IsDefaultValueName, AnyCaseOfTheWholeName)
{
    for (const char* name : {"(default)", "(DEFAULT)", "(DeFaulT)"})
        EXPECT_TRUE(IsDefaultValueName(name)) << name;
    for (const char* name : {"default", "(default) ", "(default", ""})
        EXPECT_FALSE(IsDefaultValueName(name)) << name;
}
