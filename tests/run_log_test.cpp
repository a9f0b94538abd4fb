#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "diag/run_log.h"
#include "support/test_env.h"

namespace {

const char kStamp[] = "[^\r\n]*, [^\r\n]* \\(t=[0-9]+\\)";

std::string Header() { return std::string("\r\n\r\n---- Log started ") + kStamp + "\r\n"; }

bool Matches(const std::string& text, const std::string& pattern)
{
    return std::regex_match(text, std::regex(pattern));
}

// Points the log at a directory of the test's own and restores the run's
// state afterwards; "a new run" is an empty log path.
class RunLogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        savedDirectory_ = g_logDirectory;
        memcpy(savedPath_, g_runLogPath, sizeof savedPath_);
        UseDirectory(dir_.Path());
    }

    void TearDown() override
    {
        g_logDirectory = savedDirectory_;
        memcpy(g_runLogPath, savedPath_, sizeof savedPath_);
    }

    static void UseDirectory(const std::string& path)
    {
        ASSERT_LT(path.size(), sizeof g_logDirectory.path);
        strcpy(g_logDirectory.path, path.c_str());
        g_runLogPath[0] = '\0';
    }

    std::string LogBytes() const { return testenv::ReadFileOrEmpty(dir_ / "zkal.log"); }

    testenv::TempDir dir_{"runlog"};
    LogDirectory savedDirectory_;
    char savedPath_[kLogPathSize];
};

}  // namespace

TEST_F(RunLogTest, NothingIsWrittenBeforeTheFirstEntry)
{
    LogWrite("stray text");
    EXPECT_FALSE(testenv::FileExists(dir_ / "zkal.log"));
    EXPECT_STREQ(g_runLogPath, "");
}

TEST_F(RunLogTest, FirstErrorFollowsTheHeaderAndLaterEntriesCarryAStamp)
{
    LogError("first\nFile: a.cpp; Line: 1");
    EXPECT_EQ(std::string(g_runLogPath), dir_ / "zkal.log");
    LogError("second");
    LogDone();
    std::string bytes = LogBytes();
    EXPECT_TRUE(Matches(bytes, Header() + "first\r\nFile: a.cpp; Line: 1\r\n" + "chyba: " + kStamp +
                                   "\r\nsecond\r\n" + "log done ok: " + kStamp + "\r\n"))
        << bytes;
    for (size_t i = bytes.find('\n'); i != std::string::npos; i = bytes.find('\n', i + 1))
        EXPECT_TRUE(i > 0 && bytes[i - 1] == '\r') << "bare line feed at " << i;
}

TEST_F(RunLogTest, RunsAppendWithTheirOwnHeaders)
{
    ASSERT_TRUE(testenv::WriteFileBytes(dir_ / "zkal.log", "older run\r\n"));
    LogError("run one");
    UseDirectory(dir_.Path());
    LogError("run two");
    EXPECT_TRUE(Matches(LogBytes(), "older run\r\n" + Header() + "run one\r\n" + Header() +
                                        "run two\r\n"))
        << LogBytes();
}

TEST_F(RunLogTest, AFailedOpenIsRetriedByTheNextEntry)
{
    UseDirectory(dir_ / "later\\");
    LogError("lost");
    EXPECT_STREQ(g_runLogPath, "");
    ASSERT_TRUE(testenv::MakeDirectories(dir_ / "later"));
    LogError("kept");
    std::string bytes = testenv::ReadFileOrEmpty(dir_ / "later\\zkal.log");
    EXPECT_TRUE(Matches(bytes, Header() + "kept\r\n")) << bytes;
}

TEST_F(RunLogTest, TextsAreWrittenAsTheyAre)
{
    LogError("100%s %d%% \\x");
    EXPECT_TRUE(Matches(LogBytes(), Header() + "100%s %d%% \\\\x\r\n")) << LogBytes();
}

TEST_F(RunLogTest, APathThatDoesNotFitLeavesTheLogUnstarted)
{
    std::string longDirectory = dir_.Path() + std::string(kLogPathSize - 5 - dir_.Path().size(), 'd');
    UseDirectory(longDirectory);
    LogError("nowhere");
    EXPECT_STREQ(g_runLogPath, "");
    EXPECT_FALSE(testenv::FileExists(dir_ / "zkal.log"));
}

