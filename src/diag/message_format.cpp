#include <cstring>

#include "diag/message_table.h"
#include "text/buf.h"

namespace {

bool IsSeverityDigit(char c) { return c >= '1' && c <= '4'; }

bool IsPlaceholder(char c) { return c == 's' || c == 'u' || c == 'i' || c == 'd'; }

bool AppendChar(char* out, size_t size, char c)
{
    const char piece[2] = {c, '\0'};
    return BufAppend(out, size, piece);
}

bool AppendArg(char* out, size_t size, const MessageArg& arg, char conversion)
{
    if (arg.text)
        return BufAppend(out, size, arg.text);
    char number[16];
    if (conversion == 'u')
        BufFormat(number, sizeof number, "%u", unsigned(arg.number));
    else
        BufFormat(number, sizeof number, "%d", arg.number);
    return BufAppend(out, size, number);
}

// Typed substitution instead of vsnprintf: a row whose placeholders do not
// match the arguments must still give a readable message, never a crash.
bool FormatRow(char* out, size_t size, const char* row, const MessageArg* args, int count)
{
    out[0] = '\0';
    bool whole = true;
    int next = 0;
    for (const char* p = row; *p; ++p) {
        if (p[0] == '%' && IsPlaceholder(p[1]) && next < count) {
            whole &= AppendArg(out, size, args[next++], p[1]);
            ++p;
        } else {
            whole &= AppendChar(out, size, *p);
        }
    }
    return whole;
}

}  // namespace

bool BuildMessage(char* out, size_t size, unsigned number, const MessageArg* args, int count)
{
    if (size == 0)
        return false;
    if (number >= kMessageCount)
        return BufFormat(out, size, "1Message number %u is not in the table", number);
    if (count == 0)
        return BufSet(out, size, kMessageTable[number]);
    return FormatRow(out, size, kMessageTable[number], args, count);
}

const char* MessageProper(const char* message)
{
    return IsSeverityDigit(message[0]) ? message + 1 : message;
}

bool BuildBoxText(char* out, size_t size, const char* message)
{
    if (!IsSeverityDigit(message[0]))
        return BufSet(out, size, message);
    return BufFormat(out, size, kLevelTemplates[message[0] - '1'], message + 1);
}
