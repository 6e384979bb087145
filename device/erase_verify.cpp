// Erase, blank check and verify: unit commands, or a ReadChip/WriteChip and a host-side check.
#include <algorithm>
#include <vector>

#include "device/chip_types.h"
#include "device/kvtandrel.h"
#include "device/protocol.h"

namespace {

constexpr std::int32_t kMaxQuickLength = 0xFFFFFF;  // the 'Q' frame carries three length bytes

// Reads size bytes from address into readBack, or into a block of its own when that is null:
// 1 when they are all FF, 0 when not, -1 when they could not be read.
std::int32_t ReadBlank(KVTandrel& device, std::int32_t chipType, std::uint32_t address,
                       std::int32_t size, ProgressSink* progress, std::uint8_t* readBack) {
    std::vector<std::uint8_t> own;
    if (readBack == nullptr) {
        own.resize(static_cast<std::size_t>(size));
        readBack = own.data();
    }
    if (device.ReadChip(chipType, readBack, address, size, progress) < 0) return -1;
    return std::all_of(readBack, readBack + size, [](std::uint8_t b) { return b == 0xFF; }) ? 1 : 0;
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

std::int32_t KVTandrel::EraseCommand(TandrelStep step, const std::uint8_t* frame,
                                     std::uint32_t size, std::uint32_t what) {
    idle = 0;
    static_cast<void>(SetCommReadTimeout(kTransferTimeoutMs));
    TandrelFailure failure = MakeFailure(step, TandrelProblem::kNone, kTandrelRefused);
    failure.address = what;
    std::uint8_t reply = 0;
    std::uint32_t received = 0;
    if (!Send(frame, size)) {
        failure.problem = TandrelProblem::kWriteFailed;
    } else if (!Receive(&reply, 1, &received)) {
        failure.problem = TandrelProblem::kReadFailed;
    } else if (received != 1) {
        failure.problem = TandrelProblem::kNoReply;
    } else if (reply == 'F' || reply == '?') {
        failure.problem = TandrelProblem::kRefused;
        failure.found = reply;
    }
    return failure.problem == TandrelProblem::kNone ? kTandrelDone : Failed(failure);
}

std::int32_t KVTandrel::EraseSector(std::int32_t sector) {
    Operation operation(*this, Operation::kClosesLostLink);
    constexpr TandrelStep kStep = TandrelStep::kSectorErase;
    std::int32_t result;
    if (!HasProgrammerCapability()) {
        result = Failed(MakeFailure(kStep, TandrelProblem::kNotProgrammer, kTandrelNotProgrammer));
    } else if (sector < 0 || sector >= kSectorChip.sectorCount) {
        result = Failed(MakeFailure(kStep, TandrelProblem::kBadArgument, kTandrelNoPort));
    } else {
        result = SectorEraseCommand(sector);
    }
    static_cast<void>(SetCommReadTimeout(kStandingTimeoutMs));
    EndExchange();
    return result;
}

std::int32_t KVTandrel::SectorEraseCommand(std::int32_t sector) {
    const auto s = static_cast<std::uint8_t>(sector);
    const std::uint8_t frame[4] = {'4', 'E', s, static_cast<std::uint8_t>('4' + 'E' + s)};
    return EraseCommand(TandrelStep::kSectorErase, frame, sizeof frame, s);
}

std::int32_t KVTandrel::ChipEraseCommand() {
    const std::uint8_t frame[3] = {'5', 'E', 'z'};  // 'z' is the sum of '5' and 'E'
    return EraseCommand(TandrelStep::kChipErase, frame, sizeof frame, 0);
}

std::int32_t KVTandrel::BulkErase() {
    Operation operation(*this, Operation::kClosesLostLink);
    constexpr TandrelStep kStep = TandrelStep::kChipErase;
    std::int32_t result;
    if (!HasProgrammerCapability()) {
        result = Failed(MakeFailure(kStep, TandrelProblem::kNotProgrammer, kTandrelNotProgrammer));
    } else {
        result = ChipEraseCommand();
    }
    static_cast<void>(SetCommReadTimeout(kStandingTimeoutMs));
    EndExchange();
    return result;
}

std::int32_t KVTandrel::EraseChip(std::int32_t chipType, ProgressSink* progress) {
    Operation operation(*this, Operation::kClosesLostLink);
    std::int32_t result = 1;
    if (!HasProgrammerCapability() || portOpen == 0) {
        result = Failed(MakeFailure(
            TandrelStep::kChipErase,
            portOpen == 0 ? TandrelProblem::kNoPort : TandrelProblem::kNotProgrammer, 0));
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
                    if (Stopping()) {
                        result = 0;
                        Failed(MakeFailure(TandrelStep::kChipErase, TandrelProblem::kCancelled,
                                           kTandrelCancelled));
                        break;
                    }
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

std::int32_t KVTandrel::BlankCheckSector(std::int32_t sector, ProgressSink* progress,
                                         std::uint8_t* readBack) {
    Operation operation(*this, Operation::kClosesLostLink);
    std::int32_t result;
    if (!IsProgrammerFamily() || portOpen == 0 || sector < 0 || sector >= kSectorChip.sectorCount) {
        result = Failed(MakeFailure(TandrelStep::kReadBlock, WhyRefused(), -1));
    } else {
        idle = 0;
        // Only one type has sectors, so the sector is read as that chip.
        const std::int32_t size = kSectorChip.sectorSize;
        result = ReadBlank(*this, kSectorChipType, static_cast<std::uint32_t>(sector * size), size,
                           progress, readBack);
    }
    ResetProgress(progress);
    EndExchange();
    return result;
}

std::int32_t KVTandrel::BlankCheckChip(std::int32_t chipType, ProgressSink* progress,
                                       std::uint8_t* readBack) {
    Operation operation(*this, Operation::kClosesLostLink);
    std::int32_t result;
    const ChipType* chip = FindChipType(chipType);
    if (!IsProgrammerFamily() || portOpen == 0 || chip == nullptr) {
        result = Failed(MakeFailure(TandrelStep::kReadBlock, WhyRefused(), -1));
    } else {
        result = ReadBlank(*this, chipType, 0, chip->size, progress, readBack);
    }
    ResetProgress(progress);
    return result;
}

TandrelProblem KVTandrel::WhyRefused() const {
    if (!IsProgrammerFamily()) return TandrelProblem::kNotProgrammer;
    return portOpen == 0 ? TandrelProblem::kNoPort : TandrelProblem::kBadArgument;
}

std::int32_t KVTandrel::VerifyChip(VerifyRequest request) {
    Operation operation(*this, Operation::kClosesLostLink);
    const TandrelStep step = request.quick != 0 ? TandrelStep::kQuickVerify : TandrelStep::kVerify;
    const ChipType* chip = FindChipType(request.chipType);
    const bool bufferBad = request.length < 0 || (request.buffer == nullptr && request.length > 0);
    std::int32_t result = 1;
    if (!IsProgrammerFamily() || portOpen == 0) {
        result = Failed(MakeFailure(step, WhyRefused(), -1));
    } else if (chip == nullptr) {
        result = Failed(MakeFailure(step, TandrelProblem::kBadArgument, -1));
    } else if (bufferBad || (request.quick != 0 && request.length > kMaxQuickLength)) {
        TandrelFailure failure = MakeFailure(step, TandrelProblem::kBadBuffer, -1);
        failure.found = static_cast<std::uint32_t>(request.length);
        result = Failed(failure);
    } else if (request.quick != 0) {
        result = QuickVerify(request);
    } else if (request.length > chip->size) {
        // The range is read into a buffer of the chip's size: refuse what would not fit.
        TandrelFailure failure = MakeFailure(step, TandrelProblem::kTooLong, -1);
        failure.expected = static_cast<std::uint32_t>(chip->size);
        failure.found = static_cast<std::uint32_t>(request.length);
        result = Failed(failure);
    } else {
        // A full verify hands back what it read when asked (readBack), so that every
        // difference can be told without reading the chip again.
        std::vector<std::uint8_t> working;
        std::uint8_t* chipBytes = request.readBack;
        if (chipBytes == nullptr) {
            working.resize(static_cast<std::size_t>(chip->size));
            chipBytes = working.data();
        }
        result = ReadAndCompare(request, 0, request.length, chipBytes);
    }
    ResetProgress(request.progress);
    return result;
}

std::int32_t KVTandrel::ReadAndCompare(const VerifyRequest& request, std::int32_t offset,
                                       std::int32_t length, std::uint8_t* working) {
    if (ReadChip(request.chipType, working, request.address + static_cast<std::uint32_t>(offset),
                 length, request.progress) < 0) {
        return -1;
    }
    const std::uint8_t* expected = request.buffer + offset;
    const auto differs = std::mismatch(working, working + length, expected);
    if (differs.first == working + length) return 1;
    TandrelFailure failure = MakeFailure(TandrelStep::kVerify, TandrelProblem::kMismatch, 0);
    failure.address = static_cast<std::uint32_t>(offset + (differs.first - working));
    failure.expected = *differs.second;
    failure.found = *differs.first;
    return Failed(failure);
}

// The unit's sum weighs byte i of its range by i: the first byte not at all, and at every
// multiple of 32 KiB an even weight lets only bit 0 through. A second sum over the range less
// its first byte gives every later byte an odd weight in one of the two, and an odd weight is
// invertible modulo 65536, so any single differing byte changes a compared sum. The first block
// is read and compared byte by byte.
std::int32_t KVTandrel::QuickVerify(const VerifyRequest& request) {
    std::int32_t result = CompareChipSum(request, 0);
    if (result == 1 && request.length > 1) result = CompareChipSum(request, 1);
    if (result == 1 && request.length > 0) {
        std::uint8_t block[kChipBlockSize];
        const auto first = std::min(request.length, static_cast<std::int32_t>(kChipBlockSize));
        result = ReadAndCompare(request, 0, first, block);
    }
    return result;
}

std::int32_t KVTandrel::CompareChipSum(const VerifyRequest& request, std::int32_t offset) {
    if (Stopping()) {
        return Failed(MakeFailure(TandrelStep::kQuickVerify, TandrelProblem::kCancelled, -1));
    }
    const auto length = static_cast<std::uint32_t>(request.length - offset);
    const std::uint32_t address = request.address + static_cast<std::uint32_t>(offset);
    const std::uint32_t local = WeightedChecksum16(request.buffer + offset, length) & 0xFFFF;
    std::uint32_t chip = 0;
    if (AskChipSum(address, length, static_cast<std::uint32_t>(offset), &chip) < 0) return -1;
    if (chip == local) return 1;
    TandrelFailure failure = MakeFailure(TandrelStep::kQuickVerify, TandrelProblem::kMismatch, 0);
    failure.address = static_cast<std::uint32_t>(offset);
    failure.count = length;
    failure.expected = local;
    failure.found = chip;
    return Failed(failure);
}

std::int32_t KVTandrel::AskChipSum(std::uint32_t address, std::uint32_t length,
                                   std::uint32_t offset, std::uint32_t* sum) {
    const std::uint8_t frame[7] = {
        'Q',
        static_cast<std::uint8_t>(length >> 16),
        static_cast<std::uint8_t>(length >> 8),
        static_cast<std::uint8_t>(length),
        static_cast<std::uint8_t>(address >> 16),
        static_cast<std::uint8_t>(address >> 8),
        static_cast<std::uint8_t>(address),
    };
    TandrelFailure failure = MakeFailure(TandrelStep::kQuickVerify, TandrelProblem::kNone, -1);
    failure.address = offset;
    failure.count = length;
    std::uint8_t reply[2] = {};
    std::uint32_t received = 0;
    if (!Send(frame, sizeof frame)) {
        failure.problem = TandrelProblem::kWriteFailed;
    } else if (!Receive(reply, sizeof reply, &received)) {
        failure.problem = TandrelProblem::kReadFailed;
    } else if (received != sizeof reply) {
        failure.problem = TandrelProblem::kShortReply;
        failure.expected = sizeof reply;
        failure.found = received;
    }
    if (failure.problem != TandrelProblem::kNone) return Failed(failure);
    *sum = reply[0] * 256u + reply[1];
    return 1;
}
