#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/shared_dll.h"
#include "language/language.h"
#include "resources/resource.h"
#include "shell/buf.h"
#include "shell/globals.h"
#include "shell/dialogs.h"
#include "support/saved_state.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

using namespace testenv;

namespace {

const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const DWORD kNoCounter = 0xFFFFFFFF;

const char kLangIni[] =
    "[general]\r\n"
    "default=Testish\r\n"
    "[Testish]\r\n"
    "str100=Ano\r\n"
    "str101=Ano vsem\r\n"
    "str102=Ne\r\n"
    "str103=Ne vsem\r\n"
    "str104=Delete this system file?\\nNo program uses it.\r\n";

const int kQuestionControls[] = {IDC_SYSFILE_TEXT, IDC_SYSFILE_YES, IDC_SYSFILE_YES_ALL,
                                 IDC_SYSFILE_NO, IDC_SYSFILE_NO_ALL};
const char* const kQuestionTexts[] = {"Delete this system file?\nNo program uses it.", "Ano",
                                      "Ano vsem", "Ne", "Ne vsem"};

// What the driver saw of the question while it was up.
struct Seen {
    bool shown = false;
    std::string title;
    std::vector<std::string> texts;
    bool fontsAreTextFont = true;
    HWND owner = nullptr;
    bool ownerDisabled = false;
    POINT position = {};
    POINT centred = {};
    bool outlivedClose = false;
    bool outlivedCancel = false;
    bool outlivedEscape = false;
};

// How the driver answers: the button to press, and whether to try the close
// box and Esc first.
struct Driver {
    HWND owner = nullptr;
    HANDLE worker = nullptr;
    DWORD workerThreadId = 0;
    int button = IDC_SYSFILE_NO;
    bool tryToEscape = false;
    Seen seen;
};

struct Job {
    HWND owner;
    const char* path;
    bool result;
};

DWORD WINAPI ConfirmThread(LPVOID param)
{
    auto* job = static_cast<Job*>(param);
    job->result = ConfirmFileRemoval(job->owner, job->path);
    return 0;
}

// The question of this process owned by owner, or null.
HWND FindQuestion(HWND owner)
{
    for (HWND window : ui::TopLevelWindows(GetCurrentProcessId())) {
        if (ui::ClassName(window) == "#32770" && GetWindow(window, GW_OWNER) == owner)
            return window;
    }
    return nullptr;
}

// A posted message has been handled once a sent one comes back.
bool StillUpAfter(HWND dialog)
{
    Sleep(200);
    DWORD_PTR ignored;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    return IsWindow(dialog) && IsWindowVisible(dialog);
}

void LookAtQuestion(HWND dialog, Driver* driver)
{
    Seen& seen = driver->seen;
    seen.shown = true;
    seen.title = ui::WindowText(dialog);
    for (int id : kQuestionControls) {
        seen.texts.push_back(ui::ControlText(dialog, id));
        HFONT font = reinterpret_cast<HFONT>(SendDlgItemMessageA(dialog, id, WM_GETFONT, 0, 0));
        if (font != g_textFont)
            seen.fontsAreTextFont = false;
    }
    seen.owner = GetWindow(dialog, GW_OWNER);
    seen.ownerDisabled = !IsWindowEnabled(driver->owner);
    RECT window, client;
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    seen.position = {window.left, window.top};
    seen.centred = {(GetSystemMetrics(SM_CXSCREEN) - client.right) / 2,
                    (GetSystemMetrics(SM_CYSCREEN) - client.bottom) / 2};

    if (!driver->tryToEscape)
        return;
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    seen.outlivedClose = StillUpAfter(dialog);
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    seen.outlivedCancel = StillUpAfter(dialog);
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(driver->workerThreadId, &gui);
    HWND focus = gui.hwndFocus ? gui.hwndFocus : dialog;
    PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    seen.outlivedEscape = StillUpAfter(dialog);
}

// Answers every question that shows up until the worker is done.
DWORD WINAPI DriverThread(LPVOID param)
{
    auto* driver = static_cast<Driver*>(param);
    while (WaitForSingleObject(driver->worker, 20) == WAIT_TIMEOUT) {
        HWND dialog = FindQuestion(driver->owner);
        if (!dialog)
            continue;
        if (!driver->seen.shown)
            LookAtQuestion(dialog, driver);
        ui::PressButton(dialog, driver->button);
        ui::WaitForWindowGone(dialog, 5000);
    }
    return 0;
}

class SharedDllTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        languageDir_ = new TempDir("lang");
        ASSERT_TRUE(WriteFileBytes(*languageDir_ / "lang.ini", kLangIni));
        BufSet(g_installDir, sizeof g_installDir, languageDir_->Path().c_str());
        BufSet(g_languageDir, sizeof g_languageDir, languageDir_->Path().c_str());
        BufSet(g_macroDir, sizeof g_macroDir, languageDir_->Path().c_str());
        ASSERT_EQ(ChooseLanguage("lang.ini", "", "Testish"), 1);
        CreateDialogFonts();
    }

    static void TearDownTestSuite()
    {
        DeleteDialogFonts();
        delete languageDir_;
        languageDir_ = nullptr;
    }

    void SetUp() override
    {
        g_instance = GetModuleHandleA(nullptr);
        g_systemFileChoice = Ask;
        // Hidden: destroying a shown top-level window costs Wine two seconds.
        owner_ = CreateWindowExA(0, "STATIC", "question owner", WS_OVERLAPPEDWINDOW,
                                 10, 10, 200, 100, nullptr, nullptr, g_instance, nullptr);
        ASSERT_NE(owner_, nullptr);
    }

    void TearDown() override
    {
        DestroyWindow(owner_);
        for (const std::string& path : made_)
            RemoveTree(path);
    }

    // A file directly in the system directory, named uniquely for this run.
    std::string SystemFile(const char* name, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
    {
        std::string path = SystemDir() + "\\UT" + std::to_string(GetCurrentProcessId()) + name;
        return MakeFile(path, attributes);
    }

    std::string MakeFile(const std::string& path, DWORD attributes = FILE_ATTRIBUTE_NORMAL)
    {
        made_.push_back(path);
        EXPECT_TRUE(WriteFileBytes(path, "shared"));
        SetFileAttributesA(path.c_str(), attributes);
        return path;
    }

    static bool SetCounter(const std::string& path, DWORD count)
    {
        return SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), count);
    }

    // The counter as stored; kNoCounter when missing.
    static DWORD Counter(const std::string& path)
    {
        std::string data;
        DWORD type = 0;
        if (!GetValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), &data, &type))
            return kNoCounter;
        DWORD value = 0;
        if (type != REG_DWORD || data.size() != sizeof value)
            return 0xBADBAD;
        memcpy(&value, data.data(), sizeof value);
        return value;
    }

    // Runs ConfirmFileRemoval on a worker thread, as the program does, while
    // this thread pumps the owner's messages and a driver thread answers.
    bool Confirm(const std::string& path, Driver* driver)
    {
        Job job = {owner_, path.c_str(), false};
        DWORD workerId = 0;
        HANDLE worker = CreateThread(nullptr, 0, ConfirmThread, &job, 0, &workerId);
        EXPECT_NE(worker, nullptr);
        driver->owner = owner_;
        driver->worker = worker;
        driver->workerThreadId = workerId;
        HANDLE driverThread = CreateThread(nullptr, 0, DriverThread, driver, 0, nullptr);
        DWORD start = GetTickCount();
        while (MsgWaitForMultipleObjects(1, &worker, FALSE, 50, QS_ALLINPUT) != WAIT_OBJECT_0) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            if (GetTickCount() - start > 30000) {
                ADD_FAILURE() << "ConfirmFileRemoval did not return";
                break;
            }
        }
        WaitForSingleObject(driverThread, 10000);
        CloseHandle(driverThread);
        CloseHandle(worker);
        return job.result;
    }

    bool Confirm(const std::string& path, int button = IDC_SYSFILE_NO, Seen* seen = nullptr)
    {
        Driver driver;
        driver.button = button;
        bool result = Confirm(path, &driver);
        if (seen)
            *seen = driver.seen;
        return result;
    }

    static DWORD Attributes(const std::string& path) { return GetFileAttributesA(path.c_str()); }

    static TempDir* languageDir_;
    SavedKeyValues savedCounters_{HKEY_LOCAL_MACHINE, kSharedDlls};
    HWND owner_ = nullptr;
    std::vector<std::string> made_;
};

