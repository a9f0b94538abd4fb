// The worker undoing a log, run in this process through the real main
// dialog: the test sets the run's globals, opens the log stream and shows
// the dialog on its main thread while a driver thread presses OK once the
// worker has enabled it. Every PBM_SETPOS the progress bar receives is
// recorded by a hook on the main thread.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/linefile.h"
#include "language/language.h"
#include "resources/resource.h"
#include "shell/buf.h"
#include "shell/dialogs.h"
#include "shell/globals.h"
#include "shell/main_dialog.h"
#include "support/installation.h"
#include "support/saved_state.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

using testenv::FileExists;
using testenv::WriteFileBytes;

namespace {

const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kTestKey[] = "Software\\UTWorker";   // short: a test fits it in 41 characters
const char kFontSource[] = "Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";
const DWORD kRunTimeoutMs = 60000;

typedef std::vector<LONG> Positions;

Positions* g_recordedPositions;

LRESULT CALLBACK RecordProgress(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && message->message == PBM_SETPOS &&
        GetDlgCtrlID(message->hwnd) == IDC_MAIN_PROGRESS && g_recordedPositions)
        g_recordedPositions->push_back(LONG(message->wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// What the driver thread does with one run of the dialog.
struct Driver {
    std::function<void(HWND)> whileWorking;   // called once the dialog shows
    bool sawDialog = false;
    bool workDone = false;
};

DWORD WINAPI DriveDialog(LPVOID param)
{
    Driver* driver = static_cast<Driver*>(param);
    HWND dialog = ui::WaitForWindow("KSWUNINST", nullptr, 20000, GetCurrentProcessId());
    if (!dialog)
        return 0;
    driver->sawDialog = true;
    if (driver->whileWorking)
        driver->whileWorking(dialog);
    driver->workDone = testenv::WaitForWorkDone(dialog, kRunTimeoutMs);
    // OK ends the dialog whether or not it is enabled, so a stuck worker
    // cannot keep the test from going on.
    ui::PressButton(dialog, IDOK);
    return 0;
}

LONG BarPosition(HWND dialog)
{
    return LONG(SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_GETPOS, 0, 0));
}

// Waits until path exists; false after timeoutMs.
bool WaitForFile(const std::string& path, DWORD timeoutMs = 20000)
{
    DWORD start = GetTickCount();
    while (!FileExists(path)) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(10);
    }
    return true;
}

std::string Trimmed(std::string directory)
{
    while (directory.size() > 3 && directory.back() == '\\')
        directory.pop_back();
    return directory;
}

void ReplaceAll(std::string* text, const std::string& from, const std::string& to)
{
    for (size_t at = text->find(from); at != std::string::npos; at = text->find(from, at + to.size()))
        text->replace(at, from.size(), to);
}

std::string RegistryText(const std::string& subKey, const std::string& name)
{
    std::string data;
    if (!testenv::GetValue(HKEY_CURRENT_USER, subKey, name.c_str(), &data))
        return "<absent>";
    return data.c_str();
}

std::string IniValue(const char* section, const char* key, const std::string& file)
{
    char value[256];
    GetPrivateProfileStringA(section, key, "<absent>", value, sizeof value, file.c_str());
    return value;
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
        // Keeps the directory from coming out empty, so that removing
        // emptied directories stops here.
        WriteFileBytes(dir_ / "keep.txt", "not logged");
        BufSet(g_installDir, sizeof g_installDir, dir_.Path().c_str());
        BufSet(g_languageDir, sizeof g_languageDir, dir_.Path().c_str());
        BufSet(g_macroDir, sizeof g_macroDir, dir_.Path().c_str());
        BufSet(g_logPath, sizeof g_logPath, (dir_ / "uninstall.log").c_str());
        BufSet(g_systemIniPath, sizeof g_systemIniPath, (dir_ / "system.ini").c_str());
        g_isNT = 1;
    }

    void TearDown() override { SetCurrentDirectoryA(savedCurrentDir_); }

    std::string Add(const std::string& relative, const std::string& bytes = "data")
    {
        std::string path = dir_ / relative;
        testenv::MakeDirectories(path.substr(0, path.find_last_of('\\')));
        WriteFileBytes(path, bytes);
        return path;
    }

