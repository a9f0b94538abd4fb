// uninstall.exe run end to end in installations under %TEMP%: each run is
// the list of windows it must show, in order, with the answers to give. The
// runs happen on a desktop of their own, where a window refuses to end the
// session and records each request, so a restart touches nothing else.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>
#include <commctrl.h>

#include <cstring>
#include <functional>
#include <thread>

#include "resources/resource.h"
#include "support/saved_state.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

using namespace testenv;

namespace {

const DWORD kTimeout = 20000;
const std::string kUninstall = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kCzech[] = "\xC8" "esky";   // code page 1250
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";

enum Kind { kLanguage, kBox, kMain };
struct Step {
    Step(Kind kind, int answer = IDOK, std::string caption = "", std::string text = "",
         std::function<void(HWND)> check = {}, int pick = -1)
        : kind(kind), answer(answer), caption(caption), text(text), check(check), pick(pick) {}
    Kind kind;
    int answer;                       // the button pressed
    std::string caption, text;        // a box's
    std::function<void(HWND)> check;  // before the answer; for the main dialog while it works
    int pick;                         // language list entry to choose
};

// The product as the installer leaves it: its files, the log, lang.ini,
// a copy of uninstall.exe and its two values under the Uninstall key.
struct Product {
    explicit Product(const std::string& dirName = "Demo App", const std::string& header = Header("English"))
        : dir(temp.Path() + dirName + "\\")
    {
        MakeDirectories(dir.substr(0, dir.size() - 1));
        CopyFileA((ProgramDir() + "uninstall.exe").c_str(), (dir + "uninstall.exe").c_str(), FALSE);
        std::string ini = "[general]\r\ndefault=English\r\n[English]\r\nstr72=Remove '%p' from your computer?\r\n"
                          "str74=The software '%p' will be removed.\r\n";
        for (int n : {71, 73, 75, 76, 89, 90, 96, 97})
            ini += "str" + std::to_string(n) + "=English text " + std::to_string(n) + "\r\n";
        WriteFileBytes(dir + "lang.ini", ini + "[" + kCzech + "]\r\nstr71=Odinstalace\r\nstr72=Odebrat '%p'?\r\n");
        WriteFileBytes(dir + "demo.exe", "");
        WriteFileBytes(dir + "uninstall.log", header + dir + "demo.exe\r\n");
        SetString(HKEY_LOCAL_MACHINE, key, "DisplayName", "Demo App");
        SetString(HKEY_LOCAL_MACHINE, key, "UninstallString", dir + "uninstall.exe");
    }
    ~Product() { DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, key); }
    static std::string Header(const std::string& language) { return "Demo App\r\nUninstTest\r\n" + language + "\r\n"; }
    std::string Command(const std::string& args) const
    {
        return "\"" + dir + "uninstall.exe\"" + (args.empty() ? "" : " " + args);
    }
    bool Has(const char* name) const { return FileExists(dir + name); }

    TempDir temp{"inst"};
    std::string dir, key = kUninstall + "UninstTest";
};

