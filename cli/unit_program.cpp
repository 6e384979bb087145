// The program and verify commands of one unit: programming the whole range, or only the blocks
// that differ (--changed-only), and the verify that follows or stands alone.
#include <algorithm>

#include "cli/exit_codes.h"
#include "cli/unit_run.h"
#include "device/changed_write.h"
#include "device/chip_types.h"
#include "document/hex_compare_text.h"
#include "formats/text_format.h"

namespace {

constexpr std::size_t kRangesShown = 10;  // of a failed verify's differences

// What --changed-only was doing when a step of the device failed: "reading the AM29F040".
const char* ChangedDoing(TandrelStep step) {
    switch (step) {
        case TandrelStep::kQuickVerify: return "comparing";
        case TandrelStep::kReadBlock: return "reading";
        case TandrelStep::kSectorErase:
        case TandrelStep::kChipErase: return "erasing";
        default: return "programming";
    }
}

}  // namespace

// Verifies plan's chip range against bytes: the whole verify command, or the last step of
// program (asPart: a mismatch is then an error of programming; changed: after --changed-only,
// whose checksums may have missed blocks that the verify then programs).
int UnitRun::VerifyRange(bool asPart, bool changed) {
    const TransferPlan& plan = job_.plan;
    const std::vector<std::uint8_t>& bytes = *bytes_;
    if (InterruptRequested()) return Interrupted("before verifying");
    if (!o_.quick) BeginProgress("Verifying", plan.length);
    // What a full verify reads of the chip, to tell every difference afterwards.
    std::vector<std::uint8_t> chip(o_.quick ? 0 : plan.length);
    VerifyRequest request{o_.chipType,      plan.chipStart,
                          bytes.data(),     static_cast<std::int32_t>(plan.length),
                          o_.quick ? 1 : 0, o_.quick ? nullptr : this};
    request.readBack = o_.quick ? nullptr : chip.data();
    ChangedReport repair;
    const std::int32_t result =
        changed ? VerifyChanged(device_, request, &repair) : device_.VerifyChip(request);
    if (repair.programmed > 0) {
        for (const std::string& line : ChangedLines(repair, Chip(), true)) Note(line);
    }
    if (result < 0) {
        const TandrelStep step = device_.LastFailure().step;
        if (changed && step != TandrelStep::kVerify && step != TandrelStep::kQuickVerify &&
            step != TandrelStep::kReadBlock) {
            return CheckFailed(ChangedDoing(step));
        }
        return CheckFailed(o_.quick ? "asking the checksum of" : "reading back");
    }
    const std::string range = Printf("%06X-%06X", plan.chipStart, plan.chipStart + plan.length - 1);
    if (result == 1) {
        if (!o_.quick) Summary("Verified", plan.length);
        if (!asPart) {
            Result(Printf("the %s matches %s at %s%s", ChipName().c_str(), o_.file.c_str(),
                          range.c_str(), o_.quick ? " (by checksum)" : ""));
            Checked(bytes.data());
        }
        return kExitSuccess;
    }

    std::string difference = "the chip differs from " + o_.file;
    const TandrelFailure& f = device_.LastFailure();
    std::string report;
    if (f.problem == TandrelProblem::kMismatch && f.step == TandrelStep::kVerify) {
        difference = Printf(
            "the chip differs from %s first at chip address %06X (file address %08X): the file "
            "has %02X, the chip %02X",
            o_.file.c_str(), plan.chipStart + f.address, plan.fileStart + f.address, f.expected,
            f.found);
        // A quick verify reads only its first block: it has no chip bytes to list.
        if (!o_.quick) report = DifferenceReport(chip);
    } else if (f.problem == TandrelProblem::kMismatch) {
        // The range of the checksum frame that failed: a quick verify also asks for one over
        // the range less its first byte.
        const std::uint32_t first = plan.chipStart + f.address;
        difference =
            Printf("the checksums of %06X-%06X differ: %04X for the file, %04X for the chip",
                   first, first + f.count - 1, f.expected, f.found);
    }
    if (asPart) {
        Fail(kExitMismatch, "programming did not take: " + difference);
        console_.Err(report);
        return kExitMismatch;
    }
    outcome_.message = difference;
    Result(difference);
    // The ranges are text for the user; with --json stdout holds only the records.
    (o_.json ? console_.Err(report) : console_.Out(report));
    return kExitMismatch;
}