    // Runs the main dialog on a log made of the header and entryBytes;
    // returns the positions the progress bar was given.
    Positions RunBytes(const std::string& entryBytes, Driver* driver = nullptr)
    {
        Driver plain;
        if (!driver)
            driver = &plain;
        WriteFileBytes(dir_ / "lang.ini", testenv::StandardLangIni());
        WriteFileBytes(g_logPath, "Demo App\r\nDemoApp\r\nEnglish\r\n" + entryBytes);
        g_logStream.OpenForReading(g_logPath);
        EXPECT_TRUE(g_logStream.is_open());
        char language[kTextSize];
        g_logStream.ReadLine(g_productName, sizeof g_productName);
        g_logStream.ReadLine(g_productKey, sizeof g_productKey);
        g_logStream.ReadLine(language, sizeof language);
        EXPECT_EQ(ChooseLanguage("lang.ini", "", language), 1);
        g_restartNeeded = 0;

        Positions positions;
        g_recordedPositions = &positions;
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, RecordProgress, nullptr, GetCurrentThreadId());
        EXPECT_NE(hook, nullptr);
        HANDLE driverThread = CreateThread(nullptr, 0, DriveDialog, driver, 0, nullptr);
        INT_PTR result = ShowMainDialog();
        UnhookWindowsHookEx(hook);
        g_recordedPositions = nullptr;

        EXPECT_EQ(WaitForSingleObject(driverThread, kRunTimeoutMs), WAIT_OBJECT_0);
        CloseHandle(driverThread);
        EXPECT_EQ(WaitForSingleObject(g_workerThread, kRunTimeoutMs), WAIT_OBJECT_0)
            << "the worker ends once it has enabled OK";
        CloseHandle(g_workerThread);
        g_workerThread = nullptr;
        EXPECT_EQ(result, 2);
        EXPECT_TRUE(driver->sawDialog);
        EXPECT_TRUE(driver->workDone) << "OK was never enabled";
        EXPECT_FALSE(FileExists(g_logPath));
        EXPECT_FALSE(FileExists(dir_ / "lang.ini"));
        EXPECT_TRUE(FileExists(dir_ / "keep.txt"));
        return positions;
    }

    // Entries given as lines, each ending with CR LF.
    Positions Run(const std::vector<std::string>& entries, Driver* driver = nullptr)
    {
        std::string bytes;
        for (const std::string& entry : entries)
            bytes += entry + "\r\n";
        return RunBytes(bytes, driver);
    }

    testenv::TempDir dir_{"wk"};
    testenv::ScopedKey testKey_{HKEY_CURRENT_USER, kTestKey};
    // Files that cannot be deleted are listed for the next start; the
    // prefix gets its list back afterwards.
    testenv::SavedValue pending_{HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations"};
    char savedCurrentDir_[MAX_PATH] = "";
};

TEST_F(Worker, ProgressFollowsTheReadsOfTheLog)
{
    std::string sub = std::string(kTestKey) + "\\Demo\\App";
    testenv::SetString(HKEY_CURRENT_USER, sub, "InstallPath", "x");
    WriteFileBytes(g_systemIniPath, "[drivers]\r\nwave=demo.drv\r\n");
    std::vector<std::string> example = {
        Add("demo.exe"),
        "%" + Add("demoext.dll"),
        "&" + Add("DEMO.TTF"),
        "-drivers\\wave",
        "demo.drv",
        ":HKEY_CURRENT_USER\\" + sub + "\\InstallPath",
        ";" + dir_.Path() + "cleanup.exe",
        ";" + dir_.Path(),
        ";",
    };
    EXPECT_EQ(Run(example), (Positions{10, 20, 30, 40, 60, 70, 100}));
    EXPECT_FALSE(FileExists(dir_ / "demo.exe"));
    EXPECT_FALSE(FileExists(dir_ / "demoext.dll"));
    EXPECT_FALSE(FileExists(dir_ / "DEMO.TTF"));
    EXPECT_EQ(IniValue("drivers", "wave", g_systemIniPath), "<absent>");
    EXPECT_FALSE(testenv::KeyExists(HKEY_CURRENT_USER, sub));

    EXPECT_EQ(Run({Add("a.txt"), Add("b.txt"), Add("c.txt")}), (Positions{25, 50, 75, 100}));
    EXPECT_EQ(Run({}), (Positions{100})) << "no entries: the bar jumps to its end";
}

