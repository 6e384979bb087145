// HexView32 painting, checked in the pixels of a rendered control.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "hexview/hexview_win.h"
#include "tests/win/support/hexview_host.h"
#include "tests/win/support/pixels.h"

namespace {

using testing_support::ClientPixels;
using testing_support::HexViewHost;
using Bytes = std::vector<unsigned char>;

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kCyan = RGB(0, 255, 255);

Bytes Counting(std::size_t n) {
    Bytes bytes(n);
    for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<unsigned char>(0x41 + i % 26);
    return bytes;
}

class HexViewPaint : public ::testing::Test {
protected:
    void SetUp() override {
        back_ = GetSysColor(COLOR_WINDOW);
        highlight_ = GetSysColor(COLOR_HIGHLIGHT);
    }
    HWND hv() const { return host_.control(); }
    const HexViewInstance& m() const { return host_.inst(); }
    // The caret would draw over what is checked: the focus goes to the parent.
    ClientPixels Shot() {
        SetFocus(host_.parent());
        host_.Pump(10);
        return ClientPixels(hv());
    }
    // The pixels of one character cell (column, screen row).
    RECT Cell(std::uint32_t column, int row) const {
        int x = HexViewColumnX(m(), column);
        return {x, row * m().lineHeight, x + m().charWidth, (row + 1) * m().lineHeight};
    }
    int CellArea() const { return m().charWidth * m().lineHeight; }
    std::uint32_t DigitColumn(std::uint32_t byte) const { return 10 + byte * 3; }

