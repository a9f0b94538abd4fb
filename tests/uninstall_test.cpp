// The uninstaller's runs as scenarios (tests/scenarios.txt): each sets up a product, plays its
// windows and compares the changes to one snapshot of the machine with those the case expects.
// A run goes through uninstall.exe, or in this process where the bar's positions are watched.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "base/globals.h"
#include "base/window.h"
#include "resources/resource.h"
#include "shell/main_dialog.h"
#include "shell/restart.h"
#include "support/test_env.h"
#include "support/ui_driver.h"

using namespace testenv;
using std::string;
typedef std::vector<string> Lines;

namespace {

const DWORD kBoundMs = 30000;   // for any window, and for any run to end
const string kHkcuTest = "UninstTest", kUninstall =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const string kSharedDlls = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";
const char kOverrides[] = "Software\\Wine\\DllOverrides";

string Quoted(const string& text) { return "\"" + text + "\""; }
string SelfPath() { return ProgramDir() + "uninstall_test.exe"; }   // plays the helpers
bool CopyBuilt(const string& name, const string& to)
{
    return CopyFileA((ProgramDir() + name).c_str(), to.c_str(), FALSE) != 0;
}
string Replaced(string text, const string& from, const string& to)
{
    for (size_t at = 0; !from.empty() && (at = text.find(from, at)) != string::npos;
         at += to.size())
        text.replace(at, from.size(), to);
    return text;
}

string Lower(string text)
{
    CharLowerA(&text[0]);
    return text;
}

// {N*c}: c N times; {xHH}: the byte HH; {xHH-HH}: each byte from the first to the second.
string Expanded(const string& text)
{
    string out;
    for (size_t i = 0; i < text.size(); ++i) {
        size_t close = text.find('}', i), star = text.find('*', i);
        if (text[i] == '{' && close != string::npos && text[i + 1] == 'x') {
            int from = strtol(text.substr(i + 2, 2).c_str(), nullptr, 16);
            int to = text[i + 4] == '-' ? strtol(text.substr(i + 5, 2).c_str(), nullptr, 16) : from;
            for (; from <= to; ++from)
                out += char(from);
            i = close;
        }
        else if (text[i] == '{' && star < close && isdigit(text[i + 1]))
            out += string(atoi(&text[i + 1]), text[star + 1]), i = close;
        else
            out += text[i];
    }
    return out;
}

// One case of the file: its lines by keyword, in order.
struct Case {
    string name;
    std::vector<std::pair<string, string>> lines;
    bool Has(const string& word) const { return name.find(word) != string::npos; }
};

std::vector<Case> ReadCases()
{
    std::ifstream file(CASES_DIR "../scenarios.txt");
    std::vector<Case> cases;
    for (string line; std::getline(file, line);) {
        if (line.compare(0, 3, "== ") == 0)
            cases.push_back({line.substr(3), {}});
        else if (!line.empty() && line[0] != '#' && !cases.empty()) {
            size_t space = line.find(' ');
            cases.back().lines.push_back({line.substr(0, space),
                space == string::npos ? "" : line.substr(space + 1)});
        }
    }
    return cases;
}

// The machine as a run may change it, one fact a line: files and directories (trailing \) in
// and beside the product, watched registry keys, system.ini, WININIT.INI, the pending list,
// what was asked of Windows at the end.
struct Machine {
    string product, parent, lower, wininit = WindowsDir() + "\\WININIT.INI";
    std::map<string, string> names;   // text -> placeholder, longest first when written
    Lines watched;                    // files outside the product's parent

