// Facts of the wire protocol shared by the KVTandrel operations: read timeouts, how each chip
// type is addressed, and the header of a block frame.
#pragma once

#include <cstdint>

// Read total-timeout constants (ms): standing, during a version request, during a transfer or
// an erase.
inline constexpr std::int32_t kStandingTimeoutMs = 300;
inline constexpr std::int32_t kVersionTimeoutMs = 110;
inline constexpr std::int32_t kTransferTimeoutMs = 6000;

// The status byte that accepts a speed change or a written block.
inline constexpr std::uint8_t kAccepted = 'O';

struct ChipProtocol {
    char readDigit;    // opens a read frame
    char writeDigit;   // opens a write frame; 0 for the read-only types
    int addressBytes;  // 2, or 3 for the AM29F040
};

inline constexpr std::uint32_t kChipBlockSize = 256;
inline constexpr std::uint32_t kMaxReadFrameSize = 7;                     // 3-byte address
inline constexpr std::uint32_t kMaxWriteFrameSize = 6 + kChipBlockSize + 1;  // 263

// The protocol of a chip type index, or null for an index outside the table.
const ChipProtocol* FindChipProtocol(std::int32_t chipType);

// Writes digit, command, the count byte (0 standing for 256) and the address, most significant
// byte first, to frame. Returns the number of bytes written (5 or 6).
std::uint32_t BuildBlockHeader(std::uint8_t* frame, const ChipProtocol& chip, char digit,
                               char command, std::uint32_t count, std::uint32_t address);
