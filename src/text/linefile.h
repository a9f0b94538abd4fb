// Line-oriented text file over the standard file stream. Reads and writes
// Windows text: CR LF reads as a line end, Ctrl-Z ends the text, each line
// is written with CR LF. The translation is done here over a binary stream,
// because the runtime's text mode reports wrong positions once it has
// dropped carriage returns, and CountLines must seek back exactly.
#pragma once

#include <fstream>

enum { kEndOfText = 26 };   // Ctrl-Z

// The line reader over any stream, so that text held in memory reads exactly
// as a file does; the LineFile members below are these on the file.
// ReadTextLine returns the number of characters it stored, NULs included.
int ReadTextLine(std::istream& in, char* buffer, int capacity);
void WriteTextLine(std::ostream& out, const char* text);
int CountTextLines(std::istream& in);

class LineFile : public std::fstream {
public:
    LineFile() = default;
    virtual ~LineFile() = default;

    // Opens for reading; fails (and sets failbit) when the file is missing.
    void OpenForReading(const char* path) { open(path, std::ios::in | std::ios::binary); }
    // Creates or truncates the file for writing.
    void OpenForWriting(const char* path)
    {
        open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    }

    // Reads the next line without its line feed into buffer (capacity >= 1),
    // cutting it at capacity - 1 characters; the rest stays for the next read.
    void ReadLine(char* buffer, int capacity) { ReadTextLine(*this, buffer, capacity); }
    // Number of ReadLine calls (capacity 1024) that reach the end from here,
    // the final one included; the position and a clear state are restored.
    int CountLines() { return CountTextLines(*this); }
};
