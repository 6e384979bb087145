#include "document/hex_fill.h"

#include <algorithm>
#include <cstring>

HexPatternError HexParseFillPattern(std::string_view text, std::vector<std::uint8_t>* bytes,
                                    std::size_t* errorAt) {
    bytes->clear();
    HexPattern pattern;
    std::size_t at = text.find('?');
    HexPatternError error = at != std::string_view::npos ? kHexPatternWildcardInFill
                                                         : HexParseHexPattern(text, &pattern, &at);
    if (error != kHexPatternOk) {
        if (errorAt != nullptr) *errorAt = at;
        return error;
    }
    *bytes = std::move(pattern.values);
    return kHexPatternOk;
}

bool HexDocFillPattern(HexDocument& doc, std::uint32_t position, std::uint32_t count,
                       const std::uint8_t* pattern, std::uint32_t patternLength) {
    if (pattern == nullptr || patternLength == 0 || count == 0 || position > doc.length ||
        count > doc.length - position) {
        doc.error = kHexOutOfRange;
        return false;
    }
    // Reserving commits the room before the edit, so a fill that does not fit changes nothing;
    // it also makes the fill an undo step of its own, apart from typing before and after.
    std::uint8_t* room = nullptr;
    if (!HexDocReserveOverwrite(doc, position, count, &room)) return false;
    const std::uint32_t first = std::min(count, patternLength);
    std::memcpy(room, pattern, first);
    // Double what is written until the room is full: few, long copies.
    for (std::uint32_t done = first; done < count;) {
        const std::uint32_t step = std::min(done, count - done);
        std::memcpy(room + done, room, step);
        done += step;
    }
    return true;
}
