#include "device/tandrel_failure.h"

#include "device/protocol.h"
#include "formats/text_format.h"

namespace {

using Step = TandrelStep;
using Problem = TandrelProblem;

// A reply byte as the log shows it: control characters would cut or split the line.
char Printable(std::uint32_t byte) {
    return byte < 0x20 || byte == 0x7F ? '.' : static_cast<char>(byte);
}

const char* OperationName(Step step) {
    switch (step) {
        case Step::kWriteBlock: return "WriteChip";
        case Step::kReadBlock: return "ReadChip";
        case Step::kVerify: return "Chip Verify";
        case Step::kChipErase: return "EraseChip";
        default: return "Chip Quick Verify";
    }
}

}  // namespace

bool TandrelFailure::atBlock() const {
    if (step != Step::kReadBlock && step != Step::kWriteBlock) return false;
    return problem != Problem::kNotProgrammer && problem != Problem::kNoPort &&
           problem != Problem::kBadArgument && problem != Problem::kBadBuffer;
}

bool LinkLost(const TandrelFailure& f) {
    switch (f.problem) {
        case Problem::kNoPort:
        case Problem::kPortMissing:
        case Problem::kPortSetup:
        case Problem::kWriteFailed:
        case Problem::kReadFailed:
        case Problem::kNoReply: return true;
        // found counts the whole transfer's bytes, those of the blocks before included.
        case Problem::kShortReply: return f.found == (f.atBlock() ? f.block * kChipBlockSize : 0);
        default: return false;
    }
}

std::string FailureLogLine(const TandrelFailure& f) {
    const auto found = static_cast<int>(f.found);
    const auto expected = static_cast<int>(f.expected);
    switch (f.problem) {
        case Problem::kPortMissing:
            // The reopen of a speed change has logged its own.
            return f.step == Step::kOpenPort ? "KVTandrel Port Init Failed (INVALID_HANDLE_VALUE)"
                                             : "";
        case Problem::kBadBuffer:
            return Printf("KVTandrel: %s refused: null buffer or negative length (%i)",
                          OperationName(f.step), found);
        case Problem::kTooLong:
            return Printf("KVTandrel: Chip Verify refused: %i bytes do not fit a chip of %i bytes",
                          found, expected);
        case Problem::kCancelled:
            return Printf("KVTandrel: %s - Operation Cancelled", OperationName(f.step));
        default: break;
    }
    if (f.step == Step::kReadTimeout) {
        return Printf("KVTandrel: Comm Read Timeout Set Failed with %i", f.code);
    }
    if (f.step == Step::kWriteBlock && f.problem == Problem::kNoReply) {
        return "WriteChip Failed. No Response.";
    }
    if (f.step == Step::kWriteBlock && f.problem == Problem::kRefused) {
        return Printf("WriteChip Failed. Invalid Response: '%c' (%X)", Printable(f.found), f.found);
    }
    // A full read block tells what went wrong; the final short block of a transfer fails
    // without a line.
    const bool fullBlock = f.count == kChipBlockSize;
    if (f.step == Step::kReadBlock && f.problem == Problem::kShortReply && fullBlock) {
        return Printf("KVTandrel: ReadChip: Read timed-out after %i bytes. Expected %i bytes.",
                      found, expected);
    }
    if (f.step == Step::kReadBlock && f.problem == Problem::kChecksum && fullBlock) {
        return Printf(
            "KVTandrel: ReadChip: Invalid external data checksum\r\n\tIteration: "
            "%i\r\n\tCS of recvd data: %.2X\r\n\tCS from device: %.2x",
            static_cast<int>(f.block), f.expected, f.found);
    }
    if (f.step == Step::kEeprom && f.problem == Problem::kChecksum) {
        return Printf(
            "KVTandrel: ReadEEPROM: Invalid external data checksum\r\n\tCS of recvd "
            "data: %.2X\r\n\tCS from device: %.2x",
            f.expected, f.found);
    }
    if (f.step == Step::kVerify && f.problem == Problem::kMismatch) {
        return Printf(
            "KVTandrel: Chip Verify failed at offset 0x%.6X. Local Buffer: 0x%.2X. Chip: "
            "0x%.2X",
            f.address, f.expected, f.found);
    }
    if (f.step == Step::kQuickVerify && f.problem == Problem::kMismatch) {
        return Printf(
            "KVTandrel: Chip Quick Verify failed. Local Checksum: 0x%.4X. Chip "
            "Checksum: 0x%.4X",
            f.expected, f.found);
    }
    return "";
}

std::string FailureReason(const TandrelFailure& f, const char* chipName) {
    const std::string cable = " Check the cable and the unit's power.";
    // A unit that answers the first block, but not as the chip should, most often holds
    // another chip; silence and damage point at the cable or the power. A name read letter by
    // letter ("AT29C256") takes "an", the 27-series "a".
    const bool answeredWrongly =
        f.problem == Problem::kRefused || (f.problem == Problem::kShortReply && f.found > 0);
    const std::string hint =
        f.atBlock() && f.block == 0 && answeredWrongly
            ? Printf(" Is %s %s in the socket?", chipName[0] == 'A' ? "an" : "a", chipName)
            : cable;
    std::string where;
    if (f.atBlock()) {
        where = Printf(" at %.6X", f.address);
    } else if (f.step == Step::kSectorErase) {
        where = Printf(" while erasing sector %u", f.address);
    } else if (f.step == Step::kChipErase) {
        where = " while erasing the chip";
    }
    if (f.step == Step::kLinkSpeed && f.problem != Problem::kBadArgument) {
        const unsigned rate = 921600 / (f.address + 1);
        switch (f.problem) {
            case Problem::kRefused:
                return Printf("The unit refused %u baud (it answered '%c').", rate,
                              Printable(f.found));
            case Problem::kPortMissing:
            case Problem::kPortSetup:
                return Printf("The port %s did not reopen at %u baud.", f.port, rate);
            default: where = Printf(" while switching to %u baud", rate);
        }
    }
    switch (f.problem) {
        case Problem::kNone:
        case Problem::kCancelled:
        case Problem::kMismatch: return "";
        case Problem::kNotProgrammer: return "The unit is not a programmer.";
        case Problem::kNoPort: return "No port is open to the unit." + cable;
        case Problem::kBadArgument: return Printf("The unit cannot do this for the %s.", chipName);
        case Problem::kBadBuffer:
        case Problem::kTooLong: return Printf("The range does not fit the %s.", chipName);
        case Problem::kPortMissing:
            return Printf(
                "The port %s cannot be opened: it is missing or another program holds it.", f.port);
        case Problem::kPortSetup: return Printf("The port %s refused its settings.", f.port);
        case Problem::kWriteFailed: return "The port failed while sending" + where + "." + cable;
        case Problem::kReadFailed: return "The port failed while receiving" + where + "." + cable;
        case Problem::kNoReply:
        case Problem::kShortReply: return "The unit stopped answering" + where + "." + hint;
        case Problem::kRefused: {
            std::string what = "the block" + where;
            if (f.step == Step::kSectorErase) what = Printf("to erase sector %u", f.address);
            if (f.step == Step::kChipErase) what = "to erase the chip";
            return Printf("The unit refused %s (it answered '%c').", what.c_str(),
                          Printable(f.found)) +
                   hint;
        }
        case Problem::kChecksum:
            return Printf("A block arrived damaged%s (checksum %.2X, the unit sent %.2X).",
                          where.c_str(), f.expected, f.found) +
                   cable;
    }
    return "";
}
