// The text routines that need no Windows, under the sanitizers. Outputs go into heap buffers of
// exactly the size the routine is given, so one byte written past them stops the run.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "diag/message_table.h"
#include "engine/linefile.h"
#include "engine/pending_list.h"
#include "language/text_escapes.h"
#include "paths/macro_text.h"
#include "registry/registry_path.h"
#include "shell/buf.h"
#include "shell/cmdline_tokens.h"
#include "shell/path_split.h"

using std::string;

// The text that fill leaves in a '#'-filled buffer of size bytes, followed
// by " (false)" when fill returns false.
template <typename Fill>
string Into(size_t size, Fill fill)
{
    std::unique_ptr<char[]> buffer(new char[size]);
    memset(buffer.get(), '#', size);
    bool whole = fill(buffer.get(), size);
    size_t length = strnlen(buffer.get(), size);
    string text = length < size || size == 0 ? string(buffer.get(), length) : "<unterminated>";
    return whole ? text : text + " (false)";
}

TEST(BoundedBuffers, CutAtSizeMinusOneNeverPastUpperCaseAsciiOnly)
{
    const struct { char op; size_t size; const char *a, *b, *text; } rows[] = {
        // S: BufSet(b); A: BufAppend(b) to a; F: BufFormat("%s=%s", a, b).
        {'S', 4, "", "abc", "abc"}, {'S', 3, "", "abc", "ab (false)"}, {'S', 1, "", "abc", " (false)"},
        {'S', 0, "", "abc", " (false)"}, {'A', 6, "ab", "cde", "abcde"}, {'A', 5, "ab", "cde", "abcd (false)"},
        {'A', 3, "ab", "", "ab"}, {'A', 2, "ab", "c", "<unterminated> (false)"},   // nothing to append at
        {'F', 6, "ab", "cd", "ab=cd"}, {'F', 5, "ab", "cd", "ab=c (false)"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Into(r.size, [&](char* out, size_t size) {
            if (r.op == 'A')
                strncpy(out, r.a, size);
            return r.op == 'S' ? BufSet(out, size, r.b) : r.op == 'A' ? BufAppend(out, size, r.b)
                                                                      : BufFormat(out, size, "%s=%s", r.a, r.b);
        }), r.text) << r.op << " size " << r.size;
    char text[] = "az@[`{\xe9 AZ09";
    BufUpperAscii(text);
    EXPECT_STREQ(text, "AZ@[`{\xe9 AZ09");
}

bool Collect(const char* token, void* context)
{
    auto* c = static_cast<std::pair<string, int>*>(context);
    c->first += "[" + string(token) + "]";
    return --c->second > 0;
}

TEST(SplitCommandLine, SpacesSeparateQuotesGroupAndVanish)
{
    const string x400(400, 'x'), x259(259, 'x');
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
        SplitCommandLine(r.line.c_str(), Collect, &got);
        EXPECT_EQ(got.first, r.tokens) << r.line.substr(0, 60);
    }
}

TEST(CopyDirectoryPart, UpToTheLastSeparatorOrDriveElseRefused)
{
    const struct { string path; size_t size; string directory; } rows[] = {
        {"C:\\Games\\Demo App\\map01.dat", 64, "C:\\Games\\Demo App\\"}, {"C:\\A\\", 64, "C:\\A\\"},
        {"C:/a/b", 64, "C:/a/"}, {"\\\\server\\share\\f", 64, "\\\\server\\share\\"}, {"C:f.txt", 64, "C:"},
        {"C:", 64, "C:"}, {"file.txt", 64, ""}, {"", 64, ""}, {"C:\\a\\b", 6, "C:\\a\\"},
        {"C:\\a\\b", 5, " (false)"}, {"C:\\" + string(400, 'd') + "\\file", 260, " (false)"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Into(r.size, [&](char* out, size_t size) { return CopyDirectoryPart(r.path.c_str(), out, size); }),
                  r.directory) << r.path.substr(0, 40) << " in " << r.size;
        if (r.directory[0] != ' ')
            EXPECT_EQ(DirectoryPartLength(r.path.c_str()), r.directory.size()) << r.path;
    }
}

