#include "text/linefile.h"

#include <vector>

int ReadTextLine(std::istream& in, char* buffer, int capacity)
{
    typedef std::istream::traits_type Traits;
    int stored = 0;
    while (stored < capacity - 1 && in.good()) {
        int c = in.get();
        if (c == Traits::eof())
            break;
        if (c == kEndOfText) {
            in.setstate(std::ios::eofbit | std::ios::failbit);
            break;
        }
        if (c == '\r' && in.peek() == '\n')
            c = in.get();
        buffer[stored++] = char(c);
        if (c == '\n')
            break;
    }
    if (stored > 0 && buffer[stored - 1] == '\n')
        --stored;
    buffer[stored] = '\0';
    return stored;
}

void WriteTextLine(std::ostream& out, const char* text)
{
    for (; *text; ++text)
        out.put(*text);
    out.put('\r');
    out.put('\n');
}

int CountTextLines(std::istream& in)
{
    std::streampos start = in.tellg();
    std::vector<char> line(1024);
    int count = 0;
    do {
        ReadTextLine(in, line.data(), int(line.size()));
        ++count;
    } while (in.good());
    in.clear();
    in.seekg(start);
    return count;
}
