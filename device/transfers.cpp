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

// A reply byte as the log shows it: control characters would cut or split the line.
char Printable(std::uint8_t byte) { return byte < 0x20 || byte == 0x7F ? '.' : static_cast<char>(byte); }

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
    SetCommReadTimeout(kStandingTimeoutMs);
    EndExchange();
}

void KVTandrel::LogRefusedBuffer(const char* operation, std::int32_t length) {
    Log("KVTandrel: %s refused: null buffer or negative length (%i)", operation, length);
}

std::int32_t KVTandrel::WriteChip(std::int32_t chipType, const std::uint8_t* src,
                                  std::uint32_t address, std::int32_t length,
                                  ProgressSink* progress) {
    std::int32_t result;
    if (!HasProgrammerCapability()) {
        result = kTandrelNotProgrammer;
    } else if (portOpen == 0) {
        result = kTandrelNoPort;
    } else {
        StartProgress(progress, length);
        idle = 0;
        SetCommReadTimeout(kTransferTimeoutMs);
        Purge();
        const ChipType* chip = FindChipType(chipType);
        if (chip == nullptr || !chip->programmable()) {
            result = kTandrelBadArgument;
        } else if (length < 0 || (src == nullptr && length > 0)) {
            LogRefusedBuffer("WriteChip", length);
            result = kTandrelBadArgument;
        } else {
            result = WriteBlocks(*chip, src, address, length, progress);
        }
    }
    EndTransfer(progress);
    return result;
}

std::int32_t KVTandrel::WriteBlocks(const ChipType& chip, const std::uint8_t* src,
                                    std::uint32_t address, std::int32_t length,
                                    ProgressSink* progress) {
    auto writeBlock = [&](std::uint32_t offset, std::uint32_t count) -> std::int32_t {
        std::uint32_t blockAddress = address + offset;
        ShowBlockAddress(progress, "Writing Address %.6X", blockAddress);
        std::uint8_t frame[kMaxWriteFrameSize];
        std::uint32_t size = BuildBlockHeader(frame, chip, chip.writeDigit, 'W', count, blockAddress);
        std::memcpy(frame + size, src + offset, count);
        size += count;
        frame[size] = Checksum8(frame, static_cast<std::int32_t>(size));
        ++size;
        std::uint8_t reply = 0;
        std::uint32_t received = 0;
        if (!Send(frame, size) || !Receive(&reply, 1, &received)) return kTandrelRefused;
        if (received != 1) {
            Log("WriteChip Failed. No Response.");
            return kTandrelRefused;
        }
        if (reply != kAccepted) {
            Log("WriteChip Failed. Invalid Response: '%c' (%X)", Printable(reply), reply);
            return kTandrelRefused;
        }
        StepProgress(progress);
        return kTandrelDone;
    };

    std::uint32_t start = clock_.TickCount();
    const auto total = static_cast<std::uint32_t>(length);
    const std::uint32_t fullBlocks = total / kChipBlockSize;
    for (std::uint32_t i = 0; i < fullBlocks; ++i) {
        if (cancelRequested != 0) {
            Log("KVTandrel: WriteChip - Operation Cancelled");
            return kTandrelCancelled;
        }
        std::int32_t result = writeBlock(i * kChipBlockSize, kChipBlockSize);
        if (result != kTandrelDone) return result;
    }
    if (total % kChipBlockSize != 0) {
        std::int32_t result = writeBlock(fullBlocks * kChipBlockSize, total % kChipBlockSize);
        if (result != kTandrelDone) return result;
    }
    std::uint32_t elapsed = clock_.TickCount() - start;
    Log("KVTandrel: WriteChip took %u milliseconds (%f seconds)", elapsed, elapsed * 0.001);
    return kTandrelDone;
}

