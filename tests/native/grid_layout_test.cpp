#include "controls/grid_layout.h"

#include <gtest/gtest.h>

namespace {

// The control's defaults in a 400 x 300 client.
GridLayout Defaults() {
    GridLayout layout;
    layout.clientWidth = 400;
    layout.clientHeight = 300;
    return layout;
}

void ExpectRect(const GridRect& rect, int left, int top, int right, int bottom) {
    EXPECT_EQ(rect.left, left);
    EXPECT_EQ(rect.top, top);
    EXPECT_EQ(rect.right, right);
    EXPECT_EQ(rect.bottom, bottom);
}

TEST(GridLayoutRects, CellsFollowTheTitleHeadersAndScrollOrigin) {
    GridLayout layout = Defaults();
    ExpectRect(CellRect(layout, 1, 1), 50, 21, 100, 42);
    ExpectRect(CellRect(layout, 3, 2), 100, 63, 150, 84);
    ExpectRect(CellRect(layout, 0, 2), 100, 0, 150, 21);
    ExpectRect(CellRect(layout, 2, 0), 0, 42, 50, 63);
    layout.titleHeight = 19;
    layout.firstRow = 10;
    layout.firstCol = 4;
    ExpectRect(CellRect(layout, 12, 5), 100, 19 + 21 + 42, 150, 19 + 21 + 63);
    // Cells before the origin take the first position.
    ExpectRect(CellRect(layout, 5, 2), 50, 40, 100, 61);
}

TEST(GridLayoutRects, LastShownColumnStretchesOnlyWithExtendLastCol) {
    GridLayout layout = Defaults();
    layout.colCount = 3;
    ExpectRect(CellRect(layout, 1, 3), 150, 21, 400, 42);
    ExpectRect(CellRect(layout, 1, 2), 100, 21, 150, 42);
    layout.colWidth[3] = 0;  // column 2 is now the last shown one
    EXPECT_EQ(CellRect(layout, 1, 2).right, 400);
    layout.extendLastCol = false;
    EXPECT_EQ(CellRect(layout, 1, 2).right, 150);
}

TEST(GridLayoutHits, RowsTitleAndHeader) {
    GridLayout layout = Defaults();
    layout.titleHeight = 20;
    layout.rowCount = 10;
    EXPECT_EQ(RowAt(layout, 0), -1);
    EXPECT_EQ(RowAt(layout, 20), -1);
    EXPECT_EQ(RowAt(layout, 21), 0);
    EXPECT_EQ(RowAt(layout, 41), 0);
    EXPECT_EQ(RowAt(layout, 42), 1);
    EXPECT_EQ(RowAt(layout, 61), 1);
    EXPECT_EQ(RowAt(layout, 62), 2);
    EXPECT_EQ(RowAt(layout, 250), 10);
    EXPECT_EQ(RowAt(layout, 251), -1);  // below the last row
    layout.firstRow = 5;
    EXPECT_EQ(RowAt(layout, 42), 5);
}

TEST(GridLayoutHits, ColumnsSkipHiddenOnesAndStopAtTheEnd) {
    GridLayout layout = Defaults();
    layout.colCount = 3;
    layout.colWidth[2] = 0;
    EXPECT_EQ(ColumnAt(layout, 0), 0);
    EXPECT_EQ(ColumnAt(layout, 50), 0);
    EXPECT_EQ(ColumnAt(layout, 51), 1);
    EXPECT_EQ(ColumnAt(layout, 100), 1);
    EXPECT_EQ(ColumnAt(layout, 101), 3);  // column 2 has no width
    EXPECT_EQ(ColumnAt(layout, 150), 3);
    EXPECT_EQ(ColumnAt(layout, 151), 3);  // the stretched last column
    layout.extendLastCol = false;
    EXPECT_EQ(ColumnAt(layout, 151), -1);
    layout.firstCol = 3;
    EXPECT_EQ(ColumnAt(layout, 51), 3);
}

TEST(GridLayoutVisible, RangesIncludeTheCellCrossingTheEdge) {
    GridLayout layout = Defaults();
    EXPECT_EQ(LastVisibleColumn(layout), 7);  // 350 px of columns fill the 350 px exactly
    layout.clientWidth = 401;
    EXPECT_EQ(LastVisibleColumn(layout), 8);
    layout.colCount = 5;
    EXPECT_EQ(LastVisibleColumn(layout), 5);
    EXPECT_EQ(LastVisibleRow(layout), 14);  // 279 px: 13 whole rows and a part
    EXPECT_EQ(VisibleRows(layout), 13);
    layout.rowCount = 10;
    EXPECT_EQ(LastVisibleRow(layout), 10);
    layout.rowCount = 0;
    EXPECT_LT(LastVisibleRow(layout), layout.firstRow);
}

TEST(GridLayoutColumns, WidthsFiftyZeroFiftySkipColumnTwo) {
    GridLayout layout = Defaults();
    layout.colCount = 3;
    layout.colWidth[2] = 0;
    EXPECT_EQ(NeighbourColumn(layout, 1, +1), 3);
    EXPECT_EQ(NeighbourColumn(layout, 3, -1), 1);
    EXPECT_EQ(NeighbourColumn(layout, 3, +1), 0);
    EXPECT_EQ(NeighbourColumn(layout, 1, -1), 0);
    EXPECT_EQ(ShownColumnsUpTo(layout, 256), 2);
    EXPECT_EQ(ShownColumnsUpTo(layout, 2), 1);
    EXPECT_EQ(NthShownColumn(layout, 1), 1);
    EXPECT_EQ(NthShownColumn(layout, 2), 3);
    EXPECT_EQ(NthShownColumn(layout, 9), 3);
    EXPECT_EQ(LastShownColumn(layout), 3);
}

TEST(GridLayoutScroll, VerticalRangeAndBarNeeds) {
    GridLayout layout = Defaults();
    EXPECT_EQ(VScrollMax(layout), 100 - 13 + 1);
    layout.rowCount = 5;
    EXPECT_EQ(VScrollMax(layout), 1);

    layout = Defaults();
    layout.colCount = 3;  // 200 px wide in 400
    ScrollBarNeeds needs = NeededScrollBars(layout, 400, 300, 17, 17);
    EXPECT_TRUE(needs.vertical);
    EXPECT_FALSE(needs.horizontal);
    layout.rowCount = 13;  // 273 px fits 279
    needs = NeededScrollBars(layout, 400, 300, 17, 17);
    EXPECT_FALSE(needs.vertical);
    // 390 px of columns fit 400, but not beside a vertical bar, which then costs the rows
    // their room.
    layout.colWidth[3] = 240;
    layout.rowCount = 14;
    needs = NeededScrollBars(layout, 400, 300, 17, 17);
    EXPECT_TRUE(needs.vertical);
    EXPECT_TRUE(needs.horizontal);
    layout.rowCount = 13;
    needs = NeededScrollBars(layout, 400, 300, 17, 17);
    EXPECT_FALSE(needs.vertical);
    EXPECT_FALSE(needs.horizontal);
}

TEST(GridLayoutScroll, BringingACellIntoViewMovesTheOriginTheLeast) {
    GridLayout layout = Defaults();
    EXPECT_FALSE(BringCellIntoView(layout, 13, 7));
    EXPECT_TRUE(BringCellIntoView(layout, 14, 7));
    EXPECT_EQ(layout.firstRow, 2);  // row 14 is now the last whole row
    EXPECT_TRUE(BringCellIntoView(layout, 50, 7));
    EXPECT_EQ(layout.firstRow, 38);
    EXPECT_TRUE(BringCellIntoView(layout, 3, 7));
    EXPECT_EQ(layout.firstRow, 3);
    EXPECT_TRUE(BringCellIntoView(layout, 3, 8));
    EXPECT_EQ(layout.firstCol, 2);
    EXPECT_TRUE(BringCellIntoView(layout, 3, 1));
    EXPECT_EQ(layout.firstCol, 1);
    // A row taller than the data area shows its top.
    layout.rowHeight = 500;
    EXPECT_TRUE(BringCellIntoView(layout, 9, 1));
    EXPECT_EQ(layout.firstRow, 9);
}

}  // namespace
