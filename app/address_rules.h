// The address boxes' rules: lenient hexadecimal parsing and formatting.
#pragma once

#include <cstddef>
#include <cstdint>

// Reads a box's text: every hexadecimal digit shifts into the value, every other character is
// skipped without ending the scan. Empty text gives 0; more than eight digits wrap.
std::int32_t ParseHex(const char* text);

// The text the window writes into a box: "%.6X" (upper case, at least six digits; negative
// values print as eight digits). out must hold 9 characters and a terminator.
void FormatAddress(std::int32_t value, char* out, std::size_t outSize);
