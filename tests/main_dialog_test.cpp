// uninstall.exe -c from start to end on a log of files, a server, a font and
// a program: the main dialog while the program holds the worker, the dialog
// at the end, and what is left on disk afterwards.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <map>
#include <sstream>
#include <string>

#include "resources/resource.h"
#include "support/installation.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

using testenv::FileExists;

namespace {

const DWORD kTimeout = 20000;

bool WaitForFile(const std::string& path)
{
    for (DWORD start = GetTickCount(); !FileExists(path); Sleep(20))
        if (GetTickCount() - start >= kTimeout)
            return false;
    return true;
}

// WM_GETFONT does not cross processes under Wine, so a hook module inside
// the dialog's process writes "<control id> <font handle> <description>"
// lines (id 0: the dialog) to the file named in FONT_PROBE_OUT.
std::map<int, std::pair<std::string, std::string>> ProbeFonts(HWND dialog, const std::string& report)
{
    std::map<int, std::pair<std::string, std::string>> fonts;
    HMODULE module = LoadLibraryA((testenv::ProgramDir() + "font_probe_module.dll").c_str());
    HOOKPROC hook = module ? reinterpret_cast<HOOKPROC>(GetProcAddress(module, "FontProbeHook"))
                           : nullptr;
    if (!hook)
        return fonts;
    HHOOK handle = SetWindowsHookExA(WH_GETMESSAGE, hook, module,
                                     GetWindowThreadProcessId(dialog, nullptr));
    PostMessageA(dialog, RegisterWindowMessageA("FontProbeQuery"), 0, 0);
    WaitForFile(report);
    Sleep(100);   // the report is written in one go; let it close
    UnhookWindowsHookEx(handle);
    FreeLibrary(module);
    std::istringstream lines(testenv::ReadFileOrEmpty(report));
    int id;
    std::string font, description;
    while (lines >> id >> font && std::getline(lines >> std::ws, description))
        fonts[id] = {font, description};
    return fonts;
}

LONG BarPosition(HWND dialog)
{
    return LONG(SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_GETPOS, 0, 0));
}

}  // namespace

