// Row text, column layout, colour runs, hit testing and caret placement of the hex view.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "hexview/hexview_layout.h"

namespace {

HexViewModel Model(std::uint32_t style = kHexViewDefaultStyle, std::uint32_t docSize = 0) {
    HexViewModel m;
    m.style = style;
    m.cellWidth = HexViewCellWidth(style, 3);
    m.addressWidth = HexViewAddressWidth(style);
    m.docSize = docSize;
    m.charWidth = 8;
    m.lineHeight = 12;
    HexViewComputeLayout(m);
    return m;
}

std::string Row(const HexViewModel& m, std::vector<std::uint8_t> bytes, std::uint32_t offset) {
    std::vector<char> text(m.lineWidth + 1, '#');
    HexViewFormatLine(m, text.data(), bytes.data(), static_cast<std::uint32_t>(bytes.size()),
                      offset);
    return text.data();
}

TEST(HexViewLayout, DefaultColumns) {
    HexViewModel m = Model();
    EXPECT_EQ(m.dataColumn, 10u);
    EXPECT_EQ(m.charColumn, 59u);
    EXPECT_EQ(m.lineWidth, 75u);
}

TEST(HexViewLayout, AddressWidthsFollowTheAddressBits) {
    EXPECT_EQ(HexViewAddressWidth(0), 8u);
    EXPECT_EQ(HexViewAddressWidth(HVS_ADDRCOLON), 9u);
    EXPECT_EQ(HexViewAddressWidth(HVS_ADDRCOLON | HVS_DECIMALOFFSET), 11u);
    EXPECT_EQ(HexViewAddressWidth(HVS_SEGOFFSET), 9u);
    EXPECT_EQ(HexViewAddressWidth(HVS_SEGOFFSET | HVS_DECIMALOFFSET), 10u);  // decimal wins
    EXPECT_EQ(HexViewAddressWidth(HVS_NOADDRESS | HVS_ADDRCOLON | HVS_DECIMALOFFSET), 0u);
    // Without an address the number pane still starts after the gap.
    EXPECT_EQ(Model(HVS_NOADDRESS).dataColumn, 2u);
}

TEST(HexViewLayout, CellWidthsPerFormat) {
    EXPECT_EQ(HexViewCellWidth(HVS_FORMAT_HEX, 7), 3u);
    EXPECT_EQ(HexViewCellWidth(HVS_FORMAT_DECIMAL, 7), 4u);
    EXPECT_EQ(HexViewCellWidth(HVS_FORMAT_OCTAL, 7), 4u);
    EXPECT_EQ(HexViewCellWidth(HVS_FORMAT_BINARY, 7), 9u);
    EXPECT_EQ(HexViewCellWidth(0x60, 7), 7u);  // no such format: kept
}

TEST(HexViewLayout, AddressForms) {
    const std::vector<std::uint8_t> one{0x41};
    struct Case {
        std::uint32_t style;
        const char* address;
    } cases[] = {
        {0, "00012345"},
        {HVS_SEGOFFSET, "0001:2345"},
        {HVS_DECIMALOFFSET, "0000074565"},
        {HVS_DECIMALOFFSET | HVS_SEGOFFSET, "0000074565"},
        {HVS_ADDRCOLON, "00012345:"},
        {HVS_SEGOFFSET | HVS_ADDRCOLON, "0001:2345:"},
        {HVS_DECIMALOFFSET | HVS_ADDRCOLON, "0000074565:"},
    };
    for (const Case& c : cases) {
        HexViewModel m = Model(c.style);
        std::string row = Row(m, one, 0x12345);
        EXPECT_EQ(row.substr(0, m.addressWidth), c.address) << std::hex << c.style;
        EXPECT_EQ(row.substr(m.addressWidth, 2), "  ");
        EXPECT_EQ(row.size(), m.lineWidth);
    }
    EXPECT_EQ(Row(Model(HVS_LOWERCASE), one, 0xABCDEF).substr(0, 8), "00abcdef");
    EXPECT_EQ(Row(Model(HVS_LOWERCASE | HVS_SEGOFFSET), one, 0xABCDEF).substr(0, 9), "00ab:cdef");
    EXPECT_EQ(Row(Model(), one, 0xABCDEF).substr(0, 8), "00ABCDEF");
}

TEST(HexViewLayout, OneByteInEveryFormat) {
    struct Case {
        std::uint32_t format;
        const char* digits;
    } cases[] = {
        {HVS_FORMAT_HEX, "41"},
        {HVS_FORMAT_DECIMAL, "065"},
        {HVS_FORMAT_OCTAL, "101"},
        {HVS_FORMAT_BINARY, "01000001"},
    };
    for (const Case& c : cases) {
        HexViewModel m = Model(c.format);
        m.bytesPerRow = 1;
        HexViewComputeLayout(m);
        EXPECT_EQ(Row(m, {0x41}, 0), std::string("00000000  ") + c.digits + "  A");
        char alone[9];
        EXPECT_EQ(HexViewFormatByte(c.format, 0x41, alone), static_cast<int>(strlen(c.digits)));
        EXPECT_STREQ(alone, c.digits);
    }
}

TEST(HexViewLayout, FullDefaultRow) {
    std::vector<std::uint8_t> bytes;
    for (int i = 0; i < 16; ++i) bytes.push_back(static_cast<std::uint8_t>(0x30 + i));
    EXPECT_EQ(Row(Model(), bytes, 0x10),
              "00000010  30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F  0123456789:;<=>?");
    EXPECT_EQ(Row(Model(HVS_LOWERCASE), bytes, 0x10).substr(10, 47),
              "30 31 32 33 34 35 36 37 38 39 3a 3b 3c 3d 3e 3f");
}

TEST(HexViewLayout, AShortLastRowIsPaddedInBothPanes) {
    HexViewModel m = Model();
    std::string row = Row(m, {0x41, 0x42, 0x43}, 0x20);
    EXPECT_EQ(row.size(), 75u);
    EXPECT_EQ(row, std::string("00000020  41 42 43") + std::string(13 * 3, ' ') + "  ABC" +
                       std::string(13, ' '));
    EXPECT_EQ(row.substr(59, 3), "ABC");  // the character pane stays aligned
}

TEST(HexViewLayout, CharacterSubstitution) {
    HexViewModel m = Model();
    EXPECT_EQ(HexViewDisplayChar(m, 0x41), 'A');
    EXPECT_EQ(HexViewDisplayChar(m, 0x0A), '.');
    EXPECT_EQ(HexViewDisplayChar(m, 0xE9), '.');
    EXPECT_EQ(HexViewDisplayChar(m, 0x7F), '\x7F');
    m.style |= HVS_SHOWCONTROLCHARS;
    EXPECT_EQ(HexViewDisplayChar(m, 0x0A), '\x0A');
    EXPECT_EQ(HexViewDisplayChar(m, 0xE9), '.');
    m.style = HVS_SHOWHIGHCHARS;
    m.substituteChar = '?';
    EXPECT_EQ(HexViewDisplayChar(m, 0xE9), '\xE9');
    EXPECT_EQ(HexViewDisplayChar(m, 0x00), '?');
}

TEST(HexViewLayout, ZeroByteShownAsItselfStillTakesItsCell) {
    HexViewModel m = Model(HVS_SHOWCONTROLCHARS);
    std::vector<char> text(m.lineWidth + 1);
    std::uint8_t bytes[2] = {0x00, 0x41};
    HexViewFormatLine(m, text.data(), bytes, 2, 0);
    EXPECT_EQ(text[m.charColumn], '\0');
    EXPECT_EQ(text[m.charColumn + 1], 'A');
    EXPECT_EQ(text[m.lineWidth], '\0');
}

TEST(HexViewLayout, RowsOfAnyWidthFitTheirBuffers) {
    // Fit to window can give far more than 20 bytes per row.
    for (std::uint32_t format : {HVS_FORMAT_HEX, HVS_FORMAT_BINARY}) {
        HexViewModel m = Model(format | HVS_DECIMALOFFSET | HVS_ADDRCOLON);
        m.bytesPerRow = 300;
        HexViewComputeLayout(m);
        std::vector<std::uint8_t> bytes(299, 0xFF);
        std::string row = Row(m, bytes, 0xFFFFFFFF - 298);
        EXPECT_EQ(row.size(), m.lineWidth);
    }
}

TEST(HexViewLayout, RowCountRoundsUp) {
    HexViewModel m = Model(kHexViewDefaultStyle, 33);
    EXPECT_EQ(m.rowCount, 3u);
    EXPECT_EQ(HexViewRowsFor(m, 0), 0u);
    EXPECT_EQ(HexViewRowsFor(m, 32), 2u);
    EXPECT_EQ(HexViewRowsFor(m, 0xFFFFFFFF), 0x10000000u);
}

// Colour runs ---------------------------------------------------------------------------------

// The colours of every character of a row, as "text/back" per character.
struct Painted {
    std::vector<std::uint32_t> text, back;
};
Painted Paint(const HexViewModel& m, std::uint32_t rowStart, std::uint32_t count,
              std::vector<std::uint8_t> marks) {
    marks.resize(count);
    std::vector<HexTextRun> runs;
    HexViewRowRuns(m, rowStart, count, marks.data(), runs);
    Painted p{std::vector<std::uint32_t>(m.lineWidth, 0xDEAD),
              std::vector<std::uint32_t>(m.lineWidth, 0xDEAD)};
    std::uint32_t next = 0;
    for (const HexTextRun& run : runs) {
        EXPECT_EQ(run.start, next);  // left to right, no gaps, no overlaps
        for (std::uint32_t i = run.start; i < run.start + run.length; ++i) {
            p.text[i] = run.textColor;
            p.back[i] = run.backColor;
        }
        next = run.start + run.length;
    }
    EXPECT_EQ(next, m.lineWidth);
    return p;
}

TEST(HexViewRowRuns, SelectionHighlightRunsThroughSeparatorsAndStopsAfterTheLastByte) {
    HexViewModel m = Model(kHexViewDefaultStyle, 16);
    m.selAnchor = 7;  // backwards selection of bytes 3 .. 6
    m.selEnd = 3;
    Painted p = Paint(m, 0, 16, {});
    const HexViewColors& c = m.colors;
    auto cell = [&](int byte) { return 10 + byte * 3; };
    EXPECT_EQ(p.back[cell(2) + 1], c.backColor);
    EXPECT_EQ(p.back[cell(2) + 2], c.backColor);  // separator before the selection
    for (int x = cell(3); x < cell(6) + 2; ++x) EXPECT_EQ(p.back[x], c.selBackColor) << x;
    EXPECT_EQ(p.back[cell(6) + 2], c.backColor);  // the blank after byte 6
    EXPECT_EQ(p.text[cell(3)], c.selOddDataColor);
    EXPECT_EQ(p.text[cell(4)], c.selEvenDataColor);
    EXPECT_EQ(p.text[cell(7)], c.oddDataColor);
    EXPECT_EQ(p.text[cell(8)], c.evenDataColor);
    for (int i = 0; i < 16; ++i) {
        bool selected = i >= 3 && i < 7;
        EXPECT_EQ(p.back[59 + i], selected ? c.selBackColor : c.backColor) << i;
        EXPECT_EQ(p.text[59 + i], selected ? c.selCharColor : c.charColor) << i;
    }
    EXPECT_EQ(p.text[0], c.addressColor);
    EXPECT_EQ(p.back[57], c.backColor);  // the gap
    EXPECT_EQ(p.text[57], c.charColor);
}

TEST(HexViewRowRuns, ASelectionEndingInTheLastColumnHasNoTrailingSeparator) {
    HexViewModel m = Model(kHexViewDefaultStyle, 48);
    m.selAnchor = 14;
    m.selEnd = 40;
    Painted first = Paint(m, 0, 16, {});
    EXPECT_EQ(first.back[10 + 15 * 3 + 1], m.colors.selBackColor);  // last digit of byte 15
    EXPECT_EQ(first.back[57], m.colors.backColor);                  // the gap stays
    Painted inside = Paint(m, 16, 16, {});
    for (int x = 10; x < 57; ++x) EXPECT_EQ(inside.back[x], m.colors.selBackColor) << x;
    Painted last = Paint(m, 32, 16, {});
    EXPECT_EQ(last.back[10 + 7 * 3 + 1], m.colors.selBackColor);  // byte 39
    EXPECT_EQ(last.back[10 + 7 * 3 + 2], m.colors.backColor);
    EXPECT_EQ(last.back[10 + 8 * 3], m.colors.backColor);
}

TEST(HexViewRowRuns, EditedBytesAreMarkedOnlyWhenMarkingIsOn) {
    HexViewModel m = Model(kHexViewDefaultStyle, 16);
    std::vector<std::uint8_t> marks(16, 0);
    marks[2] = 1;
    marks[5] = 1;
    m.selAnchor = 5;
    m.selEnd = 6;
    Painted p = Paint(m, 0, 16, marks);
    EXPECT_EQ(p.text[10 + 2 * 3], m.colors.changedColor);
    EXPECT_EQ(p.text[59 + 2], m.colors.changedColor);
    EXPECT_EQ(p.text[10 + 5 * 3], m.colors.selChangedColor);
    EXPECT_EQ(p.text[59 + 5], m.colors.selChangedColor);
    EXPECT_EQ(p.text[10 + 3 * 3], m.colors.oddDataColor);
    EXPECT_EQ(p.text[59 + 3], m.colors.charColor);

    m.style &= ~HVS_MARKCHANGES;
    Painted plain = Paint(m, 0, 16, marks);
    EXPECT_EQ(plain.text[10 + 2 * 3], m.colors.evenDataColor);
    EXPECT_EQ(plain.text[10 + 5 * 3], m.colors.selOddDataColor);
    EXPECT_EQ(plain.text[59 + 5], m.colors.selCharColor);
}

TEST(HexViewRowRuns, AUniformRowTakesOneRunPerPane) {
    HexViewModel m = Model(kHexViewDefaultStyle, 64);
    m.colors.oddDataColor = m.colors.evenDataColor;
    std::vector<HexTextRun> runs;
    std::vector<std::uint8_t> marks(16, 0);
    HexViewRowRuns(m, 16, 16, marks.data(), runs);
    EXPECT_EQ(runs.size(), 3u);  // address, number pane, gap with the characters
    std::vector<std::uint8_t> all(16, 1);
    m.selAnchor = 0;
    m.selEnd = 64;
    HexViewRowRuns(m, 16, 16, all.data(), runs);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[1].textColor, m.colors.selChangedColor);
    EXPECT_EQ(runs[1].length, 47u);
    EXPECT_EQ(runs[3].textColor, m.colors.selChangedColor);
}