std::int32_t KVTandrel::ReadChip(std::int32_t chipType, std::uint8_t* dest, std::uint32_t address,
                                 std::int32_t length, ProgressSink* progress) {
    std::int32_t result;
    if (!HasProgrammerCapability()) {
        result = kTandrelNotProgrammer;
    } else if (portOpen == 0) {
        result = kTandrelNoPort;
    } else {
        StartProgress(progress, length);
        if (length < 0 || (dest == nullptr && length > 0)) {
            LogRefusedBuffer("ReadChip", length);
            result = kTandrelBadArgument;
        } else {
            if (length > 0) std::memset(dest, 0, static_cast<std::size_t>(length));
            idle = 0;
            SetCommReadTimeout(kTransferTimeoutMs);
            Purge();
            const ChipType* chip = FindChipType(chipType);
            result = chip == nullptr ? kTandrelBadArgument
                                     : ReadBlocks(*chip, dest, address, length, progress);
        }
    }
    EndTransfer(progress);
    return result;
}

std::int32_t KVTandrel::ReadBlocks(const ChipType& chip, std::uint8_t* dest,
                                   std::uint32_t address, std::int32_t length,
                                   ProgressSink* progress) {
    // Sends the request frame of one block; false when the write failed.
    auto request = [&](std::uint32_t offset, std::uint32_t count) {
        std::uint32_t blockAddress = address + offset;
        ShowBlockAddress(progress, "Reading Address %.6X", blockAddress);
        std::uint8_t frame[kMaxReadFrameSize];
        std::uint32_t size = BuildBlockHeader(frame, chip, chip.readDigit, 'R', count, blockAddress);
        frame[size] = Checksum8(frame, static_cast<std::int32_t>(size));
        return Send(frame, size + 1);
    };

    std::uint32_t start = clock_.TickCount();
    const auto total = static_cast<std::uint32_t>(length);
    const std::uint32_t fullBlocks = total / kChipBlockSize;
    std::uint8_t unitSum = 0;
    std::uint32_t received = 0;
    for (std::uint32_t i = 0; i < fullBlocks; ++i) {
        if (cancelRequested != 0) {
            Log("KVTandrel: ReadChip - Operation Cancelled");
            return kTandrelCancelled;
        }
        std::uint8_t* block = dest + i * kChipBlockSize;
        if (!request(i * kChipBlockSize, kChipBlockSize)) return kTandrelRefused;
        if (!Receive(block, kChipBlockSize, &received)) return kTandrelRefused;
        if (received < kChipBlockSize) {
            Log("KVTandrel: ReadChip: Read timed-out after %i bytes. Expected %i bytes.",
                static_cast<std::int32_t>(i * kChipBlockSize + received), length);
            return kTandrelShortData;
        }
        unitSum = 0;
        if (!Receive(&unitSum, 1, &received)) return kTandrelRefused;
        std::uint8_t localSum = Checksum8(block, kChipBlockSize);
        if (received != 1 || unitSum != localSum) {
            Log("KVTandrel: ReadChip: Invalid external data checksum\r\n\tIteration: "
                "%i\r\n\tCS of recvd data: %.2X\r\n\tCS from device: %.2x",
                static_cast<std::int32_t>(i), localSum, unitSum);
            return kTandrelChecksumMismatch;
        }
        StepProgress(progress);
    }
    const std::uint32_t rest = total % kChipBlockSize;
    if (rest != 0) {
        std::uint8_t* block = dest + fullBlocks * kChipBlockSize;
        if (!request(fullBlocks * kChipBlockSize, rest)) return kTandrelRefused;
        if (!Receive(block, rest, &received) || received == 0) return kTandrelRefused;
        unitSum = 0;
        if (!Receive(&unitSum, 1, &received)) return kTandrelRefused;
        if (received != 1 || unitSum != Checksum8(block, static_cast<std::int32_t>(rest))) {
            return kTandrelChecksumMismatch;
        }
        StepProgress(progress);
    }
    std::uint32_t elapsed = clock_.TickCount() - start;
    Log("KVTandrel: ReadChip took %u milliseconds (%f seconds)", elapsed, elapsed * 0.001);
    return kTandrelDone;
}
