// Copy as hex text: bytes of a document as upper-case hex pairs separated by spaces, 16 to a
// line, CR LF between lines and none after the last ("00 01 ... 0F\r\n10 11"), as CF_TEXT
// wants it. Portable; control's thread only, like the document.
#pragma once

#include <cstdint>

#include "document/hex_document.h"

// The most bytes the control copies as hex text (49 MiB of text); it refuses more.
constexpr std::uint32_t kHexTextMaxBytes = 16u << 20;

// Characters of the text for count bytes, without a terminating zero: 3 * count + lines - 2, or 0
// for none.
std::uint64_t HexTextLength(std::uint32_t count);

// Writes the text for count bytes from position into out, which holds HexTextLength(count) + 1
// characters, and a terminating zero. The range must lie inside the document (9); a file
// window that cannot be read fails with 23. On failure out holds an unfinished, unterminated
// text.
bool HexDocHexText(HexDocument& doc, std::uint32_t position, std::uint32_t count, char* out);
