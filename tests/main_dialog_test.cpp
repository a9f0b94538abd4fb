// uninstall.exe -c from start to end on an installation whose log holds
// every kind of entry: the main dialog while a logged program holds the
// worker, the dialog at the end, and what is left on disk and in the
// registry afterwards.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "resources/resource.h"
#include "support/installation.h"
#include "support/saved_state.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

using testenv::FileExists;
using testenv::Installation;
using testenv::Process;

namespace {

const DWORD kTimeout = 20000;
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kTestKey[] = "Software\\UninstTestMain";
const char kFontSource[] = "Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";

struct ControlFont {
    std::string handle;
    std::string description;   // height, weight, character set, face
};

// WM_GETFONT does not cross processes under Wine, so a hook module inside
// the dialog's process reports the fonts of its controls, by control id
// (0 for the dialog itself), to the file the process got in FONT_PROBE_OUT.
std::map<int, ControlFont> ProbeFonts(HWND dialog, const std::string& report)
{
    std::map<int, ControlFont> fonts;
    HMODULE module = LoadLibraryA((testenv::ProgramDir() + "font_probe_module.dll").c_str());
    HOOKPROC hook = module ? reinterpret_cast<HOOKPROC>(GetProcAddress(module, "FontProbeHook"))
                           : nullptr;
    if (!hook)
        return fonts;
    HHOOK handle = SetWindowsHookExA(WH_GETMESSAGE, hook, module,
                                     GetWindowThreadProcessId(dialog, nullptr));
    PostMessageA(dialog, RegisterWindowMessageA("FontProbeQuery"), 0, 0);
    DWORD start = GetTickCount();
    while (!FileExists(report) && GetTickCount() - start < kTimeout)
        Sleep(20);
    Sleep(100);   // the report is written in one go; let it close
    UnhookWindowsHookEx(handle);
    FreeLibrary(module);

    std::istringstream lines(testenv::ReadFileOrEmpty(report));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        int id;
        ControlFont font;
        fields >> id >> font.handle;
        std::getline(fields >> std::ws, font.description);
        fonts[id] = font;
    }
    return fonts;
}

LONG BarPosition(HWND dialog)
{
    return LONG(SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_GETPOS, 0, 0));
}

bool WaitForFile(const std::string& path)
{
    DWORD start = GetTickCount();
    while (!FileExists(path)) {
        if (GetTickCount() - start >= kTimeout)
            return false;
        Sleep(20);
    }
    return true;
}

bool StillRunning(const Process& process)
{
    return WaitForSingleObject(process.Handle(), 0) == WAIT_TIMEOUT;
}

class MainDialog : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetEnvironmentVariableA("FONT_PROBE_OUT", fontReport_.c_str());
        inst_.WriteLangIni();
        inst_.Register();
        testenv::SetString(HKEY_LOCAL_MACHINE, std::string(kTestKey) + "\\App", "InstallPath", "x");
        testenv::SetString(HKEY_LOCAL_MACHINE, kTestKey, "Stay", "x");
        WritePrivateProfileStringA("UninstTestMain", "wave", "demo.drv", systemIni_.c_str());
        WritePrivateProfileStringA("UninstTestMain", "other", "keep", systemIni_.c_str());
    }

    void TearDown() override
    {
        testenv::DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, kTestKey);
        SetEnvironmentVariableA("SELFREG_MARKER", nullptr);
        SetEnvironmentVariableA("FONT_PROBE_OUT", nullptr);
    }

    Installation inst_{"UninstTestMain"};
    testenv::TempDir reportDir_{"fp"};
    std::string fontReport_ = reportDir_ / "fonts.txt";
    std::string systemIni_ = testenv::WindowsDir() + "\\system.ini";
    testenv::SavedFile savedSystemIni_{systemIni_};
    testenv::SavedValue pending_{HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations"};
};

