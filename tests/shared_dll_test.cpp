#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/globals.h"
#include "base/window.h"
#include "engine/shared_dll.h"
#include "language/language.h"
#include "resources/resource.h"
#include "support/saved_state.h"
#include "support/test_env.h"
#include "support/ui_driver.h"
#include "text/buf.h"

using namespace testenv;

namespace {

const char kSharedDlls[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const DWORD kNoCounter = 0xFFFFFFFF;

const char kLangIni[] =
    "[general]\r\ndefault=Testish\r\n[Testish]\r\nstr100=Ano\r\nstr101=Ano vsem\r\n"
    "str102=Ne\r\nstr103=Ne vsem\r\nstr104=Delete this system file?\\nNo program uses it.\r\n";

const int kQuestionControls[] = {IDC_SYSFILE_TEXT, IDC_SYSFILE_YES, IDC_SYSFILE_YES_ALL,
                                 IDC_SYSFILE_NO, IDC_SYSFILE_NO_ALL};

// One call of ConfirmFileRemoval: how the driver answers the question, and
// what it saw of the first one (texts joined by '|').
struct Seen {
    HWND owner = nullptr;
    const char* path = nullptr;
    bool result = false;
    HANDLE worker = nullptr;
    DWORD workerThreadId = 0;
    int button = 0;
    bool tryToEscape = false;
    bool shown = false;
    std::string title;
    std::string texts;
    POINT position = {};
    POINT centred = {};
    bool outlivedClose = false;
    bool outlivedEscape = false;
};

DWORD WINAPI ConfirmThread(LPVOID param)
{
    auto* seen = static_cast<Seen*>(param);
    seen->result = ConfirmFileRemoval(seen->owner, seen->path);
    return 0;
}

// A posted message has been handled once a sent one comes back.
bool StillUpAfter(HWND dialog)
{
    Sleep(200);
    DWORD_PTR ignored;
    SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
    return IsWindow(dialog) && IsWindowVisible(dialog);
}

void LookAtQuestion(HWND dialog, Seen& seen)
{
    seen.shown = true;
    seen.title = ui::WindowText(dialog);
    for (int id : kQuestionControls)
        seen.texts += ui::ControlText(dialog, id) + "|";
    RECT window, client;
    GetWindowRect(dialog, &window);
    GetClientRect(dialog, &client);
    seen.position = {window.left, window.top};
    seen.centred = {(GetSystemMetrics(SM_CXSCREEN) - client.right) / 2,
                    (GetSystemMetrics(SM_CYSCREEN) - client.bottom) / 2};
    if (!seen.tryToEscape)
        return;
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    seen.outlivedClose = StillUpAfter(dialog);
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(seen.workerThreadId, &gui);
    HWND focus = gui.hwndFocus ? gui.hwndFocus : dialog;
    PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    seen.outlivedEscape = StillUpAfter(dialog);
}

// Answers every question of this process owned by the owner until the worker is done.
DWORD WINAPI DriverThread(LPVOID param)
{
    Seen& seen = *static_cast<Seen*>(param);
    while (WaitForSingleObject(seen.worker, 20) == WAIT_TIMEOUT) {
        for (HWND dialog : ui::TopLevelWindows(GetCurrentProcessId())) {
            if (ui::ClassName(dialog) != "#32770" || GetWindow(dialog, GW_OWNER) != seen.owner)
                continue;
            if (!seen.shown)
                LookAtQuestion(dialog, seen);
            ui::PressButton(dialog, seen.button);
            ui::WaitForWindowGone(dialog, 5000);
        }
    }
    return 0;
}

class SharedDllTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        languageDir_ = new TempDir("lang");
        ASSERT_TRUE(WriteFileBytes(*languageDir_ / "lang.ini", kLangIni));
        for (char* dir : {g_installDir, g_languageDir, g_macroDir})
            BufSet(dir, kTextSize, languageDir_->Path().c_str());
        ASSERT_EQ(ChooseLanguage("lang.ini", "", "Testish"), 1);
        CreateDialogFonts();
    }