class Run : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(desktop_ = CreateDesktopA(name_.c_str(), nullptr, nullptr, 0, GENERIC_ALL, nullptr));
        options_.desktop = "WinSta0\\" + name_;
        ASSERT_TRUE(watcher_.Start("\"" + ProgramDir() + "session_watcher.exe\" \"" + record_ + "\"", options_));
        for (DWORD start = GetTickCount(); Count("ready") == 0 && GetTickCount() - start < kTimeout;)
            Sleep(20);
        ASSERT_EQ(Count("ready"), 1);
    }

    void TearDown() override
    {
        watcher_.Kill();
        CloseDesktop(desktop_);
    }

    int Count(const char* word) const
    {
        std::string text = ReadFileOrEmpty(record_);
        int count = 0;
        for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
            ++count;
        return count;
    }

    // Waits for the restart requests that reached the watcher; returns their number.
    int Queries(int expected) const
    {
        for (DWORD start = GetTickCount(); Count("query") < expected && GetTickCount() - start < kTimeout;)
            Sleep(20);
        Sleep(500);   // and for any more that should not come
        return Count("query");
    }

    // Starts commandLine, answers the windows of steps in their order and
    // returns the exit code.
    DWORD RunThrough(const std::string& commandLine, const std::vector<Step>& steps)
    {
        Process process;
        DWORD code = 0;
        std::thread([&] {
            // A thread's desktop handle is closed when the thread ends: open one for it.
            if (!SetThreadDesktop(OpenDesktopA(name_.c_str(), 0, FALSE, GENERIC_ALL)) || !process.Start(commandLine, options_))
                return ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
            for (const Step& step : steps) {
                HWND window = nullptr;
                for (DWORD start = GetTickCount(); !window && GetTickCount() - start < kTimeout; Sleep(20))
                    for (HWND found : ui::TopLevelWindows(process.Id()))
                        window = found;
                Kind kind = ui::ClassName(window) == "KSWUNINST"       ? kMain
                            : GetDlgItem(window, IDC_LANGUAGE_LIST) ? kLanguage : kBox;
                if (!window || kind != step.kind)
                    return ADD_FAILURE() << "step " << &step - &steps[0] << ": expected kind " << step.kind
                                         << ", got " << (window ? ui::WindowText(window) : "none");
                if (step.check)
                    step.check(window);
                if (kind == kBox) {
                    EXPECT_EQ(ui::WindowText(window), step.caption);
                    EXPECT_EQ(ui::ControlText(window, 0xFFFF), step.text);
                    EXPECT_TRUE(GetDlgItem(window, step.answer) && !GetDlgItem(window, IDCANCEL));
                    EXPECT_EQ(!GetDlgItem(window, IDNO), step.answer == IDOK) << "Yes/No or OK alone";
                } else if (kind == kLanguage && step.pick >= 0) {
                    SendMessageA(GetDlgItem(window, IDC_LANGUAGE_LIST), CB_SETCURSEL, step.pick, 0);
                } else if (kind == kMain) {
                    for (DWORD start = GetTickCount(); IsWindow(window) && !ui::ControlEnabled(window, IDOK) &&
                                                       GetTickCount() - start < 3 * kTimeout;)
                        Sleep(20);
                    EXPECT_TRUE(ui::ControlVisible(window, IDC_MAIN_SUCCESS)) << "the success text at the end";
                }
                ui::PressButton(window, step.answer);
                EXPECT_TRUE(ui::WaitForWindowGone(window, kTimeout)) << "step " << &step - &steps[0];
            }
            code = process.Wait(kTimeout);
            for (HWND left : ui::TopLevelWindows(process.Id()))
                ADD_FAILURE() << "window left: " << ui::WindowText(left) << ": " << ui::ControlText(left, 0xFFFF);
        }).join();
        return code;
    }

    std::string name_ = "uninstall_test_" + std::to_string(GetCurrentProcessId());
    HDESK desktop_ = nullptr;
    StartOptions options_;
    TempDir temp_{"run"};
    std::string record_ = temp_ / "session.txt", systemIni_ = WindowsDir() + "\\system.ini";
    Process watcher_;
    SavedValue pending_{HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations"};
    SavedFile savedIni_{systemIni_};
    std::string ini_ = ReadFileOrEmpty(systemIni_);
};

bool HasValue(const std::string& key, const char* name)
{
    std::string data;
    return GetValue(HKEY_LOCAL_MACHINE, key, name, &data);
}

Step Confirm(int answer) { return {kBox, answer, "English text 71", "Remove 'Demo App' from your computer?"}; }
const Step kWork = {kMain, IDOK};

enum Gone { kDemo = 1, kLog = 2, kRegistration = 4, kAll = 7, kUnregistered = 8, kLocked = 16 };

// Gives everybody exactly the rights in sddlRights on the product's key.
bool SetKeyAccess(const std::string& subKey, const std::string& sddlRights)
{
    HKEY key;
    PSECURITY_DESCRIPTOR sd = nullptr;
    bool done = RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, WRITE_DAC, &key) == ERROR_SUCCESS &&
                ConvertStringSecurityDescriptorToSecurityDescriptorA(("D:P(A;;" + sddlRights + ";;;WD)").c_str(),
                                                                     SDDL_REVISION_1, &sd, nullptr) &&
                RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd) == ERROR_SUCCESS;
    LocalFree(sd);
    RegCloseKey(key);
    return done;
}

