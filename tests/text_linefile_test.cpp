// LineFile reads and writes Windows text the same way on every platform:
// line splitting, CR LF, Ctrl-Z, cutting at the capacity and counting.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/linefile.h"

namespace {

class LineFileText : public ::testing::Test {
protected:
    void SetUp() override
    {
        path_ = ::testing::TempDir() + "linefile_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
    }
    void TearDown() override { remove(path_.c_str()); }

    void Write(const std::string& bytes)
    {
        FILE* f = fopen(path_.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        fwrite(bytes.data(), 1, bytes.size(), f);
        fclose(f);
    }

    // Reads one line with the given capacity into a sentinel-filled buffer.
    std::string Read(LineFile& file, int capacity)
    {
        char buffer[2100];
        memset(buffer, '#', sizeof buffer);
        file.ReadLine(buffer, capacity);
        EXPECT_EQ(buffer[capacity], '#') << "wrote past the capacity";
        return buffer;
    }

    std::vector<std::string> ReadAll(const std::string& bytes, int* count)
    {
        Write(bytes);
        LineFile file;
        file.OpenForReading(path_.c_str());
        EXPECT_TRUE(file.is_open());
        *count = file.CountLines();
        std::vector<std::string> lines;
        while (file.good())
            lines.push_back(Read(file, 260));
        return lines;
    }

    std::string ReadBack()
    {
        std::string bytes;
        FILE* f = fopen(path_.c_str(), "rb");
        if (!f)
            return "<missing>";
        int c;
        while ((c = fgetc(f)) != EOF)
            bytes += char(c);
        fclose(f);
        return bytes;
    }

    std::string path_;
};

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(LineFileText, LinesThenEmptyReadAtTheEnd)
{
    Write("a\nb\n");
    LineFile file;
    file.OpenForReading(path_.c_str());
    ASSERT_TRUE(file.is_open());
    EXPECT_EQ(file.CountLines(), 3);
    EXPECT_EQ(Read(file, 260), "a");
    EXPECT_TRUE(file.good());
    EXPECT_EQ(Read(file, 260), "b");
    EXPECT_TRUE(file.good());
    EXPECT_EQ(Read(file, 260), "");
    EXPECT_TRUE(file.eof());
    EXPECT_EQ(Read(file, 260), "") << "reading past the end gives the empty text";
}

TEST_F(LineFileText, LastLineWithoutLineFeedHitsTheEnd)
{
    Write("a\nb");
    LineFile file;
    file.OpenForReading(path_.c_str());
    EXPECT_EQ(file.CountLines(), 2);
    EXPECT_EQ(Read(file, 260), "a");
    EXPECT_EQ(Read(file, 260), "b");
    EXPECT_TRUE(file.eof());
}

TEST_F(LineFileText, EmptyFile)
{
    Write("");
    LineFile file;
    file.OpenForReading(path_.c_str());
    EXPECT_EQ(file.CountLines(), 1);
    EXPECT_EQ(Read(file, 260), "");
    EXPECT_TRUE(file.eof());
}

TEST_F(LineFileText, MissingFileIsNotCreated)
{
    LineFile file;
    file.OpenForReading(path_.c_str());
    EXPECT_FALSE(file.is_open());
    EXPECT_TRUE(file.fail());
    FILE* f = fopen(path_.c_str(), "rb");
    EXPECT_EQ(f, nullptr);
    if (f)
        fclose(f);
}

TEST_F(LineFileText, LongLinesAreCutAtTheCapacity)
{
    Write("0123456789\nabcd\nx\n");
    LineFile file;
    file.OpenForReading(path_.c_str());
    EXPECT_EQ(Read(file, 5), "0123");
    EXPECT_EQ(Read(file, 5), "4567");
    EXPECT_EQ(Read(file, 5), "89");
    EXPECT_EQ(Read(file, 5), "abcd");
    EXPECT_EQ(Read(file, 5), "") << "the line feed of a line that filled the buffer";
    EXPECT_EQ(Read(file, 5), "x");
    EXPECT_EQ(Read(file, 1), "") << "capacity 1 holds only the terminator";
    EXPECT_TRUE(file.good());
}

TEST_F(LineFileText, CountLinesFromTheMiddleRestoresThePosition)
{
    Write("one\ntwo\nthree\nfour\n");
    LineFile file;
    file.OpenForReading(path_.c_str());
    EXPECT_EQ(Read(file, 260), "one");
    EXPECT_EQ(file.CountLines(), 4);
    EXPECT_TRUE(file.good());
    EXPECT_EQ(Read(file, 260), "two");
    EXPECT_EQ(Read(file, 260), "three");
    EXPECT_EQ(Read(file, 260), "four");
    EXPECT_EQ(file.CountLines(), 1);
    EXPECT_EQ(Read(file, 260), "");
    EXPECT_TRUE(file.eof());
}

TEST_F(LineFileText, CountLinesSplitsLinesOfTheCountersCapacity)
{
    Write(std::string(1023, 'x') + "\n" + std::string(2046, 'y') + "\n");
    LineFile file;
    file.OpenForReading(path_.c_str());
    // 1023 / 1023 + 1 = 2 reads, 2046 / 1023 + 1 = 3 reads, then the end.
    EXPECT_EQ(file.CountLines(), 6);
}

TEST_F(LineFileText, BytesAboveAsciiAndNulPassThrough)
{
    Write(std::string("\xC8\xFF\x80 z\n", 6) + std::string("a\0b\n", 4));
    LineFile file;
    file.OpenForReading(path_.c_str());
    EXPECT_EQ(Read(file, 260), "\xC8\xFF\x80 z");
    char buffer[16];
    file.ReadLine(buffer, sizeof buffer);
    EXPECT_EQ(memcmp(buffer, "a\0b", 4), 0);
}

TEST_F(LineFileText, CrLfEndsALineAndLoneCrStays)
{
    int count = 0;
    EXPECT_EQ(ReadAll("a\r\nb\rc\r\nd\n", &count), (Lines{"a", "b\rc", "d", ""}));
    EXPECT_EQ(count, 4);
    EXPECT_EQ(ReadAll("x\r", &count), (Lines{"x\r"}));
    EXPECT_EQ(count, 1);
}

TEST_F(LineFileText, CtrlZEndsTheReadableText)
{
    int count = 0;
    EXPECT_EQ(ReadAll("a\r\nb\r\n\x1A" "c\r\nd\r\n", &count), (Lines{"a", "b", ""}));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(ReadAll("ab\x1A" "cd\n", &count), (Lines{"ab"}));
    EXPECT_EQ(count, 1);
}

TEST_F(LineFileText, CountLinesKeepsThePositionAcrossCrLf)
{
    Write("first\r\nsecond\r\nthird\r\nfourth\r\n");
    LineFile file;
    file.OpenForReading(path_.c_str());
    EXPECT_EQ(Read(file, 260), "first");
    EXPECT_EQ(Read(file, 260), "second");
    EXPECT_EQ(file.CountLines(), 3);
    EXPECT_EQ(Read(file, 260), "third");
    EXPECT_EQ(file.CountLines(), 2);
    EXPECT_EQ(Read(file, 260), "fourth");
}

TEST_F(LineFileText, WriteLineEndsEachLineWithCrLf)
{
    Write("old old old\r\n");
    {
        LineFile file;
        file.OpenForWriting(path_.c_str());
        ASSERT_TRUE(file.is_open());
        file.WriteLine("abc");
        file.WriteLine("");
        file.WriteLine("\xC8" "esky");
    }
    EXPECT_EQ(ReadBack(), "abc\r\n\r\n\xC8" "esky\r\n");
}
