// Removal around DeleteFileA: unregistering modules, removing emptied
// directories, and listing files for deletion at the next start of Windows.
#pragma once

void UnregisterServerDll(const char* modulePath);
// directory ends in a backslash; climbs while directories come out empty.
void RemoveEmptyDirectories(const char* directory);
// Drops earlier listings of path from the list of deletions at restart.
void WithdrawPendingRemoval(const char* path);
// Lists path (and on NT its directory) for deletion at the next start.
void ScheduleRemovalAtRestart(const char* path);
