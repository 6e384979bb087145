// Digit entry arithmetic and caret key movement of the hex view.
#include <gtest/gtest.h>

#include <string>

#include "hexview/hexview_input.h"
#include "hexview/hexview_layout.h"

namespace {

// Types the characters of keys over old as the number pane does: the first digit over the
// byte, later digits in place; characters the format refuses are skipped.
int Type(std::uint32_t format, std::uint8_t old, const std::string& keys) {
    const HexDigitRules& rules = *HexViewDigitRules(format);
    std::uint32_t index = 0;
    std::uint8_t value = old;
    for (char c : keys) {
        int d = HexViewDigitValue(rules, c, index);
        if (d < 0) continue;
        std::uint32_t place = HexViewDigitPlace(rules, index);
        value = index == 0 ? HexViewFirstDigit(value, d, place)
                           : HexViewReplaceDigit(value, d, place, rules.radix);
        ++index;
    }
    return value;
}

TEST(HexViewDigits, DecimalFirstDigitDropsLowerDigitsThatWouldPass255) {
    EXPECT_EQ(Type(HVS_FORMAT_DECIMAL, 99, "2"), 200);
    EXPECT_EQ(Type(HVS_FORMAT_DECIMAL, 55, "2"), 255);
    EXPECT_EQ(Type(HVS_FORMAT_DECIMAL, 99, "1"), 199);
    EXPECT_EQ(Type(HVS_FORMAT_DECIMAL, 7, "0"), 7);
}

TEST(HexViewDigits, DecimalLimitsPerPosition) {
    const HexDigitRules& rules = *HexViewDigitRules(HVS_FORMAT_DECIMAL);
    EXPECT_EQ(HexViewDigitValue(rules, '3', 0), -1);
    EXPECT_EQ(HexViewDigitValue(rules, '2', 0), 2);
    EXPECT_EQ(HexViewDigitValue(rules, '6', 1), -1);
    EXPECT_EQ(HexViewDigitValue(rules, '5', 2), 5);
    EXPECT_EQ(HexViewDigitValue(rules, 'a', 1), -1);
    EXPECT_EQ(HexViewDigitValue(rules, '1', 3), -1);  // no fourth digit
    EXPECT_EQ(Type(HVS_FORMAT_DECIMAL, 0, "255"), 255);
    EXPECT_EQ(Type(HVS_FORMAT_DECIMAL, 0, "3255"), 255);   // "3" first is ignored
    EXPECT_EQ(Type(HVS_FORMAT_DECIMAL, 0, "1"), 100);
    EXPECT_EQ(Type(HVS_FORMAT_DECIMAL, 0, "19"), 100);     // 199 cannot be typed
    EXPECT_EQ(Type(HVS_FORMAT_DECIMAL, 250, "2"), 250);
    EXPECT_EQ(Type(HVS_FORMAT_DECIMAL, 250, "20"), 200);
    EXPECT_EQ(Type(HVS_FORMAT_DECIMAL, 250, "204"), 204);
}

TEST(HexViewDigits, HexadecimalTakesBothCases) {
    EXPECT_EQ(Type(HVS_FORMAT_HEX, 0x00, "A7"), 0xA7);
    EXPECT_EQ(Type(HVS_FORMAT_HEX, 0x00, "a"), 0xA0);
    EXPECT_EQ(Type(HVS_FORMAT_HEX, 0x3C, "f"), 0xFC);  // overwrite keeps the low digit
    EXPECT_EQ(Type(HVS_FORMAT_HEX, 0x3C, "fE"), 0xFE);
    EXPECT_EQ(Type(HVS_FORMAT_HEX, 0x3C, "g"), 0x3C);
    EXPECT_EQ(HexViewDigitPlace(*HexViewDigitRules(HVS_FORMAT_HEX), 0), 16u);
}

TEST(HexViewDigits, OctalAndBinary) {
    EXPECT_EQ(Type(HVS_FORMAT_OCTAL, 0, "377"), 0377);
    EXPECT_EQ(Type(HVS_FORMAT_OCTAL, 0, "4"), 0);        // 4 is not a leading octal digit
    EXPECT_EQ(Type(HVS_FORMAT_OCTAL, 0, "18"), 0100);    // 8 is no octal digit
    EXPECT_EQ(Type(HVS_FORMAT_BINARY, 0, "10100101"), 0xA5);
    EXPECT_EQ(Type(HVS_FORMAT_BINARY, 0xFF, "0"), 0x7F);
    EXPECT_EQ(Type(HVS_FORMAT_BINARY, 0, "12"), 0x80);
    EXPECT_EQ(HexViewDigitRules(0x60), nullptr);
}

// Caret keys ----------------------------------------------------------------------------------

HexViewModel Doc(std::uint32_t size, std::uint32_t caret) {
    HexViewModel m;
    m.docSize = size;
    HexViewComputeLayout(m);
    m.caretPos = caret;
    HexViewCaretCellFromPos(m);
    return m;
}

TEST(HexViewCaretKeys, EndInAFullRowGivesTheEndOfRowForm) {
    HexViewModel m = Doc(48, 18);
    HexViewMoveCaretByKey(m, HexCaretKey::kEnd);
    EXPECT_EQ(m.caretPos, 32u);
    EXPECT_EQ(m.caretCol, 16u);
    EXPECT_EQ(m.caretRow, 1);
    HexViewMoveCaretByKey(m, HexCaretKey::kEnd);  // again: stays
    EXPECT_EQ(m.caretPos, 32u);
    EXPECT_EQ(m.caretCol, 16u);
    HexViewMoveCaretByKey(m, HexCaretKey::kHome);
    EXPECT_EQ(m.caretPos, 16u);
    EXPECT_EQ(m.caretCol, 0u);
    EXPECT_EQ(m.caretRow, 1);
}

TEST(HexViewCaretKeys, EndInAShortLastRowStopsAtTheEnd) {
    HexViewModel m = Doc(20, 17);
    HexViewMoveCaretByKey(m, HexCaretKey::kEnd);
    EXPECT_EQ(m.caretPos, 20u);
    EXPECT_EQ(m.caretCol, 4u);
    EXPECT_EQ(m.caretRow, 1);
}

TEST(HexViewCaretKeys, DownPastAShortLastRowGoesToTheEnd) {
    HexViewModel m = Doc(20, 5);  // column 5, the last row holds 4 bytes
    HexViewMoveCaretByKey(m, HexCaretKey::kDown);
    EXPECT_EQ(m.caretPos, 20u);
    EXPECT_EQ(m.caretCol, 4u);
    EXPECT_EQ(m.caretRow, 1);

    HexViewModel inside = Doc(20, 2);
    HexViewMoveCaretByKey(inside, HexCaretKey::kDown);
    EXPECT_EQ(inside.caretPos, 18u);

    HexViewModel last = Doc(20, 17);  // already in the last row
    HexViewMoveCaretByKey(last, HexCaretKey::kDown);
    EXPECT_EQ(last.caretPos, 17u);

    HexViewModel full = Doc(32, 16);  // column 0 of the last full row
    HexViewMoveCaretByKey(full, HexCaretKey::kDown);
    EXPECT_EQ(full.caretPos, 16u);
}

TEST(HexViewCaretKeys, UpAndDownKeepTheEndOfRowForm) {
    HexViewModel m = Doc(64, 20);
    HexViewMoveCaretByKey(m, HexCaretKey::kEnd);  // 32, after row 1
    HexViewMoveCaretByKey(m, HexCaretKey::kDown);
    EXPECT_EQ(m.caretPos, 48u);
    EXPECT_EQ(m.caretCol, 16u);
    EXPECT_EQ(m.caretRow, 2);
    HexViewMoveCaretByKey(m, HexCaretKey::kDown);
    EXPECT_EQ(m.caretPos, 64u);
    EXPECT_EQ(m.caretRow, 3);
    HexViewMoveCaretByKey(m, HexCaretKey::kDown);  // nothing below
    EXPECT_EQ(m.caretPos, 64u);
    EXPECT_EQ(m.caretRow, 3);
    m.caretPos = 16;
    m.caretRow = 0;
    HexViewMoveCaretByKey(m, HexCaretKey::kUp);  // offset bytesPerRow in the form: stays
    EXPECT_EQ(m.caretPos, 16u);
    EXPECT_EQ(m.caretRow, 0);
    EXPECT_EQ(m.caretCol, 16u);
}

TEST(HexViewCaretKeys, DownFromTheEndOfRowFormIntoAShortRowLandsOnItsEnd) {
    HexViewModel m = Doc(20, 5);
    HexViewMoveCaretByKey(m, HexCaretKey::kEnd);  // 16, after row 0
    HexViewMoveCaretByKey(m, HexCaretKey::kDown);
    EXPECT_EQ(m.caretPos, 20u);
    EXPECT_EQ(m.caretCol, 4u);
    EXPECT_EQ(m.caretRow, 1);
}

TEST(HexViewCaretKeys, UpFromOffsetBytesPerRowGoesToZero) {
    HexViewModel m = Doc(64, 16);
    HexViewMoveCaretByKey(m, HexCaretKey::kUp);
    EXPECT_EQ(m.caretPos, 0u);
    HexViewModel top = Doc(64, 9);
    HexViewMoveCaretByKey(top, HexCaretKey::kUp);
    EXPECT_EQ(top.caretPos, 9u);
}

TEST(HexViewCaretKeys, LeftAndRightStopAtTheEnds) {
    HexViewModel m = Doc(3, 0);
    HexViewMoveCaretByKey(m, HexCaretKey::kLeft);
    EXPECT_EQ(m.caretPos, 0u);
    for (int i = 0; i < 5; ++i) HexViewMoveCaretByKey(m, HexCaretKey::kRight);
    EXPECT_EQ(m.caretPos, 3u);
    HexViewModel huge = Doc(0xFFFFFFFF, 0xFFFFFFFF);
    HexViewMoveCaretByKey(huge, HexCaretKey::kRight);
    EXPECT_EQ(huge.caretPos, 0xFFFFFFFFu);
}

TEST(HexViewCaretKeys, RowsAreRelativeToTheTopRow) {
    HexViewModel m = Doc(160, 0);
    m.topRow = 4;
    m.caretPos = 70;
    HexViewMoveCaretByKey(m, HexCaretKey::kUp);
    EXPECT_EQ(m.caretPos, 54u);
    EXPECT_EQ(m.caretRow, -1);  // above the view: the caller scrolls
}

TEST(HexViewCaretKeys, PagesStopAtBothEnds) {
    HexViewModel m = Doc(160, 100);
    m.pageRows = 4;
    HexViewPageCaret(m, false);
    EXPECT_EQ(m.caretPos, 36u);
    HexViewPageCaret(m, false);
    EXPECT_EQ(m.caretPos, 0u);
    HexViewPageCaret(m, true);
    EXPECT_EQ(m.caretPos, 64u);
    m.caretPos = 130;
    HexViewPageCaret(m, true);
    EXPECT_EQ(m.caretPos, 160u);
    EXPECT_EQ(m.caretCol, 16u);  // the end of a whole row: drawn after its last byte
    EXPECT_EQ(m.caretRow, 9);
}

}  // namespace
