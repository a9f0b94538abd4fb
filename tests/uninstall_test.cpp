// The runner of tests/scenarios.txt (its header tells the format), runs it cannot express, and
// the engine, path and language operations that no run reaches as exactly. Reports end their
// process, so each case of theirs re-runs this program as a probe with TEMP set to its
// directory, answers the box and checks exit code and zkal.log.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <thread>

#include "base/globals.h"
#include "base/window.h"
#include "diag/report.h"
#include "diag/run_log.h"
#include "engine/ini_remove.h"
#include "engine/removal.h"
#include "language/language.h"
#include "logtools/log_plan.h"
#include "logtools/uninstall_log_writer.h"
#include "paths/path_macros.h"
#include "resources/resource.h"
#include "shell/main_dialog.h"
#include "shell/restart.h"
#include "support/test_env.h"
#include "support/ui_driver.h"
#include "text/buf.h"

using namespace testenv;
using std::string;
using namespace std::string_literals;
typedef std::vector<string> Lines;

namespace {

const DWORD kBoundMs = 30000;   // for any window, and for any run to end
const string kTest = "UninstTest", kVersion = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const string kUninstall = kVersion + "\\Uninstall\\", kShared = kVersion + "\\SharedDLLs";
const char kSessionManager[] = "SYSTEM\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";
const char kOverrides[] = "Software\\Wine\\DllOverrides";
const string kAppDefaults = "Software\\Wine\\AppDefaults\\uninstall.exe";
const string kNotFound = "___string not found___";
const string kMainDone = "Demo App|* [OK] > OK";   // the main dialog finished, and OK

string Quoted(const string& text) { return "\"" + text + "\""; }
string SelfPath() { return ProgramDir() + "uninstall_test.exe"; }   // plays the helpers
bool CopyBuilt(const string& name, const string& to)
{
    return CopyFileA((ProgramDir() + name).c_str(), to.c_str(), FALSE) != 0;
}
string Replaced(string text, const string& from, const string& to)
{
    for (size_t at = 0; (at = text.find(from, at)) != string::npos; at += to.size())
        text.replace(at, from.size(), to);
    return text;
}
string Lower(string text) { return CharLowerA(&text[0]); }
bool FileIsThere(void* path) { return FileExists(static_cast<char*>(path)); }   // for WaitUntil

string Expanded(const string& text)
{
    string out;
    for (size_t i = 0, close; i < text.size(); ++i) {
        unsigned from, to = 0;
        if (text[i] != '{' || (close = text.find('}', i)) == string::npos)
            out += text[i];
        else if (sscanf(&text[i], "{x%2x-%2x", &from, &to) > 0)
            for (to = std::max(from, to), i = close; from <= to;)
                out += char(from++);
        else if (isdigit(text[i + 1]))
            out += string(atoi(&text[i + 1]), text[close - 1]), i = close;
        else
            out += text[i];
    }
    return out;
}

struct Case {
    string name;
    std::vector<std::pair<string, string>> lines;
    bool Has(const string& word) const { return name.find(word) != string::npos; }
    Lines All(const string& word) const
    {
        Lines texts;
        for (const auto& line : lines)
            if (line.first == word)
                texts.push_back(line.second);
        return texts;
    }
};

// The first: the lines before any case, which every run has.
std::vector<Case> ReadCases()
{
    std::ifstream file(CASES_DIR "../scenarios.txt");
    std::vector<Case> cases(1);
    for (string line; std::getline(file, line);) {
        string word = line.substr(0, line.find(' '));
        string text = line.substr(std::min(line.size(), word.size() + 1));
        if (word == "==")
            cases.push_back({text, {}});
        else if (!word.empty() && word[0] != '#')
            for (size_t at = 0, bar; at <= text.size(); at = bar + 3) {
                bar = word == "win" || word == "held" ? string::npos : text.find(" | ", at);
                cases.back().lines.push_back({word, text.substr(at, bar - at)});
                bar = std::min(bar, text.size());
            }
    }
    return cases;
}

// The machine as a run may change it, one fact a line.
struct Machine {
    string parent;
    std::map<string, string> names;   // text -> placeholder; a longer text sorts after its start
    Lines watched;                    // files outside the parent

    string Placed(string text) const
    {
        text = Expanded(text);
        for (size_t at = 0; (at = text.find_first_of("@^~$", at)) != string::npos;) {
            string word = text.substr(at, text[at] == '~' || text[at] == '$' ? 2 : 1), by = word;
            for (const auto& name : names)
                by = name.second == word ? name.first : by;
            text.replace(at, word.size(), by);
            at += by.size();
        }
        return text;
    }
    string Named(string text) const
    {
        for (auto it = names.rbegin(); it != names.rend(); ++it)
            text = Replaced(text, it->first, it->second);
        return Replaced(text, " ", "*");
    }
    static string Content(const string& path)
    {
        string bytes = ReadFileOrEmpty(path);
        return bytes.empty() || bytes.size() > 16 ? "" : "=" + Replaced(bytes, "\n", "\\n");
    }
    void Files(const string& dir, Lines* facts) const
    {
        WIN32_FIND_DATAA found;
        HANDLE find = FindFirstFileA((dir + "*").c_str(), &found);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found)) {
            string name = found.cFileName, path = dir + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY && name != "." && name != "..")
                facts->push_back(Named(path + "\\")), Files(path + "\\", facts);
            else if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "restart.txt")
                facts->push_back(Named(path) + Content(path));
        }
        FindClose(find);
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
             !RegEnumValueA(handle, i, name, &size, 0, &type, data, &bytes); ++i)
            facts->push_back(Named(rootName + key + "\\" + (*name ? name : "(default)") +
                (type == REG_DWORD ? "=#" + std::to_string(*(LONG*)data)
                 : type == REG_SZ && bytes <= 17 ? "=" + string((char*)data) : "")));
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
            char full[MAX_PATH];   // short paths read as long ones
            size_t value = line.find('=') + 1;
            if (value && GetLongPathNameA(line.c_str() + value, full, MAX_PATH))
                line = line.substr(0, value) + full;
            if (!line.empty() && line[0] == '[')
                section = line;
            else if (!line.empty())
                facts->push_back(Named(label + section + line));
        }
    }
    Lines Facts() const
    {
        Lines facts;
        Files(parent, &facts);
        for (const string& file : watched)
            if (FileExists(file))
                facts.push_back(Named(file) + Content(file));
        Keys(HKEY_CURRENT_USER, "HKEY_CURRENT_USER\\", kTest, &facts);
        for (const char* product : {"UninstTest", "DEMOAPP", "Demo App"})
            Keys(HKEY_LOCAL_MACHINE, "HKEY_LOCAL_MACHINE\\", kUninstall + product, &facts);
        Keys(HKEY_LOCAL_MACHINE, "shared:", kShared, &facts);
        IniLines(WindowsDir() + "\\system.ini", "sys:", &facts);
        IniLines(WindowsDir() + "\\WININIT.INI", "wininit:", &facts);
        string list;
        GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &list);
        for (size_t at = 0, n = 0; at < list.size() && list[at]; ++n) {
            string source = list.c_str() + at, target = list.c_str() + at + source.size() + 1;
            at += source.size() + target.size() + 2;
            facts.push_back("pending" + std::to_string(n) + ":" +
                            Named(Replaced(source, "\\??\\", "")) +
                            (target.empty() ? "" : ">" + Named(target)));
        }
        std::ifstream asked(parent + "restart.txt");
        for (string line; std::getline(asked, line);)
            facts.push_back("restart:" + line);
        return facts;
    }
};

