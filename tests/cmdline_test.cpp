// The program's own command line: program path, installation directory and
// option, with real full-path resolution against the current directory.
#include <gtest/gtest.h>

#include <string>

#include "base/globals.h"
#include "shell/cmdline.h"

TEST(CommandLine, ProgramDirectoryAndOption)
{
    char cwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof cwd, cwd);
    std::string dir = cwd;
    if (dir.back() != '\\')
        dir += '\\';
    const std::string program = "\"C:\\Program Files\\Demo App\\uninstall.exe\"";
    const std::string longDir = "D:\\" + std::string(400, 'x');
    struct {
        std::string line, programPath, installDir, option;
    } cases[] = {
        {program, "C:\\Program Files\\Demo App\\uninstall.exe", "C:\\Program Files\\Demo App\\", ""},
        {"C:\\Apps\\uninstall.exe", "C:\\Apps\\uninstall.exe", "C:\\Apps\\", ""},
        {program + " \"D:\\Games\\Demo App\" -C", "", "D:\\Games\\Demo App\\", "-C"},
        // The option ends the parse; the last directory wins; runs of spaces are one separator.
        {program + " -c D:\\Elsewhere -Ux", "", "C:\\Program Files\\Demo App\\", "-c"},
        {program + "   D:\\A    D:\\B\\  ", "", "D:\\B\\", ""},
        {program + " sub\\dir", "", dir + "sub\\dir\\", ""},
        {program + " \"\"", "", dir, ""},
        // A quote after the minus starts a new token.
        {program + " -U\"Demo App\"", "", dir + "Demo App\\", ""},
        {program + " \"-UDemo App\"", "", "C:\\Program Files\\Demo App\\", "-UDemo App"},
        {"-C", dir + "-C", dir, ""},
        {program + " " + longDir + " -" + std::string(400, 'o'), "", longDir.substr(0, 259) + "\\",
         "-" + std::string(258, 'o')},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line.substr(0, 60));
        g_programPath[0] = g_installDir[0] = g_commandOption[0] = '\0';
        ParseCommandLineText(c.line.c_str());
        if (!c.programPath.empty()) {
            EXPECT_EQ(std::string(g_programPath), c.programPath);
        }
        EXPECT_EQ(std::string(g_installDir), c.installDir);
        EXPECT_EQ(std::string(g_commandOption), c.option);
    }
}
