#include "engine/log_entry.h"

#include <cstring>

#include "text/buf.h"
#include "text/path_split.h"

EntryKind ClassifyEntry(const char* entry)
{
    switch (entry[0]) {
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

bool IniEntryHasValueLine(const char* entry)
{
    return strchr(entry + 1, '\\') != nullptr;
}

bool SplitIniEntry(const char* entry, const char* value, char* section, size_t sectionSize,
                   char* line, size_t lineSize)
{
    const char* body = entry + 1;
    const char* slash = strrchr(body, '\\');
    size_t sectionLength = slash ? size_t(slash - body) : 0;
    if (!slash || sectionLength > kMaxIniSectionLength || sectionLength >= sectionSize)
        return false;
    memcpy(section, body, sectionLength);
    section[sectionLength] = '\0';
    return BufFormat(line, lineSize, "%s=%s", slash + 1, value);
}

const char* FurtherLineValue(const char* line)
{
    return line[0] ? line + 1 : line;
}

void ChooseWorkDirectory(const char* commandLine, const char* second, const char* third,
                         char* workDir, size_t size)
{
    if (FurtherLineValue(third)[0] == '\0')
        CopyDirectoryPart(commandLine, workDir, size);
    else if (!BufSet(workDir, size, FurtherLineValue(second)))
        workDir[0] = '\0';
}
