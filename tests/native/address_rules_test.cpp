#include "app/address_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(ParseHex, SkipsWhatItDoesNotUnderstand) {
    EXPECT_EQ(ParseHex(""), 0);
    EXPECT_EQ(ParseHex(nullptr), 0);
    EXPECT_EQ(ParseHex("0x10"), 16);
    EXPECT_EQ(ParseHex("1 2"), 0x12);
    EXPECT_EQ(ParseHex("7fFf"), 0x7FFF);
    EXPECT_EQ(ParseHex("-zz9"), 9);
    EXPECT_EQ(ParseHex("FFFFFFFF"), -1);
    EXPECT_EQ(ParseHex("123456789"), 0x23456789);  // wraps in 32 bits
}

TEST(FormatAddress, UsesAtLeastSixUpperCaseDigits) {
    EXPECT_EQ(FormatAddress(0x63), "000063");
    EXPECT_EQ(FormatAddress(0x7FFFF), "07FFFF");
    EXPECT_EQ(FormatAddress(0x1234567), "1234567");
    EXPECT_EQ(FormatAddress(-1), "FFFFFFFF");
}

TEST(RangeSync, ABufferBoxMovesTheChipEndAndAChipBoxTheBufferEnd) {
    AddressBoxes boxes{0x100, 0x1FF, 0x8000, 0x9000};
    BoxUpdate update = ComputeRangeSync(kBoxBufferStart, boxes);
    EXPECT_EQ(update.box, kBoxChipEnd);
    EXPECT_EQ(update.value, 0x80FF);
    update = ComputeRangeSync(kBoxBufferEnd, boxes);
    EXPECT_EQ(update.box, kBoxChipEnd);

    update = ComputeRangeSync(kBoxChipStart, boxes);
    EXPECT_EQ(update.box, kBoxBufferEnd);
    EXPECT_EQ(update.value, 0x1100);
    update = ComputeRangeSync(kBoxChipEnd, boxes);
    EXPECT_EQ(update.box, kBoxBufferEnd);
}

TEST(RangeSync, ANegativeSpanOrAnotherBoxChangesNothing) {
    AddressBoxes reversed{0x200, 0x100, 0x300, 0x100};
    EXPECT_EQ(ComputeRangeSync(kBoxBufferStart, reversed).box, 0);
    EXPECT_EQ(ComputeRangeSync(kBoxChipEnd, reversed).box, 0);
    EXPECT_EQ(ComputeRangeSync(2700, AddressBoxes{0, 1, 2, 3}).box, 0);
    // An empty file's load leaves the buffer end at FFFFFFFF: not carried over.
    EXPECT_EQ(ComputeRangeSync(kBoxBufferEnd, AddressBoxes{0, -1, 0, 0x7FFF}).box, 0);
}

TEST(RangeSync, ExtremeValuesWrapInsteadOfOverflowing) {
    BoxUpdate update = ComputeRangeSync(kBoxBufferEnd, AddressBoxes{0, 0x7FFFFFFF, 0x10, 0});
    EXPECT_EQ(update.box, kBoxChipEnd);
    EXPECT_EQ(update.value, static_cast<std::int32_t>(0x8000000F));
}

SettingsRecord Request(std::int32_t chipType, std::int32_t direction, std::int32_t chipStart,
                       std::int32_t chipEnd, std::int32_t bufferStart, std::int32_t bufferEnd) {
    SettingsRecord s{};
    s.chipType = chipType;
    s.transferDirection = direction;
    s.chipStart = chipStart;
    s.chipEnd = chipEnd;
    s.bufferStart = bufferStart;
    s.bufferEnd = bufferEnd;
    return s;
}

std::vector<std::string> Texts(const RangeMessages& messages) {
    return {messages.begin(), messages.end()};
}

constexpr int kRead = 0;
constexpr int kProgram = 1;
constexpr int kAT29C256 = 0;
constexpr int kAM29F040 = 1;

TEST(ValidateTransfer, ChecksRunInOrderAndDoNotStopAtTheFirstFailure) {
    // Misaligned start and a length that is not a multiple of 64.
    EXPECT_EQ(Texts(ValidateTransferRanges(Request(kAT29C256, kRead, 0x20, 0x7FFF, 0, 0x7FDF))),
              (std::vector<std::string>{kMsgChipStartAlign, kMsgChipAlign}));
    // Reversed by one: length 0 is a multiple of 64, so only the reversed message.
    EXPECT_EQ(Texts(ValidateTransferRanges(Request(kAT29C256, kRead, 0x100, 0xFF, 0, 0xFF))),
              (std::vector<std::string>{kMsgChipReversed}));
    // 0x8001 bytes: not a multiple of 64 and larger than the chip.
    EXPECT_EQ(Texts(ValidateTransferRanges(Request(kAT29C256, kRead, 0, 0x8000, 0, 0x8000))),
              (std::vector<std::string>{kMsgChipAlign, kMsgOutsideChip}));
}

