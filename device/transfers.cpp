// Chip read and write transfers: 256-byte blocks, one frame each, with progress and cancel.
#include <cstdio>
#include <cstring>

#include "device/kvtandrel.h"
#include "device/protocol.h"

namespace {

void ShowBlockAddress(ProgressSink* progress, const char* format, std::uint32_t address) {
    if (progress == nullptr) return;
    char text[32];
    std::snprintf(text, sizeof text, format, address);
    progress->SetText(text);
}

void StepProgress(ProgressSink* progress) {
    if (progress != nullptr) progress->StepIt();
}

// A failure at block `block`, of count bytes, of a transfer that starts at chip address start.
TandrelFailure BlockFailure(TandrelStep step, TandrelProblem problem, std::int32_t code,
                            std::uint32_t start, std::uint32_t block, std::uint32_t count) {
    TandrelFailure failure = MakeFailure(step, problem, code);
    failure.address = start + block * kChipBlockSize;
    failure.block = block;
    failure.count = count;
    return failure;
}

}  // namespace

void KVTandrel::StartProgress(ProgressSink* progress, std::int32_t length) {
    if (progress == nullptr) return;
    progress->SetRange(0, length / static_cast<std::int32_t>(kChipBlockSize));
    progress->SetStep(1);
    progress->SetPos(0);
}

void KVTandrel::EndTransfer(ProgressSink* progress) {
    if (progress != nullptr) {
        progress->SetPos(0);
        progress->SetText("");
    }
    static_cast<void>(SetCommReadTimeout(kStandingTimeoutMs));
    EndExchange();
}

std::int32_t KVTandrel::WriteChip(std::int32_t chipType, const std::uint8_t* src,
                                  std::uint32_t address, std::int32_t length,
                                  ProgressSink* progress) {
    Operation operation(*this, Operation::kClosesLostLink);
    std::int32_t result = kTandrelDone;
    if (const ChipType* chip = StartWrite(chipType, src, length, progress, &result)) {
        result = WriteBlocks(*chip, src, address, length, progress);
    }
    EndTransfer(progress);
    return result;
}

const ChipType* KVTandrel::StartWrite(std::int32_t chipType, const std::uint8_t* src,
                                      std::int32_t length, ProgressSink* progress,
                                      std::int32_t* result) {
    constexpr TandrelStep kStep = TandrelStep::kWriteBlock;
    if (!HasProgrammerCapability()) {
        *result = Failed(MakeFailure(kStep, TandrelProblem::kNotProgrammer, kTandrelNotProgrammer));
        return nullptr;
    }
    if (portOpen == 0) {
        *result = Failed(MakeFailure(kStep, TandrelProblem::kNoPort, kTandrelNoPort));
        return nullptr;
    }
    StartProgress(progress, length);
    idle = 0;
    static_cast<void>(SetCommReadTimeout(kTransferTimeoutMs));
    Purge();
    const ChipType* chip = FindChipType(chipType);
    if (chip == nullptr || !chip->programmable()) {
        *result = Failed(MakeFailure(kStep, TandrelProblem::kBadArgument, kTandrelBadArgument));
        return nullptr;
    }
    if (length < 0 || (src == nullptr && length > 0)) {
        TandrelFailure failure =
            MakeFailure(kStep, TandrelProblem::kBadBuffer, kTandrelBadArgument);
        failure.found = static_cast<std::uint32_t>(length);
        *result = Failed(failure);
        return nullptr;
    }
    return chip;
}

