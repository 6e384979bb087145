#include "document/hex_goto.h"

namespace {

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int DigitValue(char c, int base) {
    int value = 16;
    if (c >= '0' && c <= '9') value = c - '0';
    if (c >= 'a' && c <= 'f') value = c - 'a' + 10;
    if (c >= 'A' && c <= 'F') value = c - 'A' + 10;
    return value < base ? value : -1;
}

HexGotoResult Refuse(HexGotoError error) {
    return {error, 0};
}

}  // namespace

HexGotoResult HexParseGoto(std::string_view text, std::uint32_t caret, std::uint32_t size) {
    while (!text.empty() && IsSpace(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsSpace(text.back())) text.remove_suffix(1);
    int sign = 0;
    int base = 16;
    for (bool more = true; more && !text.empty();) {
        const char c = text.front();
        more = (sign == 0 && (c == '+' || c == '-')) || (base == 16 && c == '#');
        if (c == '#' && more) base = 10;
        if ((c == '+' || c == '-') && more) sign = c == '+' ? 1 : -1;
        if (more) text.remove_prefix(1);
    }
    if (base == 16 && text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    } else if (base == 16 && !text.empty() && (text.back() == 'h' || text.back() == 'H')) {
        text.remove_suffix(1);
    }
    if (text.empty()) return Refuse(kHexGotoEmpty);
    std::uint64_t value = 0;
    for (char c : text) {
        const int digit = DigitValue(c, base);
        if (digit < 0) return Refuse(kHexGotoBadNumber);
        value = value * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (value > 0xFFFFFFFF) return Refuse(kHexGotoTooLarge);
    }
    std::int64_t offset = static_cast<std::int64_t>(value);
    if (sign != 0) offset = caret + sign * offset;
    if (offset < 0) return Refuse(kHexGotoBeforeStart);
    if (offset > size) return Refuse(kHexGotoPastEnd);
    return {kHexGotoOk, static_cast<std::uint32_t>(offset)};
}

const char* HexGotoErrorText(HexGotoError error) {
    switch (error) {
        case kHexGotoOk: return "";
        case kHexGotoEmpty: return "Enter an offset.";
        case kHexGotoBadNumber:
            return "The offset must be a hex number, or a decimal number after #.";
        case kHexGotoTooLarge: return "The offset is too large.";
        case kHexGotoPastEnd: return "The offset is past the end of the data.";
        case kHexGotoBeforeStart: return "The offset is before the start of the data.";
    }
    return "The offset is not valid.";
}
