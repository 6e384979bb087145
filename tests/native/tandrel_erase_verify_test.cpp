// Erase, blank check and verify against the simulated unit.
#include <gtest/gtest.h>

#include <algorithm>

#include "device/chip_types.h"
#include "tests/native/support/tandrel_fixture.h"

namespace {

using Kind = LinkEvent::Kind;
using Lines = std::vector<std::string>;
using Calls = std::vector<std::string>;

class EraseVerifyTest : public TandrelTest {
protected:
    void SetUp() override { Detect(); }
    void Command(const std::string& line) {
        ASSERT_EQ(ExecuteUnitCommand(unit_, line, nullptr), "ok") << line;
    }
    bool Blank(std::size_t from, std::size_t count) const {
        return std::all_of(unit_.chip().begin() + static_cast<std::ptrdiff_t>(from),
                           unit_.chip().begin() + static_cast<std::ptrdiff_t>(from + count),
                           [](std::uint8_t b) { return b == 0xFF; });
    }
    VerifyRequest Request(std::int32_t type, std::uint32_t address, const std::vector<std::uint8_t>& data,
                          bool quick) {
        return VerifyRequest{type, address, data.data(), static_cast<std::int32_t>(data.size()),
                             quick ? 1 : 0, &progress_};
    }
};

// Every type of the chip table against the unit's own model of the part: a wrong digit is
// refused by the unit, a wrong size or erase method shows in the chip's bytes.
TEST_F(EraseVerifyTest, EveryChipTypeAgreesWithTheUnitsModelOfThePart) {
    for (std::int32_t type = 0; type < kChipTypeCount; ++type) {
        const ChipType& chip = kChipTypes[type];
        ASSERT_TRUE(unit_.InsertChip(type)) << chip.shortName;
        Command("fill 0x12");
        std::vector<std::uint8_t> data(static_cast<std::size_t>(chip.size));
        EXPECT_EQ(tandrel_.ReadChip(type, data.data(), 0, chip.size, nullptr), 0) << chip.shortName;
        EXPECT_EQ(data, unit_.chip()) << chip.shortName;
        EXPECT_EQ(tandrel_.EraseChip(type, nullptr), 1) << chip.shortName;
        EXPECT_EQ(tandrel_.BlankCheckChip(type, nullptr), chip.programmable() ? 1 : 0)
            << chip.shortName;
        if (chip.programmable()) {
            const std::vector<std::uint8_t> block(256, 0x5A);
            EXPECT_EQ(tandrel_.WriteChip(type, block.data(), 0, 256, nullptr), 0) << chip.shortName;
            EXPECT_EQ(tandrel_.VerifyChip(Request(type, 0, block, false)), 1) << chip.shortName;
        }
    }
}

TEST_F(EraseVerifyTest, EraseSectorSendsItsFrameWithoutAPurge) {
    Command("fill 0");
    EXPECT_EQ(tandrel_.EraseSector(3), 0);
    EXPECT_EQ(HexFrames(), std::vector<std::string>{"34 45 03 7C"});
    EXPECT_TRUE(EventsOf(Kind::kPurge).empty());
    EXPECT_EQ(ReadTimeoutsSet(), (std::vector<std::uint32_t>{6000, 300}));
    EXPECT_TRUE(Blank(0x30000, 0x10000));
    EXPECT_EQ(unit_.chip()[0x2FFFF], 0);
    EXPECT_EQ(unit_.chip()[0x40000], 0);
}

TEST_F(EraseVerifyTest, EraseSectorOutOfRangeSendsNothing) {
    EXPECT_EQ(tandrel_.EraseSector(8), -2);
    EXPECT_EQ(tandrel_.EraseSector(-1), -2);
    EXPECT_TRUE(ports_.Frames().empty());
    EXPECT_EQ(tandrel_.idle, 1);
    KVTandrel emulator(ports_, clock_);
    EXPECT_EQ(emulator.EraseSector(1), -3);
}

TEST_F(EraseVerifyTest, EraseRepliesFandQuestionMarkAreRefusalsAnythingElseIsDone) {
    Command("fault erase-fail 2 F");
    EXPECT_EQ(tandrel_.EraseSector(2), -1);
    Command("fault erase-fail 2 ?");
    EXPECT_EQ(tandrel_.EraseSector(2), -1);
    Command("fault erase-fail 2 X");
    EXPECT_EQ(tandrel_.EraseSector(2), 0);
    Command("fault silent");
    std::uint64_t before = clock_.NowNs();
    EXPECT_EQ(tandrel_.EraseSector(2), -1);
    EXPECT_GE(clock_.NowNs() - before, 6000'000'000u);
}

TEST_F(EraseVerifyTest, ChipEraseStopsAtTheFirstRefusedSector) {
    Command("fill 0");
    Command("fault erase-fail 5 ?");
    EXPECT_EQ(tandrel_.EraseChip(1, &progress_), 0);
    EXPECT_EQ(HexFrames(), (std::vector<std::string>{"34 45 00 79", "34 45 01 7A", "34 45 02 7B",
                                                     "34 45 03 7C", "34 45 04 7D", "34 45 05 7E"}));
    EXPECT_EQ(progress_.calls, (Calls{"range 0 8", "step 1", "pos 0", "stepit", "stepit", "stepit",
                                      "stepit", "stepit", "pos 0"}));
    EXPECT_TRUE(Blank(0, 5 * 0x10000));
    EXPECT_EQ(unit_.chip()[5 * 0x10000], 0);
    EXPECT_EQ(unit_.chip()[7 * 0x10000], 0);
    EXPECT_EQ(tandrel_.idle, 1);
}

TEST_F(EraseVerifyTest, ChipEraseOfAnAm29f040) {
    Command("fill 0x55");
    EXPECT_EQ(tandrel_.EraseChip(1, nullptr), 1);
    EXPECT_EQ(ports_.Frames().size(), 8u);
    EXPECT_EQ(EventsOf(Kind::kPurge).size(), 1u);
    EXPECT_TRUE(Blank(0, 0x80000));
}

TEST_F(EraseVerifyTest, TheAt29c256ErasesByWritingOnes) {
    Command("chip 0");
    Command("fill 0x12");
    EXPECT_EQ(tandrel_.EraseChip(0, &progress_), 1);
    auto frames = ports_.Frames();
    ASSERT_EQ(frames.size(), 128u);
    EXPECT_EQ(Hex({frames[127].begin(), frames[127].begin() + 5}), "32 57 00 7F 00");
    EXPECT_TRUE(Blank(0, 0x8000));
    EXPECT_EQ(progress_.Count("text Writing Address 007F00"), 1);
    EXPECT_EQ(progress_.calls.back(), "pos 0");
}

TEST_F(EraseVerifyTest, ACancelledOrRefusedFillWriteFailsTheErase) {
    Command("chip 0");
    tandrel_.cancelRequested = 1;
    EXPECT_EQ(tandrel_.EraseChip(0, nullptr), -1);
    Command("fault reply 3 ?");
    EXPECT_EQ(tandrel_.EraseChip(0, nullptr), -1);
}

TEST_F(EraseVerifyTest, The27sf512UsesTheWholeChipErase) {
    Command("chip 2");
    Command("fill 0");
    EXPECT_EQ(tandrel_.EraseChip(2, nullptr), 1);
    EXPECT_EQ(HexFrames(), std::vector<std::string>{"35 45 7A"});
    EXPECT_TRUE(Blank(0, 0x10000));
    Command("fault bulk-fail F");
    EXPECT_EQ(tandrel_.EraseChip(2, nullptr), -1);
    EXPECT_EQ(tandrel_.BulkErase(), -1);
    KVTandrel emulator(ports_, clock_);
    EXPECT_EQ(emulator.BulkErase(), -3);
}

TEST_F(EraseVerifyTest, ReadOnlyTypesHaveNothingToErase) {
    for (int type : {3, 4, 5, 6, 9}) {
        progress_.calls.clear();
        EXPECT_EQ(tandrel_.EraseChip(type, &progress_), 1) << type;
        EXPECT_EQ(progress_.calls, Calls{"pos 0"});
    }
    EXPECT_TRUE(ports_.Frames().empty());
}

TEST_F(EraseVerifyTest, EraseRefusedBeforeSending) {
    KVTandrel emulator(ports_, clock_);
    EXPECT_EQ(emulator.EraseChip(1, &progress_), 0);
    tandrel_.ClosePort();
    ClearEvents();
    EXPECT_EQ(tandrel_.EraseChip(1, &progress_), 0);
    EXPECT_TRUE(ports_.events().empty());
    EXPECT_EQ(progress_.calls, (Calls{"pos 0", "pos 0"}));
}

TEST_F(EraseVerifyTest, BlankCheckOfA2732aReadsSixteenBlocks) {
    Command("chip 3");
    EXPECT_EQ(tandrel_.BlankCheckChip(3, &progress_), 0) << "preset EPROM content";
    auto frames = ports_.Frames();
    ASSERT_EQ(frames.size(), 16u);
    EXPECT_EQ(Hex(frames[15]), "33 52 00 0F 00 94");
    Command("fill 0xFF");
    EXPECT_EQ(tandrel_.BlankCheckChip(3, &progress_), 1);
    Command("poke 0x0ABC 0xFE");
    EXPECT_EQ(tandrel_.BlankCheckChip(3, &progress_), 0);
    EXPECT_EQ(progress_.calls.back(), "pos 0");
}

TEST_F(EraseVerifyTest, BlankCheckFailures) {
    Command("fault stop 3");
    EXPECT_EQ(tandrel_.BlankCheckChip(1, nullptr), -1);
    EXPECT_EQ(tandrel_.portOpen, 0) << "the unit stopped answering: the link was closed";
    ASSERT_EQ(tandrel_.InitPort("COM1", 115200), 0);
    EXPECT_EQ(tandrel_.BlankCheckChip(7, nullptr), -1);
    EXPECT_EQ(tandrel_.BlankCheckChip(-1, nullptr), -1);
    tandrel_.deviceFamily = 8;
    EXPECT_EQ(tandrel_.BlankCheckChip(1, nullptr), -1);
    tandrel_.deviceFamily = 16;
    Command("fault clear");
    EXPECT_EQ(tandrel_.BlankCheckChip(1, nullptr), 1) << "family 16 is a programmer too";
}

TEST_F(EraseVerifyTest, SectorBlankCheckReadsTheSectorAsAnAm29f040) {
    Command("fill 0");
    Command("chip 1");  // fresh, erased
    Command("poke 0x70000 0x00");
    EXPECT_EQ(tandrel_.BlankCheckSector(6, &progress_), 1);
    auto frames = ports_.Frames();
    ASSERT_EQ(frames.size(), 256u);
    EXPECT_EQ(Hex(frames[0]), "34 52 00 06 00 00 8C");
    EXPECT_EQ(tandrel_.BlankCheckSector(7, &progress_), 0);
    EXPECT_EQ(progress_.calls.back(), "pos 0");
    EXPECT_EQ(tandrel_.idle, 1);
    EXPECT_EQ(tandrel_.BlankCheckSector(8, nullptr), -1);
    EXPECT_EQ(tandrel_.BlankCheckSector(-1, nullptr), -1);
    Command("fault bad-checksum 0");
    EXPECT_EQ(tandrel_.BlankCheckSector(0, nullptr), -1);
}

TEST(WeightedChecksum16, WeighsEachByteByItsIndex) {
    const std::uint8_t data[] = {0x10, 0x20, 0x30};
    EXPECT_EQ(WeightedChecksum16(data, 3), 0x80u);
    EXPECT_EQ(WeightedChecksum16(data, 1), 0u) << "the first byte has weight 0";
    EXPECT_EQ(WeightedChecksum16(nullptr, 3), 0u);
    std::vector<std::uint8_t> big(0x80000, 0xFF);
    // sum of i for i < 2^19 is 2^18 (2^19 - 1); times 255, modulo 65536.
    std::uint64_t exact = 255ull * (0x80000ull * (0x80000ull - 1) / 2);
    EXPECT_EQ(WeightedChecksum16(big.data(), 0x80000), exact % 65536);
}

TEST_F(EraseVerifyTest, QuickVerifyComparesTwoOfTheUnitsChecksumsAndReadsTheFirstBlock) {
    Command("poke 0x100 0x10 0x20 0x30");
    std::vector<std::uint8_t> data = {0x10, 0x20, 0x30};
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0x100, data, true)), 1);
    // The range, the range less its first byte, then a read of its first block.
    EXPECT_EQ(HexFrames(), (std::vector<std::string>{"51 00 00 03 00 01 00", "51 00 00 02 00 01 01",
                                                     "34 52 03 00 01 00 8A"}));
    auto reads = EventsOf(Kind::kRead);
    ASSERT_GE(reads.size(), 2u);
    EXPECT_EQ(Hex(reads[0].bytes), "00 80");
    EXPECT_EQ(Hex(reads[1].bytes), "00 30");
    EXPECT_EQ(progress_.calls.back(), "pos 0");

    Command("poke 0x102 0x31");
    ClearLog();
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0x100, data, true)), 0);
    EXPECT_EQ(log_, Lines{"KVTandrel: Chip Quick Verify failed. Local Checksum: 0x0080. "
                          "Chip Checksum: 0x0082"});
}