// How many bytes differ in how many ranges, and the first ten, at chip addresses.
std::string UnitRun::DifferenceReport(const std::vector<std::uint8_t>& chip) const {
    const TransferPlan& plan = job_.plan;
    const HexCompareSide file = HexCompareSide::Block(bytes_->data(), plan.length);
    const HexCompareSide read = HexCompareSide::Block(chip.data(), plan.length);
    HexCompare compare(file, read);
    static_cast<void>(compare.Step(kHexNoLimit));  // two blocks: done in one step
    return HexDiffReport(compare.Differences(), file, "file", read, "chip", plan.chipStart,
                         kRangesShown);
}

int UnitRun::Program() {
    const int code = ProgramChip();
    if (serial_) Programmed(code);
    return code;
}

// Whether a stamped chip that failed surely does not carry its number.
void UnitRun::Programmed(int code) {
    if (code == kExitSuccess) {
        stamped_.emplace_back(*serial_, round_.value_or(0));
        return;
    }
    const TandrelFailure& f = device_.LastFailure();
    const std::uint32_t at = job_.plan.chipStart + *job_.serialOffset;
    if (code == kExitMismatch) {
        outcome_.numberBack = true;  // the verify read what the chip holds
    } else if (f.step == TandrelStep::kWriteBlock) {
        // Blocks go in order: the failed one may have been written, the later ones were not.
        const bool written = f.atBlock();
        const std::uint32_t end =
            !written ? 0 : f.address + (f.problem == TandrelProblem::kCancelled ? 0 : f.count);
        outcome_.numberBack = at + o_.serialFormat.width > end;
    } else {
        // Nothing was written before a failed erase or an interrupt before programming.
        outcome_.numberBack = !programmingStarted_;
    }
}

int UnitRun::ProgramChip() {
    const TransferPlan& plan = job_.plan;
    programmingStarted_ = false;
    if (int code = Connect(); code != kExitSuccess) return code;

    if (o_.erase) {
        if (InterruptRequested()) return Interrupted("before erasing");
        if (int code = EraseWholeChip(); code != kExitSuccess) return code;
    }
    if (InterruptRequested()) return Interrupted("before programming");
    bool whole = true;
    if (o_.changedOnly) {
        if (int code = WriteWhatDiffers(&whole); code != kExitSuccess) return code;
    }
    if (whole) {
        BeginProgress("Programming", plan.length);
        programmingStarted_ = true;
        const std::int32_t result = device_.WriteChip(o_.chipType, bytes_->data(), plan.chipStart,
                                                      static_cast<std::int32_t>(plan.length), this);
        if (result != kTandrelDone) return TransferFailed("programming", result);
        Summary("Programmed", plan.length);
    }

    const std::string range = Printf("%06X-%06X", plan.chipStart, plan.chipStart + plan.length - 1);
    const std::string number =
        serial_ ? Printf(" with serial number %llu", static_cast<unsigned long long>(*serial_))
                : "";
    if (!o_.verify) {
        Result(Printf("programmed %s of the %s from %s%s (not verified)", range.c_str(),
                      ChipName().c_str(), o_.file.c_str(), number.c_str()));
    } else {
        if (int code = VerifyRange(true, !whole); code != kExitSuccess) return code;
        Result(Printf("programmed and verified %s of the %s from %s%s%s", range.c_str(),
                      ChipName().c_str(), o_.file.c_str(), number.c_str(),
                      o_.quick ? " (by checksum)" : ""));
    }
    Checked(bytes_->data());
    return kExitSuccess;
}

// --changed-only: writes the blocks that differ from the chip. *whole: they could not be
// written alone (a bit to set that no erase may give), and the whole range is to be
// programmed as usual.
int UnitRun::WriteWhatDiffers(bool* whole) {
    const TransferPlan& plan = job_.plan;
    BeginProgress("Programming", plan.length);
    const ChangedRequest request{o_.chipType, plan.chipStart, bytes_->data(),
                                 static_cast<std::int32_t>(plan.length), this};
    ChangedReport report;
    const std::int32_t result = device_.ProgramChanged(request, &report);
    const TandrelStep step = device_.LastFailure().step;
    // What a stamped chip that failed may carry: nothing before the first write.
    programmingStarted_ = report.programmed > 0 || step == TandrelStep::kWriteBlock;
    if (result != kTandrelDone) return TransferFailed(ChangedDoing(step), result);
    *whole = report.wholeRange;
    if (report.wholeRange) {
        Note(ChangedWholeRangeLine(report, Chip()));
        return kExitSuccess;
    }
    for (const std::string& line : ChangedLines(report, Chip(), false)) Note(line);
    return kExitSuccess;
}

int UnitRun::Verify() {
    if (int code = Connect(); code != kExitSuccess) return code;
    return VerifyRange(false);
}
