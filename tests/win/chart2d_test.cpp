// The 2-D chart in a real window: pressing, dragging, selection and the parent's messages.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "controls/chart2d_win.h"
#include "tests/win/support/control_host.h"

namespace {

using namespace testing_support;

constexpr int kWidth = 440, kHeight = 320;  // margins 40 and 40
constexpr COLORREF kSelectedFill = RGB(255, 0, 0);

// Device pixel of a logical point under the default extents (300 x 300).
POINT Device(int lx, int ly) {
    return {40 + lx * (kWidth - 40) / 300, (kHeight - 40) - ly * (kHeight - 40) / 300};
}

// A spot one unit right of and above point `index` (columns 64 apart), inside its hot box.
POINT OnPoint(int index, int value) {
    return Device((index + 1) * 64 + 1, value + 1);
}

class Chart2DWindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(host_.control(), nullptr);
        host_.Send(C2M_SETPOINTS, reinterpret_cast<WPARAM>(points_), 4);
    }
    void Press(POINT p) { SendMouse(host_.control(), WM_LBUTTONDOWN, p.x, p.y, MK_LBUTTON); }
    void Move(int x, int y) { SendMouse(host_.control(), WM_MOUSEMOVE, x, y, MK_LBUTTON); }
    void Release(int x, int y) { SendMouse(host_.control(), WM_LBUTTONUP, x, y); }
    std::vector<int> Codes() const {
        std::vector<int> codes;
        for (const CommandRecord& c : host_.commands()) codes.push_back(c.code);
        return codes;
    }
    int SelectedMarkerPixels() const {
        return CountPixels(ClientPixels(host_.control()), kSelectedFill);
    }

    ChartPoint points_[4] = {{0, 100}, {0, 150}, {0, 200}, {0, 50}};
    ControlHost host_{kChart2DClass, kWidth, kHeight};
};

