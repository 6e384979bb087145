// Fixed-size text buffers: the program keeps every path and label in char arrays.
#pragma once

#include <cstddef>
#include <cstring>

// Copies as much of source as fits into destination (capacity bytes, terminator included) and
// always terminates. Returns the characters copied.
inline std::size_t CopyText(char* destination, std::size_t capacity, const char* source) {
    if (capacity == 0) return 0;
    std::size_t length = source != nullptr ? std::strlen(source) : 0;
    if (length > capacity - 1) length = capacity - 1;
    std::memcpy(destination, source, length);
    destination[length] = '\0';
    return length;
}
