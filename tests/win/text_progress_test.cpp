// KVTEXTPROGRESS through its messages, on a real window.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "controls/control_library_win.h"
#include "controls/text_progress_win.h"
#include "tests/win/support/app_driver.h"
#include "tests/win/support/pixels.h"

namespace {

using testing_support::ClientPixels;
using testing_support::PumpMessages;

constexpr COLORREF kBar = RGB(0, 100, 210);
constexpr int kWidth = 200;
constexpr int kHeight = 20;

class TextProgressTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { RegisterControlLibrary(GetModuleHandleA(nullptr)); }

    void SetUp() override {
        bar_ = CreateWindowExA(WS_EX_TOPMOST, kTextProgressClass, "", WS_POPUP | WS_VISIBLE, 10, 10,
                               kWidth, kHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(bar_, nullptr);
        PumpMessages(20);
    }
    void TearDown() override { DestroyWindow(bar_); }

    LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return SendMessageA(bar_, message, wParam, lParam);
    }
    int Position() {
        // No get-position message: step by zero and read the previous position back.
        LRESULT step = Send(PBM_SETSTEP, 0);
        LRESULT position = Send(PBM_STEPIT);
        Send(PBM_SETSTEP, step);
        return static_cast<int>(position);
    }

    HWND bar_ = nullptr;
};

TEST_F(TextProgressTest, StepsWrapToTheMinimumAfterPassingTheMaximum) {
    Send(PBM_SETRANGE, 0, MAKELPARAM(0, 8));
    Send(PBM_SETSTEP, 1);
    Send(PBM_SETPOS, 0);
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(Send(PBM_STEPIT), i - 1);
        EXPECT_EQ(Position(), i);
    }
    EXPECT_EQ(Send(PBM_STEPIT), 8);
    EXPECT_EQ(Position(), 0);
}

TEST_F(TextProgressTest, RangeMessagesSetAndReportBothEnds) {
    EXPECT_EQ(Send(PBM_SETRANGE, 0, 0x00100000), 0);
    EXPECT_EQ(Send(PBM_GETRANGE, 1, 0), 0);   // minimum
    EXPECT_EQ(Send(PBM_GETRANGE, 0, 0), 16);  // maximum
    EXPECT_EQ(Send(PBM_GETRANGE, 2, 0), 0);

    EXPECT_EQ(Send(PBM_SETRANGE32, static_cast<WPARAM>(-5), 70000), 0);
    PBRANGE range{};
    EXPECT_EQ(Send(PBM_GETRANGE, 0, reinterpret_cast<LPARAM>(&range)), 0);
    EXPECT_EQ(range.iLow, -5);
    EXPECT_EQ(range.iHigh, 70000);

    int low = 0, high = 0;
    Send(TPM_GETRANGEPTRS, reinterpret_cast<WPARAM>(&low), reinterpret_cast<LPARAM>(&high));
    EXPECT_EQ(low, -5);
    EXPECT_EQ(high, 70000);
    Send(TPM_GETRANGEPTRS, 0, reinterpret_cast<LPARAM>(&high));  // either pointer may be null
    Send(TPM_GETRANGEPTRS, reinterpret_cast<WPARAM>(&low), 0);
}

TEST_F(TextProgressTest, SettersAnswerWithThePreviousValue) {
    EXPECT_EQ(Send(PBM_SETPOS, 7), 0);
    EXPECT_EQ(Send(PBM_SETPOS, 3), 7);
    EXPECT_EQ(Send(PBM_SETSTEP, 4), 1);
    EXPECT_EQ(Send(PBM_SETSTEP, 2), 4);
    EXPECT_EQ(static_cast<COLORREF>(Send(PBM_SETBARCOLOR, 0, RGB(1, 2, 3))), kBar);
    EXPECT_EQ(static_cast<COLORREF>(Send(PBM_SETBKCOLOR, 0, RGB(4, 5, 6))), kTextProgressDefault);
    EXPECT_EQ(static_cast<COLORREF>(Send(TPM_SETTEXTCOLOR, 0, kTextProgressDefault)), RGB(0, 0, 0));
    EXPECT_EQ(Send(TPM_GETVERTICAL), 0);
    Send(TPM_SETVERTICAL, 0, 1);
    EXPECT_NE(Send(TPM_GETVERTICAL), 0);
}