// The unit's sum gives the first byte of a range weight 0 and a byte at a 32 KiB multiple an
// even weight, which a difference of 2 (or any at a 64 KiB multiple) leaves unchanged. A chip
// that differs from the buffer at one such byte alone must still fail the quick verify.
TEST_F(EraseVerifyTest, QuickVerifySeesEverySingleDifferingByte) {
    struct Case {
        std::uint32_t offset;
        std::uint8_t buffer, chip;
    };
    const Case cases[] = {{0, 0x12, 0x34},       {1, 0x12, 0x13},       {0x8000, 0x12, 0x10},
                          {0x10000, 0x12, 0x92}, {0x18000, 0x40, 0x42}, {0x1FFFF, 0x00, 0x01}};
    std::vector<std::uint8_t> data(0x20000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    for (const Case& c : cases) {
        std::vector<std::uint8_t> buffer = data;
        buffer[c.offset] = c.buffer;
        std::copy(data.begin(), data.end(), unit_.chip().begin() + 0x40000);
        unit_.chip()[0x40000 + c.offset] = c.chip;
        EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0x40000, buffer, true)), 0) << c.offset;
        EXPECT_EQ(tandrel_.LastFailure().problem, TandrelProblem::kMismatch) << c.offset;
        buffer[c.offset] = c.chip;
        EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0x40000, buffer, true)), 1) << c.offset;
    }
}

