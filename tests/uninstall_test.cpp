// The uninstaller two ways. In this process: the command-line parser, and the worker undoing
// logs through the real main dialog while a hook records the bar. End to end: uninstall.exe on
// a desktop of its own, each run the windows it must show and the answers to give.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <sddl.h>

#include <functional>
#include <memory>
#include <thread>

#include "base/globals.h"
#include "base/window.h"
#include "language/language.h"
#include "registry/registry.h"
#include "resources/resource.h"
#include "shell/main_dialog.h"
#include "shell/restart.h"
#include "support/test_env.h"
#include "support/ui_driver.h"
#include "text/buf.h"
#include "uninstall_log/log_reader.h"
#include "logtools/log_check.h"
#include "logtools/log_plan.h"
#include "logtools/uninstall_log_writer.h"

using namespace testenv;

namespace {

const DWORD kTimeout = 20000;
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";

// Polls done() for up to kTimeout; its last answer.
bool WaitFor(const std::function<bool()>& done)
{
    for (DWORD start = GetTickCount(); GetTickCount() - start < kTimeout; Sleep(20))
        if (done())
            return true;
    return done();
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

bool CopyBuilt(const std::string& name, const std::string& to)   // from beside this program
{
    return CopyFileA((ProgramDir() + name).c_str(), to.c_str(), FALSE) != 0;
}

std::string SelfPath() { return ProgramDir() + "uninstall_test.exe"; }   // plays the helpers

const char* g_outPath = "";   // the file a helper reports in

// 1 when the shutdown privilege is enabled in this process's token, 0 when not, -1 unreadable.
int ShutdownPrivilegeState()
{
    HANDLE token = nullptr, copy = nullptr;
    PRIVILEGE_SET wanted = {1, PRIVILEGE_SET_ALL_NECESSARY, {}};
    BOOL enabled = FALSE;
    // PrivilegeCheck reads an impersonation token: a copy of the process's.
    bool read = OpenProcessToken(GetCurrentProcess(), TOKEN_DUPLICATE, &token) &&
                DuplicateToken(token, SecurityImpersonation, &copy) &&
                LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &wanted.Privilege[0].Luid) &&
                PrivilegeCheck(copy, &wanted, &enabled);
    CloseHandle(copy);
    CloseHandle(token);
    return read ? enabled : -1;
}

LRESULT CALLBACK RefuseEndSession(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_QUERYENDSESSION)
        return DefWindowProcA(window, message, wParam, lParam);
    WriteFileBytes(g_outPath, ReadFileOrEmpty(g_outPath) + "q");
    return FALSE;
}

// --watch OUT: a window that refuses to end the session, so wineboot neither closes it nor
// restarts; OUT is created once it is up and gets a "q" for each request.
int WatchSession()
{
    WNDCLASSA windowClass = {0, RefuseEndSession, 0, 0, nullptr, nullptr, nullptr, nullptr,
                             nullptr, "SessionWatcher"};
    RegisterClassA(&windowClass);
    ShowWindow(CreateWindowA("SessionWatcher", "session watcher", WS_OVERLAPPEDWINDOW, 0, 0, 200,
                             100, nullptr, nullptr, nullptr, nullptr), SW_SHOWNORMAL);
    WriteFileBytes(g_outPath, "");
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}

// --program OUT [SIGNAL]: stands for a program named in a log. Creates OUT,
// relative to the directory it was started in, then waits a while for SIGNAL.
int RunAsLoggedProgram(int argc, char** argv)
{
    WriteFileBytes(argv[2], "");
    return WaitFor([&] { return argc < 4 || FileExists(argv[3]); }) ? 0 : 1;
}

typedef std::vector<LONG> Positions;
typedef std::vector<std::string> Lines;
Positions g_positions;
const char kKey[] = "Software\\UTWorker";
enum LastLine { kEnded, kUnended };

