// Clipboard and drag-and-drop decisions of HexView32: drop effects, drop positions, the byte
// counts taken from text blocks, the question asked when a document closes.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "hexview/hexview_layout.h"
#include "hexview/hexview_transfer.h"

namespace {

constexpr std::uint32_t kCopy = kHexDropCopy;
constexpr std::uint32_t kMove = kHexDropMove;
constexpr std::uint32_t kBoth = kHexDropCopy | kHexDropMove;

TEST(HexViewDropEffect, FollowsTheOfferTheKeysAndWhatTheSourceAllows) {
    struct Case {
        HexDropOffer offer;
        bool control;
        std::uint32_t allowed;
        std::uint32_t effect;
    };
    const HexDropOffer text{true, false};
    const HexDropOffer file{false, true};
    const HexDropOffer nothing{false, false};
    const Case cases[] = {
        {nothing, false, kBoth, kHexDropNone},
        {text, false, kBoth, kMove},
        {text, false, kCopy, kCopy},
        {text, false, kMove, kMove},
        {text, false, 0, kHexDropNone},
        {text, true, kBoth, kCopy},
        {text, true, kMove, kHexDropNone},
        {text, false, kBoth | 4, kMove},
        // A dropped file is only ever copied, so its source never deletes it.
        {file, false, kBoth, kCopy},
        {file, false, kMove, kHexDropNone},
        {HexDropOffer{true, true}, false, kBoth, kCopy},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HexViewDropEffect(c.offer, c.control, c.allowed), c.effect)
            << c.offer.text << c.offer.fileName << c.control << c.allowed;
    }
}

HexViewModel Model(std::uint32_t size, std::uint32_t top = 0) {
    HexViewModel m;
    m.charWidth = 8;
    m.lineHeight = 16;
    m.docSize = size;
    m.topRow = top;
    HexViewComputeLayout(m);
    return m;
}

std::int32_t CellX(const HexViewModel& m, std::uint32_t column) {
    return static_cast<std::int32_t>((m.dataColumn + column * m.cellWidth) * m.charWidth + 4);
}

TEST(HexViewDropCaret, TheCellUnderThePointerOrTheEnd) {
    HexViewModel m = Model(0x100);
    HexViewDropCaret(m, CellX(m, 3), 2 * 16 + 5);
    EXPECT_EQ(m.caretPos, 0x23u);
    EXPECT_EQ(m.caretCol, 3u);
    EXPECT_EQ(m.caretRow, 2);

    // Rows below the last one, and a pointer above the first, stay inside the document.
    HexViewDropCaret(m, CellX(m, 5), 40 * 16);
    EXPECT_EQ(m.caretPos, 0x100u);
    EXPECT_EQ(m.caretCol, 0u);
    EXPECT_EQ(m.caretRow, 16);
    HexViewDropCaret(m, CellX(m, 5), -7);
    EXPECT_EQ(m.caretPos, 5u);

    // A scrolled view counts from its top row.
    HexViewModel scrolled = Model(0x1000, 0x20);
    HexViewDropCaret(scrolled, CellX(scrolled, 1), 16 + 1);
    EXPECT_EQ(scrolled.caretPos, 0x211u);
    EXPECT_EQ(scrolled.caretRow, 1);

    // A short last row: past its end is the end of the document.
    HexViewModel shortRow = Model(0x24);
    HexViewDropCaret(shortRow, CellX(shortRow, 9), 2 * 16 + 1);
    EXPECT_EQ(shortRow.caretPos, 0x24u);
    EXPECT_EQ(shortRow.caretCol, 4u);
}

TEST(HexViewTextCount, AnAnnouncedCountNeverPassesTheBlock) {
    const std::uint8_t bytes[] = {'a', 'b', 0, 'c', 0, 0, 0, 0};
    EXPECT_EQ(HexViewTextCount(0, bytes, sizeof bytes), 2u);     // text stops at its first zero
    EXPECT_EQ(HexViewTextCount(5, bytes, sizeof bytes), 5u);     // zero bytes that were announced
    EXPECT_EQ(HexViewTextCount(1000, bytes, sizeof bytes), 8u);  // a count that lies
    const std::uint8_t unterminated[] = {'x', 'y', 'z'};
    EXPECT_EQ(HexViewTextCount(0, unterminated, sizeof unterminated), 3u);
    EXPECT_EQ(HexViewTextCount(0, unterminated, 0), 0u);
}

TEST(HexViewFlushQuestion, CountsWholeKilobytes) {
    EXPECT_EQ(HexViewFlushQuestion(100000),
              "There is 97 Kb of data currently in the Clipboard.\nWould you like to leave this "
              "data for other applications?");
    EXPECT_NE(HexViewFlushQuestion(65536).find(" 64 Kb "), std::string::npos);
    EXPECT_EQ(kHexFlushQuestionBytes, 65536u);
}

}  // namespace
