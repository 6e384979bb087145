// The digital gauge read-out on the screen: panel size, position and background.
#include <windows.h>

#include <gtest/gtest.h>

#include "controls/gauge_win.h"
#include "tests/win/support/control_host.h"

namespace {

using namespace testing_support;

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kValueBlue = RGB(100, 100, 255);

TEST(GaugeTest, A300By200WindowShowsA200By200PanelAtTheTopLeft) {
    ControlHost host(kGaugeClass, 300, 200);
    ClientPixels pixels(host.control());
    ASSERT_EQ(pixels.width(), 300);
    // The frame is the only black besides the title and units texts; its outer edge is the
    // panel's edge, one logical unit (two pixels) wide.
    RECT black = PixelBounds(pixels, kBlack);
    EXPECT_EQ(black.left, 0);
    EXPECT_EQ(black.top, 0);
    EXPECT_NEAR(black.right, 200, 1);
    EXPECT_NEAR(black.bottom, 200, 1);
    // Right of the panel: the background colour, all the way to the edge.
    for (int x = 202; x < 300; x += 7) {
        for (int y = 0; y < 200; y += 9) ASSERT_EQ(pixels.at(x, y), kWhite) << x << "," << y;
    }
    // The value is centred in the panel, drawn at twice the logical size.
    RECT value = PixelBounds(pixels, kValueBlue);
    ASSERT_FALSE(IsRectEmpty(&value));
    EXPECT_NEAR((value.left + value.right) / 2, 100, 3);
    EXPECT_NEAR((value.top + value.bottom) / 2, 100, 6);
    EXPECT_GT(value.bottom - value.top, 40);  // 42 units high at two pixels a unit
}

TEST(GaugeTest, ATallWindowScalesByItsWidth) {
    ControlHost host(kGaugeClass, 150, 400);
    ClientPixels pixels(host.control());
    RECT black = PixelBounds(pixels, kBlack);
    EXPECT_NEAR(black.right, 150, 1);
    EXPECT_NEAR(black.bottom, 150, 1);
    // Below the panel the control paints its background, down to the bottom edge and in the
    // corner beside it.
    for (int y = 152; y < 400; y += 11) {
        for (int x = 0; x < 150; x += 7) ASSERT_EQ(pixels.at(x, y), kWhite) << x << "," << y;
    }
}

TEST(GaugeTest, ASmallWindowShowsTheHundredPixelPanelClipped) {
    ControlHost host(kGaugeClass, 50, 50);
    ClientPixels pixels(host.control());
    // Left and top frame edges are there; the right and bottom ones lie outside.
    EXPECT_EQ(pixels.at(0, 25), kBlack);
    EXPECT_EQ(pixels.at(25, 0), kBlack);
    EXPECT_NE(pixels.at(49, 25), kBlack);
    EXPECT_NE(pixels.at(25, 49), kBlack);
    // The value's "1" at one pixel a unit reaches into the visible quarter.
    EXPECT_GT(CountPixels(pixels, kValueBlue), 0);
}

}  // namespace
