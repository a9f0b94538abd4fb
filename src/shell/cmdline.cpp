#include "shell/cmdline.h"

#include <cstdlib>
#include <cstring>

#include "base/globals.h"
#include "shell/cmdline_tokens.h"
#include "text/buf.h"
#include "text/path_split.h"

namespace {

// _fullpath with an empty token gives the current directory.
void ResolveFullPath(const char* token, char* out, size_t size)
{
    if (!_fullpath(out, token[0] ? token : ".", size))
        BufSet(out, size, token);
}

void EnsureTrailingBackslash(char* path, size_t size)
{
    size_t len = strlen(path);
    if (len == 0 || path[len - 1] != '\\')
        BufAppend(path, size, "\\");
}

void SetProgramPath(const char* token)
{
    ResolveFullPath(token, g_programPath, sizeof g_programPath);
    CopyDirectoryPart(g_programPath, g_installDir, sizeof g_installDir);
}

bool HandleToken(const char* token, void* context)
{
    int* counter = static_cast<int*>(context);
    if (token[0] == '-' && *counter != 0) {
        BufSet(g_commandOption, sizeof g_commandOption, token);
        return false;
    }
    if (*counter == 0) {
        SetProgramPath(token);
    } else {
        ResolveFullPath(token, g_installDir, sizeof g_installDir);
        EnsureTrailingBackslash(g_installDir, sizeof g_installDir);
    }
    ++*counter;
    return true;
}

}  // namespace

void ParseCommandLineText(const char* line)
{
    int counter = 0;
    SplitCommandLine(line, HandleToken, &counter);
}

void ParseCommandLine()
{
    ParseCommandLineText(GetCommandLineA());
}
