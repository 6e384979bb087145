// What the search and checksum benchmarks measure, native and under Wine alike: a 1 GiB file of
// random bytes from 1 to 255, mapped as a document, searched for patterns that cannot occur in
// it (a zero byte, or sixteen letters in a row), and checksummed, in slices as the control runs
// them: with the processor's checksum instructions and with the portable code alone, which is
// what every checksum ran before those instructions were used.
#pragma once

#include <cstddef>
#include <cstdint>

#include "document/hex_checksum.h"
#include "document/hex_search.h"

constexpr std::uint32_t kBenchFileBytes = 1u << 30;
constexpr std::uint32_t kBenchSlice = 16u << 20;  // bytes per Step, as the control would take

struct BenchSearch {
    const char* name;
    const char* text;
    bool hex;
    bool ignoreCase;
};

constexpr BenchSearch kBenchSearches[] = {
    {"hex DE AD BE EF 00", "DE AD BE EF 00", true, false},
    {"text \"Vorland searches\"", "Vorland searches", false, false},
    {"text, either case", "Vorland searches", false, true},
    {"hex with wildcards", "DE ?? BE ?? 00 EF", true, false},
};

struct BenchChecksum {
    const char* name;
    unsigned kinds;
    ChecksumInstructions most = ChecksumInstructions::kAll;
};

constexpr BenchChecksum kBenchChecksums[] = {
    {"reading in place alone", 0},  // what every search and checksum costs at least
    {"byte sum", kChecksumSum},     // reading every byte once
    {"CRC-16", kChecksumCrc16},
    {"CRC-32", kChecksumCrc32},
    {"SHA-256", kChecksumSha256},
    {"all checksums", kChecksumAll},
    {"CRC-32, 128-bit registers", kChecksumCrc32, ChecksumInstructions::k128Bit},
    {"CRC-32, portable code", kChecksumCrc32, ChecksumInstructions::kNone},
    {"SHA-256, portable code", kChecksumSha256, ChecksumInstructions::kNone},
    {"all checksums, portable code", kChecksumAll, ChecksumInstructions::kNone},
};

// The checksum code alone, without the document's windows: four passes over a block in memory
// four times the size of the processor's last cache, which make 1 GiB.
constexpr std::size_t kBenchMemoryBlock = 256u << 20;

inline bool ChecksumMemory(const std::uint8_t* block, const BenchChecksum& checksum,
                           ChecksumResults* results) {
    LimitChecksumInstructions(checksum.most);
    ChecksumSet sums(checksum.kinds);
    for (int pass = 0; pass < 4; ++pass) {
        for (std::size_t at = 0; at < kBenchMemoryBlock; at += kBenchSlice) {
            sums.Update(block + at, kBenchSlice);
        }
    }
    LimitChecksumInstructions(ChecksumInstructions::kAll);
    *results = sums.Finish();
    return results->bytes == kBenchFileBytes;
}

// Fills out with random bytes from 1 to 255; state carries on from one block to the next.
inline void RandomNonZeroBytes(std::uint8_t* out, std::size_t size, std::uint64_t& state) {
    for (std::size_t i = 0; i < size; ++i) {
        state ^= state << 13;  // xorshift64
        state ^= state >> 7;
        state ^= state << 17;
        out[i] = static_cast<std::uint8_t>(1 + (state >> 24) % 255);
    }
}

// A search over the whole document; true when it ran to the end without a match.
inline bool SearchFindsNothing(HexDocument& doc, const BenchSearch& search) {
    HexPattern pattern;
    const HexPatternError error =
        search.hex ? HexParseHexPattern(search.text, &pattern)
                   : HexParseTextPattern(search.text, search.ignoreCase, &pattern);
    if (error != kHexPatternOk) return false;
    HexSearch run(doc, pattern, 0, false);
    HexScanStatus status;
    while ((status = run.Step(kBenchSlice)) == kHexScanMore) {
    }
    return status == kHexScanNotFound && run.Done() == doc.length;
}

// Checksums over the whole document; the results, or nothing when the run failed.
inline bool ChecksumDocument(HexDocument& doc, const BenchChecksum& checksum,
                             ChecksumResults* results) {
    LimitChecksumInstructions(checksum.most);
    HexChecksumRun run(doc, 0, doc.length, checksum.kinds);
    HexScanStatus status;
    while ((status = run.Step(kBenchSlice)) == kHexScanMore) {
    }
    LimitChecksumInstructions(ChecksumInstructions::kAll);
    *results = run.Results();
    return status == kHexScanDone && results->bytes == doc.length;
}
