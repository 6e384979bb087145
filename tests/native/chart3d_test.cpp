// The 3-D chart's view transform, band colours, picking and view controls.
#include "controls/chart3d.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(NormaliseTest, KeepsUnitVectorsScalesOthersAndZeroesTinyOnes) {
    Vec3 nearUnit = Normalise({1.000004f, 0, 0});
    EXPECT_EQ(nearUnit.x, 1.000004f);  // within 0.00001 of unit length: left alone
    Vec3 v = Normalise({3, 4, 0});
    EXPECT_FLOAT_EQ(v.x, 0.6f);
    EXPECT_FLOAT_EQ(v.y, 0.8f);
    Vec3 tiny = Normalise({1e-6f, 0, 0});
    EXPECT_EQ(tiny.x, 0.0f);
    Vec3 zero = Normalise({0, 0, 0});
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
}

TEST(LookAtTest, TheInitialEyeLooksDownAtTheTableFromTheFront) {
    Mat4 m = LookAtLH({0, 2, -3}, {0, 0, 0}, {0, 1, 0});
    const float c = 3 / std::sqrt(13.0f), s = 2 / std::sqrt(13.0f);  // 0.832, 0.555
    EXPECT_FLOAT_EQ(m.m[0][0], 1);
    EXPECT_FLOAT_EQ(m.m[1][1], c);
    EXPECT_FLOAT_EQ(m.m[1][2], -s);
    EXPECT_FLOAT_EQ(m.m[2][1], s);
    EXPECT_FLOAT_EQ(m.m[2][2], c);
    EXPECT_NEAR(m.m[3][1], 0, 1e-6);
    EXPECT_FLOAT_EQ(m.m[3][2], std::sqrt(13.0f));
}

TEST(ProjectTest, TheInitialViewMapsXUnchangedAndMixesHeightWithDepth) {
    Mat4 t = ComposeViewTransform(Chart3DView{});
    struct Case {
        Vec3 model;
        int x, y;
    };
    const Case cases[] = {
        {{100, 200, 50}, 100, 194},  // 0.832 x 200 + 0.555 x 50 = 194.1
        {{24, 0, 32}, 24, 17},       // 17.75, truncated
        {{0, 0, 0}, 0, 0},          {{192, 255, 192}, 192, 318},  // 212.2 + 106.5
        {{50, -100, 0}, 50, -83},                                 // -83.2 truncates towards zero
    };
    for (const Case& c : cases) {
        LogicalPoint p = Project(t, c.model);
        EXPECT_EQ(p.x, c.x) << c.model.x << "," << c.model.y << "," << c.model.z;
        EXPECT_EQ(p.y, c.y) << c.model.x << "," << c.model.y << "," << c.model.z;
    }
}

TEST(ProjectTest, TurningAndZoomingHappenAboutTheCentre) {
    Chart3DView view;
    LogicalPoint centre = Project(ComposeViewTransform(view), view.centre);
    view.rotY = 1.1f;
    view.rotX = -0.4f;
    view.scale = {2.5f, 2.5f, 2.5f};
    LogicalPoint turned = Project(ComposeViewTransform(view), view.centre);
    EXPECT_NEAR(turned.x, centre.x, 1);
    EXPECT_NEAR(turned.y, centre.y, 1);

    Chart3DView zoomed;
    zoomed.scale = {2, 2, 2};
    LogicalPoint p = Project(ComposeViewTransform(zoomed), {130, 150, 100});
    EXPECT_EQ(p.x, 140);  // 10 units right of the centre become 20
}

TEST(ProjectTest, PanningMovesTheLogicalPoint) {
    Chart3DView view;
    view.pan = {30, -12, 0};
    LogicalPoint p = Project(ComposeViewTransform(view), {100, 200, 50});
    EXPECT_EQ(p.x, 130);
    EXPECT_EQ(p.y, 182);
}

TEST(ProjectTest, ValuesTooLargeForACoordinateAreHeld) {
    Chart3DView view;
    view.scale = {1e30f, 1e30f, 1e30f};
    LogicalPoint p = Project(ComposeViewTransform(view), {1000, 1000, 1000});
    EXPECT_EQ(p.x, 100000000);
}