Lines Changes(Lines before, const Lines& after)
{
    Lines changes;
    for (const string& fact : after) {
        auto found = std::find(before.begin(), before.end(), fact);
        if (found == before.end())
            changes.push_back("+" + fact);
        else
            before.erase(found);
    }
    for (const string& fact : before)
        changes.push_back("-" + fact);
    std::sort(changes.begin(), changes.end());
    return changes;
}

Lines g_positions;   // of the bar, in process

LRESULT CALLBACK RecordPosition(int code, WPARAM wParam, LPARAM lParam)
{
    auto* message = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (message->message == PBM_SETPOS && GetDlgCtrlID(message->hwnd) == IDC_MAIN_PROGRESS)
        g_positions.push_back(std::to_string(message->wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// DejaVu Sans under another family name: Wine keeps a second copy of an installed face out
// of its font table.
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
    bool done = !RegOpenKeyExA(HKEY_LOCAL_MACHINE, subKey.c_str(), 0, WRITE_DAC, &key) &&
                ConvertStringSecurityDescriptorToSecurityDescriptorA(
                    ("D:P(A;;" + sddlRights + ";;;WD)").c_str(), SDDL_REVISION_1, &sd, nullptr) &&
                !RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd);
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
DWORD RunExe(const string& commandLine, const Lines& steps, Lines* seen)
{
    Process process;
    if (!process.Start(commandLine)) {   // named, so that a failure says why
        seen->push_back("cannot start: error " + std::to_string(GetLastError()));
        return 0;
    }
    for (const string& step : steps)
        if (seen->emplace_back(ui::PlayStep(process.Id(), step, kBoundMs)) != step)
            break;
    DWORD code = process.Wait(kBoundMs);
    for (HWND window : ui::TopLevelWindows(process.Id()))   // what keeps it from its end
        seen->push_back("still there: " + ui::Render(window));
    ui::WaitUntil(NoWinebootRuns, nullptr, kBoundMs);
    return code;
}

// This program stands in for wineboot.exe, which ExitWindowsEx starts with the request's flags.
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
    string SetUpMachine(const Case& c, const TempDir& temp, Machine* m);
    void Hold(const Machine& m, const string& held, Lines* seen);
    void Play(const Case& c);
    void Release(const Machine& m);
    string UndoneAsPlanned(const Machine& m, const string& dir, const Lines& steps);

    static const string kWineboot;
    SavedValue pending_{HKEY_LOCAL_MACHINE, kSessionManager, kPending};
    SavedFile savedIni_{WindowsDir() + "\\system.ini"}, wininit_{WindowsDir() + "\\WININIT.INI"};
    ScopedKey test_{HKEY_CURRENT_USER, kTest}, shared_{HKEY_LOCAL_MACHINE, kShared};
    ScopedKey product_{HKEY_LOCAL_MACHINE, kUninstall + "UninstTest"};
    ScopedKey byOption_{HKEY_LOCAL_MACHINE, kUninstall + "DEMOAPP"};
    ScopedKey byDir_{HKEY_LOCAL_MACHINE, kUninstall + "Demo App"};
    std::vector<HANDLE> locks_;
    Lines fonts_;
    bool denied_ = false;
};
const string Runs::kWineboot = SystemDir() + "\\wineboot.exe";

// The product's directory in temp, the machine around it, and what the case puts.
string Runs::SetUpMachine(const Case& c, const TempDir& temp, Machine* m)
{
    m->parent = temp.Path();
    const string product = m->parent + "Demo App\\", key = kUninstall + kTest;
    m->names = {{product, "@"}, {m->parent, "^"}, {Lower(product), "~@"},
                {SystemDir() + "\\", "$S"}, {Lower(SystemDir() + "\\"), "~S"},
                {WindowsDir() + "\\", "$W"}, {m->parent + "cwd\\run\\", "$C"},
                {"HKEY_CURRENT_USER\\" + kTest + "\\", "$T"},
                {"HKEY_LOCAL_MACHINE\\" + kUninstall, "$U"},
                {"shared:" + kShared + "\\", "shared:"}, {Quoted(SelfPath()), "$E"}};
    for (const string& k : {kUninstall + kTest, kUninstall + "DEMOAPP", kUninstall + "Demo App",
                            kShared})
        DeleteKeyTreeForTest(HKEY_LOCAL_MACHINE, k);
    DeleteKeyTreeForTest(HKEY_CURRENT_USER, kTest);
    WriteFileBytes(savedIni_.path, savedIni_.bytes + "[uninsttest]\r\nwave=demo.drv2\r\n"
                   "wave =demo.drv\r\nwave=demo.drv\r\n[x]\r\nwave=demo.drv\r\n[" +
                   string(126, 's') + "]\r\nwave=x\r\n");
    DeleteFileA((WindowsDir() + "\\WININIT.INI").c_str());
    const string nul(1, '\0');
    string pending = "\\??\\C:\\Other\\old" + nul + "!\\??\\C:\\Other\\new" + nul;
    string lang = c.All("lang").size() ? "" : "[English]\r\nstr71=Confirm\r\nstr72=Remove %p?\r\n"
        "str73=Heading\r\nstr74=Removing %p\r\nstr75=Please wait\r\nstr76=Done\r\nstr89=E89\r\n"
        "str90=E90\r\nstr96=Restart\r\nstr97=Restart now?\r\nstr100=Yes\r\nstr101=Yes to all\r\n"
        "str102=No\r\nstr103=No to all\r\nstr104=Delete %p?\r\n[\xC8" "esky]\r\n"
        "str71=Odinstalace\r\nstr72=Odebrat %p?\r\n";
    string log = c.Has("headless") ? "" : "Demo App\r\nUninstTest\r\nEnglish\r\n";
    auto PutFile = [&](const string& path, const string& data) {
        if (path.compare(0, m->parent.size(), m->parent) != 0)
            m->watched.push_back(path);
        MakeDirectories(path.substr(0, path.rfind('\\')));
        if (path.back() != '\\')
            WriteFileBytes(path, data);
    };
    auto lines = ReadCases()[0].lines;
    lines.insert(lines.end(), c.lines.begin(), c.lines.end());
    for (const auto& line : lines) {
        const string& word = line.first;
        string text = m->Placed(line.second);
        size_t equals = text.rfind('=');
        string path = text.substr(0, equals);
        string data = equals == string::npos ? "" : text.substr(equals + 1);
        if (word == "header")
            log = Replaced(text, "|", "\r\n") + "\r\n";
        else if (word.compare(0, 3, "log") == 0)   // log*N: N times; log-end: no line end
            for (int n = word[3] == '*' ? atoi(&word[4]) : 1; n > 0; --n)
                log += text + (word == "log-end" ? "" : "\r\n");
        else if (word == "lang")
            lang += text + "\r\n";
        else if ((word == "put" || word == "drop") && path.compare(0, 5, "HKEY_") == 0) {
            size_t slash = path.rfind('\\'), start = path.find('\\') + 1;
            HKEY root = path[5] == 'C' ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
            string subKey = path.substr(start, slash - start), name = path.substr(slash + 1);
            const char* value = name == "(default)" ? "" : name.empty() ? "-" : name.c_str();
            if (word == "put")
                SetString(root, subKey, value, data);
            if (word == "drop" || name.empty())   // the value gone; or the key alone
                DeleteValueForTest(root, subKey, value);
        } else if (word == "put")
            PutFile(path, data);
        else if (word == "shared")   // the file, and its counter
            PutFile(path, ""), data[0] == '#'
                ? SetDword(HKEY_LOCAL_MACHINE, kShared, path.c_str(), atoi(&data[1]))
                : SetString(HKEY_LOCAL_MACHINE, kShared, path.c_str(), data);
        else if (word == "readonly")
            PutFile(text, ""), SetFileAttributesA(text.c_str(), FILE_ATTRIBUTE_READONLY);
        else if (word == "lock")
            locks_.push_back(CreateFileA(text.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, 0, nullptr));
        else if (word == "module") {   // with the DLL it imports beside it
            const string imported = text.substr(0, text.rfind('\\') + 1) + "planted_module.dll";
            PutFile(text, ""), PutFile(imported, "");
            CopyBuilt("selfreg_module.dll", text) && CopyBuilt("planted_module.dll", imported);
        }
        else if (word == "font")
            WriteFileBytes(text, FontOfItsOwnFamily()), AddFontResourceA(text.c_str()),
                fonts_.push_back(text);
        else if (word == "pend")
            pending += "\\??\\" + text + nul + nul;
        else if (word == "deny")
            denied_ = SetKeyAccess(key, "0x60019");   // read and change permissions only
    }
    WriteFileBytes(product + "lang.ini", lang);
    if (!c.Has("in process"))
        CopyBuilt("uninstall.exe", product + "uninstall.exe");
    SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPending, REG_MULTI_SZ, pending + nul);
    SetEnvironmentVariableA("SELFREG_MARKER", (m->parent + "unregistered").c_str());
    SetEnvironmentVariableA("RESTART_RECORD", (m->parent + "restart.txt").c_str());
    SetCurrentDirectoryA((m->parent + "cwd\\run").c_str());
    if (!c.Has("no log"))
        WriteFileBytes(product + "uninstall.log", log);
    return product;
}