TEST_F(TextProgressTest, TextIsKeptWholeUpTo259CharactersAndReadBackSafely) {
    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Reading Address 07FF00"));
    char text[260] = {};
    Send(WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, "Reading Address 07FF00");

    // A small buffer gets what fits, and nothing beyond it is written.
    char small[8];
    std::memset(small, '#', sizeof small);
    EXPECT_EQ(Send(WM_GETTEXT, 5, reinterpret_cast<LPARAM>(small)), 4);
    EXPECT_STREQ(small, "Read");
    EXPECT_EQ(small[5], '#');

    std::string longText(400, 'x');
    Send(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(longText.c_str()));
    char all[512] = {};
    Send(WM_GETTEXT, sizeof all, reinterpret_cast<LPARAM>(all));
    EXPECT_EQ(std::strlen(all), 259u);
}

TEST_F(TextProgressTest, TheBarCoversItsShareOfTheWidth) {
    Send(PBM_SETRANGE32, 0, 200);
    Send(PBM_SETPOS, 50);  // a quarter: 50 pixels
    ClientPixels quarter(bar_);
    EXPECT_EQ(quarter.at(0, 10), kBar);
    EXPECT_EQ(quarter.at(49, 10), kBar);
    EXPECT_EQ(quarter.at(50, 10), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(quarter.at(kWidth - 1, 10), GetSysColor(COLOR_BTNFACE));

    Send(PBM_SETPOS, 500);  // past the maximum: clipped at the right edge
    ClientPixels full(bar_);
    EXPECT_EQ(full.Count(kBar, RECT{0, 0, kWidth, kHeight}), kWidth * kHeight);

    Send(PBM_SETPOS, static_cast<WPARAM>(-10));  // negative: no bar at all
    ClientPixels none(bar_);
    EXPECT_EQ(none.Count(kBar, RECT{0, 0, kWidth, kHeight}), 0);

    Send(PBM_SETRANGE32, 5, 5);  // empty range: no bar
    Send(PBM_SETPOS, 5);
    ClientPixels empty(bar_);
    EXPECT_EQ(empty.Count(kBar, RECT{0, 0, kWidth, kHeight}), 0);
}

// A range or orientation change draws nothing by itself; the next position or step must then
// bring the screen up to date even when the position stays the same.
TEST_F(TextProgressTest, PositionsRedrawWhenTheScreenShowsAnotherBar) {
    const RECT all{0, 0, kWidth, kHeight};
    Send(PBM_SETRANGE32, 0, 100);
    Send(PBM_SETPOS, 50);
    EXPECT_EQ(ClientPixels(bar_).Count(kBar, all), kWidth / 2 * kHeight);
    Send(PBM_SETRANGE32, 0, 200);
    Send(PBM_SETPOS, 50);
    EXPECT_EQ(ClientPixels(bar_).Count(kBar, all), kWidth / 4 * kHeight);
    Send(PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    Send(PBM_SETSTEP, 0);
    Send(PBM_STEPIT);
    EXPECT_EQ(ClientPixels(bar_).Count(kBar, all), kWidth / 2 * kHeight);
    Send(TPM_SETVERTICAL, 0, 1);
    Send(PBM_SETPOS, 50);
    EXPECT_EQ(ClientPixels(bar_).Count(kBar, all), kWidth * kHeight / 2);
    EXPECT_EQ(ClientPixels(bar_).at(5, kHeight - 1), kBar);
}

TEST_F(TextProgressTest, AFlashShowsItsColourForOnePeriodThenTheBackgroundReturns) {
    constexpr COLORREF kGreen = RGB(0, 200, 0);
    constexpr COLORREF kRed = RGB(255, 0, 0);
    Send(PBM_SETBKCOLOR, 0, kGreen);
    Send(TPM_FLASH, 150, kRed);
    EXPECT_EQ(ClientPixels(bar_).at(kWidth - 5, 10), kRed);
    PumpMessages(400);
    EXPECT_EQ(ClientPixels(bar_).at(kWidth - 5, 10), kGreen);

    // A second flash during the first still ends on the real background.
    Send(TPM_FLASH, 150, kRed);
    Send(TPM_FLASH, 150, RGB(0, 0, 255));
    PumpMessages(400);
    EXPECT_EQ(ClientPixels(bar_).at(kWidth - 5, 10), kGreen);
}

TEST_F(TextProgressTest, PaintingNeverErasesSeparately) {
    HDC dc = GetDC(bar_);
    EXPECT_EQ(Send(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc)), 1);
    ReleaseDC(bar_, dc);
}

}  // namespace
