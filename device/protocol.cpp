#include "device/protocol.h"

std::uint32_t BuildBlockHeader(std::uint8_t* frame, const ChipType& chip, char digit, char command,
                               std::uint32_t count, std::uint32_t address) {
    std::uint32_t size = 0;
    frame[size++] = static_cast<std::uint8_t>(digit);
    frame[size++] = static_cast<std::uint8_t>(command);
    frame[size++] = static_cast<std::uint8_t>(count);  // 256 becomes 0
    for (int shift = (chip.addressBytes - 1) * 8; shift >= 0; shift -= 8) {
        frame[size++] = static_cast<std::uint8_t>(address >> shift);
    }
    return size;
}