    string Named(string text) const
    {
        for (auto it = names.rbegin(); it != names.rend(); ++it)
            text = Replaced(text, it->first, it->second);
        return Replaced(text, " ", "*");
    }
    void Files(const string& dir, Lines* facts) const
    {
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((dir + "*").c_str(), &found);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found)) {
            string name = found.cFileName, path = dir + name;
            if (name == "." || name == ".." || name == "restart.txt")
                continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                facts->push_back(Named(path + "\\"));
                Files(path + "\\", facts);
            } else
                facts->push_back(Named(path) + Content(path));
        }
        FindClose(find);
    }
    static string Content(const string& path)
    {
        string bytes = ReadFileOrEmpty(path);
        return bytes.empty() || bytes.size() > 16 ? "" : "=" + Replaced(bytes, "\n", "\\n");
    }
    void Keys(HKEY root, const string& rootName, const string& key, Lines* facts) const
    {
        HKEY handle;
        if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle))
            return;
        facts->push_back(Named(rootName + key + "\\"));
        char name[300];
        BYTE data[64];
        DWORD size, bytes, type;
        for (DWORD i = 0; size = sizeof name, bytes = sizeof data,
             !RegEnumValueA(handle, i, name, &size, 0, &type, data, &bytes); ++i) {
            string shown = bytes <= 17 && type == REG_SZ ? "=" + string((char*)data) : "";
            if (type == REG_DWORD)
                shown = "=#" + std::to_string(*(LONG*)data);
            facts->push_back(Named(rootName + key + "\\" + (*name ? name : "(default)") + shown));
        }
        for (DWORD i = 0; size = sizeof name, !RegEnumKeyExA(handle, i, name, &size, 0, 0, 0, 0);
             ++i)
            Keys(root, rootName, key + "\\" + name, facts);
        RegCloseKey(handle);
    }
    void IniLines(const string& path, const string& label, Lines* facts) const
    {
        std::ifstream in(path, std::ios::binary);
        string section;
        for (string line; std::getline(in, line);) {
            line = line.substr(0, line.find('\r'));
            if (!line.empty() && line[0] == '[')
                section = line;
            else if (!line.empty()) {   // short paths read as long ones
                char full[MAX_PATH];
                size_t equals = line.find('=') + 1;
                if (equals && GetLongPathNameA(line.c_str() + equals, full, MAX_PATH))
                    line = line.substr(0, equals) + full;
                facts->push_back(Named(label + section + line));
            }
        }
    }
    Lines Facts() const
    {
        Lines facts;
        Files(parent, &facts);
        for (const string& file : watched)
            if (FileExists(file))
                facts.push_back(Named(file) + Content(file));
        Keys(HKEY_CURRENT_USER, "HKEY_CURRENT_USER\\", kHkcuTest, &facts);
        Keys(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE\\", kUninstall + "UninstTest", &facts);
        Keys(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE\\", kUninstall + "DEMOAPP", &facts);
        Keys(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE\\", kUninstall + "Demo App", &facts);
        Keys(HKEY_LOCAL_MACHINE, "shared:", kSharedDlls, &facts);
        IniLines(WindowsDir() + "\\system.ini", "sys:", &facts);
        IniLines(wininit, "wininit:", &facts);
        string list;
        GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &list);
        for (size_t at = 0, n = 0; at < list.size() && list[at]; ++n) {
            string source = list.c_str() + at, target = list.c_str() + at + source.size() + 1;
            at += source.size() + target.size() + 2;
            facts.push_back("pending" + std::to_string(n) + ":" +
                            Named(Replaced(source, "\\??\\", "")) +
                            (target.empty() ? "" : ">" + Named(target)));
        }
        std::ifstream asked(parent + "restart.txt");   // see RestartRecord
        for (string line; std::getline(asked, line);)
            facts.push_back("restart:" + line);
        return facts;
    }
};

// What after has that before has not (+), and what it lost (-).
Lines Changes(Lines before, const Lines& after)
{
    Lines changes, added;
    for (const string& fact : after) {
        auto found = std::find(before.begin(), before.end(), fact);
        if (found == before.end())
            added.push_back("+" + fact);
        else
            before.erase(found);
    }
    for (const string& fact : before)
        changes.push_back("-" + fact);
    changes.insert(changes.end(), added.begin(), added.end());
    return changes;
}

std::vector<LONG> g_positions;   // of the bar, in process

LRESULT CALLBACK RecordPosition(int code, WPARAM wParam, LPARAM lParam)
{
    auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (message->message == PBM_SETPOS && GetDlgCtrlID(message->hwnd) == IDC_MAIN_PROGRESS)
        g_positions.push_back(LONG(message->wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// DejaVu Sans under another family name: Wine keeps a second copy of an
// installed face out of its font table.
string FontOfItsOwnFamily()
{
    string bytes = ReadFileOrEmpty("Z:\\usr\\share\\fonts\\truetype\\dejavu\\DejaVuSans.ttf");
    bytes = Replaced(bytes, "DejaVu", "UtestV");
    return Replaced(bytes, string("\0D\0e\0j\0a\0V\0u", 12), string("\0U\0t\0e\0s\0t\0V", 12));
}

// Gives everybody exactly the rights in sddlRights on a key of HKEY_LOCAL_MACHINE.
bool SetKeyAccess(const string& subKey, const string& sddlRights)
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

bool NoWinebootRuns(void*)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    bool none = true;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        none = none && _stricmp(entry.szExeFile, "wineboot.exe") != 0;
    CloseHandle(snapshot);
    return none;
}

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

// Starts commandLine and plays its windows' steps; the exit code (STILL_ACTIVE: it did not end).
DWORD RunExe(const string& commandLine, const Lines& steps)
{
    Process process;
    if (!process.Start(commandLine))
        return 0;
    for (const string& step : steps)
        EXPECT_EQ(ui::PlayStep(process.Id(), step, kBoundMs), step);
    DWORD code = process.Wait(kBoundMs);
    ui::WaitUntil(NoWinebootRuns, nullptr, kBoundMs);
    return code;
}

// Wine restarts through wineboot.exe, started by ExitWindowsEx with the request's flags as
// options (--kill when forced, --shutdown without a restart): in its place, and preferred to
// Wine's own, this program writes them down (restart.txt of the product's parent).
class Runs : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_instance = GetModuleHandleA(nullptr);
        InitCommonControls();
        RegisterMainWindowClass();
        CreateDialogFonts();
        MoveFileExA(kWineboot.c_str(), (kWineboot + ".real").c_str(), MOVEFILE_REPLACE_EXISTING);
        ASSERT_TRUE(CopyFileA(SelfPath().c_str(), kWineboot.c_str(), FALSE));
        SetString(HKEY_CURRENT_USER, kOverrides, "wineboot.exe", "native");
    }
    static void TearDownTestSuite()
    {
        MoveFileExA((kWineboot + ".real").c_str(), kWineboot.c_str(), MOVEFILE_REPLACE_EXISTING);
        DeleteValueForTest(HKEY_CURRENT_USER, kOverrides, "wineboot.exe");
    }

    void Play(const Case& c);

    static const string kWineboot;
    SavedValue pending_{HKEY_LOCAL_MACHINE, kSessionManager, kPending};
    SavedFile savedIni_{WindowsDir() + "\\system.ini"}, wininit_{WindowsDir() + "\\WININIT.INI"};
    const string systemIni_ = ReadFileOrEmpty(WindowsDir() + "\\system.ini");
    ScopedKey test_{HKEY_CURRENT_USER, kHkcuTest}, shared_{HKEY_LOCAL_MACHINE, kSharedDlls};
    ScopedKey byKey_{HKEY_LOCAL_MACHINE, kUninstall + "UninstTest"};
    ScopedKey byOption_{HKEY_LOCAL_MACHINE, kUninstall + "DEMOAPP"};
    ScopedKey byDir_{HKEY_LOCAL_MACHINE, kUninstall + "Demo App"};
};
const string Runs::kWineboot = SystemDir() + "\\wineboot.exe";

void Runs::Play(const Case& c)
{
    TempDir temp("inst");
    g_positions.clear();
    Machine m;
    m.parent = temp.Path();
    m.product = m.parent + "Demo App\\";
    m.lower = Lower(m.product);
    const string exe = m.product + "uninstall.exe", key = kUninstall + "UninstTest";
    const string hkcu = "HKEY_CURRENT_USER\\" + kHkcuTest + "\\";
    m.names = {{m.product, "@"}, {m.parent, "^"}, {m.lower, "~@"}, {SystemDir() + "\\", "$S"},
               {hkcu, "$T"}, {"HKEY_LOCAL_MACHINE\\" + kUninstall, "$U"},
               {m.parent + "cwd\\run\\", "$C"}, {WindowsDir() + "\\", "$W"},
               {"shared:" + kSharedDlls + "\\", "shared:"}, {Lower(SystemDir() + "\\"), "~S"}};
    const bool inProcess = c.Has("in process"), on98 = c.Has("as 98");
    std::map<string, string> words = {{"$E", Quoted(SelfPath())}};
    for (auto& name : m.names)
        words[name.second] = name.first;
    auto Placed = [&](string text) {
        text = Expanded(text);
        for (size_t at = 0; (at = text.find_first_of("@^~$", at)) != string::npos;) {
            string word = text.substr(at, text[at] == '~' || text[at] == '$' ? 2 : 1);
            auto found = words.find(word);
            string by = found == words.end() ? word : found->second;
            text.replace(at, word.size(), by);
            at += by.size();
        }
        return text;
    };
    ASSERT_TRUE(MakeDirectories(m.product + "keep") && MakeDirectories(m.parent + "cwd\\run") &&
                MakeDirectories(m.parent + "Demo App2"));
    for (const char* file : {"Demo App\\demo.exe", "Demo App\\demo.exe.bak",
                             "Demo App\\keep\\in.txt", "beside.txt", "Demo App2\\in.txt"})
        WriteFileBytes(m.parent + file, "");
    string lang = "[English]\r\nstr71=Confirm\r\nstr72=Remove %p?\r\nstr73=Heading\r\n"
        "str74=Removing %p\r\nstr75=Please wait\r\nstr76=Done\r\nstr89=E89\r\nstr90=E90\r\n"
        "str96=Restart\r\nstr97=Restart now?\r\nstr100=Yes\r\nstr101=Yes to all\r\n"
        "str102=No\r\nstr103=No to all\r\nstr104=Delete %p?\r\n[\xC8" "esky]\r\n"
        "str71=Odinstalace\r\nstr72=Odebrat %p?\r\n";
    string header = "Demo App\r\nUninstTest\r\nEnglish\r\n", log, lockPath;
    Lines steps, bar;
    std::vector<HANDLE> locks;
    for (const string& k : {kUninstall + "UninstTest", kUninstall + "DEMOAPP",
                            kUninstall + "Demo App", kSharedDlls})
        DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, k);
    DeleteKeyTreeForTest(HKEY_CURRENT_USER, kHkcuTest);
    for (const string& value : {string("Value"), string("Valuex")})
        SetString(HKEY_CURRENT_USER, kHkcuTest, value.c_str(), value);
    SetString(HKEY_LOCAL_MACHINE, key, "DisplayName", "Demo App");
    SetString(HKEY_LOCAL_MACHINE, key, "UninstallString", exe);
    SetString(HKEY_LOCAL_MACHINE, key, "Publisher", "Demo Corp");   // keeps the key
    WriteFileBytes(WindowsDir() + "\\system.ini", systemIni_ + "[uninsttest]\r\nwave=demo.drv2\r\n"
                   "wave =demo.drv\r\nwave=demo.drv\r\n[x]\r\nwave=demo.drv\r\n[" + string(126, 's') +
                   "]\r\nwave=x\r\n");
    const string nul(1, '\0'), other = "\\??\\C:\\Other\\old" + nul + "!\\??\\C:\\Other\\new" + nul;
    string pendingList = other;
    if (!inProcess)
        CopyBuilt("uninstall.exe", exe);
    bool held = false, langGiven = false, denied = false;
    for (const auto& line : c.lines) {
        const string& word = line.first;
        string text = word == "held" ? line.second : Placed(line.second);
        size_t equals = text.rfind('=');
        string path = text.substr(0, equals), data = equals == string::npos ? "" : text.substr(equals + 1);
        if (word == "header")
            header = Replaced(text, "|", "\r\n") + "\r\n";
        else if (word == "log" || word.compare(0, 4, "log*") == 0)
            for (int n = word.size() > 3 ? atoi(&word[4]) : 1; n > 0; --n)
                log += text + "\r\n";
        else if (word == "log-end")   // the last line, without a line end
            log += text;
        else if (word == "lang")
            lang = (langGiven ? lang : "") + text + "\r\n", langGiven = true;
        else if (word == "put" && path.compare(0, 5, "HKEY_") == 0) {
            size_t slash = path.rfind('\\');
            HKEY root = path[5] == 'C' ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
            string subKey = path.substr(path.find('\\') + 1, slash - path.find('\\') - 1);
            string name = path.substr(slash + 1);
            if (name.empty())
                SetString(root, subKey, "-", ""), DeleteValueForTest(root, subKey, "-");
            else
                SetString(root, subKey, name == "(default)" ? "" : name.c_str(), data);
        } else if (word == "put") {
            if (path.compare(0, m.parent.size(), m.parent) != 0)
                m.watched.push_back(path);
            MakeDirectories(path.substr(0, path.rfind('\\')));
            if (path.back() != '\\')
                WriteFileBytes(path, data);
        } else if (word == "shared")   // a SharedDLLs counter: "$Sname=count" or "=text"
            data[0] == '#' ? SetDword(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), atoi(&data[1]))
                           : SetString(HKEY_LOCAL_MACHINE, kSharedDlls, path.c_str(), data);
        else if (word == "drop")
            DeleteValueForTest(HKEY_LOCAL_MACHINE, key, text.c_str());
        else if (word == "readonly")
            SetFileAttributesA(text.c_str(), FILE_ATTRIBUTE_READONLY);
        else if (word == "lock")
            locks.push_back(CreateFileA(text.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                        OPEN_EXISTING, 0, nullptr));
        else if (word == "module")
            CopyBuilt("selfreg_module.dll", text) &&
                CopyBuilt("planted_module.dll", text.substr(0, text.rfind('\\')) + "\\planted_module.dll");
        else if (word == "font")
            WriteFileBytes(text, FontOfItsOwnFamily()), AddFontResourceA(text.c_str());
        else if (word == "pend")
            pendingList += "\\??\\" + text + nul + nul;
        else if (word == "deny")
            denied = SetKeyAccess(key, "0x60019");   // read and change permissions only
        else if (word == "bar")
            bar.push_back(text);
        else if (word == "win" || word == "held")
            steps.push_back(word == "held" ? "held " + text : text);
        held = held || word == "held";
    }
    WriteFileBytes(m.product + "lang.ini", lang);
    if (!c.Has("no log"))
        WriteFileBytes(m.product + "uninstall.log", c.Has("headless") ? log : header + log);
    SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPending, REG_MULTI_SZ, pendingList + nul);
    DeleteFileA(m.wininit.c_str());
    SetEnvironmentVariableA("SELFREG_MARKER", (m.parent + "unregistered").c_str());
    SetEnvironmentVariableA("RESTART_RECORD", (m.parent + "restart.txt").c_str());
    SetCurrentDirectoryA((m.parent + "cwd\\run").c_str());
    std::unique_ptr<Win98Mode> as98(on98 && !inProcess ? new Win98Mode("uninstall.exe") : nullptr);
    std::vector<string> fonts;
    for (const auto& line : c.lines)
        if (line.first == "font")
            fonts.push_back(Placed(line.second));

    const Lines before = m.Facts();
    Lines seen;
    Process process;
    DWORD pid = GetCurrentProcessId();
    auto Drive = [&] {
        for (const string& step : steps) {
            HWND window = nullptr;
            if (step.compare(0, 5, "held ") != 0) {
                string there;   // after a held program: the dialog came back and is active
                if (held && (window = ui::WaitForRender(pid, step.substr(0, step.rfind(" > ")),
                                                        kBoundMs, &there)))
                    there = string(IsIconic(window) ? " (still minimized)" : "") +
                            (GetForegroundWindow() == window ? "" : " (not active)");
                seen.push_back(ui::PlayStep(pid, step, kBoundMs) + there);
                if (seen.back() != step)
                    break;
                continue;
            }
            // A logged program holds the worker: the dialog stays, Close, Escape and Enter do
            // nothing; the user minimizes it, and it must come back when the program ends.
            window = ui::WaitForRender(pid, "Demo App|*", kBoundMs, &seen.emplace_back());
            auto started = [](void* file) { return FileExists(*static_cast<string*>(file)); };
            string marker = m.parent + "cwd\\run\\held", after = step.substr(5, step.find(' ', 5) - 5);
            bool waited = ui::WaitUntil(started, &marker, kBoundMs);
            SendMessageA(window, WM_CLOSE, 0, 0);
            PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
            PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
            SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, kBoundMs, nullptr);
            seen.back() = "held " + after + (waited ? "" : " (no program)") +
                          (IsWindow(window) ? "" : " (closed)") +
                          (FileExists(Placed(after)) ? "" : " (went on)") + " " + ui::Render(window);
            ShowWindow(window, SW_MINIMIZE);
            WriteFileBytes(m.parent + "go", "");
        }
        for (HWND left : ui::TopLevelWindows(pid))   // ends a dialog left waiting
            if (inProcess)
                PostMessageA(left, WM_COMMAND, IDOK, 0);
    };
    DWORD code = 1;
    if (inProcess) {
        g_positions.clear();
        g_restartNeeded = 0;
        g_isNT = !on98;
        std::thread driver(Drive);
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, RecordPosition, nullptr,
                                       GetCurrentThreadId());
        ShowMainDialogOn(m.product);
        UnhookWindowsHookEx(hook);
        driver.join();
        EXPECT_EQ(WaitForSingleObject(g_workerThread, kBoundMs), WAIT_OBJECT_0) << "ends after OK";
        CloseHandle(g_workerThread);
    } else {
        string args;
        for (const auto& line : c.lines)
            if (line.first == "args")
                args = Placed(line.second);
        ASSERT_TRUE(process.Start(Quoted(exe) + " " + args)) << GetLastError();
        pid = process.Id();
        Drive();
        code = process.Wait(kBoundMs);
        ui::WaitUntil(NoWinebootRuns, nullptr, kBoundMs);
    }
    for (HANDLE lock : locks)
        CloseHandle(lock);
    if (denied)
        SetKeyAccess(key, "KA");
    SetCurrentDirectoryA(ProgramDir().c_str());
    SetEnvironmentVariableA("SELFREG_MARKER", nullptr);
    Lines after = m.Facts();
    if (inProcess && g_restartNeeded)
        after.push_back("restart-needed");
    for (const string& font : fonts) {   // put back, its file must leave no table
        bool gone = !FileExists(font);
        WriteFileBytes(font, FontOfItsOwnFamily());
        if (RemoveFontResourceA(font.c_str()))
            after.push_back("font:" + m.Named(font));
        if (gone)
            DeleteFileA(font.c_str());
    }
    Lines expected, changes = Changes(before, after), positions;
    for (const auto& line : c.lines)
        if (line.first == "=>") {
            std::istringstream words(line.second);
            for (string change; words >> change;)
                if (change == "done")   // a run to its end takes these
                    expected.insert(expected.end(), {"-@uninstall.log", "-@lang.ini",
                        "-$UUninstTest\\UninstallString", "-$UUninstTest\\DisplayName=Demo*App"});
                else
                    expected.push_back(Expanded(change));
        }
    for (LONG position : g_positions)
        positions.push_back(std::to_string(position));
    std::sort(expected.begin(), expected.end());
    std::sort(changes.begin(), changes.end());
    Lines wanted;   // the bar's positions; a-b: each from a to b
    for (string word : bar)
        for (std::istringstream in(word); in >> word;)
            for (int p = atoi(word.c_str()), to = atoi(word.c_str() + word.find('-') + 1);
                 p <= to; ++p)
                wanted.push_back(std::to_string(p));
    EXPECT_EQ(testing::PrintToString(changes), testing::PrintToString(expected));
    EXPECT_EQ(code, 1u) << "the exit code";
    EXPECT_EQ(seen, steps);
    if (!bar.empty())
        EXPECT_EQ(testing::PrintToString(positions), testing::PrintToString(wanted));
}

