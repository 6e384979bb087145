// The hex editor's status bar: part edges and texts from notification values.
#include <gtest/gtest.h>

#include "editor/hex_editor_status.h"

namespace {

HexEditorPosition Caret(std::uint32_t caret, std::uint32_t size) {
    HexEditorPosition p;
    p.caretPos = p.selAnchor = p.selEnd = caret;
    p.docSize = size;
    return p;
}

TEST(HexEditorStatus, PartsKeepTheirWidthInANarrowWindow) {
    const std::array<int, 5> narrow{10, 190, 250, 350, 300};
    EXPECT_EQ(HexEditorStatusEdges(300), narrow);
    const std::array<int, 5> exact{10, 190, 250, 350, 400};
    EXPECT_EQ(HexEditorStatusEdges(400), exact);
    const std::array<int, 5> wide{610, 790, 850, 950, 1000};
    EXPECT_EQ(HexEditorStatusEdges(1000), wide);
    EXPECT_EQ(HexEditorStatusEdges(0)[4], 0);
}

TEST(HexEditorStatus, ASelectionShowsItsEndsAnchorFirstAndItsLength) {
    HexEditorPosition p = Caret(0x10, 0x100);
    p.selAnchor = 0x20;
    p.selEnd = 0x10;
    p.selLength = 0x10;
    HexEditorStatusUpdate u = HexEditorPositionUpdate(p);
    EXPECT_EQ(u.cursor, "Selection: 00000020 - 00000010");
    EXPECT_EQ(u.count, "16 bytes");
    EXPECT_FALSE(u.readValue);
    EXPECT_FALSE(u.onlyCursor);
}

TEST(HexEditorStatus, ACaretShowsTheDocumentSizeAndTheByteUnderIt) {
    HexEditorStatusUpdate u = HexEditorPositionUpdate(Caret(0xABC, 0x8000));
    EXPECT_EQ(u.cursor, "Cursor: 00000ABC");
    EXPECT_EQ(u.count, "32768 bytes");
    EXPECT_TRUE(u.readValue);
    // At the end there is no byte to show.
    u = HexEditorPositionUpdate(Caret(0x8000, 0x8000));
    EXPECT_EQ(u.cursor, "Cursor: 00008000");
    EXPECT_FALSE(u.readValue);
    EXPECT_FALSE(HexEditorPositionUpdate(Caret(0, 0)).readValue);
}

TEST(HexEditorStatus, DragsChangeWhatIsShown) {
    HexEditorPosition hovering = Caret(0x40, 0x100);
    hovering.dropActive = true;
    hovering.selAnchor = 0x10;  // a selection does not matter while something hovers
    HexEditorStatusUpdate u = HexEditorPositionUpdate(hovering);
    EXPECT_EQ(u.cursor, "Cursor: 00000040");
    EXPECT_TRUE(u.onlyCursor);

    HexEditorPosition draggingOut = Caret(0x20, 0x100);
    draggingOut.dragOutActive = true;
    draggingOut.selAnchor = 0x10;
    draggingOut.selLength = 0x10;
    u = HexEditorPositionUpdate(draggingOut);
    EXPECT_EQ(u.cursor, "Cursor: 00000020");
    EXPECT_EQ(u.count, "256 bytes");
    EXPECT_FALSE(u.readValue);

    EXPECT_EQ(HexEditorDragEnterText(16), "16 bytes *");
    EXPECT_EQ(HexEditorDragEnterText(0), "??? bytes *");
    EXPECT_EQ(HexEditorDragEnterText(0x80000000u), "2147483648 bytes *");
}

TEST(HexEditorStatus, ModeValueCaptionAndCommitLength) {
    EXPECT_STREQ(HexEditorModeText(true, true), "READ");
    EXPECT_STREQ(HexEditorModeText(false, true), "INS");
    EXPECT_STREQ(HexEditorModeText(false, false), "OVR");
    EXPECT_EQ(HexEditorValueText(0x0A), "Value: 0A");
    EXPECT_EQ(HexEditorValueText(0xFF), "Value: FF");
    EXPECT_EQ(HexEditorCaption("data.bin"), "data.bin - Hex Editor");
    EXPECT_EQ(HexEditorCommitLength(0x100, 0x8000), 0x100u);
    EXPECT_EQ(HexEditorCommitLength(0x8001, 0x8000), 0x8000u);
    EXPECT_EQ(HexEditorCommitLength(0, 0x8000), 0u);
}

TEST(HexEditorStatus, RunsSayHowFarTheyGotAndRangesNameTheirFirstAndLastByte) {
    EXPECT_EQ(HexEditorScanProgressText("Searching", 0, 0), "Searching... 0% (Esc stops)");
    EXPECT_EQ(HexEditorScanProgressText("Checksum", 429, 1000), "Checksum... 42% (Esc stops)");
    EXPECT_EQ(HexEditorScanProgressText("Comparing", 0xFFFFFFFFu, 0xFFFFFFFFu),
              "Comparing... 100% (Esc stops)");
    struct Found {
        HexDiffCounts counts;
        const char* text;
    };
    const Found found[] = {
        {{0, 0, 9, 0, false, false}, "No differences"},
        {{1, 1, 9, 0, false, false}, "Differences: 1 range, 1 byte"},
        {{0x100000000ull, 2, 0, 0, false, false}, "Differences: 2 ranges, 4,294,967,296 bytes"},
        {{0, 0, 16, 0, false, true}, "No differences; 16 bytes compared"},
        {{1, 1, 65536, 458752, true, false},
         "Differences: 1 range, 1 byte; the document is 458,752 bytes longer"},
        {{3, 2, 40, 1, false, true},
         "Differences: 2 ranges, 3 bytes; 40 bytes compared; the file is 1 byte longer"},
    };
    for (const Found& f : found) EXPECT_EQ(HexEditorDifferencesText(f.counts), f.text);
    EXPECT_EQ(HexEditorRangeText(0x10, 16), "00000010 - 0000001F, 16 bytes");
    EXPECT_EQ(HexEditorRangeText(0xFFFFFFFEu, 1), "FFFFFFFE - FFFFFFFE, 1 byte");
    EXPECT_EQ(HexEditorRangeText(0, 0), "00000000, 0 bytes");
    EXPECT_NE(HexEditorGotoHint(0x8000).find("The end is at 8000."), std::string::npos);
}

}  // namespace
