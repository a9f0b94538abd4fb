// The worker undoing logs in this process through the real main dialog: a
// hook records every PBM_SETPOS, a driver thread presses OK once it is
// enabled. Also the command-line parser with real full-path resolution.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <thread>

#include "base/globals.h"
#include "base/window.h"
#include "engine/linefile.h"
#include "language/language.h"
#include "resources/resource.h"
#include "shell/cmdline.h"
#include "shell/main_dialog.h"
#include "support/saved_state.h"
#include "support/test_env.h"
#include "support/ui_driver.h"
#include "text/buf.h"

using namespace testenv;

namespace {

typedef std::vector<LONG> Positions;
Positions g_positions;
const char kKey[] = "Software\\UTWorker";   // short, so that a 41-character entry can name a value

LRESULT CALLBACK RecordPosition(int code, WPARAM wParam, LPARAM lParam)
{
    auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (message->message == PBM_SETPOS && GetDlgCtrlID(message->hwnd) == IDC_MAIN_PROGRESS)
        g_positions.push_back(LONG(message->wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

std::string FontOf(HWND dialog, int id)
{
    LOGFONTA f = {};
    GetObjectA(reinterpret_cast<HFONT>(SendDlgItemMessageA(dialog, id, WM_GETFONT, 0, 0)), sizeof f, &f);
    char text[128];
    snprintf(text, sizeof text, "%ld %ld %ld %d %d %d %d %d %d%d%d%ld%ld %s", f.lfHeight, f.lfWidth, f.lfWeight,
             f.lfCharSet, f.lfOutPrecision, f.lfClipPrecision, f.lfQuality, f.lfPitchAndFamily, f.lfItalic,
             f.lfUnderline, f.lfStrikeOut, f.lfEscapement, f.lfOrientation, f.lfFaceName);
    return text;
}

std::string NoSlash(const std::string& dir) { return dir.substr(0, dir.size() - 1); }
bool HasValue(const char* name) { std::string data; return GetValue(HKEY_CURRENT_USER, kKey, name, &data); }

class Worker : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_instance = GetModuleHandleA(nullptr);
        InitCommonControls();
        RegisterMainWindowClass();
        CreateDialogFonts();
    }
    void SetUp() override
    {
        for (char* global : {g_installDir, g_languageDir, g_macroDir})
            BufSet(global, kTextSize, dir_.Path().c_str());
        BufSet(g_logPath, sizeof g_logPath, (dir_ / "uninstall.log").c_str());
        BufSet(g_systemIniPath, sizeof g_systemIniPath, (dir_ / "system.ini").c_str());
        g_isNT = 1;
        SetString(HKEY_CURRENT_USER, kKey, "Stay", "x");   // keeps the key when its values go
        MakeDirectories(dir_ / "cwd");
        SetCurrentDirectoryA((dir_ / "cwd").c_str());
    }
    void TearDown() override { SetCurrentDirectoryA(ProgramDir().c_str()); }

    std::string Add(const std::string& name)
    {
        MakeDirectories((dir_ / name).substr(0, (dir_ / name).find_last_of('\\')));
        WriteFileBytes(dir_ / name, "data");
        return dir_ / name;
    }

    // Runs the main dialog on the header and the entry lines (each ended
    // with CR LF unless noLastLineEnd); returns the bar positions.
    Positions Run(const std::vector<std::string>& lines, std::function<void(HWND)> whileWorking = {},
                  bool noLastLineEnd = false)
    {
        std::string log = "Demo App\r\nDemoApp\r\nEnglish\r\n";
        for (const std::string& line : lines)
            log += line + "\r\n";
        if (noLastLineEnd)
            log.resize(log.size() - 2);
        WriteFileBytes(g_logPath, log);
        WriteFileBytes(dir_ / "lang.ini", "[English]\r\nstr76=done\r\n");
        g_logStream.OpenForReading(g_logPath);
        char language[kTextSize];
        g_logStream.ReadLine(g_productName, sizeof g_productName);
        g_logStream.ReadLine(g_productKey, sizeof g_productKey);
        g_logStream.ReadLine(language, sizeof language);
        EXPECT_EQ(ChooseLanguage("lang.ini", "", language), 1);
        g_positions.clear();
        g_restartNeeded = 0;
        bool done = false;
        LRESULT barAtEnd = -1;
        std::thread driver([&] {
            HWND dialog = ui::WaitForWindow("KSWUNINST", nullptr, 20000, GetCurrentProcessId());
            if (dialog && whileWorking)
                whileWorking(dialog);
            for (DWORD start = GetTickCount(); dialog && !done && GetTickCount() - start < 60000; Sleep(20))
                done = ui::ControlEnabled(dialog, IDOK) && ui::ControlVisible(dialog, IDC_MAIN_SUCCESS);
            barAtEnd = SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_GETPOS, 0, 0);
            ui::PressButton(dialog, IDOK);   // ends the dialog even while disabled
        });
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, RecordPosition, nullptr, GetCurrentThreadId());
        EXPECT_EQ(ShowMainDialog(), 2);
        UnhookWindowsHookEx(hook);
        driver.join();
        EXPECT_EQ(WaitForSingleObject(g_workerThread, 20000), WAIT_OBJECT_0) << "the worker ends after OK";
        CloseHandle(g_workerThread);
        EXPECT_TRUE(done) << "OK and the success text never came";
        EXPECT_EQ(barAtEnd, 100) << "full, and no further";
        EXPECT_FALSE(FileExists(g_logPath));
        EXPECT_FALSE(FileExists(dir_ / "lang.ini"));
        return g_positions;
    }