TEST_F(Worker, LongLinesAreReadInPieces)
{
    std::string dir = dir_ / "long\\";
    testenv::MakeDirectories(Trimmed(dir));
    std::string path300 = dir + std::string(259 - dir.size(), 'a');
    std::string path259 = dir + std::string(259 - dir.size(), 'b');
    ASSERT_EQ(path300.size(), 259u);
    ASSERT_TRUE(WriteFileBytes(path300, "x"));
    ASSERT_TRUE(WriteFileBytes(path259, "x"));

    // The 41 characters after the first 259 are a registry entry of their own.
    std::string prefix = ":HKEY_CURRENT_USER\\" + std::string(kTestKey) + "\\";
    std::string valueName = "V" + std::string(41 - prefix.size() - 1, 'v');
    ASSERT_EQ((prefix + valueName).size(), 41u);
    testenv::SetString(HKEY_CURRENT_USER, kTestKey, valueName.c_str(), "x");
    testenv::SetString(HKEY_CURRENT_USER, kTestKey, "Stay", "x");
    // One read by the count, two by the worker; the final read passes 100.
    EXPECT_EQ(Run({path300 + prefix + valueName}), (Positions{50, 100, 150}));
    EXPECT_FALSE(FileExists(path300)) << "acted on as its first 259 characters";
    EXPECT_EQ(RegistryText(kTestKey, valueName), "<absent>");
    EXPECT_EQ(RegistryText(kTestKey, "Stay"), "x");

    // Exactly 259: whole, and its line feed comes back as an empty entry.
    EXPECT_EQ(Run({path259}), (Positions{50, 100, 150}));
    EXPECT_FALSE(FileExists(path259));
}

TEST_F(Worker, EmptyLinesLastLinesAndEndOfText)
{
    std::string after = Add("after-empty.txt");
    EXPECT_EQ(Run({"", after}), (Positions{33, 66, 100})) << "an empty line is an entry";
    EXPECT_FALSE(FileExists(after));

    std::string last = Add("last.txt");
    EXPECT_EQ(RunBytes(last), (Positions{100})) << "a last line without line feed";
    EXPECT_TRUE(FileExists(last)) << "was acted on";
    EXPECT_EQ(RunBytes(last + "\r\n"), (Positions{50, 100}));
    EXPECT_FALSE(FileExists(last));

    // Ctrl-Z ends the readable text.
    std::string before = Add("before-eot.txt");
    std::string beyond = Add("beyond-eot.txt");
    RunBytes(before + "\r\n\x1A" + beyond + "\r\n");
    EXPECT_FALSE(FileExists(before));
    EXPECT_TRUE(FileExists(beyond));
}

TEST_F(Worker, FirstCharacterThatIsNoKindBelongsToThePath)
{
    std::string current = dir_ / "current";
    testenv::MakeDirectories(current);
    ASSERT_TRUE(SetCurrentDirectoryA(current.c_str()));
    std::string digit = Add("current\\1st.txt");
    std::string high = Add("current\\\xE9t\xE9.txt");
    std::string rooted = Add("rooted.txt");
    std::string lettered = Add("lettered.txt");
    ASSERT_EQ(rooted[1], ':');
    Run({"1st.txt", "\xE9t\xE9.txt", rooted.substr(2), lettered});
    EXPECT_FALSE(FileExists(digit));
    EXPECT_FALSE(FileExists(high));
    EXPECT_FALSE(FileExists(rooted)) << "a backslash starts a path on the current drive";
    EXPECT_FALSE(FileExists(lettered));
}

