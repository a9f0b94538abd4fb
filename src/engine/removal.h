// Removal around DeleteFileA: unregistering modules, removing emptied
// directories, and listing files for deletion at the next start of Windows.
#pragma once

void UnregisterServerDll(const char* modulePath);

// One step of the climb through emptied directories: true when directory
// (without a final backslash) went, and the climb goes on to its parent.
typedef bool (*DirectoryStep)(const char* directory, void* context);
// The climb after a deletion: directory (the file's drive and directory,
// ending in a backslash) without that backslash, then each directory above
// it, until step fails for one. The run removes; uninstall-check's plan only
// foresees.
void ClimbEmptiedDirectories(const char* directory, DirectoryStep step, void* context);
// The run's climb: removes each directory in turn while they come out empty.
void RemoveEmptyDirectories(const char* directory);
// Drops earlier listings of path from the list of deletions at restart.
void WithdrawPendingRemoval(const char* path);
// Lists path (and on NT its directory) for deletion at the next start.
void ScheduleRemovalAtRestart(const char* path);