TEST_F(EraseVerifyTest, QuickVerifyOfTheWholeChip) {
    std::vector<std::uint8_t> image(0x80000);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31 + 7);
    std::copy(image.begin(), image.end(), unit_.chip().begin());
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0, image, true)), 1);
    EXPECT_EQ(HexFrames(), (std::vector<std::string>{"51 08 00 00 00 00 00", "51 07 FF FF 00 00 01",
                                                     "34 52 00 00 00 00 86"}));
    image[0x7FFFF] ^= 1;
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0, image, true)), 0);
}

TEST_F(EraseVerifyTest, QuickVerifyFailures) {
    std::vector<std::uint8_t> data(16, 0xFF);
    Command("fault quick-short");
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0, data, true)), -1);
    Command("fault silent");
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0, data, true)), -1);
    ClearEvents();
    VerifyRequest bad = Request(1, 0, data, true);
    bad.length = -1;
    EXPECT_EQ(tandrel_.VerifyChip(bad), -1);
    bad.length = 0x1000000;  // the frame carries 24 bits of length
    EXPECT_EQ(tandrel_.VerifyChip(bad), -1);
    bad.length = 16;
    bad.buffer = nullptr;
    EXPECT_EQ(tandrel_.VerifyChip(bad), -1);
    EXPECT_TRUE(ports_.Frames().empty());
    tandrel_.deviceFamily = 4;
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0, data, true)), -1);
}

