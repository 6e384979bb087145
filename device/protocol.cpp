#include "device/protocol.h"

namespace {

constexpr ChipProtocol kChipProtocols[] = {
    {'2', '2', 2},  // AT29C256
    {'4', '4', 3},  // AM29F040
    {'5', '5', 2},  // 27SF512
    {'3', 0, 2},    // 2732A
    {'5', 0, 2},    // 27C128
    {'5', 0, 2},    // 27C256
    {'5', 0, 2},    // 27C512
};

}  // namespace

const ChipProtocol* FindChipProtocol(std::int32_t chipType) {
    constexpr auto count = static_cast<std::int32_t>(sizeof kChipProtocols / sizeof kChipProtocols[0]);
    return chipType >= 0 && chipType < count ? &kChipProtocols[chipType] : nullptr;
}

std::uint32_t BuildBlockHeader(std::uint8_t* frame, const ChipProtocol& chip, char digit,
                               char command, std::uint32_t count, std::uint32_t address) {
    std::uint32_t size = 0;
    frame[size++] = static_cast<std::uint8_t>(digit);
    frame[size++] = static_cast<std::uint8_t>(command);
    frame[size++] = static_cast<std::uint8_t>(count);  // 256 becomes 0
    for (int shift = (chip.addressBytes - 1) * 8; shift >= 0; shift -= 8) {
        frame[size++] = static_cast<std::uint8_t>(address >> shift);
    }
    return size;
}