TEST(HexViewRowRuns, PaddingOfAShortRowIsBackground) {
    HexViewModel m = Model(kHexViewDefaultStyle, 20);
    m.selAnchor = 16;
    m.selEnd = 20;
    Painted p = Paint(m, 16, 4, {1, 1, 1, 1});
    EXPECT_EQ(p.back[10 + 3 * 3 + 1], m.colors.selBackColor);
    EXPECT_EQ(p.back[10 + 3 * 3 + 2], m.colors.backColor);
    EXPECT_EQ(p.back[59 + 4], m.colors.backColor);
    EXPECT_EQ(p.text[10], m.colors.selChangedColor);
}

// The passes a row is drawn in put every character that is not a blank at its own column, in
// its run's colour, once; blanks are left to the background, and the other backgrounds are the
// runs' own. A plain row takes a pass per colour: window text, even and odd cells.
TEST(HexViewRowPaint, PassesDrawEachVisibleCharacterOnceInItsRunsColours) {
    struct Case {
        const char* name;
        std::uint32_t anchor, end;  // selection
        std::vector<std::uint8_t> marks;
        std::uint32_t count;        // bytes in the row
    };
    const Case cases[] = {{"plain", 0, 0, {}, 16},
                          {"selection and marks", 7, 3, {0, 0, 1, 0, 0, 1}, 16},
                          {"all edited and selected", 0, 64, std::vector<std::uint8_t>(16, 1), 16},
                          {"short last row", 18, 16, {1}, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HexViewModel m = Model(kHexViewDefaultStyle | HVS_ADDRCOLON, 64);
        m.selAnchor = c.anchor;
        m.selEnd = c.end;
        std::vector<std::uint8_t> bytes(c.count), marks = c.marks;
        for (std::uint32_t i = 0; i < c.count; ++i) bytes[i] = i % 3 == 0 ? ' ' : 0x41 + i;
        marks.resize(16);
        const std::string text = Row(m, bytes, 0);
        std::vector<HexTextRun> runs;
        HexViewRowRuns(m, 0, c.count, marks.data(), runs);
        HexRowPaint paint;
        HexViewRowPaint(m, text.c_str(), runs, paint);

        std::vector<std::uint32_t> drawn(m.lineWidth, 0), back(m.lineWidth, m.colors.backColor);
        for (const HexTextPass& pass : paint.passes) {
            for (std::uint32_t k = pass.first; k < pass.first + pass.count; ++k) {
                const std::uint32_t column = paint.columns[k];
                EXPECT_EQ(paint.chars[k], text[column]);
                EXPECT_EQ(drawn[column], 0u) << column;
                drawn[column] = pass.color;
                const std::uint32_t next = k + 1 < pass.first + pass.count ? paint.columns[k + 1]
                                                                           : column + 1;
                EXPECT_EQ(paint.steps[k], next - column) << column;
            }
        }
        for (const HexTextRun& run : paint.backs) {
            EXPECT_NE(run.backColor, m.colors.backColor);
            std::fill_n(back.begin() + run.start, run.length, run.backColor);
        }
        for (const HexTextRun& run : runs) {
            for (std::uint32_t x = run.start; x < run.start + run.length; ++x) {
                EXPECT_EQ(drawn[x], text[x] == ' ' ? 0u : run.textColor) << x;
                EXPECT_EQ(back[x], run.backColor) << x;
            }
        }
        if (c.anchor == c.end) {
            EXPECT_TRUE(paint.backs.empty());
            EXPECT_EQ(paint.passes.size(), 3u);
        }
    }
}

// Hit testing ---------------------------------------------------------------------------------

// 16-pixel characters keep the eighths and sixteenths of a character whole.
HexViewModel WideModel(std::uint32_t docSize) {
    HexViewModel m = Model(kHexViewDefaultStyle, docSize);
    m.charWidth = 16;
    return m;
}

TEST(HexViewHitTest, NumberPaneColumns) {
    HexViewModel m = WideModel(64);
    const int w = m.charWidth;
    EXPECT_EQ(HexViewHitColumn(m, -50), 0u);
    EXPECT_EQ(HexViewHitColumn(m, 9 * w), 0u);  // address column
    // Byte 5: digits at columns 25 and 26, separator at 27.
    for (int x = 25 * w - w / 8; x < 27 * w + w / 8; ++x) EXPECT_EQ(HexViewHitColumn(m, x), 5u) << x;
    EXPECT_EQ(HexViewHitColumn(m, 27 * w + w / 8), 6u);
    EXPECT_EQ(HexViewHitColumn(m, 56 * w), 15u);  // the last digit
    EXPECT_EQ(HexViewHitColumn(m, 58 * w), 16u);  // after it, in the gap
}

TEST(HexViewHitTest, CharacterPaneColumns) {
    HexViewModel m = WideModel(64);
    const int w = m.charWidth;
    const int pane = 59 * w;
    EXPECT_EQ(HexViewHitColumn(m, pane - 2), 0u);
    EXPECT_EQ(HexViewHitColumn(m, pane + 3 * w + w / 2), 3u);      // the middle of character 3
    EXPECT_EQ(HexViewHitColumn(m, pane + 3 * w + w * 9 / 16), 4u); // just past it
    EXPECT_EQ(HexViewHitColumn(m, pane + 16 * w), 16u);
    EXPECT_EQ(HexViewHitColumn(m, 4000), 16u);
    // The number pane keeps the first three quarters of the gap.
    EXPECT_FALSE(HexViewTextPaneAt(m, pane - 2 * w / 4 - 1));
    EXPECT_TRUE(HexViewTextPaneAt(m, pane - 2 * w / 4));
    m.leftCol = 5;
    EXPECT_TRUE(HexViewTextPaneAt(m, pane - 5 * w));
    EXPECT_EQ(HexViewHitColumn(m, 10 * w), 1u);  // column 15: the start of byte 1's separator
}

TEST(HexViewHitTest, PointsBelowTheLastRowHitTheLastRow) {
    HexViewModel m = Model(kHexViewDefaultStyle, 32);
    const int w = m.charWidth;
    EXPECT_EQ(HexViewOffsetAt(m, (10 + 9) * w, 500), 16u + 3);
    EXPECT_EQ(HexViewOffsetAt(m, 58 * w, 13), 32u);  // right of row 1's last cell
    EXPECT_EQ(HexViewOffsetAt(m, 10 * w, -40), 0u);
    HexViewModel empty = Model();
    EXPECT_EQ(HexViewOffsetAt(empty, 4000, 300), 16u);  // callers clamp to docSize
}

// Caret placement -----------------------------------------------------------------------------

TEST(HexViewCaret, EndOfRowFormAtTheEndOfAWholeRow) {
    HexViewModel m = Model(kHexViewDefaultStyle, 32);
    m.caretPos = 32;
    HexViewCaretCellFromPos(m);
    HexPoint p = HexViewCaretPoint(m);
    EXPECT_EQ(m.caretCol, 16u);
    EXPECT_EQ(m.caretRow, 1);
    EXPECT_EQ(p.x, (16 * 3 + 10 - 1) * m.charWidth);  // just after the last digit
    EXPECT_EQ(p.y, 12);
    m.inTextPane = 1;
    EXPECT_EQ(HexViewCaretPoint(m).x, (59 + 16) * m.charWidth);
}

TEST(HexViewCaret, DigitIndexAndForwardSelectionMoveTheCaret) {
    HexViewModel m = Model(kHexViewDefaultStyle, 64);
    m.caretPos = 5;
    HexViewCaretCellFromPos(m);
    EXPECT_EQ(HexViewCaretPoint(m).x, 25 * m.charWidth);
    m.digitIndex = 1;
    EXPECT_EQ(HexViewCaretPoint(m).x, 26 * m.charWidth);
    m.digitIndex = 0;
    m.selAnchor = 2;
    m.selEnd = 5;
    EXPECT_EQ(HexViewCaretPoint(m).x, 24 * m.charWidth);  // in the separator after byte 4
    m.dragOutActive = 1;
    EXPECT_EQ(HexViewCaretPoint(m).x, 25 * m.charWidth);
    m.leftCol = 3;
    EXPECT_EQ(HexViewCaretPoint(m).x, 22 * m.charWidth);
    HexViewModel empty = Model();
    empty.caretCol = 16;
    empty.caretRow = -1;
    EXPECT_EQ(HexViewCaretPoint(empty).x, 10 * empty.charWidth);
    EXPECT_EQ(empty.caretRow, 0);
}

// Invalidation --------------------------------------------------------------------------------

TEST(HexViewRangeRects, OneRectanglePairPerVisibleRow) {
    HexViewModel m = Model(kHexViewDefaultStyle, 160);
    m.topRow = 1;
    m.pageRows = 3;
    std::vector<HexRect> rects;
    HexViewRangeRects(m, 40, 14, rects);  // rows 0 (hidden), 1, 2
    const int w = m.charWidth;
    ASSERT_EQ(rects.size(), 4u);
    EXPECT_EQ(rects[0].left, (0 * 3 + 10 - 1) * w);  // from byte 16 (clamped to the view)
    EXPECT_EQ(rects[0].right, (16 * 3 + 10 + 1) * w);
    EXPECT_EQ(rects[0].top, 0);
    EXPECT_EQ(rects[0].bottom, 12);
    EXPECT_EQ(rects[1].left, 59 * w);
    EXPECT_EQ(rects[1].right, 75 * w);
    EXPECT_EQ(rects[2].right, (8 * 3 + 10 + 1) * w);  // bytes 32 .. 39
    EXPECT_EQ(rects[3].right, (59 + 8) * w);
    EXPECT_EQ(rects[3].top, 12);
    rects.clear();
    HexViewRangeRects(m, 100, 100, rects);
    HexViewRangeRects(m, 140, 160, rects);  // below the view
    EXPECT_TRUE(rects.empty());
}

TEST(HexViewFit, BytesPerRowFollowTheWidth) {
    HexViewModel m = Model();
    m.clientWidth = 76 * m.charWidth;  // 12 columns of address and gaps, 4 per byte
    EXPECT_EQ(HexViewFitBytesPerRow(m), 16u);
    m.clientWidth -= 1;
    EXPECT_EQ(HexViewFitBytesPerRow(m), 15u);
    m.clientWidth = 3000 * m.charWidth;
    EXPECT_EQ(HexViewFitBytesPerRow(m), (3000u - 12) / 4);
    m.clientWidth = 5;
    EXPECT_EQ(HexViewFitBytesPerRow(m), 1u);
}

}  // namespace
