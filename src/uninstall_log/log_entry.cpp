#include "uninstall_log/log_entry.h"

#include <cstring>

#include "text/buf.h"
#include "text/path_split.h"

LogEntryKind ClassifyLogEntry(const char* line)
{
    switch (line[0]) {
    case '%':
        return kServerEntry;
    case '&':
        return kFontEntry;
    case '-':
        return kIniEntry;
    case ':':
        return kRegistryEntry;
    case ';':
        return kProgramEntry;
    default:
        return kFileEntry;
    }
}

const char* LoggedFilePath(const char* line)
{
    return ClassifyLogEntry(line) == kFileEntry ? line : line + 1;
}

bool IniEntryHasKey(const char* line)
{
    return strrchr(line + 1, '\\') != nullptr;
}

IniRemoval BuildIniRemoval(const char* line, const char* value, char* section, size_t sectionSize,
                           char* iniLine)
{
    const char* body = line + 1;
    const char* slash = strrchr(body, '\\');
    size_t sectionLength = size_t(slash - body);
    section[0] = '\0';
    iniLine[0] = '\0';
    if (sectionLength > kIniSectionMaxLength || sectionLength >= sectionSize)
        return kIniSectionTooLong;
    memcpy(section, body, sectionLength);
    section[sectionLength] = '\0';
    if (!BufFormat(iniLine, kIniLineSize, "%s=%s", slash + 1, value))
        return kIniLineTooLong;
    return kIniRemovalReady;
}

const char* FurtherLineValue(const char* line)
{
    return line[0] ? line + 1 : line;
}

void ProgramWorkingDirectory(const char* line, const char* second, const char* third, char* out,
                             size_t size)
{
    if (FurtherLineValue(third)[0] == '\0')
        CopyDirectoryPart(line + 1, out, size);
    else if (!BufSet(out, size, FurtherLineValue(second)))
        out[0] = '\0';   // a cut path would name some other directory
}