    HexViewHost host_;
    COLORREF back_ = 0;
    COLORREF highlight_ = 0;
};

TEST_F(HexViewPaint, AnEmptyDocumentIsAllBackground) {
    ClientPixels shot = Shot();
    ASSERT_GT(shot.width(), 100);
    EXPECT_EQ(shot.Count(back_, RECT{0, 0, shot.width(), shot.height()}),
              shot.width() * shot.height());
}

TEST_F(HexViewPaint, SelectionHighlightRunsThroughSeparatorsAndStopsAfterTheLastByte) {
    host_.SetBytes(Counting(64));
    HexViewSetSelection(hv(), 3, 4);  // bytes 3 .. 6
    ClientPixels shot = Shot();
    EXPECT_EQ(shot.Count(back_, Cell(DigitColumn(2) + 2, 0)), CellArea());  // before byte 3
    for (std::uint32_t byte = 3; byte < 6; ++byte) {
        EXPECT_EQ(shot.Count(highlight_, Cell(DigitColumn(byte) + 2, 0)), CellArea()) << byte;
    }
    for (std::uint32_t byte = 3; byte < 7; ++byte) {
        EXPECT_GT(shot.Count(highlight_, Cell(DigitColumn(byte), 0)), CellArea() / 2) << byte;
        EXPECT_GT(shot.Count(highlight_, Cell(59 + byte, 0)), CellArea() / 3) << byte;
    }
    EXPECT_EQ(shot.Count(back_, Cell(DigitColumn(6) + 2, 0)), CellArea());  // after byte 6
    EXPECT_EQ(shot.Count(highlight_, Cell(DigitColumn(7), 0)), 0);
    EXPECT_EQ(shot.Count(highlight_, Cell(59 + 7, 0)), 0);
    EXPECT_EQ(shot.Count(highlight_, RECT{0, m().lineHeight, shot.width(), shot.height()}), 0);
}

TEST_F(HexViewPaint, ASelectionAcrossRowsFillsTheRowsBetween) {
    host_.SetBytes(Counting(64));
    HexViewSetSelection(hv(), 14, 20);  // bytes 14 .. 33: rows 0 .. 2
    ClientPixels shot = Shot();
    for (std::uint32_t column = 10; column < 57; ++column) {
        EXPECT_GT(shot.Count(highlight_, Cell(column, 1)), 0) << column;
    }
    EXPECT_EQ(shot.Count(highlight_, Cell(57, 1)), 0);  // the gap between the panes
    EXPECT_EQ(shot.Count(highlight_, Cell(DigitColumn(0) + 2, 2)), CellArea());  // 32 .. 33
    EXPECT_EQ(shot.Count(highlight_, Cell(DigitColumn(1) + 2, 2)), 0);  // after byte 33
}

TEST_F(HexViewPaint, EditedBytesAreRedAndSelectedEditedBytesCyan) {
    host_.SetBytes(Counting(48));
    HexViewSetCaret(hv(), 5);
    host_.Type("7E");
    host_.Key(VK_TAB);
    HexViewSetCaret(hv(), 20);
    host_.Type("q");
    ClientPixels typed = Shot();  // as the keystrokes painted it
    EXPECT_GT(typed.Count(kRed, Cell(DigitColumn(5), 0)), 0);
    EXPECT_GT(typed.Count(kRed, Cell(59 + 5, 0)), 0);
    EXPECT_GT(typed.Count(kRed, Cell(DigitColumn(4), 1)), 0);
    InvalidateRect(hv(), nullptr, FALSE);
    ClientPixels repainted(hv());
    for (std::uint32_t byte = 0; byte < 16; ++byte) {
        const bool edited = byte == 5;
        EXPECT_EQ(repainted.Count(kRed, Cell(DigitColumn(byte), 0)) > 0, edited) << byte;
        EXPECT_EQ(repainted.Count(kRed, Cell(59 + byte, 0)) > 0, edited) << byte;
    }
    HexViewSetSelection(hv(), 4, 3);
    ClientPixels selected = Shot();
    EXPECT_GT(selected.Count(kCyan, Cell(DigitColumn(5), 0)), 0);
    EXPECT_GT(selected.Count(kCyan, Cell(59 + 5, 0)), 0);
    EXPECT_EQ(selected.Count(kCyan, Cell(DigitColumn(4), 0)), 0);
    EXPECT_EQ(selected.Count(kRed, RECT{0, 0, selected.width(), m().lineHeight}), 0);

    HexViewSetStyle(hv(), HVS_MARKCHANGES, 0);
    ClientPixels plain = Shot();
    EXPECT_EQ(plain.Count(kRed, RECT{0, 0, plain.width(), plain.height()}), 0);
    EXPECT_EQ(plain.Count(kCyan, RECT{0, 0, plain.width(), plain.height()}), 0);
}

TEST_F(HexViewPaint, AroundTheRowsIsBackground) {
    host_.SetBytes(Counting(20));  // a full row and a short one
    ClientPixels shot = Shot();
    const int right = HexViewColumnX(m(), 75);
    EXPECT_EQ(shot.Count(back_, RECT{right, 0, shot.width(), shot.height()}),
              (shot.width() - right) * shot.height());
    const int below = 2 * m().lineHeight;
    EXPECT_EQ(shot.Count(back_, RECT{0, below, shot.width(), shot.height()}),
              shot.width() * (shot.height() - below));
    // The short row's padding in both panes.
    EXPECT_EQ(shot.Count(back_, Cell(DigitColumn(4), 1)), CellArea());
    EXPECT_EQ(shot.Count(back_, Cell(59 + 4, 1)), CellArea());
}

TEST_F(HexViewPaint, NothingIsErasedOnItsOwn) {
    host_.SetBytes(Counting(20));
    Shot();
    {
        HDC dc = GetDC(hv());
        HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
        RECT client;
        GetClientRect(hv(), &client);
        FillRect(dc, &client, magenta);
        DeleteObject(magenta);
        HDC screen = dc;
        EXPECT_NE(SendMessageA(hv(), WM_ERASEBKGND, reinterpret_cast<WPARAM>(screen), 0), 0);
        ReleaseDC(hv(), dc);
    }
    ClientPixels shot(hv());
    EXPECT_EQ(shot.at(shot.width() - 2, shot.height() - 2), RGB(255, 0, 255));
}

// After each action, what the control drew step by step must equal a full repaint.
TEST_F(HexViewPaint, IncrementalPaintingMatchesAFullRepaint) {
    host_.SetBytes(Counting(16 * 60 + 5));
    HexViewSetSelection(hv(), 30, 50);
    MoveWindow(hv(), 0, 0, 420, 250, TRUE);
    host_.Pump(20);
    auto same = [&](const char* what) {
        host_.Pump(20);
        ClientPixels drawn = Shot();
        InvalidateRect(hv(), nullptr, FALSE);
        ClientPixels full(hv());
        int differing = 0;
        for (int y = 0; y < drawn.height(); ++y) {
            for (int x = 0; x < drawn.width(); ++x) differing += drawn.at(x, y) != full.at(x, y);
        }
        EXPECT_EQ(differing, 0) << what;
        SetFocus(hv());
    };
    const std::vector<std::pair<const char*, std::function<void()>>> actions = {
        {"line down", [&] { SendMessageA(hv(), WM_VSCROLL, SB_LINEDOWN, 0); }},
        {"page down", [&] { SendMessageA(hv(), WM_VSCROLL, SB_PAGEDOWN, 0); }},
        {"line up", [&] { SendMessageA(hv(), WM_VSCROLL, SB_LINEUP, 0); }},
        {"line right", [&] { SendMessageA(hv(), WM_HSCROLL, SB_LINERIGHT, 0); }},
        {"page right", [&] { SendMessageA(hv(), WM_HSCROLL, SB_PAGERIGHT, 0); }},
        {"line left", [&] { SendMessageA(hv(), WM_HSCROLL, SB_LINELEFT, 0); }},
        {"shift down", [&] { host_.Key(VK_DOWN, true); }},
        {"shift page down", [&] { host_.Key(VK_NEXT, true); }},
        {"click", [&] { host_.Click(host_.NumberCell(m().topRow * 16 + 40)); }},
        {"drag", [&] {
             host_.Press(host_.NumberCell(m().topRow * 16 + 3));
             host_.MoveTo(host_.NumberCell(m().topRow * 16 + 50));
             host_.Release(host_.NumberCell(m().topRow * 16 + 50));
         }},
        {"drag up out of the view", [&] {
             host_.Press(host_.NumberCell(m().topRow * 16 + 40));
             host_.MoveTo(POINT{40, -3});
             host_.Pump(90);
             host_.Release(POINT{40, -3});
         }},
        {"overwrite digits", [&] { host_.Type("9a"); }},
        {"insert mode", [&] { host_.Key(VK_INSERT); }},
        {"insert digits", [&] { host_.Type("b"); }},
        {"backspace", [&] { host_.Key(VK_BACK); }},
        {"ctrl end", [&] { host_.Key(VK_END, false, true); }},
        {"characters at the end", [&] {
             host_.Key(VK_TAB);
             host_.Type("0123456789abcdefghij");
         }},
        {"undo", [&] { host_.Key('Z', false, true); }},
        {"ctrl home", [&] { host_.Key(VK_HOME, false, true); }},
        {"delete", [&] { host_.Key(VK_DELETE); }},
        {"thumb", [&] {
             SetScrollPos(hv(), SB_VERT, 33, FALSE);
             SendMessageA(hv(), WM_VSCROLL, SB_THUMBTRACK, 0);
         }},
        {"resize", [&] { MoveWindow(hv(), 0, 0, 500, 200, TRUE); }},
        {"fit to window", [&] { HexViewSetStyle(hv(), HVS_FITTOWINDOW, HVS_FITTOWINDOW); }},
        {"bottom", [&] { SendMessageA(hv(), WM_VSCROLL, SB_BOTTOM, 0); }},
        {"grow", [&] { MoveWindow(hv(), 0, 0, 600, 280, TRUE); }},
    };
    for (const auto& [what, action] : actions) {
        action();
        same(what);
    }
}

// The bytes a compare found different show on a background of their own in both panes, through
// the separators between them, until the document is edited.
TEST_F(HexViewPaint, DifferencesOfACompareShowUntilAnEdit) {
    const Bytes bytes = Counting(64);
    Bytes other = bytes;
    for (std::size_t at = 3; at < 6; ++at) other[at] ^= 0x20;
    host_.SetBytes(bytes);
    ASSERT_EQ(HexViewCompareData(hv(), other.data(), static_cast<DWORD>(other.size())), 1);
    host_.Pump();
    constexpr COLORREF kAmber = RGB(0xFF, 0xE0, 0x80);
    ClientPixels shot = Shot();
    EXPECT_EQ(shot.Count(kAmber, Cell(DigitColumn(2) + 2, 0)), 0);
    for (std::uint32_t byte = 3; byte < 5; ++byte) {
        EXPECT_EQ(shot.Count(kAmber, Cell(DigitColumn(byte) + 2, 0)), CellArea()) << byte;
    }
    EXPECT_EQ(shot.Count(kAmber, Cell(DigitColumn(5) + 2, 0)), 0);
    for (std::uint32_t byte = 3; byte < 6; ++byte) {
        EXPECT_GT(shot.Count(kAmber, Cell(59 + byte, 0)), CellArea() / 3) << byte;
    }
    EXPECT_EQ(shot.Count(kAmber, Cell(59 + 6, 0)), 0);

    host_.Type("7");
    shot = Shot();
    EXPECT_EQ(shot.Count(kAmber, RECT{0, 0, shot.width(), shot.height()}), 0);
}

}  // namespace