LRESULT CALLBACK RecordPosition(int code, WPARAM wParam, LPARAM lParam)
{
    auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (message->message == PBM_SETPOS && GetDlgCtrlID(message->hwnd) == IDC_MAIN_PROGRESS)
        g_positions.push_back(LONG(message->wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// The dialog font of a control: height, weight, character set, quality, face.
std::string FontOf(HWND dialog, int id)
{
    LOGFONTA f = {};
    GetObjectA(reinterpret_cast<HFONT>(SendDlgItemMessageA(dialog, id, WM_GETFONT, 0, 0)),
               sizeof f, &f);
    char text[128];
    BufFormat(text, sizeof text, "%ld %ld %d %d %s", f.lfHeight, f.lfWeight, f.lfCharSet,
              f.lfQuality, f.lfFaceName);
    return text;
}

// DejaVu Sans under another family name: Wine keeps a second copy of an
// installed face out of its font table.
std::string FontOfItsOwnFamily()
{
    const char dejaVu[] = "Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf";
    std::string bytes = ReadFileOrEmpty(dejaVu);
    auto rename = [&](const std::string& from, const std::string& to) {
        for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at))
            bytes.replace(at, from.size(), to);
    };
    rename("DejaVu", "UtestV");
    rename(std::string("\0D\0e\0j\0a\0V\0u", 12), std::string("\0U\0t\0e\0s\0t\0V", 12));
    return bytes;
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
    void SetUp() override
    {
        for (char* global : {g_installDir, g_languageDir, g_macroDir})
            BufSet(global, kTextSize, dir_.Path().c_str());
        BufSet(g_logPath, sizeof g_logPath, (dir_ / "uninstall.log").c_str());
        BufSet(g_systemIniPath, sizeof g_systemIniPath, (dir_ / "system.ini").c_str());
        BufSet(g_productName, sizeof g_productName, "Demo App");
        g_isNT = 1;
        MakeDirectories(dir_ / "cwd");
        SetCurrentDirectoryA((dir_ / "cwd").c_str());
    }
    void TearDown() override { SetCurrentDirectoryA(ProgramDir().c_str()); }

    std::string Add(const std::string& name)
    {
        std::string path = dir_ / name;
        MakeDirectories(path.substr(0, path.find_last_of('\\')));
        WriteFileBytes(path, "data");
        return path;
    }

    // Runs the main dialog on a log of these lines, each ended with CR LF; the bar positions.
    Positions Run(const Lines& lines,
                  std::function<void(HWND)> whileWorking = {}, LastLine last = kEnded)
    {
        std::string log;
        for (const std::string& line : lines)
            log += line + "\r\n";
        WriteFileBytes(g_logPath, last == kUnended ? log.substr(0, log.size() - 2) : log);
        WriteFileBytes(dir_ / "lang.ini", "[English]\r\nstr74=Removing %p\r\n");
        EXPECT_EQ(ChooseLanguage("lang.ini", "", "English"), 1);
        LogWalk walk;
        EXPECT_TRUE(OpenLogWalk(walk, g_logPath));
        g_positions.clear();
        g_restartNeeded = 0;
        bool done = false;
        LRESULT barAtEnd = -1;
        std::thread driver([&] {
            HWND dialog = ui::WaitForWindow("KSWUNINST", nullptr, kTimeout, GetCurrentProcessId());
            if (dialog && whileWorking)
                whileWorking(dialog);
            done = WaitFor([&] {
                return ui::ControlEnabled(dialog, IDOK) &&
                       ui::ControlVisible(dialog, IDC_MAIN_SUCCESS);
            });
            barAtEnd = SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_GETPOS, 0, 0);
            ui::PressButton(dialog, IDOK);   // ends the dialog even while disabled
        });
        HHOOK hook =
            SetWindowsHookExA(WH_CALLWNDPROC, RecordPosition, nullptr, GetCurrentThreadId());
        EXPECT_EQ(ShowMainDialog(walk), 2);
        UnhookWindowsHookEx(hook);
        driver.join();
        EXPECT_EQ(WaitForSingleObject(g_workerThread, kTimeout), WAIT_OBJECT_0) << "ends after OK";
        CloseHandle(g_workerThread);
        EXPECT_TRUE(done) << "OK and the success text never came";
        EXPECT_EQ(barAtEnd, 100) << "full, and no further";
        return g_positions;
    }

    TempDir dir_{"wk"};
    ScopedKey key_{HKEY_CURRENT_USER, kKey};
    SavedValue pending_{HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations"};
};

// Every kind of entry in file order, and the dialog while a program holds the worker.
TEST_F(Worker, EveryKindAndTheDialogWhileAProgramRuns)
{
    std::string module = dir_ / "bin\\demoext.dll", marker = dir_ / "unregistered.txt";
    std::string started = dir_ / "cwd\\started", signal = dir_ / "go", after = Add("after.txt");
    std::string program = Add("bin\\demo.exe"), font = dir_ / "demo.ttf";
    const std::string fontBytes = FontOfItsOwnFamily();
    ASSERT_TRUE(WriteFileBytes(font, fontBytes) && AddFontResourceA(font.c_str()) > 0);
    ASSERT_TRUE(CopyBuilt("selfreg_module.dll", module) &&
                CopyBuilt("planted_module.dll", dir_ / "bin\\planted_module.dll"));   // it imports
    SetEnvironmentVariableA("SELFREG_MARKER", marker.c_str());
    SetString(HKEY_CURRENT_USER, kKey, "InstallPath", "x");
    WriteFileBytes(g_systemIniPath, "[drivers]\r\nwave=demo.drv\r\n");
    bool held = false;
    auto whileWorking = [&](HWND dialog) {
        EXPECT_TRUE(WaitFor([&] { return FileExists(started); }));
        EXPECT_EQ(ui::WindowText(dialog), "Demo App");
        EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_INTRO), "Removing Demo App");
        EXPECT_FALSE(ui::ControlVisible(dialog, IDC_MAIN_SUCCESS));
        EXPECT_EQ(FontOf(dialog, IDC_MAIN_HEADING), "-14 700 238 4 Arial");
        for (int id : {IDC_MAIN_INTRO, IDC_MAIN_WAIT, IDC_MAIN_SUCCESS})
            EXPECT_EQ(FontOf(dialog, id), "-12 400 238 4 Arial") << id;
        RECT window, client;
        EXPECT_TRUE(GetWindowRect(dialog, &window) && GetClientRect(dialog, &client));
        EXPECT_EQ(window.left, (GetSystemMetrics(SM_CXSCREEN) - client.right) / 2);
        EXPECT_EQ(window.top, (GetSystemMetrics(SM_CYSCREEN) - client.bottom) / 2);
        // Close box, Escape, Enter: none ends it; the bar set last shows the keys were handled.
        SendMessageA(dialog, WM_CLOSE, 0, 0);
        PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageA(GetDlgItem(dialog, IDC_MAIN_PROGRESS), PBM_SETPOS, 77, 0);
        EXPECT_TRUE(WaitFor([&] {
            return SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_GETPOS, 0, 0) == 77;
        }));
        EXPECT_TRUE(IsWindowVisible(dialog));
        held = FileExists(after) && !ui::ControlEnabled(dialog, IDOK);
        WriteFileBytes(signal, "");
    };
    Lines log = {program, "%" + module, "&" + font, "-drivers\\wave", "demo.drv",
                 ":HKEY_CURRENT_USER\\" + std::string(kKey) + "\\InstallPath",
                 // An empty directory value with a flag: the uninstaller's current directory.
                 ";" + Quoted(SelfPath()) + " --program started " + Quoted(signal), ";", ";x", after, dir_ / "bin\\planted_module.dll"};
    EXPECT_EQ(Run(log, whileWorking), (Positions{8, 16, 25, 33, 50, 58, 83, 91, 100}));
    SetEnvironmentVariableA("SELFREG_MARKER", nullptr);
    EXPECT_TRUE(held) << "the entry after the program went before it ended";
    EXPECT_FALSE(FileExists(after));
    EXPECT_EQ(ReadFileOrEmpty(marker), "unregistered\n");
    EXPECT_EQ(ReadFileOrEmpty(g_systemIniPath).find("wave"), std::string::npos);
    EXPECT_EQ(g_restartNeeded, 1);
    EXPECT_FALSE(DirectoryExists(dir_ / "bin")) << "emptied";
    EXPECT_FALSE(FileExists(font));
    // The font left the table: its file, put back, cannot be taken out again.
    WriteFileBytes(font, fontBytes);
    EXPECT_FALSE(RemoveFontResourceA(font.c_str())) << "the font was still in the table";
}

