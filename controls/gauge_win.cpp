#include "controls/gauge_win.h"

#include <algorithm>

#include "controls/control_state_win.h"
#include "platform/win32_handles.h"

namespace {

HFONT CreateGaugeFont(int height) {
    return CreateFontA(height, 0, 0, 0, 600, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, VARIABLE_PITCH | FF_MODERN, "Arial");
}

struct GaugeReadoutState {
    explicit GaugeReadoutState(HWND window) : hwnd(window) {}

    int logicalSize = 100;                    // side of the square panel in logical units
    HWND hwnd;                                // the control itself
    char title[80] = "Test Title";            // text at the top
    char units[50] = "Units Here";            // text at the bottom
    char valueText[26] = "123";               // text in the centre
    COLORREF backColor = RGB(255, 255, 255);  // panel background
    COLORREF titleColor = RGB(0, 0, 0);
    COLORREF unitsColor = RGB(0, 0, 0);
    COLORREF valueColor = RGB(100, 100, 255);
    int valueFontHeight = 42;  // logical units
    int unitsFontHeight = 12;
    UniqueGdi<HFONT> titleFont{CreateGaugeFont(12)};  // owned
    UniqueGdi<HFONT> valueFont{CreateGaugeFont(valueFontHeight)};
    UniqueGdi<HFONT> unitsFont{CreateGaugeFont(unitsFontHeight)};
    int titleHeight = 0;  // height of the title line, measured by each paint
    int drawFrame = 1;    // non-zero: frame the panel
    COLORREF frameColor = RGB(0, 0, 0);
};

// Isotropic: logicalSize units across the shorter side of the window, at least one pixel each.
void ApplyGaugeMapping(HDC dc, const GaugeReadoutState& s, const RECT& client) {
    SetMapMode(dc, MM_ISOTROPIC);
    SetWindowExtEx(dc, s.logicalSize, s.logicalSize, nullptr);
    SetViewportExtEx(dc, std::max<int>(client.right, s.logicalSize),
                     std::max<int>(client.bottom, s.logicalSize), nullptr);
}

void DrawPanel(GaugeReadoutState& s, HDC dc) {
    const int size = s.logicalSize;
    SetBkMode(dc, TRANSPARENT);
    RECT square{0, 0, size, size};
    {
        SelectGuard font(dc, s.valueFont.get());
        SetTextColor(dc, s.valueColor);
        DrawTextA(dc, s.valueText, -1, &square,
                  DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOCLIP | DT_NOPREFIX);
    }
    {
        SelectGuard font(dc, s.titleFont.get());
        RECT line{0, 6, size, size};
        s.titleHeight = DrawTextA(dc, s.title, -1, &line,
                                  DT_SINGLELINE | DT_CENTER | DT_CALCRECT | DT_NOPREFIX);
        line = RECT{0, 6, size, size};
        SetTextColor(dc, s.titleColor);
        DrawTextA(dc, s.title, -1, &line, DT_SINGLELINE | DT_CENTER | DT_NOPREFIX);
    }
    {
        SelectGuard font(dc, s.unitsFont.get());
        RECT area{0, 0, size, size - 6};
        SetTextColor(dc, s.unitsColor);
        DrawTextA(dc, s.units, -1, &area, DT_SINGLELINE | DT_CENTER | DT_BOTTOM | DT_NOPREFIX);
    }
    if (s.drawFrame != 0) {
        UniqueGdi<HPEN> pen(CreatePen(PS_SOLID, 1, s.frameColor));
        SelectGuard penSelection(dc, pen.get());
        SelectGuard brushSelection(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, 0, 0, 100, 100);
    }
}

void Paint(GaugeReadoutState& s, HDC window, const RECT& client, HBRUSH back) {
    ApplyGaugeMapping(window, s, client);
    UniqueMemoryDc dc(CreateCompatibleDC(window));
    UniqueGdi<HBITMAP> bitmap(CreateCompatibleBitmap(window, client.right, client.bottom));
    SelectGuard selection(dc.get(), bitmap.get());
    ApplyGaugeMapping(dc.get(), s, client);
    FillRect(dc.get(), &client, back);

    // Beside and below the panel, straight into the window. The client corner taken as
    // logical and converted to device units lies at or beyond the true corner (a logical
    // unit is at least one pixel), so the strips always reach the window's edges; the corner
    // below and right of the panel is filled too, rather than left unpainted.
    POINT corner{client.right, client.bottom};
    LPtoDP(window, &corner, 1);
    const int size = s.logicalSize;
    RECT right{size, 0, std::max<int>(corner.x, size), std::max<int>(corner.y, size)};
    RECT below{0, size, size, std::max<int>(corner.y, size)};
    FillRect(window, &right, back);
    FillRect(window, &below, back);

    DrawPanel(s, dc.get());
    BitBlt(window, 0, 0, size, size, dc.get(), 0, 0, SRCCOPY);
}

LRESULT OnPaint(GaugeReadoutState& s) {
    RECT client;
    GetClientRect(s.hwnd, &client);
    PaintScope paint(s.hwnd);
    if (IsRectEmpty(&client)) return 0;
    UniqueGdi<HBRUSH> back(CreateSolidBrush(s.backColor));
    Paint(s, paint.dc(), client, back.get());
    return 0;
}

LRESULT Dispatch(GaugeReadoutState& s, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: return OnPaint(s);
        case WM_ERASEBKGND: return 1;
        default: return DefWindowProcA(s.hwnd, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK GaugeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ControlWindowProc<GaugeReadoutState>(window, message, wParam, lParam, Dispatch);
}
