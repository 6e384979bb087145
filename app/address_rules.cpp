#include "app/address_rules.h"

#include <cstdio>

std::int32_t ParseHex(const char* text) {
    std::uint32_t value = 0;
    if (text == nullptr) return 0;
    for (; *text != '\0'; ++text) {
        char c = *text;
        std::uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else {
            continue;
        }
        value = value * 16 + digit;
    }
    return static_cast<std::int32_t>(value);
}

void FormatAddress(std::int32_t value, char* out, std::size_t outSize) {
    std::snprintf(out, outSize, "%.6X", static_cast<unsigned>(value));
}