TEST_F(Run, FromStartToExit)
{
    std::string high(128, ' '), longHeader = std::string(5000, 'N') + "\r\n" + std::string(3000, 'K') + "\r\n";
    for (int c = 128; c < 256; ++c)
        high[c - 128] = char(c);
    const std::string kEnglish = Product::Header("English"), kIni = "-uninsttest\\wave\r\ndemo.drv\r\n";
    std::string dir;
    auto ownFileListed = [&](HWND) {
        std::string list;
        GetValue(HKEY_LOCAL_MACHINE, kSessionManager, "PendingFileRenameOperations", &list);
        size_t own = list.find(dir + "uninstall.exe" + '\0'), folder = list.find(dir + '\0');
        EXPECT_TRUE(own != std::string::npos && folder != std::string::npos && own < folder)
            << "the own file, then its directory, before the question: " << list;
    };
    struct {
        std::string args, header;
        std::vector<Step> steps;
        int gone;
    } cases[] = {
        {"", kEnglish, {Confirm(IDYES), kWork}, kAll},
        {"", kEnglish, {Confirm(IDNO)}, 0},
        {"-c", kEnglish, {kWork}, kAll},
        {"-Cany", kEnglish, {kWork}, kAll},
        {"-C", kEnglish, {kWork}, kAll | kUnregistered},
        {"-Ux", kEnglish, {Confirm(IDNO)}, 0},
        // An UninstallString that cannot be deleted stops the run before any file is touched.
        {"-C", kEnglish, {{kBox, IDOK, "English text 90", "English text 89"}}, kLocked},
        {"", Product::Header(""), {{kLanguage, IDOK, "", "", {}, 1}, {kBox, IDNO, "Odinstalace", "Odebrat 'Demo App'?"}}, 0},
        {"", Product::Header(""), {{kLanguage, IDCANCEL}}, 0},
        {"", Product::Header(kCzech), {{kBox, IDNO, "Odinstalace", "Odebrat 'Demo App'?"}}, 0},
        // Damaged headers: the run still goes to the end.
        {"-c", longHeader + std::string(4000, 'L') + "\r\n", {kWork}, kDemo | kLog},
        {"-c", high + "\r\n" + high + "\r\n" + high + "\r\n", {kWork}, kDemo | kLog},
        {"-c", std::string("Na\0me\r\nKe\0y\r\nEng\0lish\r\n", 23), {kWork}, kDemo | kLog},
        {"-c", "Name\r\n", {{kLanguage, IDOK}, kWork}, kLog},
        // A line went from system.ini: the restart question, No and then Yes.
        {"-C", kEnglish + kIni, {kWork, {kBox, IDNO, "English text 96", "English text 97", ownFileListed}}, kAll},
        {"-C", kEnglish + kIni, {kWork, {kBox, IDYES, "English text 96", "English text 97"}}, kAll},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("args " + c.args + ", log " + c.header.substr(0, 30));
        Product product("Demo App", c.header);
        dir = product.dir;
        WriteFileBytes(systemIni_, ini_ + "[uninsttest]\r\nwave=demo.drv\r\n");
        if (c.gone & kUnregistered)
            DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, product.key);
        if ((c.gone & kLocked) && !SetKeyAccess(product.key, "0x60019"))
            FAIL() << "cannot leave the key with read and change-permission rights only";
        EXPECT_EQ(RunThrough(product.Command(c.args), c.steps), 1u);
        if ((c.gone & kLocked) && !SetKeyAccess(product.key, "KA"))
            FAIL() << "cannot give the key back";
        EXPECT_NE(product.Has("demo.exe"), bool(c.gone & kDemo));
        for (const char* file : {"uninstall.log", "lang.ini"})
            EXPECT_NE(product.Has(file), bool(c.gone & kLog)) << file;
        EXPECT_NE(KeyExists(HKEY_LOCAL_MACHINE, product.key), bool(c.gone & kRegistration));
        EXPECT_TRUE((c.gone & kRegistration) || HasValue(product.key, "UninstallString"));
    }
    EXPECT_EQ(ReadFileOrEmpty(systemIni_).find("wave=demo.drv"), std::string::npos);
    EXPECT_EQ(Queries(2), 2) << "Yes asks twice, No not at all";
}