// "held": the marker file the logged program waits on is written only after these checks.
void Runs::Hold(const Machine& m, const string& held, Lines* seen)
{
    string marker = m.parent + "cwd\\run\\held", after = held.substr(0, held.find(' ')), there;
    bool waited = ui::WaitUntil(FileIsThere, &marker[0], kBoundMs);
    HWND window = ui::WaitForRender(GetCurrentProcessId(), "Demo App|*", kBoundMs, &there);
    SendMessageA(window, WM_CLOSE, 0, 0);
    PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(window, WM_KEYDOWN, VK_RETURN, 0);
    SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_BLOCK, kBoundMs, nullptr);
    seen->push_back(after + (waited ? "" : " (no program)") +
                    (FileExists(m.Placed(after)) ? " " : " (went on) ") + ui::Render(window));
    ShowWindow(window, SW_MINIMIZE);
    WriteFileBytes(m.parent + "go", "");
    window = ui::WaitForRender(GetCurrentProcessId(), "Demo App|* [OK]", kBoundMs, &there);
    if (window && (IsIconic(window) || GetForegroundWindow() != window))
        seen->push_back("not restored and active: " + ui::Render(window));
}

void Runs::Play(const Case& c)
{
    TempDir temp("inst");
    Machine m;
    const string product = SetUpMachine(c, temp, &m);
    ScopedKey appDefaults(HKEY_CURRENT_USER, kAppDefaults);
    if (c.Has("as 98"))   // Wine reports Windows 98 to uninstall.exe
        SetString(HKEY_CURRENT_USER, kAppDefaults, "Version", "win98");
    Lines steps, seen, args = c.All("args"), held = c.All("held");
    for (const string& step : c.All("win"))
        steps.push_back(m.Placed(step));
    if (steps.empty())   // by default the main dialog to its end, and OK
        steps = {kMainDone};
    const Lines before = m.Facts();
    g_positions.clear();
    DWORD code = 1;
    if (c.Has("in process")) {
        g_restartNeeded = 0;
        g_isNT = 1;
        std::thread driver([&] {
            for (const string& step : steps) {
                if (step == kMainDone && !held.empty())
                    Hold(m, held[0], &seen);
                if (seen.emplace_back(ui::PlayStep(GetCurrentProcessId(), step, kBoundMs)) != step)
                    break;
            }
            for (HWND left : ui::TopLevelWindows(GetCurrentProcessId()))   // ends a dialog left
                PostMessageA(left, WM_COMMAND, IDOK, 0);
        });
        HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, RecordPosition, nullptr,
                                       GetCurrentThreadId());
        ShowMainDialogOn(product);
        UnhookWindowsHookEx(hook);
        driver.join();
        EXPECT_EQ(WaitForSingleObject(g_workerThread, kBoundMs), WAIT_OBJECT_0) << "ends after OK";
        CloseHandle(g_workerThread);
    } else {
        string options = args.size() ? m.Placed(args[0]) : c.All("win").empty() ? "-c" : "";
        code = RunExe(Quoted(product + "uninstall.exe") + " " + options, steps, &seen);
    }
    ui::WaitUntil(NoWinebootRuns, nullptr, kBoundMs);
    if (denied_)
        SetKeyAccess(kUninstall + kTest, "KA");
    SetCurrentDirectoryA(ProgramDir().c_str());
    Lines after = m.Facts();
    if (c.Has("in process") && g_restartNeeded)
        after.push_back("restart-needed");
    for (const string& font : fonts_) {   // put back, its file must leave no table
        bool gone = !FileExists(font);
        WriteFileBytes(font, FontOfItsOwnFamily());
        if (RemoveFontResourceA(font.c_str()))
            after.push_back("font:" + m.Named(font));
        if (gone)
            DeleteFileA(font.c_str());
    }
    fonts_.clear();
    Lines expected, bar;
    for (string line : c.All("=>"))   // "done": what a run to its end takes
        for (std::istringstream words(Replaced(" " + line + " ", " done ", " -@uninstall.log "
                 "-@lang.ini -$UUninstTest\\UninstallString -$UUninstTest\\DisplayName=Demo*App "));
             words >> line;)
            expected.push_back(Expanded(line));
    std::sort(expected.begin(), expected.end());
    for (string word : c.All("bar"))   // a-b: each from a to b
        for (std::istringstream in(word); in >> word;)
            for (int p = atoi(word.c_str()), to = atoi(&word[word.find('-') + 1]); p <= to; ++p)
                bar.push_back(std::to_string(p));
    for (const string& step : held)
        steps.insert(std::find(steps.begin(), steps.end(), kMainDone), step);
    EXPECT_EQ(testing::PrintToString(Changes(before, after)), testing::PrintToString(expected));
    EXPECT_EQ(code, 1u) << "the exit code";
    EXPECT_EQ(seen, steps);
    EXPECT_EQ(bar.empty() ? bar : g_positions, bar);
    Release(m);
    // A run that did not end would cost every later case the whole bound: the first ends all.
    ASSERT_NE(code, DWORD(STILL_ACTIVE)) << "uninstall.exe did not end";
}

