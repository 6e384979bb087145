// Programming only the blocks that differ: find them, erase where a bit must be set, write.
#include "device/changed_write.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "device/chip_types.h"
#include "device/kvtandrel.h"
#include "device/protocol.h"
#include "formats/text_format.h"

namespace {

enum class BlockState : std::uint8_t {
    kMatches,  // holds the image
    kDiffers,  // differs; what the chip holds there is not known
    kBlank,    // differs, and its checksums are those of an erased block
    kKnown,    // differs, and the chip's bytes there are known
};

// The two checksums of a block or region of n bytes at chip address `at`. The unit weighs byte
// j of a frame's range by j, so the first byte not at all and, at a multiple of 32 KiB, an even
// difference not at all. The first sum is the region's own; the second starts one byte earlier,
// one byte longer, so that byte j of the region weighs j + 1 and the byte before it nothing.
// Every byte has an odd weight in one of the two, and an odd weight is invertible modulo 65536:
// a single differing byte changes a sum. At chip address 0 no byte comes before: the second sum
// starts at address 1, and byte 0, which neither weighs, is read instead.
struct Sums {
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    bool operator==(const Sums&) const = default;
};

Sums ExpectedSums(const std::uint8_t* data, std::uint32_t n, std::uint32_t at) {
    const std::uint32_t first = WeightedChecksum16(data, n);
    if (at == 0) return {first, n > 1 ? WeightedChecksum16(data + 1, n - 1) : 0};
    std::uint32_t plain = 0;
    for (std::uint32_t j = 0; j < n; ++j) plain += data[j];
    return {first, (first + plain) & 0xFFFF};
}

// Passes texts on but no steps: blocks read, and blocks written again that already counted.
class TextOnly final : public ProgressSink {
  public:
    explicit TextOnly(ProgressSink* target) : target_(target) {}
    void SetRange(std::int32_t, std::int32_t) override {}
    void SetStep(std::int32_t) override {}
    void SetPos(std::int32_t) override {}
    void StepIt() override {}
    void SetText(const char* text) override {
        if (target_ != nullptr) target_->SetText(text);
    }

  private:
    ProgressSink* target_;
};

// "Erased sector 3 (030000-03FFFF) first: bytes there needed a bit set."; "" when none was.
std::string ChangedEraseLine(const ChangedReport& report, const ChipType& chip) {
    if (report.erasedChip) return "Erased the chip first: bytes of it needed a bit set.";
    std::string sectors;
    for (std::int32_t s = 0; s < chip.sectorCount; ++s) {
        if ((report.erasedSectors >> s & 1) == 0) continue;
        const std::int32_t start = s * chip.sectorSize;
        sectors += Printf("%s%d (%.6X-%.6X)", sectors.empty() ? "" : ", ", s, start,
                          start + chip.sectorSize - 1);
    }
    if (sectors.empty()) return "";
    const bool several = (report.erasedSectors & (report.erasedSectors - 1)) != 0;
    return Printf("Erased sector%s %s first: bytes there needed a bit set.", several ? "s" : "",
                  sectors.c_str());
}

}  // namespace

// The steps of one ProgramChanged, inside its exchange (no step ends it, so that a cancel
// request holds until the next block).
class ChangedWriter {
  public:
    ChangedWriter(KVTandrel& device, const ChipType& chip, const ChangedRequest& request,
                  ChangedReport& report)
        : d_(device),
          chip_(chip),
          r_(request),
          report_(report),
          length_(static_cast<std::uint32_t>(request.length)),
          blocks_((length_ + kChipBlockSize - 1) / kChipBlockSize),
          state_(blocks_, BlockState::kMatches),
          settled_(blocks_, false),
          quiet_(request.progress) {}

    std::int32_t Run() {
        std::int32_t result = Find();
        if (result == kTandrelDone && chip_.writeClearsBits()) result = PlanErases();
        if (result == kTandrelDone && !report_.wholeRange) result = Write();
        return result;
    }

  private:
    std::uint32_t Offset(std::uint32_t block) const { return block * kChipBlockSize; }
    std::uint32_t Size(std::uint32_t block) const {
        return std::min(kChipBlockSize, length_ - Offset(block));
    }
    // The bytes of blocks first to end - 1.
    std::uint32_t SpanSize(std::uint32_t first, std::uint32_t end) const {
        return Offset(end - 1) + Size(end - 1) - Offset(first);
    }
    std::uint32_t Address(std::uint32_t offset) const { return r_.address + offset; }