TEST_F(Worker, RegistryEntriesDeleteTheValueAndPruneEmptiedKeys)
{
    std::string app = std::string(kTestKey) + "\\Demo\\App";
    std::string other = std::string(kTestKey) + "\\Other";
    testenv::SetString(HKEY_CURRENT_USER, app, "InstallPath", "C:\\Demo");
    testenv::SetString(HKEY_CURRENT_USER, other, "", "default");
    testenv::SetString(HKEY_CURRENT_USER, other, "Keep", "x");
    testenv::SetString(HKEY_CURRENT_USER, kTestKey, "Stay", "x");
    Run({":HKEY_CURRENT_USER\\" + app + "\\InstallPath",
         ":HKEY_CURRENT_USER\\" + other + "\\(default)"});
    EXPECT_FALSE(testenv::KeyExists(HKEY_CURRENT_USER, std::string(kTestKey) + "\\Demo"));
    EXPECT_EQ(RegistryText(other, ""), "<absent>");
    EXPECT_EQ(RegistryText(other, "Keep"), "x");
    EXPECT_EQ(RegistryText(kTestKey, "Stay"), "x");
}

TEST_F(Worker, IniEntriesRemoveTheirLineFromSystemIni)
{
    std::string valuePath = Add("value.txt");
    WriteFileBytes(g_systemIniPath, "[drivers]\r\nwave=demo.drv\r\ntimer=timer.drv\r\n"
                                    "[a\\b]\r\nc=val\r\nd=val\r\n"
                                    "[sec]\r\nkey=" + valuePath + "\r\nother=1\r\n");
    std::string afterNoSlash = Add("after-noslash.txt");
    std::string afterMinus = Add("after-minus.txt");
    Run({"-drivers\\wave", "demo.drv",
         "-a\\b\\c", "val",
         "-nobackslash", afterNoSlash,
         "-", afterMinus,
         "-sec\\key", valuePath});
    EXPECT_EQ(IniValue("drivers", "wave", g_systemIniPath), "<absent>");
    EXPECT_EQ(IniValue("drivers", "timer", g_systemIniPath), "timer.drv");
    EXPECT_EQ(IniValue("a\\b", "c", g_systemIniPath), "<absent>") << "section a\\b, key c";
    EXPECT_EQ(IniValue("a\\b", "d", g_systemIniPath), "val");
    EXPECT_EQ(IniValue("sec", "key", g_systemIniPath), "<absent>");
    EXPECT_EQ(IniValue("sec", "other", g_systemIniPath), "1");
    EXPECT_FALSE(FileExists(afterNoSlash)) << "no value line is read without a backslash";
    EXPECT_FALSE(FileExists(afterMinus));
    EXPECT_TRUE(FileExists(valuePath)) << "a value line is no entry";
    EXPECT_EQ(g_restartNeeded, 1);
}

TEST_F(Worker, ProgramsStartInTheDirectoryTheFlagChooses)
{
    std::string program = testenv::ProgramDir() + "logged_program.exe";
    std::string derived = dir_ / "derived\\";
    std::string given = dir_ / "given with space\\";
    std::string current = dir_ / "current\\";
    for (const std::string& d : {derived, given, current})
        testenv::MakeDirectories(Trimmed(d));
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
    EXPECT_EQ(testenv::ReadFileOrEmpty(derived + "cwd1.txt"), Trimmed(derived));
    EXPECT_EQ(testenv::ReadFileOrEmpty(derived + "cwd2.txt"), Trimmed(derived));
    EXPECT_EQ(testenv::ReadFileOrEmpty(given + "cwd3.txt"), Trimmed(given));
    EXPECT_EQ(testenv::ReadFileOrEmpty(current + "cwd4.txt"), Trimmed(current));
    EXPECT_EQ(testenv::ReadFileOrEmpty(current + "cwd5.txt"), Trimmed(current));
    EXPECT_FALSE(FileExists(given + "cwd1.txt"));
    EXPECT_FALSE(FileExists(given + "cwd2.txt"));
}