TEST_F(Worker, LinesAsTheReaderCutsThem)
{
    std::string valueLine = Add("value"), last = Add("last");
    const struct { Lines lines; Positions positions; Lines gone; } cases[] = {
        {{}, {100}, {}},
        {{"", Add("after-empty")}, {33, 66, 100}, {"after-empty"}},
        // An INI entry reads its value line only when it names a key.
        {{"-nobackslash", Add("d"), "-", Add("e"), "-sec\\key", valueLine, Add("f")},
         {12, 25, 37, 50, 62, 87, 100}, {"d", "e", "f"}},
        // Emptied directories go before the next directory, a program (it would write
        // into n\b) and the log's end; ".." leads out of the directory before it.
        {{Add("n\\a\\1"), Add("n\\a\\..\\2"), Add("n\\b\\c\\3"), Add("n\\b\\4"),
          ";" + Quoted(SelfPath()) + " --program " + Quoted(dir_ / "n\\b\\made"), ";", ";x",
          Add("m\\d\\5")},
         {11, 22, 33, 44, 55, 88, 100}, {"n", "m"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Run(c.lines), c.positions) << "row " << &c - cases;
        for (const std::string& gone : c.gone)
            EXPECT_FALSE(FileExists(dir_ / gone) || DirectoryExists(dir_ / gone)) << gone;
    }
    EXPECT_TRUE(FileExists(valueLine)) << "a value line is no entry";
    EXPECT_EQ(Run({last}, {}, kUnended), Positions{100});
    EXPECT_TRUE(FileExists(last)) << "a last line without line end is not acted on";
}

const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kCzech[] = "\xC8" "esky";   // code page 1250

enum Kind { kLanguage, kBox, kMain };
struct Step {
    Kind kind;
    int answer = IDOK;                 // the button pressed
    std::string caption{}, text{};     // a box's
};

Step MissingLogBox(const std::string& dir, int answer)   // dir ends in a backslash
{
    return {kBox, answer, "Uninstall", "Unable to find the installation log file '" + dir +
            "uninstall.log'. Uninstallation can not continue.\nRemove uninstallation option?"};
}

// The product as the installer leaves it: a file, the log, lang.ini, a copy
// of uninstall.exe and its values under the Uninstall key.
struct Product {
    explicit Product(const std::string& header, const std::string& dirName = "Demo App")
        : dir(temp.Path() + dirName + "\\")
    {
        MakeDirectories(dir);
        CopyBuilt("uninstall.exe", exe);
        WriteFileBytes(dir + "lang.ini", "[English]\r\nstr71=English text 71\r\n"
                       "str72=Remove '%p' from your computer?\r\nstr96=English text 96\r\n"
                       "str97=English text 97\r\nstr89=English text 89\r\nstr90=English text 90\r\n"
                       "[" + std::string(kCzech) +
                       "]\r\nstr71=Odinstalace\r\nstr72=Odebrat '%p'?\r\n");
        WriteFileBytes(dir + "demo.exe", "");
        WriteFileBytes(dir + "uninstall.log", header + dir + "demo.exe\r\n");
        SetString(HKEY_LOCAL_MACHINE, key, "DisplayName", "Demo App");
        SetString(HKEY_LOCAL_MACHINE, key, "UninstallString", exe);
        SetString(HKEY_LOCAL_MACHINE, key, "Publisher", "Demo Corp");   // keeps the key
    }
    ~Product() { DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, key); }
    std::string Command(const std::string& args) const { return Quoted(exe) + " " + args; }

    TempDir temp{"inst"};
    std::string dir, key = kUninstall + "UninstTest", exe = dir + "uninstall.exe";
};

