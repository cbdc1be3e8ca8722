// Hexadecimal text as the debugger, the viewers, the cheat codes and the colour settings
// write and read it: upper-case digits, no prefix.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace tov {

// `value` with at least `digits` digits, zero-padded ("%0*X").
inline std::string hex(uint32_t value, int digits) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%0*X", digits, unsigned(value));
    return buf;
}

// The value of one hex digit (either case), or -1 for any other character.
inline int hexdigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace tov
