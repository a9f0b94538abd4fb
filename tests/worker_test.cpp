// The worker undoing a log, run in this process through the real main
// dialog while a driver thread presses OK once the worker has enabled it.
// A hook on the main thread records every PBM_SETPOS of the progress bar.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "base/globals.h"
#include "base/window.h"
#include "engine/linefile.h"
#include "language/language.h"
#include "resources/resource.h"
#include "shell/main_dialog.h"
#include "support/installation.h"
#include "support/saved_state.h"
#include "support/test_env.h"
#include "support/ui_driver.h"
#include "text/buf.h"

using testenv::FileExists;
using testenv::ReadFileOrEmpty;

namespace {

const char kTestKey[] = "Software\\UTWorker";   // short: a test fits it in 41 characters
const DWORD kRunTimeoutMs = 60000;

typedef std::vector<LONG> Positions;
Positions* g_positions;

LRESULT CALLBACK RecordProgress(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == PBM_SETPOS &&
        GetDlgCtrlID(message->hwnd) == IDC_MAIN_PROGRESS && g_positions)
        g_positions->push_back(LONG(message->wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

struct Driver {
    std::function<void(HWND)> whileWorking;   // called once the dialog shows
    bool workDone = false;
};

DWORD WINAPI DriveDialog(LPVOID param)
{
    Driver* driver = static_cast<Driver*>(param);
    HWND dialog = ui::WaitForWindow("KSWUNINST", nullptr, 20000, GetCurrentProcessId());
    if (!dialog)
        return 0;
    if (driver->whileWorking)
        driver->whileWorking(dialog);
    driver->workDone = testenv::WaitForWorkDone(dialog, kRunTimeoutMs);
    // OK ends the dialog even while disabled, so a stuck worker cannot hang the test.
    ui::PressButton(dialog, IDOK);
    return 0;
}

std::string NoSlash(const std::string& dir) { return dir.substr(0, dir.size() - 1); }

bool HasValue(const std::string& subKey, const std::string& name)
{
    std::string data;
    return testenv::GetValue(HKEY_CURRENT_USER, subKey, name.c_str(), &data);
}

void ReplaceAll(std::string* text, const std::string& from, const std::string& to)
{
    for (size_t at = text->find(from); at != std::string::npos; at = text->find(from, at + to.size()))
        text->replace(at, from.size(), to);
}

class Worker : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_instance = GetModuleHandleA(nullptr);
        InitCommonControls();
        RegisterMainWindowClass();
        CreateDialogFonts();
    }
    static void TearDownTestSuite() { DeleteDialogFonts(); }

    void SetUp() override
    {
        GetCurrentDirectoryA(sizeof savedCurrentDir_, savedCurrentDir_);
        // Keeps the directory from coming out empty: removing emptied directories stops here.
        testenv::WriteFileBytes(dir_ / "keep.txt", "not logged");
        for (char* global : {g_installDir, g_languageDir, g_macroDir})
            BufSet(global, kTextSize, dir_.Path().c_str());
        BufSet(g_logPath, sizeof g_logPath, (dir_ / "uninstall.log").c_str());
        BufSet(g_systemIniPath, sizeof g_systemIniPath, (dir_ / "system.ini").c_str());
        g_isNT = 1;
    }
    void TearDown() override { SetCurrentDirectoryA(savedCurrentDir_); }

    std::string Add(const std::string& relative, const std::string& bytes = "data")
    {
        std::string path = dir_ / relative;
        testenv::MakeDirectories(path.substr(0, path.find_last_of('\\')));
        testenv::WriteFileBytes(path, bytes);
        return path;
    }

    // Runs the main dialog on a log of the header and entryBytes; returns
    // the positions the progress bar was given.
    Positions RunBytes(const std::string& entryBytes, Driver* driver = nullptr)
    {
        Driver plain;
        driver = driver ? driver : &plain;
        testenv::WriteFileBytes(dir_ / "lang.ini", testenv::StandardLangIni());
        testenv::WriteFileBytes(g_logPath, "Demo App\r\nDemoApp\r\nEnglish\r\n" + entryBytes);
        g_logStream.OpenForReading(g_logPath);
        EXPECT_TRUE(g_logStream.is_open());
        char language[kTextSize];
        g_logStream.ReadLine(g_productName, sizeof g_productName);
        g_logStream.ReadLine(g_productKey, sizeof g_productKey);
        g_logStream.ReadLine(language, sizeof language);
        EXPECT_EQ(ChooseLanguage("lang.ini", "", language), 1);
        g_restartNeeded = 0;

        Positions positions;
        g_positions = &positions;
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, RecordProgress, nullptr, GetCurrentThreadId());
        EXPECT_NE(hook, nullptr);
        HANDLE driverThread = CreateThread(nullptr, 0, DriveDialog, driver, 0, nullptr);
        EXPECT_EQ(ShowMainDialog(), 2);
        UnhookWindowsHookEx(hook);
        g_positions = nullptr;

        EXPECT_EQ(WaitForSingleObject(driverThread, kRunTimeoutMs), WAIT_OBJECT_0);
        EXPECT_EQ(WaitForSingleObject(g_workerThread, kRunTimeoutMs), WAIT_OBJECT_0)
            << "the worker ends once it has enabled OK";
        CloseHandle(driverThread);
        CloseHandle(g_workerThread);
        g_workerThread = nullptr;
        EXPECT_TRUE(driver->workDone) << "OK was never enabled";
        EXPECT_FALSE(FileExists(g_logPath));
        EXPECT_FALSE(FileExists(dir_ / "lang.ini"));
        EXPECT_TRUE(FileExists(dir_ / "keep.txt"));
        return positions;
    }

