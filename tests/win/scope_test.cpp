// The scope strip chart on the screen: where values land, what is wiped outside the plot,
// redrawing after a range change or a resize, the buffer view, and degenerate steps and sizes.
#include <windows.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

#include "controls/scope_win.h"
#include "tests/win/support/control_host.h"

namespace {

using namespace testing_support;

constexpr int kWidth = 260, kHeight = 235;  // plot rows 10 to 210, right edge 250
constexpr int kPlotTop = 10, kPlotBottom = 210, kPlotRight = 250;
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kAxis = RGB(0, 255, 255);  // 0xFFFF00

class ScopeWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_NE(host_.control(), nullptr); }
    void Add(double value, int times = 1) {
        for (int i = 0; i < times; ++i)
            host_.Send(SCM_ADDSAMPLE, 0, reinterpret_cast<LPARAM>(&value));
    }
    void SetRange(double yMax, double yMin) {
        host_.Send(SCM_SETRANGE, reinterpret_cast<WPARAM>(&yMax), reinterpret_cast<LPARAM>(&yMin));
    }
    // Whether any pixel of the colour lies in columns [x1, x2) of row y.
    static bool RowHas(const ClientPixels& pixels, int y, int x1, int x2, COLORREF color) {
        for (int x = x1; x < x2; ++x) {
            if (pixels.at(x, y) == color) return true;
        }
        return false;
    }
    // The frame's left edge: the first axis-coloured pixel of its bottom line (no label
    // reaches that row).
    static int PlotLeft(const ClientPixels& pixels) {
        for (int x = 0; x < pixels.width(); ++x) {
            if (pixels.at(x, kPlotBottom + 1) == kAxis) return x;
        }
        return -1;
    }

    ControlHost host_{kScopeClass, kWidth, kHeight};
};

TEST_F(ScopeWindowTest, ZeroInTheRangeMinus10To10LiesHalfwayUpThePlot) {
    Add(0, 80);
    ClientPixels pixels(host_.control());
    EXPECT_TRUE(RowHas(pixels, kPlotBottom - 100, kPlotRight - 60, kPlotRight - 5, kWhite));
    EXPECT_FALSE(RowHas(pixels, kPlotBottom - 101, kPlotRight - 60, kPlotRight - 5, kWhite));
    EXPECT_FALSE(RowHas(pixels, kPlotBottom - 99, kPlotRight - 60, kPlotRight - 5, kWhite));
}

TEST_F(ScopeWindowTest, ValuesAboveTheRangeAreWipedOutsideThePlot) {
    Add(0, 80);
    Add(15, 5);  // row 210 - 250: above the frame
    ClientPixels pixels(host_.control());
    for (int y = 0; y <= kPlotTop; ++y) {
        ASSERT_FALSE(RowHas(pixels, y, 0, kWidth, kWhite)) << "row " << y;
    }
    EXPECT_EQ(pixels.at(kPlotRight - 2, kPlotTop), kAxis);  // the frame shows through
    // The jump up from zero is drawn inside the plot.
    EXPECT_TRUE(RowHas(pixels, kPlotTop + 20, kPlotRight - 30, kPlotRight, kWhite));
}

TEST_F(ScopeWindowTest, ARangeChangeDrawsTheHistoryAgainAtTheNewScale) {
    Add(0, 80);
    SetRange(20, 0);  // zero is now the bottom row
    ClientPixels pixels(host_.control());
    EXPECT_TRUE(RowHas(pixels, kPlotBottom, kPlotRight - 60, kPlotRight - 5, kWhite));
    EXPECT_FALSE(RowHas(pixels, kPlotBottom - 100, 0, kWidth, kWhite));  // nothing old left
}

TEST_F(ScopeWindowTest, TheTraceShowsOnALightBackground) {
    host_.Send(SCM_SETBKCOLOR, 0, kWhite);
    host_.Send(SCM_SETTRACECOLOR, 0, RGB(200, 0, 0));
    Add(0, 80);
    ClientPixels pixels(host_.control());
    EXPECT_TRUE(RowHas(pixels, kPlotBottom - 100, kPlotRight - 60, kPlotRight - 5, RGB(200, 0, 0)));
    EXPECT_EQ(pixels.at(kPlotRight - 20, kPlotBottom - 45), kWhite);
}