    TempDir dir_{"wk"};
    ScopedKey key_{HKEY_CURRENT_USER, kKey};
    SavedValue pending_{HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                        "PendingFileRenameOperations"};   // empty paths get listed there
};

TEST_F(Worker, EveryKindAndTheBarFollowingTheReads)
{
    SetString(HKEY_CURRENT_USER, kKey, "InstallPath", "x");
    WriteFileBytes(g_systemIniPath, "[drivers]\r\nwave=demo.drv\r\n");
    std::vector<std::string> fonts;
    EXPECT_EQ(Run({Add("demo.exe"), "%" + Add("demoext.dll"), "&" + Add("DEMO.TTF"), "-drivers\\wave", "demo.drv",
                   ":HKEY_CURRENT_USER\\" + std::string(kKey) + "\\InstallPath", ";" + dir_.Path() + "cleanup.exe",
                   ";" + dir_.Path(), ";"},
                  [&](HWND dialog) {
                      for (int id : {IDC_MAIN_HEADING, IDC_MAIN_INTRO, IDC_MAIN_WAIT, IDC_MAIN_SUCCESS})
                          fonts.push_back(FontOf(dialog, id));
                  }),
              (Positions{10, 20, 30, 40, 60, 70, 100}));
    std::string text = "-12 0 400 238 3 2 4 2 00000 Arial";
    EXPECT_EQ(fonts, (std::vector<std::string>{"-14 0 700 238 3 2 4 2 00000 Arial", text, text, text}));
    for (const char* gone : {"demo.exe", "demoext.dll", "DEMO.TTF"})
        EXPECT_FALSE(FileExists(dir_ / gone)) << gone;
    EXPECT_FALSE(HasValue("InstallPath"));
    EXPECT_EQ(ReadFileOrEmpty(g_systemIniPath).find("wave"), std::string::npos);
    EXPECT_EQ(g_restartNeeded, 1);
}

