// Small text helpers of the tool: printf into a std::string, sizes, hexadecimal digits. Portable.
#pragma once

#include <cstdint>
#include <string>

// Formats like printf; the result is cut at 511 characters.
[[nodiscard]] std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// 512 B, 1.5 KiB, 512 KiB, 2.0 MiB: whole numbers where exact, else one decimal; the next unit
// from 1000 of one on.
[[nodiscard]] std::string FormatBytes(std::uint64_t bytes);

// The value of a hexadecimal digit (either case), or -1.
inline int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
