// HexView32 mouse and scrolling: clicks, Shift+click, drag selection with auto-scroll, the
// wheel, and scroll bars on documents longer than 65535 rows, as messages to a real control.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "hexview/hexview_scroll.h"
#include "hexview/hexview_win.h"
#include "tests/win/support/hexview_host.h"

namespace {

using testing_support::CaretPosition;
using testing_support::CountingBytes;
using testing_support::HexViewHost;
using Bytes = std::vector<unsigned char>;

class HexViewMouse : public ::testing::Test {
protected:
    HWND hv() const { return host_.control(); }
    HexViewInstance& m() const { return host_.inst(); }
    std::pair<DWORD, DWORD> Selection() const {
        DWORD anchor = 0, end = 0;
        HexViewGetSelection(hv(), &anchor, &end);
        return {anchor, end};
    }
    // A point in the number pane: x of a column (characters), y in the middle of a screen row.
    POINT At(double column, int row) const {
        return {static_cast<int>(column * m().charWidth), row * m().lineHeight + m().lineHeight / 2};
    }
    HexViewHost host_;
};

TEST_F(HexViewMouse, AClickRightOfTheLastCellPutsTheCaretAfterTheRow) {
    host_.SetBytes(CountingBytes(32));
    host_.Click(At(58, 1));  // the gap after row 1's last digit
    EXPECT_EQ(HexViewGetCaret(hv()), 32u);
    EXPECT_EQ(m().caretCol, 16u);
    EXPECT_EQ(m().caretRow, 1);
    EXPECT_EQ(CaretPosition().x, (10 + 16 * 3 - 1) * m().charWidth);  // after the last digit
    EXPECT_EQ(CaretPosition().y, m().lineHeight);
    EXPECT_EQ(host_.codes, (std::vector<int>{HVN_CARETMOVED, HVN_SELCHANGED}));
    EXPECT_EQ(m().inTextPane, 0u);
}

TEST_F(HexViewMouse, AClickBelowTheLastRowHitsTheLastRow) {
    host_.SetBytes(CountingBytes(32));
    host_.Click(At(10 + 9 + 0.5, 7));  // byte column 3
    EXPECT_EQ(HexViewGetCaret(hv()), 19u);
    EXPECT_EQ(m().caretRow, 1);
    host_.Click(At(10 + 3 * 16 + 20, 9));  // far right, below everything: the end
    EXPECT_EQ(HexViewGetCaret(hv()), 32u);
    HexViewNew(hv());
    host_.Click(At(30, 5));  // an empty document has only offset 0
    EXPECT_EQ(HexViewGetCaret(hv()), 0u);
}

TEST_F(HexViewMouse, ClicksOnDigitsAndCharacters) {
    host_.SetBytes(CountingBytes(64));
    host_.Click(At(26.5, 0));  // second digit of byte 5
    EXPECT_EQ(HexViewGetCaret(hv()), 5u);
    EXPECT_EQ(m().digitIndex, 0u);
    host_.Click(At(27.5, 0));  // the blank after byte 5, past its first eighth
    EXPECT_EQ(HexViewGetCaret(hv()), 6u);
    host_.Click(At(59 + 3.25, 1));  // the left half of character 3 of row 1
    EXPECT_EQ(HexViewGetCaret(hv()), 19u);
    EXPECT_EQ(m().inTextPane, 1u);
    host_.Click(At(59 + 3.75, 1));  // its right half: after it
    EXPECT_EQ(HexViewGetCaret(hv()), 20u);
    EXPECT_EQ(CaretPosition().x, (59 + 4) * m().charWidth);
}

TEST_F(HexViewMouse, ShiftClickExtendsFromTheAnchor) {
    host_.SetBytes(CountingBytes(64));
    host_.Click(host_.NumberCell(10));
    host_.ClearNotifications();
    host_.Click(host_.NumberCell(20), MK_SHIFT);
    EXPECT_EQ(Selection(), std::make_pair(10ul, 20ul));
    EXPECT_EQ(host_.codes, (std::vector<int>{HVN_CARETMOVED, HVN_SELCHANGED}));
    host_.Click(host_.NumberCell(4), MK_SHIFT);
    EXPECT_EQ(Selection(), std::make_pair(10ul, 4ul));
    EXPECT_EQ(HexViewGetCaret(hv()), 4u);
    host_.Key(VK_RIGHT);
    host_.Key(VK_RIGHT);
    host_.Click(host_.NumberCell(30), MK_SHIFT);  // extends from where the keys left the caret
    EXPECT_EQ(Selection(), std::make_pair(6ul, 30ul));
}

TEST_F(HexViewMouse, AClickOnTheSelectionWithoutMovingCollapsesIt) {
    host_.SetBytes(CountingBytes(64));
    HexViewSetSelection(hv(), 10, 20);
    host_.ClearNotifications();
    host_.Press(host_.NumberCell(15));
    EXPECT_EQ(host_.codes, std::vector<int>{HVN_SELCHANGED});  // maybe a drag: nothing yet
    EXPECT_EQ(Selection(), std::make_pair(10ul, 30ul));
    EXPECT_EQ(GetCapture(), nullptr);
    host_.Release(host_.NumberCell(15));
    EXPECT_EQ(Selection(), std::make_pair(15ul, 15ul));
    EXPECT_EQ(HexViewGetCaret(hv()), 15u);
    EXPECT_EQ(host_.codes, (std::vector<int>{HVN_SELCHANGED, HVN_CARETMOVED, HVN_SELCHANGED}));

    // Without HVS_DRAGSOURCE a press on the selection starts a new one.
    HexViewSetStyle(hv(), HVS_DRAGSOURCE, 0);
    HexViewSetSelection(hv(), 10, 20);
    host_.Click(host_.NumberCell(15));
    EXPECT_EQ(Selection(), std::make_pair(15ul, 15ul));
}

TEST_F(HexViewMouse, DraggingSelectsWithCapture) {
    host_.SetBytes(CountingBytes(200));
    host_.Press(host_.NumberCell(10));
    EXPECT_EQ(GetCapture(), hv());
    host_.ClearNotifications();
    host_.MoveTo(host_.NumberCell(45));
    EXPECT_EQ(Selection(), std::make_pair(10ul, 45ul));
    EXPECT_EQ(host_.codes, (std::vector<int>{HVN_CARETMOVED, HVN_SELCHANGED}));
    host_.MoveTo(host_.NumberCell(45));  // no move, no notification
    EXPECT_EQ(host_.codes.size(), 2u);
    host_.MoveTo(host_.CharCell(60));
    EXPECT_EQ(m().inTextPane, 1u);
    host_.Release(host_.CharCell(60));
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Selection(), std::make_pair(10ul, 60ul));
    EXPECT_EQ(m().mouseDown, 0u);
}

