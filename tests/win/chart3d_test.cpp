// The 3-D chart in a real window: view keys, mouse turning and zooming, picking, dragging,
// and indices outside the caller's table.
#include <windows.h>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "controls/chart3d_win.h"
#include "tests/win/support/control_host.h"

namespace {

using namespace testing_support;

constexpr int kWidth = 440, kHeight = 320;  // margins 40 and 40
constexpr int kColumns = 3, kRows = 2;      // spacings 64 and 96

POINT Device(LogicalPoint p) {
    return {40 + p.x * (kWidth - 40) / 300, (kHeight - 40) - p.y * (kHeight - 40) / 300};
}

class Chart3DWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        Chart3DSharedView() = Chart3DView{};
        ASSERT_NE(host_.control(), nullptr);
        host_.Send(C3M_SETDATA, reinterpret_cast<WPARAM>(cells_), reinterpret_cast<LPARAM>(size_));
        host_.OnCommand([this](const CommandRecord& c) {
            if (c.code == C3N_POINTHIT) {
                const auto* place = reinterpret_cast<const int32_t*>(c.value);
                hits_.emplace_back(place[0], place[1]);
            }
        });
    }
    void TearDown() override { Chart3DSharedView() = Chart3DView{}; }

    void Key(UINT message, WPARAM key) { host_.Send(message, key, 0); }
    void Mouse(UINT message, POINT p, WPARAM keys) {
        SendMouse(host_.control(), message, p.x, p.y, keys);
    }
    // A spot one logical unit right of and above cell `index` in the initial view.
    POINT OnCell(int index) const {
        Vec3 model = CellModelPoint(cells_[index], kRows, 64, 96);
        LogicalPoint p = Project(ComposeViewTransform(Chart3DView{}), model);
        return Device({p.x + 1, p.y + 1});
    }
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const CommandRecord& c : host_.commands()) codes.push_back(c.code);
        return codes;
    }

    // Row-major, the first stored row being row 2.
    Chart3DCell cells_[kColumns * kRows] = {{1, 2, 0},  {2, 2, 128}, {3, 2, 255},
                                            {1, 1, 60}, {2, 1, 90},  {3, 1, 200}};
    int32_t size_[2] = {kColumns, kRows};
    std::vector<std::pair<int, int>> hits_;
    ControlHost host_{kChart3DClass, kWidth, kHeight};
};

TEST_F(Chart3DWindowTest, CtrlLeftFourTimesTurnsTheViewByMinusPointTwo) {
    Key(WM_KEYDOWN, VK_CONTROL);
    for (int i = 0; i < 4; ++i) Key(WM_KEYDOWN, VK_LEFT);
    Key(WM_KEYUP, VK_CONTROL);
    EXPECT_NEAR(Chart3DSharedView().rotY, -0.2f, 1e-6);
    Key(WM_KEYDOWN, VK_LEFT);  // Ctrl released: no turn
    EXPECT_NEAR(Chart3DSharedView().rotY, -0.2f, 1e-6);
}

TEST_F(Chart3DWindowTest, ArrowKeysRepaintTheChart) {
    ValidateRect(host_.control(), nullptr);
    Key(WM_KEYDOWN, VK_UP);
    RECT update{};
    EXPECT_TRUE(GetUpdateRect(host_.control(), &update, FALSE));
    ValidateRect(host_.control(), nullptr);
    Key(WM_KEYDOWN, 'A');
    EXPECT_FALSE(GetUpdateRect(host_.control(), &update, FALSE));
}

TEST_F(Chart3DWindowTest, ShiftRightPansNoFurtherThan302) {
    Key(WM_KEYDOWN, VK_SHIFT);
    for (int i = 0; i < 200; ++i) Key(WM_KEYDOWN, VK_RIGHT);
    Key(WM_KEYUP, VK_SHIFT);
    EXPECT_EQ(Chart3DSharedView().pan.x, 302);
}