// What a run held, and what later cases and tests must not find.
void Runs::Release(const Machine& m)
{
    for (HANDLE lock : locks_)
        CloseHandle(lock);
    locks_.clear();
    for (const string& file : m.watched)
        SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL), DeleteFileA(file.c_str());
}

TEST_F(Runs, Scenarios)
{
    const std::vector<Case> cases = ReadCases();
    ASSERT_GT(cases.size(), 1u) << "scenarios.txt not read";
    for (auto c = cases.begin() + 1; c != cases.end(); ++c) {
        SCOPED_TRACE(c->name);
        Play(*c);
        if (HasFatalFailure())
            return;
    }
}

// DLLs planted beside uninstall.exe, searched there first: it loads none but those Wine loads
// into any program that restricts its search; a logged module still gets the DLL beside it.
TEST_F(Runs, LoadsNoDllPlantedBesideIt)
{
    TempDir temp("dll");
    Machine m;
    const string dir = SetUpMachine({"", {{"module", "@bin\\ext.dll"}, {"log", "@demo.exe"},
                                          {"log", "%@bin\\ext.dll"}}}, temp, &m);
    const string exe = dir + "uninstall.exe", module = dir + "bin\\ext.dll";
    const string any = temp / "any-", own = temp / "own-";
    const string order = kAppDefaults + "\\DllOverrides";
    ScopedKey orderKey(HKEY_CURRENT_USER, order);
    const struct { string name; bool loadedIntoAny; } cases[] = {
        {"comctl32", false}, {"shlwapi", false}, {"uxtheme", true}, {"version", true},
    };
    for (const auto& c : cases)
        ASSERT_TRUE(CopyBuilt("planted_module.dll", dir + c.name + ".dll") &&
                    SetString(HKEY_CURRENT_USER, order, c.name.c_str(), "native,builtin"));
    SetEnvironmentVariableA("PLANTED_MARKERS", any.c_str());   // inherited by the runs
    ASSERT_TRUE(CopyBuilt("restricted_program.exe", exe));   // in uninstall.exe's place
    Lines seen;
    ASSERT_EQ(RunExe(Quoted(exe), {}, &seen), 0u) << "the careful program made no control";
    SetEnvironmentVariableA("PLANTED_MARKERS", own.c_str());
    ASSERT_TRUE(CopyBuilt("uninstall.exe", exe));
    EXPECT_EQ(RunExe(Quoted(exe) + " -C", {kMainDone}, &seen), 1u);
    EXPECT_EQ(seen, Lines{kMainDone});
    SetEnvironmentVariableA("PLANTED_MARKERS", nullptr);
    EXPECT_FALSE(FileExists(module) || FileExists(dir + "demo.exe")) << "left in place";
    EXPECT_EQ(ReadFileOrEmpty(temp / "unregistered"), "unregistered\n");
    for (const auto& c : cases)
        EXPECT_FALSE(FileExists(own + c.name + ".dll") &&
                     !(c.loadedIntoAny && FileExists(any + c.name + ".dll")))
            << c.name << ".dll planted beside uninstall.exe was loaded";
}

// A plan step's target as the machine's facts name it.
string PlannedFact(const Machine& m, const PlanStep& step)
{
    const string kind = step.kind;
    string target = Replaced(step.target, "\\\\", "\\");
    if (kind == "program")   // the file its last argument names, which it writes
        target = target.substr(target.rfind(' ') + 1);
    else if (kind == "directory" || kind == "key")   // the climb may keep a final backslash
        target = target.substr(0, target.find_last_not_of('\\') + 1) + "\\";
    return m.Named(kind == "ini" ? "sys:" + Replaced(target, "] ", "]") : target);
}

