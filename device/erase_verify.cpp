// Erase, blank check and verify: unit commands, or a ReadChip/WriteChip and a host-side check.
#include <algorithm>
#include <vector>

#include "device/chip_types.h"
#include "device/kvtandrel.h"
#include "device/protocol.h"

namespace {

constexpr std::int32_t kMaxQuickLength = 0xFFFFFF;  // the 'Q' frame carries three length bytes

bool IsBlank(const std::vector<std::uint8_t>& data) {
    return std::all_of(data.begin(), data.end(), [](std::uint8_t b) { return b == 0xFF; });
}

void ResetProgress(ProgressSink* progress) {
    if (progress != nullptr) progress->SetPos(0);
}

}  // namespace

std::uint32_t WeightedChecksum16(const std::uint8_t* data, std::uint32_t n) {
    if (data == nullptr) return 0;
    // Unsigned arithmetic wraps modulo 2^32, which keeps the low 16 bits exact.
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < n; ++i) sum += i * data[i];
    return sum & 0xFFFF;
}

std::int32_t KVTandrel::EraseReply() {
    std::uint8_t reply = 0;
    std::uint32_t received = 0;
    if (!Receive(&reply, 1, &received) || received != 1 || reply == 'F' || reply == '?') {
        return kTandrelRefused;
    }
    return kTandrelDone;
}

std::int32_t KVTandrel::EraseSector(std::int32_t sector) {
    std::int32_t result;
    if (!HasProgrammerCapability()) {
        result = kTandrelNotProgrammer;
    } else if (sector < 0 || sector >= kSectorChip.sectorCount) {
        result = kTandrelNoPort;
    } else {
        idle = 0;
        SetCommReadTimeout(kTransferTimeoutMs);
        const auto s = static_cast<std::uint8_t>(sector);
        const std::uint8_t frame[4] = {'4', 'E', s, static_cast<std::uint8_t>('4' + 'E' + s)};
        result = Send(frame, sizeof frame) ? EraseReply() : kTandrelRefused;
    }
    SetCommReadTimeout(kStandingTimeoutMs);
    EndExchange();
    return result;
}

std::int32_t KVTandrel::BulkErase() {
    std::int32_t result;
    if (!HasProgrammerCapability()) {
        result = kTandrelNotProgrammer;
    } else {
        idle = 0;
        SetCommReadTimeout(kTransferTimeoutMs);
        const std::uint8_t frame[3] = {'5', 'E', 'z'};  // 'z' is the sum of '5' and 'E'
        result = Send(frame, sizeof frame) ? EraseReply() : kTandrelRefused;
    }
    SetCommReadTimeout(kStandingTimeoutMs);
    EndExchange();
    return result;
}

std::int32_t KVTandrel::EraseChip(std::int32_t chipType, ProgressSink* progress) {
    std::int32_t result = 1;
    if (!HasProgrammerCapability() || portOpen == 0) {
        result = 0;
    } else {
        idle = 0;
        Purge();
        const ChipType* chip = FindChipType(chipType);
        switch (chip != nullptr ? chip->erase : EraseMethod::kNone) {
            case EraseMethod::kFillWrite: {
                std::vector<std::uint8_t> blank(static_cast<std::size_t>(chip->size), 0xFF);
                if (WriteChip(chipType, blank.data(), 0, chip->size, progress) < 0) result = -1;
                break;
            }
            case EraseMethod::kSectors:
                if (progress != nullptr) {
                    progress->SetRange(0, chip->sectorCount);
                    progress->SetStep(1);
                    progress->SetPos(0);
                }
                for (std::int32_t sector = 0; sector < chip->sectorCount; ++sector) {
                    if (EraseSector(sector) < 0) {
                        result = 0;
                        break;
                    }
                    if (progress != nullptr) progress->StepIt();
                }
                break;
            case EraseMethod::kWholeChip:
                if (BulkErase() < 0) result = -1;
                break;
            case EraseMethod::kNone: break;  // a read-only type has nothing to erase
        }
    }
    EndExchange();
    ResetProgress(progress);
    return result;
}

