#include "hexview/hexview_transfer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hexview/hexview_layout.h"

std::uint32_t HexViewDropEffect(const HexDropOffer& offer, bool controlKey, std::uint32_t allowed) {
    if (!offer.text && !offer.fileName) return kHexDropNone;
    const bool copyOnly = controlKey || offer.fileName;
    if (copyOnly) return (allowed & kHexDropCopy) != 0 ? kHexDropCopy : kHexDropNone;
    if ((allowed & kHexDropMove) != 0) return kHexDropMove;
    return (allowed & kHexDropCopy) != 0 ? kHexDropCopy : kHexDropNone;
}

void HexViewDropCaret(HexViewModel& m, std::int32_t x, std::int32_t y) {
    m.caretCol = HexViewHitColumn(m, x);
    m.caretRow = std::max(y, 0) / std::max(m.lineHeight, 1);
    const std::uint64_t position =
        m.caretCol + std::uint64_t{m.bytesPerRow} * (std::uint64_t(m.caretRow) + m.topRow);
    if (position > m.docSize) {
        m.caretPos = m.docSize;
        HexViewCaretCellFromPos(m);
    } else {
        m.caretPos = static_cast<std::uint32_t>(position);
    }
}

std::uint32_t HexViewTextCount(std::uint32_t announced, const std::uint8_t* block,
                               std::size_t blockSize) {
    const std::size_t limit = std::min<std::size_t>(blockSize, 0xFFFFFFFFu);
    if (announced != 0) return static_cast<std::uint32_t>(std::min<std::size_t>(announced, limit));
    const void* zero = std::memchr(block, 0, limit);
    if (zero == nullptr) return static_cast<std::uint32_t>(limit);
    return static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(zero) - block);
}

std::string HexViewFlushQuestion(std::uint32_t byteCount) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "There is %u Kb of data currently in the Clipboard.\nWould you like to leave "
                  "this data for other applications?",
                  static_cast<unsigned>(byteCount / 1024));
    return text;
}
