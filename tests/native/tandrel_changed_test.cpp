// Programming only what differs, against the simulated unit on virtual time: which blocks the
// unit was sent (its record of the writes), which sectors it erased, and every chip byte after:
// the image in the range, what was there before outside it.
#include <gtest/gtest.h>

#include <random>

#include "device/changed_write.h"
#include "device/chip_types.h"
#include "formats/text_format.h"
#include "tests/native/support/pattern_bytes.h"
#include "tests/native/support/tandrel_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Edit {
    std::uint32_t address;
    enum { kSetsBit, kClearsBits, kBlank } kind;  // what programming the image needs there
    std::uint32_t length = 1;
};

class ChangedTest : public TandrelTest {
  protected:
    void SetUp() override { Detect(); }

    // Puts a chip of type into the socket that holds image in [start, start + length) but for
    // the edits, and other bytes outside; then programs what differs. The chip as it was.
    Bytes Prepare(std::int32_t type, const Bytes& image, std::uint32_t start, std::uint32_t length,
                  const std::vector<Edit>& edits) {
        EXPECT_TRUE(unit_.InsertChip(type));
        Bytes chip = PatternBytes(image.size(), 99);
        std::copy_n(image.begin() + start, length, chip.begin() + start);
        for (const Edit& e : edits) {
            for (std::uint32_t a = e.address; a < e.address + e.length; ++a) {
                const std::uint8_t b = image[a];
                chip[a] = e.kind == Edit::kBlank     ? 0xFF
                          : e.kind == Edit::kSetsBit ? b & (b - 1)   // its lowest bit cleared
                                                     : b | (b + 1);  // its lowest 0 set
            }
        }
        unit_.chip() = chip;
        EXPECT_EQ(ExecuteUnitCommand(unit_, "fault clear", nullptr), "ok");
        ClearEvents();
        return chip;
    }
    std::int32_t Program(std::int32_t type, const Bytes& image, std::uint32_t start,
                         std::uint32_t length, ChangedReport* report, ProgressSink* progress,
                         std::int32_t regionBlocks = kChangedRegionBlocks) {
        ChangedRequest request{type, start, image.data() + start, static_cast<std::int32_t>(length),
                               progress};
        request.regionBlocks = regionBlocks;
        return tandrel_.ProgramChanged(request, report);
    }
    std::string Writes() { return ExecuteUnitCommand(unit_, "writes", nullptr); }
    // Data bytes asked for by read frames.
    std::uint32_t BytesRead() const {
        std::uint32_t total = 0;
        for (const auto& frame : ports_.Frames()) {
            if (frame.size() >= 3 && frame[1] == 'R') total += frame[2] == 0 ? 256 : frame[2];
        }
        return total;
    }
    // The chip is image in the range and before outside it.
    void ExpectHolds(const Bytes& image, const Bytes& before, std::uint32_t start,
                     std::uint32_t length) {
        Bytes expected = before;
        std::copy_n(image.begin() + start, length, expected.begin() + start);
        EXPECT_TRUE(unit_.chip() == expected);
    }
};

