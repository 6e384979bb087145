#include "app/operation_lines.h"

#include "document/hex_compare_text.h"
#include "formats/text_format.h"

namespace {

// The chip's bytes against the other side, whole, worded as what (the chip's addresses from
// base).
std::string Summary(const char* what, HexCompareSide chip, HexCompareSide other,
                    std::uint32_t base) {
    HexCompare compare(chip, other);
    static_cast<void>(compare.Step(kHexNoLimit));  // blocks in memory: done in one step
    return HexDiffSummaryLine(what, compare.Differences(), base);
}

}  // namespace

std::string VerifyDifferenceLine(const TandrelFailure& f, std::uint32_t chipStart,
                                 std::uint32_t bufferStart, bool afterProgram) {
    std::string line;
    if (f.step == TandrelStep::kQuickVerify) {
        const std::uint32_t first = chipStart + f.address;
        line = Printf(
            "The unit's checksum of %.6X-%.6X differs: %.4X for the buffer, %.4X for the "
            "chip.",
            first, first + f.count - 1, f.expected, f.found);
    } else {
        line = Printf(
            "The chip differs first at chip address %.6X (buffer %.6X): the buffer has "
            "%.2X, the chip %.2X.",
            chipStart + f.address, bufferStart + f.address, f.expected, f.found);
    }
    if (afterProgram) line += " A flash chip may need erasing first.";
    return line;
}

std::string VerifyDifferencesLine(const std::uint8_t* chip, const std::uint8_t* buffer,
                                  std::uint32_t length, std::uint32_t chipStart) {
    return Summary("Differences", HexCompareSide::Block(chip, length),
                   HexCompareSide::Block(buffer, length), chipStart);
}

std::string NotBlankLine(const std::uint8_t* chip, std::uint32_t length, std::uint32_t chipStart) {
    return Summary("Not blank", HexCompareSide::Block(chip, length),
                   HexCompareSide::Filled(0xFF, length), chipStart);
}
