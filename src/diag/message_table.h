// The Message Table: 420 numbered fatal-error texts, each opening with its
// severity digit '1' to '4', and the Level Templates that frame a message in
// the error box. Texts outside ASCII are in code page 1250.
#pragma once

#include <cstddef>

enum { kMessageCount = 420 };

extern const char* const kMessageTable[kMessageCount];

// Indexed by severity digit - '1'; each holds one %s for the message proper.
extern const char* const kLevelTemplates[4];

// A message argument of a report: a text when text is not null, else number.
struct MessageArg {
    const char* text;
    int number;
};

// Builds the message of row number. With count 0 the row is copied as it is,
// placeholders included; otherwise %s, %u, %i and %d take the arguments in
// order (a text fills a number placeholder as text, a number fills %s in
// decimal), and placeholders left without an argument, like any other "%",
// stay as written. A number outside the table gives a severity-1 text naming it.
// False when the message was cut to fit size.
bool BuildMessage(char* out, size_t size, unsigned number, const MessageArg* args, int count);

// The message without its severity digit; a message that does not begin
// with one of the four digits is returned whole.
const char* MessageProper(const char* message);

// The error box's text: the Level Template of the message's severity digit
// filled with the message proper, or the message alone when it has no known
// digit. False when cut to fit size.
bool BuildBoxText(char* out, size_t size, const char* message);