TEST(FormatLogStamp, DateTimeAndTickCountWithinTheBuffer)
{
    char stamp[kLogStampSize];
    DWORD before = GetTickCount();
    FormatLogStamp(stamp, sizeof stamp);
    DWORD after = GetTickCount();
    std::cmatch parts;
    ASSERT_TRUE(std::regex_match(stamp, parts, std::regex("(.+), (.+) \\(t=([0-9]+)\\)"))) << stamp;
    char date[64] = "";
    GetDateFormatA(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, nullptr, nullptr, date, sizeof date);
    EXPECT_EQ(parts[1].str(), date);
    unsigned long ticks = strtoul(parts[3].str().c_str(), nullptr, 10);
    EXPECT_GE(ticks, before);
    EXPECT_LE(ticks, after);

    char small[12];
    memset(small, 'Z', sizeof small);
    FormatLogStamp(small, 8);
    EXPECT_EQ(strlen(small), 7u);
    EXPECT_EQ(small[8], 'Z');
}

namespace {

// Runs the report probe with the given environment changes and returns the
// Log Directory it chose (empty when it failed).
class LogDirectoryTest : public ::testing::Test {
protected:
    std::string ChosenDirectory(const std::vector<std::pair<std::string, const char*>>& changes,
                                const std::string& arguments = "idle")
    {
        testenv::StartOptions options;
        options.environment = testenv::EnvironmentWith(changes);
        testenv::Process probe;
        std::string trace = dir_ / "trace.txt";
        DeleteFileA(trace.c_str());
        EXPECT_TRUE(probe.Start("\"" + testenv::ProgramDir() + "report_probe.exe\" \"" + trace +
                                    "\" " + arguments,
                                options));
        DWORD code = probe.Wait(20000);
        EXPECT_NE(code, DWORD(STILL_ACTIVE));
        std::string line = testenv::ReadFileOrEmpty(trace);
        if (line.compare(0, 7, "logdir ") != 0)
            return std::string();
        line.erase(0, 7);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        return line;
    }

    testenv::TempDir dir_{"logdir"};
};

// Skips the test when c:\temp exists already, and removes it at the end.
class FallbackDirectory {
public:
    FallbackDirectory() : existed_(testenv::DirectoryExists("c:\\temp")) {}
    ~FallbackDirectory()
    {
        if (!existed_)
            testenv::RemoveTree("c:\\temp");
    }
    bool Existed() const { return existed_; }
    void Remove() { testenv::RemoveTree("c:\\temp"); }

private:
    bool existed_;
};

}  // namespace

TEST_F(LogDirectoryTest, TempGetsATrailingBackslash)
{
    std::string temp = dir_.Path().substr(0, dir_.Path().size() - 1);
    EXPECT_EQ(ChosenDirectory({{"TEMP", temp.c_str()}}), dir_.Path());
    EXPECT_FALSE(testenv::FileExists(dir_ / "zkal.log")) << "a run without reports wrote the log";

    ChosenDirectory({{"TEMP", temp.c_str()}}, "main 7 plain 79");
    std::string bytes = testenv::ReadFileOrEmpty(dir_ / "zkal.log");
    EXPECT_TRUE(Matches(bytes, Header() + "log done ok: " + kStamp + "\r\n")) << bytes;
}

TEST_F(LogDirectoryTest, TheVariableNameIgnoresCase)
{
    EXPECT_EQ(ChosenDirectory({{"TMP", nullptr}, {"tEmP", dir_.Path().c_str()}}), dir_.Path());
}

TEST_F(LogDirectoryTest, WithoutAUsableTempItIsCTempCreatedAtStartUp)
{
    FallbackDirectory fallback;
    if (fallback.Existed())
        GTEST_SKIP() << "c:\\temp exists already";
    EXPECT_EQ(ChosenDirectory({{"TEMP", nullptr}}), "c:\\temp\\");
    EXPECT_TRUE(testenv::DirectoryExists("c:\\temp")) << "not created by a run without reports";
    EXPECT_FALSE(testenv::FileExists("c:\\temp\\zkal.log"));

    fallback.Remove();
    EXPECT_EQ(ChosenDirectory({{"TEMP", ""}}), "c:\\temp\\");
    EXPECT_TRUE(testenv::DirectoryExists("c:\\temp"));

    std::string tooLong = dir_.Path() + std::string(kLogPathSize - dir_.Path().size() - 8, 'q');
    EXPECT_EQ(ChosenDirectory({{"TEMP", tooLong.c_str()}}), "c:\\temp\\");
    std::string fits = dir_.Path() + std::string(kLogPathSize - dir_.Path().size() - 11, 'q');
    EXPECT_EQ(ChosenDirectory({{"TEMP", fits.c_str()}}), fits + "\\");
}
