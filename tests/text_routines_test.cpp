// Text routines without Windows, under the sanitizers: outputs go into heap buffers of exact size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "diag/message_table.h"
#include "text/linefile.h"
#include "engine/pending_list.h"
#include "language/text_escapes.h"
#include "paths/macro_text.h"
#include "registry/registry_path.h"
#include "shell/cmdline_tokens.h"
#include "text/buf.h"
#include "text/path_list.h"
#include "text/path_split.h"
#include "logtools/log_check.h"
#include "logtools/uninstall_log_writer.h"

using std::string;
using namespace std::placeholders;

// What fill(buffer, size) leaves in a '#'-filled buffer of size bytes; " (false)" when it fails.
template <typename Fill>
string Into(size_t size, Fill fill)
{
    // The sanitizer does not watch empty blocks: size 0 gets one byte that must stay '#'.
    std::vector<char> buffer(size + !size, '#');
    bool whole = fill(&buffer[0], size);
    string text = strnlen(&buffer[0], size) < size ? &buffer[0] : size ? "<unterminated>" : "";
    return text + (size || buffer[0] == '#' ? "" : "<written>") + (whole ? "" : " (false)");
}

TEST(BoundedCopies, CutAtSizeMinusOneNeverPastUpperCaseAsciiOnly)
{
    // S: BufSet(b); A: BufAppend(b) to a; F: BufFormat("%s=%s", a, b); D: the directory part
    // of b, up to the last separator or the drive; P: the entry of list b after strlen(a) ones.
    const struct { char op; size_t size; const char *a, *b, *text; } rows[] = {
        {'S', 4, "", "abc", "abc"}, {'S', 3, "", "abc", "ab (false)"}, {'S', 0, "", "", " (false)"},
        {'A', 5, "ab", "cde", "abcd (false)"}, {'A', 3, "ab", "", "ab"},
        {'A', 2, "ab", "c", "<unterminated> (false)"},   // nowhere to append
        {'F', 6, "ab", "cd", "ab=cd"}, {'F', 5, "ab", "cd", "ab=c (false)"},
        {'D', 9, "", "C:/a/b", "C:/a/"}, {'D', 9, "", "C:f.txt", "C:"}, {'D', 9, "", "f.txt", ""},
        {'P', 7, "", ";;C:\\Long;;D:\\B;", ""}, {'P', 7, "1", ";;C:\\Long;;D:\\B;", "D:\\B"},
        {'P', 7, "12", ";;C:\\Long;;D:\\B;", "D:\\B (false)"},   // a cut entry comes back empty
    };
    for (const auto& r : rows)
        EXPECT_EQ(Into(r.size, [&](char* out, size_t size) {
            const char* list = r.b;
            for (size_t skip = strlen(r.a); r.op == 'P' && skip--;)
                NextPathListEntry(&list, out, size);
            return r.op == 'P'   ? NextPathListEntry(&list, out, size)
                   : r.op == 'S' ? BufSet(out, size, r.b)
                   : r.op == 'A' ? BufAppend(strncpy(out, r.a, size), size, r.b)
                   : r.op == 'D' ? CopyDirectoryPart(r.b, out, size)
                                 : BufFormat(out, size, "%s=%s", r.a, r.b);
        }), r.text) << r.op << " size " << r.size << " " << r.b;
    char text[] = "az@[`{\xe9 AZ09z";
    BufUpperAscii(text);
    EXPECT_STREQ(text, "AZ@[`{\xe9 AZ09Z");
}