// dir's log, clean to the shipped checker (lang.ini aside), planned, then undone with -C through
// steps: the machine after shows every step of the plan. Returns the plan's kinds and actions.
string Runs::UndoneAsPlanned(const Machine& m, const string& dir, const Lines& steps)
{
    Lines seen;
    const string check = Quoted(ProgramDir() + "uninstall-check.exe") + " --plan --ignore path-"
                         "spelling --ignore text-missing " + Quoted(dir.substr(0, dir.size() - 1));
    EXPECT_EQ(RunExe(check, {}, &seen), 0u)
        << "the shipped checker finds nothing, and plans";
    std::vector<PlanStep> plan;
    const char* reason = "";
    EXPECT_TRUE(PlanLog((dir + "uninstall.log").c_str(), [](const PlanStep& step, void* all) {
        static_cast<std::vector<PlanStep>*>(all)->push_back(step);
    }, &plan, &reason)) << reason;
    const Lines before = m.Facts();
    EXPECT_EQ(RunExe(Quoted(dir + "uninstall.exe") + " -C", steps, &seen), 1u);
    EXPECT_EQ(seen, steps);
    string changes = "\n", actions;   // a line each, without places in the pending list
    for (const string& change : Changes(before, m.Facts()))
        changes += (change.compare(0, 8, "+pending") ? change
                    : "+pending" + change.substr(change.find(':'))) + "\n";
    Release(m);
    for (const PlanStep& step : plan) {
        const string action = step.action, fact = PlannedFact(m, step);
        actions += string(step.kind) + ":" + action + " ";
        const string sign = action == "at-restart" ? "+pending:" : action == "run" ? "+" : "-";
        const string line = "\n" + sign + fact;   // with or without its data
        bool shown = changes.find(line + "\n") != string::npos ||
                     changes.find(line + "=") != string::npos;
        // none: nothing there, or gone by an earlier entry
        EXPECT_TRUE(action == "none" || shown == (action != "keep"))
            << step.kind << " " << step.target << ": " << action << changes;
    }
    return actions;
}

// Logs from UninstallLogWriter, undone as planned. First one with every kind of entry, a doubled
// backslash (put in after the writer, which refuses it), a locked file and a read-only folder;
// then random ones: a few here, UNDO_ROUNDS of them from scripts/fuzz.
TEST_F(Runs, WrittenLogsUndoneAsPlanned)
{
    TempDir temp("plan");
    Machine m;
    Case c{"", {{"put", "$TA\\B\\Value=x"}, {"shared", "$Suninstcheck.dll=#2"},
                {"readonly", "@ro.txt"}, {"put", "@locked.dat"}, {"lock", "@locked.dat"},
                {"put", "@data\\map.dat"}, {"put", "@data\\more.dat"}, {"put", "@rodir\\r.dat"},
                {"put", "@m.dll"}, {"put", "@fonts\\f.ttf"}}};
    const string dir = SetUpMachine(c, temp, &m), logPath = dir + "uninstall.log";
    SetFileAttributesA((dir + "rodir").c_str(), FILE_ATTRIBUTE_READONLY);
    UninstallLogWriter log;
    bool written = log.Open(logPath.c_str()) && log.Header("Demo App", kTest.c_str(), "English");
    for (const char* file : {"@data\\map.dat", "@data\\more.dat", "@rodir\\r.dat", "@locked.dat",
                             "@ro.txt", "@gone.txt", "$Suninstcheck.dll"})
        written = written && log.File(m.Placed(file).c_str());
    ASSERT_TRUE(written && log.SelfRegisteringModule(m.Placed("@m.dll").c_str()) &&
                log.Font(m.Placed("@fonts\\f.ttf").c_str()) &&
                log.IniLine("uninsttest", "wave", "demo.drv") &&
                log.RegistryValue(m.Placed("$TMissing").c_str()) &&
                log.RegistryValue(m.Placed("$TA\\B\\Value").c_str()) &&
                log.Program(m.Placed("$E --program ^ran").c_str(), temp.Path().c_str()) &&
                log.Close()) << log.Error();
    string text = ReadFileOrEmpty(logPath);
    WriteFileBytes(logPath, text.replace(text.find("data\\more.dat"), 4, "data\\"));
    EXPECT_EQ(UndoneAsPlanned(m, dir, {kMainDone, "Restart|* > No"}),
              "file:delete file:delete directory:remove file:delete directory:remove "
              "file:at-restart file:delete file:at-restart file:keep module:delete font:delete "
              "directory:remove ini:remove-line registry:none registry:delete key:remove "
              "key:remove program:run ");

    static const char* const kNames[] = {"a", "B", "data", "x.dll", "f.txt", "100% Tools", "sub"};
    const char* rounds = getenv("UNDO_ROUNDS");
    std::mt19937 random(24);   // the same logs every run
    auto name = [&] { return string(kNames[random() % (sizeof kNames / sizeof *kNames)]); };
    for (int round = 0, count = rounds ? atoi(rounds) : 3; round < count; ++round) {
        TempDir temp("undo");
        Machine m;
        const string dir = SetUpMachine({}, temp, &m);
        ASSERT_TRUE(log.Open((dir + "uninstall.log").c_str()) &&
                    log.Header("Demo App", kTest.c_str(), "English")) << log.Error();
        for (int entry = 0; entry < 12; ++entry) {
            string parent = dir;
            for (int depth = random() % 3; depth > 0; --depth)
                parent += name() + "\\";
            string path = parent + name(), key = kTest + "\\" + name();
            const char* file = path.c_str();
            int kind = random() % 4;
            if (kind == 0 && log.RegistryValue(("HKEY_CURRENT_USER\\" + key + "\\V").c_str()))
                SetString(HKEY_CURRENT_USER, key, "V", "x");
            else if (kind > 0 && (kind == 1   ? log.File(file)
                                  : kind == 2 ? log.Font(file) : log.SelfRegisteringModule(file)))
                MakeDirectories(parent), WriteFileBytes(path, "x");
        }
        ASSERT_TRUE(log.Close()) << log.Error();
        UndoneAsPlanned(m, dir, {kMainDone});
    }
}