    Positions Run(const std::vector<std::string>& entries, Driver* driver = nullptr)
    {
        std::string bytes;
        for (const std::string& entry : entries)
            bytes += entry + "\r\n";
        return RunBytes(bytes, driver);
    }

    testenv::TempDir dir_{"wk"};
    testenv::ScopedKey testKey_{HKEY_CURRENT_USER, kTestKey};
    // A file that cannot go is listed for the next start; the prefix gets its list back.
    testenv::SavedValue pending_{HKEY_LOCAL_MACHINE,
                                 "SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                                 "PendingFileRenameOperations"};
    char savedCurrentDir_[MAX_PATH] = "";
};

TEST_F(Worker, ProgressFollowsTheReadsOfTheLog)
{
    std::string sub = std::string(kTestKey) + "\\Demo\\App";
    testenv::SetString(HKEY_CURRENT_USER, sub, "InstallPath", "x");
    testenv::WriteFileBytes(g_systemIniPath, "[drivers]\r\nwave=demo.drv\r\n");
    std::vector<std::string> example = {
        Add("demo.exe"), "%" + Add("demoext.dll"), "&" + Add("DEMO.TTF"),
        "-drivers\\wave", "demo.drv",
        ":HKEY_CURRENT_USER\\" + sub + "\\InstallPath",
        ";" + dir_.Path() + "cleanup.exe", ";" + dir_.Path(), ";",
    };
    EXPECT_EQ(Run(example), (Positions{10, 20, 30, 40, 60, 70, 100}));
    for (const char* gone : {"demo.exe", "demoext.dll", "DEMO.TTF"})
        EXPECT_FALSE(FileExists(dir_ / gone)) << gone;
    EXPECT_EQ(ReadFileOrEmpty(g_systemIniPath).find("wave"), std::string::npos);
    EXPECT_FALSE(testenv::KeyExists(HKEY_CURRENT_USER, sub));

    EXPECT_EQ(Run({Add("a.txt"), Add("b.txt"), Add("c.txt")}), (Positions{25, 50, 75, 100}));
    EXPECT_EQ(Run({}), (Positions{100})) << "no entries: the bar jumps to its end";
}

TEST_F(Worker, LongLinesAreReadInPieces)
{
    std::string dir = dir_ / "long\\";
    testenv::MakeDirectories(NoSlash(dir));
    std::string path300 = Add("long\\" + std::string(259 - dir.size(), 'a'), "x");
    std::string path259 = Add("long\\" + std::string(259 - dir.size(), 'b'), "x");
    ASSERT_EQ(path300.size(), 259u);
    // The 41 characters after the first 259 are a registry entry of their own.
    std::string prefix = ":HKEY_CURRENT_USER\\" + std::string(kTestKey) + "\\";
    std::string valueName = "V" + std::string(41 - prefix.size() - 1, 'v');
    testenv::SetString(HKEY_CURRENT_USER, kTestKey, valueName.c_str(), "x");
    testenv::SetString(HKEY_CURRENT_USER, kTestKey, "Stay", "x");
    // One read by the count, two by the worker; the final read passes 100.
    EXPECT_EQ(Run({path300 + prefix + valueName}), (Positions{50, 100, 150}));
    EXPECT_FALSE(FileExists(path300)) << "acted on as its first 259 characters";
    EXPECT_FALSE(HasValue(kTestKey, valueName));
    EXPECT_TRUE(HasValue(kTestKey, "Stay"));

    // Exactly 259: whole, and its line feed comes back as an empty entry.
    EXPECT_EQ(Run({path259}), (Positions{50, 100, 150}));
    EXPECT_FALSE(FileExists(path259));
}

TEST_F(Worker, EmptyLastAndUnkindedLines)
{
    std::string after = Add("after-empty.txt");
    EXPECT_EQ(Run({"", after}), (Positions{33, 66, 100})) << "an empty line is an entry";
    EXPECT_FALSE(FileExists(after));
    std::string last = Add("last.txt");
    EXPECT_EQ(RunBytes(last), (Positions{100})) << "a last line without line feed";
    EXPECT_TRUE(FileExists(last)) << "a last line without line feed was acted on";
    EXPECT_EQ(RunBytes(last + "\r\n"), (Positions{50, 100}));
    EXPECT_FALSE(FileExists(last));

    // A first character that names no kind belongs to the path; an INI
    // entry without a backslash has no value line.
    testenv::MakeDirectories(dir_ / "current");
    ASSERT_TRUE(SetCurrentDirectoryA((dir_ / "current").c_str()));
    std::vector<std::string> gone = {Add("current\\1st.txt"), Add("current\\\xE9t\xE9.txt"),
                                     Add("rooted.txt"), Add("lettered.txt"),
                                     Add("after-noslash.txt"), Add("after-minus.txt")};
    std::string valueLine = Add("value.txt");
    Run({"1st.txt", "\xE9t\xE9.txt", gone[2].substr(2), gone[3], "-nobackslash", gone[4], "-",
         gone[5], "-sec\\key", valueLine});
    for (const std::string& path : gone)
        EXPECT_FALSE(FileExists(path)) << path;
    EXPECT_TRUE(FileExists(valueLine)) << "a value line is no entry";
}

TEST_F(Worker, ProgramsStartInTheDirectoryTheFlagChooses)
{
    std::string program = testenv::ProgramDir() + "logged_program.exe";
    std::string derived = dir_ / "derived\\", given = dir_ / "given with space\\",
                current = dir_ / "current\\";
    for (const std::string& d : {derived, given, current})
        testenv::MakeDirectories(NoSlash(d));
    ASSERT_TRUE(CopyFileA(program.c_str(), (derived + "logged_program.exe").c_str(), FALSE));
    ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));

    Run({// Empty flag value: the command line's directory, whatever the second line says.
         ";" + derived + "logged_program.exe cwd1.txt", ";" + given, ";",
         // The flag's first character is not part of its value.
         ";" + derived + "logged_program.exe cwd2.txt", ";" + given, "x",
         // A flag value keeps the second line, even when that is empty.
         ";\"" + program + "\" cwd3.txt", ";" + given, ";x",
         ";\"" + program + "\" cwd4.txt", ";", ";x",
         // No directory in the command line: the uninstaller's own.
         ";logged_program.exe cwd5.txt", ";" + given, ""});
    EXPECT_EQ(ReadFileOrEmpty(derived + "cwd1.txt"), NoSlash(derived));
    EXPECT_EQ(ReadFileOrEmpty(derived + "cwd2.txt"), NoSlash(derived));
    EXPECT_EQ(ReadFileOrEmpty(given + "cwd3.txt"), NoSlash(given));
    EXPECT_EQ(ReadFileOrEmpty(current + "cwd4.txt"), NoSlash(current));
    EXPECT_EQ(ReadFileOrEmpty(current + "cwd5.txt"), NoSlash(current));
}

