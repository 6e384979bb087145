#include "app/address_rules.h"

#include <cstdio>

#include "device/chip_types.h"

std::int32_t ParseHex(const char* text) {
    std::uint32_t value = 0;
    if (text == nullptr) return 0;
    for (; *text != '\0'; ++text) {
        char c = *text;
        std::uint32_t digit;
        if (c >= '0' && c <= '9') {
            digit = static_cast<std::uint32_t>(c - '0');
        } else if (c >= 'A' && c <= 'F') {
            digit = static_cast<std::uint32_t>(c - 'A' + 10);
        } else if (c >= 'a' && c <= 'f') {
            digit = static_cast<std::uint32_t>(c - 'a' + 10);
        } else {
            continue;
        }
        value = value * 16 + digit;
    }
    return static_cast<std::int32_t>(value);
}

std::string FormatAddress(std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%.6X", static_cast<unsigned>(value));
    return text;
}

namespace {
// Signed 32-bit arithmetic that wraps like the registers it models, without overflow UB.
std::int32_t Wrap(std::int64_t value) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value & 0xFFFFFFFF));
}
}  // namespace

std::int32_t RangeLength(std::int32_t start, std::int32_t end) {
    return Wrap(static_cast<std::int64_t>(end) - start + 1);
}

BoxUpdate ComputeRangeSync(int changedBox, const AddressBoxes& boxes) {
    std::int32_t bufferSpan = Wrap(static_cast<std::int64_t>(boxes.bufferEnd) - boxes.bufferStart);
    std::int32_t chipSpan = Wrap(static_cast<std::int64_t>(boxes.chipEnd) - boxes.chipStart);
    if ((changedBox == kBoxBufferStart || changedBox == kBoxBufferEnd) && bufferSpan >= 0) {
        return {kBoxChipEnd, Wrap(static_cast<std::int64_t>(boxes.chipStart) + bufferSpan)};
    }
    if ((changedBox == kBoxChipStart || changedBox == kBoxChipEnd) && chipSpan >= 0) {
        return {kBoxBufferEnd, Wrap(static_cast<std::int64_t>(boxes.bufferStart) + chipSpan)};
    }
    return {0, 0};
}

namespace {

// Whether length bytes from bufferStart lie inside the image buffer.
bool InsideImageBuffer(std::int32_t bufferStart, std::int32_t length) {
    return bufferStart >= 0 && length >= 0 &&
           static_cast<std::int64_t>(bufferStart) + length <= kImageBufferSize;
}

std::int32_t ChipSizeOf(std::int32_t chipType) {
    const ChipType* chip = FindChipType(chipType);
    return chip != nullptr ? chip->size : 0;
}

}  // namespace

RangeMessages ValidateTransferRanges(const SettingsRecord& s) {
    RangeMessages messages;
    std::int32_t chipLength = RangeLength(s.chipStart, s.chipEnd);
    std::int32_t bufferLength = RangeLength(s.bufferStart, s.bufferEnd);

    if (s.chipStart % 64 != 0) messages.push_back(kMsgChipStartAlign);
    if (chipLength <= 0) messages.push_back(kMsgChipReversed);
    if (chipLength % 64 != 0) messages.push_back(kMsgChipAlign);
    if (s.transferDirection != 0) {
        if (bufferLength <= 0) messages.push_back(kMsgSourceReversed);
        if (bufferLength % 64 != 0) messages.push_back(kMsgSourceAlign);
    }
    std::int32_t size = ChipSizeOf(s.chipType);
    if (size < chipLength || size < s.chipEnd || size < bufferLength || s.chipStart < 0) {
        messages.push_back(kMsgOutsideChip);
        return messages;
    }
    if (messages.empty() && !InsideImageBuffer(s.bufferStart, chipLength)) {
        messages.push_back(kMsgOutsideBuffer);
    }
    return messages;
}

RangeMessages ValidateVerifyRanges(const SettingsRecord& s) {
    RangeMessages messages;
    std::int32_t chipLength = RangeLength(s.chipStart, s.chipEnd);
    if (chipLength <= 0) {
        messages.push_back(kMsgChipReversed);
        return messages;
    }
    if (s.chipStart < 0 || s.chipEnd >= ChipSizeOf(s.chipType)) {
        messages.push_back(kMsgOutsideChip);
    }
    if (!InsideImageBuffer(s.bufferStart, chipLength)) messages.push_back(kMsgOutsideBuffer);
    return messages;
}

RangeMessages ValidateSaveRange(const SettingsRecord& s) {
    RangeMessages messages;
    std::int32_t length = RangeLength(s.bufferStart, s.bufferEnd);
    if (length <= 0) {
        messages.push_back(kMsgBufferReversed);
    } else if (!InsideImageBuffer(s.bufferStart, length)) {
        messages.push_back(kMsgOutsideBuffer);
    }
    return messages;
}
