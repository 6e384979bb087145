#include "app/operation_lines.h"

#include "formats/text_format.h"

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