// A logged module is unregistered wherever a plain load finds the DLL it imports, except beside
// uninstall.exe; a relative path is taken from the current directory. A logged program loads
// DLLs from its working directory. @ stands for the product's directory.
TEST_F(Runs, LoggedModulesAndProgramsSearchDllsAsPlainLoads)
{
    TempDir onPath("path");
    char oldPath[4096] = "";
    GetEnvironmentVariableA("PATH", oldPath, sizeof oldPath);
    SetEnvironmentVariableA("PATH", (string(oldPath) + ";" + onPath.Path()).c_str());
    const struct { string dependency, entry; bool unregistered; } cases[] = {
        {"@bin\\", "%bin\\ext.dll", true}, {onPath.Path(), "%@bin\\ext.dll", true},
        {WindowsDir() + "\\", "%@bin\\ext.dll", true}, {"@", "%@bin\\ext.dll", false},
    };
    for (const auto& c : cases) {
        TempDir temp("search");
        Machine m;
        const string dir = SetUpMachine({"", {{"log", c.entry}, {"log", ";$E --load \"^loaded\" "
            "workdir.dll"}, {"log", ";@bin\\"}, {"log", ";x"}}}, temp, &m), bin = dir + "bin\\";
        const string dependency = m.Placed(c.dependency) + "planted_module.dll";
        ASSERT_TRUE(MakeDirectories(bin) && CopyBuilt("selfreg_module.dll", bin + "ext.dll") &&
                    CopyBuilt("planted_module.dll", dependency) &&
                    CopyBuilt("planted_module.dll", bin + "workdir.dll"));
        SetCurrentDirectoryA(dir.c_str());
        Lines seen;
        EXPECT_EQ(RunExe(Quoted(dir + "uninstall.exe") + " -C", {kMainDone}, &seen), 1u);
        SetCurrentDirectoryA(ProgramDir().c_str());
        EXPECT_EQ(ReadFileOrEmpty(temp / "unregistered"), c.unregistered ? "unregistered\n" : "")
            << c.dependency;
        EXPECT_EQ(ReadFileOrEmpty(temp / "loaded"), "loaded") << "its working directory's DLL";
        DeleteFileA(dependency.c_str());
    }
    SetEnvironmentVariableA("PATH", oldPath);
}

// However the list is shaped, only the path's own pairs leave it, and a value that is no list
// stays as it was. Rows: the value's type (0: none) and data, then its data afterwards.
TEST(Removal, PendingListsOfAnyShapeKeepOtherPairs)
{
    SavedValue saved(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
    g_isNT = 1;
    const string own = "\\??\\C:\\App\\x.dll\0\0"s, mixed = own + "\\??\\C:\\O\0!\\??\\C:\\N\0\0"s;
    string many;   // more than any buffer of the program
    while (many.size() < 70000)
        many += "\\??\\C:\\Other\\" + std::to_string(many.size()) + "\0\0"s;
    const struct { DWORD type; string data, after; } rows[] = {
        {0, "", "none"}, {REG_SZ, mixed, mixed}, {REG_BINARY, mixed, mixed},   // no lists
        {REG_MULTI_SZ, "", ""}, {REG_MULTI_SZ, "\0"s, "\0"s},
        {REG_MULTI_SZ, own + "C:\\Other\0"s, "C:\\Other\0"s},   // no final ""
        {REG_MULTI_SZ, many + own + '\0', many + '\0'},
    };
    for (const auto& r : rows) {
        DeleteValueForTest(HKEY_LOCAL_MACHINE, kSessionManager, kPending);
        ASSERT_TRUE(!r.type ||
                    SetBinary(HKEY_LOCAL_MACHINE, kSessionManager, kPending, r.type, r.data));
        WithdrawPendingRemoval("C:\\App\\x.dll");
        string data = "none";
        DWORD type = 0;
        GetValue(HKEY_LOCAL_MACHINE, kSessionManager, kPending, &data, &type);
        EXPECT_EQ(std::to_string(type) + ":" + data, std::to_string(r.type) + ":" + r.after)
            << r.data.substr(0, 40);
    }
}

// A failure on the way leaves the file as it was or replaced by its complete copy, never a copy
// beside it; text a copy would not keep (behind a Ctrl-Z, a NUL in a line) stays as it was.
TEST(IniLine, WholeEqualLinesGoFromTheSectionOnlyAndFailuresLoseNothing)
{
    TempDir dir("ini");
    const string ini = dir / "test.ini", x1500(1500, 'x'), full = dir / "full.ini";
    const string p259 = dir.Path() + string(259 - dir.Path().size(), 'p');
    ASSERT_TRUE(StartUnixShell("cd '" + UnixPath(dir.Path()) + "' && ln -s /dev/full full.ini_" +
                               " && touch linked"));
    string linked = dir / "linked";
    ASSERT_TRUE(ui::WaitUntil(FileIsThere, &linked[0], kBoundMs)) << "the link was not made";
    enum Failure { kNone, kCopyIsDirectory, kLocked, kReadShared, kReadOnly, kGone };
    const string boot = "[boot]\r\nkey=value\r\nother=1\r\n", less = "[boot]\r\nother=1\r\n\r\n";
    // expected: the file afterwards, or empty when it must stay as it was.
    const struct { string bytes, expected, path = ""; Failure failure = kNone; } cases[] = {
        {"key=value\r\n[boot]\r\nkey=value\r\nother=1\r\nKEY=Value\r\n[drivers]\r\nkey=value\r\n"
         "[BOOT]\r\nkey=value\r\nlast=2\r\n",
         "key=value\r\n[boot]\r\nother=1\r\n[drivers]\r\nkey=value\r\n[BOOT]\r\nlast=2\r\n\r\n"},
        {"[boot]\r\n" + x1500 + "\r\nkey=value\r\nz=9",   // no line end at the end
         "[boot]\r\n" + x1500.substr(0, 1023) + "\r\n" + x1500.substr(1023) + "\r\nz=9\r\n"},
        {"[boot]\r\nKEY=Value\r\nother=1\r\n", less},   // the only one, in any case
        {boot, "", p259},   // a copy's path cut to fit would be the file's
        {boot, "", full}, {boot, "", "", kCopyIsDirectory}, {boot, "", "", kLocked},
        {boot, "", "", kReadShared}, {boot, "", "", kReadOnly}, {boot, less, "", kGone},
        {boot + "\x1A", less}, {boot + "\x1A[x]\r\n", ""}, {boot + string(1, '\0'), ""},
    };
    for (const auto& c : cases) {
        const string path = c.path.empty() ? ini : c.path, copy = path + "_";
        g_restartNeeded = 0;
        ASSERT_TRUE(WriteFileBytes(path, c.bytes)) << path;
        const DWORD share = c.failure == kLocked ? 0 : FILE_SHARE_READ;
        HANDLE lock = c.failure == kLocked || c.failure == kReadShared
            ? CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr)
            : nullptr;
        if (c.failure == kCopyIsDirectory)
            CreateDirectoryA(copy.c_str(), nullptr);
        SetFileAttributesA(path.c_str(), c.failure == kReadOnly ? FILE_ATTRIBUTE_READONLY : 0);
        g_beforeIniReplace = c.failure == kGone ? +[](const char* f) { DeleteFileA(f); } : nullptr;
        RemoveIniLine("boot", "key=value", path.c_str());
        if (lock)
            CloseHandle(lock);
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(ReadFileOrEmpty(path) + std::to_string(g_restartNeeded),
                  c.expected.empty() ? c.bytes + "0" : c.expected + "1")
            << "failure " << c.failure << ": " << c.bytes.substr(0, 60);
        EXPECT_FALSE(FileExists(copy)) << "a copy was left: " << path;
        RemoveDirectoryA(copy.c_str());
    }
    g_beforeIniReplace = nullptr;
}