// The window's Cancel stops what has steps: a quick verify before its next checksum frame, a
// chip erase before its next sector.
TEST_F(EraseVerifyTest, AStopEndsAQuickVerifyAndAChipEraseAtTheirNextStep) {
    std::vector<std::uint8_t> data(16, 0xFF);
    tandrel_.stopRequested = 1;
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0, data, true)), -1);
    EXPECT_TRUE(ports_.Frames().empty());
    EXPECT_EQ(tandrel_.LastFailure().step, TandrelStep::kQuickVerify);
    EXPECT_EQ(tandrel_.LastFailure().problem, TandrelProblem::kCancelled);

    struct StopAtThirdSector final : ProgressSink {
        KVTandrel* device;
        int steps = 0;
        void SetRange(std::int32_t, std::int32_t) override {}
        void SetStep(std::int32_t) override {}
        void SetPos(std::int32_t) override {}
        void SetText(const char*) override {}
        void StepIt() override {
            if (++steps == 3) device->stopRequested = 1;
        }
    } stopper;
    stopper.device = &tandrel_;
    tandrel_.stopRequested = 0;
    Command("fill 0");
    EXPECT_EQ(tandrel_.EraseChip(1, &stopper), 0);
    EXPECT_EQ(ports_.Frames().size(), 3u);
    EXPECT_TRUE(Blank(0, 3 * 0x10000));
    EXPECT_EQ(unit_.chip()[3 * 0x10000], 0);
    EXPECT_EQ(tandrel_.LastFailure().problem, TandrelProblem::kCancelled);
}