class EndToEnd : public ::testing::Test {
protected:
    // Starts commandLine, answers the windows of steps in their order; the exit code.
    DWORD RunThrough(const std::string& commandLine, const std::vector<Step>& steps)
    {
        Process process;
        DWORD code = 0;
        std::thread([&] {
            // A thread's desktop handle is closed when the thread ends: open one for it.
            if (!SetThreadDesktop(OpenDesktopA(name_.c_str(), 0, FALSE, GENERIC_ALL)) ||
                !process.Start(commandLine, desktopName_))
                return ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
            for (const Step& step : steps) {
                SCOPED_TRACE("step " + std::to_string(&step - &steps[0]));
                std::vector<HWND> windows;
                WaitFor([&] { return !(windows = ui::TopLevelWindows(process.Id())).empty(); });
                HWND window = windows.empty() ? nullptr : windows[0];
                Kind kind = ui::ClassName(window) == "KSWUNINST"     ? kMain
                            : GetDlgItem(window, IDC_LANGUAGE_LIST) ? kLanguage : kBox;
                if (!window || kind != step.kind)
                    return ADD_FAILURE() << "expected kind " << step.kind << ", got "
                                         << (window ? ui::WindowText(window) : "none");
                if (kind == kBox) {
                    EXPECT_EQ(ui::WindowText(window), step.caption);
                    EXPECT_EQ(ui::ControlText(window, 0xFFFF), step.text);
                    EXPECT_TRUE(GetDlgItem(window, step.answer) && !GetDlgItem(window, IDCANCEL));
                    EXPECT_EQ(!GetDlgItem(window, IDNO), step.answer == IDOK) << "Yes/No or OK";
                } else if (kind == kMain) {
                    WaitFor([&] { return !IsWindow(window) || ui::ControlEnabled(window, IDOK); });
                    EXPECT_TRUE(ui::ControlVisible(window, IDC_MAIN_SUCCESS)) << "at the end";
                }
                ui::PressButton(window, step.answer);
                EXPECT_TRUE(ui::WaitForWindowGone(window, kTimeout));
            }
            code = process.Wait(kTimeout);   // still active while a window is left
        }).join();
        return code;
    }

    std::string name_ = "uninstall_test_" + std::to_string(GetCurrentProcessId());
    std::unique_ptr<HDESK__, decltype(&CloseDesktop)> desktop_{
        CreateDesktopA(name_.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr), CloseDesktop};
    std::string desktopName_ = "WinSta0\\" + name_;
    TempDir temp_{"run"};
    Process watcher_;   // killed before the desktop is closed
    SavedValue pending_{HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations"};
};

enum Gone {
    kDemo = 1, kLog = 2, kRegistration = 4, kAll = 7, kUnregistered = 8, kOn98 = 16, kLocked = 32
};

// Gives everybody exactly the rights in sddlRights on the product's key.
bool SetKeyAccess(const std::string& subKey, const std::string& sddlRights)
{
    HKEY key;
    PSECURITY_DESCRIPTOR sd = nullptr;
    bool done =
        RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS &&
        ConvertStringSecurityDescriptorToSecurityDescriptorA(
            ("D:P(A;;" + sddlRights + ";;;WD)").c_str(), SDDL_REVISION_1, &sd, nullptr) &&
        RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    LocalFree(sd);
    RegCloseKey(key);
    return done;
}

// A watcher on the runs' desktop refuses to end the session, so a restart touches nothing
// else, and counts the requests.
TEST_F(EndToEnd, FromStartToExit)
{
    std::string queries = temp_ / "queries", systemIni = WindowsDir() + "\\system.ini";
    std::string wininit = WindowsDir() + "\\WININIT.INI";
    ASSERT_TRUE(watcher_.Start(Quoted(SelfPath()) + " --watch " + Quoted(queries), desktopName_));
    ASSERT_TRUE(WaitFor([&] { return FileExists(queries); }));
    SavedFile savedIni(systemIni), savedWininit(wininit);
    const std::string ini = ReadFileOrEmpty(systemIni);
    auto header = [](const std::string& language) {
        return "Demo App\r\nUninstTest\r\n" + language + "\r\n";
    };
    const std::string english = header("English"), iniLog = "-uninsttest\\wave\r\ndemo.drv\r\n";
    const Step yes = {kBox, IDYES, "English text 71", "Remove 'Demo App' from your computer?"};
    const Step no = {kBox, IDNO, yes.caption, yes.text}, work = {kMain};
    const Step czechNo = {kBox, IDNO, "Odinstalace", "Odebrat 'Demo App'?"};
    const struct { std::string args, header; std::vector<Step> steps; int gone; } cases[] = {
        {"", english, {yes, work}, kAll},
        {"", english, {no}, 0},
        {"-Cany", english, {work}, kAll | kUnregistered},
        // Without general/default in lang.ini the dialog preselects Czech.
        {"", header(""), {{kLanguage}, czechNo}, 0},
        {"", header(""), {{kLanguage, IDCANCEL}}, 0},
        {"", header(kCzech), {czechNo}, 0},
        // Damaged headers: the run still goes to the end.
        {"-c", std::string(5000, 'N') + "\r\n\x80\x9F\xA0\xC8\xE9\xFF\r\n" +
                   std::string("Eng\0lish\r\n", 10), {work}, kDemo | kLog},
        {"-c", "Name\r\n", {{kLanguage}, work}, kLog},
        // UninstallString cannot be deleted: the error box, and nothing is touched.
        {"-C", english, {{kBox, IDOK, "English text 90", "English text 89"}}, kLocked},
        // On Windows 98 the own file goes to WININIT.INI instead.
        {"-c", english, {work}, kAll | kOn98},
        // A line went from system.ini: the restart question, No and then Yes.
        {"-c", english + iniLog, {work, {kBox, IDNO, "English text 96", "English text 97"}}, kAll},
        {"-C", english + iniLog, {work, {kBox, IDYES, "English text 96", "English text 97"}}, kAll},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("args " + c.args + ", log " + c.header.substr(0, 30));
        Product product(c.header);
        WriteFileBytes(systemIni, ini + "[uninsttest]\r\nwave=demo.drv\r\n");
        if (c.gone & kUnregistered) {   // the key with Publisher alone
            DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, product.key);
            SetString(HKEY_LOCAL_MACHINE, product.key, "Publisher", "Demo Corp");
        }
        std::unique_ptr<Win98Mode> on98(c.gone & kOn98 ? new Win98Mode("uninstall.exe") : nullptr);
        if ((c.gone & kLocked) && !SetKeyAccess(product.key, "0x60019"))
            FAIL() << "cannot leave the key with read and change-permission rights only";
        EXPECT_EQ(RunThrough(product.Command(c.args), c.steps), 1u);
        if ((c.gone & kLocked) && !SetKeyAccess(product.key, "KA"))
            FAIL() << "cannot give the key back";
        EXPECT_NE(FileExists(product.dir + "demo.exe"), bool(c.gone & kDemo));
        for (const char* file : {"uninstall.log", "lang.ini"})
            EXPECT_NE(FileExists(product.dir + file), bool(c.gone & kLog)) << file;
        std::string data;
        for (const char* value : {"UninstallString", "DisplayName"})
            EXPECT_NE(GetValue(HKEY_LOCAL_MACHINE, product.key, value, &data),
                      bool(c.gone & kRegistration)) << value;
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, product.key)) << "only the two values go";
        std::string list;
        GetValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", &list);
        size_t own = list.find(product.exe + '\0');
        bool listed = own != std::string::npos && own < list.find(product.dir + '\0');
        EXPECT_EQ(listed, (c.gone & (kLog | kOn98)) == kLog)
            << "a finished run lists its own file, then its directory: " << list;
        char shortOwn[MAX_PATH] = "?";
        GetShortPathNameA(product.exe.c_str(), shortOwn, MAX_PATH);
        std::string renames = ReadFileOrEmpty(wininit);
        EXPECT_EQ(renames.find("NUL=" + std::string(shortOwn)) != std::string::npos,
                  bool(c.gone & kOn98)) << renames;
    }
    EXPECT_EQ(ReadFileOrEmpty(systemIni).find("wave=demo.drv"), std::string::npos);
    // The restart itself, in a process of its own: the privilege is enabled first.
    Process probe;
    ASSERT_TRUE(probe.Start(Quoted(SelfPath()) + " --restart -", desktopName_));
    EXPECT_EQ(ShutdownPrivilegeState(), 0) << "disabled in a process of this user";
    EXPECT_EQ(probe.Wait(kTimeout), 1u) << "the shutdown privilege after the restart";
    WaitFor([&] { return ReadFileOrEmpty(queries).size() >= 4; });
    Sleep(500);   // for any more that should not come
    EXPECT_EQ(ReadFileOrEmpty(queries), "qqqq") << "Yes and the probe ask twice each, No never";
    EXPECT_EQ(watcher_.Wait(0), DWORD(STILL_ACTIVE)) << "the refusal was not respected";
}

