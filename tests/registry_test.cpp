#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "registry/registry.h"
#include "support/test_env.h"

using testenv::GetValue;
using testenv::KeyExists;
using testenv::ScopedKey;
using testenv::SetDword;
using testenv::SetString;

namespace {

const char kSentinel = '\xAA';
const DWORD kDefault = 0xFFFFFFFF;

const std::string kUserKey = "Software\\UninstTestRegistry";
const std::string kUserPath = "HKEY_CURRENT_USER\\" + kUserKey;
const std::string kMachineKey = "Software\\UninstTestPrune";
const std::string kMachinePath = "HKEY_LOCAL_MACHINE\\" + kMachineKey;

// Values of the current user, in a key made and removed per test.
class RegistryValues : public testing::Test {
protected:
    ScopedKey key_{HKEY_CURRENT_USER, kUserKey};
    RegistryAccessor registry_;
};

// Keys under HKLM\Software that the deletion may prune.
class RegistryDeletion : public testing::Test {
protected:
    ScopedKey key_{HKEY_LOCAL_MACHINE, kMachineKey};
    RegistryAccessor registry_;
};

DWORD RunProbe(const std::string& arguments)
{
    testenv::Process probe;
    if (!probe.Start("\"" + testenv::ProgramDir() + "registry_probe.exe\" " + arguments))
        return 0xDEAD;
    return probe.Wait(30000);
}

}  // namespace

TEST(ParseRegistryPath, RootNamesGivePredefinedKeys)
{
    const struct {
        const char* name;
        HKEY key;
    } rows[] = {{"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
                {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                {"HKEY_USERS", HKEY_USERS},
                {"HKEY_PERFORMANCE_DATA", HKEY_PERFORMANCE_DATA},
                {"HKEY_DYN_DATA", HKEY_DYN_DATA}};
    char subKey[kRegRemainderSize];
    char valueName[kRegValueNameSize];
    for (const auto& row : rows) {
        EXPECT_EQ(ParseRegistryPath((std::string(row.name) + "\\K\\V").c_str(), subKey, valueName),
                  row.key)
            << row.name;
    }
    EXPECT_EQ(ParseRegistryPath("HKEY_LOCAL_MACHINE", subKey, valueName), nullptr);
    EXPECT_EQ(ParseRegistryPath("hkey_local_machine\\Software\\X", subKey, valueName), nullptr);
}

TEST(RegistryAccessor, ReportsTheNtFamilyInThisProcess)
{
    RegistryAccessor registry;
    EXPECT_EQ(registry.IsNT(), 1);
}

TEST(RegistryAccessor, HoldsShlwapiOnlyWhileAlive)
{
    ASSERT_EQ(GetModuleHandleA("shlwapi.dll"), nullptr)
        << "not released by an earlier accessor, or loaded by something else";
    {
        RegistryAccessor registry;
        EXPECT_NE(GetModuleHandleA("shlwapi.dll"), nullptr);
    }
    EXPECT_EQ(GetModuleHandleA("shlwapi.dll"), nullptr);
}

TEST_F(RegistryValues, ReadValueGivesRawDataThatFits)
{
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kUserKey, "Name", "hello"));
    char buffer[32];
    memset(buffer, kSentinel, sizeof buffer);
    EXPECT_TRUE(registry_.ReadValue((kUserPath + "\\Name").c_str(), buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "hello");
    EXPECT_EQ(buffer[6], kSentinel);

    // Six bytes with the terminator: a smaller buffer fails and is not overrun.
    memset(buffer, kSentinel, sizeof buffer);
    EXPECT_FALSE(registry_.ReadValue((kUserPath + "\\Name").c_str(), buffer, 5));
    for (size_t i = 5; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], kSentinel) << "byte " << i;
    EXPECT_TRUE(registry_.ReadValue((kUserPath + "\\Name").c_str(), buffer, 6));

    EXPECT_FALSE(registry_.ReadValue((kUserPath + "\\Missing").c_str(), buffer, sizeof buffer));
    EXPECT_FALSE(registry_.ReadValue((kUserPath + "\\NoKey\\Name").c_str(), buffer, sizeof buffer));
    EXPECT_FALSE(
        registry_.ReadValue("HKCU\\Software\\UninstTestRegistry\\Name", buffer, sizeof buffer));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserKey + "\\NoKey")) << "reading created a key";
}

