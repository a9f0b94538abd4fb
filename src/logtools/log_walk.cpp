#include "logtools/log_walk.h"

#include "text/buf.h"

std::string ComparisonKey(const std::string& text)
{
    std::string key(text);
    BufUpperAscii(&key[0]);
    return key;
}
