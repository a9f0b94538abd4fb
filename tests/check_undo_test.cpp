// Logs that uninstall-check calls clean, undone by uninstall.exe: nothing the log named is
// left. The logs come from random writer calls; a few here, UNDO_ROUNDS of them from scripts/fuzz.
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "logtools/log_check.h"
#include "logtools/uninstall_log_writer.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

using namespace testenv;
using std::string;

TEST(CheckedLogs, UndoneLeaveNothingTheyNamed)
{
    static const char* const kNames[] = {"a", "B", "data", "x.dll", "f.txt", "100% Tools", "sub"};
    const string kKey = "Software\\UninstCheckUndo", kDone = "Undo|* [OK] > OK";
    const char* rounds = getenv("UNDO_ROUNDS");
    std::mt19937 random(24);   // the same logs every run
    auto name = [&] { return string(kNames[random() % (sizeof kNames / sizeof *kNames)]); };
    SavedValue pending(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                       "PendingFileRenameOperations");   // uninstall.exe lists itself there
    string lang = "[English]\r\n";
    for (const unsigned* n = kShownTextNumbers; *n; ++n)
        lang += "str" + std::to_string(*n) + "=Text\r\n";
    for (int round = 0, count = rounds ? atoi(rounds) : 3; round < count; ++round) {
        TempDir temp("undo");
        const string dir = temp.Path() + "App\\";
        ScopedKey key(HKEY_CURRENT_USER, kKey);
        ASSERT_TRUE(MakeDirectories(dir) && CopyFileA((ProgramDir() + "uninstall.exe").c_str(),
                                                      (dir + "uninstall.exe").c_str(), FALSE) &&
                    WriteFileBytes(dir + "lang.ini", lang));
        UninstallLogWriter log;
        ASSERT_TRUE(log.Open((dir + "uninstall.log").c_str()) &&
                    log.Header("Undo", "UninstCheckUndo", "English")) << log.Error();
        std::vector<string> files, values;
        for (int entry = 0; entry < 12; ++entry) {
            string parent = dir;
            for (int depth = random() % 3; depth > 0; --depth)
                parent += name() + "\\";
            string path = parent + name(), value = kKey + "\\" + name();
            int kind = random() % 4;
            if (kind == 0 && log.RegistryValue(("HKEY_CURRENT_USER\\" + value + "\\V").c_str())) {
                SetString(HKEY_CURRENT_USER, value, "V", "x");
                values.push_back(value);
            } else if (kind > 0 && (kind == 1   ? log.File(path.c_str())
                                    : kind == 2 ? log.Font(path.c_str())
                                                : log.SelfRegisteringModule(path.c_str()))) {
                MakeDirectories(parent);
                WriteFileBytes(path, "x");
                files.push_back(path);
            }
        }
        ASSERT_TRUE(log.Close()) << log.Error();
        std::vector<string> found;
        CheckInstallation((dir + "uninstall.log").c_str(), (dir + "lang.ini").c_str(),
                          [](const Finding& f, void* all) {
                              static_cast<std::vector<string>*>(all)->push_back(f.code);
                          }, &found);
        ASSERT_EQ(found, std::vector<string>()) << "the writer's log is clean to the checker";
        Process undo;   // -C: OK pressed once the work is done
        ASSERT_TRUE(undo.Start("\"" + dir + "uninstall.exe\" -C"));
        ASSERT_EQ(ui::PlayStep(undo.Id(), kDone, 20000), kDone);
        ASSERT_NE(undo.Wait(20000), STILL_ACTIVE);
        for (const string& file : files)
            EXPECT_FALSE(FileExists(file)) << file;
        string data;
        for (const string& value : values)
            EXPECT_FALSE(GetValue(HKEY_CURRENT_USER, value, "V", &data)) << value;
    }
}