TEST(ShellText, CommandLineTokens)
{
    const string x400(400, 'x'), x259(259, 'x');
    // Only spaces separate; quotes group and vanish; a token is cut at 259 characters.
    const struct { string line, tokens; int stopAfter = 100; } rows[] = {
        {"  a\tb  c ", "[a\tb][c]"}, {"\"D:\\Demo App\" -C \"\"", "[D:\\Demo App][-C][]"},
        {"x -U\"Demo App\" y", "[x][Demo App]", 2},   // text before a quote is dropped; stop at 2
        {"x \"D:\\open ended", "[x][D:\\open ended]"}, {"a " + x400 + " b", "[a][" + x259 + "][b]"},
    };
    for (const auto& r : rows) {
        std::pair<string, int> got{"", r.stopAfter};
        SplitCommandLine(r.line.c_str(), [](const char* token, void* context) {
            auto& [tokens, left] = *static_cast<std::pair<string, int>*>(context);
            return tokens += "[" + string(token) + "]", --left > 0;
        }, &got);
        EXPECT_EQ(got.first, r.tokens) << r.line.substr(0, 60);
    }
}

TEST(SplitRegistryPath, RootCaseSeparatorLastBackslashAndLimits)
{
    const string cu = "HKEY_CURRENT_USER\\", v99(99, 'v'), k923(923, 'k');   // 923+1+99 = 1023
    const std::pair<string, string> rows[] = {   // the roots in table order first
        {"HKEY_CLASSES_ROOT\\K\\V", "0|K|V"}, {"HKEY_LOCAL_MACHINE\\K\\V", "3|K|V"},
        {"HKEY_DYN_DATA\\K\\V", "6|K|V"}, {"HKEY_DYN_DATA", "-1||"}, {"hkey_users\\K\\V", "-1||"},
        {cu + "Word", "2||Word"}, {cu + "Software\\Demo\\", "2|Software\\Demo|"},
        {cu + k923 + "\\" + v99, "2|" + k923 + "|" + v99}, {cu + k923 + "k\\" + v99, "-1||"},
        {cu + "Key\\" + v99 + "v", "-1||"},
    };
    for (const auto& [path, split] : rows) {
        std::vector<char> key(kRegRemainderSize, '#'), name(kRegValueNameSize, '#');
        int root = SplitRegistryPath(path.c_str(), key.data(), name.data());
        EXPECT_EQ(std::to_string(root) + "|" + key.data() + "|" + name.data(), split) << path;
    }
    for (const char* name : {"(default)", "(DeFaulT)", "default", "(default) "})
        EXPECT_EQ(IsDefaultValueName(name), strlen(name) == 9) << name;
}

TEST(WithdrawPairsFromList, PairsOfThePathGoOthersStay)
{
    // Lists written with | for each string's terminator. Only ASCII letters ignore case.
    const string x = "\\??\\C:\\App\\x.dll", xy = x + "||\\??\\C:\\App\\y.dll|||";
    const struct { string data, path, result; } rows[] = {
        {x + "||\\??\\C:\\O\\old|!\\??\\C:\\O\\new|" + x + "||" + x + "||\\??\\C:\\t|||",
         "C:\\App\\x.dll", "changed:\\??\\C:\\O\\old|!\\??\\C:\\O\\new|\\??\\C:\\t|||"},
        {xy, "C:\\App\\x.dl", "same:" + xy}, {xy, "C:\\App\\x.dll.bak", "same:" + xy},
        {"\\??\\c:\\my app\\x.dll|||", "C:\\MY APP\\X.DLL", "changed:|"},
        {"\\??\\C:\\Caf\xe9\\x|||", "C:\\CAF\xc9\\X", "same:\\??\\C:\\Caf\xe9\\x|||"},
        {x + "||\\\\server\\f.dat||" + x + "|||", "C:\\App\\x.dll",   // no colon: the walk ends
         "changed:\\\\server\\f.dat||" + x + "|||"},
    };
    for (const auto& r : rows) {
        std::vector<char> data(r.data.begin(), r.data.end());
        std::replace(data.begin(), data.end(), '|', '\0');
        bool changed = true;
        size_t size = WithdrawPairsFromList(data.data(), data.size(), r.path.c_str(), &changed);
        string result = (changed ? "changed:" : "same:") + string(data.data(), size);
        std::replace(result.begin(), result.end(), '\0', '|');
        EXPECT_EQ(result, r.result) << r.data.substr(0, 40) << " less " << r.path;
    }
}