TempDir* SharedDllTest::languageDir_ = nullptr;

}  // namespace

TEST_F(SharedDllTest, ReleaseCountsDownAndDeletesTheLastClaim)
{
    std::string a = SystemDir() + "\\a.dll";
    std::string b = SystemDir() + "\\b.dll";
    ASSERT_TRUE(SetCounter(a, 3));
    ASSERT_TRUE(SetCounter(b, 1));

    EXPECT_EQ(ReleaseSharedDll(a.c_str()), 2u);
    EXPECT_EQ(Counter(a), 2u);

    EXPECT_EQ(ReleaseSharedDll(b.c_str()), 0u);
    EXPECT_EQ(Counter(b), kNoCounter);
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls)) << "a.dll still counts";

    EXPECT_EQ(ReleaseSharedDll(a.c_str()), 1u);
    EXPECT_EQ(ReleaseSharedDll(a.c_str()), 0u);
    EXPECT_EQ(Counter(a), kNoCounter);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls)) << "the emptied key is pruned";
    EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"));

    // Nothing to release: no value is created, and the key stays away.
    EXPECT_EQ(ReleaseSharedDll(a.c_str()), 0u);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls));
}

TEST_F(SharedDllTest, CountersThatClaimNothingAreLeftAlone)
{
    std::string zero = SystemDir() + "\\zero.dll";
    std::string negative = SystemDir() + "\\negative.dll";
    std::string text = SystemDir() + "\\text.dll";
    ASSERT_TRUE(SetCounter(zero, 0));
    ASSERT_TRUE(SetCounter(negative, 0x80000001));
    ASSERT_TRUE(SetString(HKEY_LOCAL_MACHINE, kSharedDlls, text.c_str(), "5"));

    EXPECT_EQ(ReleaseSharedDll(zero.c_str()), 0u);
    EXPECT_EQ(ReleaseSharedDll(negative.c_str()), 0u);
    EXPECT_EQ(ReleaseSharedDll(text.c_str()), 0u);

    EXPECT_EQ(Counter(zero), 0u);
    EXPECT_EQ(Counter(negative), 0x80000001u);
    std::string data;
    ASSERT_TRUE(GetValue(HKEY_LOCAL_MACHINE, kSharedDlls, text.c_str(), &data));
    EXPECT_EQ(data, std::string("5", 2));
}