// Bytes that need a bit set take their sector erased, only where the whole sector is in the
// range; else nothing is written. A 27SF512 has only the whole-chip erase; an AT29C256 writes
// whole pages and needs none.
TEST_F(ChangedTest, WritesOnlyTheBlocksThatDifferAndErasesOnlySectorsWhollyInTheRange) {
    const struct {
        const char* name;
        std::int32_t type;
        std::uint32_t start, length;
        std::vector<Edit> edits;
        std::string writes;    // the unit's record
        std::uint32_t read;    // bytes read
        std::uint32_t erased;  // sectors
        bool wholeRange;
        std::string line;
    } cases[] = {
        {"one erased KiB",
         1,
         0,
         0x80000,
         {{0x12400, Edit::kBlank, 0x400}},
         "ok 012400-0127FF",
         1,
         0,
         false,
         "Programmed 1 KiB of 512 KiB; 511 KiB already matched."},
        {"bits to clear",
         1,
         0x40000,
         0x100,
         {{0x400FF, Edit::kClearsBits}},
         "ok 040000-0400FF",
         256,
         0,
         false,
         "Programmed 256 B of 256 B; 0 B already matched."},
        {"a bit to set",
         1,
         0,
         0x80000,
         {{0x23456, Edit::kSetsBit}},
         "ok 020000-02FFFF",
         257,
         1 << 2,
         false,
         "Programmed 64 KiB of 512 KiB; 448 KiB already matched."},
        {"sector 1 of 010000-027FFF",
         1,
         0x10000,
         0x18000,
         {{0x14000, Edit::kSetsBit}, {0x26000, Edit::kBlank, 0x400}},
         "ok 010000-01FFFF 026000-0263FF",
         256,
         1 << 1,
         false,
         "Programmed 65 KiB of 96 KiB; 31 KiB already matched."},
        {"sector 2 of 010000-027FFF",
         1,
         0x10000,
         0x18000,
         {{0x14000, Edit::kClearsBits}, {0x23456, Edit::kSetsBit}},
         "ok",
         512,
         0,
         true,
         "Address 023456 needs a bit set, which takes erasing sector 2 (020000-02FFFF), and that "
         "sector reaches outside the range: programming the whole range as usual, which needs "
         "the chip erased."},
        {"27SF512 whole",
         2,
         0,
         0x10000,
         {{0x8000, Edit::kSetsBit}},
         "ok 000000-00FFFF",
         257,
         0,
         false,
         "Programmed 64 KiB of 64 KiB; 0 B already matched."},
        {"27SF512 part",
         2,
         0x100,
         0xFF00,
         {{0x8000, Edit::kSetsBit}},
         "ok",
         256,
         0,
         true,
         "Address 008000 needs a bit set, which takes erasing the whole 27SF512, and the range is "
         "not the whole chip: programming the whole range as usual, which needs the chip erased."},
        {"AT29C256",
         0,
         0,
         0x8000,
         {{0x7FFF, Edit::kSetsBit}},
         "ok 007F00-007FFF",
         1,
         0,
         false,
         "Programmed 256 B of 32 KiB; 31.8 KiB already matched."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes image = PatternBytes(static_cast<std::size_t>(kChipTypes[c.type].size), 5);
        const Bytes before = Prepare(c.type, image, c.start, c.length, c.edits);
        ChangedReport report;
        ASSERT_EQ(Program(c.type, image, c.start, c.length, &report, &progress_), 0);
        EXPECT_EQ(Writes(), c.writes);
        EXPECT_EQ(BytesRead(), c.read);
        EXPECT_EQ(report.erasedSectors, c.erased);
        EXPECT_EQ(report.erasedChip, c.type == 2 && !c.wholeRange);
        EXPECT_EQ(report.wholeRange, c.wholeRange);
        EXPECT_EQ(c.wholeRange ? ChangedWholeRangeLine(report, kChipTypes[c.type])
                               : ChangedSummaryLine(report),
                  c.line);
        if (c.wholeRange) {
            EXPECT_TRUE(unit_.chip() == before);
        } else {
            ExpectHolds(image, before, c.start, c.length);
        }
    }
}

// A single differing byte anywhere, whatever its weight in the unit's sums (the first byte of
// a range, of a block, a multiple of 32 KiB), is found in regions of every size.
TEST_F(ChangedTest, NoSingleDifferingByteGoesUnseen) {
    const Bytes image = PatternBytes(0x80000, 6);
    std::mt19937 random(33);
    std::vector<std::uint32_t> addresses = {0, 0xFF, 0x100, 0x8000, 0x10000, 0x18000, 0x7FFFF};
    for (int i = 0; i < 20; ++i) addresses.push_back(random() % 0x80000);
    for (std::uint32_t address : addresses) {
        for (std::uint32_t start : {0u, 0x40u}) {
            const std::int32_t regionBlocks =
                std::vector<std::int32_t>{1, 16, 128, 2048}[random() % 4];
            SCOPED_TRACE(testing::Message() << std::hex << address << " from " << start << " in "
                                            << std::dec << regionBlocks);
            if (address < start || image[address] == 0xFF) continue;
            const std::uint32_t length = 0x80000 - start;
            const Bytes before = Prepare(1, image, start, length, {{address, Edit::kClearsBits}});
            ASSERT_EQ(Program(1, image, start, length, nullptr, nullptr, regionBlocks), 0);
            const std::uint32_t block = start + (address - start) / 256 * 256;
            EXPECT_EQ(Writes(), Printf("ok %06X-%06X", block, std::min(block + 255, 0x7FFFFu)));
            ExpectHolds(image, before, start, length);
        }
    }
}

// Bytes that differ by +1, -2, +1 keep both sums of their block: the verify finds them, they
// are programmed (their sector erased, for the bit to set) and the verify repeated.
TEST_F(ChangedTest, TheVerifyProgramsWhatTheChecksumsMissed) {
    Bytes image = PatternBytes(0x80000, 7);
    const std::uint8_t held[3] = {0x11, 0x10, 0x11};
    for (const bool quick : {false, true}) {
        SCOPED_TRACE(quick ? "quick" : "full");
        image[0x20010] = 0x10, image[0x20011] = 0x12, image[0x20012] = 0x10;
        const Bytes before = Prepare(1, image, 0x20000, 0x10000, {});
        std::copy_n(held, 3, unit_.chip().begin() + 0x20010);
        ChangedReport report;
        ASSERT_EQ(Program(1, image, 0x20000, 0x10000, &report, nullptr), 0);
        EXPECT_EQ(report.programmed, 0);
        const VerifyRequest verify{1, 0x20000, image.data() + 0x20000, 0x10000, quick, nullptr};
        EXPECT_EQ(VerifyChanged(tandrel_, verify, &report), 1);
        EXPECT_EQ(report.erasedSectors, 1u << 2);
        EXPECT_EQ(ChangedRepairLine(report),
                  "The verify found bytes the checksums had missed: programmed 64 KiB more.");
        ExpectHolds(image, before, 0x20000, 0x10000);
    }
}

// Cancel at any step: nothing after it is sent, and the operation ends cancelled.
TEST_F(ChangedTest, ACancelStopsTheNextStep) {
    struct CancelAt final : ProgressSink {
        CancelAt(KVTandrel& device, std::string prefix)
            : device(device), prefix(std::move(prefix)) {}
        void SetRange(std::int32_t, std::int32_t) override {}
        void SetStep(std::int32_t) override {}
        void SetPos(std::int32_t) override {}
        void StepIt() override {}
        void SetText(const char* text) override {
            if (std::string(text).starts_with(prefix)) device.RequestCancel();
        }
        KVTandrel& device;
        std::string prefix;
    };
    const Bytes image = PatternBytes(0x80000, 8);
    const struct {
        const char* step;
        std::uint32_t erases;
        std::string writes;  // a block goes out between its cancel test and its text
    } cases[] = {{"Comparing", 0, "ok"}, {"Erasing", 1, "ok"}, {"Writing", 1, "ok 030000-0300FF"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.step);
        Prepare(1, image, 0, 0x80000, {{0x31000, Edit::kSetsBit}});
        const std::uint32_t erases = unit_.counters().sectorErases;
        CancelAt cancel(tandrel_, c.step);
        EXPECT_EQ(Program(1, image, 0, 0x80000, nullptr, &cancel), kTandrelCancelled);
        EXPECT_EQ(tandrel_.LastFailure().problem, TandrelProblem::kCancelled);
        EXPECT_EQ(Writes(), c.writes);
        EXPECT_EQ(unit_.counters().sectorErases - erases, c.erases);
        EXPECT_EQ(tandrel_.idle, 1);
    }
}

}  // namespace