// A log from UninstallLogWriter with every kind of entry, a doubled backslash and a read-only
// folder: checked clean, planned, and undone by uninstall.exe, after which the machine is as the
// plan said.
TEST_F(EndToEnd, WrittenCheckedPlannedAndUndoneAsPlanned)
{
    Product product("");
    const std::string dir = product.dir, logPath = dir + "uninstall.log", ran = temp_ / "ran";
    const std::string key = "Software\\UninstCheck", shared = SystemDir() + "\\uninstcheck.dll";
    const std::string systemIni = WindowsDir() + "\\system.ini", hkcu = "HKEY_CURRENT_USER\\";
    const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
    SavedFile savedIni(systemIni);
    SavedValue savedCount(HKEY_LOCAL_MACHINE, kSharedDlls, shared.c_str());
    ScopedKey scoped(HKEY_CURRENT_USER, key);
    WriteFileBytes(systemIni, ReadFileOrEmpty(systemIni) + "[uninstcheck]\r\nwave=demo.drv\r\n");
    ASSERT_TRUE(MakeDirectories(dir + "data") && MakeDirectories(dir + "fonts") &&
                MakeDirectories(dir + "rodir"));
    for (const char* name : {"data\\map.dat", "data\\more.dat", "rodir\\r.dat", "ro.txt",
                             "locked.dat", "m.dll", "fonts\\f.ttf"})
        WriteFileBytes(dir + name, "x");
    for (const char* name : {"ro.txt", "rodir"})
        SetFileAttributesA((dir + name).c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(shared, "x");
    SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, shared.c_str(), 2);
    SetString(HKEY_CURRENT_USER, key + "\\A\\B", "Value", "x");
    std::string lang = "[English]\r\n";
    for (const unsigned* n = kShownTextNumbers; *n; ++n)
        lang += "str" + std::to_string(*n) + "=English text " + std::to_string(*n) + "\r\n";
    WriteFileBytes(dir + "lang.ini", lang);
    UninstallLogWriter log;
    bool written = log.Open(logPath.c_str()) && log.Header("Demo App", "UninstTest", "English");
    for (const char* name : {"data\\map.dat", "data\\more.dat", "rodir\\r.dat", "ro.txt",
                             "locked.dat", "gone.txt"})
        written = written && log.File((dir + name).c_str());
    ASSERT_TRUE(written && log.SelfRegisteringModule((dir + "m.dll").c_str()) &&
                log.Font((dir + "fonts\\f.ttf").c_str()) && log.File(shared.c_str()) &&
                log.IniLine("uninstcheck", "wave", "demo.drv") &&
                log.RegistryValue((hkcu + key + "\\Missing").c_str()) &&
                log.RegistryValue((hkcu + key + "\\A\\B\\Value").c_str()) &&
                log.Program((Quoted(SelfPath()) + " --program ran").c_str(),   // in temp_
                            temp_.Path().c_str()) && log.Close()) << log.Error();
    // more.dat by a doubled backslash, which the writer refuses and the checker only warns of.
    std::string text = ReadFileOrEmpty(logPath);
    text.replace(text.find("data\\more.dat"), 4, "data\\");
    WriteFileBytes(logPath, text);

    Process check;
    ASSERT_TRUE(check.Start(Quoted(ProgramDir() + "uninstall-check.exe") +
                            " --plan --ignore path-spelling " + Quoted(dir.substr(0, dir.size() - 1))));
    EXPECT_EQ(check.Wait(kTimeout), 0u) << "the shipped checker finds nothing, and plans";

    HANDLE locked = CreateFileA((dir + "locked.dat").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<PlanStep> plan;
    const char* reason = "";
    ASSERT_TRUE(PlanLog(logPath.c_str(), [](const PlanStep& step, void* all) {
        static_cast<std::vector<PlanStep>*>(all)->push_back(step);
    }, &plan, &reason)) << reason;

    EXPECT_EQ(RunThrough(product.Command("-C"), {{kMain}, {kBox, IDNO, "English text 96",
                                                            "English text 97"}}), 1u);
    CloseHandle(locked);
    std::string pending, ini = ReadFileOrEmpty(systemIni), actions;
    GetValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", &pending);
    for (const PlanStep& step : plan) {
        std::string kind = step.kind, action = step.action, target = step.target;
        actions += kind + ":" + action + " ";
        char subKey[kTextSize], name[kTextSize];
        HKEY root = ParseRegistryPath((target + "\\x").c_str(), subKey, name);
        bool there = kind == "directory" ? DirectoryExists(target)
                     : kind == "key"      ? KeyExists(root, subKey)
                     : kind == "registry" ? RegistryAccessor().ValueExists(step.target)
                     : kind == "ini"      ? ini.find("wave=demo.drv") != std::string::npos
                     : kind == "program"  ? !FileExists(ran)
                                          : FileExists(target);
        if (action == "at-restart")
            EXPECT_NE(pending.find(target + '\0'), std::string::npos) << target << " not listed";
        else
            EXPECT_EQ(there, action == "keep") << kind << " " << target << ": " << action;
    }
    EXPECT_EQ(actions, "file:delete file:delete directory:remove file:delete directory:remove "
              "file:delete file:at-restart file:at-restart "
              "module:delete font:delete directory:remove file:keep ini:remove-line registry:none "
              "registry:delete key:remove key:remove key:remove program:run ");
    DeleteFileA(shared.c_str());
}

// DLLs planted beside uninstall.exe, searched there first: it loads none but those Wine loads
// into any program that restricts its search; a logged module still gets the DLL beside it.
TEST_F(EndToEnd, LoadsNoDllPlantedBesideIt)
{
    Product product("Demo App\r\nUninstTest\r\nEnglish\r\n");
    std::string module = product.dir + "bin\\ext.dll", log = product.dir + "uninstall.log";
    std::string any = temp_ / "any-", own = temp_ / "own-", unregistered = temp_ / "unregistered";
    ASSERT_TRUE(MakeDirectories(product.dir + "bin") && CopyBuilt("selfreg_module.dll", module) &&
                CopyBuilt("planted_module.dll", product.dir + "bin\\planted_module.dll") &&
                WriteFileBytes(log, ReadFileOrEmpty(log) + "%" + module + "\r\n"));
    const std::string order = "Software\\Wine\\AppDefaults\\uninstall.exe\\DllOverrides";
    ScopedKey orderKey(HKEY_CURRENT_USER, order);
    const struct { std::string name; bool loadedIntoAny; } cases[] = {
        {"comctl32", false}, {"shlwapi", false}, {"uxtheme", true}, {"version", true},
    };
    for (const auto& c : cases)
        ASSERT_TRUE(CopyBuilt("planted_module.dll", product.dir + c.name + ".dll") &&
                    SetString(HKEY_CURRENT_USER, order, c.name.c_str(), "native,builtin"));
    SetEnvironmentVariableA("SELFREG_MARKER", unregistered.c_str());
    SetEnvironmentVariableA("PLANTED_MARKERS", any.c_str());   // inherited by the runs
    ASSERT_TRUE(CopyBuilt("restricted_program.exe", product.exe));   // in uninstall.exe's place
    ASSERT_EQ(RunThrough(Quoted(product.exe), {}), 0u) << "the careful program made no control";
    SetEnvironmentVariableA("PLANTED_MARKERS", own.c_str());
    ASSERT_TRUE(CopyBuilt("uninstall.exe", product.exe));
    EXPECT_EQ(RunThrough(product.Command("-C"), {{kMain}}), 1u);
    SetEnvironmentVariableA("SELFREG_MARKER", nullptr);
    SetEnvironmentVariableA("PLANTED_MARKERS", nullptr);
    EXPECT_FALSE(FileExists(module) || FileExists(product.dir + "demo.exe")) << "left in place";
    EXPECT_EQ(ReadFileOrEmpty(unregistered), "unregistered\n");
    for (const auto& c : cases)
        EXPECT_FALSE(FileExists(own + c.name + ".dll") &&
                     !(c.loadedIntoAny && FileExists(any + c.name + ".dll")))
            << c.name << ".dll planted beside uninstall.exe was loaded";
}

// A logged module is unregistered wherever a plain load finds the DLL it imports, except beside
// uninstall.exe; a relative path is taken from the current directory. A logged program loads
// DLLs from its working directory. @ stands for the product's directory.
TEST_F(EndToEnd, LoggedModulesAndProgramsSearchDllsAsPlainLoads)
{
    TempDir onPath{"path"};
    char oldPath[4096] = "", oldCwd[MAX_PATH] = "";
    GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
    GetCurrentDirectoryA(sizeof oldCwd, oldCwd);
    SetEnvironmentVariableA("PATH", (std::string(oldPath) + ";" + onPath.Path()).c_str());
    const struct { std::string dependency, entry; bool unregistered; } cases[] = {
        {"@bin\\", "%bin\\ext.dll", true}, {onPath.Path(), "%@bin\\ext.dll", true},
        {WindowsDir() + "\\", "%@bin\\ext.dll", true}, {"@", "%@bin\\ext.dll", false},
    };
    for (const auto& c : cases) {
        Product product("Demo App\r\nUninstTest\r\nEnglish\r\n");
        auto at = [&](std::string text) {
            size_t place = text.find('@');
            return place == std::string::npos ? text : text.replace(place, 1, product.dir);
        };
        std::string dependency = at(c.dependency) + "planted_module.dll", bin = product.dir + "bin\\";
        std::string marker = temp_ / "marker", loaded = temp_ / "loaded";
        std::string log = ReadFileOrEmpty(product.dir + "uninstall.log") + at(c.entry) + "\r\n;" +
                          Quoted(SelfPath()) + " --load " + Quoted(loaded) + " workdir.dll\r\n;" +
                          bin + "\r\n;x\r\n";
        ASSERT_TRUE(MakeDirectories(bin) && CopyBuilt("selfreg_module.dll", bin + "ext.dll") &&
                    CopyBuilt("planted_module.dll", dependency) &&
                    CopyBuilt("planted_module.dll", bin + "workdir.dll") &&
                    WriteFileBytes(product.dir + "uninstall.log", log));
        SetEnvironmentVariableA("SELFREG_MARKER", marker.c_str());
        SetCurrentDirectoryA(product.dir.c_str());
        EXPECT_EQ(RunThrough(product.Command("-C"), {{kMain}}), 1u);
        SetCurrentDirectoryA(oldCwd);
        SetEnvironmentVariableA("SELFREG_MARKER", nullptr);
        EXPECT_EQ(ReadFileOrEmpty(marker), c.unregistered ? "unregistered\n" : "") << c.dependency;
        EXPECT_EQ(ReadFileOrEmpty(loaded), "loaded") << "the program's DLL in its working directory";
        DeleteFileA(marker.c_str());
        DeleteFileA(dependency.c_str());
    }
    SetEnvironmentVariableA("PATH", oldPath);
}

// Damaged logs, whole runs: exit code 1, and every sentinel as it was: files and directories
// beside and above the product, a file whose name extends a logged one, system.ini lines like a
// logged one, values beside logged ones, another program's pending rename. In a log @ stands for
// the product's directory, ^ for the one above; a path naming demo.exe must take it, no more.
TEST_F(EndToEnd, HostileLogsTouchNothingElse)
{
    const std::string systemIni = WindowsDir() + "\\system.ini", key = "Software\\UninstSentinel";
    const std::string nul(1, '\0'), s126(126, 's'), reg = ":HKEY_LOCAL_MACHINE\\" + key + "\\";
    const std::string ini = ReadFileOrEmpty(systemIni) + "[uninsttest]\r\nwave=demo.drv2\r\nwave "
                            "=demo.drv\r\n[x]\r\nwave=demo.drv\r\n[" + s126 + "]\r\nwave=x\r\n";
    const std::string other = "\\??\\C:\\Other\\old" + nul + "!\\??\\C:\\Other\\new" + nul;
    const std::string header = "Demo\r\nUninstTest\r\nEnglish\r\n";
    SavedFile savedIni(systemIni);
    ScopedKey values(HKEY_LOCAL_MACHINE, key);
    std::string high, kinds;
    for (int c = 128; c < 256; ++c)
        high += char(c);
    for (const char* kind : {"", "%", "&", "-", "-\\", ":", ";"})
        kinds += kind + std::string(9997, 'x') + "\\\\x\r\n";
    const struct {
        const char* name;
        std::string log;
        bool demoGoes = false;
        std::vector<Step> steps = {{kMain}};
    } cases[] = {
        {"truncated entry", "@gone\r\n@demo.exe"}, {"truncated program", ";@nowhere.exe\r\n;@"},
        {"10,000 characters", kinds}, {"Ctrl-Z", "@gone\r\n\x1A@demo.exe\r\n"},
        {"NUL", "@demo.exe" + nul + ".bak\r\n-uninsttest\\wave\r\ndemo.drv" + nul + "2\r\n", true},
        {"128 to 255", high + "\r\n:" + high + "\r\n-uninsttest\\" + high + "\r\n" + high + "\r\n"},
        {"CR alone", "@demo.exe\r^beside.txt\r\n"}, {"section", "-" + s126 + "\\wave\r\nx\r\n"},
        {"registry", reg + "Valu\r\n:hkey_local_machine\\" + key + "\\Value\r\n:HKEY_LOCAL_MA"
                     "CHINX\\" + key + "\\Value\r\n" + reg + std::string(1000, 92) + "Value\r\n"},
        {"..", "@keep\\..\\demo.exe\r\n", true}, {"%", "@%W\\demo.exe\r\n@100%\r\n%@%p%\r\n"},
        {"slashes", "@/demo.exe\r\n", true}, {"\\\\?\\", "\\\\?\\@demo.exe\r\n\\\\?\\^y\r\n", true},
        {"relative", "demo.exe.bak\r\n..\\beside.txt\r\nDemo App\\demo.exe.bak\r\n"},
        {"empty", "", false, {{kLanguage}, {kMain}}},
        {"directory", "", false, {MissingLogBox("@", IDNO)}},
        {"50 MB", std::string(50 << 20, ':')},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.name);
        Product product("");
        const std::string d = product.dir, up = product.temp.Path(), log = d + "uninstall.log";
        auto Placed = [&](std::string text) {
            for (size_t at; (at = text.find_first_of("@^")) != std::string::npos;)
                text.replace(at, 1, text[at] == '@' ? d : up);
            return text;
        };
        const std::vector<std::string> files = {d + "demo.exe.bak", d + "keep\\in.txt",
                                                up + "beside.txt", up + "Demo App2\\in.txt"};
        for (const std::string& file : files)
            ASSERT_TRUE(MakeDirectories(file.substr(0, file.rfind('\\'))) &&
                        WriteFileBytes(file, file));
        for (const char* value : {"Value", "Valuex"})
            SetString(HKEY_LOCAL_MACHINE, key, value, value);
        MakeDirectories(d + "empty");
        WriteFileBytes(systemIni, ini);
        SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPending, REG_MULTI_SZ, other + nul);
        auto Sentinels = [&] {
            std::string state = ReadFileOrEmpty(systemIni), data;
            state += std::to_string(DirectoryExists(d + "empty"));
            for (const std::string& file : files)
                state += "|" + file + std::to_string(FileExists(file)) + ReadFileOrEmpty(file);
            for (const char* value : {"Value", "Valuex"})
                state += std::to_string(GetValue(HKEY_LOCAL_MACHINE, key, value, &data)) + data;
            GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &data);
            return state + "|" + data.substr(0, other.size());
        };
        const std::string before = Sentinels();
        for (Step& step : c.steps)
            step.text = Placed(step.text);
        DeleteFileA(log.c_str());
        if (c.steps[0].kind == kBox)
            CreateDirectoryA(log.c_str(), nullptr);
        else
            WriteFileBytes(log, Placed(c.log.empty() ? "" : header + c.log));
        EXPECT_EQ(RunThrough(product.Command("-c"), c.steps), 1u);
        EXPECT_EQ(Sentinels(), before);
        EXPECT_NE(FileExists(d + "demo.exe"), c.demoGoes);
    }
}