// An installation directory with lang.ini and the language chosen as start-up does: its path
// macros and texts. The system-file question and the language dialog are played in runs.
TEST(Installation, MacrosAndTexts)
{
    TempDir dir("lang");
    g_instance = GetModuleHandleA(nullptr);
    BufSet(g_installDir, sizeof g_installDir, dir.Path().c_str());
    BufSet(g_macroDir, sizeof g_macroDir, "D:\\Copy\\");
    BufSet(g_productName, sizeof g_productName, "Demo App");
    BufSet(g_productKey, sizeof g_productKey, "DemoApp");
    ASSERT_TRUE(WriteFileBytes(dir / "lang.ini", "[English]\r\nstr72=Remove %p from %d?\\n%%\r\n"
                               "reglang=en\r\n"));
    ASSERT_EQ(ChooseLanguage("lang.ini", "", "English"), 1);
    const string system = SystemDir() + "\\";
    // The user's Program Files value, which comes before the machine's, is the test's own.
    ASSERT_TRUE(SetString(HKEY_CURRENT_USER, kVersion, "ProgramFilesDir", "U:\\User"));
    struct { char path[kPathSize]; string expanded; } macros[] = {
        {"%w\\WININIT.INI", WindowsDir() + "\\WININIT.INI"}, {"%S\\|%s\\", system + "|" + system},
        {"%I\\uninstall.log", dir.Path() + "uninstall.log"}, {"%f\\bin", "D:\\Copy\\bin"},
        {"%D %L", "DemoApp " + kNotFound}, {"a%C%U%%%xb", "a%b"}, {"%p\\App", "U:\\User\\App"},
    };
    for (auto& m : macros) {
        ExpandPathMacros(m.path, sizeof m.path);
        EXPECT_EQ(m.path, m.expanded);
    }
    DeleteValueForTest(HKEY_CURRENT_USER, kVersion, "ProgramFilesDir");

    char text[64] = "";
    GetLangString(72, sizeof text, text);
    EXPECT_STREQ(text, "Remove Demo App from D:?\n");
    GetLangString(74, 12, text);
    EXPECT_EQ(text + string(text + 12), kNotFound.substr(0, 11) + "App from D:?\n");
}

// Reports, played by this program as a probe.
const char kFile[] = "probe.cpp";
const unsigned kLine = 4242;

// The probe's command line: --probe SCENE EXITCODE OPERATION ROW FIRST SECOND.
struct {
    string scene; int exitCode; char operation; unsigned row; const char *first, *second;
} g_probe;

// Raises the probe's operation, then overwrites its texts: a report must keep copies.
void Raise(int code, string first, string second)
{
    const char *text = first.c_str(), *text2 = second.c_str();
    SetLastError(ERROR_ACCESS_DENIED);
    switch (g_probe.operation) {
    case 'E': EndProgram(kFile, kLine, code); break;
    case 'T': ReportError(kFile, kLine, code, g_probe.row, text); break;
    case 'N': ReportError(kFile, kLine, code, g_probe.row, atoi(text), atoi(text2)); break;
    case 'S': ReportSystemError(kFile, kLine, code, g_probe.row, text, atoi(text2)); break;
    case 'L': ReportLastError(kFile, kLine, code, g_probe.row, text, text2); break;
    }
    first.assign(first.size(), 'X');
    second.assign(second.size(), 'X');
}

// From a worker: the report and a later one, to be dropped.
DWORD WINAPI RaiseTwice(LPVOID)
{
    Raise(g_probe.exitCode, g_probe.first, g_probe.second);
    Raise(g_probe.exitCode, "late", "late");
    return 0;
}

// Destroyed after the run's own objects: a report while closing returns; logs a live timer.
struct ExitRecorder {
    ~ExitRecorder()
    {
        if (g_probe.scene != "closing")
            return;
        ReportError(kFile, kLine, kErrorExitCode, 79, "at exit");
        LogWrite(KillTimer(nullptr, g_handOverTimer) ? "timer\n" : "");
    }
} g_exitRecorder __attribute__((init_priority(101)));

const string kHeader = "\n\n---- Log started <stamp>\n", kDone = "log done ok: <stamp>\n";
const string kLocation = "\nFile: probe.cpp; Line: 4242\n";

string SystemText(DWORD code)
{
    char text[1024] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, code, 0, text, sizeof text, nullptr);
    return string(text, strcspn(text, "\r\n"));
}

// The file, removed, with stamps as <stamp>, CR LF as \n and bare LF as <LF>.
string TakeLog(const string& path)
{
    string log = ReadFileOrEmpty(path);
    DeleteFileA(path.c_str());
    std::regex stamp("(started |chyba: |ok: ).*[0-9], .*[0-9]:[0-9].* \\(t=[0-9]+\\)");
    log = std::regex_replace(std::regex_replace(log, stamp, "$1<stamp>"), std::regex("\n"), "<LF>");
    return std::regex_replace(log, std::regex("\r<LF>"), "\n");
}

// The probe inherits TEMP set to temp, or none when null.
void StartProbe(Process* probe, const string& arguments, const char* temp)
{
    char saved[MAX_PATH] = "";
    GetEnvironmentVariableA("TEMP", saved, sizeof saved);
    SetEnvironmentVariableA("TEMP", temp);
    bool started = probe->Start(Quoted(SelfPath()) + " --probe " + arguments + " 0 0 0 0");
    SetEnvironmentVariableA("TEMP", saved);
    ASSERT_TRUE(started);
}

