// Programming only what differs. After a small change of an image, re-programming need not
// rewrite the whole chip: the unit's checksums tell which 256-byte blocks of the range hold the
// image already, and only the others are written, which also spares the chip's write cycles.
//
// A type whose writes can only clear bits (ChipType::writeClearsBits) needs an erase where a
// byte needs a bit set. The blocks that differ are read (only those) to tell; a sector is then
// erased only when it lies wholly in the range, so that it is programmed whole from the image
// and no byte outside the range is lost. Where that cannot be, nothing is written and the caller
// programs the whole range the usual way, which, as ever, needs the chip erased.
//
// The checksums can miss differences that cancel out in them. The verify that follows
// (VerifyChanged) catches those: it programs the blocks it found and verifies once more.
//
// Worker thread, like the other chip operations of KVTandrel; pointers are borrowed for the
// call. Portable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "device/progress_sink.h"

class KVTandrel;
struct ChipType;
struct VerifyRequest;

// Blocks of 256 bytes in a region that is asked for its checksums first; only the blocks of a
// region that differs are asked one by one. Each frame costs its turnaround (about 0.14 ms at
// 921600 baud), larger regions cost more blocks asked again. Measured through the paced
// simulator (bench/changed_bench.cpp), programming a 512 KiB range with one KiB changed / with
// sixteen single bytes changed far apart: single blocks 561 / 601 ms, regions of 8 blocks 97 /
// 212 ms, 16 blocks 57 / 196 ms, 32 blocks 45 / 268 ms, 64 blocks 43 / 399 ms.
inline constexpr std::int32_t kChangedRegionBlocks = 16;

struct ChangedRequest {
    std::int32_t chipType;
    std::uint32_t address;       // first chip address of the range
    const std::uint8_t* buffer;  // the image; buffer[0] belongs to address
    std::int32_t length;         // bytes in the range
    // May be null. Its range is the range's blocks: it steps for each block found to hold the
    // image, then for each block written that had not stepped yet.
    ProgressSink* progress;
    // What the chip holds, when known (the range as a full verify read it): the blocks are
    // compared with it instead of asking the unit. Without it, readRange reads the whole range
    // to compare (after a quick verify, whose checksums cannot tell where the chip differs).
    const std::uint8_t* chipBytes = nullptr;
    bool readRange = false;
    std::int32_t regionBlocks = kChangedRegionBlocks;  // other sizes are for measurements
};

// What ProgramChanged did, also when it failed part way.
struct ChangedReport {
    std::int32_t length = 0;          // bytes in the range
    std::int32_t programmed = 0;      // bytes written (and acknowledged)
    std::uint32_t erasedSectors = 0;  // bit s: sector s was erased before its blocks were written
    bool erasedChip = false;          // the whole chip was (a type erased only as a whole)
    // A byte needs a bit set that no erase may give without losing bytes outside the range:
    // nothing was written. eraseAddress is the first such byte's chip address, eraseSector its
    // sector (-1 for a type erased only as a whole).
    bool wholeRange = false;
    std::uint32_t eraseAddress = 0;
    std::int32_t eraseSector = -1;
};

// "Programmed 1 KiB of 512 KiB; 511 KiB already matched."
[[nodiscard]] std::string ChangedSummaryLine(const ChangedReport& report);
// After VerifyChanged programmed what the checksums had missed (repair.programmed > 0).
[[nodiscard]] std::string ChangedRepairLine(const ChangedReport& repair);
// What the log and vorland-cli say after ProgramChanged (byVerify: the one of VerifyChanged):
// the sectors erased first, if any ("Erased sector 3 (030000-03FFFF) first: bytes there needed
// a bit set."), then the summary or the repair line.
[[nodiscard]] std::vector<std::string> ChangedLines(const ChangedReport& report,
                                                    const ChipType& chip, bool byVerify);
// Why the whole range is programmed instead (report.wholeRange).
[[nodiscard]] std::string ChangedWholeRangeLine(const ChangedReport& report, const ChipType& chip);

// The verify after ProgramChanged: VerifyChip(request); where the chip differs, the blocks that
// differ are programmed (found in what a full verify read, or by reading the range after a
// quick one) and the range is verified once more. The result of the last VerifyChip, or -1 when
// programming failed (LastFailure tells why). repair, when not null, gets what that
// programming did (programmed 0 and no wholeRange: none was needed).
[[nodiscard]] std::int32_t VerifyChanged(KVTandrel& device, VerifyRequest request,
                                         ChangedReport* repair);
