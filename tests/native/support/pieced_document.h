// Documents cut into many pieces, for the tests of what reads a document in place (search,
// checksums, hex text): opened over memory or a mapped file, then edited at random.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "document/hex_document.h"
#include "platform/virtual_memory.h"

// Opens doc over a fresh memory block holding bytes (or empty).
inline bool OpenOverMemory(HexDocument& doc, const std::vector<std::uint8_t>& bytes) {
    void* block = bytes.empty() ? nullptr : AllocateMemory(bytes.size());
    if (block != nullptr) std::memcpy(block, bytes.data(), bytes.size());
    return HexDocOpen(doc, kNoFile, block, static_cast<std::uint32_t>(bytes.size()),
                      false);
}

inline std::vector<std::uint8_t> Contents(HexDocument& doc) {
    std::vector<std::uint8_t> bytes(doc.length);
    if (doc.length > 0) (void)HexDocRead(doc, bytes.data(), 0, doc.length);
    return bytes;
}

// Short inserts, overwrites and deletes at random places: each one adds a piece edge or two.
// The bytes written repeat bytes of the document, so that patterns taken from it straddle edges.
inline void CutIntoPieces(HexDocument& doc, std::mt19937& random, int edits) {
    for (int i = 0; i < edits; ++i) {
        std::uint8_t bytes[8];
        const std::uint32_t count = 1 + random() % 8;
        const std::uint32_t at = doc.length == 0 ? 0 : random() % doc.length;
        for (std::uint32_t k = 0; k < count; ++k) {
            bytes[k] = doc.length > 0 ? HexDocGetByte(doc, random() % doc.length)
                                      : static_cast<std::uint8_t>(random());
        }
        doc.lastOp = kHexOpNone;  // no merging: every edit leaves edges
        // An edit that does not fit (past the end) is simply skipped.
        switch (random() % 3) {
            case 0: (void)HexDocInsert(doc, at, bytes, count); break;
            case 1: (void)HexDocOverwrite(doc, at, bytes, count); break;
            default:
                if (doc.length > count) {
                    (void)HexDocDelete(doc, at, std::min(count, doc.length - at));
                }
        }
    }
}