TEST(Expansions, PathMacrosBackslashRunsAndTextEscapes)
{
    // M: path macros (W and R give a text), each letter looked up once, upper-cased, not scanned
    // again. T: text escapes of product, drive, "1" and a line break, matched with case.
    const MacroLookup LookUpMacro = [](char letter, char* out, size_t, void* lettersAsked) {
        *static_cast<string*>(lettersAsked) += letter;
        strcpy(out, letter == 'W' ? "C:\\WINDOWS" : letter == 'R' ? "%W%%" : "");
    };
    const struct { char op; const char *in, *out, *dir = "", *product = ""; } rows[] = {
        {'M', "[%w][%R]", "[C:\\WINDOWS][%W%%] asked WR"}, {'M', "100%%%%W%", "100%%W asked "},
        {'M', "a%xb%5c% d%\xe9", "abcd asked X5 \xe9"},
        {'T', "Remove '%p'?\\nOn %d (%n)", "Remove 'Demo'?\nOn D: (1)", "D:\\Games\\X\\", "Demo"},
        {'T', "%d!", "C!", "C"}, {'T', "a%Pb 100%% sure %", "ab 100 sure ", "C:\\", "Demo"},
        {'T', "C:\\x \\N end\\", "C:\\x \\N end\\"}, {'T', "%p", "50%p\\n", "C:\\", "50%p\\n"},
    };
    for (const auto& r : rows) {
        string letters = r.op == 'M' ? " asked " : "";
        string text = Into(260, [&](char* out, size_t size) {
            return r.op == 'M' ? ExpandMacroText(r.in, out, size, LookUpMacro, &letters)
                               : ExpandTextEscapes(out, size, r.in, r.dir, r.product), true;
        });
        EXPECT_EQ(text + letters, r.out) << r.in;
    }
    string runs = "C:\\X\\\\uninstall.log|\\\\server\\\\\\s\\|a\\b\\\\";
    CollapseBackslashRuns(&runs[0]);
    EXPECT_STREQ(runs.c_str(), "C:\\X\\uninstall.log|\\server\\s\\|a\\b\\");
}

