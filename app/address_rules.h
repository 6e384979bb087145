// The address boxes' rules: lenient hexadecimal parsing, formatting, keeping the chip and
// buffer ranges the same length, and the checks a transfer must pass. Portable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings.h"
#include "device/chip_types.h"

// The image buffer the programmer window owns: as large as the largest chip.
constexpr std::int32_t kImageBufferSize = 0x80000;
static_assert(LargestChipSize() <= kImageBufferSize, "a chip type does not fit the image buffer");

// Box identifiers of the four address boxes.
constexpr int kBoxBufferStart = 2705;
constexpr int kBoxBufferEnd = 2706;
constexpr int kBoxChipStart = 2707;
constexpr int kBoxChipEnd = 2708;

// Reads a box's text: every hexadecimal digit shifts into the value, every other character is
// skipped without ending the scan. Empty text gives 0; more than eight digits wrap.
std::int32_t ParseHex(const char* text);

// The text the window writes into a box: "%.6X" (upper case, at least six digits; negative
// values print as eight digits).
std::string FormatAddress(std::int32_t value);

struct AddressBoxes {
    std::int32_t bufferStart, bufferEnd, chipStart, chipEnd;
};

// What the range synchronisation writes after box `changedBox` changed: a buffer box moves
// the chip end, a chip box moves the buffer end, so both ranges keep one length. A negative
// span changes nothing. `box` is 0 when no box is to be written.
struct BoxUpdate {
    int box;
    std::int32_t value;
};
BoxUpdate ComputeRangeSync(int changedBox, const AddressBoxes& boxes);

// The lines logged by a refused request, in order; empty when it may start.
using RangeMessages = std::vector<const char*>;

constexpr char kMsgChipStartAlign[] = "ERROR: Chip start address must be divisible by 64";
constexpr char kMsgChipReversed[] = "ERROR: Chip start and end addresses are invalid (reversed?)";
constexpr char kMsgChipAlign[] = "ERROR: Chip memory range must be divisible by 64";
constexpr char kMsgSourceReversed[] =
    "ERROR: Source Memory start and end addresses are invalid (reversed?)";
constexpr char kMsgSourceAlign[] = "ERROR: Source memory range should be divisible by 64";
constexpr char kMsgOutsideChip[] = "ERROR: Memory range and/or address outside selected EPROM size";
constexpr char kMsgOutsideBuffer[] = "ERROR: Buffer range outside the 512 KiB image buffer";
constexpr char kMsgBufferReversed[] =
    "ERROR: Buffer start and end addresses are invalid (reversed?)";

// The checks of a program (transferDirection != 0) or read request, over the settings'
// addresses and chip type. Besides the chip's own limits, the buffer window of the transfer
// (buffer start, chip range length) must lie inside the image buffer, and the chip start may not
// be negative.
RangeMessages ValidateTransferRanges(const SettingsRecord& settings);

// The checks of a verify request: the chip range must be a forward range inside the chip and its
// buffer window inside the image buffer.
RangeMessages ValidateVerifyRanges(const SettingsRecord& settings);

// The checks of saving the buffer range to a file: forward, and inside the image buffer.
RangeMessages ValidateSaveRange(const SettingsRecord& settings);

// The number of bytes a request moves: end - start + 1, in wrapping 32-bit arithmetic.
std::int32_t RangeLength(std::int32_t start, std::int32_t end);