TEST(SplitRegistryPath, RootCaseSeparatorLastBackslashAndLimits)
{
    const char* roots[] = {"HKEY_CLASSES_ROOT",  "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER",
                           "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_PERFORMANCE_DATA", "HKEY_DYN_DATA"};
    const string cu = "HKEY_CURRENT_USER\\", v99(99, 'v'), k923(923, 'k');   // 923 + 1 + 99 = 1023
    std::vector<std::pair<string, string>> rows = {
        {"hkey_local_machine\\Software\\X", "-1||"}, {"HKLM\\Software\\X", "-1||"}, {"\\HKEY_USERS\\X", "-1||"},
        {"", "-1||"}, {"HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\ProgramFilesDir",
                       "3|Software\\Microsoft\\Windows\\CurrentVersion|ProgramFilesDir"},
        {cu + "Word", "2||Word"}, {cu + "Software\\Demo\\", "2|Software\\Demo|"},
        {cu + "Software\\(Default)", "2|Software|(Default)"}, {"HKEY_CURRENT_USER/Soft\\Name", "2|Soft|Name"},
        {"HKEY_CURRENT_USERXSoft\\Name", "2|Soft|Name"}, {"HKEY_CURRENT_USER//K\\V", "2|/K|V"},
        {cu + k923 + "\\" + v99, "2|" + k923 + "|" + v99}, {cu + k923 + "k\\" + v99, "-1||"},
        {cu + "Key\\" + v99 + "v", "-1||"}, {cu + string(1023, 'v'), "-1||"},
    };
    for (int i = 0; i < kRootCount; ++i) {
        rows.push_back({string(roots[i]) + "\\Key\\Value", std::to_string(i) + "|Key|Value"});
        rows.push_back({roots[i], "-1||"});
    }
    for (const auto& r : rows) {
        int root = 0;
        string value, key = Into(kRegRemainderSize, [&](char* subKey, size_t) {
            value = Into(kRegValueNameSize, [&](char* name, size_t) {
                return (root = SplitRegistryPath(r.first.c_str(), subKey, name)), true;
            });
            return true;
        });
        EXPECT_EQ(std::to_string(root) + "|" + key + "|" + value, r.second) << r.first.substr(0, 60);
    }
    for (const char* name : {"(default)", "(DEFAULT)", "(DeFaulT)", "default", "(default) ", ""})
        EXPECT_EQ(IsDefaultValueName(name), name[0] == '(' && strlen(name) == 9) << name;
}

string List(std::vector<string> strings)
{
    string data;
    for (const string& s : strings)
        data += s + '\0';
    return data;
}

