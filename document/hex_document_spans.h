// Reading a document where its bytes lie: the contiguous runs (one piece, inside one file
// window) that a stretch of the document is made of, for readers that must not copy it (search,
// checksums, hex text). Portable. Control's thread only, like the document.
#pragma once

#include <cstdint>

#include "document/hex_document.h"

// Borrowed bytes of the document: valid until the next call on the document, which may move a
// file window.
struct HexSpan {
    const std::uint8_t* bytes;  // null when nothing could be read
    std::uint32_t count;
};

// The bytes from position on, as far as they lie together, at most count (at least 1 when
// position is inside the document and count is not 0). {null, 0} outside the document, for a
// count of 0, or when a file window cannot be read.
HexSpan HexDocSpanAfter(HexDocument& doc, std::uint32_t position, std::uint32_t count);

// The bytes just before end (they end at end), as far as they lie together, at most count and at
// most kHexCopyStep. {null, 0} for end 0 or past the length, a count of 0, or an unmappable window.
HexSpan HexDocSpanBefore(HexDocument& doc, std::uint32_t end, std::uint32_t count);

// What a reader that works in slices (HexSearch, HexChecksumRun) reports after each slice.
enum HexScanStatus : std::uint32_t {
    kHexScanMore = 0,         // not finished: call Step again
    kHexScanFound = 1,        // a search found a match
    kHexScanNotFound = 2,     // a search found nothing anywhere
    kHexScanDone = 3,         // a checksum run is complete
    kHexScanChanged = 4,      // the document changed since the reader started: its result is void
    kHexScanUnreadable = 5,   // a file window could not be read (it shrank, is gone or locked)
    kHexScanBadArgument = 6,  // a start or range outside the document, or an unusable pattern:
                              // a caller's bug
};
