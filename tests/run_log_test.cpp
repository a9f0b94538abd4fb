#include <gtest/gtest.h>

#include <cstring>
#include <regex>
#include <string>

#include "diag/run_log.h"
#include "support/test_env.h"

namespace {

const std::string kStamp = "[^\r\n]*, [^\r\n]* \\(t=[0-9]+\\)";
const std::string kHeader = "\r\n\r\n---- Log started " + kStamp + "\r\n";

bool Matches(const std::string& text, const std::string& pattern)
{
    return std::regex_match(text, std::regex(pattern));
}

// Points the log at the test's own directory and restores the run's state;
// an empty log path means a new run.
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

TEST_F(RunLogTest, FirstErrorFollowsTheHeaderAndLaterEntriesCarryAStamp)
{
    LogWrite("stray text");
    EXPECT_FALSE(testenv::FileExists(dir_ / "zkal.log")) << "written before the first entry";
    LogError("first 100%s %d%%\nFile: a.cpp; Line: 1");
    EXPECT_EQ(std::string(g_runLogPath), dir_ / "zkal.log");
    LogError("second");
    LogDone();
    std::string bytes = LogBytes();
    EXPECT_TRUE(Matches(bytes, kHeader + "first 100%s %d%%\r\nFile: a\\.cpp; Line: 1\r\nchyba: " +
                                   kStamp + "\r\nsecond\r\nlog done ok: " + kStamp + "\r\n"))
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
    EXPECT_TRUE(Matches(LogBytes(), "older run\r\n" + kHeader + "run one\r\n" + kHeader +
                                        "run two\r\n"))
        << LogBytes();
}

TEST_F(RunLogTest, AFailedOpenIsRetriedAndAnOverlongPathNeverOpens)
{
    UseDirectory(dir_ / "later\\");
    LogError("lost");
    EXPECT_STREQ(g_runLogPath, "");
    ASSERT_TRUE(testenv::MakeDirectories(dir_ / "later"));
    LogError("kept");
    std::string bytes = testenv::ReadFileOrEmpty(dir_ / "later\\zkal.log");
    EXPECT_TRUE(Matches(bytes, kHeader + "kept\r\n")) << bytes;

    UseDirectory(dir_.Path() + std::string(kLogPathSize - 5 - dir_.Path().size(), 'd'));
    LogError("nowhere");
    EXPECT_STREQ(g_runLogPath, "");
    EXPECT_FALSE(testenv::FileExists(dir_ / "zkal.log"));
}

TEST(FormatLogStamp, TickCountAndCutWithinTheBuffer)
{
    char stamp[kLogStampSize], small[12];
    DWORD before = GetTickCount();
    FormatLogStamp(stamp, sizeof stamp);
    std::cmatch ticks;
    ASSERT_TRUE(std::regex_match(stamp, ticks, std::regex(".+, .+ \\(t=([0-9]+)\\)"))) << stamp;
    EXPECT_LE(before, std::stoul(ticks[1].str()));
    EXPECT_LE(std::stoul(ticks[1].str()), GetTickCount());
    memset(small, 'Z', sizeof small);
    FormatLogStamp(small, 8);
    EXPECT_EQ(strlen(small), 7u);
    EXPECT_EQ(small[8], 'Z');
}