    void Show(const char* format, std::uint32_t offset) {
        if (r_.progress != nullptr) r_.progress->SetText(Printf(format, Address(offset)).c_str());
    }
    void Settle(std::uint32_t block) {
        settled_[block] = true;
        if (r_.progress != nullptr) r_.progress->StepIt();
    }
    // -19 when a cancel was asked for before the step at offset.
    std::int32_t Cancelled(TandrelStep step, std::uint32_t offset) {
        if (!d_.Stopping()) return kTandrelDone;
        TandrelFailure failure = MakeFailure(step, TandrelProblem::kCancelled, kTandrelCancelled);
        failure.address = step == TandrelStep::kSectorErase ? offset : Address(offset);
        return d_.Failed(failure);
    }

    std::int32_t Find() {
        if (r_.chipBytes != nullptr) {
            chipBytes_ = r_.chipBytes;
        } else if (r_.readRange) {
            for (std::uint32_t b = 0; b < blocks_; ++b) state_[b] = BlockState::kDiffers;
            if (std::int32_t result = ReadUnknown(); result != kTandrelDone) return result;
        } else {
            return FindBySums();
        }
        for (std::uint32_t b = 0; b < blocks_; ++b) {
            const bool same =
                std::memcmp(chipBytes_ + Offset(b), r_.buffer + Offset(b), Size(b)) == 0;
            state_[b] = same ? BlockState::kMatches : BlockState::kKnown;
            if (same) Settle(b);
        }
        return kTandrelDone;
    }

    std::int32_t FindBySums() {
        if (r_.address == 0 && length_ > 0) {
            if (std::int32_t result = d_.ReadBlocks(chip_, &firstByte_, 0, 1, &quiet_);
                result != kTandrelDone) {
                return result;
            }
        }
        const std::uint32_t regionBlocks = static_cast<std::uint32_t>(r_.regionBlocks);
        std::vector<std::uint32_t> same;
        for (std::uint32_t first = 0; first < blocks_; first += regionBlocks) {
            const std::uint32_t count = std::min(regionBlocks, blocks_ - first);
            const std::uint32_t offset = Offset(first);
            const std::uint32_t size = SpanSize(first, first + count);
            Sums chip;
            if (std::int32_t result = AskRegion(offset, size, &chip); result != kTandrelDone) {
                return result;
            }
            if (Holds(offset, size, chip)) {
                for (std::uint32_t b = first; b < first + count; ++b) Settle(b);
                continue;
            }
            same.clear();
            bool located = false;
            for (std::uint32_t b = first; b < first + count; ++b) {
                if (count > 1) {
                    if (std::int32_t result = AskRegion(Offset(b), Size(b), &chip);
                        result != kTandrelDone) {
                        return result;
                    }
                }
                if (count > 1 && Holds(Offset(b), Size(b), chip)) {
                    same.push_back(b);
                } else {
                    located = true;
                    state_[b] = chip == ExpectedSums(Erased(), Size(b), Address(Offset(b))) &&
                                        (Address(Offset(b)) != 0 || firstByte_ == 0xFF)
                                    ? BlockState::kBlank
                                    : BlockState::kDiffers;
                }
            }
            // The blocks that hold the image count as settled; but when no block's sums differ
            // although the region's do (differences that cancel out in each block's own sums),
            // every block of the region is taken as differing.
            for (std::uint32_t b : same) {
                if (located) {
                    Settle(b);
                } else {
                    state_[b] = BlockState::kDiffers;
                }
            }
        }
        return kTandrelDone;
    }

    // Asks the two sums of size bytes at offset.
    std::int32_t AskRegion(std::uint32_t offset, std::uint32_t size, Sums* chip) {
        if (std::int32_t result = Cancelled(TandrelStep::kQuickVerify, offset);
            result != kTandrelDone) {
            return result;
        }
        Show("Comparing Address %.6X", offset);
        const std::uint32_t at = Address(offset);
        std::int32_t asked = d_.AskChipSum(at, size, offset, &chip->first);
        if (asked > 0 && at > 0) {
            asked = d_.AskChipSum(at - 1, size + 1, offset, &chip->second);
        } else if (asked > 0 && size > 1) {
            asked = d_.AskChipSum(1, size - 1, offset, &chip->second);
        } else {
            chip->second = 0;
        }
        return asked > 0 ? kTandrelDone : kTandrelRefused;
    }

    // Whether the chip's sums of size bytes at offset are the image's (and at chip address 0
    // its first byte, which the sums do not see).
    bool Holds(std::uint32_t offset, std::uint32_t size, const Sums& chip) const {
        const std::uint32_t at = Address(offset);
        return chip == ExpectedSums(r_.buffer + offset, size, at) &&
               (at != 0 || firstByte_ == r_.buffer[0]);
    }

    static const std::uint8_t* Erased() {
        static const std::vector<std::uint8_t> erased(kChipBlockSize, 0xFF);
        return erased.data();
    }