std::int32_t KVTandrel::WriteBlocks(const ChipType& chip, const std::uint8_t* src,
                                    std::uint32_t address, std::int32_t length,
                                    ProgressSink* progress) {
    // Every failure of a write block but a cancel ends the transfer with -1.
    auto failure = [&](std::uint32_t block, std::uint32_t count, TandrelProblem problem) {
        return BlockFailure(TandrelStep::kWriteBlock, problem, kTandrelRefused, address, block,
                            count);
    };
    auto writeBlock = [&](std::uint32_t block, std::uint32_t count) -> std::int32_t {
        const std::uint32_t offset = block * kChipBlockSize;
        const std::uint32_t blockAddress = address + offset;
        ShowBlockAddress(progress, "Writing Address %.6X", blockAddress);
        std::uint8_t frame[kMaxWriteFrameSize];
        std::uint32_t size = BuildBlockHeader(frame, chip, chip.writeDigit, 'W', count, blockAddress);
        std::memcpy(frame + size, src + offset, count);
        size += count;
        frame[size] = Checksum8(frame, static_cast<std::int32_t>(size));
        ++size;
        std::uint8_t reply = 0;
        std::uint32_t received = 0;
        if (!Send(frame, size)) return Failed(failure(block, count, TandrelProblem::kWriteFailed));
        if (!Receive(&reply, 1, &received)) {
            return Failed(failure(block, count, TandrelProblem::kReadFailed));
        }
        if (received != 1) return Failed(failure(block, count, TandrelProblem::kNoReply));
        if (reply != kAccepted) {
            TandrelFailure refused = failure(block, count, TandrelProblem::kRefused);
            refused.expected = kAccepted;
            refused.found = reply;
            return Failed(refused);
        }
        StepProgress(progress);
        return kTandrelDone;
    };

    std::uint32_t start = clock_.TickCount();
    const auto total = static_cast<std::uint32_t>(length);
    const std::uint32_t fullBlocks = total / kChipBlockSize;
    for (std::uint32_t i = 0; i < fullBlocks; ++i) {
        if (Stopping()) {
            TandrelFailure cancelled = failure(i, kChipBlockSize, TandrelProblem::kCancelled);
            cancelled.code = kTandrelCancelled;
            return Failed(cancelled);
        }
        std::int32_t result = writeBlock(i, kChipBlockSize);
        if (result != kTandrelDone) return result;
    }
    if (total % kChipBlockSize != 0) {
        std::int32_t result = writeBlock(fullBlocks, total % kChipBlockSize);
        if (result != kTandrelDone) return result;
    }
    std::uint32_t elapsed = clock_.TickCount() - start;
    Log("KVTandrel: WriteChip took %u milliseconds (%f seconds)", elapsed, elapsed * 0.001);
    return kTandrelDone;
}

std::int32_t KVTandrel::ReadChip(std::int32_t chipType, std::uint8_t* dest, std::uint32_t address,
                                 std::int32_t length, ProgressSink* progress) {
    Operation operation(*this, Operation::kClosesLostLink);
    constexpr TandrelStep kStep = TandrelStep::kReadBlock;
    std::int32_t result;
    if (!HasProgrammerCapability()) {
        result = Failed(MakeFailure(kStep, TandrelProblem::kNotProgrammer, kTandrelNotProgrammer));
    } else if (portOpen == 0) {
        result = Failed(MakeFailure(kStep, TandrelProblem::kNoPort, kTandrelNoPort));
    } else {
        StartProgress(progress, length);
        if (length < 0 || (dest == nullptr && length > 0)) {
            TandrelFailure failure =
                MakeFailure(kStep, TandrelProblem::kBadBuffer, kTandrelBadArgument);
            failure.found = static_cast<std::uint32_t>(length);
            result = Failed(failure);
        } else {
            if (length > 0) std::memset(dest, 0, static_cast<std::size_t>(length));
            idle = 0;
            static_cast<void>(SetCommReadTimeout(kTransferTimeoutMs));
            Purge();
            const ChipType* chip = FindChipType(chipType);
            result =
                chip == nullptr
                    ? Failed(MakeFailure(kStep, TandrelProblem::kBadArgument, kTandrelBadArgument))
                    : ReadBlocks(*chip, dest, address, length, progress);
        }
    }
    EndTransfer(progress);
    return result;
}