TEST_F(MainDialog, RunsEveryEntryKindAndEndsOnOk)
{
    std::string module = inst_ / "bin\\demoext.dll";
    std::string font = inst_ / "fonts\\demo.ttf";
    std::string marker = inst_ / "unregistered.txt";
    std::string started = inst_ / "started.txt";
    std::string signal = inst_ / "go.signal";
    inst_.AddFile("demo.exe");
    inst_.AddFile("data\\map01.dat");
    inst_.AddFile("data\\keep.txt");
    inst_.AddFile("docs\\readme.txt");
    testenv::MakeDirectories(inst_ / "bin");
    testenv::MakeDirectories(inst_ / "fonts");
    ASSERT_TRUE(CopyFileA((testenv::ProgramDir() + "selfreg_module.dll").c_str(), module.c_str(),
                          FALSE));
    ASSERT_TRUE(CopyFileA(kFontSource, font.c_str(), FALSE));
    SetEnvironmentVariableA("SELFREG_MARKER", marker.c_str());
    inst_.WriteLog("Demo Product 2.1", "English",
                   {":HKEY_LOCAL_MACHINE\\" + std::string(kTestKey) + "\\App\\InstallPath",
                    inst_ / "demo.exe",
                    inst_ / "data\\map01.dat",
                    "%" + module,
                    "&" + font,
                    "-UninstTestMain\\wave", "demo.drv",
                    ";\"" + testenv::ProgramDir() + "logged_program.exe\" \"" + started + "\" \"" +
                        signal + "\"",
                    ";", ";x",
                    inst_ / "docs\\readme.txt"});

    Process process;
    ASSERT_TRUE(inst_.Start(&process, "-c"));
    HWND dialog = testenv::WaitForMainDialog(process);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForFile(started)) << "the logged program never started";

    // While the program holds the worker.
    EXPECT_EQ(ui::WindowText(dialog), "Demo Product 2.1");
    EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_HEADING), "English text 73");
    EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_INTRO), "The software 'Demo Product 2.1' will be removed.");
    EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_WAIT), "English text 75");
    EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_SUCCESS), "English text 76");
    std::map<int, ControlFont> fonts = ProbeFonts(dialog, fontReport_);
    ASSERT_EQ(fonts.count(IDC_MAIN_HEADING) + fonts.count(IDC_MAIN_INTRO) +
                  fonts.count(IDC_MAIN_WAIT) + fonts.count(IDC_MAIN_SUCCESS) + fonts.count(0),
              5u) << testenv::ReadFileOrEmpty(fontReport_);
    const ControlFont& title = fonts[IDC_MAIN_HEADING];
    const ControlFont& text = fonts[IDC_MAIN_INTRO];
    EXPECT_NE(title.handle, text.handle);
    EXPECT_NE(title.handle, fonts[0].handle) << "not the dialog's own font";
    EXPECT_NE(text.handle, fonts[0].handle);
    EXPECT_EQ(fonts[IDC_MAIN_WAIT].handle, text.handle);
    EXPECT_EQ(fonts[IDC_MAIN_SUCCESS].handle, text.handle);
    EXPECT_EQ(title.description, "-14 700 238 Arial");
    EXPECT_EQ(text.description, "-12 400 238 Arial");

    RECT window, client;
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    EXPECT_EQ(window.left, (GetSystemMetrics(SM_CXSCREEN) - client.right) / 2);
    EXPECT_EQ(window.top, (GetSystemMetrics(SM_CYSCREEN) - client.bottom) / 2);
    EXPECT_GT(window.right - window.left, client.right) << "the frame makes it sit off centre";

    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_GETRANGE, FALSE, 0), 100);
    EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_GETRANGE, TRUE, 0), 0);
    EXPECT_EQ(BarPosition(dialog), 8 * 100 / 12) << "at the program entry's first line";
    EXPECT_FALSE(ui::ControlEnabled(dialog, IDOK));
    EXPECT_FALSE(ui::ControlVisible(dialog, IDC_MAIN_SUCCESS));
    EXPECT_TRUE(FileExists(inst_ / "docs\\readme.txt")) << "the entry after the program";

    // Close box, Alt+F4, Escape, Enter, Cancel: none ends the dialog. The
    // bar position posted last tells when the posted ones were handled.
    DWORD_PTR ignored;
    SendMessageTimeoutA(dialog, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &ignored);
    SendMessageTimeoutA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, 5000, &ignored);
    PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PostMessageA(GetDlgItem(dialog, IDC_MAIN_PROGRESS), PBM_SETPOS, 55, 0);
    DWORD start = GetTickCount();
    while (IsWindow(dialog) && BarPosition(dialog) != 55 && GetTickCount() - start < kTimeout)
        Sleep(20);
    EXPECT_TRUE(IsWindow(dialog));
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_TRUE(StillRunning(process));
    EXPECT_FALSE(ui::ControlEnabled(dialog, IDOK));

    ASSERT_TRUE(testenv::WriteFileBytes(signal, ""));
    ASSERT_TRUE(testenv::WaitForWorkDone(dialog, kTimeout));
    EXPECT_TRUE(ui::ControlVisible(dialog, IDC_MAIN_SUCCESS));
    EXPECT_EQ(BarPosition(dialog), 100);
    EXPECT_FALSE(FileExists(inst_ / "docs\\readme.txt"));
    EXPECT_TRUE(StillRunning(process)) << "only OK ends the run";

    ui::PressButton(dialog, IDOK);
    // A line left system.ini, so the restart question follows.
    ui::MessageBox box;
    ASSERT_TRUE(ui::WaitForMessageBox(&box, kTimeout, process.Id()));
    EXPECT_EQ(box.caption, "English text 96");
    EXPECT_EQ(box.text, "English text 97");
    ui::AnswerMessageBox(box, IDNO);
    EXPECT_EQ(process.Wait(kTimeout), 1u);

    for (const char* gone : {"uninstall.log", "lang.ini", "demo.exe", "data\\map01.dat",
                             "bin\\demoext.dll", "fonts\\demo.ttf", "docs\\readme.txt"})
        EXPECT_FALSE(FileExists(inst_ / gone)) << gone;
    for (const char* emptied : {"bin", "fonts", "docs"})
        EXPECT_FALSE(testenv::DirectoryExists(inst_ / emptied)) << emptied;
    for (const char* kept : {"uninstall.exe", "data\\keep.txt", "started.txt", "go.signal"})
        EXPECT_TRUE(FileExists(inst_ / kept)) << kept;
    EXPECT_EQ(testenv::ReadFileOrEmpty(marker), "unregistered\n");
    char currentDir[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof currentDir, currentDir);
    EXPECT_EQ(testenv::ReadFileOrEmpty(started), currentDir) << "the uninstaller's own directory";

    EXPECT_FALSE(testenv::KeyExists(HKEY_LOCAL_MACHINE, std::string(kTestKey) + "\\App"));
    EXPECT_TRUE(testenv::KeyExists(HKEY_LOCAL_MACHINE, kTestKey));
    char value[64];
    GetPrivateProfileStringA("UninstTestMain", "wave", "<absent>", value, sizeof value,
                             systemIni_.c_str());
    EXPECT_STREQ(value, "<absent>");
    GetPrivateProfileStringA("UninstTestMain", "other", "<absent>", value, sizeof value,
                             systemIni_.c_str());
    EXPECT_STREQ(value, "keep");
}