TEST_F(Worker, ProgramHoldsTheWorkerUntilItEnds)
{
    std::string before = Add("before.txt"), after = Add("after.txt");
    std::string started = dir_ / "started.txt", signal = dir_ / "go.signal";
    Driver driver;
    bool heldBack = false;
    LONG heldPosition = -1;
    driver.whileWorking = [&](HWND dialog) {
        for (DWORD start = GetTickCount(); !FileExists(started); Sleep(10))
            if (GetTickCount() - start > 20000)
                return;
        Sleep(300);
        heldPosition = LONG(SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_GETPOS, 0, 0));
        heldBack = !FileExists(before) && FileExists(after) && !ui::ControlEnabled(dialog, IDOK);
        testenv::WriteFileBytes(signal, "");
    };
    Positions positions = Run({before,
                               ";\"" + testenv::ProgramDir() + "logged_program.exe\" \"" + started +
                                   "\" \"" + signal + "\"",
                               ";", ";x", after},
                              &driver);
    EXPECT_TRUE(heldBack) << "the entry after the program was done before it ended";
    EXPECT_EQ(heldPosition, 33) << "the bar does not move while the program runs";
    EXPECT_EQ(positions, (Positions{16, 33, 83, 100}));
    EXPECT_FALSE(FileExists(after));
}

