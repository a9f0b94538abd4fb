#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "registry/registry.h"
#include "support/test_env.h"

using namespace testenv;

namespace {

const char kSentinel = '\xAA';
const DWORD kDefault = 0xFFFFFFFF;

const std::string kUserKey = "Software\\UninstTestRegistry";
const std::string kUserPath = "HKEY_CURRENT_USER\\" + kUserKey;
const std::string kMachineKey = "Software\\UninstTestPrune";
const std::string kMachinePath = "HKEY_LOCAL_MACHINE\\" + kMachineKey;

class RegistryTest : public testing::Test {
protected:
    ScopedKey user_{HKEY_CURRENT_USER, kUserKey};
    ScopedKey machine_{HKEY_LOCAL_MACHINE, kMachineKey};
    RegistryAccessor registry_;
};

DWORD RunProbe(const std::string& arguments)
{
    Process probe;
    if (!probe.Start("\"" + ProgramDir() + "registry_probe.exe\" " + arguments))
        return 0xDEAD;
    return probe.Wait(30000);
}

}  // namespace

TEST(RegistryAccessor, HoldsShlwapiOnlyWhileAlive)
{
    ASSERT_EQ(GetModuleHandleA("shlwapi.dll"), nullptr) << "left loaded by an earlier accessor";
    {
        RegistryAccessor registry;
        EXPECT_NE(GetModuleHandleA("shlwapi.dll"), nullptr);
    }
    EXPECT_EQ(GetModuleHandleA("shlwapi.dll"), nullptr);
}

TEST_F(RegistryTest, ReadValueFitsOrFailsWithoutOverrun)
{
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kUserKey, "Name", "hello"));
    const std::string name = kUserPath + "\\Name";
    char buffer[32];
    memset(buffer, kSentinel, sizeof buffer);
    EXPECT_TRUE(registry_.ReadValue(name.c_str(), buffer, 6));
    EXPECT_STREQ(buffer, "hello");
    EXPECT_EQ(buffer[6], kSentinel);
    memset(buffer, kSentinel, sizeof buffer);
    EXPECT_FALSE(registry_.ReadValue(name.c_str(), buffer, 5));
    for (size_t i = 5; i < sizeof buffer; ++i)
        EXPECT_EQ(buffer[i], kSentinel) << "byte " << i;
    EXPECT_EQ(registry_.GetValueSize(name.c_str()), 6u);

    for (const std::string& path : {kUserPath + "\\Missing", kUserPath + "\\NoKey\\Name",
                                    std::string("HKCU\\Software\\UninstTestRegistry\\Name")}) {
        EXPECT_FALSE(registry_.ReadValue(path.c_str(), buffer, sizeof buffer)) << path;
        EXPECT_FALSE(registry_.ValueExists(path.c_str())) << path;
        EXPECT_EQ(registry_.GetValueSize(path.c_str()), 0u) << path;
    }
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kUserKey + "\\NoKey")) << "reading created a key";
}

TEST_F(RegistryTest, DefaultInAnyCaseAndTrailingBackslashNameTheUnnamedValue)
{
    EXPECT_FALSE(registry_.ValueExists((kUserPath + "\\(default)").c_str()));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kUserKey, "", "unnamed"));
    char buffer[32] = "";
    EXPECT_TRUE(registry_.ReadValue((kUserPath + "\\(DeFault)").c_str(), buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "unnamed");
    EXPECT_EQ(registry_.GetValueSize((kUserPath + "\\").c_str()), sizeof "unnamed");

    const char* top = "HKEY_CURRENT_USER\\UninstTestRootValue";  // a value directly in a root
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, "", "UninstTestRootValue", "top"));
    EXPECT_EQ(registry_.GetValueSize(top), 4u);
    EXPECT_TRUE(registry_.DeleteValue(top));
    EXPECT_FALSE(registry_.ValueExists(top));
}

TEST_F(RegistryTest, WriteMultiStringCreatesMissingKeys)
{
    const char list[] = "first\0second\0";
    const std::string subKey = kUserKey + "\\New\\Deeper";
    EXPECT_TRUE(
        registry_.WriteMultiString((kUserPath + "\\New\\Deeper\\List").c_str(), list, sizeof list));
    std::string data;
    DWORD type = 0;
    ASSERT_TRUE(GetValue(HKEY_CURRENT_USER, subKey, "List", &data, &type));
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(data, std::string(list, sizeof list));
    EXPECT_FALSE(registry_.WriteMultiString("HKCU\\Software\\UninstTestRegistry\\X", list, 4));
}

TEST_F(RegistryTest, ReadDwordGivesZeroForOtherTypesAndDefaultWhenMissing)
{
    ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, kUserKey, "Count", 7));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kUserKey, "Short", "1"));
    ASSERT_TRUE(SetDword(HKEY_CURRENT_USER, kUserKey, "C:\\WINDOWS\\SYSTEM\\DEMO.DLL", 3));
    const char* key = kUserKey.c_str();
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, key, "Count", kDefault), 7u);
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, key, "Short", kDefault), 0u);
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, key, "C:\\WINDOWS\\SYSTEM\\DEMO.DLL", 0), 3u);
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, key, "Missing", kDefault), kDefault);
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, (kUserKey + "\\NoKey").c_str(), "Count", 42),
              42u);
}