TEST(CellModelPointTest, PlacesTheFirstStoredRowInFront) {
    Vec3 front = CellModelPoint({2, 6, 90}, 6, 24, 32);
    EXPECT_FLOAT_EQ(front.x, 48);
    EXPECT_FLOAT_EQ(front.y, 90);
    EXPECT_FLOAT_EQ(front.z, 32);
    EXPECT_FLOAT_EQ(CellModelPoint({2, 1, 90}, 6, 24, 32).z, 192);
}

TEST(ValueBandColourTest, SixBandsFromBlueToRed) {
    EXPECT_EQ(ValueBandColour(0, 0, 255), 0xFF0000u);   // blue
    EXPECT_EQ(ValueBandColour(42, 0, 255), 0xFF0000u);  // below 42.5
    EXPECT_EQ(ValueBandColour(43, 0, 255), 0xEFEA7Au);
    EXPECT_EQ(ValueBandColour(100, 0, 255), 0x00FF00u);  // green
    EXPECT_EQ(ValueBandColour(128, 0, 255), 0x00FFFFu);  // yellow
    EXPECT_EQ(ValueBandColour(200, 0, 255), 0x00BEFFu);  // orange
    EXPECT_EQ(ValueBandColour(255, 0, 255), 0x0000FFu);  // red
}

TEST(ValueBandColourTest, OutsideTheRangeIsWhiteAndAFlatTableIsRed) {
    EXPECT_EQ(ValueBandColour(-1, 0, 255), 0xFFFFFFu);
    EXPECT_EQ(ValueBandColour(256, 0, 255), 0xFFFFFFu);
    EXPECT_EQ(ValueBandColour(7, 7, 7), 0x0000FFu);
    EXPECT_EQ(ValueBandColour(0, 32768, -32768), 0xFFFFFFu);  // the range of an empty table
}

TEST(Chart3DHitTest, TheBoxReachesTheRadiusLeftAndBelowAndFiveRightAndAbove) {
    LogicalPoint p{100, 50};
    EXPECT_TRUE(Chart3DHit(p, 100, 50, 2));
    EXPECT_TRUE(Chart3DHit(p, 98, 48, 2));
    EXPECT_TRUE(Chart3DHit(p, 105, 55, 2));
    EXPECT_FALSE(Chart3DHit(p, 97, 50, 2));
    EXPECT_FALSE(Chart3DHit(p, 106, 50, 2));
    EXPECT_FALSE(Chart3DHit(p, 100, 47, 2));
    EXPECT_FALSE(Chart3DHit(p, 100, 56, 2));
}

TEST(Chart3DDragValueTest, FollowsTheMoveScaledByTheTiltAndHeldInRange) {
    EXPECT_EQ(Chart3DDragValue(100, 10, 60, 0.0f, 0, 255), 150);
    EXPECT_EQ(Chart3DDragValue(100, 10, 31, 0.6435011f, 0, 255), 126);  // 21 / 0.8 = 26.25
    EXPECT_EQ(Chart3DDragValue(100, 0, 500, 0.0f, 0, 255), 255);
    EXPECT_EQ(Chart3DDragValue(100, 0, -500, 0.0f, 0, 255), 0);
    EXPECT_EQ(Chart3DDragValue(300, 0, 0, 0.0f, 0, 255), 255);  // held even without a move
}

TEST(Chart3DDragValueTest, AnEdgeOnViewNeverOverflows) {
    EXPECT_EQ(Chart3DDragValue(100, 0, 1, 1.5707964f, 0, 255), 0);  // cos is a tiny negative
    EXPECT_EQ(Chart3DDragValue(100, 0, 1, NAN, 0, 255), 100);
    EXPECT_EQ(Chart3DDragValue(INT32_MAX, 0, 100, 0.0f, INT32_MIN, INT32_MAX), INT32_MAX);
}