TEST_F(Run, MissingLogOffersToRemoveTheKey)
{
    Product product, odd("Odd%%Dir");
    std::string root = product.dir.substr(0, 3), oddDir = odd.dir;
    ASSERT_FALSE(FileExists(root + "uninstall.log"));
    DeleteFileA((product.dir + "uninstall.log").c_str());
    DeleteFileA((odd.dir + "uninstall.log").c_str());
    struct {
        const Product* product;
        std::string args;
        int answer;
        std::string log;
        bool upperGoes, dirGoes;
    } cases[] = {
        {&product, "-Udemoapp", IDNO, product.dir, false, false},
        {&product, "-Udemoapp", IDYES, product.dir, true, false},
        {&product, "", IDYES, product.dir, false, true},
        {&product, "\"" + root + "\"", IDYES, root, false, false},
        {&odd, "", IDNO, oddDir.replace(oddDir.find("%%"), 2, "%"), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args + " " + c.log);
        SetString(HKEY_LOCAL_MACHINE, kUninstall + "DEMOAPP", "DisplayName", "Demo App");
        SetString(HKEY_LOCAL_MACHINE, kUninstall + "Demo App\\Sub", "x", "y");
        EXPECT_EQ(RunThrough(c.product->Command(c.args), {{kBox, c.answer, "Uninstall", "Unable to find the installation log file '" +
                   c.log + "uninstall.log'. Uninstallation can not continue.\nRemove uninstallation option?"}}), 1u);
        EXPECT_NE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall + "DEMOAPP"), c.upperGoes);
        EXPECT_NE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall + "Demo App"), c.dirGoes);
        EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall));
    }
    DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, kUninstall + "DEMOAPP");
    DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, kUninstall + "Demo App");
}

// The font lines that font_probe_module.dll writes from inside the dialog's thread.
std::string ProbeFonts(HWND dialog, const std::string& report)
{
    HMODULE module = LoadLibraryA((ProgramDir() + "font_probe_module.dll").c_str());
    auto hook = reinterpret_cast<HOOKPROC>(GetProcAddress(module, "FontProbeHook"));
    EXPECT_TRUE(hook) << "font_probe_module.dll exports no FontProbeHook";
    HHOOK handle = SetWindowsHookExA(WH_GETMESSAGE, hook, module, GetWindowThreadProcessId(dialog, nullptr));
    PostMessageA(dialog, RegisterWindowMessageA("FontProbeQuery"), 0, 0);
    for (DWORD start = GetTickCount(); hook && ReadFileOrEmpty(report).find("end\n") == std::string::npos &&
                                       GetTickCount() - start < kTimeout;)
        Sleep(20);
    UnhookWindowsHookEx(handle);
    FreeLibrary(module);
    return ReadFileOrEmpty(report);
}