TEST_F(Worker, ProgramHoldsTheWorkerUntilItEnds)
{
    std::string before = Add("before.txt");
    std::string after = Add("after.txt");
    std::string started = dir_ / "started.txt";
    std::string signal = dir_ / "go.signal";
    Driver driver;
    bool heldBack = false;
    LONG heldPosition = -1;
    driver.whileWorking = [&](HWND dialog) {
        if (!WaitForFile(started))
            return;
        Sleep(300);
        heldPosition = BarPosition(dialog);
        heldBack = !FileExists(before) && FileExists(after) && !ui::ControlEnabled(dialog, IDOK);
        WriteFileBytes(signal, "");
    };
    Positions positions = Run({before,
                               ";\"" + testenv::ProgramDir() + "logged_program.exe\" \"" + started +
                                   "\" \"" + signal + "\"",
                               ";", ";x",
                               after},
                              &driver);
    EXPECT_TRUE(heldBack) << "the entry after the program was done before it ended";
    EXPECT_EQ(heldPosition, 33) << "the bar does not move while the program runs";
    EXPECT_EQ(positions, (Positions{16, 33, 83, 100}));
    EXPECT_FALSE(FileExists(after));
}

TEST_F(Worker, LockedFileIsLeftForTheNextStart)
{
    std::string locked = Add("locked\\in-use.dat");
    std::string next = Add("next.dat");
    HANDLE holder = CreateFileA(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    Run({locked, next});
    CloseHandle(holder);
    EXPECT_TRUE(FileExists(locked));
    EXPECT_FALSE(FileExists(next)) << "the next entry follows";
    std::string pending;
    testenv::GetValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", &pending);
    EXPECT_NE(pending.find(std::string(locked.c_str(), locked.size() + 1)), std::string::npos)
        << "not listed for the next start";
}

TEST_F(Worker, FontEntryTakesTheFontOutOfTheFontTable)
{
    std::string bytes;
    ASSERT_TRUE(testenv::ReadFileBytes(kFontSource, &bytes)) << "fonts-dejavu-core missing?";
    // Wine keeps a second copy of an installed face out of its table, so the
    // copy gets a family name of its own.
    ReplaceAll(&bytes, "DejaVu", "UtestV");
    ReplaceAll(&bytes, std::string("\0D\0e\0j\0a\0V\0u", 12), std::string("\0U\0t\0e\0s\0t\0V", 12));
    std::string font = Add("fonts\\demo.ttf", bytes);
    ASSERT_GT(AddFontResourceA(font.c_str()), 0);
    Run({"&" + font});
    EXPECT_FALSE(FileExists(font));
    EXPECT_FALSE(testenv::DirectoryExists(dir_ / "fonts")) << "its emptied directory goes too";

    // With the file back, only the font table decides.
    Add("fonts\\demo.ttf", bytes);
    EXPECT_FALSE(RemoveFontResourceA(font.c_str())) << "the font was still loaded";
    ASSERT_GT(AddFontResourceA(font.c_str()), 0);
    EXPECT_TRUE(RemoveFontResourceA(font.c_str())) << "a loaded font can be removed";
}

TEST_F(Worker, ServerEntryUnregistersBeforeDeleting)
{
    std::string module = dir_ / "bin\\demoext.dll";
    std::string marker = dir_ / "unregistered.txt";
    testenv::MakeDirectories(dir_ / "bin");
    ASSERT_TRUE(CopyFileA((testenv::ProgramDir() + "selfreg_module.dll").c_str(), module.c_str(),
                          FALSE));
    SetEnvironmentVariableA("SELFREG_MARKER", marker.c_str());
    Run({"%" + module});
    SetEnvironmentVariableA("SELFREG_MARKER", nullptr);
    EXPECT_EQ(testenv::ReadFileOrEmpty(marker), "unregistered\n");
    EXPECT_FALSE(FileExists(module));
}

TEST_F(Worker, TenThousandEntriesRunToTheEnd)
{
    const int kCount = 10000;
    const int kPerDirectory = 100;
    std::string many = dir_ / "many";
    std::string bytes;
    for (int i = 0; i < kCount; ++i) {
        std::string directory = many + "\\d" + std::to_string(i / kPerDirectory);
        if (i % kPerDirectory == 0)
            testenv::MakeDirectories(directory);
        // Empty files in small directories, each made with one call: Wine
        // searches a directory for every name it creates in it.
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