TEST_F(Worker, FontEntryTakesTheFontOutOfTheFontTable)
{
    std::string bytes;
    ASSERT_TRUE(testenv::ReadFileBytes("Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf",
                                       &bytes)) << "fonts-dejavu-core missing?";
    // Wine keeps a second copy of an installed face out of its table, so the
    // copy gets a family name of its own.
    ReplaceAll(&bytes, "DejaVu", "UtestV");
    ReplaceAll(&bytes, std::string("\0D\0e\0j\0a\0V\0u", 12), std::string("\0U\0t\0e\0s\0t\0V", 12));
    std::string font = Add("fonts\\demo.ttf", bytes);
    ASSERT_GT(AddFontResourceA(font.c_str()), 0);
    Run({"&" + font});
    EXPECT_FALSE(testenv::DirectoryExists(dir_ / "fonts")) << "the font and its directory go";
    // With the file back, only the font table decides.
    Add("fonts\\demo.ttf", bytes);
    EXPECT_FALSE(RemoveFontResourceA(font.c_str())) << "the font was still loaded";
    ASSERT_GT(AddFontResourceA(font.c_str()), 0);
    EXPECT_TRUE(RemoveFontResourceA(font.c_str())) << "a loaded font can be removed";
}

TEST_F(Worker, TenThousandEntriesRunToTheEnd)
{
    const int kCount = 10000;
    std::string many = dir_ / "many", bytes;
    for (int i = 0; i < kCount; ++i) {
        // Empty files in small directories, each made with one call: Wine
        // searches a directory for every name it creates in it.
        std::string directory = many + "\\d" + std::to_string(i / 100);
        if (i % 100 == 0)
            testenv::MakeDirectories(directory);
        std::string path = directory + "\\file" + std::to_string(i) + ".dat";
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
        CloseHandle(file);
        bytes += path + "\r\n";
    }
    Positions positions = RunBytes(bytes);
    ASSERT_EQ(positions.size(), size_t(kCount + 1));
    for (int i = 0; i < kCount + 1; ++i)
        ASSERT_EQ(positions[i], LONG((i + 1) * 100LL / (kCount + 1))) << "read " << i + 1;
    EXPECT_FALSE(testenv::DirectoryExists(many)) << "every file went, and then the directories";
}

}  // namespace