TEST_F(Chart3DWindowTest, LosingTheFocusForgetsHeldModifiers) {
    Key(WM_KEYDOWN, VK_CONTROL);
    host_.Send(WM_KILLFOCUS, 0, 0);  // the release goes to another window
    Key(WM_KEYDOWN, VK_LEFT);
    EXPECT_EQ(Chart3DSharedView().rotY, 0.0f);
}

TEST_F(Chart3DWindowTest, ZoomingOutWithTheMouseStopsAtPointTwo) {
    POINT empty{5, 5};
    WPARAM keys = MK_LBUTTON | MK_SHIFT | MK_CONTROL;
    Mouse(WM_LBUTTONDOWN, empty, keys);
    for (int i = 1; i <= 10; ++i) Mouse(WM_MOUSEMOVE, {5, 5 + 30 * i}, keys);
    Mouse(WM_LBUTTONUP, {5, 305}, 0);
    EXPECT_FLOAT_EQ(Chart3DSharedView().scale.x, 0.2f);
    EXPECT_FLOAT_EQ(Chart3DSharedView().scale.z, 0.2f);
    EXPECT_TRUE(hits_.empty());
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Chart3DWindowTest, CtrlDragTurnsTheViewByAHundredthPerPixel) {
    WPARAM keys = MK_LBUTTON | MK_CONTROL;
    Mouse(WM_LBUTTONDOWN, {5, 5}, keys);
    Mouse(WM_MOUSEMOVE, {25, 15}, keys);
    Mouse(WM_LBUTTONUP, {25, 15}, 0);
    EXPECT_NEAR(Chart3DSharedView().rotY, 0.2f, 1e-6);
    EXPECT_NEAR(Chart3DSharedView().rotX, 0.1f, 1e-6);
}

TEST_F(Chart3DWindowTest, APressOnAPointReportsItsColumnAndRowAndADragHoldsTheValueAt255) {
    POINT p = OnCell(4);  // column 2, row 1, value 90
    Mouse(WM_LBUTTONDOWN, p, MK_LBUTTON);
    ASSERT_EQ(hits_, (std::vector<std::pair<int, int>>{{2, 1}}));
    Mouse(WM_MOUSEMOVE, {p.x, p.y - 40}, MK_LBUTTON);
    int raised = cells_[4].value;
    EXPECT_GT(raised, 90);
    Mouse(WM_MOUSEMOVE, {p.x, -3000}, MK_LBUTTON);
    Mouse(WM_LBUTTONUP, {p.x, -3000}, 0);
    EXPECT_EQ(cells_[4].value, 255);
    EXPECT_EQ(cells_[4].column, 2);  // locked
    EXPECT_EQ(cells_[4].row, 1);
    EXPECT_EQ(host_.Send(C3M_GETVALUE, 0, 4), 255);
    EXPECT_EQ(Codes(),
              (std::vector<int>{C3N_POINTHIT, C3N_POINTMOVED, C3N_POINTMOVED, C3N_DRAGEND}));
    EXPECT_EQ(host_.commands()[1].value, 4);
    EXPECT_EQ(host_.commands()[3].value, 4);
}

TEST_F(Chart3DWindowTest, DraggingBelowTheRangeHoldsZero) {
    POINT p = OnCell(5);
    Mouse(WM_LBUTTONDOWN, p, MK_LBUTTON);
    Mouse(WM_MOUSEMOVE, {p.x, 5000}, MK_LBUTTON);
    Mouse(WM_LBUTTONUP, {p.x, 5000}, 0);
    EXPECT_EQ(cells_[5].value, 0);
}

TEST_F(Chart3DWindowTest, WithEditingOffAPressReportsTheHitButDoesNotDrag) {
    host_.Send(C3M_ENABLEEDIT, 0, 0);
    POINT p = OnCell(1);
    Mouse(WM_LBUTTONDOWN, p, MK_LBUTTON);
    Mouse(WM_MOUSEMOVE, {p.x, p.y - 50}, MK_LBUTTON);
    Mouse(WM_LBUTTONUP, {p.x, p.y - 50}, 0);
    EXPECT_EQ(cells_[1].value, 128);
    EXPECT_EQ(Codes(), (std::vector<int>{C3N_POINTHIT}));
}

