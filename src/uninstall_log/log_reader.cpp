#include "uninstall_log/log_reader.h"

#include <cstring>

namespace {

LogRead ReadLogLine(LogWalk& walk, char* buffer, int capacity)
{
    LogRead read = {walk.nextLine, false, false};
    walk.file.ReadLine(buffer, capacity);
    read.cut = strlen(buffer) >= size_t(capacity - 1);
    read.ended = !walk.file.good();
    // A cut line goes on in the next read.
    if (!read.cut)
        ++walk.nextLine;
    return read;
}

}  // namespace

bool OpenLogWalk(LogWalk& walk, const char* path)
{
    walk.file.OpenForReading(path);
    walk.nextLine = 1;
    return walk.file.is_open();
}

void ReadLogHeader(LogWalk& walk, LogHeader* header)
{
    header->reads[0] = ReadLogLine(walk, header->productName, sizeof header->productName);
    header->reads[1] = ReadLogLine(walk, header->productKey, sizeof header->productKey);
    header->reads[2] = ReadLogLine(walk, header->language, sizeof header->language);
}

bool NextLogEntry(LogWalk& walk, WalkedEntry* entry)
{
    entry->value[0] = entry->second[0] = entry->third[0] = '\0';
    entry->furtherCount = 0;
    entry->first = ReadLogLine(walk, entry->text, sizeof entry->text);
    entry->kind = ClassifyLogEntry(entry->text);
    if (entry->first.ended)
        return false;
    LogRead* further = entry->further;
    if (entry->kind == kIniEntry && IniEntryHasKey(entry->text)) {
        further[entry->furtherCount++] = ReadLogLine(walk, entry->value, sizeof entry->value);
    } else if (entry->kind == kProgramEntry) {
        further[entry->furtherCount++] = ReadLogLine(walk, entry->second, sizeof entry->second);
        further[entry->furtherCount++] = ReadLogLine(walk, entry->third, sizeof entry->third);
    }
    return true;
}

int CountRemainingReads(LogWalk& walk)
{
    return walk.file.CountLines();
}

void CloseLogWalk(LogWalk& walk)
{
    walk.file.close();
}