TEST_F(SharedDllTest, SharedSystemFileStaysWithoutAQuestion)
{
    std::string file = SystemFile("SHARED.DLL", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(SetCounter(file, 3));
    Seen seen;

    EXPECT_FALSE(Confirm(file, IDC_SYSFILE_YES, &seen));

    EXPECT_FALSE(seen.shown);
    EXPECT_EQ(Counter(file), 2u);
    EXPECT_TRUE(Attributes(file) & FILE_ATTRIBUTE_READONLY) << "a kept file is not touched";
    EXPECT_EQ(g_systemFileChoice, Ask);
}

TEST_F(SharedDllTest, LastClaimGoesThenTheQuestionIsAsked)
{
    std::string file = SystemFile("ABC.DLL", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    ASSERT_TRUE(SetCounter(file, 1));
    Driver driver;
    driver.button = IDC_SYSFILE_YES;
    driver.tryToEscape = true;

    EXPECT_TRUE(Confirm(file, &driver));

    const Seen& seen = driver.seen;
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, "UT" + std::to_string(GetCurrentProcessId()) + "ABC.DLL");
    ASSERT_EQ(seen.texts.size(), 5u);
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(seen.texts[i], kQuestionTexts[i]) << "control " << kQuestionControls[i];
    EXPECT_TRUE(seen.fontsAreTextFont);
    EXPECT_EQ(seen.owner, owner_);
    EXPECT_TRUE(seen.ownerDisabled) << "the question is modal to its owner";
    EXPECT_EQ(seen.position.x, seen.centred.x);
    EXPECT_EQ(seen.position.y, seen.centred.y);
    EXPECT_TRUE(seen.outlivedClose) << "the close box must do nothing";
    EXPECT_TRUE(seen.outlivedCancel) << "IDCANCEL must do nothing";
    EXPECT_TRUE(seen.outlivedEscape) << "the Esc key must do nothing";

    EXPECT_EQ(Counter(file), kNoCounter);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls));
    EXPECT_EQ(Attributes(file), DWORD(FILE_ATTRIBUTE_ARCHIVE)) << "only read-only goes";
    EXPECT_EQ(g_systemFileChoice, Ask) << "Yes answers for this file only";
}

TEST_F(SharedDllTest, NoCounterAsksAndNoKeepsTheFile)
{
    std::string file = SystemFile("NOCOUNT.DLL", FILE_ATTRIBUTE_READONLY);
    Seen seen;

    EXPECT_FALSE(Confirm(file, IDC_SYSFILE_NO, &seen));

    EXPECT_TRUE(seen.shown);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls)) << "no counter is written";
    EXPECT_TRUE(Attributes(file) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(g_systemFileChoice, Ask) << "No answers for this file only";

    // Asked again for the next file.
    EXPECT_TRUE(Confirm(SystemFile("NEXT.DLL"), IDC_SYSFILE_YES, &seen));
    EXPECT_TRUE(seen.shown);
}