TEST_F(Chart3DWindowTest, SelectPointReportsValidCellsAndIgnoresOthers) {
    host_.Send(C3M_SELECTPOINT, 0, 2);
    EXPECT_EQ(hits_, (std::vector<std::pair<int, int>>{{3, 2}}));
    host_.Send(C3M_SELECTPOINT, 0, 6);
    host_.Send(C3M_SELECTPOINT, 0, -1);
    host_.Send(C3M_SELECTPOINT, 0, 1 << 30);
    EXPECT_EQ(hits_.size(), 1u);
    UpdateWindow(host_.control());  // the information box of no cell is not drawn
}

TEST_F(Chart3DWindowTest, ValuesAreReadOnlyInsideTheTable) {
    EXPECT_EQ(host_.Send(C3M_GETVALUE, 0, 2), 255);
    EXPECT_EQ(host_.Send(C3M_GETVALUE, 0, 6), 0);
    EXPECT_EQ(host_.Send(C3M_GETVALUE, 0, -1), 0);
    Chart3DCell* array = nullptr;
    int32_t size[2] = {};
    host_.Send(C3M_GETDATA, reinterpret_cast<WPARAM>(&array), reinterpret_cast<LPARAM>(size));
    EXPECT_EQ(array, cells_);
    EXPECT_EQ(size[0], kColumns);
    EXPECT_EQ(size[1], kRows);
}

TEST_F(Chart3DWindowTest, AnEmptyOrMissingTablePaintsAndPicksNothing) {
    int32_t empty[2] = {0, 0};
    host_.Send(C3M_SETDATA, reinterpret_cast<WPARAM>(cells_), reinterpret_cast<LPARAM>(empty));
    UpdateWindow(host_.control());
    host_.Send(C3M_SETDATA, 0, reinterpret_cast<LPARAM>(size_));
    UpdateWindow(host_.control());
    host_.Send(C3M_SETDATA, reinterpret_cast<WPARAM>(cells_), 0);
    UpdateWindow(host_.control());
    Mouse(WM_LBUTTONDOWN, OnCell(0), MK_LBUTTON);
    Mouse(WM_LBUTTONUP, OnCell(0), 0);
    EXPECT_TRUE(host_.commands().empty());
    EXPECT_EQ(host_.Send(C3M_GETVALUE, 0, 0), 0);
}

TEST_F(Chart3DWindowTest, MarkersShowTheirValueBands) {
    host_.Send(C3M_SETMARKERSIZE, 0, 14);
    ClientPixels pixels(host_.control());
    EXPECT_GT(CountPixels(pixels, RGB(0, 0, 255)), 0);    // 0: blue
    EXPECT_GT(CountPixels(pixels, RGB(255, 255, 0)), 0);  // 128: yellow
    EXPECT_GT(CountPixels(pixels, RGB(255, 0, 0)), 0);    // 255: red
}

TEST_F(Chart3DWindowTest, TheInformationBoxShowsTheSelectedValueInHexadecimal) {
    static const char kX[] = "X", kY[] = "Value", kZ[] = "Z";
    host_.Send(C3M_SETAXISCAPTIONS, reinterpret_cast<WPARAM>(kX), reinterpret_cast<LPARAM>(kY));
    host_.Send(C3M_SETZCAPTION, reinterpret_cast<WPARAM>(kZ), 0);
    ChartLabelScale hex{0, 1, 2};
    host_.Send(C3M_SETLABELFORMAT, 1, reinterpret_cast<LPARAM>(&hex));
    host_.Send(C3M_SELECTPOINT, 0, 1);
    ClientPixels pixels(host_.control());
    EXPECT_GT(CountPixels(pixels, RGB(0xFE, 0xFA, 0x9E)), 100);  // the box's fill, 0x9EFAFE
}

}  // namespace