TEST_F(MainDialog, EmptyProductNameGivesAnEmptyTitle)
{
    std::string signal = inst_ / "go.signal";
    inst_.WriteLog("", "English", {";\"" + testenv::ProgramDir() + "logged_program.exe\" \"" +
                                       (inst_ / "started.txt") + "\" \"" + signal + "\"",
                                   ";", ";x"});
    Process process;
    ASSERT_TRUE(inst_.Start(&process, "-C"));
    HWND dialog = testenv::WaitForMainDialog(process);
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(ui::WindowText(dialog), "");
    EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_INTRO), "The software '' will be removed.");
    testenv::WriteFileBytes(signal, "");
    ASSERT_TRUE(testenv::WaitForWorkDone(dialog, kTimeout));
    ui::PressButton(dialog, IDOK);
    EXPECT_EQ(process.Wait(kTimeout), 1u);
}

// Damaged entries: the run reaches its end, and the entries around them
// are still done.
TEST_F(MainDialog, DamagedEntriesRunToTheEnd)
{
    std::string high;
    for (int c = 128; c < 256; ++c)
        high += char(c);
    std::string nul("a\0b", 3);
    std::string longLine(2000, 'x');
    // 259 characters whose directory part is longer than a split path
    // holds; as a command line (258 after its ';') it ends in the backslash.
    std::string longDirectory = "C:\\" + std::string(254, 'd') + "\\f";
    std::vector<std::vector<std::string>> logs = {
        {inst_ / "first.txt", high, "%" + high, "&" + high, ":" + high, "-" + high, high,
         ";" + high, high, high, inst_ / "last.txt"},
        {inst_ / "first.txt", nul, "%" + nul, "&" + nul, ":" + nul, "-\\" + nul, nul, ";" + nul,
         nul, nul, std::string(1, '\0'), inst_ / "last.txt"},
        {inst_ / "first.txt", longLine, "%" + longLine, "&" + longLine, ":" + longLine,
         "-" + longLine + "\\key", longLine, "-sec\\" + longLine, longLine, ";" + longLine,
         longLine, longLine, longDirectory, ";" + longDirectory.substr(0, 258), ";",
         inst_ / "last.txt"},
        {inst_ / "first.txt", "-sec\\key"},
        {inst_ / "first.txt", ";no-such-program.exe", ";"},
        {inst_ / "first.txt", "%", "&", ":", "-", ";", "", "", inst_ / "last.txt"},
    };
    for (size_t i = 0; i < logs.size(); ++i) {
        const std::vector<std::string>& entries = logs[i];
        SCOPED_TRACE("log " + std::to_string(i));
        inst_.AddFile("first.txt");
        inst_.AddFile("last.txt");
        inst_.WriteLangIni();
        inst_.WriteLog("Demo App", "English", entries);
        EXPECT_EQ(inst_.RunConfirmed("-c", kTimeout), 1u);
        EXPECT_FALSE(FileExists(inst_ / "uninstall.log")) << "the worker reached the end";
        EXPECT_FALSE(FileExists(inst_ / "first.txt"));
        if (entries.back() == inst_ / "last.txt") {
            EXPECT_FALSE(FileExists(inst_ / "last.txt"));
        }
    }
}

}  // namespace