std::int32_t KVTandrel::ReadBlocks(const ChipType& chip, std::uint8_t* dest, std::uint32_t address,
                                   std::int32_t length, ProgressSink* progress) {
    auto failure = [&](std::uint32_t block, std::uint32_t count, TandrelProblem problem,
                       std::int32_t code) {
        return BlockFailure(TandrelStep::kReadBlock, problem, code, address, block, count);
    };
    // Sends the request frame of one block; false when the write failed.
    auto request = [&](std::uint32_t block, std::uint32_t count) {
        std::uint32_t blockAddress = address + block * kChipBlockSize;
        ShowBlockAddress(progress, "Reading Address %.6X", blockAddress);
        std::uint8_t frame[kMaxReadFrameSize];
        std::uint32_t size = BuildBlockHeader(frame, chip, chip.readDigit, 'R', count, blockAddress);
        frame[size] = Checksum8(frame, static_cast<std::int32_t>(size));
        return Send(frame, size + 1);
    };
    // Reads the unit's checksum byte of a block and compares it with the data's.
    auto checkSum = [&](std::uint32_t block, std::uint32_t count) -> std::int32_t {
        std::uint8_t unitSum = 0;
        std::uint32_t received = 0;
        if (!Receive(&unitSum, 1, &received)) {
            return Failed(failure(block, count, TandrelProblem::kReadFailed, kTandrelRefused));
        }
        const std::uint8_t localSum =
            Checksum8(dest + block * kChipBlockSize, static_cast<std::int32_t>(count));
        if (received != 1 || unitSum != localSum) {
            TandrelFailure mismatch =
                failure(block, count, TandrelProblem::kChecksum, kTandrelChecksumMismatch);
            mismatch.expected = localSum;
            mismatch.found = unitSum;
            return Failed(mismatch);
        }
        StepProgress(progress);
        return kTandrelDone;
    };

    std::uint32_t start = clock_.TickCount();
    const auto total = static_cast<std::uint32_t>(length);
    const std::uint32_t fullBlocks = total / kChipBlockSize;
    std::uint32_t received = 0;
    for (std::uint32_t i = 0; i < fullBlocks; ++i) {
        if (Stopping()) {
            return Failed(
                failure(i, kChipBlockSize, TandrelProblem::kCancelled, kTandrelCancelled));
        }
        std::uint8_t* block = dest + i * kChipBlockSize;
        if (!request(i, kChipBlockSize)) {
            return Failed(
                failure(i, kChipBlockSize, TandrelProblem::kWriteFailed, kTandrelRefused));
        }
        if (!Receive(block, kChipBlockSize, &received)) {
            return Failed(failure(i, kChipBlockSize, TandrelProblem::kReadFailed, kTandrelRefused));
        }
        if (received < kChipBlockSize) {
            TandrelFailure cut =
                failure(i, kChipBlockSize, TandrelProblem::kShortReply, kTandrelShortData);
            cut.expected = total;
            cut.found = i * kChipBlockSize + received;
            return Failed(cut);
        }
        if (std::int32_t result = checkSum(i, kChipBlockSize); result != kTandrelDone) {
            return result;
        }
    }
    const std::uint32_t rest = total % kChipBlockSize;
    if (rest != 0) {
        std::uint8_t* block = dest + fullBlocks * kChipBlockSize;
        if (!request(fullBlocks, rest)) {
            return Failed(failure(fullBlocks, rest, TandrelProblem::kWriteFailed, kTandrelRefused));
        }
        if (!Receive(block, rest, &received)) {
            return Failed(failure(fullBlocks, rest, TandrelProblem::kReadFailed, kTandrelRefused));
        }
        if (received == 0) {
            return Failed(failure(fullBlocks, rest, TandrelProblem::kNoReply, kTandrelRefused));
        }
        if (std::int32_t result = checkSum(fullBlocks, rest); result != kTandrelDone) {
            return result;
        }
    }
    std::uint32_t elapsed = clock_.TickCount() - start;
    Log("KVTandrel: ReadChip took %u milliseconds (%f seconds)", elapsed, elapsed * 0.001);
    return kTandrelDone;
}
