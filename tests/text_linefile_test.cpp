// LineFile reads and writes Windows text the same way on every platform:
// line splitting, CR LF, Ctrl-Z, cutting at the capacity and counting.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/linefile.h"

namespace {

using Lines = std::vector<std::string>;

class LineFileText : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = ::testing::TempDir() + "linefile_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    }
    void TearDown() override { remove(path_.c_str()); }

    // Writes bytes and opens them for reading.
    void Open(const std::string& bytes)
    {
        FILE* f = fopen(path_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
        file_.OpenForReading(path_.c_str());
        ASSERT_TRUE(file_.is_open());
    }

    // Reads one line with the given capacity into a sentinel-filled buffer.
    std::string Read(int capacity = 260)
    {
        char buffer[300];
        memset(buffer, '#', sizeof buffer);
        file_.ReadLine(buffer, capacity);
        EXPECT_EQ(buffer[capacity], '#') << "wrote past the capacity";
        return buffer;
    }

    std::string path_;
    LineFile file_;
};

}  // namespace

// Each text gives the lines read until the end, and CountLines at the start.
TEST_F(LineFileText, SplitsLinesAndCountsThemAtTheStart)
{
    struct {
        std::string bytes;
        Lines lines;
        int count;
    } cases[] = {
        {"a\nb\n", {"a", "b", ""}, 3},
        {"a\nb", {"a", "b"}, 2},
        {"", {""}, 1},
        {"a\r\nb\rc\r\nd\n", {"a", "b\rc", "d", ""}, 4},
        {"x\r", {"x\r"}, 1},
        {"a\r\nb\r\n\x1A" "c\r\nd\r\n", {"a", "b", ""}, 3},
        {"ab\x1A" "cd\n", {"ab"}, 1},
        {"\xC8\xFF\x80 z\n", {"\xC8\xFF\x80 z", ""}, 2},
        // The counter reads 1023 characters at a time: 2 reads, 3 reads, the end.
        {std::string(1023, 'x') + "\n" + std::string(2046, 'y') + "\n", {}, 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.substr(0, 20));
        Open(c.bytes);
        EXPECT_EQ(file_.CountLines(), c.count);
        Lines lines;
        while (!c.lines.empty() && file_.good())
            lines.push_back(Read());
        EXPECT_EQ(lines, c.lines);
        if (!c.lines.empty()) {
            EXPECT_TRUE(file_.eof());
            EXPECT_EQ(Read(), "") << "reading past the end gives the empty text";
        }
        file_.close();
    }
}

TEST_F(LineFileText, LongLinesAreCutAtTheCapacityAndNulPasses)
{
    Open(std::string("0123456789\nabcd\nx\na\0b\n", 22));
    for (const char* piece : {"0123", "4567", "89", "abcd", "", "x"})
        EXPECT_EQ(Read(5), piece) << "an empty piece: the line feed of a line that filled the buffer";
    char buffer[16];
    file_.ReadLine(buffer, sizeof buffer);
    EXPECT_EQ(memcmp(buffer, "a\0b", 4), 0);
    EXPECT_EQ(Read(1), "") << "capacity 1 holds only the terminator";
    EXPECT_TRUE(file_.good());
}

TEST_F(LineFileText, CountLinesInTheMiddleAndAtTheEndKeepsThePosition)
{
    Open("first\r\nsecond\r\nthird\r\nfourth\r\n");
    EXPECT_EQ(Read(), "first");
    EXPECT_EQ(file_.CountLines(), 4);
    EXPECT_EQ(Read(), "second");
    EXPECT_EQ(file_.CountLines(), 3);
    EXPECT_EQ(Read(), "third");
    EXPECT_EQ(Read(), "fourth");
    EXPECT_EQ(file_.CountLines(), 1);
    EXPECT_TRUE(file_.good());
    EXPECT_EQ(Read(), "");
    EXPECT_TRUE(file_.eof());
}

TEST_F(LineFileText, MissingFileIsNotCreatedAndWriteLineEndsLinesWithCrLf)
{
    LineFile missing;
    missing.OpenForReading(path_.c_str());
    EXPECT_FALSE(missing.is_open());
    EXPECT_TRUE(missing.fail());
    EXPECT_EQ(fopen(path_.c_str(), "rb"), nullptr);

    Open("old old old\r\n");
    file_.close();
    {
        LineFile out;
        out.OpenForWriting(path_.c_str());
        ASSERT_TRUE(out.is_open());
        out.WriteLine("abc");
        out.WriteLine("");
        out.WriteLine("\xC8" "esky");
    }
    char bytes[64] = "";
    FILE* f = fopen(path_.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    bytes[fread(bytes, 1, sizeof bytes - 1, f)] = '\0';
    fclose(f);
    EXPECT_STREQ(bytes, "abc\r\n\r\n\xC8" "esky\r\n");
}
