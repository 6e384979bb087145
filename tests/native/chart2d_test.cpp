// The 2-D chart's geometry: hit boxes, drag limits and repaint regions.
#include "controls/chart2d.h"

#include <gtest/gtest.h>

namespace {

const ChartPoint kPoints[] = {{0, 100}, {0, 150}, {0, 200}, {0, 50}};  // columns 64 apart

TEST(Chart2DHitTest, TheBoxReachesThreeUnitsLeftAndBelowAndFiveRightAndAbove) {
    // Point 1 sits at (128, 150).
    EXPECT_EQ(Chart2DHitTest(kPoints, 4, 64, 128, 150), 1);
    EXPECT_EQ(Chart2DHitTest(kPoints, 4, 64, 125, 147), 1);
    EXPECT_EQ(Chart2DHitTest(kPoints, 4, 64, 133, 155), 1);
    EXPECT_EQ(Chart2DHitTest(kPoints, 4, 64, 124, 150), -1);
    EXPECT_EQ(Chart2DHitTest(kPoints, 4, 64, 134, 150), -1);
    EXPECT_EQ(Chart2DHitTest(kPoints, 4, 64, 128, 146), -1);
    EXPECT_EQ(Chart2DHitTest(kPoints, 4, 64, 128, 156), -1);
}

TEST(Chart2DHitTest, FirstHitWinsAndNothingIsHitWithoutPoints) {
    const ChartPoint crowded[] = {{0, 10}, {0, 10}};
    EXPECT_EQ(Chart2DHitTest(crowded, 2, 2, 4, 10), 0);  // both boxes hold x 4
    EXPECT_EQ(Chart2DHitTest(kPoints, 0, 64, 64, 100), -1);
    EXPECT_EQ(Chart2DHitTest(nullptr, 4, 64, 64, 100), -1);
}

TEST(Chart2DHitTest, ExtremeValuesDoNotOverflowTheBox) {
    const ChartPoint extreme[] = {{0, INT32_MAX}, {0, INT32_MIN}};
    EXPECT_EQ(Chart2DHitTest(extreme, 2, 64, 64, INT32_MAX), 0);
    EXPECT_EQ(Chart2DHitTest(extreme, 2, 64, 128, INT32_MIN), 1);
    EXPECT_EQ(Chart2DHitTest(extreme, 2, 64, 64, 0), -1);
}

TEST(Chart2DDragValueTest, HoldsTheValueBetweenTheLimits) {
    EXPECT_EQ(Chart2DDragValue(300, 0, 255), 255);
    EXPECT_EQ(Chart2DDragValue(-40, 0, 255), 0);
    EXPECT_EQ(Chart2DDragValue(77, 0, 255), 77);
}

TEST(Chart2DPointRegionTest, CoversThePointItsLabelAndBothSegments) {
    LogicalRect r = Chart2DPointRegion(1, 4, 64, 256, 300);
    EXPECT_EQ(r.left, 64 - 5);       // from the previous point
    EXPECT_EQ(r.right, 3 * 64 + 5);  // to the next point
    EXPECT_EQ(r.top, 300);
    EXPECT_EQ(r.bottom, -5);
    EXPECT_EQ(Chart2DPointRegion(0, 4, 64, 256, 300).left, -5);
    // Narrow columns still cover a value label centred on the point.
    LogicalRect narrow = Chart2DPointRegion(10, 64, 4, 256, 300);
    EXPECT_LE(narrow.left, 44 - 16);
    EXPECT_GE(narrow.right, 44 + 16);
}

TEST(Chart2DPointRegionTest, NoPointGivesAnEmptyRegion) {
    LogicalRect r = Chart2DPointRegion(-1, 4, 64, 256, 300);
    EXPECT_EQ(r.left, r.right);
    EXPECT_EQ(r.top, r.bottom);
}

}  // namespace