// The restart in a process of its own: the shutdown privilege is enabled before it is asked.
TEST_F(Runs, RestartEnablesTheShutdownPrivilegeFirst)
{
    TempDir dir("restart");
    SetEnvironmentVariableA("RESTART_RECORD", (dir / "restart.txt").c_str());
    EXPECT_EQ(ShutdownPrivilegeState(), 0) << "disabled in a process of this user";
    EXPECT_EQ(RunExe(Quoted(SelfPath()) + " --restart -", {}), 1u) << "enabled after the restart";
    EXPECT_EQ(ReadFileOrEmpty(dir / "restart.txt"), "--end-session\n--end-session\n");
}

// DLLs planted beside uninstall.exe, searched there first: it loads none but those Wine loads
// into any program that restricts its search; a logged module still gets the DLL beside it.
TEST_F(Runs, LoadsNoDllPlantedBesideIt)
{
    TempDir temp("dll");
    const string dir = temp / "Demo App\\", exe = dir + "uninstall.exe", module = dir + "bin\\ext.dll";
    string any = temp / "any-", own = temp / "own-", unregistered = temp / "unregistered";
    ASSERT_TRUE(MakeDirectories(dir + "bin") && CopyBuilt("selfreg_module.dll", module) &&
                CopyBuilt("planted_module.dll", dir + "bin\\planted_module.dll") &&
                WriteFileBytes(dir + "demo.exe", "") && WriteFileBytes(dir + "lang.ini", "") &&
                WriteFileBytes(dir + "uninstall.log", "Demo App\r\nUninstTest\r\nEnglish\r\n" +
                               dir + "demo.exe\r\n%" + module + "\r\n"));
    const string order = "Software\\Wine\\AppDefaults\\uninstall.exe\\DllOverrides";
    ScopedKey orderKey(HKEY_CURRENT_USER, order);
    const struct { string name; bool loadedIntoAny; } cases[] = {
        {"comctl32", false}, {"shlwapi", false}, {"uxtheme", true}, {"version", true},
    };
    for (const auto& c : cases)
        ASSERT_TRUE(CopyBuilt("planted_module.dll", dir + c.name + ".dll") &&
                    SetString(HKEY_CURRENT_USER, order, c.name.c_str(), "native,builtin"));
    SetEnvironmentVariableA("SELFREG_MARKER", unregistered.c_str());
    SetEnvironmentVariableA("PLANTED_MARKERS", any.c_str());   // inherited by the runs
    ASSERT_TRUE(CopyBuilt("restricted_program.exe", exe));   // in uninstall.exe's place
    ASSERT_EQ(RunExe(Quoted(exe), {}), 0u) << "the careful program made no control";
    SetEnvironmentVariableA("PLANTED_MARKERS", own.c_str());
    ASSERT_TRUE(CopyBuilt("uninstall.exe", exe));
    EXPECT_EQ(RunExe(Quoted(exe) + " -C", {"Demo App|* [OK] > OK"}), 1u);
    SetEnvironmentVariableA("SELFREG_MARKER", nullptr);
    SetEnvironmentVariableA("PLANTED_MARKERS", nullptr);
    EXPECT_FALSE(FileExists(module) || FileExists(dir + "demo.exe")) << "left in place";
    EXPECT_EQ(ReadFileOrEmpty(unregistered), "unregistered\n");
    for (const auto& c : cases)
        EXPECT_FALSE(FileExists(own + c.name + ".dll") &&
                     !(c.loadedIntoAny && FileExists(any + c.name + ".dll")))
            << c.name << ".dll planted beside uninstall.exe was loaded";
}

TEST_F(Runs, Scenarios)
{
    const std::vector<Case> cases = ReadCases();
    ASSERT_FALSE(cases.empty()) << "scenarios.txt not read";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Play(c);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    if (strstr(self, "wineboot")) {   // in wineboot's place: writes down what was asked
        std::ofstream(getenv("RESTART_RECORD"), std::ios::app | std::ios::binary)
            << (strchr(GetCommandLineA() + 1, ' ') ? strchr(GetCommandLineA() + 1, ' ') + 1 : "")
            << "\n";
        return 0;
    }
    string mode = argc > 2 ? argv[1] : "";
    if (mode == "--restart") {   // exits with the shutdown privilege's state after the restart
        RestartWindows();
        return ShutdownPrivilegeState();
    }
    if (mode == "--program") {   // OUT [SIGNAL]: stands for a logged program
        WriteFileBytes(argv[2], "");
        auto signalled = [](void* file) { return FileExists(static_cast<char*>(file)); };
        return argc < 4 || ui::WaitUntil(signalled, argv[3], kBoundMs) ? 0 : 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
