// Facts of the wire protocol shared by the KVTandrel operations: read timeouts and the header of
// a block frame (how each chip type is addressed is its row in device/chip_types.h).
#pragma once

#include <cstdint>

#include "device/chip_types.h"

// Read total-timeout constants (ms): standing, during a version request, during a transfer or
// an erase.
inline constexpr std::int32_t kStandingTimeoutMs = 300;
inline constexpr std::int32_t kVersionTimeoutMs = 110;
inline constexpr std::int32_t kTransferTimeoutMs = 6000;

// The status byte that accepts a speed change or a written block.
inline constexpr std::uint8_t kAccepted = 'O';

inline constexpr std::uint32_t kChipBlockSize = 256;
inline constexpr std::uint32_t kMaxReadFrameSize = 7;                     // 3-byte address
inline constexpr std::uint32_t kMaxWriteFrameSize = 6 + kChipBlockSize + 1;  // 263

// Writes digit, command, the count byte (0 standing for 256) and the address, most significant
// byte first, to frame. Returns the number of bytes written (5 or 6).
[[nodiscard]] std::uint32_t BuildBlockHeader(std::uint8_t* frame, const ChipType& chip, char digit,
                                             char command, std::uint32_t count,
                                             std::uint32_t address);