TEST(WithdrawPairsFromList, PairsOfThePathGoOthersStayDamageIsNotReadPast)
{
    const string x = "\\??\\C:\\App\\x.dll", xy = List({x, "", "\\??\\C:\\App\\y.dll", "", ""});
    const string cafe = List({"\\??\\C:\\Caf\xe9\\x", "", ""}), a = "C:\\a";
    const struct { string data, path, result; } rows[] = {
        {List({x, "", "\\??\\C:\\O\\old", "!\\??\\C:\\O\\new", x, "", x, "", "\\??\\C:\\t", "", ""}),
         "C:\\App\\x.dll", "changed:" + List({"\\??\\C:\\O\\old", "!\\??\\C:\\O\\new", "\\??\\C:\\t", "", ""})},
        {xy, "C:\\App\\x.dl", "same:" + xy}, {xy, "C:\\App\\x.dll.bak", "same:" + xy},
        {xy, "D:\\App\\x.dll", "same:" + xy}, {xy, "", "same:" + xy}, {xy, x, "same:" + xy},
        {List({a, "", "x y C:\\b", "", ""}), "C:\\b", "changed:" + List({a, "", ""})},
        {List({a, "", "C:\\b:c", "", ""}), "C:\\b:c", "changed:" + List({a, "", ""})},
        {List({"\\??\\c:\\my app\\x.dll", "", ""}), "C:\\MY APP\\X.DLL", "changed:" + List({""})},
        {cafe, "C:\\CAF\xc9\\X", "same:" + cafe}, {cafe, "c:\\caf\xe9\\X", "changed:" + List({""})},
        {List({x, "", "\\\\server\\f.dat", "", x, "", ""}), "C:\\App\\x.dll",   // no colon: the walk ends
         "changed:" + List({"\\\\server\\f.dat", "", x, "", ""})},
        // Damaged: no final empty string, a source without target, unterminated strings.
        {List({a, "", "C:\\b", "C:\\c"}), a, "changed:" + List({"C:\\b", "C:\\c"})},
        {List({a, "", a}), a, "changed:" + List({a})}, {List({"C:\\b", ""}) + a, a, "same:" + List({"C:\\b", ""}) + a},
        {List({a}) + "C:\\x", a, "same:" + List({a}) + "C:\\x"}, {List({":a", "", ""}), ":a", "same:" + List({":a", "", ""})},
        {List({"C:", "\\a", ""}), a, "same:" + List({"C:", "\\a", ""})}, {"", a, "same:"}, {List({""}), a, "same:" + List({""})},
    };
    for (const auto& r : rows) {
        std::unique_ptr<char[]> data(new char[r.data.size()]);
        memcpy(data.get(), r.data.data(), r.data.size());
        bool changed = true;
        size_t size = WithdrawPairsFromList(data.get(), r.data.size(), r.path.c_str(), &changed);
        ASSERT_LE(size, r.data.size()) << r.path;
        EXPECT_EQ((changed ? "changed:" : "same:") + string(data.get(), size), r.result) << r.path;
    }
}

// W and R answer with text, Z with a full buffer and no terminator.
void Lookup(char letter, char* out, size_t size, void* letters)
{
    *static_cast<string*>(letters) += letter;
    EXPECT_EQ(size, size_t(kMacroTextSize));
    EXPECT_EQ(out[0], '\0') << "lookup buffer handed over with text in it";
    if (letter == 'W' || letter == 'R')
        strcpy(out, letter == 'W' ? "C:\\WINDOWS" : "%W%%");
    if (letter == 'Z')
        memset(out, 'z', size);
}

TEST(ExpandMacroText, EachLetterLookedUpOnceCutNeverPastBackslashRunsCollapse)
{
    const struct { string input; size_t size; string output; const char* letters; } rows[] = {
        {"[%w][%R]", 260, "[C:\\WINDOWS][%W%%]", "WR"}, {"100%%%%W%", 260, "100%%W", ""},
        {"a%xb%5c% d%\xe9", 260, "abcd", "X5 \xe9"}, {string(300, 'a') + "%W", 260, string(259, 'a'), "W"},
        {"%W\\x", 7, "C:\\WIN", "W"}, {"ab%%", 3, "ab", ""}, {"%W", 1, "", "W"}, {"%Z%Z", 260, string(259, 'z'), "ZZ"},
    };
    for (const auto& r : rows) {
        string letters;
        EXPECT_EQ(Into(r.size, [&](char* out, size_t size) {
            return ExpandMacroText(r.input.c_str(), out, size, Lookup, &letters), true;
        }), r.output) << r.input.substr(0, 40) << " in " << r.size;
        EXPECT_EQ(letters, r.letters) << r.input.substr(0, 40);
    }
    for (auto [text, collapsed] : {std::pair<string, string>{"C:\\X\\\\uninstall.log", "C:\\X\\uninstall.log"},
                                   {"\\\\server\\\\\\s\\", "\\server\\s\\"}, {"a\\b\\\\", "a\\b\\"}}) {
        CollapseBackslashRuns(&text[0]);
        EXPECT_EQ(string(text.c_str()), collapsed);
    }
}