TEST_F(Worker, LinesAsTheReaderCutsThem)
{
    std::string longDir = dir_ / "long\\";
    std::string a259 = Add("long\\" + std::string(259 - longDir.size(), 'a'));
    std::string b259 = Add("long\\" + std::string(259 - longDir.size(), 'b'));
    std::string rest = ":HKEY_CURRENT_USER\\" + std::string(kKey) + "\\", name = std::string(41 - rest.size(), 'V');
    SetString(HKEY_CURRENT_USER, kKey, name.c_str(), "x");
    std::string noKind[] = {Add("cwd\\1st.txt"), Add("cwd\\\xE9t\xE9.txt"), Add("rooted.txt"),
                            Add("after-noslash.txt"), Add("after-minus.txt")};
    std::string valueLine = Add("value.txt"), last = Add("last.txt");
    struct {
        std::vector<std::string> lines;
        Positions positions;
        std::vector<std::string> gone;
    } cases[] = {
        {{Add("a"), Add("b"), Add("c")}, {25, 50, 75, 100}, {"a", "b", "c"}},
        {{}, {100}, {}},
        {{"", Add("after-empty")}, {33, 66, 100}, {"after-empty"}},
        // 300 characters: the first 259, then the rest as an entry of its own;
        // the count read it once, so the bar is given more than 100.
        {{a259 + rest + name}, {50, 100, 150}, {a259.substr(dir_.Path().size())}},
        {{b259}, {50, 100, 150}, {b259.substr(dir_.Path().size())}},
        {{"1st.txt", "\xE9t\xE9.txt", noKind[2].substr(2), "-nobackslash", noKind[3], "-", noKind[4],
          "-sec\\key", valueLine},
         {10, 20, 30, 40, 50, 60, 70, 80, 100}, {"cwd\\1st.txt", "cwd\\\xE9t\xE9.txt", "rooted.txt",
                                                  "after-noslash.txt", "after-minus.txt"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lines.empty() ? "no entries" : c.lines[0].substr(0, 40));
        EXPECT_EQ(Run(c.lines), c.positions);
        for (const std::string& gone : c.gone)
            EXPECT_FALSE(FileExists(dir_ / gone)) << gone;
    }
    EXPECT_FALSE(HasValue(name.c_str()));
    EXPECT_TRUE(HasValue("Stay"));
    EXPECT_TRUE(FileExists(valueLine)) << "a value line is no entry";
    // Junk after each kind character: the worker still reaches the end.
    for (const std::string& bad : {std::string("\x80\xFF\xE9"), std::string("a\0b", 3), std::string(2000, 'x')}) {
        std::vector<std::string> lines;
        for (const char* kind : {"", "%", "&", ":", "-", "-\\", "-sec\\", ";"})
            lines.insert(lines.end(), {kind + bad, bad});
        Run(lines);
    }
    EXPECT_EQ(Run({last}, {}, true), Positions{100});
    EXPECT_TRUE(FileExists(last)) << "a last line without line end is not acted on";
}

TEST_F(Worker, ProgramsRunInTheirDirectoryAndHoldTheWorker)
{
    std::string program = ProgramDir() + "logged_program.exe", derived = dir_ / "derived\\",
                given = dir_ / "given dir\\", cwd = dir_ / "cwd\\";
    MakeDirectories(NoSlash(given));
    MakeDirectories(NoSlash(derived));
    ASSERT_TRUE(CopyFileA(program.c_str(), (derived + "logged_program.exe").c_str(), FALSE));
    std::string before = Add("before.txt"), after = Add("after.txt"), signal = dir_ / "go";
    bool held = false;
    LONG heldAt = -1;
    Positions positions = Run(
        {before,
         // Empty flag value: the command line's directory, whatever the second line says.
         ";" + derived + "logged_program.exe cwd1.txt", ";" + given, ";",
         // The flag's first character is not part of its value.
         ";" + derived + "logged_program.exe cwd2.txt", ";" + given, "x",
         // A flag value keeps the second line; an empty one inherits the uninstaller's.
         ";\"" + program + "\" cwd3.txt", ";" + given, ";x",
         ";\"" + program + "\" cwd4.txt", ";", ";x",
         ";logged_program.exe cwd5.txt", ";" + given, "",
         ";\"" + program + "\" \"" + dir_ / "started" + "\" \"" + signal + "\"", ";", ";x", after},
        [&](HWND dialog) {
            for (DWORD start = GetTickCount(); !FileExists(dir_ / "started") && GetTickCount() - start < 20000;)
                Sleep(20);
            Sleep(300);
            heldAt = LONG(SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_GETPOS, 0, 0));
            held = !FileExists(before) && FileExists(after) && !ui::ControlEnabled(dialog, IDOK);
            WriteFileBytes(signal, "");
        });
    EXPECT_EQ(positions, (Positions{4, 9, 23, 38, 52, 66, 80, 95, 100}));
    EXPECT_TRUE(held) << "the entry after the program went before it ended";
    EXPECT_EQ(heldAt, 80) << "the bar stays while the program runs";
    EXPECT_FALSE(FileExists(after));
    EXPECT_EQ(ReadFileOrEmpty(derived + "cwd1.txt"), NoSlash(derived));
    EXPECT_EQ(ReadFileOrEmpty(derived + "cwd2.txt"), NoSlash(derived));
    EXPECT_EQ(ReadFileOrEmpty(given + "cwd3.txt"), NoSlash(given));
    EXPECT_EQ(ReadFileOrEmpty(cwd + "cwd4.txt"), NoSlash(cwd));
    EXPECT_EQ(ReadFileOrEmpty(cwd + "cwd5.txt"), NoSlash(cwd));
}