    static void TearDownTestSuite()
    {
        DeleteDialogFonts();
        delete languageDir_;
    }

    void SetUp() override
    {
        g_instance = GetModuleHandleA(nullptr);
        g_systemFileChoice = Ask;
        // Hidden: destroying a shown top-level window costs Wine two seconds.
        owner_ = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100,
                                 nullptr, nullptr, g_instance, nullptr);
        ASSERT_NE(owner_, nullptr);
    }

    void TearDown() override
    {
        DestroyWindow(owner_);
        for (const std::string& path : made_)
            RemoveTree(path);
    }

    // A file in the given directory (the system directory by default),
    // named uniquely for this run.
    std::string MakeFile(const char* name, DWORD attributes = FILE_ATTRIBUTE_NORMAL,
                         const std::string& dir = SystemDir())
    {
        std::string path = dir + "\\UT" + std::to_string(GetCurrentProcessId()) + name;
        made_.push_back(path);
        EXPECT_TRUE(WriteFileBytes(path, "shared"));
        SetFileAttributesA(path.c_str(), attributes);
        return path;
    }

    static bool SetCounter(const std::string& path, DWORD count)
    {
        return SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), count);
    }

    static DWORD Counter(const std::string& path)
    {
        std::string data;
        DWORD value = kNoCounter;
        if (GetValue(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), &data))
            memcpy(&value, data.data(), std::min(data.size(), sizeof value));
        return value;
    }

    // Runs ConfirmFileRemoval on a worker thread, as the program does, while
    // this thread pumps the owner's messages and a driver thread answers.
    bool Confirm(const std::string& path, int button, Seen* seen, bool tryToEscape = false)
    {
        *seen = Seen();
        seen->owner = owner_;
        seen->path = path.c_str();
        seen->button = button;
        seen->tryToEscape = tryToEscape;
        seen->worker = CreateThread(nullptr, 0, ConfirmThread, seen, 0, &seen->workerThreadId);
        EXPECT_NE(seen->worker, nullptr);
        HANDLE driver = CreateThread(nullptr, 0, DriverThread, seen, 0, nullptr);
        DWORD start = GetTickCount();
        while (MsgWaitForMultipleObjects(1, &seen->worker, FALSE, 50, QS_ALLINPUT) !=
               WAIT_OBJECT_0) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
                DispatchMessageA(&msg);
            if (GetTickCount() - start > 30000) {
                ADD_FAILURE() << "ConfirmFileRemoval did not return";
                break;
            }
        }
        WaitForSingleObject(driver, 10000);
        CloseHandle(driver);
        CloseHandle(seen->worker);
        return seen->result;
    }

    static bool ReadOnly(const std::string& path)
    {
        return GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_READONLY;
    }

    static TempDir* languageDir_;
    SavedKeyValues savedCounters_{HKEY_LOCAL_MACHINE, kSharedDlls};
    HWND owner_ = nullptr;
    std::vector<std::string> made_;
};

TempDir* SharedDllTest::languageDir_ = nullptr;

}  // namespace

TEST_F(SharedDllTest, CountersThatClaimNothingAreLeftAlone)
{
    std::string file = SystemDir() + "\\zero.dll";
    for (DWORD count : {0u, 0x80000001u}) {
        ASSERT_TRUE(SetCounter(file, count));
        EXPECT_EQ(ReleaseSharedDll(file.c_str()), 0u);
        EXPECT_EQ(Counter(file), count);
    }
}

