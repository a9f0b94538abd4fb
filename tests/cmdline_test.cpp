// The program's own command line: program path, installation directory and
// option, with real full-path resolution against the current directory.
#include <gtest/gtest.h>

#include <string>

#include "shell/cmdline.h"
#include "shell/globals.h"

namespace {

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_programPath[0] = '\0';
        g_installDir[0] = '\0';
        g_commandOption[0] = '\0';
        char dir[MAX_PATH];
        GetCurrentDirectoryA(sizeof dir, dir);
        cwd_ = dir;
        if (cwd_.back() != '\\')
            cwd_ += '\\';
    }

    std::string cwd_;
};

const char kProgram[] = "\"C:\\Program Files\\Demo App\\uninstall.exe\"";

std::string With(const std::string& rest) { return std::string(kProgram) + rest; }

}  // namespace

TEST_F(CommandLine, ProgramAloneNamesItsDirectory)
{
    ParseCommandLineText(kProgram);
    EXPECT_STREQ(g_programPath, "C:\\Program Files\\Demo App\\uninstall.exe");
    EXPECT_STREQ(g_installDir, "C:\\Program Files\\Demo App\\");
    EXPECT_STREQ(g_commandOption, "");
}

TEST_F(CommandLine, UnquotedProgramGivesTheSameResult)
{
    ParseCommandLineText("C:\\Apps\\uninstall.exe");
    EXPECT_STREQ(g_programPath, "C:\\Apps\\uninstall.exe");
    EXPECT_STREQ(g_installDir, "C:\\Apps\\");
}

TEST_F(CommandLine, DirectoryThenOption)
{
    ParseCommandLineText(With(" \"D:\\Games\\Demo App\" -C").c_str());
    EXPECT_STREQ(g_installDir, "D:\\Games\\Demo App\\");
    EXPECT_STREQ(g_commandOption, "-C");
}

TEST_F(CommandLine, OptionEndsTheParse)
{
    ParseCommandLineText(With(" -c D:\\Elsewhere -Ux").c_str());
    EXPECT_STREQ(g_commandOption, "-c");
    EXPECT_STREQ(g_installDir, "C:\\Program Files\\Demo App\\");
}

TEST_F(CommandLine, LastDirectoryWinsAndRunsOfSpacesAreOneSeparator)
{
    ParseCommandLineText(With("   D:\\A    D:\\B\\  ").c_str());
    EXPECT_STREQ(g_installDir, "D:\\B\\");
    EXPECT_STREQ(g_commandOption, "");
}

TEST_F(CommandLine, RelativeAndEmptyDirectoriesResolveAgainstTheCurrentOne)
{
    ParseCommandLineText(With(" sub\\dir").c_str());
    EXPECT_EQ(std::string(g_installDir), cwd_ + "sub\\dir\\");
    ParseCommandLineText(With(" \"\"").c_str());
    EXPECT_EQ(std::string(g_installDir), cwd_);
}

TEST_F(CommandLine, QuoteAfterMinusStartsANewToken)
{
    ParseCommandLineText(With(" -U\"Demo App\"").c_str());
    EXPECT_STREQ(g_commandOption, "");
    EXPECT_EQ(std::string(g_installDir), cwd_ + "Demo App\\");

    ParseCommandLineText(With(" \"-UDemo App\"").c_str());
    EXPECT_STREQ(g_commandOption, "-UDemo App");
}

TEST_F(CommandLine, MinusAsArgumentZeroIsTheProgram)
{
    ParseCommandLineText("-C");
    EXPECT_EQ(std::string(g_programPath), cwd_ + "-C");
    EXPECT_EQ(std::string(g_installDir), cwd_);
    EXPECT_STREQ(g_commandOption, "");
}

TEST_F(CommandLine, OverlongTokensAreCut)
{
    std::string longDir = "D:\\" + std::string(400, 'x');
    ParseCommandLineText(With(" " + longDir + " -" + std::string(400, 'o')).c_str());
    EXPECT_EQ(std::string(g_installDir), longDir.substr(0, 259) + "\\");
    EXPECT_EQ(strlen(g_commandOption), 259u);
    EXPECT_EQ(g_commandOption[0], '-');
}
