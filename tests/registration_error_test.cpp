// A product entry whose UninstallString cannot be removed stops the run
// before any file is touched, with the error texts 89 and 90.
#include <gtest/gtest.h>

#include <aclapi.h>

#include "support/installation.h"

namespace {

// Gives everybody exactly these rights on the key.
bool SetKeyAccess(const std::string& subKey, DWORD rights)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    EXPLICIT_ACCESSA access = {};
    access.grfAccessPermissions = rights;
    access.grfAccessMode = SET_ACCESS;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.ptstrName = static_cast<LPSTR>(everyone);
    PACL acl = nullptr;
    SetEntriesInAclA(1, &access, nullptr, &acl);
    LONG rc = SetSecurityInfo(key, SE_REGISTRY_KEY,
                              DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                              nullptr, nullptr, acl, nullptr);
    LocalFree(acl);
    FreeSid(everyone);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

}  // namespace

TEST(RegistrationError, SurvivingUninstallStringStopsTheRun)
{
    testenv::Installation inst("UninstTestLocked");
    inst.AddFile("demo.exe");
    inst.WriteLangIni();
    inst.WriteLog("Demo App", "English", {inst / "demo.exe"});
    inst.Register();
    std::string key = std::string(testenv::kUninstallKey) + "\\UninstTestLocked";
    ASSERT_TRUE(SetKeyAccess(key, KEY_READ | WRITE_DAC));
    HKEY probe;
    SetLastError(0xdeadbeef);
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS, &probe),
              ERROR_ACCESS_DENIED);

    testenv::Process process;
    ASSERT_TRUE(inst.Start(&process, "-C"));
    ui::MessageBox box;
    ASSERT_TRUE(ui::WaitForMessageBox(&box, 20000, process.Id()));
    EXPECT_EQ(box.caption, "English text 90");
    EXPECT_EQ(box.text, "English text 89");
    EXPECT_FALSE(testenv::WaitForMainDialog(process, 0));
    ui::AnswerMessageBox(box, IDOK);
    EXPECT_EQ(process.Wait(20000), 1u);
    EXPECT_TRUE(inst.ValueExists("UninstallString"));
    EXPECT_TRUE(testenv::FileExists(inst / "demo.exe")) << "no file touched";
    EXPECT_TRUE(testenv::FileExists(inst / "uninstall.log"));
    EXPECT_TRUE(SetKeyAccess(key, KEY_ALL_ACCESS)) << "so that the key can be cleaned up";
}