// Every kind of entry, and the main dialog while a program holds the worker.
TEST_F(Run, EveryKindAndTheMainDialog)
{
    std::string marker = temp_ / "unregistered.txt", fontReport = temp_ / "fonts.txt";
    Product product;
    std::string dir = product.dir, started = dir + "started.txt", signal = dir + "go.signal";
    for (const char* sub : {"data", "docs", "bin", "fonts"})
        MakeDirectories(dir + sub);
    for (const char* file : {"data\\map01.dat", "data\\keep.txt", "docs\\readme.txt"})
        WriteFileBytes(dir + file, "");
    ASSERT_TRUE(CopyFileA((ProgramDir() + "selfreg_module.dll").c_str(), (dir + "bin\\demoext.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA("Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf", (dir + "fonts\\demo.ttf").c_str(), FALSE));
    SetString(HKEY_LOCAL_MACHINE, product.key, "Publisher", "Demo Corp");
    SetString(HKEY_LOCAL_MACHINE, "Software\\UninstTestRun\\App", "InstallPath", "x");
    WriteFileBytes(dir + "uninstall.log", Product::Header("English") + dir + "demo.exe\r\n" + dir + "data\\map01.dat\r\n%" +
                   dir + "bin\\demoext.dll\r\n&" + dir + "fonts\\demo.ttf\r\n:HKEY_LOCAL_MACHINE\\Software\\UninstTestRun\\App\\InstallPath\r\n;\"" + ProgramDir() +
                   "logged_program.exe\" \"" + started + "\" \"" + signal + "\"\r\n;\r\n;x\r\n" + dir + "docs\\readme.txt\r\n");
    SetEnvironmentVariableA("SELFREG_MARKER", marker.c_str());
    SetEnvironmentVariableA("FONT_PROBE_OUT", fontReport.c_str());

    auto whileWorking = [&](HWND dialog) {
        for (DWORD start = GetTickCount(); !FileExists(started) && GetTickCount() - start < kTimeout;)
            Sleep(20);
        EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\UninstTestRun")) << "the entries before the program";
        EXPECT_TRUE(FileExists(dir + "docs\\readme.txt")) << "the entry after the program";
        EXPECT_FALSE(HasValue(product.key, "UninstallString") || HasValue(product.key, "DisplayName"))
            << "gone before the work";
        EXPECT_EQ(ui::WindowText(dialog), "Demo App");
        EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_HEADING), "English text 73");
        EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_INTRO), "The software 'Demo App' will be removed.");
        EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_WAIT), "English text 75");
        EXPECT_EQ(ui::ControlText(dialog, IDC_MAIN_SUCCESS), "English text 76");
        std::string fonts = ProbeFonts(dialog, fontReport);
        for (const char* line : {"1052 -14 700 238 Arial", "1037 -12 400 238 Arial", "1055 -12 400 238 Arial",
                                 "1000 -12 400 238 Arial"})
            EXPECT_NE(fonts.find("\n" + std::string(line) + "\n"), std::string::npos) << line << " in\n" << fonts;
        RECT window, client;
        GetWindowRect(dialog, &window);
        GetClientRect(dialog, &client);
        EXPECT_EQ(window.left, (GetSystemMetrics(SM_CXSCREEN) - client.right) / 2);
        EXPECT_EQ(window.top, (GetSystemMetrics(SM_CYSCREEN) - client.bottom) / 2);
        EXPECT_GT(window.right - window.left, client.right) << "the frame makes it sit off centre";
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_GETPOS, 0, 0), 6 * 100 / 10);
        EXPECT_FALSE(ui::ControlEnabled(dialog, IDOK));
        EXPECT_FALSE(ui::ControlVisible(dialog, IDC_MAIN_SUCCESS));
        // Close box, Alt+F4, Escape, Enter, Cancel: none ends the dialog. The bar
        // position posted last tells when the posted ones were handled.
        DWORD_PTR ignored;
        SendMessageTimeoutA(dialog, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &ignored);
        SendMessageTimeoutA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0, SMTO_NORMAL, 5000, &ignored);
        PostMessageA(dialog, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(dialog, WM_KEYDOWN, VK_RETURN, 0);
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        PostMessageA(GetDlgItem(dialog, IDC_MAIN_PROGRESS), PBM_SETPOS, 77, 0);
        for (DWORD start = GetTickCount(); IsWindow(dialog) && GetTickCount() - start < kTimeout &&
                                           SendDlgItemMessageA(dialog, IDC_MAIN_PROGRESS, PBM_GETPOS, 0, 0) != 77;)
            Sleep(20);
        EXPECT_TRUE(IsWindowVisible(dialog) && !ui::ControlEnabled(dialog, IDOK));
        WriteFileBytes(signal, "");
    };
    EXPECT_EQ(RunThrough(product.Command("-C"), {{kMain, IDOK, "", "", whileWorking}}), 1u);
    SetEnvironmentVariableA("SELFREG_MARKER", nullptr);
    SetEnvironmentVariableA("FONT_PROBE_OUT", nullptr);
    for (const char* gone : {"uninstall.log", "lang.ini", "demo.exe", "data\\map01.dat", "bin", "fonts", "docs"})
        EXPECT_EQ(GetFileAttributesA((dir + gone).c_str()), INVALID_FILE_ATTRIBUTES) << gone;
    for (const char* kept : {"uninstall.exe", "data\\keep.txt"})
        EXPECT_TRUE(FileExists(dir + kept)) << kept;
    EXPECT_EQ(ReadFileOrEmpty(marker), "unregistered\n");
    char cwd[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof cwd, cwd);
    EXPECT_EQ(ReadFileOrEmpty(started), cwd) << "the program inherits the uninstaller's directory";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, product.key)) << "Publisher keeps the product's key";
}

// The restart itself: the shutdown privilege is enabled first, the request
// is made twice and not forced.
TEST_F(Run, RestartEnablesTheShutdownPrivilegeAndAsksTwice)
{
    Process probe;
    ASSERT_TRUE(probe.Start("\"" + ProgramDir() + "session_watcher.exe\" \"" + record_ + "\" restart", options_));
    EXPECT_EQ(probe.Wait(kTimeout), 0u);
    EXPECT_EQ(Queries(2), 2) << ReadFileOrEmpty(record_);
    EXPECT_EQ(Count("privilege 0 1"), 1) << "before and after: " << ReadFileOrEmpty(record_);
    EXPECT_EQ(watcher_.Wait(0), DWORD(STILL_ACTIVE)) << "the refusal was not respected";
}

}  // namespace
