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
        default: return "Chip Quick Verify";
    }
}

}  // namespace

bool TandrelFailure::atBlock() const {
    if (step != Step::kReadBlock && step != Step::kWriteBlock) return false;
    return problem != Problem::kNotProgrammer && problem != Problem::kNoPort &&
           problem != Problem::kBadArgument && problem != Problem::kBadBuffer;
}

std::string FailureLogLine(const TandrelFailure& f) {
    const auto found = static_cast<int>(f.found);
    const auto expected = static_cast<int>(f.expected);
    switch (f.problem) {
        case Problem::kPortMissing: return "KVTandrel Port Init Failed (INVALID_HANDLE_VALUE)";
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
