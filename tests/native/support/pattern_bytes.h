// Test data for the native and the Win32 tests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Bytes that differ from position to position, so that a misplaced byte shows.
inline std::vector<std::uint8_t> PatternBytes(std::size_t n, std::uint32_t seed = 1) {
    std::vector<std::uint8_t> bytes(n);
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return bytes;
}