TEST(MainDialog, RunsEveryEntryKindAndEndsOnOk)
{
    testenv::Installation inst("UninstTestMain");
    testenv::TempDir reportDir("fp");
    std::string fontReport = reportDir / "fonts.txt";
    std::string module = inst / "bin\\demoext.dll", font = inst / "fonts\\demo.ttf";
    std::string marker = inst / "unregistered.txt", started = inst / "started.txt",
                signal = inst / "go.signal";
    inst.WriteLangIni();
    for (const char* file : {"demo.exe", "data\\map01.dat", "data\\keep.txt", "docs\\readme.txt"})
        inst.AddFile(file);
    testenv::MakeDirectories(inst / "bin");
    testenv::MakeDirectories(inst / "fonts");
    ASSERT_TRUE(CopyFileA((testenv::ProgramDir() + "selfreg_module.dll").c_str(), module.c_str(),
                          FALSE));
    ASSERT_TRUE(CopyFileA("Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf", font.c_str(),
                          FALSE));
    SetEnvironmentVariableA("SELFREG_MARKER", marker.c_str());
    SetEnvironmentVariableA("FONT_PROBE_OUT", fontReport.c_str());
    inst.WriteLog("Demo Product 2.1", "English",
                  {inst / "demo.exe", inst / "data\\map01.dat", "%" + module, "&" + font,
                   ";\"" + testenv::ProgramDir() + "logged_program.exe\" \"" + started + "\" \"" +
                       signal + "\"",
                   ";", ";x", inst / "docs\\readme.txt"});

    testenv::Process process;
    ASSERT_TRUE(inst.Start(&process, "-c"));
    SetEnvironmentVariableA("SELFREG_MARKER", nullptr);
    SetEnvironmentVariableA("FONT_PROBE_OUT", nullptr);
    HWND dialog = testenv::WaitForMainDialog(process);
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitForFile(started)) << "the logged program never started";

    // While the program holds the worker.
    EXPECT_EQ(ui::WindowText(dialog), "Demo Product 2.1");
    EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_HEADING), "English text 73");
    EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_INTRO), "The software 'Demo Product 2.1' will be removed.");
    EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_WAIT), "English text 75");
    EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_SUCCESS), "English text 76");
    auto fonts = ProbeFonts(dialog, fontReport);
    for (int id : {0, IDC_MAIN_HEADING, IDC_MAIN_INTRO, IDC_MAIN_WAIT, IDC_MAIN_SUCCESS})
        ASSERT_EQ(fonts.count(id), 1u) << id << ": " << testenv::ReadFileOrEmpty(fontReport);
    EXPECT_EQ(fonts[IDC_MAIN_HEADING].second, "-14 700 238 Arial");
    EXPECT_EQ(fonts[IDC_MAIN_INTRO].second, "-12 400 238 Arial");
    EXPECT_NE(fonts[IDC_MAIN_INTRO].first, fonts[0].first) << "not the dialog's own font";
    EXPECT_EQ(fonts[IDC_MAIN_WAIT].first, fonts[IDC_MAIN_INTRO].first);
    EXPECT_EQ(fonts[IDC_MAIN_SUCCESS].first, fonts[IDC_MAIN_INTRO].first);

    RECT window, client;
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    EXPECT_EQ(window.left, (GetSystemMetrics(SM_CXSCREEN) - client.right) / 2);
    EXPECT_EQ(window.top, (GetSystemMetrics(SM_CYSCREEN) - client.bottom) / 2);
    EXPECT_GT(window.right - window.left, client.right) << "the frame makes it sit off centre";
    EXPECT_EQ(BarPosition(dialog), 5 * 100 / 9) << "at the program entry's first line";
    EXPECT_FALSE(ui::ControlEnabled(dialog, IDOK));
    EXPECT_FALSE(ui::ControlVisible(dialog, IDC_MAIN_SUCCESS));
    EXPECT_TRUE(FileExists(inst / "docs\\readme.txt")) << "the entry after the program";

    // Close box, Alt+F4, Escape, Enter, Cancel: none ends the dialog. The
    // bar position posted last tells when the posted ones were handled.
    DWORD_PTR ignored;
    SendMessageTimeoutA(dialog, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &ignored);
    SendMessageTimeoutA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, 5000, &ignored);
    PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PostMessageA(GetDlgItem(dialog, IDC_MAIN_PROGRESS), PBM_SETPOS, 77, 0);
    for (DWORD start = GetTickCount(); IsWindow(dialog) && BarPosition(dialog) != 77 &&
                                       GetTickCount() - start < kTimeout;)
        Sleep(20);
    EXPECT_TRUE(IsWindowVisible(dialog));
    EXPECT_EQ(WaitForSingleObject(process.Handle(), 0), DWORD(WAIT_TIMEOUT));
    EXPECT_FALSE(ui::ControlEnabled(dialog, IDOK));

    ASSERT_TRUE(testenv::WriteFileBytes(signal, ""));
    ASSERT_TRUE(testenv::WaitForWorkDone(dialog, kTimeout));
    EXPECT_TRUE(ui::ControlVisible(dialog, IDC_MAIN_SUCCESS));
    EXPECT_EQ(BarPosition(dialog), 100);
    EXPECT_EQ(WaitForSingleObject(process.Handle(), 300), DWORD(WAIT_TIMEOUT)) << "only OK ends the run";
    ui::PressButton(dialog, IDOK);
    // No system.ini line went, so no restart question holds the exit back.
    EXPECT_EQ(process.Wait(kTimeout), 1u);

    for (const char* gone : {"uninstall.log", "lang.ini", "demo.exe", "data\\map01.dat",
                             "bin\\demoext.dll", "fonts\\demo.ttf", "docs\\readme.txt"})
        EXPECT_FALSE(FileExists(inst / gone)) << gone;
    for (const char* emptied : {"bin", "fonts", "docs"})
        EXPECT_FALSE(testenv::DirectoryExists(inst / emptied)) << emptied;
    for (const char* kept : {"uninstall.exe", "data\\keep.txt", "started.txt", "go.signal"})
        EXPECT_TRUE(FileExists(inst / kept)) << kept;
    EXPECT_EQ(testenv::ReadFileOrEmpty(marker), "unregistered\n");
    char currentDir[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof currentDir, currentDir);
    EXPECT_EQ(testenv::ReadFileOrEmpty(started), currentDir) << "the uninstaller's own directory";
}