TEST_F(RegistryValues, DefaultInAnyCaseNamesTheUnnamedValue)
{
    EXPECT_FALSE(registry_.ValueExists((kUserPath + "\\(default)").c_str()));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kUserKey, nullptr, "unnamed"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kUserKey, "", "also unnamed"));
    char buffer[32] = "";
    EXPECT_TRUE(registry_.ReadValue((kUserPath + "\\(DeFault)").c_str(), buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "also unnamed");

    // A trailing backslash names the value with the empty name: the same one.
    EXPECT_EQ(registry_.GetValueSize((kUserPath + "\\").c_str()), sizeof "also unnamed");

    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kUserKey, "(default) ", "named"));
    EXPECT_TRUE(registry_.ReadValue((kUserPath + "\\(default) ").c_str(), buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "named");
}

TEST_F(RegistryValues, ValueExistsAndGetValueSize)
{
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kUserKey, "Name", "hello"));
    EXPECT_TRUE(registry_.ValueExists((kUserPath + "\\Name").c_str()));
    EXPECT_EQ(registry_.GetValueSize((kUserPath + "\\Name").c_str()), 6u);

    EXPECT_FALSE(registry_.ValueExists((kUserPath + "\\Missing").c_str()));
    EXPECT_EQ(registry_.GetValueSize((kUserPath + "\\Missing").c_str()), 0u);
    EXPECT_FALSE(registry_.ValueExists((kUserPath + "\\NoKey\\Name").c_str()));
    EXPECT_EQ(registry_.GetValueSize((kUserPath + "\\NoKey\\Name").c_str()), 0u);
    EXPECT_EQ(registry_.GetValueSize("HKEY_CURRENT_USER"), 0u);
}

TEST_F(RegistryValues, ValueInTheRootKeyItself)
{
    const char* path = "HKEY_CURRENT_USER\\UninstTestRootValue";
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, "", "UninstTestRootValue", "top"));
    EXPECT_EQ(registry_.GetValueSize(path), 4u);
    EXPECT_TRUE(registry_.DeleteValue(path));
    EXPECT_FALSE(registry_.ValueExists(path));
}

TEST_F(RegistryValues, WriteMultiStringCreatesMissingKeys)
{
    const char list[] = "first\0second\0";  // with the final empty string
    const std::string subKey = kUserKey + "\\New\\Deeper";
    ASSERT_FALSE(KeyExists(HKEY_CURRENT_USER, subKey));
    EXPECT_TRUE(
        registry_.WriteMultiString((kUserPath + "\\New\\Deeper\\List").c_str(), list, sizeof list));
    std::string data;
    DWORD type = 0;
    ASSERT_TRUE(GetValue(HKEY_CURRENT_USER, subKey, "List", &data, &type));
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(data, std::string(list, sizeof list));

    EXPECT_TRUE(registry_.WriteMultiString((kUserPath + "\\(Default)").c_str(), list, sizeof list));
    ASSERT_TRUE(GetValue(HKEY_CURRENT_USER, kUserKey, nullptr, &data, &type));
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));

    EXPECT_FALSE(
        registry_.WriteMultiString("HKCU\\Software\\UninstTestRegistry\\X", list, sizeof list));
}

TEST_F(RegistryValues, ReadDwordGivesZeroForOtherTypesAndDefaultWhenMissing)
{
    ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, kUserKey, "Count", 7));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kUserKey, "Short", "1"));
    ASSERT_TRUE(testenv::SetBinary(HKEY_CURRENT_USER, kUserKey, "Binary", REG_BINARY,
                                   std::string("\x05\0\0\0", 4)));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kUserKey, "Long", "longer than four bytes"));
    ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, kUserKey, "C:\\WINDOWS\\SYSTEM\\DEMO.DLL", 3));
    ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, kUserKey, nullptr, 5));

    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, kUserKey.c_str(), "Count", kDefault), 7u);
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, kUserKey.c_str(), "Short", kDefault), 0u);
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, kUserKey.c_str(), "Binary", kDefault), 0u);
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, kUserKey.c_str(), "Long", kDefault), kDefault);
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, kUserKey.c_str(),
                                  "C:\\WINDOWS\\SYSTEM\\DEMO.DLL", kDefault),
              3u);
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, kUserKey.c_str(), "Missing", kDefault),
              kDefault);
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, (kUserKey + "\\NoKey").c_str(), "Count", 42),
              42u);
    // No special meaning for "(default)" here.
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, kUserKey.c_str(), "(default)", kDefault),
              kDefault);
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, kUserKey.c_str(), "", kDefault), 5u);
}