TEST_F(EndToEnd, MissingLogOffersToRemoveTheKey)
{
    Product product("");
    ScopedKey byOption(HKEY_LOCAL_MACHINE, kUninstall + "DEMOAPP");
    ScopedKey byDirectory(HKEY_LOCAL_MACHINE, kUninstall + "Demo App");
    std::string root = product.dir.substr(0, 3);
    ASSERT_FALSE(FileExists(root + "uninstall.log"));
    DeleteFileA((product.dir + "uninstall.log").c_str());
    char cwd[MAX_PATH];   // the runs' too; ends in a backslash
    GetFullPathNameA(".\\", sizeof cwd, cwd, nullptr);
    // -U names the key, else the directory's last name; a root directory has none. The last
    // directory given wins, relative to the current one; the option ends the parse.
    const struct { std::string args, dir; int answer; bool byOptionGoes, byDirGoes; } cases[] = {
        {"\"D:\\Other App\" " + Quoted(product.dir) + " -Udemoapp -C D:\\Elsewhere", product.dir,
         IDYES, true, false},
        {"sub\\dir", cwd + std::string("sub\\dir\\"), IDNO, false, false},
        {"-Udemoapp", product.dir, IDNO, false, false},
        {"-Udemoapp", product.dir, IDYES, true, false},
        {"", product.dir, IDYES, false, true},
        {Quoted(root), root, IDYES, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args + " " + c.dir);
        SetString(HKEY_LOCAL_MACHINE, kUninstall + "DEMOAPP", "DisplayName", "Demo App");
        SetString(HKEY_LOCAL_MACHINE, kUninstall + "Demo App\\Sub", "x", "y");
        EXPECT_EQ(RunThrough(product.Command(c.args), {MissingLogBox(c.dir, c.answer)}), 1u);
        EXPECT_NE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall + "DEMOAPP"), c.byOptionGoes);
        EXPECT_NE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall + "Demo App"), c.byDirGoes);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 2 ? argv[1] : "";
    g_outPath = argc > 2 ? argv[2] : "";
    if (mode == "--watch")
        return WatchSession();
    if (mode == "--restart") {   // exits with the shutdown privilege's state after the restart
        RestartWindows();
        return ShutdownPrivilegeState();
    }
    if (mode == "--program")
        return RunAsLoggedProgram(argc, argv);
    if (mode == "--load" && argc > 3)   // --load OUT DLL: whether a plain load finds DLL
        return !WriteFileBytes(g_outPath, LoadLibraryA(argv[3]) ? "loaded" : "missing");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
