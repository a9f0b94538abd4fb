#pragma once

// Reads GetCommandLineA() and sets the program path, the installation
// directory and the command option.
void ParseCommandLine();

// Same, from the given text (the whole command line, argument 0 included).
void ParseCommandLineText(const char* line);
