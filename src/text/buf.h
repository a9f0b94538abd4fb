// Bounded text helpers for fixed-size char buffers. Every copy or format
// into a buffer in this program goes through these; a text that does not
// fit is cut at size - 1 characters and the helper returns false.
#pragma once

#include <cstdarg>
#include <cstddef>

// Copies src into dst (size bytes, terminator included). False when cut.
bool BufSet(char* dst, size_t size, const char* src);

// Appends src to the text already in dst. False when cut.
bool BufAppend(char* dst, size_t size, const char* src);

// printf-style format into dst. False when cut or on a format error
// (dst then holds the empty text).
bool BufFormat(char* dst, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// BufFormat for a function that takes the arguments of its own format.
bool BufFormatList(char* dst, size_t size, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));

// Whole-text comparison that ignores the case of the ASCII letters only;
// every other byte must match exactly.
bool BufEqualNoCase(const char* a, const char* b);

// Upper-cases the ASCII letters a to z in place; other bytes stay.
void BufUpperAscii(char* text);

// ASCII-only upper-casing of one byte.
inline char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