TEST_F(Worker, FontLeavesTheFontTable)
{
    std::string bytes = ReadFileOrEmpty("Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf");
    ASSERT_FALSE(bytes.empty()) << "fonts-dejavu-core missing?";
    // Wine keeps a second copy of an installed face out of its table: rename the family.
    auto rename = [&](const std::string& from, const std::string& to) {
        for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at))
            bytes.replace(at, from.size(), to);
    };
    rename("DejaVu", "UtestV");
    rename(std::string("\0D\0e\0j\0a\0V\0u", 12), std::string("\0U\0t\0e\0s\0t\0V", 12));
    std::string font = dir_ / "fonts\\demo.ttf";
    MakeDirectories(dir_ / "fonts");
    WriteFileBytes(font, bytes);
    ASSERT_GT(AddFontResourceA(font.c_str()), 0);
    Run({"&" + font});
    EXPECT_FALSE(DirectoryExists(dir_ / "fonts")) << "the file and its emptied directory go";
    MakeDirectories(dir_ / "fonts");
    WriteFileBytes(font, bytes);
    EXPECT_FALSE(RemoveFontResourceA(font.c_str())) << "the font was still in the table";
    ASSERT_GT(AddFontResourceA(font.c_str()), 0);
    EXPECT_TRUE(RemoveFontResourceA(font.c_str())) << "a font in the table can be removed";
}

TEST(CommandLine, ProgramDirectoryAndOption)
{
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    std::string dir = std::string(cwd) + (cwd[strlen(cwd) - 1] == '\\' ? "" : "\\");
    const std::string program = "\"C:\\Program Files\\Demo App\\uninstall.exe\"", home = "C:\\Program Files\\Demo App\\";
    const std::string longDir = "D:\\" + std::string(400, 'x');
    struct {
        std::string line, programPath, installDir, option;
    } cases[] = {
        {program, home + "uninstall.exe", home, ""},
        {"C:\\Apps\\uninstall.exe", "C:\\Apps\\uninstall.exe", "C:\\Apps\\", ""},
        {program + " \"D:\\Games\\Demo App\" -C", "", "D:\\Games\\Demo App\\", "-C"},
        // The option ends the parse; the last directory wins.
        {program + " -c D:\\Elsewhere -Ux", "", home, "-c"},
        {program + "   D:\\A    D:\\B\\  ", "", "D:\\B\\", ""},
        {program + " sub\\dir", "", dir + "sub\\dir\\", ""},
        {program + " \"\"", "", dir, ""},
        {program + " \"-UDemo App\"", "", home, "-UDemo App"},
        {"-C", dir + "-C", dir, ""},
        {program + " " + longDir + " -" + std::string(400, 'o'), "", longDir.substr(0, 259) + "\\",
         "-" + std::string(258, 'o')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 60));
        g_programPath[0] = g_installDir[0] = g_commandOption[0] = '\0';
        ParseCommandLineText(c.line.c_str());
        if (!c.programPath.empty()) {
            EXPECT_EQ(std::string(g_programPath), c.programPath);
        }
        EXPECT_EQ(std::string(g_installDir), c.installDir);
        EXPECT_EQ(std::string(g_commandOption), c.option);
    }
}

}  // namespace
