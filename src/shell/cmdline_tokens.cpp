#include "shell/cmdline_tokens.h"

namespace {

struct Token {
    char text[kTokenSize];
    size_t length;
    bool pending;   // a token has begun, possibly empty ("")

    void Clear() { length = 0; text[0] = '\0'; }
    void Add(char c)
    {
        // Longer tokens are cut: the rest of the token is read and dropped.
        if (length + 1 < sizeof text) {
            text[length++] = c;
            text[length] = '\0';
        }
        pending = true;
    }
};

}  // namespace

void SplitCommandLine(const char* line, TokenHandler onToken, void* context)
{
    Token token;
    token.Clear();
    token.pending = false;
    bool inQuotes = false;

    for (const char* p = line; *p; ++p) {
        if (inQuotes) {
            if (*p == '"') {
                inQuotes = false;
                token.pending = false;
                if (!onToken(token.text, context))
                    return;
                token.Clear();
            } else {
                token.Add(*p);
            }
        } else if (*p == ' ') {
            if (token.pending) {
                token.pending = false;
                if (!onToken(token.text, context))
                    return;
            }
            token.Clear();
        } else if (*p == '"') {
            // What was gathered before the quote is dropped.
            token.Clear();
            token.pending = true;
            inQuotes = true;
        } else {
            token.Add(*p);
        }
    }
    // An unclosed quote ends with the line.
    if (token.pending)
        onToken(token.text, context);
}