std::int32_t KVTandrel::BlankCheckSector(std::int32_t sector, ProgressSink* progress) {
    std::int32_t result;
    if (!IsProgrammerFamily() || portOpen == 0 || sector < 0 ||
        sector >= kSectorChip.sectorCount) {
        result = -1;
    } else {
        idle = 0;
        // Only one type has sectors, so the sector is read as that chip.
        const std::int32_t size = kSectorChip.sectorSize;
        std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
        if (ReadChip(kSectorChipType, data.data(), static_cast<std::uint32_t>(sector * size), size,
                     progress) < 0) {
            result = -1;
        } else {
            result = IsBlank(data) ? 1 : 0;
        }
    }
    ResetProgress(progress);
    EndExchange();
    return result;
}

std::int32_t KVTandrel::BlankCheckChip(std::int32_t chipType, ProgressSink* progress) {
    std::int32_t result;
    const ChipType* chip = FindChipType(chipType);
    if (!IsProgrammerFamily() || portOpen == 0 || chip == nullptr) {
        result = -1;
    } else {
        std::vector<std::uint8_t> data(static_cast<std::size_t>(chip->size));
        if (ReadChip(chipType, data.data(), 0, chip->size, progress) < 0) {
            result = -1;
        } else {
            result = IsBlank(data) ? 1 : 0;
        }
    }
    ResetProgress(progress);
    return result;
}

std::int32_t KVTandrel::VerifyChip(VerifyRequest request) {
    std::int32_t result = 1;
    const bool bufferMissing = request.buffer == nullptr && request.length > 0;
    if (!IsProgrammerFamily() || portOpen == 0) {
        result = -1;
    } else if (request.quick != 0) {
        result = QuickVerify(request, bufferMissing);
    } else {
        const ChipType* chip = FindChipType(request.chipType);
        if (chip == nullptr) {
            result = -1;
        } else if (request.length < 0 || bufferMissing) {
            LogRefusedBuffer("Chip Verify", request.length);
            result = -1;
        } else if (request.length > chip->size) {
            // The range is read into a buffer of the chip's size: refuse what would not fit.
            Log("KVTandrel: Chip Verify refused: %i bytes do not fit a chip of %i bytes",
                request.length, chip->size);
            result = -1;
        } else {
            std::vector<std::uint8_t> working(static_cast<std::size_t>(chip->size));
            if (ReadChip(request.chipType, working.data(), request.address, request.length,
                         request.progress) < 0) {
                result = -1;
            } else {
                for (std::int32_t i = 0; i < request.length; ++i) {
                    if (working[i] != request.buffer[i]) {
                        Log("KVTandrel: Chip Verify failed at offset 0x%.6X. Local Buffer: "
                            "0x%.2X. Chip: 0x%.2X",
                            i, request.buffer[i], working[i]);
                        result = 0;
                        break;
                    }
                }
            }
        }
    }
    ResetProgress(request.progress);
    return result;
}

std::int32_t KVTandrel::QuickVerify(const VerifyRequest& request, bool bufferMissing) {
    if (request.length < 0 || request.length > kMaxQuickLength || bufferMissing) {
        LogRefusedBuffer("Chip Quick Verify", request.length);
        return -1;
    }
    const auto length = static_cast<std::uint32_t>(request.length);
    const std::uint32_t local = WeightedChecksum16(request.buffer, length) & 0xFFFF;
    const std::uint8_t frame[7] = {
        'Q',
        static_cast<std::uint8_t>(length >> 16),
        static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(length),
        static_cast<std::uint8_t>(request.address >> 16),
        static_cast<std::uint8_t>(request.address >> 8),
        static_cast<std::uint8_t>(request.address),
    };
    std::uint8_t reply[2] = {};
    std::uint32_t received = 0;
    if (!Send(frame, sizeof frame) || !Receive(reply, sizeof reply, &received) ||
        received != sizeof reply) {
        return -1;
    }
    const std::uint32_t chip = reply[0] * 256u + reply[1];
    if (chip != local) {
        Log("KVTandrel: Chip Quick Verify failed. Local Checksum: 0x%.4X. Chip Checksum: 0x%.4X",
            local, chip);
        return 0;
    }
    return 1;
}
