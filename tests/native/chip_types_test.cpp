// The chip table against its rows written out by hand. A row's digits and size are the wire
// protocol and its index is what settings files store, so any change here must be deliberate;
// a new type fails this test until its row is written out below as well.
#include "device/chip_types.h"

#include <gtest/gtest.h>

#include <iterator>
#include <string>

namespace {

struct Row {
    const char* listText;
    const char* shortName;
    std::int32_t size;
    char readDigit;
    char writeDigit;
    std::int32_t addressBytes;
    EraseMethod erase;
    std::int32_t sectorCount;
    std::int32_t sectorSize;
    bool programmable;
};

constexpr Row kRows[] = {
    {"AT29C256", "AT29C256", 32768, '2', '2', 2, EraseMethod::kFillWrite, 0, 0, true},
    {"AM29F040", "AM29F040", 524288, '4', '4', 3, EraseMethod::kSectors, 8, 65536, true},
    {"27SF512", "27SF512", 65536, '5', '5', 2, EraseMethod::kWholeChip, 0, 0, true},
    {"2732A (Read-Only)", "2732A", 4096, '3', 0, 2, EraseMethod::kNone, 0, 0, false},
    {"27C128 (Read-Only)", "27C128", 16384, '5', 0, 2, EraseMethod::kNone, 0, 0, false},
    {"27C256 (Read-Only)", "27C256", 32768, '5', 0, 2, EraseMethod::kNone, 0, 0, false},
    {"27C512 (Read-Only)", "27C512", 65536, '5', 0, 2, EraseMethod::kNone, 0, 0, false},
};

TEST(ChipTypes, EveryRowIsTheOneWrittenOutByHand) {
    ASSERT_EQ(kChipTypeCount, static_cast<std::int32_t>(std::size(kRows)));
    for (std::int32_t i = 0; i < kChipTypeCount; ++i) {
        const ChipType& chip = *FindChipType(i);
        const Row& row = kRows[i];
        EXPECT_EQ(std::string(chip.listText), row.listText) << i;
        EXPECT_EQ(std::string(chip.shortName), row.shortName) << i;
        EXPECT_EQ(chip.size, row.size) << i;
        EXPECT_EQ(chip.readDigit, row.readDigit) << i;
        EXPECT_EQ(chip.writeDigit, row.writeDigit) << i;
        EXPECT_EQ(chip.addressBytes, row.addressBytes) << i;
        EXPECT_EQ(chip.erase, row.erase) << i;
        EXPECT_EQ(chip.sectorCount, row.sectorCount) << i;
        EXPECT_EQ(chip.sectorSize, row.sectorSize) << i;
        EXPECT_EQ(chip.programmable(), row.programmable) << i;
    }
    EXPECT_EQ(FindChipType(-1), nullptr);
    EXPECT_EQ(FindChipType(kChipTypeCount), nullptr);
    EXPECT_EQ(kSectorChipType, 1);
}

}  // namespace