    // Reads the blocks whose bytes are not known (kDiffers), run by run, into a copy of the
    // range's size; they become kKnown.
    std::int32_t ReadUnknown() {
        if (own_.empty()) own_.resize(length_);
        chipBytes_ = own_.data();
        for (std::uint32_t b = 0; b < blocks_;) {
            if (state_[b] != BlockState::kDiffers) {
                ++b;
                continue;
            }
            std::uint32_t end = b;
            while (end < blocks_ && state_[end] == BlockState::kDiffers)
                state_[end++] = BlockState::kKnown;
            const std::uint32_t offset = Offset(b);
            const std::uint32_t size = SpanSize(b, end);
            if (std::int32_t result = d_.ReadBlocks(chip_, own_.data() + offset, Address(offset),
                                                    static_cast<std::int32_t>(size), &quiet_);
                result != kTandrelDone) {
                return result;
            }
            b = end;
        }
        return kTandrelDone;
    }

    // A byte that needs a bit set needs its erase unit (sector, or chip) erased, which may be
    // done only when the unit lies wholly in the range. Marks every block of such a unit for
    // writing; or, when one reaches outside the range, reports the whole range instead.
    std::int32_t PlanErases() {
        if (std::int32_t result = ReadUnknown(); result != kTandrelDone) return result;
        const auto unit = static_cast<std::uint32_t>(chip_.eraseUnit());
        const std::uint64_t rangeEnd = static_cast<std::uint64_t>(r_.address) + length_;
        for (std::uint32_t b = 0; b < blocks_; ++b) {
            if (state_[b] != BlockState::kKnown) continue;
            for (std::uint32_t i = Offset(b); i < Offset(b) + Size(b); ++i) {
                const std::uint32_t u = Address(i) / unit;
                if ((r_.buffer[i] & ~chipBytes_[i]) == 0 || IsErased(u)) continue;
                const std::uint64_t start = static_cast<std::uint64_t>(u) * unit;
                if (start < r_.address || start + unit > rangeEnd) {
                    report_.wholeRange = true;
                    report_.eraseAddress = Address(i);
                    report_.eraseSector = chip_.sectorCount > 0 ? static_cast<std::int32_t>(u) : -1;
                    return kTandrelDone;
                }
                eraseUnits_.push_back(u);
            }
        }
        for (std::uint32_t u : eraseUnits_) {
            const std::uint32_t first = (u * unit - r_.address) / kChipBlockSize;
            const std::uint32_t last = (u * unit + unit - 1 - r_.address) / kChipBlockSize;
            for (std::uint32_t b = first; b <= last; ++b) {
                if (state_[b] == BlockState::kMatches) state_[b] = BlockState::kKnown;
            }
        }
        return kTandrelDone;
    }
    bool IsErased(std::uint32_t unit) const {
        return std::find(eraseUnits_.begin(), eraseUnits_.end(), unit) != eraseUnits_.end();
    }

    // Writes the blocks that differ in address order, in runs; an erase unit is erased before
    // the run that holds its first byte. Blocks that stepped the progress already (those an
    // erase made write again) do not step it twice.
    std::int32_t Write() {
        const auto unit = static_cast<std::uint32_t>(chip_.eraseUnit());
        for (std::uint32_t b = 0; b < blocks_;) {
            if (state_[b] == BlockState::kMatches) {
                ++b;
                continue;
            }
            std::uint32_t end = b + 1;
            while (end < blocks_ && state_[end] != BlockState::kMatches &&
                   settled_[end] == settled_[b])
                ++end;
            const std::uint32_t offset = Offset(b);
            const std::uint32_t size = SpanSize(b, end);
            for (std::uint32_t u : eraseUnits_) {
                const std::uint32_t start = u * unit;
                if (start < Address(offset) || start >= Address(offset) + size) continue;
                if (std::int32_t result = Erase(u); result != kTandrelDone) return result;
            }
            const std::int32_t result = d_.WriteBlocks(chip_, r_.buffer + offset, Address(offset),
                                                       static_cast<std::int32_t>(size),
                                                       settled_[b] ? &quiet_ : r_.progress);
            if (result != kTandrelDone) {
                // The blocks before the one that failed were acknowledged.
                const TandrelFailure& failure = d_.LastFailure();
                if (failure.atBlock())
                    report_.programmed +=
                        static_cast<std::int32_t>(failure.address - Address(offset));
                return result;
            }
            report_.programmed += static_cast<std::int32_t>(size);
            b = end;
        }
        return kTandrelDone;
    }