TEST_F(EraseVerifyTest, FullVerifyReportsTheFirstDifferenceByRangeOffset) {
    std::vector<std::uint8_t> data(0x2000);
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i);
    std::copy(data.begin(), data.end(), unit_.chip().begin() + 0x10000);
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0x10000, data, false)), 1);
    EXPECT_EQ(ports_.Frames().size(), 32u);

    unit_.chip()[0x10000 + 0x1234] = 0xEE;
    unit_.chip()[0x10000 + 0x1500] = 0xEE;
    ClearLog();
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0x10000, data, false)), 0);
    ASSERT_EQ(log_.size(), 4u) << "after the read's own three lines";
    EXPECT_EQ(log_[3], "KVTandrel: Chip Verify failed at offset 0x001234. Local Buffer: 0x34. Chip: 0xEE");
    EXPECT_EQ(progress_.calls.back(), "pos 0");
}

TEST_F(EraseVerifyTest, FullVerifyOfARangeLongerThanTheChipIsRefused) {
    Command("chip 0");
    std::vector<std::uint8_t> data(0x8001, 0xFF);
    EXPECT_EQ(tandrel_.VerifyChip(Request(0, 0, data, false)), -1);
    EXPECT_TRUE(ports_.Frames().empty());
    EXPECT_EQ(log_, Lines{"KVTandrel: Chip Verify refused: 32769 bytes do not fit a chip of 32768 bytes"});
    data.resize(0x8000);
    EXPECT_EQ(tandrel_.VerifyChip(Request(0, 0, data, false)), 1) << "exactly the chip fits";
}

TEST_F(EraseVerifyTest, FullVerifyFailures) {
    std::vector<std::uint8_t> data(512, 0xFF);
    Command("fault bad-checksum 1");
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0, data, false)), -1);
    tandrel_.cancelRequested = 1;
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0, data, false)), -1);
    VerifyRequest bad = Request(1, 0, data, false);
    bad.chipType = 7;
    EXPECT_EQ(tandrel_.VerifyChip(bad), -1);
    bad.chipType = 1;
    bad.buffer = nullptr;
    EXPECT_EQ(tandrel_.VerifyChip(bad), -1);
    bad.buffer = data.data();
    bad.length = -512;
    EXPECT_EQ(tandrel_.VerifyChip(bad), -1);
    tandrel_.ClosePort();
    EXPECT_EQ(tandrel_.VerifyChip(Request(1, 0, data, false)), -1);
}

}  // namespace