TEST_F(ScopeWindowTest, AResizeRemakesTheLayersAndKeepsTheTrace) {
    Add(0, 80);
    int before = static_cast<int>(host_.Send(SCM_GETPOINTCOUNT));
    SetWindowPos(host_.control(), nullptr, 0, 0, 400, 300, SWP_NOZORDER | SWP_NOMOVE);
    EXPECT_GT(host_.Send(SCM_GETPOINTCOUNT), before);
    ClientPixels pixels(host_.control());
    // Plot rows 10 to 275 now: zero lies at 275 - 132.
    EXPECT_TRUE(RowHas(pixels, 275 - 132, 390 - 60, 390 - 5, kWhite));
    EXPECT_EQ(pixels.at(390 + 1, 200), kAxis);  // the frame at the new right edge
}

// Six pixels for each character of the widest label, (decimals + d + 4) x 6, where a bound of
// 10^d counts d digits beyond the first: exactly so in the shipped build too.
TEST_F(ScopeWindowTest, TheLeftMarginCountsTheDigitsOfAPowerOfTen) {
    struct Case {
        double yMax, yMin;
        int left;
    };
    host_.Send(SCM_SETDECIMALS, 0, 0);
    for (const Case& c : {Case{10, -10, 30}, Case{100, 0, 36}, Case{1000, 0, 42}}) {
        SetRange(c.yMax, c.yMin);
        host_.Send(SCM_REFRESH);
        EXPECT_EQ(PlotLeft(ClientPixels(host_.control())), c.left) << c.yMax;
    }
}

TEST_F(ScopeWindowTest, TheBufferViewPlotsSamplesThenZeroBeyondTheBuffer) {
    uint8_t buffer[10];
    for (uint8_t& b : buffer) b = 200;
    SetRange(255, 0);
    host_.Send(SCM_SETMODE, 0, 0);
    host_.Send(SCM_SETBUFFER, reinterpret_cast<WPARAM>(buffer), sizeof buffer);
    host_.Send(SCM_REFRESH);
    EXPECT_EQ(host_.Send(SCM_GETBUFFER), reinterpret_cast<LRESULT>(buffer));
    ClientPixels pixels(host_.control());
    int left = PlotLeft(pixels);
    ASSERT_GT(left, 0);
    int row200 = kPlotBottom - static_cast<int>(200 * 200.0 / 255);
    EXPECT_EQ(pixels.at(left + 12, row200), kWhite);  // samples 0 to 9, three pixels apart
    EXPECT_EQ(pixels.at(left + 60, kPlotBottom), kWhite);
    EXPECT_NE(pixels.at(left + 60, row200), kWhite);
}

TEST_F(ScopeWindowTest, AStepOfZeroIsTakenAsOnePixel) {
    host_.Send(SCM_SETSTEP, 0, 0);
    EXPECT_EQ(host_.Send(SCM_GETSTEP), 1);
    host_.Send(SCM_REFRESH);
    EXPECT_GT(host_.Send(SCM_GETPOINTCOUNT), 150);
    Add(3, 400);
    host_.Send(SCM_SETSTEP, 0, -7);
    EXPECT_EQ(host_.Send(SCM_GETSTEP), 1);
    host_.Send(SCM_SETSTEP, 0, INT_MAX);  // no overflow in the step and a half
    EXPECT_EQ(host_.Send(SCM_GETSTEP), 65536);
    Add(2, 3);
}

TEST_F(ScopeWindowTest, APlotNarrowerThanOneStepHoldsNoPointsAndStillTakesValues) {
    host_.Send(SCM_SETSTEP, 0, 500);
    host_.Send(SCM_REFRESH);
    EXPECT_EQ(host_.Send(SCM_GETPOINTCOUNT), 0);
    Add(1, 5);
    SetRange(5, -5);
    UpdateWindow(host_.control());
}

TEST(ScopeSmallWindowTest, AWindowTooSmallForAPlotTakesValuesSafely) {
    ControlHost host(kScopeClass, 30, 30);
    EXPECT_EQ(host.Send(SCM_GETPOINTCOUNT), 0);
    double value = 4;
    for (int i = 0; i < 10; ++i) host.Send(SCM_ADDSAMPLE, 0, reinterpret_cast<LPARAM>(&value));
    UpdateWindow(host.control());
}

TEST_F(ScopeWindowTest, LabelsAreCutToTheirFieldsAndNullPointersAreIgnored) {
    std::string longLabel(500, 'L');
    host_.Send(SCM_SETXLABEL, 0, reinterpret_cast<LPARAM>(longLabel.c_str()));
    host_.Send(SCM_SETYLABEL, 0, 0);
    host_.Send(SCM_ADDSAMPLE, 0, 0);
    host_.Send(SCM_SETRANGE, 0, 0);
    host_.Send(SCM_SETDECIMALS, 0, 1000);
    host_.Send(SCM_REFRESH);
    UpdateWindow(host_.control());
    EXPECT_EQ(host_.Send(SCM_GETSTEP), 3);
}

}  // namespace
