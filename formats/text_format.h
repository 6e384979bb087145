// Small text helpers of the tool: printf into a std::string, hexadecimal digits. Portable.
#pragma once

#include <string>

// Formats like printf; the result is cut at 511 characters.
[[nodiscard]] std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The value of a hexadecimal digit (either case), or -1.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
