#include "engine/linefile.h"

#include <vector>

namespace {

const int kEndOfText = 26;   // Ctrl-Z

}  // namespace

void LineFile::ReadLine(char* buffer, int capacity)
{
    int stored = 0;
    while (stored < capacity - 1 && good()) {
        int c = get();
        if (c == traits_type::eof())
            break;
        if (c == kEndOfText) {
            setstate(std::ios::eofbit | std::ios::failbit);
            break;
        }
        if (c == '\r' && peek() == '\n')
            c = get();
        buffer[stored++] = char(c);
        if (c == '\n')
            break;
    }
    if (stored > 0 && buffer[stored - 1] == '\n')
        --stored;
    buffer[stored] = '\0';
}

void LineFile::WriteLine(const char* text)
{
    for (; *text; ++text)
        put(*text);
    put('\r');
    put('\n');
}

int LineFile::CountLines()
{
    std::streampos start = tellg();
    std::vector<char> line(1024);
    int count = 0;
    do {
        ReadLine(line.data(), int(line.size()));
        ++count;
    } while (good());
    clear();
    seekg(start);
    return count;
}
