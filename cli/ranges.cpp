#include "cli/ranges.h"

#include "formats/text_format.h"
#include "device/chip_types.h"

namespace {

constexpr std::uint32_t kBlockRule = 64;

}  // namespace

bool PlanTransfer(const PlanRequest& r, TransferPlan& plan, PlanError& failure) {
    std::string& error = failure.message;
    const std::uint32_t chipSize = static_cast<std::uint32_t>(kChipTypes[r.chipType].size);
    const std::string chipName = ChipShortName(r.chipType);
    const bool reading = r.command == CliCommand::kRead;

    if (r.chipRange && r.fileRange && r.chipRange->length() != r.fileRange->length()) {
        error = Printf("--chip-range and --file-range differ in length (0x%llX and 0x%llX bytes)",
                       static_cast<unsigned long long>(r.chipRange->length()),
                       static_cast<unsigned long long>(r.fileRange->length()));
        return false;
    }

    std::uint64_t chipStart;
    std::uint64_t fileStart;
    std::uint64_t length;
    if (!r.chipRange && !r.fileRange && reading) {
        chipStart = fileStart = 0;
        length = chipSize;
    } else if (!r.chipRange && !r.fileRange) {
        failure.aboutImage = true;
        if (r.image == nullptr || r.image->empty()) {
            error = "the image holds no data";
            return false;
        }
        std::uint64_t low = r.image->lowest();
        std::uint64_t high = r.image->highest();
        std::uint32_t past = 0;
        if (r.image->FindFrom(chipSize, &past, &failure.line)) {
            error = Printf(
                "the image does not fit the %s (000000-%06X): it holds data at "
                "0x%06X; choose the part to use with --file-range",
                chipName.c_str(), chipSize - 1, past);
            return false;
        }
        failure.aboutImage = false;
        // Program needs whole blocks; a verify of a HEX or S-record image takes the same
        // blocks, as the programmer window does after loading one, so that both name one range
        // and one checksum.
        if (r.command == CliCommand::kProgram || r.addressed) {
            low -= low % kBlockRule;
            high |= kBlockRule - 1;
        }
        chipStart = fileStart = low;
        length = high - low + 1;
    } else {
        length = r.chipRange ? r.chipRange->length() : r.fileRange->length();
        chipStart = r.chipRange ? r.chipRange->start : 0;
        fileStart = r.fileRange ? r.fileRange->start : r.addressed ? chipStart : 0;
    }

    if (chipStart + length > chipSize) {
        error = Printf("the chip range %06llX-%06llX lies outside the %s (000000-%06X)",
                       static_cast<unsigned long long>(chipStart),
                       static_cast<unsigned long long>(chipStart + length - 1), chipName.c_str(),
                       chipSize - 1);
        return false;
    }
    if (reading && !r.addressed && fileStart != 0) {
        error = "a binary file has no addresses: a file range for one must start at 0";
        return false;
    }
    if (r.command != CliCommand::kVerify) {
        if (chipStart % kBlockRule != 0) {
            error = Printf("the chip range must start at a multiple of 0x40, not at 0x%06llX",
                           static_cast<unsigned long long>(chipStart));
            return false;
        }
        if (length % kBlockRule != 0) {
            error = Printf("the range length must be a multiple of 0x40 bytes, not 0x%llX",
                           static_cast<unsigned long long>(length));
            return false;
        }
    }
    plan = {static_cast<std::uint32_t>(chipStart), static_cast<std::uint32_t>(fileStart),
            static_cast<std::uint32_t>(length)};
    return true;
}