TEST(Messages, RowsArgumentsBoxTextAndTheTable)
{
    // A row and its arguments in order: a number fills %s in decimal, a text fills %u as text.
    const struct { unsigned number; std::vector<MessageArg> args; const char* text; } rows[] = {
        {76, {{nullptr, -1}}, "1ZKSS_JR: Job 4294967295 started twice"},
        {336, {{nullptr, 5}, {nullptr, -7}}, "1GAME_JR: Task 5 returned -7"},
        {79, {{nullptr, 42}}, "1ZKSE: Scene '42' not found"},
        {420, {}, "1Message number 420 is not in the table"}, {0, {}, "3"},   // row 0: no message
        {5, {{"a.dat", 0}}, "3The file a.dat cannot be opened.\n%s"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Into(1024, bind(BuildMessage, _1, _2, r.number, r.args.data(), r.args.size())),
                  r.text) << "row " << r.number;
    // The box text: the template of the severity digit around the message, in code page 1250.
    const struct { const char* message; string text; size_t size = 1024; } boxes[] = {
        {"4a %s", "Program je \x9Apatn\xEC nainstalov\xE1n.\nPros\xEDm p\xF8" "einstalujte jej."
                  "\n\nChyba:\na %s"}, {"1x", "Provedli jste nestandartn\xED (false)", 27},
        {"3a %s", "a %s"}, {"5odd", "5odd"}, {"3", ""},
        {"2x", "Program detekoval, \x9E" "e (false)", 22},
    };
    for (const auto& r : boxes)
        EXPECT_EQ(Into(r.size, bind(BuildBoxText, _1, _2, r.message)), r.text) << r.message;
    // The table: severities 1 to 4, code page 1250 (no UTF-8 lead byte), %s, %u and %i only.
    for (const char* row : kMessageTable) {
        EXPECT_TRUE(row[0] >= '1' && row[0] <= '4' && !strpbrk(row, "\xC3\xC4\xC5")) << row;
        for (const char* p = strchr(row, '%'); p; p = strchr(p + 1, '%'))
            EXPECT_TRUE(p[1] && strchr("sui", p[1])) << row;
    }
}

TEST(LineFile, ReadAndCountWindowsTextLines)
{
    const string path = ::testing::TempDir() + "text_routines.txt";
    const string x1023(1023, 'x'), x1022(1022, 'x');   // the count reads 1023 characters at a time
    const struct { string bytes; int capacity; string lines; int countAfterFirst; } rows[] = {
        {"a\nb", 260, "[a][b]", 1}, {"a\r\nb\rc\r\n\xC8\xFF\n", 260, "[a][b\rc][\xC8\xFF][]", 3},
        {string("0123456789\nabcd\nx\na\0b\n", 22), 5, "[0123][4567][89][abcd][][x][a][]", 5},
        {x1023 + "\n" + x1022 + "\n", 1024, "[" + x1023 + "][][" + x1022 + "][]", 3},
    };
    for (const auto& r : rows) {
        std::ofstream(path, std::ios::binary) << r.bytes;
        LineFile file;
        file.OpenForReading(path.c_str());
        auto readLine = [&](char* out, size_t size) { return file.ReadLine(out, int(size)), true; };
        string lines = "[" + Into(r.capacity, readLine) + "]";
        EXPECT_EQ(file.CountLines(), r.countAfterFirst) << r.bytes.substr(0, 20);
        for (int i = 0; i < 10 && file.good(); ++i)
            lines += "[" + Into(r.capacity, readLine) + "]";
        EXPECT_EQ(lines, r.lines) << r.bytes.substr(0, 20);
        EXPECT_EQ(Into(8, readLine), "") << "read past the end";
    }
    remove(path.c_str());   // a missing file stays missing
    LineFile file;
    file.OpenForReading(path.c_str());
    EXPECT_TRUE(file.fail()) << "opening for reading made the file";
}

// uninstall-check's findings on the log at logPath, beside a lang.ini with every shown text.
string Findings(const string& logPath)
{
    string langPath = logPath + ".ini", lang = "[English]\r\n", found;
    for (const unsigned* n = kShownTextNumbers; *n; ++n)
        lang += "str" + std::to_string(*n) + "=English text\r\n";
    std::ofstream(langPath, std::ios::binary) << lang;
    EXPECT_TRUE(CheckInstallation(logPath.c_str(), langPath.c_str(), [](const Finding& f, void* to) {
        *static_cast<string*>(to) += f.code + ("@" + std::to_string(f.line) + " ") + f.problem + "\n";
    }, &found));
    return found;
}

// Calls the writer: H header, F file, M module, T font, I INI line, R registry value, P program.
bool Write(UninstallLogWriter& log, char call, string a, string b = "", string c = "")
{
    return call == 'H'   ? log.Header(a.c_str(), b.c_str(), c.c_str())
           : call == 'F' ? log.File(a.c_str()) : call == 'T' ? log.Font(a.c_str())
           : call == 'M' ? log.SelfRegisteringModule(a.c_str())
           : call == 'I' ? log.IniLine(a.c_str(), b.c_str(), c.c_str())
           : call == 'R' ? log.RegistryValue(a.c_str()) : log.Program(a.c_str(), b.c_str());
}

// The writer refuses what the uninstaller could not act on as meant; what it writes passes.
TEST(LogChecker, UninstallLogWriterRefusesWhatWouldNotWork)
{
    const string path = ::testing::TempDir() + "writer.log";
    UninstallLogWriter log;
    EXPECT_FALSE(log.File("C:\\A\\early.txt")) << "before the header";
    ASSERT_TRUE(log.Open(path.c_str()) && log.Header("Demo App", "DemoApp", "English"))
        << log.Error();
    // What must pass, and refusals the random calls below do not prove on their own.
    const struct { char call; bool written; string a, b{}, c{}; } rows[] = {
        {'F', false, "a\\f.txt"}, {'H', false, "Demo App", "DemoApp", "English"},   // a second header
        {'F', true, "C:\\A\\f.txt"}, {'M', true, "C:\\A\\m.dll"}, {'T', true, "\\\\srv\\f\\f.ttf"},
        {'I', true, "drivers", "wave", "demo.drv"}, {'R', true, "HKEY_CURRENT_USER\\V"},
        {'P', true, "\"C:\\A\\r.exe\" /q", "C:\\A\\"}, {'P', true, "C:\\A\\r.exe", ""},
        {'F', false, "c:\\a\\F.TXT"}, {'F', false, "C:\\A"}, {'F', false, "C:\\A\\f.txt\\g"},
        {'M', false, "C:\\" + string(256, 'm')}, {'I', false, "drivers", "a\\b", "v"},
        {'I', false, string(126, 's'), "k", "v"}, {'I', false, "s", "key", string(1020, 'v')},
        {'R', false, "hkey_current_user\\V"}, {'R', false, "HKLM\\S\\V"},
        {'R', false, "HKEY_CURRENT_USER\\" + string(100, 'n')}, {'P', false, "\"C:\\A\\r.exe\""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Write(log, r.call, r.a, r.b, r.c), r.written)
            << r.call << " " << r.a.substr(0, 40) << ": " << log.Error();
    EXPECT_EQ(log.File("C:\\A\\f\tg") ? "" : string(log.Error()).substr(0, 13), "path-control:");
    ASSERT_TRUE(log.Close()) << log.Error();
    EXPECT_FALSE(log.Open((path + "2").c_str()) && log.Close()) << "reopened, no header";
    EXPECT_FALSE(std::ifstream(path + "2")) << "a log without header is left behind";
    string bytes;
    std::getline(std::ifstream(path, std::ios::binary), bytes, '\0');
    EXPECT_EQ(bytes.substr(bytes.size() - 16), "\\A\\r.exe\r\n;\r\n;\r\n") << "CR LF to the end";
    EXPECT_EQ(Findings(path), "");
}

// Random calls from pieces that break one rule or another: every log the writer completes
// is clean to the checker, and the pieces make it refuse some calls and accept others.
TEST(LogChecker, WhatTheWriterAcceptsIsClean)
{
    static const char* const kPieces[] = {"\\", "\\", "/", "..", ".", "%W", "100% ", "a", "B", "=",
        "\t", "[s]", "lang.ini", "system32\\", "x.dll", " /q", "r.exe", "(default)", "\"", ""};
    std::mt19937 random(24);   // the same calls every run
    auto text = [&] {
        string t;
        for (int n = random() % 5; n > 0; --n)
            t += kPieces[random() % (sizeof kPieces / sizeof *kPieces)];
        return t;
    };
    auto path = [&] { return (random() % 4 ? "C:\\" : "") + text(); };
    const string logPath = ::testing::TempDir() + "random.log";
    int accepted = 0, refused = 0;
    for (int round = 0; round < 300; ++round) {
        UninstallLogWriter log;
        log.Open(logPath.c_str());
        if (random() % 8)
            log.Header("Demo App", random() % 8 ? "DemoApp" : text().c_str(), "English");
        for (int n = 0; n < 6; ++n) {
            string a = path(), b = random() % 2 ? path() : text(), c = text(), d = text();
            char call = "FMTIRP"[random() % 6];
            bool written = call == 'I' ? Write(log, call, c, d, b)
                           : call == 'R' ? Write(log, call, "HKEY_CURRENT_USER\\" + c)
                           : Write(log, call, call == 'P' ? a + c : a, random() % 2 ? b : "");
            ++(written ? accepted : refused);
        }
        if (log.Close())
            EXPECT_EQ(Findings(logPath), "");
    }
    EXPECT_GT(accepted, 100);
    EXPECT_GT(refused, 100);
}
