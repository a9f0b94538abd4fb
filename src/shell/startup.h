#pragma once

// Sets up and confirms the run; every other outcome ends the process inside.
void StartUp();

// Deletes the fonts, uninitialises COM and ends the process with exit code 1.
[[noreturn]] void ExitProgram();