TEST_F(HexViewMouse, DraggingAboveTheClientScrollsUpARowEvery20Milliseconds) {
    host_.SetBytes(CountingBytes(16 * 300));
    SendMessageA(hv(), WM_VSCROLL, MAKEWPARAM(SB_THUMBPOSITION, 0), 0);  // stays at 0
    for (int i = 0; i < 12; ++i) SendMessageA(hv(), WM_VSCROLL, SB_LINEDOWN, 0);
    ASSERT_EQ(m().topRow, 12u);
    host_.Press(host_.NumberCell(16 * 14 + 5));
    host_.MoveTo(POINT{host_.NumberCell(5).x, -8});
    EXPECT_EQ(m().scrollTimer, kAutoScrollTimer);
    EXPECT_EQ(HexViewGetCaret(hv()), 16u * 12 + 5);
    host_.Pump(70);
    const std::uint32_t top = m().topRow;
    EXPECT_LT(top, 12u);
    EXPECT_EQ(HexViewGetCaret(hv()), top * 16 + 5);  // a row at a time with the view
    EXPECT_EQ(Selection().second, top * 16 + 5);
    host_.Pump(600);
    EXPECT_EQ(m().topRow, 0u);
    EXPECT_EQ(HexViewGetCaret(hv()), 5u);
    EXPECT_EQ(Selection(), std::make_pair(16ul * 14 + 5, 5ul));
    host_.Release(POINT{host_.NumberCell(5).x, -8});
    EXPECT_EQ(m().scrollTimer, 0u);
}

TEST_F(HexViewMouse, DraggingBelowTheClientScrollsDownToTheLastRow) {
    host_.SetBytes(CountingBytes(16 * 40 + 7));
    host_.Press(host_.NumberCell(3));
    RECT client;
    GetClientRect(hv(), &client);
    host_.MoveTo(POINT{host_.NumberCell(3).x, client.bottom + 20});
    host_.Pump(1500);
    EXPECT_EQ(m().topRow, HexViewLastTopRow(m()));
    EXPECT_EQ(HexViewGetCaret(hv()), 16u * 40 + 3);  // the pointer's column in the last row
    host_.Release(POINT{0, client.bottom + 20});
}

