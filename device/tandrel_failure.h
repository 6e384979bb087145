// What went wrong in a KVTandrel operation, as data: the step, where, and what the port or the
// unit did. The device writes its failure log lines from this record and callers such as
// vorland-cli build their messages from it, so rewording a log line cannot change what a
// caller learns. Portable.
#pragma once

#include <cstdint>
#include <string>

// The exchange that failed.
enum class TandrelStep : std::uint8_t {
    kNone,         // nothing failed
    kOpenPort,     // InitPort
    kReadTimeout,  // SetCommReadTimeout
    kLinkSpeed,    // SetLinkSpeed
    kVersion,      // GetFirmwareVersion, and DetectHardware's arguments
    kEeprom,       // ReadEEPROM, GetHardwareVersion's arguments
    kWriteBlock,   // WriteChip
    kReadBlock,    // ReadChip, and the blank checks' refusals
    kSectorErase,  // EraseSector
    kChipErase,    // BulkErase, and EraseChip's refusals
    kVerify,       // VerifyChip, byte by byte
    kQuickVerify,  // VerifyChip by the unit's checksum
};

// What went wrong in it.
enum class TandrelProblem : std::uint8_t {
    kNone,
    kNotProgrammer,  // the unit is not a programmer
    kNoPort,         // no port is open
    kBadArgument,    // a chip type, speed code, sector or count outside the accepted set
    kBadBuffer,      // a null buffer or a negative length: found holds the length
    kTooLong,        // a full verify longer than the chip: expected = its size, found = the length
    kPortMissing,    // the port does not exist, or another program holds it
    kPortSetup,      // the port opened but refused its settings or timeouts
    kWriteFailed,    // the port failed to send the frame
    kReadFailed,     // the port failed while reading the reply
    kNoReply,        // no reply byte arrived
    kRefused,        // the unit refused: found = its reply byte (expected = the accepting one)
    kShortReply,     // fewer bytes than asked arrived: found of expected (a transfer: in total)
    kChecksum,       // a checksum differs: expected = the host's, found = the unit's
    kCancelled,      // the user cancelled: before the block at address, or a quick verify's
                     // checksum frame, or a chip erase's next sector
    kMismatch,       // a verify differs: expected = the buffer's byte or sum, found = the chip's
};

struct TandrelFailure {
    TandrelStep step = TandrelStep::kNone;
    TandrelProblem problem = TandrelProblem::kNone;
    std::int32_t code = 0;      // the result the step ended with
    std::uint32_t address = 0;  // chip address of the block, EEPROM address, sector number, or
                                // for a verify the offset in the range
    std::uint32_t block = 0;    // index of the block in its transfer
    std::uint32_t count = 0;    // bytes of that block
    std::uint32_t expected = 0;
    std::uint32_t found = 0;
    char port[25] = {};  // the port in use, or the one that could not be opened

    bool failed() const { return step != TandrelStep::kNone; }
    // Whether the failure happened at a chip block, whose address is then known.
    bool atBlock() const;
};

// A failure with nothing more to tell than what went wrong where, and the result.
[[nodiscard]] inline TandrelFailure MakeFailure(TandrelStep step, TandrelProblem problem,
                                                std::int32_t code) {
    return TandrelFailure{.step = step, .problem = problem, .code = code};
}

// Whether the failure says the link is gone: the port failed, or the unit stopped answering
// (nothing of the reply arrived). A unit that answers, even wrongly, is still there.
[[nodiscard]] bool LinkLost(const TandrelFailure& failure);

// The log line KVTandrel writes for a failure; empty for the failures it writes none for.
[[nodiscard]] std::string FailureLogLine(const TandrelFailure& failure);

// The failure told to a person in one line: what happened, at which chip address, and what may
// help (at the first block of a transfer, whether chipName is the chip in the socket; later on,
// the cable and the unit's power). Empty for no failure, a cancel and a verify's difference,
// which have lines of their own.
[[nodiscard]] std::string FailureReason(const TandrelFailure& failure, const char* chipName);
