// Scroll limits and scroll requests of the hex view.
#include <gtest/gtest.h>

#include "hexview/hexview_layout.h"
#include "hexview/hexview_scroll.h"

namespace {

// A view of size bytes, 10 whole rows and 40 whole columns high and wide.
HexViewModel View(std::uint32_t size, std::uint32_t top = 0) {
    HexViewModel m;
    m.docSize = size;
    m.charWidth = 8;
    m.lineHeight = 12;
    m.clientHeight = 10 * 12 + 5;
    m.clientWidth = 40 * 8 + 3;
    HexViewComputeLayout(m);
    m.topRow = top;
    HexViewComputeScrollLimits(m);
    return m;
}

TEST(HexViewScroll, LimitsFollowRowsAndColumns) {
    HexViewModel m = View(1000, 900);
    EXPECT_EQ(m.rowCount, 63u);
    EXPECT_EQ(m.pageRows, 10u);
    EXPECT_EQ(m.vScrollMax, 62u);
    EXPECT_EQ(m.topRow, 53u);  // pulled back to the last page
    EXPECT_EQ(m.pageCols, 40u);
    EXPECT_EQ(m.hScrollMax, 75u);
    EXPECT_EQ(HexViewLastLeftCol(m), 36u);

    HexViewModel shortDoc = View(20, 5);
    EXPECT_EQ(shortDoc.pageRows, 2u);
    EXPECT_EQ(shortDoc.topRow, 0u);

    HexViewModel empty = View(0, 3);
    EXPECT_EQ(empty.pageRows, 0u);
    EXPECT_EQ(empty.topRow, 0u);
    EXPECT_EQ(HexViewLastTopRow(empty), 0u);
}

TEST(HexViewScroll, VerticalRequests) {
    HexViewModel m = View(1000, 5);
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollLineUp, 0), 4u);
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollLineDown, 0), 6u);
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollPageUp, 0), 0u);  // stops at row 0
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollPageDown, 0), 15u);
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollThumbTrack, 40), 40u);
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollThumbPosition, 400), 53u);
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollTop, 0), 0u);
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollBottom, 0), 53u);
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollEnd, 0), 5u);
    m.topRow = 0;
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollLineUp, 0), 0u);
    m.topRow = 53;
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollLineDown, 0), 53u);
}

TEST(HexViewScroll, ThumbReachesEveryRowOfALongDocument) {
    HexViewModel m = View(0xFFFFFFF0);  // 268435455 rows
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollThumbTrack, 70000), 70000u);
    EXPECT_EQ(HexViewVScrollTarget(m, kScrollThumbTrack, 268435445), 268435445u);
    EXPECT_EQ(HexViewScrollBarShift(m.vScrollMax), 0);
    EXPECT_EQ(HexViewScrollBarShift(0xFFFFFFFE), 1);  // one byte per row of 4 GiB
}

TEST(HexViewScroll, HorizontalSteps) {
    HexViewModel m = View(1000);
    m.leftCol = 3;
    EXPECT_EQ(HexViewHScrollStep(m, kScrollLineUp, 0), -1);
    EXPECT_EQ(HexViewHScrollStep(m, kScrollPageUp, 0), -3);
    EXPECT_EQ(HexViewHScrollStep(m, kScrollPageDown, 0), 8);
    EXPECT_EQ(HexViewHScrollStep(m, kScrollThumbTrack, 30), 27);
    EXPECT_EQ(HexViewHScrollStep(m, kScrollThumbTrack, 300), 33);
    EXPECT_EQ(HexViewHScrollStep(m, kScrollEnd, 0), 0);
    HexViewModel wide = View(1000);
    wide.clientWidth = 2000;
    HexViewComputeScrollLimits(wide);
    EXPECT_EQ(HexViewHScrollStep(wide, kScrollLineDown, 0), 0);  // everything fits
}

TEST(HexViewScroll, EnsureVisible) {
    HexViewModel m = View(1000, 20);
    std::uint32_t top = 0;
    EXPECT_FALSE(HexViewEnsureVisibleTop(m, 20 * 16, &top));
    EXPECT_FALSE(HexViewEnsureVisibleTop(m, 29 * 16 + 15, &top));
    EXPECT_TRUE(HexViewEnsureVisibleTop(m, 30 * 16 + 4, &top));  // the row just below: partly
    EXPECT_EQ(top, 21u);
    EXPECT_TRUE(HexViewEnsureVisibleTop(m, 31 * 16, &top));
    EXPECT_EQ(top, 22u);
    EXPECT_TRUE(HexViewEnsureVisibleTop(m, 19 * 16 + 15, &top));
    EXPECT_EQ(top, 19u);
    HexViewModel end = View(1024, 0);  // a whole last row: the end lies after it
    EXPECT_TRUE(HexViewEnsureVisibleTop(end, 1024, &top));
    EXPECT_EQ(top, HexViewLastTopRow(end));
}

TEST(HexViewScroll, AResizeMovesTheViewOnlyAtItsLimits) {
    HexViewModel m = View(1000, 53);
    m.clientHeight = 20 * 12;
    HexViewComputeScrollLimits(m);
    EXPECT_EQ(m.topRow, 43u);
    EXPECT_TRUE(HexViewResizeMovedView(m, 53, 0));
    HexViewModel middle = View(1000, 10);
    middle.clientHeight = 20 * 12;
    HexViewComputeScrollLimits(middle);
    EXPECT_FALSE(HexViewResizeMovedView(middle, 10, 0));
    HexViewModel all = View(40, 0);
    EXPECT_FALSE(HexViewResizeMovedView(all, 0, 0));
}

}  // namespace