TEST_F(HexViewMouse, TheRightButtonOrLosingFocusEndsASelectionDrag) {
    host_.SetBytes(CountingBytes(16 * 300));
    host_.Press(host_.NumberCell(20));
    host_.MoveTo(POINT{10, -5});
    ASSERT_NE(m().scrollTimer, 0u);
    SendMessageA(hv(), WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
    EXPECT_EQ(m().scrollTimer, 0u);
    EXPECT_EQ(m().dragSelecting, 0u);
    EXPECT_EQ(GetCapture(), nullptr);

    host_.Press(host_.NumberCell(20));
    host_.MoveTo(POINT{10, -5});
    SetFocus(host_.parent());
    EXPECT_EQ(m().scrollTimer, 0u);
    EXPECT_EQ(m().mouseDown, 0u);
    EXPECT_EQ(GetCapture(), nullptr);
    SetFocus(hv());
}

TEST_F(HexViewMouse, AMoveRightAfterMouseActivationIsIgnored) {
    host_.SetBytes(CountingBytes(64));
    SetFocus(host_.parent());
    EXPECT_EQ(SendMessageA(hv(), WM_MOUSEACTIVATE, reinterpret_cast<WPARAM>(host_.parent()),
                           MAKELPARAM(HTCLIENT, WM_LBUTTONDOWN)),
              MA_ACTIVATE);
    EXPECT_EQ(GetFocus(), hv());
    host_.Press(host_.NumberCell(2));
    host_.MoveTo(host_.NumberCell(30));  // ignored
    EXPECT_EQ(Selection(), std::make_pair(2ul, 2ul));
    host_.MoveTo(host_.NumberCell(30));
    EXPECT_EQ(Selection(), std::make_pair(2ul, 30ul));
    host_.Release(host_.NumberCell(30));
}

TEST_F(HexViewMouse, TheWheelScrollsByLinesOrByPages) {
    host_.SetBytes(CountingBytes(16 * 300));
    UINT saved = 3;
    SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &saved, 0);
    SystemParametersInfoA(SPI_SETWHEELSCROLLLINES, 3, nullptr, 0);
    SendMessageA(hv(), WM_MOUSEWHEEL, MAKEWPARAM(0, -120), 0);
    host_.Pump();
    EXPECT_EQ(m().topRow, 3u);
    SendMessageA(hv(), WM_MOUSEWHEEL, MAKEWPARAM(0, 40), 0);  // only the sign counts
    host_.Pump();
    EXPECT_EQ(m().topRow, 0u);
    SystemParametersInfoA(SPI_SETWHEELSCROLLLINES, WHEEL_PAGESCROLL, nullptr, 0);
    SendMessageA(hv(), WM_MOUSEWHEEL, MAKEWPARAM(0, -960), 0);
    host_.Pump();
    EXPECT_EQ(m().topRow, m().pageRows);
    SystemParametersInfoA(SPI_SETWHEELSCROLLLINES, saved, nullptr, 0);
}

TEST_F(HexViewMouse, ScrollBarsFollowTheView) {
    host_.SetBytes(CountingBytes(16 * 300));
    SCROLLINFO info{sizeof info, SIF_ALL};
    GetScrollInfo(hv(), SB_VERT, &info);
    EXPECT_EQ(info.nMax, 299);
    EXPECT_EQ(info.nPage, m().pageRows);
    SendMessageA(hv(), WM_VSCROLL, SB_PAGEDOWN, 0);
    EXPECT_EQ(GetScrollPos(hv(), SB_VERT), static_cast<int>(m().pageRows));
    SendMessageA(hv(), WM_VSCROLL, SB_BOTTOM, 0);
    EXPECT_EQ(m().topRow, 300u - m().pageRows);
    SendMessageA(hv(), WM_VSCROLL, SB_PAGEUP, 0);
    SendMessageA(hv(), WM_VSCROLL, SB_TOP, 0);
    EXPECT_EQ(m().topRow, 0u);
    for (int i = 0; i < 3; ++i) SendMessageA(hv(), WM_VSCROLL, SB_PAGEUP, 0);
    EXPECT_EQ(m().topRow, 0u);  // page up near the top stops at row 0

    // Horizontal: a narrow control scrolls by columns.
    MoveWindow(hv(), 0, 0, 250, 300, TRUE);
    host_.Pump();
    SendMessageA(hv(), WM_HSCROLL, SB_PAGERIGHT, 0);
    EXPECT_EQ(m().leftCol, 8u);
    EXPECT_EQ(GetScrollPos(hv(), SB_HORZ), 8);
    SendMessageA(hv(), WM_HSCROLL, SB_LINELEFT, 0);
    EXPECT_EQ(m().leftCol, 7u);
    host_.Click(At(2, 0));  // columns count from the scrolled edge
    EXPECT_EQ(HexViewGetCaret(hv()), 0u);
    host_.Click(At(22 - 7 + 0.5, 0));
    EXPECT_EQ(HexViewGetCaret(hv()), 4u);
}

TEST_F(HexViewMouse, TheThumbReachesEveryRowOfALongDocument) {
    const std::uint32_t rows = 100000;
    host_.SetBytes(Bytes(16 * rows, 0x5A));
    SCROLLINFO info{sizeof info, SIF_RANGE};
    GetScrollInfo(hv(), SB_VERT, &info);
    EXPECT_EQ(info.nMax, static_cast<int>(rows - 1));
    for (std::uint32_t row : {70000u, 65536u, rows - m().pageRows}) {
        // The message carries 16 bits of the thumb; the control reads the whole 32.
        SetScrollPos(hv(), SB_VERT, static_cast<int>(row), FALSE);
        SendMessageA(hv(), WM_VSCROLL, MAKEWPARAM(SB_THUMBTRACK, row & 0xFFFF), 0);
        EXPECT_EQ(m().topRow, row);
    }
    SendMessageA(hv(), WM_VSCROLL, SB_THUMBPOSITION, 0);
    EXPECT_EQ(m().topRow, rows - m().pageRows);
}

}  // namespace
