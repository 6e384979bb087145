// The Go To box: what the user typed turned into an offset of the document. Portable.
//
//   1F00, 0x1F00, 1F00h   hexadecimal (the default); digits in either case
//   #7936                 decimal
//   +100, -#16            relative to the caret, forward or back ('#' may come before or after
//                         the sign)
// White space around the text is ignored. The result is an absolute offset from 0 to the
// document's size inclusive: the size itself is the end, where the caret may stand.
#pragma once

#include <cstdint>
#include <string_view>

enum HexGotoError : std::uint32_t {
    kHexGotoOk = 0,
    kHexGotoEmpty = 1,        // no digits
    kHexGotoBadNumber = 2,    // a character that does not belong in the number
    kHexGotoTooLarge = 3,     // the number does not fit in 32 bits
    kHexGotoPastEnd = 4,      // the offset lies past the end of the document
    kHexGotoBeforeStart = 5,  // a relative offset before the start of the document
};

struct HexGotoResult {
    HexGotoError error;
    std::uint32_t offset;  // valid with kHexGotoOk
};

HexGotoResult HexParseGoto(std::string_view text, std::uint32_t caret, std::uint32_t size);

// A sentence naming the error for a message box.
const char* HexGotoErrorText(HexGotoError error);