TEST(ValidateTransfer, TheBufferRangeIsCheckedOnlyWhenProgramming) {
    EXPECT_TRUE(ValidateTransferRanges(Request(kAT29C256, kRead, 0, 0x7FFF, 0x200, 0x100)).empty());
    EXPECT_EQ(Texts(ValidateTransferRanges(Request(kAT29C256, kProgram, 0, 0x7FFF, 0x200, 0x1BF))),
              (std::vector<std::string>{kMsgSourceReversed}));
    // A reversed length that is not a multiple of 64 fails both buffer checks.
    EXPECT_EQ(Texts(ValidateTransferRanges(Request(kAT29C256, kProgram, 0, 0x7FFF, 0x200, 0x100))),
              (std::vector<std::string>{kMsgSourceReversed, kMsgSourceAlign}));
    EXPECT_EQ(Texts(ValidateTransferRanges(Request(kAT29C256, kProgram, 0, 0x7FFF, 0, 0x7FDE))),
              (std::vector<std::string>{kMsgSourceAlign}));
    // A source range longer than the chip counts as outside it, for reads as well.
    EXPECT_EQ(Texts(ValidateTransferRanges(Request(kAT29C256, kRead, 0, 0x7FFF, 0, 0xFFFF))),
              (std::vector<std::string>{kMsgOutsideChip}));
}

TEST(ValidateTransfer, AWholeChipIntoTheWholeBufferPasses) {
    EXPECT_TRUE(ValidateTransferRanges(Request(kAM29F040, kRead, 0, 0x7FFFF, 0, 0x7FFFF)).empty());
    EXPECT_TRUE(
        ValidateTransferRanges(Request(kAM29F040, kProgram, 0x40, 0x7F, 0x7FFC0, 0x7FFFF)).empty());
}

TEST(ValidateTransfer, NothingReachesPastTheImageBuffer) {
    // The chip range is fine, but 0x40 bytes from buffer offset 0x7FFF0 end past 512 KiB.
    EXPECT_EQ(Texts(ValidateTransferRanges(Request(kAM29F040, kRead, 0, 0x3F, 0x7FFF0, 0x7FFF0))),
              (std::vector<std::string>{kMsgOutsideBuffer}));
    EXPECT_EQ(Texts(ValidateTransferRanges(Request(kAM29F040, kRead, 0, 0x3F, 0xFFFFC0, 0))),
              (std::vector<std::string>{kMsgOutsideBuffer}));
    EXPECT_EQ(Texts(ValidateTransferRanges(Request(kAM29F040, kRead, 0, 0x3F, -64, 0))),
              (std::vector<std::string>{kMsgOutsideBuffer}));
    // A negative chip start is outside the chip even when its end is not.
    EXPECT_EQ(Texts(ValidateTransferRanges(Request(kAT29C256, kRead, -64, 63, 0, 127))),
              (std::vector<std::string>{kMsgOutsideChip}));
}

TEST(ValidateTransfer, AChipTypeOutsideTheTableFitsNothing) {
    EXPECT_EQ(Texts(ValidateTransferRanges(Request(-1, kRead, 0, 0x3F, 0, 0x3F))),
              (std::vector<std::string>{kMsgOutsideChip}));
}

TEST(ValidateVerify, TheRangeMustBeForwardInsideTheChipAndTheBuffer) {
    EXPECT_TRUE(ValidateVerifyRanges(Request(kAT29C256, kRead, 0, 0x7FFF, 0, 0x7FFF)).empty());
    EXPECT_TRUE(ValidateVerifyRanges(Request(kAT29C256, kRead, 1, 2, 5, 6)).empty());  // any length
    EXPECT_EQ(Texts(ValidateVerifyRanges(Request(kAT29C256, kRead, 0x10, 0xF, 0, 0))),
              (std::vector<std::string>{kMsgChipReversed}));
    EXPECT_EQ(Texts(ValidateVerifyRanges(Request(kAT29C256, kRead, 0, 0x8000, 0, 0x8000))),
              (std::vector<std::string>{kMsgOutsideChip}));
    EXPECT_EQ(Texts(ValidateVerifyRanges(Request(kAM29F040, kRead, 0, 0x7FFFF, 1, 0x80000))),
              (std::vector<std::string>{kMsgOutsideBuffer}));
}

TEST(ValidateSave, ReversedAndOutsideRangesAreRefused) {
    EXPECT_TRUE(ValidateSaveRange(Request(0, kRead, 0, 0, 0x100, 0x1FF)).empty());
    EXPECT_TRUE(ValidateSaveRange(Request(0, kRead, 0, 0, 0, 0x7FFFF)).empty());
    EXPECT_EQ(Texts(ValidateSaveRange(Request(0, kRead, 0, 0, 0x200, 0x100))),
              (std::vector<std::string>{kMsgBufferReversed}));
    EXPECT_EQ(Texts(ValidateSaveRange(Request(0, kRead, 0, 0, 0, -1))),
              (std::vector<std::string>{kMsgBufferReversed}));
    EXPECT_EQ(Texts(ValidateSaveRange(Request(0, kRead, 0, 0, 0x7FF00, 0x80000))),
              (std::vector<std::string>{kMsgOutsideBuffer}));
    EXPECT_EQ(Texts(ValidateSaveRange(Request(0, kRead, 0, 0, -16, 15))),
              (std::vector<std::string>{kMsgOutsideBuffer}));
}

}  // namespace
