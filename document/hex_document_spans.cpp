#include "document/hex_document_spans.h"

#include <algorithm>

HexSpan HexDocSpanAfter(HexDocument& doc, std::uint32_t position, std::uint32_t count) {
    std::uint32_t start = 0;
    const HexPiece* piece = count > 0 ? HexDocPieceAt(doc, position, &start) : nullptr;
    if (piece == nullptr) return {};
    std::uint32_t into = position - start;
    std::uint32_t available = 0;
    const std::uint8_t* bytes =
        HexDocSourceBytes(doc, piece->source, piece->offset + into, &available);
    if (bytes == nullptr) return {};
    return {bytes, std::min({count, piece->length - into, available})};
}

HexSpan HexDocSpanBefore(HexDocument& doc, std::uint32_t end, std::uint32_t count) {
    std::uint32_t start = 0;
    const HexPiece* piece = end > 0 && count > 0 ? HexDocPieceAt(doc, end - 1, &start) : nullptr;
    if (piece == nullptr) return {};
    // A file window holds at least kHexCopyStep bytes from any position (or up to the file's
    // end), so this many bytes before end are always reachable from their first one.
    std::uint32_t take = std::min({count, end - start, kHexCopyStep});
    std::uint32_t available = 0;
    const std::uint8_t* bytes =
        HexDocSourceBytes(doc, piece->source, piece->offset + (end - start) - take, &available);
    if (bytes == nullptr || available < take) return {};
    return {bytes, take};
}
