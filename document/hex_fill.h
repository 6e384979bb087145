// Fill Selection: the fill box's text turned into bytes, and the fill itself as one undo step
// that happens whole or not at all. Portable; control's thread only, like the document.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "document/hex_document.h"
#include "document/hex_search.h"

// What the fill box shows at first: the erased value of an EPROM or flash chip.
constexpr char kHexFillDefaultText[] = "FF";

// One byte or a pattern of bytes, written as hex pairs like a hex search pattern ("FF",
// "DE AD BE EF", "00ff"), without "??". An empty box is kHexPatternEmpty. On failure *errorAt
// (when given) names the offending character and *bytes is empty.
HexPatternError HexParseFillPattern(std::string_view text, std::vector<std::uint8_t>* bytes,
                                    std::size_t* errorAt = nullptr);

// Overwrites count bytes from position, which must lie inside the document (9), with the pattern
// repeated from its first byte on. One undo record of its own: it never merges with the edit
// before or after it. When the add buffer has no room for count bytes it fails with 1 and the
// document is unchanged; an empty pattern or a count of 0 fails with 9.
bool HexDocFillPattern(HexDocument& doc, std::uint32_t position, std::uint32_t count,
                       const std::uint8_t* pattern, std::uint32_t patternLength);