    std::int32_t Erase(std::uint32_t unit) {
        const bool sector = chip_.sectorCount > 0;
        if (std::int32_t result =
                Cancelled(sector ? TandrelStep::kSectorErase : TandrelStep::kChipErase, unit);
            result != kTandrelDone) {
            return result;
        }
        if (sector) {
            if (r_.progress != nullptr)
                r_.progress->SetText(Printf("Erasing Sector %u", unit).c_str());
            if (d_.SectorEraseCommand(static_cast<std::int32_t>(unit)) != kTandrelDone)
                return kTandrelRefused;
            report_.erasedSectors |= 1u << unit;
        } else {
            if (d_.ChipEraseCommand() != kTandrelDone) return kTandrelRefused;
            report_.erasedChip = true;
        }
        // The erase commands set their own timeout; the blocks want the transfer's back.
        static_cast<void>(d_.SetCommReadTimeout(kTransferTimeoutMs));
        return kTandrelDone;
    }

    KVTandrel& d_;
    const ChipType& chip_;
    const ChangedRequest& r_;
    ChangedReport& report_;
    const std::uint32_t length_;
    const std::uint32_t blocks_;
    std::vector<BlockState> state_;
    std::vector<bool> settled_;  // the block stepped the progress
    TextOnly quiet_;
    std::uint8_t firstByte_ = 0;               // chip address 0, when the range starts there
    const std::uint8_t* chipBytes_ = nullptr;  // the range's bytes, where kKnown
    std::vector<std::uint8_t> own_;            // what was read of them
    std::vector<std::uint32_t> eraseUnits_;
};

std::int32_t KVTandrel::ProgramChanged(const ChangedRequest& request, ChangedReport* reportOut) {
    Operation operation(*this, Operation::kClosesLostLink);
    ChangedReport report;
    report.length = std::max(request.length, 0);
    std::int32_t result = kTandrelDone;
    const ChipType* chip =
        StartWrite(request.chipType, request.buffer, request.length, request.progress, &result);
    if (chip != nullptr && request.regionBlocks < 1) {
        result = Failed(MakeFailure(TandrelStep::kWriteBlock, TandrelProblem::kBadArgument,
                                    kTandrelBadArgument));
    } else if (chip != nullptr) {
        result = ChangedWriter(*this, *chip, request, report).Run();
    }
    EndTransfer(request.progress);
    if (reportOut != nullptr) *reportOut = report;
    return result;
}

std::int32_t VerifyChanged(KVTandrel& device, VerifyRequest request, ChangedReport* repair) {
    if (repair != nullptr) *repair = ChangedReport{std::max(request.length, 0)};
    std::vector<std::uint8_t> own;
    if (request.quick == 0 && request.readBack == nullptr && request.length > 0) {
        own.resize(static_cast<std::size_t>(request.length));
        request.readBack = own.data();
    }
    const std::int32_t verified = device.VerifyChip(request);
    if (verified != 0) return verified;
    ChangedRequest fix{request.chipType, request.address, request.buffer, request.length,
                       request.progress};
    if (request.quick != 0) {
        fix.readRange = true;
    } else {
        fix.chipBytes = request.readBack;
    }
    if (device.ProgramChanged(fix, repair) != kTandrelDone) return -1;
    // Also when nothing could be written (a sector reaching outside the range): the verify
    // tells where the chip differs.
    return device.VerifyChip(request);
}

std::string ChangedSummaryLine(const ChangedReport& report) {
    const auto length = static_cast<std::uint64_t>(report.length);
    const auto programmed = static_cast<std::uint64_t>(report.programmed);
    return Printf("Programmed %s of %s; %s already matched.", FormatBytes(programmed).c_str(),
                  FormatBytes(length).c_str(), FormatBytes(length - programmed).c_str());
}

std::string ChangedWholeRangeLine(const ChangedReport& report, const ChipType& chip) {
    std::string erase;
    if (report.eraseSector >= 0) {
        const std::int32_t start = report.eraseSector * chip.sectorSize;
        erase = Printf("sector %d (%.6X-%.6X), and that sector reaches outside the range",
                       report.eraseSector, start, start + chip.sectorSize - 1);
    } else {
        erase = Printf("the whole %s, and the range is not the whole chip", chip.shortName);
    }
    return Printf(
        "Address %.6X needs a bit set, which takes erasing %s: programming the whole "
        "range as usual, which needs the chip erased.",
        report.eraseAddress, erase.c_str());
}

std::string ChangedRepairLine(const ChangedReport& repair) {
    return Printf("The verify found bytes the checksums had missed: programmed %s more.",
                  FormatBytes(static_cast<std::uint64_t>(repair.programmed)).c_str());
}

std::vector<std::string> ChangedLines(const ChangedReport& report, const ChipType& chip,
                                      bool byVerify) {
    std::vector<std::string> lines;
    if (std::string erased = ChangedEraseLine(report, chip); !erased.empty()) {
        lines.push_back(std::move(erased));
    }
    lines.push_back(byVerify ? ChangedRepairLine(report) : ChangedSummaryLine(report));
    return lines;
}