TEST_F(SharedDllTest, QuestionForTheLastClaimAndItsAnswers)
{
    std::string file = MakeFile("ABC.DLL", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    ASSERT_TRUE(SetCounter(file, 1));
    Seen seen;
    EXPECT_TRUE(Confirm(file, IDC_SYSFILE_YES, &seen, true));
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.title, "UT" + std::to_string(GetCurrentProcessId()) + "ABC.DLL");
    EXPECT_EQ(seen.texts, "Delete this system file?\nNo program uses it.|Ano|Ano vsem|Ne|Ne vsem|");
    EXPECT_EQ(seen.position.x, seen.centred.x);
    EXPECT_EQ(seen.position.y, seen.centred.y);
    EXPECT_TRUE(seen.outlivedClose) << "the close box must do nothing";
    EXPECT_TRUE(seen.outlivedEscape) << "the Esc key must do nothing";
    EXPECT_EQ(Counter(file), kNoCounter);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls)) << "the emptied key is pruned";
    EXPECT_EQ(GetFileAttributesA(file.c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE)) << "only read-only goes";
    EXPECT_EQ(g_systemFileChoice, Ask) << "Yes answers for this file only";

    // No counter: asked all the same; No keeps the file and writes no counter.
    std::string uncounted = MakeFile("NOCOUNT.DLL", FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(Confirm(uncounted, IDC_SYSFILE_NO, &seen));
    EXPECT_TRUE(seen.shown);
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kSharedDlls));
    EXPECT_TRUE(ReadOnly(uncounted));
    EXPECT_EQ(g_systemFileChoice, Ask) << "No answers for this file only";

    // Yes to all: no more questions, but a shared file still stays.
    std::string shared = MakeFile("SHARED.DLL");
    ASSERT_TRUE(SetCounter(shared, 3));
    EXPECT_TRUE(Confirm(MakeFile("FIRST.DLL"), IDC_SYSFILE_YES_ALL, &seen));
    EXPECT_EQ(g_systemFileChoice, DeleteAll);
    EXPECT_TRUE(Confirm(uncounted, IDC_SYSFILE_NO, &seen));
    EXPECT_FALSE(seen.shown);
    EXPECT_FALSE(ReadOnly(uncounted));
    EXPECT_FALSE(Confirm(shared, IDC_SYSFILE_YES, &seen));
    EXPECT_EQ(Counter(shared), 2u);

    // No to all: no more questions, and claims are still released.
    g_systemFileChoice = Ask;
    ASSERT_TRUE(SetCounter(shared, 1));
    EXPECT_FALSE(Confirm(MakeFile("SECOND.DLL"), IDC_SYSFILE_NO_ALL, &seen));
    EXPECT_EQ(g_systemFileChoice, KeepAll);
    EXPECT_FALSE(Confirm(shared, IDC_SYSFILE_YES, &seen));
    EXPECT_FALSE(seen.shown);
    EXPECT_EQ(Counter(shared), kNoCounter) << "the claim is released all the same";
}

TEST_F(SharedDllTest, OnlyFilesDirectlyInTheSystemDirectoryAreAskedAbout)
{
    // Shared, in the system directory in another letter case: 3 becomes 2.
    std::string lower = MakeFile("CASE.DLL");
    for (char& c : lower)
        c = char(tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(SetCounter(lower, 3));
    Seen seen;
    EXPECT_FALSE(Confirm(lower, IDC_SYSFILE_YES, &seen));
    EXPECT_FALSE(seen.shown);
    EXPECT_EQ(Counter(lower), 2u);

    std::string subdirectory = SystemDir() + "\\UT" + std::to_string(GetCurrentProcessId());
    ASSERT_TRUE(MakeDirectories(subdirectory));
    made_.push_back(subdirectory);
    TempDir elsewhere("plain");
    std::string plain = elsewhere.Path().substr(0, elsewhere.Path().size() - 1);
    for (const std::string& dir : {subdirectory, WindowsDir(), plain}) {
        std::string path = MakeFile("X.DLL", FILE_ATTRIBUTE_READONLY, dir);
        ASSERT_TRUE(SetCounter(path, 1));
        EXPECT_TRUE(Confirm(path, IDC_SYSFILE_NO, &seen)) << path;
        EXPECT_FALSE(seen.shown) << path;
        EXPECT_EQ(Counter(path), 1u) << "counters outside the system directory stay";
        SetLastError(0xdeadbeef);
        EXPECT_TRUE(DeleteFileA(path.c_str())) << path << " error " << GetLastError();
    }
}