// SCENE: main, closing (reports again at exit) or twice (from a worker).
int RunProbe(char** argv)
{
    g_probe = {argv[2], atoi(argv[3]), argv[4][0], unsigned(atoi(argv[5])), argv[6], argv[7]};
    CreateWindowExA(0, "STATIC", "report probe", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                    nullptr, nullptr, nullptr, nullptr);
    if (g_probe.scene != "twice") {
        Raise(g_probe.exitCode, g_probe.first, g_probe.second);
        return 100;   // after an operation that raises nothing
    }
    WaitForSingleObject(CreateThread(nullptr, 0, RaiseTwice, nullptr, 0, nullptr), INFINITE);
    for (MSG message; GetMessageA(&message, nullptr, 0, 0) > 0; DispatchMessageA(&message))
        SetLastError(ERROR_FILE_NOT_FOUND);   // the loop's own, never the raiser's
    return 100;
}

TEST(Report, LogsShowsItsBoxOnTheMainThreadAndEndsWithItsCode)
{
    TempDir dir("report");
    const string temp = dir.Path().substr(0, dir.Path().size() - 1);   // no backslash
    const string xs(982, 'x'), scene = "ZKSE: Scene '%s%d%%" + xs.substr(6);   // no format
    const string atExit = "chyba: <stamp>\nZKSE: Scene 'at exit' not found" + kLocation;
    // frame: the box's first words (its severity's), null: no box; log: when not text + location
    const char *fault = "Provedli jste", *system = "Program detekoval";
    const struct { string args; DWORD code; const char* frame; string text, log; } cases[] = {
        {"main 255 N 95 12 -3", 255, fault, "ZKSE: Scene 12 has an invalid state -3", ""},
        {"main 255 S 5 a 2", 255, "", "The file a cannot be opened.\n" + SystemText(2), ""},
        {"main 255 T 79 %s%d%%" + xs + xs, 255, fault, scene + xs, scene + kLocation},   // cut
        {"twice 255 L 354 a D:", 255, system,   // with the worker's last error
         "FILE: Not enough disk space to write a to D: (" + SystemText(5) + ")", ""},
        {"closing 5 T 79 intro", 5, nullptr, "", kDone + atExit},
        {"closing 255 E", 255, nullptr, "", "error" + kLocation + atExit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args.substr(0, 40));
        Process probe;
        StartProbe(&probe, c.args, temp.c_str());
        if (c.frame) {
            string seen;
            HWND window = ui::WaitForRender(probe.Id(), "report probe*", kBoundMs, &seen);
            HWND box = ui::WaitForRender(probe.Id(), "Error|*", kBoundMs, &seen);
            ASSERT_TRUE(box) << seen;
            char text[2048] = "";   // the frame's words, then the message, cut at 1023 in all
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            const string got = text, framed = *c.frame ? "\n\nChyba:\n" : "";
            const size_t body = *c.frame ? got.find(framed) + framed.size() : 0;
            EXPECT_EQ(got.substr(0, strlen(c.frame)), c.frame);
            EXPECT_EQ(got.substr(body), c.text.substr(0, 1023 - body));
            EXPECT_TRUE(IsWindowVisible(GetDlgItem(box, 1088)) && !GetDlgItem(box, IDCANCEL));
            EXPECT_EQ(GetWindowThreadProcessId(box, nullptr),
                      GetWindowThreadProcessId(window, nullptr)) << "not on the main thread";
            EXPECT_FALSE(IsWindowEnabled(window)) << "the box is not task-modal";
            ui::Press(box, "OK");
        }
        EXPECT_EQ(probe.Wait(kBoundMs), c.code);
        EXPECT_EQ(TakeLog(dir / "zkal.log"), kHeader + (c.log.size() ? c.log : c.text + kLocation));
    }
    // No usable TEMP: c:\temp\, made at start-up. After a lost entry, the next starts the log.
    ASSERT_FALSE(DirectoryExists("c:\\temp"));
    for (const char* temp : {(const char*)nullptr, "", xs.c_str() + xs.size() - 251}) {
        Process probe;
        StartProbe(&probe, temp ? "main 7 E" : "main 0 -", temp);
        EXPECT_EQ(probe.Wait(kBoundMs), temp ? 7u : 100u);
        EXPECT_TRUE(DirectoryExists("c:\\temp"));
    }
    EXPECT_EQ(TakeLog("c:\\temp\\zkal.log"), kHeader + kDone + kHeader + kDone) << "runs append";
    RemoveTree("c:\\temp");
    BufSet(g_logDirectory.path, sizeof g_logDirectory.path, (dir / "later\\").c_str());
    LogDone();
    ASSERT_TRUE(MakeDirectories(dir / "later"));
    LogDone();
    EXPECT_EQ(TakeLog(dir / "later\\zkal.log"), kHeader + kDone);
}

}  // namespace

int main(int argc, char** argv)
{
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const char* options = strchr(GetCommandLineA() + 1, ' ');
    if (strstr(self, "wineboot")) {   // in wineboot's place: writes down what was asked
        // ExitWindowsEx does not wait for wineboot, and two appends at once can lose a line.
        WaitForSingleObject(CreateMutexA(nullptr, FALSE, "restart record"), kBoundMs);
        std::ofstream(getenv("RESTART_RECORD"), std::ios::app | std::ios::binary)
            << (options ? options + 1 : "") << "\n";
        return 0;
    }
    string mode = argc > 2 ? argv[1] : "";
    if (mode == "--restart") {   // OUT: the shutdown privilege's state before and after
        int before = ShutdownPrivilegeState();
        RestartWindows();
        std::ofstream(argv[2]) << before << ShutdownPrivilegeState();
        return 0;
    }
    if (mode == "--probe" && argc > 7)   // SCENE EXITCODE OPERATION ROW FIRST SECOND
        return RunProbe(argv);
    if (mode == "--load" && argc > 3)   // OUT DLL: whether a plain load finds DLL
        return !WriteFileBytes(argv[2], LoadLibraryA(argv[3]) ? "loaded" : "missing");
    if (mode == "--program") {   // OUT [SIGNAL]: stands for a logged program
        WriteFileBytes(argv[2], "");
        return argc < 4 || ui::WaitUntil(FileIsThere, argv[3], kBoundMs) ? 0 : 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