TEST_F(RegistryValues, WriteDwordJoinsTheBaseKeyPath)
{
    EXPECT_TRUE(registry_.WriteDword(HKEY_CURRENT_USER, (kUserKey + "\\A\\B").c_str(), "N", 9));
    std::string data;
    DWORD type = 0;
    ASSERT_TRUE(GetValue(HKEY_CURRENT_USER, kUserKey + "\\A\\B", "N", &data, &type));
    EXPECT_EQ(type, DWORD(REG_DWORD));
    EXPECT_EQ(data, std::string("\x09\0\0\0", 4));

    for (const std::string& base : {kUserKey, kUserKey + "\\"}) {
        RegistryAccessor based(base.c_str());
        EXPECT_TRUE(based.WriteDword(HKEY_CURRENT_USER, "Sub", "N", 11)) << base;
        EXPECT_EQ(based.ReadDword(HKEY_CURRENT_USER, "Sub", "N", kDefault), 11u) << base;
        EXPECT_EQ(
            registry_.ReadDword(HKEY_CURRENT_USER, (kUserKey + "\\Sub").c_str(), "N", kDefault),
            11u)
            << base;
        testenv::DeleteKeyTreeForTest(HKEY_CURRENT_USER, kUserKey + "\\Sub");
    }

    // The joined key path holds at most 255 characters; a longer one is
    // refused, not cut to the 255 that would name another key.
    std::string fits = kUserKey + "\\" + std::string(254 - kUserKey.size(), 'k');
    ASSERT_EQ(fits.size(), 255u);
    std::string tooLong = fits + "x";
    EXPECT_FALSE(registry_.WriteDword(HKEY_CURRENT_USER, tooLong.c_str(), "N", 1));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, fits));
    EXPECT_TRUE(registry_.WriteDword(HKEY_CURRENT_USER, fits.c_str(), "N", 1));
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, tooLong.c_str(), "N", 42), 42u);
    RegistryAccessor based(kUserKey.c_str());
    std::string rest = fits.substr(kUserKey.size() + 1);
    EXPECT_EQ(based.ReadDword(HKEY_CURRENT_USER, rest.c_str(), "N", kDefault), 1u);
    EXPECT_EQ(based.ReadDword(HKEY_CURRENT_USER, (rest + "x").c_str(), "N", 42), 42u);
}