TEST_F(Chart2DWindowTest, DraggingAbove255HoldsItThereAndReportsEachMoveThenTheEnd) {
    POINT p = OnPoint(1, 150);
    Press(p);
    Move(p.x, -20);  // above the window: the drag keeps the mouse
    EXPECT_EQ(points_[1].y, 255);
    Move(p.x, kHeight + 60);
    EXPECT_EQ(points_[1].y, 0);
    Move(p.x, -50);
    Release(p.x, -50);
    EXPECT_EQ(points_[1].y, 255);
    EXPECT_EQ(host_.Send(C2M_GETPOINTVALUE, 0, 1), 255);
    EXPECT_EQ(Codes(), (std::vector<int>{C2N_POINTHIT, C2N_POINTMOVED, C2N_POINTMOVED,
                                         C2N_POINTMOVED, C2N_DRAGEND}));
    for (const CommandRecord& c : host_.commands()) {
        EXPECT_EQ(c.id, 7);
        EXPECT_EQ(c.value, 1);  // the point's index
    }
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(Chart2DWindowTest, DraggingFollowsThePointerInsideTheRange) {
    POINT p = OnPoint(2, 200);
    Press(p);
    POINT target = Device(0, 120);
    Move(p.x, target.y);
    Release(p.x, target.y);
    EXPECT_NEAR(points_[2].y, 120, 1);
    EXPECT_EQ(points_[0].y, 100);  // the others stay
    EXPECT_EQ(points_[3].y, 50);
}

TEST_F(Chart2DWindowTest, APressOnEmptySpaceClearsTheSelection) {
    Press(OnPoint(2, 200));
    Release(0, 0);
    EXPECT_GT(SelectedMarkerPixels(), 0);
    host_.ClearCommands();
    POINT empty = Device(30, 250);
    Press(empty);
    Release(empty.x, empty.y);
    EXPECT_TRUE(host_.commands().empty());  // no hit, and no drag to end
    EXPECT_EQ(SelectedMarkerPixels(), 0);
}

TEST_F(Chart2DWindowTest, WithEditingOffAPressReportsTheHitButNeitherSelectsNorDrags) {
    host_.Send(C2M_ENABLEEDIT, 0, 0);
    POINT p = OnPoint(0, 100);
    Press(p);
    Move(p.x, 10);
    Release(p.x, 10);
    EXPECT_EQ(points_[0].y, 100);
    EXPECT_EQ(Codes(), (std::vector<int>{C2N_POINTHIT}));
    EXPECT_EQ(host_.commands()[0].value, 0);
    EXPECT_EQ(SelectedMarkerPixels(), 0);
}

TEST_F(Chart2DWindowTest, ADragEndsWithTheButtonEvenWhenEditingWasSwitchedOffMeanwhile) {
    POINT p = OnPoint(3, 50);
    Press(p);
    host_.Send(C2M_ENABLEEDIT, 0, 0);
    Release(p.x, p.y);
    SendMouse(host_.control(), WM_MOUSEMOVE, p.x, 5);  // no button: must not move the point
    EXPECT_EQ(points_[3].y, 50);
    EXPECT_EQ(Codes(), (std::vector<int>{C2N_POINTHIT}));
}

TEST_F(Chart2DWindowTest, LosingTheCaptureEndsTheDrag) {
    POINT p = OnPoint(1, 150);
    Press(p);
    ReleaseCapture();
    Move(p.x, 5);
    EXPECT_EQ(points_[1].y, 150);
    EXPECT_EQ(Codes(), (std::vector<int>{C2N_POINTHIT, C2N_DRAGEND}));
}

TEST_F(Chart2DWindowTest, SelectPointMarksOnlyValidIndices) {
    host_.Send(C2M_SELECTPOINT, 0, 2);
    EXPECT_GT(SelectedMarkerPixels(), 0);
    host_.Send(C2M_SELECTPOINT, 0, 99);
    EXPECT_EQ(SelectedMarkerPixels(), 0);
    host_.Send(C2M_SELECTPOINT, 0, 1);
    host_.Send(C2M_SELECTPOINT, 0, -1);
    EXPECT_EQ(SelectedMarkerPixels(), 0);
    EXPECT_TRUE(host_.commands().empty());
}

TEST_F(Chart2DWindowTest, PointValuesAreReadOnlyInsideTheArray) {
    EXPECT_EQ(host_.Send(C2M_GETPOINTVALUE, 0, 2), 200);
    EXPECT_EQ(host_.Send(C2M_GETPOINTVALUE, 0, 4), 0);
    EXPECT_EQ(host_.Send(C2M_GETPOINTVALUE, 0, -1), 0);
    ChartPoint* array = nullptr;
    int count = 0;
    host_.Send(C2M_GETPOINTS, reinterpret_cast<WPARAM>(&array), reinterpret_cast<LPARAM>(&count));
    EXPECT_EQ(array, points_);
    EXPECT_EQ(count, 4);
    host_.Send(C2M_GETPOINTS, 0, 0);  // null destinations are skipped
}

TEST_F(Chart2DWindowTest, ANullArrayCountsAsNoPoints) {
    host_.Send(C2M_SETPOINTS, 0, 5);
    int count = -1;
    host_.Send(C2M_GETPOINTS, 0, reinterpret_cast<LPARAM>(&count));
    EXPECT_EQ(count, 0);
    UpdateWindow(host_.control());
    Press(Device(64, 100));
    EXPECT_TRUE(host_.commands().empty());
}

TEST_F(Chart2DWindowTest, ColumnLabelsOfAnyLengthPaint) {
    std::string labels(3000, 'W');
    labels += '\0';
    labels += "B";
    labels += std::string(2, '\0');  // and two empty labels: one for each of the four points
    host_.Send(C2M_SETCOLUMNLABELS, reinterpret_cast<WPARAM>(labels.c_str()), 0);
    static const char kTitle[] = "Title";
    host_.Send(C2M_SETTITLE, 0, reinterpret_cast<LPARAM>(kTitle));
    ChartLabelScale reciprocal{0.0, 100.0, 1};
    host_.Send(C2M_SETLABELFORMAT, 1, reinterpret_cast<LPARAM>(&reciprocal));  // tick 0: 100 / 0
    host_.Send(C2M_SETLABELFORMAT, 1, 0);  // no record: only the switch changes
    ClientPixels pixels(host_.control());
    EXPECT_GT(CountPixels(pixels, RGB(0, 0, 0)), 0);
}

// One label per point: an empty label in the middle does not end the list.
TEST_F(Chart2DWindowTest, LabelsAfterAnEmptyOneStillPaint) {
    static const char kWithLast[] = "A\0\0C";
    static const char kWithoutLast[] = "A\0\0";
    host_.Send(C2M_SETPOINTS, reinterpret_cast<WPARAM>(points_), 3);
    auto blackPixels = [this](const char* labels) {
        host_.Send(C2M_SETCOLUMNLABELS, reinterpret_cast<WPARAM>(labels), 0);
        host_.Send(C2M_REDRAW);
        return CountPixels(ClientPixels(host_.control()), RGB(0, 0, 0));
    };
    EXPECT_GT(blackPixels(kWithLast), blackPixels(kWithoutLast));
}

TEST_F(Chart2DWindowTest, UserDataIsKeptForTheParent) {
    host_.Send(C2M_SETUSERDATA1, 0, 1234);
    host_.Send(C2M_SETUSERDATA2, 0, -9);
    EXPECT_EQ(host_.Send(C2M_GETUSERDATA1), 1234);
    EXPECT_EQ(host_.Send(C2M_GETUSERDATA2), -9);
}

TEST_F(Chart2DWindowTest, TheBackgroundColourFillsTheWindow) {
    host_.Send(C2M_SETBKCOLOR, 0, RGB(10, 20, 30));
    host_.Send(C2M_REDRAW);
    ClientPixels pixels(host_.control());
    EXPECT_EQ(pixels.at(kWidth - 2, kHeight - 2), RGB(10, 20, 30));
    EXPECT_EQ(pixels.at(1, 1), RGB(10, 20, 30));
}

}  // namespace
