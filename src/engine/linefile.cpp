#include "engine/linefile.h"

#include <vector>

void LineFile::ReadLine(char* buffer, int capacity)
{
    int stored = 0;
    while (stored < capacity - 1 && good()) {
        int c = get();
        if (c == traits_type::eof())
            break;
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
