// The Go To box: every way of writing an offset, and every way of getting it wrong.
#include "document/hex_goto.h"

#include <gtest/gtest.h>

namespace {

struct GotoCase {
    const char* text;
    std::uint32_t caret;
    std::uint32_t size;
    HexGotoError error;
    std::uint32_t offset;
};

TEST(HexGoto, ParsesOffsetsAndNamesEveryFault) {
    const GotoCase cases[] = {
        {"100", 0x100, 0x1000, kHexGotoOk, 0x100},
        {"1f", 0, 0x1000, kHexGotoOk, 0x1F},
        {"0x1F", 0, 0x1000, kHexGotoOk, 0x1F},
        {"0X1f", 0, 0x1000, kHexGotoOk, 0x1F},
        {"1Fh", 0, 0x1000, kHexGotoOk, 0x1F},
        {"1FH", 0, 0x1000, kHexGotoOk, 0x1F},
        {"  20\t", 0, 0x1000, kHexGotoOk, 0x20},
        {"#100", 0, 0x1000, kHexGotoOk, 100},
        {"0000000000000001", 0, 0x1000, kHexGotoOk, 1},
        {"+10", 0x100, 0x1000, kHexGotoOk, 0x110},
        {"-10", 0x100, 0x1000, kHexGotoOk, 0xF0},
        {"+#16", 0x100, 0x1000, kHexGotoOk, 0x110},
        {"#-16", 0x100, 0x1000, kHexGotoOk, 0xF0},
        {"-0x100", 0x100, 0x1000, kHexGotoOk, 0},
        {"+0", 0x100, 0x1000, kHexGotoOk, 0x100},
        {"1000", 0, 0x1000, kHexGotoOk, 0x1000},  // the end itself
        {"0", 0, 0, kHexGotoOk, 0},               // the end of an empty document
        {"FFFFFFFF", 0, 0xFFFFFFFF, kHexGotoOk, 0xFFFFFFFF},
        {"#4294967295", 0, 0xFFFFFFFF, kHexGotoOk, 0xFFFFFFFF},
        {"+1", 0xFFFFFFFE, 0xFFFFFFFF, kHexGotoOk, 0xFFFFFFFF},
        // Past either end.
        {"1001", 0, 0x1000, kHexGotoPastEnd, 0},
        {"+F01", 0x100, 0x1000, kHexGotoPastEnd, 0},
        {"+FFFFFFFF", 0x100, 0xFFFFFFFF, kHexGotoPastEnd, 0},
        {"-101", 0x100, 0x1000, kHexGotoBeforeStart, 0},
        {"-FFFFFFFF", 0x100, 0xFFFFFFFF, kHexGotoBeforeStart, 0},
        // Too large for 32 bits.
        {"100000000", 0, 0xFFFFFFFF, kHexGotoTooLarge, 0},
        {"#4294967296", 0, 0xFFFFFFFF, kHexGotoTooLarge, 0},
        {"+123456789ABCDEF", 0, 0xFFFFFFFF, kHexGotoTooLarge, 0},
        // No digits.
        {"", 0, 0x1000, kHexGotoEmpty, 0},
        {"   ", 0, 0x1000, kHexGotoEmpty, 0},
        {"0x", 0, 0x1000, kHexGotoEmpty, 0},
        {"h", 0, 0x1000, kHexGotoEmpty, 0},
        {"#", 0, 0x1000, kHexGotoEmpty, 0},
        {"-", 0, 0x1000, kHexGotoEmpty, 0},
        // Garbage.
        {"G", 0, 0x1000, kHexGotoBadNumber, 0},
        {"12 34", 0, 0x1000, kHexGotoBadNumber, 0},
        {"#1F", 0, 0x1000, kHexGotoBadNumber, 0},
        {"#10h", 0, 0x1000, kHexGotoBadNumber, 0},
        {"0x10h", 0, 0x1000, kHexGotoBadNumber, 0},
        {"0xh", 0, 0x1000, kHexGotoBadNumber, 0},
        {"++1", 0, 0x1000, kHexGotoBadNumber, 0},
        {"+-1", 0, 0x1000, kHexGotoBadNumber, 0},
        {"##1", 0, 0x1000, kHexGotoBadNumber, 0},
        {"1-", 0, 0x1000, kHexGotoBadNumber, 0},
        {"0x-1", 0, 0x1000, kHexGotoBadNumber, 0},
    };
    for (const GotoCase& c : cases) {
        const HexGotoResult result = HexParseGoto(c.text, c.caret, c.size);
        EXPECT_EQ(result.error, c.error) << "'" << c.text << "'";
        EXPECT_EQ(result.offset, c.offset) << "'" << c.text << "'";
        EXPECT_EQ(*HexGotoErrorText(result.error) == '\0', c.error == kHexGotoOk) << c.text;
    }
}

}  // namespace
