#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "registry/registry_path.h"

namespace {

const char kSentinel = '\xAA';
const size_t kSlack = 16;

struct Split {
    int root;
    std::string subKey;
    std::string valueName;
    bool intact;  // nothing written past either buffer
};

bool TailIntact(const char* buffer, size_t size)
{
    for (size_t i = size; i < size + kSlack; ++i)
        if (buffer[i] != kSentinel)
            return false;
    return true;
}

Split SplitPath(const std::string& path)
{
    char subKey[kRegRemainderSize + kSlack];
    char valueName[kRegValueNameSize + kSlack];
    memset(subKey, kSentinel, sizeof subKey);
    memset(valueName, kSentinel, sizeof valueName);
    Split s;
    s.root = SplitRegistryPath(path.c_str(), subKey, valueName);
    s.intact = TailIntact(subKey, kRegRemainderSize) && TailIntact(valueName, kRegValueNameSize);
    s.subKey.assign(subKey, strnlen(subKey, kRegRemainderSize));
    s.valueName.assign(valueName, strnlen(valueName, kRegValueNameSize));
    return s;
}

}  // namespace

TEST(SplitRegistryPath, RootNamesMatchWholeAndWithCase)
{
    const char* names[] = {"HKEY_CLASSES_ROOT",  "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER",
                           "HKEY_LOCAL_MACHINE", "HKEY_USERS",          "HKEY_PERFORMANCE_DATA",
                           "HKEY_DYN_DATA"};
    const int rows[] = {kRootClassesRoot, kRootCurrentConfig,   kRootCurrentUser, kRootLocalMachine,
                        kRootUsers,       kRootPerformanceData, kRootDynData};
    for (int i = 0; i < kRootCount; ++i) {
        Split s = SplitPath(std::string(names[i]) + "\\Key\\Value");
        EXPECT_EQ(s.root, rows[i]) << names[i];
        EXPECT_EQ(s.subKey, "Key") << names[i];
        EXPECT_EQ(s.valueName, "Value") << names[i];
        EXPECT_EQ(SplitPath(names[i]).root, -1) << "bare " << names[i];
    }
    for (const char* path : {"hkey_local_machine\\Software\\X", "Hkey_Local_Machine\\Software\\X",
                             "HKLM\\Software\\X", "HKEY_LOCAL\\X", "", "\\HKEY_USERS\\X"}) {
        Split s = SplitPath(path);
        EXPECT_EQ(s.root, -1) << path;
        EXPECT_EQ(s.subKey, "") << path;
        EXPECT_EQ(s.valueName, "") << path;
    }
}

TEST(SplitRegistryPath, RemainderSplitsAtItsLastBackslash)
{
    Split s = SplitPath(
        "HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir");
    EXPECT_EQ(s.root, kRootLocalMachine);
    EXPECT_EQ(s.subKey, "Software\\Microsoft\\Windows\\CurrentVersion");
    EXPECT_EQ(s.valueName, "ProgramFilesDir");

    s = SplitPath("HKEY_CURRENT_USER\\Word");
    EXPECT_EQ(s.root, kRootCurrentUser);
    EXPECT_EQ(s.subKey, "");
    EXPECT_EQ(s.valueName, "Word");

    s = SplitPath("HKEY_CURRENT_USER\\Software\\Demo\\");
    EXPECT_EQ(s.root, kRootCurrentUser);
    EXPECT_EQ(s.subKey, "Software\\Demo");
    EXPECT_EQ(s.valueName, "");

    s = SplitPath("HKEY_USERS\\");
    EXPECT_EQ(s.root, kRootUsers);
    EXPECT_EQ(s.subKey, "");
    EXPECT_EQ(s.valueName, "");

    // The parse leaves "(default)" to its callers.
    s = SplitPath("HKEY_CURRENT_USER\\Software\\(Default)");
    EXPECT_EQ(s.valueName, "(Default)");
}

TEST(SplitRegistryPath, SeparatorIsNotExamined)
{
    for (const char* path :
         {"HKEY_CURRENT_USER/Software\\Demo\\Name", "HKEY_CURRENT_USERXSoftware\\Demo\\Name"}) {
        Split s = SplitPath(path);
        EXPECT_EQ(s.root, kRootCurrentUser) << path;
        EXPECT_EQ(s.subKey, "Software\\Demo") << path;
        EXPECT_EQ(s.valueName, "Name") << path;
    }
    // Only the one separator is skipped; a second slash stays in the remainder.
    EXPECT_EQ(SplitPath("HKEY_CURRENT_USER//Key\\V").subKey, "/Key");
}

TEST(SplitRegistryPath, PartsOverTheirLimitsAreRefused)
{
    const std::string root = "HKEY_CURRENT_USER\\";
    std::string name99(99, 'v');
    std::string subKey(kRegRemainderSize - 1 - 1 - name99.size(), 'k');

    Split s = SplitPath(root + subKey + "\\" + name99);  // remainder of 1023
    EXPECT_EQ(s.root, kRootCurrentUser);
    EXPECT_EQ(s.subKey, subKey);
    EXPECT_EQ(s.valueName, name99);
    EXPECT_TRUE(s.intact);

    s = SplitPath(root + subKey + "k\\" + name99);  // remainder of 1024
    EXPECT_EQ(s.root, -1);
    EXPECT_EQ(s.subKey, "");
    EXPECT_EQ(s.valueName, "");
    EXPECT_TRUE(s.intact);

    s = SplitPath(root + "Key\\" + name99 + "v");  // value name of 100
    EXPECT_EQ(s.root, -1);
    EXPECT_EQ(s.subKey, "");
    EXPECT_EQ(s.valueName, "");
    EXPECT_TRUE(s.intact);

    s = SplitPath(root + std::string(5000, 'k') + "\\" + std::string(5000, 'v'));
    EXPECT_EQ(s.root, -1);
    EXPECT_TRUE(s.intact);

    std::string longKeyOnly(kRegRemainderSize - 1, 'k');  // all remainder, no backslash
    s = SplitPath(root + longKeyOnly);
    EXPECT_EQ(s.root, -1) << "the whole remainder is a 1023-character value name";
    EXPECT_TRUE(s.intact);
}

TEST(IsDefaultValueName, AnyCaseOfTheWholeName)
{
    EXPECT_TRUE(IsDefaultValueName("(default)"));
    EXPECT_TRUE(IsDefaultValueName("(DEFAULT)"));
    EXPECT_TRUE(IsDefaultValueName("(DeFaulT)"));
    EXPECT_FALSE(IsDefaultValueName("default"));
    EXPECT_FALSE(IsDefaultValueName("(default) "));
    EXPECT_FALSE(IsDefaultValueName("(default"));
    EXPECT_FALSE(IsDefaultValueName(""));
}