TEST(ExpandTextEscapes, ProductDriveOneLineBreakCutToTheBuffer)
{
    const struct { const char *in, *dir, *product; size_t size; string out; } rows[] = {
        {"Remove '%p'?\\nSure on %d (%n)", "D:\\Games\\X\\", "Demo", 1024, "Remove 'Demo'?\nSure on D: (1)"},
        {"%d", "C", "", 1024, "C"}, {"a%Pb 100%% sure %", "C:\\", "", 1024, "ab 100 sure "},
        {"C:\\temp\\x \\N end\\", "C:\\", "", 1024, "C:\\temp\\x \\N end\\"}, {"%p", "C:\\", "50%p\\n", 1024, "50%p\\n"},
        {"abcdef", "C:\\", "", 4, "abc"}, {"%p%p", "C:\\", "long product", 8, "long pr"}, {"x", "C:\\", "", 1, ""},
        {"x", "C:\\", "", 0, ""},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Into(r.size, [&](char* out, size_t size) {
            return ExpandTextEscapes(out, size, r.in, r.dir, r.product), true;
        }), r.out) << r.in << " in " << r.size;
}

MessageArg T(const char* text) { return MessageArg{text, 0}; }
MessageArg N(int number) { return MessageArg{nullptr, number}; }

TEST(BuildMessage, RowArgumentsInOrderCutNeverPast)
{
    const struct { unsigned number; std::vector<MessageArg> args; size_t size; const char* text; } rows[] = {
        {76, {N(-1)}, 1024, "1ZKSS_JR: Job 4294967295 started twice"}, {0, {}, 2, "3"},
        {336, {N(5), N(-7)}, 1024, "1GAME_JR: Task 5 returned -7"}, {79, {N(42)}, 1024, "1ZKSE: Scene '42' not found"},
        {76, {T("seven")}, 1024, "1ZKSS_JR: Job seven started twice"},
        {5, {T("a.dat")}, 1024, "3The file a.dat cannot be opened.\n%s"},
        {5, {}, 1024, "3The file %s cannot be opened.\n%s"},
        {79, {T("100%s%u"), T("y")}, 1024, "1ZKSE: Scene '100%s%u' not found"},
        {419, {T("u")}, 1024, "3UPDATE: The update u cannot be applied."},
        {420, {}, 1024, "1Message number 420 is not in the table"}, {420, {}, 5, "1Mes (false)"},
        {79, {}, 8, "1ZKSE:  (false)"}, {79, {T("x")}, 1, " (false)"}, {79, {}, 0, " (false)"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(Into(r.size, [&](char* out, size_t size) {
            return BuildMessage(out, size, r.number, r.args.data(), int(r.args.size()));
        }), r.text) << "row " << r.number << " in " << r.size;
}

// The Czech letters of the built-in texts, from UTF-8 to code page 1250.
string ToCp1250(string text)
{
    for (auto [utf8, cp1250] : {std::pair<string, char>{"á", '\xE1'}, {"č", '\xE8'}, {"é", '\xE9'},
                                {"ě", '\xEC'}, {"í", '\xED'}, {"ř", '\xF8'}, {"š", '\x9A'}, {"ů", '\xF9'}, {"ž", '\x9E'}})
        for (size_t at = text.find(utf8); at != string::npos; at = text.find(utf8))
            text.replace(at, utf8.size(), 1, cp1250);
    return text;
}

TEST(BuildBoxText, TemplateOfTheSeverityDigitFramesTheMessage)
{
    const char* framed[] = {
        "Provedli jste nestandartní operaci,\nkterá zapřičinila pád programu.\n"
        "Aplikace je v pořádku a je použitelná.\n\nChyba:\n",
        "Program detekoval, že systém neodpovídá jeho požadavkům.\nMožnou příčinou je málo systémové nebo "
        "diskové paměti.\nUvolněte prosím nějakou ukončením\nprogramů na pozadí nebo restartem.\n\nChyba:\n",
        "", "Program je špatně nainstalován.\nProsím přeinstalujte jej.\n\nChyba:\n"};
    for (char digit : {'1', '2', '3', '4'})
        EXPECT_EQ(Into(1024, [&](char* out, size_t size) { return BuildBoxText(out, size, (digit + string("a %s")).c_str()); }),
                  ToCp1250(framed[digit - '1']) + "a %s") << "severity " << digit;
    const struct { const char* message; size_t size; const char* text; } rows[] = {
        {"3", 1024, ""}, {"9odd", 1024, "9odd"}, {"0odd", 1024, "0odd"}, {"", 1024, ""}, {"2x", 10, "Program d (false)"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(Into(r.size, [&](char* out, size_t size) { return BuildBoxText(out, size, r.message); }), r.text);
        EXPECT_STREQ(MessageProper(r.message), r.message[0] >= '1' && r.message[0] <= '4' ? r.message + 1 : r.message);
    }
}

TEST(MessageTable, SeveritiesAndModulesOfEachGroupOfRows)
{
    const struct { int last; const char* module; int counts[4]; } groups[] = {
        {0, "", {0, 0, 1, 0}}, {2, "INIT", {0, 2, 0, 0}}, {9, "", {0, 0, 7, 0}}, {27, "RES", {0, 0, 0, 18}},
        {73, "ZKSS", {37, 7, 2, 0}}, {74, "", {0, 0, 1, 0}}, {75, "ZKSS", {0, 0, 1, 0}},
        {78, "ZKSS_JR", {3, 0, 0, 0}}, {223, "ZKSE", {134, 10, 0, 1}}, {248, "CTRL", {15, 1, 9, 0}},
        {329, "GAME", {81, 0, 0, 0}}, {338, "GAME_JR", {9, 0, 0, 0}}, {340, "WIN", {2, 0, 0, 0}},
        {341, "GLOBAL", {1, 0, 0, 0}}, {351, "WMA", {10, 0, 0, 0}}, {352, "MAIN", {1, 0, 0, 0}},
        {353, "SAVE", {1, 0, 0, 0}}, {356, "FILE", {0, 2, 1, 0}}, {364, "COMPRESSION", {0, 0, 0, 8}},
        {366, nullptr, {0, 0, 0, 2}}, {377, "HTML", {0, 0, 2, 9}}, {409, "ZKAM", {0, 0, 0, 32}},
        {411, "WTIMER", {0, 0, 0, 2}}, {414, "CAMOVER", {0, 0, 0, 3}}, {415, nullptr, {0, 0, 1, 0}},
        {416, "MTFORMAT", {0, 0, 1, 0}}, {418, "SYSTRAY", {2, 0, 0, 0}}, {419, nullptr, {0, 0, 1, 0}},
    };
    int n = 0;
    for (const auto& group : groups) {
        int counts[4] = {};
        for (string first; n <= group.last; ++n) {
            const char* row = kMessageTable[n];
            size_t length = strspn(row + 1, "ABCDEFGHIJKLMNOPQRSTUVWXYZ_");
            string module = length && strncmp(row + 1 + length, ": ", 2) == 0 ? string(row + 1, length) : "";
            ASSERT_TRUE(row[0] >= '1' && row[0] <= '4') << "row " << n << ": " << row;
            ++counts[row[0] - '1'];
            first = first.empty() ? module : first;   // a module of its own: one name, not empty
            EXPECT_EQ(module, group.module ? string(group.module) : first) << "row " << n << ": " << row;
            EXPECT_TRUE(group.module || !module.empty()) << "row " << n << ": " << row;
        }
        EXPECT_EQ(std::vector<int>(counts, counts + 4), std::vector<int>(group.counts, group.counts + 4))
            << "severities 1-4 of the rows up to " << group.last;
    }
    EXPECT_STREQ(kMessageTable[0], "3");
    const string czech = kMessageTable[74];   // code page 1250 letters, no UTF-8 lead bytes
    EXPECT_TRUE(czech.find_first_of("\x9A\x9E\xE1\xE8\xE9\xEC\xED\xF8\xF9") != string::npos &&
                czech.find_first_of("\xC3\xC4\xC5") == string::npos) << czech;
}

// Lines read from a file of given bytes, which goes at the end of the test.
class LineFileTest : public ::testing::Test {
protected:
    void TearDown() override { remove(path_.c_str()); }
    void Open(const string& bytes)
    {
        std::ofstream(path_, std::ios::binary) << bytes;
        file_.close();
        file_.OpenForReading(path_.c_str());
        ASSERT_TRUE(file_.is_open());
    }
    string Read(int capacity) { return Into(capacity, [&](char* out, size_t) { return file_.ReadLine(out, capacity), true; }); }
    string path_ = ::testing::TempDir() + "text_routines_linefile.txt";
    LineFile file_;
};

TEST_F(LineFileTest, LinesCutAtTheCapacityCrLfCtrlZAndTheirCount)
{
    const string x1023(1023, 'x');
    const struct { string bytes; int capacity; string lines; int count; } rows[] = {
        {"a\nb\n", 260, "[a][b][]", 3}, {"a\nb", 260, "[a][b]", 2}, {"", 260, "[]", 1},
        {"a\r\nb\rc\r\nd\n", 260, "[a][b\rc][d][]", 4}, {"x\r", 260, "[x\r]", 1},
        {"a\r\nb\r\n\x1A" "c\r\nd\r\n", 260, "[a][b][]", 3}, {"ab\x1A" "cd\n", 260, "[ab]", 1},
        {"\xC8\xFF\x80 z\n", 260, "[\xC8\xFF\x80 z][]", 2},
        {string("0123456789\nabcd\nx\na\0b\n", 22), 5, "[0123][4567][89][abcd][][x][a][]", 5},
        {x1023 + "\n" + x1023 + "x\n", 1024, "[" + x1023 + "][][" + x1023 + "][x][]", 5},
    };
    for (const auto& r : rows) {
        Open(r.bytes);
        EXPECT_EQ(file_.CountLines(), r.count) << r.bytes.substr(0, 20);
        string lines;
        for (int i = 0; i < 10 && file_.good(); ++i)
            lines += "[" + Read(r.capacity) + "]";
        EXPECT_EQ(lines, r.lines) << r.bytes.substr(0, 20);
        EXPECT_TRUE(file_.eof()) << r.bytes.substr(0, 20);
        EXPECT_EQ(Read(8), "") << "read past the end of " << r.bytes.substr(0, 20);
    }
}

TEST_F(LineFileTest, CountLinesKeepsThePlaceWriteLineEndsWithCrLfMissingFileStaysMissing)
{
    Open("first\r\nsecond\r\nthird\r\n");
    EXPECT_EQ(Read(1), "") << "capacity 1 holds the terminator alone";
    EXPECT_EQ(Read(260), "first");
    EXPECT_EQ(file_.CountLines(), 3);
    EXPECT_EQ(Read(260), "second");
    EXPECT_EQ(Read(260), "third");
    EXPECT_EQ(file_.CountLines(), 1);
    EXPECT_TRUE(file_.good());
    EXPECT_EQ(Read(260), "");
    EXPECT_TRUE(file_.eof());
    LineFile out;
    out.OpenForWriting(path_.c_str());
    for (const char* line : {"abc", "", "\xC8" "esky"})
        out.WriteLine(line);
    out.close();
    std::ifstream written(path_, std::ios::binary);
    EXPECT_EQ(string(std::istreambuf_iterator<char>(written), {}), "abc\r\n\r\n\xC8" "esky\r\n");
    remove(path_.c_str());
    LineFile missing;
    missing.OpenForReading(path_.c_str());
    EXPECT_TRUE(missing.fail());
    EXPECT_FALSE(std::ifstream(path_).is_open()) << "opening for reading created the file";
}