TEST(ApplyViewKeyTest, CtrlArrowsTurnTheView) {
    Chart3DView view;
    for (int i = 0; i < 4; ++i) EXPECT_TRUE(ApplyViewKey(view, kChartKeyLeft, false, true));
    EXPECT_NEAR(view.rotY, -0.2f, 1e-6);
    EXPECT_TRUE(ApplyViewKey(view, kChartKeyDown, false, true));
    EXPECT_NEAR(view.rotX, 0.05f, 1e-7);
    EXPECT_TRUE(ApplyViewKey(view, kChartKeyUp, false, true));
    EXPECT_TRUE(ApplyViewKey(view, kChartKeyRight, false, true));
    EXPECT_NEAR(view.rotX, 0.0f, 1e-7);
    EXPECT_NEAR(view.rotY, -0.15f, 1e-6);
}

TEST(ApplyViewKeyTest, ShiftArrowsPanUntilJustPast300) {
    Chart3DView view;
    for (int i = 0; i < 200; ++i) EXPECT_TRUE(ApplyViewKey(view, kChartKeyRight, true, false));
    EXPECT_EQ(view.pan.x, 302);
    for (int i = 0; i < 400; ++i) EXPECT_TRUE(ApplyViewKey(view, kChartKeyLeft, true, false));
    EXPECT_EQ(view.pan.x, -302);
    for (int i = 0; i < 200; ++i) EXPECT_TRUE(ApplyViewKey(view, kChartKeyUp, true, false));
    EXPECT_EQ(view.pan.y, 302);
    EXPECT_TRUE(ApplyViewKey(view, kChartKeyDown, true, false));
    EXPECT_EQ(view.pan.y, 300);
    EXPECT_EQ(view.rotY, 0.0f);
}

TEST(ApplyViewKeyTest, BracketsZoomWithShiftAndCtrlAndRepaintOnlyWhenTheyChangeIt) {
    Chart3DView view;
    EXPECT_TRUE(ApplyViewKey(view, kChartKeyZoomIn, true, true));
    EXPECT_FLOAT_EQ(view.scale.x, 1.02f);
    EXPECT_FLOAT_EQ(view.scale.z, 1.02f);
    view.scale = {0.19f, 0.19f, 0.19f};
    EXPECT_FALSE(ApplyViewKey(view, kChartKeyZoomOut, true, true));
    EXPECT_FLOAT_EQ(view.scale.x, 0.19f);
    EXPECT_FALSE(ApplyViewKey(view, kChartKeyZoomIn, true, false));  // Shift alone
}

TEST(ApplyViewKeyTest, ArrowsRepaintWhateverTheModifiersAndOtherKeysDoNothing) {
    Chart3DView view;
    EXPECT_TRUE(ApplyViewKey(view, kChartKeyLeft, false, false));
    EXPECT_TRUE(ApplyViewKey(view, kChartKeyUp, true, true));
    EXPECT_FALSE(ApplyViewKey(view, 'A', false, true));
    EXPECT_EQ(view.rotY, 0.0f);
    EXPECT_EQ(view.pan.x, 0.0f);
    EXPECT_EQ(view.scale.x, 1.0f);
}

TEST(ApplyViewDragTest, CtrlTurnsShiftPansAndBothZoomNoFurtherOutThanTheMinimum) {
    Chart3DView view;
    EXPECT_TRUE(ApplyViewDrag(view, 10, -5, false, true, 0.2f));
    EXPECT_NEAR(view.rotY, 0.1f, 1e-6);
    EXPECT_NEAR(view.rotX, -0.05f, 1e-6);
    EXPECT_TRUE(ApplyViewDrag(view, 10, 10, true, false, 0.2f));
    EXPECT_FLOAT_EQ(view.pan.x, 4.5f);
    EXPECT_FLOAT_EQ(view.pan.y, -4.5f);
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(ApplyViewDrag(view, 0, 40, true, true, 0.2f));
    EXPECT_FLOAT_EQ(view.scale.x, 0.2f);
    EXPECT_FLOAT_EQ(view.scale.y, 0.2f);
    EXPECT_TRUE(ApplyViewDrag(view, 0, -30, true, true, 0.2f));
    EXPECT_FLOAT_EQ(view.scale.x, 0.5f);
    EXPECT_FALSE(ApplyViewDrag(view, 10, 10, false, false, 0.2f));
}

}  // namespace
