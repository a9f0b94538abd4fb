#include "engine/ini_lines.h"

#include "engine/linefile.h"
#include "text/buf.h"

static bool IsSectionStart(const char* text) { return text[0] == '['; }

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
        ReadTextLine(in, text, sizeof text);
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
    return in.eof() && !in.bad() && out.good();
}
