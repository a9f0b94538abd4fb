#include "engine/ini_lines.h"

#include <cstring>

#include "text/linefile.h"
#include "text/buf.h"

static bool IsSectionStart(const char* text) { return text[0] == '['; }

// True when nothing but Ctrl-Z is left of in: text behind a Ctrl-Z ends the
// reading, and a copy would lose it.
static bool NothingLeftToRead(std::istream& in)
{
    std::streambuf* rest = in.rdbuf();
    while (rest->sgetc() == kEndOfText)
        rest->sbumpc();
    return rest->sgetc() == std::char_traits<char>::eof();
}

bool SectionHoldsLine(std::istream& in, const char* header, const char* line)
{
    char text[kIniLineSize];
    bool inSection = false;
    while (in.good()) {
        ReadTextLine(in, text, sizeof text);
        if (inSection && !IsSectionStart(text) && BufEqualNoCase(text, line))
            return true;
        if (IsSectionStart(text))
            inSection = false;
        if (BufEqualNoCase(text, header))
            inSection = true;
    }
    return false;
}

bool CopyWithoutLine(std::istream& in, std::ostream& out, int reads, const char* header,
                     const char* line)
{
    char text[kIniLineSize];
    bool inSection = false;
    for (int i = 0; i < reads; ++i) {
        // A NUL would cut the line's copy short.
        if (ReadTextLine(in, text, sizeof text) != int(strlen(text)))
            return false;
        if (IsSectionStart(text)) {
            inSection = false;
            WriteTextLine(out, text);
        } else if (!inSection || !BufEqualNoCase(text, line)) {
            WriteTextLine(out, text);
        }
        if (BufEqualNoCase(text, header))
            inSection = true;
    }
    out.flush();
    return in.eof() && !in.bad() && NothingLeftToRead(in) && out.good();
}
