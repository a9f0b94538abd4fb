// What every fuzz target shares: the input taken apart into fields, heap
// buffers of exact size (so that the sanitizer sees one byte too far), and
// property checks that stop the run with the failed condition.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#define CHECK(condition)                                                  \
    do {                                                                  \
        if (!(condition)) {                                               \
            fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__,     \
                    __LINE__, #condition);                                \
            abort();                                                      \
        }                                                                 \
    } while (0)

// Reads fields off the front of the input; an exhausted input gives 0 and "".
struct Fields {
    const uint8_t* at;
    size_t left;

    size_t Number(size_t limit)
    {
        size_t n = left ? at[0] : 0;
        if (left >= 2)
            n = n << 8 | at[1];
        Skip(left >= 2 ? 2 : left);
        return limit ? n % limit : 0;
    }
    // Bytes up to the next NUL, which is consumed.
    std::string Text()
    {
        const void* end = memchr(at, 0, left);
        size_t length = end ? size_t(static_cast<const uint8_t*>(end) - at) : left;
        std::string text(reinterpret_cast<const char*>(at), length);
        Skip(length + (end ? 1 : 0));
        return text;
    }
    std::string Rest()
    {
        std::string rest(reinterpret_cast<const char*>(at), left);
        Skip(left);
        return rest;
    }
    void Skip(size_t n) { at += n, left -= n; }
};

// size bytes filled with '#'; size 0 gets none.
inline std::unique_ptr<char[]> ExactBuffer(size_t size)
{
    std::unique_ptr<char[]> buffer(new char[size]);
    memset(buffer.get(), '#', size);
    return buffer;
}

// The text in buffer, which must be terminated within its size bytes.
inline std::string TerminatedText(const char* buffer, size_t size)
{
    CHECK(memchr(buffer, 0, size) != nullptr);
    return buffer;
}

inline bool StartsWith(const std::string& text, const std::string& start)
{
    return text.compare(0, start.size(), start) == 0;
}
