#pragma once

struct LogWalk;

// Sets up and confirms the run, with log opened on uninstall.log and read
// past its header; every other outcome ends the process inside.
void StartUp(LogWalk& log);

// Deletes the fonts, uninitialises COM and ends the process with exit code 1.
[[noreturn]] void ExitProgram();
