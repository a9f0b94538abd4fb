// Text routines without Windows, under the sanitizers: outputs go into heap buffers of exactly the given size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "diag/message_table.h"
#include "engine/linefile.h"
#include "engine/pending_list.h"
#include "language/text_escapes.h"
#include "paths/macro_text.h"
#include "registry/registry_path.h"
#include "shell/cmdline_tokens.h"
#include "text/buf.h"
#include "text/path_split.h"

using std::string;

// The text that fill leaves in a '#'-filled buffer of size bytes, and " (false)" when it says so.
template <typename Fill>
string Into(size_t size, Fill fill)
{
    std::unique_ptr<char[]> buffer(new char[size + !size]);   // the sanitizer does not watch empty blocks
    bool whole = fill(static_cast<char*>(memset(buffer.get(), '#', size + !size)), size);
    string text = strnlen(buffer.get(), size) < size ? string(buffer.get()) : size ? "<unterminated>" : "";
    return text + (size || buffer[0] == '#' ? "" : "<written>") + (whole ? "" : " (false)");
}

TEST(BoundedBuffers, CutAtSizeMinusOneNeverPastUpperCaseAsciiOnly)
{
    const struct { char op; size_t size; const char *a, *b, *text; } rows[] = {
        // S: BufSet(b); A: BufAppend(b) to a; F: BufFormat("%s=%s", a, b).
        {'S', 4, "", "abc", "abc"}, {'S', 3, "", "abc", "ab (false)"}, {'S', 1, "", "abc", " (false)"},
        {'S', 0, "", "abc", " (false)"}, {'A', 6, "ab", "cde", "abcde"}, {'A', 5, "ab", "cde", "abcd (false)"},
        {'A', 3, "ab", "", "ab"}, {'A', 2, "ab", "c", "<unterminated> (false)"},   // nowhere to append
        {'F', 6, "ab", "cd", "ab=cd"}, {'F', 5, "ab", "cd", "ab=c (false)"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Into(r.size, [&](char* out, size_t size) {
            return r.op == 'S' ? BufSet(out, size, r.b) : r.op == 'F' ? BufFormat(out, size, "%s=%s", r.a, r.b)
                                                                      : BufAppend(strncpy(out, r.a, size), size, r.b);
        }), r.text) << r.op << " size " << r.size;
    char text[] = "az@[`{\xe9 AZ09z";
    EXPECT_STREQ((BufUpperAscii(text), text), "AZ@[`{\xe9 AZ09Z");
}

TEST(ShellText, CommandLineTokensAndDirectoryPart)
{
    const string x400(400, 'x'), x259(259, 'x');
    // Only spaces separate; quotes group and vanish; a token is cut at 259 characters.
    const struct { string line, tokens; int stopAfter = 100; } rows[] = {
        {"  a   b  ", "[a][b]"}, {"    ", ""}, {"a\tb c", "[a\tb][c]"},
        {"\"C:\\Program Files\\u.exe\" \"D:\\Demo App\" -C \"\" \"-UDemo App\"",
         "[C:\\Program Files\\u.exe][D:\\Demo App][-C][][-UDemo App]"},
        {"x -U\"Demo App\"", "[x][Demo App]"},   // text before a quote is dropped
        {"x \"D:\\open ended", "[x][D:\\open ended]"}, {"x \"", "[x][]"},
        {"a b c d", "[a][b]", 2},   // the handler stops the split
        {"a " + x400 + " b", "[a][" + x259 + "][b]"}, {"\"" + x400 + "\" b", "[" + x259 + "][b]"},
    };
    for (const auto& r : rows) {
        std::pair<string, int> got{"", r.stopAfter};
        SplitCommandLine(r.line.c_str(), [](const char* token, void* context) {
            auto* got = static_cast<std::pair<string, int>*>(context);
            return got->first += "[" + string(token) + "]", --got->second > 0;
        }, &got);
        EXPECT_EQ(got.first, r.tokens) << r.line.substr(0, 60);
    }
    // The directory part of a path: up to the last separator or the drive, refused when it does not fit.
    const struct { string path; size_t size; string directory; } paths[] = {
        {"C:\\Games\\Demo App\\map01.dat", 64, "C:\\Games\\Demo App\\"}, {"C:/a/b", 64, "C:/a/"}, {"C:", 64, "C:"},
        {"\\\\server\\share\\f", 64, "\\\\server\\share\\"}, {"C:f.txt", 64, "C:"}, {"file.txt", 64, ""}, {"", 64, ""},
        {"C:\\a\\b", 6, "C:\\a\\"}, {"C:\\a\\b", 5, " (false)"}, {"C:\\" + string(400, 'd') + "\\f", 260, " (false)"},
    };
    for (const auto& r : paths)
        EXPECT_EQ(Into(r.size, [&](auto o, auto n) { return CopyDirectoryPart(r.path.c_str(), o, n); }), r.directory)
            << r.path.substr(0, 40) << " in " << r.size;
}

TEST(SplitRegistryPath, RootCaseSeparatorLastBackslashAndLimits)
{
    const string cu = "HKEY_CURRENT_USER\\", v99(99, 'v'), k923(923, 'k');   // 923 + 1 + 99 = 1023
    const std::pair<string, string> rows[] = {   // the roots in table order first
        {"HKEY_CLASSES_ROOT\\K\\V", "0|K|V"}, {"HKEY_CURRENT_CONFIG\\K\\V", "1|K|V"}, {cu + "K\\V", "2|K|V"},
        {"HKEY_LOCAL_MACHINE\\K\\V", "3|K|V"}, {"HKEY_USERS\\K\\V", "4|K|V"}, {"HKEY_PERFORMANCE_DATA\\K\\V", "5|K|V"},
        {"HKEY_DYN_DATA\\K\\V", "6|K|V"}, {"HKEY_LOCAL_MACHINE", "-1||"}, {"HKEY_DYN_DATA", "-1||"},
        {"hkey_local_machine\\Software\\X", "-1||"}, {"HKLM\\Software\\X", "-1||"}, {"\\HKEY_USERS\\X", "-1||"},
        {"", "-1||"}, {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir",
                       "3|Software\\Microsoft\\Windows\\CurrentVersion|ProgramFilesDir"},
        {cu + "Word", "2||Word"}, {cu + "Software\\Demo\\", "2|Software\\Demo|"},
        {cu + "Software\\(Default)", "2|Software|(Default)"}, {"HKEY_CURRENT_USER/Soft\\Name", "2|Soft|Name"},
        {"HKEY_CURRENT_USERXSoft\\Name", "2|Soft|Name"}, {"HKEY_CURRENT_USER//K\\V", "2|/K|V"},
        {cu + k923 + "\\" + v99, "2|" + k923 + "|" + v99}, {cu + k923 + "k\\" + v99, "-1||"},
        {cu + "Key\\" + v99 + "v", "-1||"}, {cu + string(1023, 'v'), "-1||"},
    };
    for (const auto& r : rows) {
        std::unique_ptr<char[]> key(new char[kRegRemainderSize]), name(new char[kRegValueNameSize]);
        int root = SplitRegistryPath(r.first.c_str(), key.get(), name.get());
        EXPECT_EQ(std::to_string(root) + "|" + key.get() + "|" + name.get(), r.second) << r.first.substr(0, 60);
    }
    for (const char* name : {"(default)", "(DEFAULT)", "(DeFaulT)", "default", "(default) ", ""})
        EXPECT_EQ(IsDefaultValueName(name), name[0] == '(' && strlen(name) == 9) << name;
}

TEST(WithdrawPairsFromList, PairsOfThePathGoOthersStayDamageIsNotReadPast)
{
    // Lists written with | for each string's terminator.
    const string x = "\\??\\C:\\App\\x.dll", xy = x + "||\\??\\C:\\App\\y.dll|||", cafe = "\\??\\C:\\Caf\xe9\\x|||";
    const struct { string data, path, result; } rows[] = {
        {x + "||\\??\\C:\\O\\old|!\\??\\C:\\O\\new|" + x + "||" + x + "||\\??\\C:\\t|||", "C:\\App\\x.dll",
         "changed:\\??\\C:\\O\\old|!\\??\\C:\\O\\new|\\??\\C:\\t|||"},
        {xy, "C:\\App\\x.dl", "same:" + xy}, {xy, "C:\\App\\x.dll.bak", "same:" + xy},
        {xy, "D:\\App\\x.dll", "same:" + xy}, {xy, "", "same:" + xy}, {xy, x, "same:" + xy},
        {"C:\\a||x y C:\\b|||", "C:\\b", "changed:C:\\a|||"}, {"C:\\a||C:\\b:c|||", "C:\\b:c", "changed:C:\\a|||"},
        {"\\??\\c:\\my app\\x.dll|||", "C:\\MY APP\\X.DLL", "changed:|"},
        {cafe, "C:\\CAF\xc9\\X", "same:" + cafe}, {cafe, "c:\\caf\xe9\\X", "changed:|"},
        {x + "||\\\\server\\f.dat||" + x + "|||", "C:\\App\\x.dll",   // no colon: the walk ends
         "changed:\\\\server\\f.dat||" + x + "|||"},
        // Damaged: no final empty string, a source without target, unterminated strings.
        {"C:\\a||C:\\b|C:\\c|", "C:\\a", "changed:C:\\b|C:\\c|"}, {"C:\\a||C:\\a|", "C:\\a", "changed:C:\\a|"},
        {"C:\\b||C:\\a", "C:\\a", "same:C:\\b||C:\\a"}, {"C:\\a|C:\\x", "C:\\a", "same:C:\\a|C:\\x"},
        {"C:\\b||", "C:\\a", "same:C:\\b||"}, {":a|||", ":a", "same::a|||"}, {"C:|\\a||", "C:\\a", "same:C:|\\a||"},
        {"", "C:\\a", "same:"}, {"|", "C:\\a", "same:|"},
    };
    for (const auto& r : rows) {
        std::unique_ptr<char[]> data(new char[r.data.size()]);
        std::replace_copy(r.data.begin(), r.data.end(), data.get(), '|', '\0');
        bool changed = true;
        size_t size = WithdrawPairsFromList(data.get(), r.data.size(), r.path.c_str(), &changed);
        string result = (changed ? "changed:" : "same:") + string(data.get(), size);
        std::replace(result.begin(), result.end(), '\0', '|');
        EXPECT_EQ(result, r.result) << r.data.substr(0, 40) << " less " << r.path;
    }
}

TEST(Expansions, PathMacrosBackslashRunsAndTextEscapes)
{
    // Path macros: each letter looked up once, upper-cased, not scanned again; cut, never past.
    auto lookup = [](char letter, char* out, size_t size, void* letters) {   // W, R: text; Z: no terminator
        *static_cast<string*>(letters) += letter;
        EXPECT_TRUE(size == kMacroTextSize && out[0] == '\0') << "lookup buffer of " << size << " holds " << out;
        letter == 'Z' ? (void)memset(out, 'z', size)
                      : (void)strcpy(out, letter == 'W' ? "C:\\WINDOWS" : letter == 'R' ? "%W%%" : "");
    };
    const struct { string input; size_t size; string output; const char* letters; } rows[] = {
        {"[%w][%R]", 260, "[C:\\WINDOWS][%W%%]", "WR"}, {"100%%%%W%", 260, "100%%W", ""},
        {"a%xb%5c% d%\xe9", 260, "abcd", "X5 \xe9"}, {string(300, 'a') + "%W", 260, string(259, 'a'), "W"},
        {"%W\\x", 7, "C:\\WIN", "W"}, {"ab%%", 3, "ab", ""}, {"%W", 1, "", "W"}, {"%Z%Z", 260, string(259, 'z'), "ZZ"},
    };
    for (const auto& r : rows) {
        string letters;
        auto expand = [&](auto o, auto n) { return ExpandMacroText(r.input.c_str(), o, n, lookup, &letters), true; };
        EXPECT_EQ(Into(r.size, expand), r.output) << r.input.substr(0, 40) << " in " << r.size;
        EXPECT_EQ(letters, r.letters) << r.input.substr(0, 40);
    }
    auto collapse = [](string text) { return CollapseBackslashRuns(&text[0]), string(text.c_str()); };
    EXPECT_EQ(collapse("C:\\X\\\\uninstall.log") + "|" + collapse("\\\\server\\\\\\s\\") + "|" + collapse("a\\b\\\\"),
              "C:\\X\\uninstall.log|\\server\\s\\|a\\b\\");
    // Text escapes: product, drive, "1" and a line break, matched with case; cut to the buffer.
    const struct { const char *in, *dir, *product; string out; size_t size = 1024; } texts[] = {
        {"Remove '%p'?\\nSure on %d (%n)", "D:\\Games\\X\\", "Demo", "Remove 'Demo'?\nSure on D: (1)"},
        {"%d!", "C", "", "C!"}, {"a%Pb 100%% sure %", "C:\\", "Demo", "ab 100 sure "}, {"x", "C:\\", "", "", 0},
        {"C:\\x \\N end\\", "C:\\", "", "C:\\x \\N end\\"}, {"%p", "C:\\", "50%p\\n", "50%p\\n"},
        {"abcdef", "C:\\", "", "abc", 4}, {"%p%p", "C:\\", "long product", "long pr", 8}, {"x", "C:\\", "", "", 1},
    };
    for (const auto& r : texts)
        EXPECT_EQ(Into(r.size, [&](auto o, auto n) { return ExpandTextEscapes(o, n, r.in, r.dir, r.product), true; }),
                  r.out) << r.in << " in " << r.size;
}

TEST(Messages, RowsArgumentsBoxTextAndTheTable)
{
    // A row and its arguments in order: a number fills %s in decimal, a text fills %u as text.
    const struct { unsigned number; std::vector<MessageArg> args; const char* text; size_t size = 1024; } rows[] = {
        {76, {{nullptr, -1}}, "1ZKSS_JR: Job 4294967295 started twice"}, {0, {}, "3", 2},
        {336, {{nullptr, 5}, {nullptr, -7}}, "1GAME_JR: Task 5 returned -7"}, {79, {}, " (false)", 0},
        {79, {{nullptr, 42}}, "1ZKSE: Scene '42' not found"}, {5, {}, "3The file %s cannot be opened.\n%s"},
        {76, {{"seven", 0}}, "1ZKSS_JR: Job seven started twice"}, {79, {{"x", 0}}, " (false)", 1},
        {5, {{"a.dat", 0}}, "3The file a.dat cannot be opened.\n%s"}, {79, {}, "1ZKSE:  (false)", 8},
        {419, {{"u", 0}}, "3UPDATE: The update u cannot be applied."}, {420, {}, "1Mes (false)", 5},
        {79, {{"100%s%u", 0}, {"y", 0}}, "1ZKSE: Scene '100%s%u' not found"},
        {420, {}, "1Message number 420 is not in the table"},
        {5, {{"a", 0}, {"bc", 0}}, "3The file a cannot be opened.\nb (false)", 32},
    };
    for (const auto& r : rows) {
        auto build = [&](auto o, auto n) { return BuildMessage(o, n, r.number, r.args.data(), int(r.args.size())); };
        EXPECT_EQ(Into(r.size, build), r.text) << "row " << r.number << " in " << r.size;
    }
    // The box text: the template of the severity digit around the message proper, in code page 1250.
    const char* framed[] = {
        "Provedli jste nestandartní operaci,\nkterá zapřičinila pád programu.\n"
        "Aplikace je v pořádku a je použitelná.\n\nChyba:\n",
        "Program detekoval, že systém neodpovídá jeho požadavkům.\nMožnou příčinou je málo systémové nebo "
        "diskové paměti.\nUvolněte prosím nějakou ukončením\nprogramů na pozadí nebo restartem.\n\nChyba:\n",
        "", "Program je špatně nainstalován.\nProsím přeinstalujte jej.\n\nChyba:\n"};
    for (char digit : {'1', '2', '3', '4'}) {
        string expected = framed[digit - '1'], utf8 = "áčéěířšůž", cp1250 = "\xE1\xE8\xE9\xEC\xED\xF8\x9A\xF9\x9E";
        for (size_t i = 0, at; i < cp1250.size(); ++i)   // every letter above is two bytes in UTF-8
            while ((at = expected.find(utf8.substr(2 * i, 2))) != string::npos) expected.replace(at, 2, 1, cp1250[i]);
        EXPECT_EQ(Into(1024, [&](auto o, auto n) { return BuildBoxText(o, n, (digit + string("a %s")).c_str()); }),
                  expected + "a %s") << "severity " << digit;
    }
    const struct { const char* message; size_t size; const char* text; } boxes[] = {
        {"3", 1024, ""}, {"5odd", 1024, "5odd"}, {"0odd", 1024, "0odd"}, {"", 8, ""}, {"2x", 10, "Program d (false)"},
    };
    for (const auto& r : boxes) {
        EXPECT_EQ(Into(r.size, [&](auto o, auto n) { return BuildBoxText(o, n, r.message); }), r.text) << r.message;
        EXPECT_STREQ(MessageProper(r.message), r.message[0] >= '1' && r.message[0] <= '4' ? r.message + 1 : r.message);
    }
    // The table: module names of each group of rows, severity counts, code page 1250.
    const struct { int last; const char* module; } groups[] = {   // nullptr: a name of its own
        {0, ""}, {2, "INIT"}, {9, ""}, {27, "RES"}, {73, "ZKSS"}, {74, ""}, {75, "ZKSS"}, {78, "ZKSS_JR"},
        {223, "ZKSE"}, {248, "CTRL"}, {329, "GAME"}, {338, "GAME_JR"}, {340, "WIN"}, {341, "GLOBAL"},
        {351, "WMA"}, {352, "MAIN"}, {353, "SAVE"}, {356, "FILE"}, {364, "COMPRESSION"}, {366, nullptr},
        {377, "HTML"}, {409, "ZKAM"}, {411, "WTIMER"}, {414, "CAMOVER"}, {415, nullptr}, {416, "MTFORMAT"},
        {418, "SYSTRAY"}, {419, nullptr},
    };
    int counts[5] = {};
    for (int n = 0, g = 0; n < kMessageCount; g += n++ == groups[g].last) {
        const char* row = kMessageTable[n];
        size_t length = strspn(row + 1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ_");
        string module = length && strncmp(row + 1 + length, ": ", 2) == 0 ? string(row + 1, length) : "";
        ++counts[row[0] >= '1' && row[0] <= '4' ? row[0] - '1' : 4];
        bool placeholders = true;   // %s, %u and %i only; no UTF-8 lead bytes
        for (const char* p = strchr(row, '%'); p; p = strchr(p + 1, '%'))
            placeholders &= p[1] && strchr("sui", p[1]);
        EXPECT_TRUE((groups[g].module ? module == groups[g].module : !module.empty()) && placeholders &&
                    !strpbrk(row, "\xC3\xC4\xC5")) << "row " << n << ": " << row;
    }
    EXPECT_EQ(std::vector<int>(counts, counts + 5), (std::vector<int>{296, 22, 27, 75, 0})) << "severities 1-4, other";
}

// A file of the given bytes, read line by line; it goes with the object.
struct TextFile : LineFile {
    string path = ::testing::TempDir() + "text_routines.txt";
    TextFile(const string& text) { std::ofstream(path, std::ios::binary) << text, OpenForReading(path.c_str()); }
    ~TextFile() override { close(), remove(path.c_str()); }
    string Read(int capacity) { return Into(capacity, [&](char* o, size_t) { return ReadLine(o, capacity), true; }); }
};

TEST(LineFile, ReadWriteAndCountWindowsTextLines)
{
    const string x1023(1023, 'x'), x1022(1022, 'x');   // the count reads 1023 characters at a time
    const struct { string bytes; int capacity; string lines; int count; } rows[] = {
        {"a\nb\n", 260, "[a][b][]", 3}, {"a\nb", 260, "[a][b]", 2}, {"", 260, "[]", 1},
        {"a\r\nb\rc\r\nd\n", 260, "[a][b\rc][d][]", 4}, {"x\r", 260, "[x\r]", 1},
        {"a\r\nb\r\n\x1A" "c\r\nd\r\n", 260, "[a][b][]", 3}, {"ab\x1A" "cd\n", 260, "[ab]", 1},
        {"\xC8\xFF\x80 z\n", 260, "[\xC8\xFF\x80 z][]", 2},
        {string("0123456789\nabcd\nx\na\0b\n", 22), 5, "[0123][4567][89][abcd][][x][a][]", 5},
        {x1023 + "\n" + x1022 + "\n", 1024, "[" + x1023 + "][][" + x1022 + "][]", 4},
    };
    for (const auto& r : rows) {
        TextFile file(r.bytes);
        EXPECT_EQ(file.CountLines(), r.count) << r.bytes.substr(0, 20);
        string lines;
        for (int i = 0; i < 10 && file.good(); ++i)
            lines += "[" + file.Read(r.capacity) + "]";
        EXPECT_EQ(lines, r.lines) << r.bytes.substr(0, 20);
        EXPECT_TRUE(file.eof()) << r.bytes.substr(0, 20);
        EXPECT_EQ(file.Read(8), "") << "read past the end of " << r.bytes.substr(0, 20);
    }
    // CountLines keeps the place; WriteLine ends lines with CR LF; a missing file stays missing.
    TextFile file("first\r\nsecond\r\nthird\r\n");
    EXPECT_EQ(file.Read(1), "") << "capacity 1 holds the terminator alone";
    for (string step : {"first", "3", "second", "third", "1", ""})   // a digit: what CountLines gives
        EXPECT_EQ(isdigit(step[0]) ? std::to_string(file.CountLines()) : file.Read(260), step);
    file.close();
    file.OpenForWriting(file.path.c_str());
    for (const char* line : {"abc", "", "\xC8" "esky"})
        file.WriteLine(line);
    file.close();
    string written;
    std::getline(std::ifstream(file.path, std::ios::binary), written, '\0');
    EXPECT_EQ(written, "abc\r\n\r\n\xC8" "esky\r\n");
    remove(file.path.c_str());
    file.OpenForReading(file.path.c_str());
    EXPECT_TRUE(file.fail()) << "opening for reading made the file";
}