TEST_F(RegistryDeletion, DeletingTheOnlyValuePrunesUpToTheTopLevelKey)
{
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineKey + "\\B\\C", "Only", "x"));
    EXPECT_TRUE(registry_.DeleteValue((kMachinePath + "\\B\\C\\Only").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\B\\C"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\B"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software"));
}

TEST_F(RegistryDeletion, WalkStopsAtTheFirstKeyThatHoldsSomething)
{
    // B keeps a value, so B and everything above it stay.
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineKey + "\\B", "Keep", "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineKey + "\\B\\C", "Only", "x"));
    EXPECT_TRUE(registry_.DeleteValue((kMachinePath + "\\B\\C\\Only").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\B\\C"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\B"));

    // A sibling subkey keeps the parent; the unnamed value keeps its key.
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineKey + "\\D\\E", "V", "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineKey + "\\D\\F", nullptr, "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineKey + "\\D\\F", "V", "x"));
    EXPECT_TRUE(registry_.DeleteValue((kMachinePath + "\\D\\E\\V").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\D\\E"));
    EXPECT_TRUE(registry_.DeleteValue((kMachinePath + "\\D\\F\\V").c_str()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\D\\F"));

    // Once the unnamed value goes too, F, D and the test key are empty.
    EXPECT_TRUE(registry_.DeleteValue((kMachinePath + "\\D\\F\\(DEFAULT)").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\D"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\B"));
}

TEST_F(RegistryDeletion, MissingValueDeletesNothing)
{
    const std::string empty = kMachineKey + "\\Empty";
    ScopedKey emptyKey(HKEY_LOCAL_MACHINE, empty);
    EXPECT_FALSE(registry_.DeleteValue((kMachinePath + "\\Empty\\Missing").c_str()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, empty));
    EXPECT_FALSE(registry_.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, empty.c_str(), "Missing"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, empty));
    EXPECT_FALSE(registry_.DeleteValue((kMachinePath + "\\NoKey\\Missing").c_str()));
    EXPECT_FALSE(registry_.DeleteValue("HKLM\\Software\\UninstTestPrune\\Empty\\Missing"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, empty));
}

TEST_F(RegistryDeletion, TopLevelKeyStaysWhenEmptied)
{
    ScopedKey top(HKEY_CURRENT_USER, "UninstTestTop");
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, "UninstTestTop", "V", "x"));
    EXPECT_TRUE(registry_.DeleteValue("HKEY_CURRENT_USER\\UninstTestTop\\V"));
    EXPECT_FALSE(registry_.ValueExists("HKEY_CURRENT_USER\\UninstTestTop\\V"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "UninstTestTop"));

    // A doubled backslash does not lead the walk to the top-level key.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, "UninstTestTop\\Sub", "V", "x"));
    EXPECT_TRUE(registry_.DeleteValueAndPrune(HKEY_CURRENT_USER, "UninstTestTop\\\\Sub", "V"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "UninstTestTop"));
}

TEST_F(RegistryDeletion, LongNamesCountAsContent)
{
    const std::string name99(99, 'n');
    const std::string name100(100, 'n');
    const std::string name200(200, 'n');
    for (const std::string& name : {name99, name100, name200}) {
        const std::string values = kMachineKey + "\\Values";
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, values, name.c_str(), "x"));
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, values, "Short", "x"));
        EXPECT_TRUE(registry_.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, values.c_str(), "Short"));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, values)) << "value name of " << name.size();

        const std::string keys = kMachineKey + "\\Keys";
        ScopedKey sub(HKEY_LOCAL_MACHINE, keys + "\\" + name);
        ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, keys + "\\" + name));
        ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, keys, "Short", "x"));
        EXPECT_TRUE(registry_.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, keys.c_str(), "Short"));
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, keys)) << "subkey name of " << name.size();
        testenv::DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, values);
        testenv::DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, keys);
    }

    // A value name over 99 characters is refused, not cut to another name.
    const std::string values = kMachineKey + "\\Values";
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, values, name99.c_str(), "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, values, name100.c_str(), "x"));
    EXPECT_FALSE(
        registry_.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, values.c_str(), name100.c_str()));
    EXPECT_TRUE(registry_.ValueExists((kMachinePath + "\\Values\\" + name99).c_str()));
    std::string data;
    EXPECT_TRUE(GetValue(HKEY_LOCAL_MACHINE, values, name100.c_str(), &data));
}

TEST_F(RegistryDeletion, ValueNameMayHoldBackslashes)
{
    const std::string shared = kMachineKey + "\\CurrentVersion\\SharedDLLs";
    const char* file = "C:\\WINDOWS\\SYSTEM\\DEMO.DLL";
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineKey + "\\CurrentVersion", "Other", "x"));
    ASSERT_TRUE(SetDword(HKEY_LOCAL_MACHINE, shared, file, 1));
    EXPECT_TRUE(registry_.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, shared.c_str(), file));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, shared));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\CurrentVersion"));
}

TEST_F(RegistryDeletion, DeleteKeyTreeRemovesSubkeysAndPrunesTheEmptyParent)
{
    const std::string product = kMachineKey + "\\Uninstall\\Demo App";
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, product, "DisplayName", "Demo"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, product + "\\Deep\\Er", "V", "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineKey, "Keep", "x"));
    EXPECT_TRUE(registry_.DeleteKeyTree((kMachinePath + "\\Uninstall\\Demo App").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, product));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\Uninstall"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey));

    EXPECT_FALSE(registry_.DeleteKeyTree((kMachinePath + "\\Uninstall\\Demo App").c_str()));
    EXPECT_FALSE(registry_.DeleteKeyTree("HKLM\\Software\\UninstTestPrune"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey));
}