TEST_F(RegistryTest, WriteDwordJoinsTheBaseKeyAndRefusesOverlongPaths)
{
    RegistryAccessor based((kUserKey + "\\").c_str());
    EXPECT_TRUE(based.WriteDword(HKEY_CURRENT_USER, "Sub", "N", 11));
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, (kUserKey + "\\Sub").c_str(), "N", 0), 11u);

    // 255 characters fit; one more is refused, not cut to name another key.
    std::string fits = kUserKey + "\\" + std::string(254 - kUserKey.size(), 'k');
    EXPECT_FALSE(registry_.WriteDword(HKEY_CURRENT_USER, (fits + "x").c_str(), "N", 1));
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, fits));
    EXPECT_TRUE(registry_.WriteDword(HKEY_CURRENT_USER, fits.c_str(), "N", 1));
    EXPECT_EQ(registry_.ReadDword(HKEY_CURRENT_USER, (fits + "x").c_str(), "N", 42), 42u);
}

TEST_F(RegistryTest, DeletingAValuePrunesEmptyKeysBelowTheTopLevel)
{
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineKey + "\\B\\C", "Only", "x"));
    EXPECT_TRUE(registry_.DeleteValue((kMachinePath + "\\B\\C\\Only").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software"));

    // The walk stops at a key that keeps a value, the unnamed one too.
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineKey + "\\B", "", "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineKey + "\\B\\C", "Only", "x"));
    EXPECT_TRUE(registry_.DeleteValue((kMachinePath + "\\B\\C\\Only").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\B\\C"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\B"));

    // A missing value is not deleted, and nothing is pruned.
    ScopedKey empty(HKEY_LOCAL_MACHINE, kMachineKey + "\\Empty");
    EXPECT_FALSE(registry_.DeleteValue((kMachinePath + "\\Empty\\Missing").c_str()));
    EXPECT_FALSE(registry_.DeleteValue((kMachinePath + "\\NoKey\\Missing").c_str()));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\Empty"));

    // A top-level key stays when emptied, also when reached by a doubled backslash.
    ScopedKey top(HKEY_CURRENT_USER, "UninstTestTop");
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, "UninstTestTop", "V", "x"));
    EXPECT_TRUE(registry_.DeleteValue("HKEY_CURRENT_USER\\UninstTestTop\\V"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "UninstTestTop"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, "UninstTestTop\\Sub", "V", "x"));
    EXPECT_TRUE(registry_.DeleteValueAndPrune(HKEY_CURRENT_USER, "UninstTestTop\\\\Sub", "V"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "UninstTestTop"));
}

TEST_F(RegistryTest, NamesTooLongToReadCountAsContent)
{
    const std::string values = kMachineKey + "\\Values";
    const std::string keys = kMachineKey + "\\Keys";
    const std::string name(100, 'n');
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, values, name.c_str(), "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, values, "Short", "x"));
    EXPECT_TRUE(registry_.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, values.c_str(), "Short"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, values)) << "value name of 100";
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, keys + "\\" + name, "V", "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, keys, "Short", "x"));
    EXPECT_TRUE(registry_.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, keys.c_str(), "Short"));
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, keys)) << "subkey name of 100";

    // A value name over 99 characters is refused, not cut to another name.
    const std::string name99(99, 'n');
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, values, name99.c_str(), "x"));
    EXPECT_FALSE(registry_.DeleteValueAndPrune(HKEY_LOCAL_MACHINE, values.c_str(), name.c_str()));
    EXPECT_TRUE(registry_.ValueExists((kMachinePath + "\\Values\\" + name99).c_str()));
}

// The NT family's RegDeleteKeyA refuses a key with subkeys, so a deleted
// tree shows that DeleteKeyTree went through SHDeleteKeyA.
TEST_F(RegistryTest, NtFamilyDeletesTreesWithShDeleteKeyA)
{
    const std::string tree = kMachineKey + "\\Uninstall\\Demo App";
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, tree + "\\Deep", "V", "x"));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kMachineKey, "Keep", "x"));
    EXPECT_NE(RegDeleteKeyA(HKEY_LOCAL_MACHINE, tree.c_str()), ERROR_SUCCESS);
    ASSERT_EQ(registry_.IsNT(), 1);
    EXPECT_TRUE(registry_.DeleteKeyTree((kMachinePath + "\\Uninstall\\Demo App").c_str()));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey + "\\Uninstall")) << "emptied parent";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kMachineKey));
    EXPECT_FALSE(registry_.DeleteKeyTree((kMachinePath + "\\Uninstall\\Demo App").c_str()));
    EXPECT_FALSE(registry_.DeleteKeyTree("HKEY_CURRENT_USER\\")) << "would name the root itself";
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
}

// On the 95/98 family the accessor leaves Shlwapi.dll alone; Wine's
// RegDeleteKeyA then deletes subkeys too, as Windows 95 does.
TEST(RegistryProbe, Win98FamilyDeletesTreesWithRegDeleteKeyA)
{
    const std::string top = "Software\\UninstTestProbe";
    const std::string tree = top + "\\Tree";
    const std::string path = "\"HKEY_CURRENT_USER\\" + tree + "\"";
    ScopedKey key(HKEY_CURRENT_USER, top);
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, top, "Keep", "x"));
    ASSERT_EQ(RunProbe("isnt"), 1u);
    EXPECT_EQ(RunProbe("shlwapi"), 1u);
    Win98Mode win98("registry_probe.exe");
    ASSERT_EQ(RunProbe("isnt"), 0u);
    EXPECT_EQ(RunProbe("shlwapi"), 0u);
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, tree + "\\Sub\\Deeper", "V", "x"));
    EXPECT_EQ(RunProbe("deletekeytree " + path), 1u);
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, tree));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, top));

    // There pruning must not take a subkey it cannot read along with its parent.
    const std::string sub = tree + "\\" + std::string(100, 's');
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, sub, "V", "x"));
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, tree, "V", "x"));
    EXPECT_EQ(RunProbe("deletevalue \"HKEY_CURRENT_USER\\" + tree + "\\V\""), 1u);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, sub));
}