TEST_F(SharedDllTest, YesToAllIsRememberedButSharedFilesStillStay)
{
    std::string first = SystemFile("FIRST.DLL");
    std::string later = SystemFile("LATER.DLL", FILE_ATTRIBUTE_READONLY);
    std::string shared = SystemFile("SHARED.DLL");
    ASSERT_TRUE(SetCounter(shared, 3));
    Seen seen;

    EXPECT_TRUE(Confirm(first, IDC_SYSFILE_YES_ALL, &seen));
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(g_systemFileChoice, DeleteAll);

    EXPECT_TRUE(Confirm(later, IDC_SYSFILE_NO, &seen));
    EXPECT_FALSE(seen.shown);
    EXPECT_FALSE(Attributes(later) & FILE_ATTRIBUTE_READONLY);

    EXPECT_FALSE(Confirm(shared, IDC_SYSFILE_NO, &seen));
    EXPECT_FALSE(seen.shown);
    EXPECT_EQ(Counter(shared), 2u);
    EXPECT_EQ(g_systemFileChoice, DeleteAll);
}

TEST_F(SharedDllTest, NoToAllIsRememberedAndCountersStillFall)
{
    std::string first = SystemFile("FIRST.DLL");
    std::string counted = SystemFile("COUNTED.DLL");
    std::string uncounted = SystemFile("UNCOUNTED.DLL");
    ASSERT_TRUE(SetCounter(counted, 1));
    ASSERT_TRUE(SetCounter(SystemDir() + "\\other.dll", 4));
    Seen seen;

    EXPECT_FALSE(Confirm(first, IDC_SYSFILE_NO_ALL, &seen));
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(g_systemFileChoice, KeepAll);

    EXPECT_FALSE(Confirm(counted, IDC_SYSFILE_YES, &seen));
    EXPECT_FALSE(seen.shown);
    EXPECT_EQ(Counter(counted), kNoCounter) << "the claim is released all the same";

    EXPECT_FALSE(Confirm(uncounted, IDC_SYSFILE_YES, &seen));
    EXPECT_FALSE(seen.shown);
    EXPECT_EQ(g_systemFileChoice, KeepAll);
}

TEST_F(SharedDllTest, FilesOutsideTheSystemDirectoryGoWithoutAQuestion)
{
    std::string subdirectory = SystemDir() + "\\UT" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(MakeDirectories(subdirectory));
    made_.push_back(subdirectory);
    std::string inSubdirectory = MakeFile(subdirectory + "\\SUB.DLL", FILE_ATTRIBUTE_READONLY);
    std::string inWindows = MakeFile(WindowsDir() + "\\UT" + std::to_string(GetCurrentProcessId()) +
                                     "WIN.DLL");
    TempDir elsewhere("plain");
    std::string plain = MakeFile(elsewhere / "readonly.txt", FILE_ATTRIBUTE_READONLY);
    ASSERT_TRUE(SetCounter(inSubdirectory, 1));
    ASSERT_TRUE(SetCounter(inWindows, 1));

    for (const std::string& path : {inSubdirectory, inWindows, plain}) {
        Seen seen;
        EXPECT_TRUE(Confirm(path, IDC_SYSFILE_NO, &seen)) << path;
        EXPECT_FALSE(seen.shown) << path;
        EXPECT_FALSE(Attributes(path) & FILE_ATTRIBUTE_READONLY) << path;
    }
    EXPECT_EQ(Counter(inSubdirectory), 1u) << "counters outside the system directory stay";
    EXPECT_EQ(Counter(inWindows), 1u);
    SetLastError(0xdeadbeef);
    EXPECT_TRUE(DeleteFileA(plain.c_str())) << "error " << GetLastError();
}

TEST_F(SharedDllTest, SystemDirectoryInOtherLetterCaseStillCounts)
{
    std::string file = SystemFile("CASE.DLL");
    std::string lower = file;
    for (char& c : lower)
        c = char(tolower(static_cast<unsigned char>(c)));
    ASSERT_NE(lower, file);
    ASSERT_TRUE(SetCounter(lower, 3));

    Seen seen;
    EXPECT_FALSE(Confirm(lower, IDC_SYSFILE_YES, &seen));
    EXPECT_FALSE(seen.shown);
    EXPECT_EQ(Counter(lower), 2u);

    std::string unshared = SystemFile("Unshared.Dll");
    std::string upper = unshared;
    for (char& c : upper)
        c = char(toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(Confirm(upper, IDC_SYSFILE_YES, &seen));
    EXPECT_TRUE(seen.shown) << "an unshared system file in upper case is asked about";
    EXPECT_EQ(seen.title, "UT" + std::to_string(GetCurrentProcessId()) + "UNSHARED.DLL");
}

TEST_F(SharedDllTest, QuestionThatCannotBeShownCountsAsYes)
{
    std::string file = SystemFile("NODIALOG.DLL", FILE_ATTRIBUTE_READONLY);
    g_instance = GetModuleHandleA("kernel32.dll");   // holds no dialog 117

    Seen seen;
    EXPECT_TRUE(Confirm(file, IDC_SYSFILE_NO, &seen));

    EXPECT_FALSE(seen.shown);
    EXPECT_FALSE(Attributes(file) & FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(g_systemFileChoice, Ask);
}
