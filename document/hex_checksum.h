// Checksums over a stretch of a hex document (the selection, or all of it), computed in bounded
// slices like a search, through the one checksum module. Reads the bytes where they lie.
//
// Threading and ownership: the control's thread only. A HexChecksumRun borrows the document,
// which must outlive it; nothing may change the document while it lives, and if something does
// (the document's changeCount moves), every Step answers kHexScanChanged without touching the
// document again.
#pragma once

#include <cstdint>
#include <string>

#include "formats/checksums.h"
#include "document/hex_document_spans.h"

class HexChecksumRun {
  public:
    // Computes the checksums named by kinds (ChecksumKinds) over count bytes from position.
    // The range must lie inside the document (else kHexScanBadArgument); nothing is read until
    // Step.
    HexChecksumRun(HexDocument& doc, std::uint32_t position, std::uint32_t count,
                   unsigned kinds = kChecksumAll);

    // Reads at most budget more bytes (a budget of 0 counts as 1). kHexScanMore: call again.
    // kHexScanDone (Results), kHexScanChanged, kHexScanUnreadable and kHexScanBadArgument are
    // final: every later call returns the same.
    HexScanStatus Step(std::uint32_t budget);

    const ChecksumResults& Results() const { return results_; }  // after kHexScanDone

    std::uint64_t Done() const { return std::uint64_t{position_} - first_; }
    std::uint64_t Total() const { return std::uint64_t{end_} - first_; }

  private:
    HexDocument& doc_;  // borrowed
    ChecksumSet sums_;
    std::uint32_t changeCount_;  // the document's, when the run began
    std::uint32_t first_;
    std::uint32_t position_;  // next byte to read
    std::uint32_t end_;
    HexScanStatus status_ = kHexScanMore;
    ChecksumResults results_;
};

// The results named by kinds, one per line, CR LF between lines, in upper-case hex:
//   Byte sum (8 bit): 1A
//   Byte sum (16 bit): 1A2B
//   CRC-16/CCITT-FALSE: 29B1
//   CRC-32: CBF43926
//   SHA-256: 15E2B0D3C33891EBB0F1EF609EC419420C20E320CE94C65FBC8C3312448EB225
std::string HexChecksumText(const ChecksumResults& results, unsigned kinds = kChecksumAll);