TEST_F(RegistryDeletion, DeleteKeyTreeOfATopLevelKey)
{
    ScopedKey top(HKEY_CURRENT_USER, "UninstTestTopTree");
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, "UninstTestTopTree\\Sub", "V", "x"));
    EXPECT_TRUE(registry_.DeleteKeyTree("HKEY_CURRENT_USER\\UninstTestTopTree"));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "UninstTestTopTree"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));

    // Nothing after the separator would name the root itself: refused.
    EXPECT_FALSE(registry_.DeleteKeyTree("HKEY_CURRENT_USER\\"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
}

// The NT family's RegDeleteKeyA refuses a key with subkeys, so a deleted
// tree shows that DeleteKeyTree went through SHDeleteKeyA.
TEST_F(RegistryDeletion, NtFamilyDeletesTreesWithShDeleteKeyA)
{
    const std::string tree = kMachineKey + "\\Tree";
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, tree + "\\Sub", "V", "x"));
    LONG rc = RegDeleteKeyA(HKEY_LOCAL_MACHINE, tree.c_str());
    EXPECT_NE(rc, ERROR_SUCCESS);
    ASSERT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, tree + "\\Sub"));

    ASSERT_EQ(registry_.IsNT(), 1);
    EXPECT_TRUE(registry_.DeleteKeyTree((kMachinePath + "\\Tree").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, tree));
}

// On the 95/98 family the accessor leaves Shlwapi.dll alone; Wine's
// RegDeleteKeyA then deletes subkeys too, as Windows 95 does.
TEST(RegistryProbe, Win98FamilyDeletesTreesWithRegDeleteKeyA)
{
    const std::string top = "Software\\UninstTestProbe";
    const std::string tree = top + "\\Tree";
    const std::string path = "HKEY_CURRENT_USER\\" + tree;
    ScopedKey key(HKEY_CURRENT_USER, top);
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, top, "Keep", "x"));
    {
        testenv::Win98Mode win98("registry_probe.exe");
        ASSERT_EQ(RunProbe("isnt"), 0u);
        EXPECT_EQ(RunProbe("shlwapi"), 0u);

        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, tree + "\\Sub\\Deeper", "V", "x"));
        EXPECT_EQ(RunProbe("deletekeytree \"" + path + "\""), 1u);
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));

        // A leaf goes, and its emptied parent with it.
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, tree + "\\Leaf", "V", "x"));
        EXPECT_EQ(RunProbe("deletekeytree \"" + path + "\\Leaf\""), 1u);
        EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, top));
        EXPECT_EQ(RunProbe("deletekeytree \"" + path + "\""), 0u);
    }

    ASSERT_EQ(RunProbe("isnt"), 1u);
    EXPECT_EQ(RunProbe("shlwapi"), 1u);
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, tree + "\\Sub\\Deeper", "V", "x"));
    EXPECT_EQ(RunProbe("deletekeytree \"" + path + "\""), 1u);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, top));
}

// Wine's 95/98 RegDeleteKeyA takes subkeys with it, so there a subkey that
// the walk cannot read must still keep its parent.
TEST(RegistryProbe, Win98FamilyPruningKeepsKeysWithLongSubkeyNames)
{
    const std::string top = "Software\\UninstTestProbe";
    const std::string holder = top + "\\Holder";
    ScopedKey key(HKEY_CURRENT_USER, top);
    testenv::Win98Mode win98("registry_probe.exe");
    for (size_t length : {99, 100, 200}) {
        const std::string sub = holder + "\\" + std::string(length, 's');
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, sub, "V", "x"));
        ASSERT_TRUE(SetString(HKEY_CURRENT_USER, holder, "V", "x"));
        EXPECT_EQ(RunProbe("deletevalue \"HKEY_CURRENT_USER\\" + holder + "\\V\""), 1u) << length;
        EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sub)) << "subkey name of " << length;
        testenv::DeleteKeyTreeForTest(HKEY_CURRENT_USER, holder);
    }
}
