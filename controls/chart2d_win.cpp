#include "controls/chart2d_win.h"

#include <windowsx.h>

#include "controls/chart_gdi_win.h"
#include "controls/control_state_win.h"
#include "platform/win32_handles.h"

namespace {

constexpr ChartSettingMessages kSettingMessages{
    C2M_REDRAW,       C2M_SETAXISCAPTIONS, C2M_SETEXTENTS,    C2M_ENABLEEDIT,  C2M_SETBKCOLOR,
    C2M_SETTITLE,     C2M_SETLABELFORMAT,  C2M_SETLABELSCALE, C2M_SETSUBTITLE, C2M_SETUSERDATA1,
    C2M_GETUSERDATA1, C2M_SETUSERDATA2,    C2M_GETUSERDATA2};

// Messages that only keep a value in a field of their own, and one that does nothing.
constexpr UINT kKeep1076 = 1076, kKeep1079 = 1079, kKeep1086 = 1086, kKeep1087 = 1087;
constexpr UINT kNothing1088 = 1088;

struct Chart2DState {
    explicit Chart2DState(HWND window) : hwnd(window) {}

    HWND hwnd;                         // the control itself
    RECT clientRect{};                 // client rectangle of the last paint
    int yMin = 0, yMax = 255;          // limits of a dragged value
    ChartSettings settings;            // what the parent set through the messages both charts share
    ChartPoint* points = nullptr;      // the caller's array; a drag writes into it
    int leftMargin = 60;               // device pixels left of the plot, set by each paint
    int bottomMargin = 60;             // device pixels below the plot, set by each paint
    int pointCount = 0;                // points in the caller's array
    int columnSpacing = 0;             // logical distance between columns
    int gridStep = 0;                  // logical distance between horizontal grid lines
    int gridDivisions = 8;             // horizontal grid intervals
    int showSubtitle = 1;              // non-zero: draw the subtitle when one is set
    int axisLengthX = 256;             // logical width of the gridded area
    int axisLengthY = 256;             // logical height of the gridded area
    int selected = -1;                 // selected point, -1 for none
    COLORREF gridColor = RGB(220, 220, 220);
    COLORREF subtitleColor = RGB(200, 200, 200);
    COLORREF markerColor = RGB(255, 0, 0);  // fill of the selected point's marker
    const char* columnLabels = nullptr;     // packed list, one label per point
    int dragIndex = -1;                // point under the last press, -1 for none
    int dragging = 0;                  // 1 while a drag is in progress (the mouse is captured)
    int kept1076 = 0, kept1079 = 0;    // values the parent stored; nothing reads them
    int kept1086 = 0, kept1087 = 0;
    ChartFonts fonts;  // owned
};

bool ValidIndex(const Chart2DState& s, int index) {
    return s.points != nullptr && index >= 0 && index < s.pointCount;
}

// ---- painting ----

void DrawMarker(const Chart2DState& s, HDC dc, int x, int y, const char* text, bool selected) {
    UniqueGdi<HBRUSH> fill(selected ? CreateSolidBrush(s.markerColor) : nullptr);
    SelectGuard pen(dc, GetStockObject(BLACK_PEN));
    SelectGuard brush(dc, selected ? fill.get() : GetStockObject(NULL_BRUSH));
    Ellipse(dc, x - 3, y + 3, x + 3, y - 3);
    SelectGuard font(dc, s.fonts.get(ChartFonts::kValueLabel));
    DrawChartText(dc, x, y + 14, text);
}

void DrawAxes(HDC dc) {
    SelectGuard pen(dc, GetStockObject(BLACK_PEN));
    SelectGuard brush(dc, GetStockObject(BLACK_BRUSH));
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, 0, 290);
    MoveToEx(dc, 0, 0, nullptr);
    LineTo(dc, 290, 0);
    const POINT up[] = {{0, 290}, {-3, 280}, {3, 280}};
    const POINT right[] = {{290, 0}, {280, -3}, {280, 3}};
    Polygon(dc, up, 3);
    Polygon(dc, right, 3);
}

void Line(HDC dc, HGDIOBJ pen, int x1, int y1, int x2, int y2) {
    SelectGuard selection(dc, pen);
    MoveToEx(dc, x1, y1, nullptr);
    LineTo(dc, x2, y2);
}

void DrawGrid(Chart2DState& s, HDC dc) {
    s.gridStep = ChartSpacing(s.axisLengthY, s.gridDivisions);
    UniqueGdi<HPEN> gridPen(CreatePen(PS_SOLID, 0, s.gridColor));
    HGDIOBJ black = GetStockObject(BLACK_PEN);
    for (int i = 1; i <= s.pointCount; ++i) {
        int x = i * s.columnSpacing;
        Line(dc, gridPen.get(), x, 3, x, s.axisLengthY);
        Line(dc, black, x, -3, x, 3);
    }
    for (int j = 0; j <= s.gridDivisions; ++j) {
        int y = j * s.gridStep;
        Line(dc, black, -2, y, 2, y);
        if (j > 0) Line(dc, gridPen.get(), 2, y, s.axisLengthX, y);
    }
}

void DrawCaptions(const Chart2DState& s, HDC dc) {
    if (s.settings.xCaption != nullptr) {
        SelectGuard font(dc, s.fonts.get(ChartFonts::kXCaption));
        DrawChartText(dc, s.axisLengthX / 2, -30, s.settings.xCaption);
    }
    if (s.settings.yCaption != nullptr) {
        POINT edge{8, 0};  // eight pixels in from the left edge
        DPtoLP(dc, &edge, 1);
        SelectGuard font(dc, s.fonts.get(ChartFonts::kYCaption));
        DrawChartText(dc, edge.x, s.axisLengthY / 2, s.settings.yCaption);
    }
}

void DrawColumnLabels(const Chart2DState& s, HDC dc) {
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    SelectGuard font(dc, s.fonts.get(ChartFonts::kColumnLabel));
    if (s.columnLabels == nullptr) return;
    const char* label = s.columnLabels;
    for (int i = 1; i <= s.pointCount; ++i, label = NextPackedLabel(label)) {
        DrawChartText(dc, i * s.columnSpacing + 4, -5, label);
    }
}

void DrawTickLabels(const Chart2DState& s, HDC dc) {
    SetTextAlign(dc, TA_RIGHT | TA_TOP);
    SelectGuard font(dc, s.fonts.get(ChartFonts::kTickLabel));
    for (int j = 0; j <= s.gridDivisions; ++j) {
        int value = ChartTickValue(s.axisLengthY, j, s.gridDivisions);
        LabelText text = FormatChartValue(s.settings.labels, value, HexStyle::Bare);
        DrawChartText(dc, -4, j * s.gridStep + 4, text.text);
    }
}

void DrawPoints(const Chart2DState& s, HDC dc) {
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    if (s.points == nullptr) return;
    HGDIOBJ black = GetStockObject(BLACK_PEN);
    for (int i = 0; i < s.pointCount; ++i) {
        int x = Chart2DColumnX(i, s.columnSpacing);
        int y = s.points[i].y;
        if (i > 0) Line(dc, black, i * s.columnSpacing, s.points[i - 1].y, x, y);
        LabelText text = FormatChartValue(s.settings.labels, y, HexStyle::Bare);
        DrawMarker(s, dc, x, y, text.text, i == s.selected);
    }
}

void Paint(Chart2DState& s, HDC dc, const RECT& client) {
    s.clientRect = client;
    {
        UniqueGdi<HBRUSH> back(CreateSolidBrush(s.settings.backColor));
        FillRect(dc, &client, back.get());
    }
    ChartMargins margins = ApplyChartMapping(dc, client, s.settings.extentX, s.settings.extentY);
    s.leftMargin = margins.left;
    s.bottomMargin = margins.bottom;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    DrawChartHeadings(dc, s.fonts, s.axisLengthX / 2, s.settings.extentY, s.settings.title,
                      s.showSubtitle != 0 ? s.settings.subtitle : nullptr, s.subtitleColor);
    DrawAxes(dc);
    DrawGrid(s, dc);
    DrawCaptions(s, dc);
    DrawColumnLabels(s, dc);
    DrawTickLabels(s, dc);
    DrawPoints(s, dc);
}

LRESULT OnPaint(Chart2DState& s) {
    RECT client;
    GetClientRect(s.hwnd, &client);
    PaintScope paint(s.hwnd);
    if (!IsRectEmpty(&client)) Paint(s, paint.dc(), client);
    return 0;
}

// ---- selection and dragging ----

void InvalidatePoint(const Chart2DState& s, int index) {
    if (index < 0) return;
    LogicalRect r =
        Chart2DPointRegion(index, s.pointCount, s.columnSpacing, s.axisLengthX, s.settings.extentY);
    RECT device = ChartLogicalToDevice(s.hwnd, s.settings.extentX, s.settings.extentY,
                                       RECT{r.left, r.top, r.right, r.bottom});
    InflateRect(&device, 1, 1);  // the converted edges are inclusive
    InvalidateRect(s.hwnd, &device, TRUE);
}

POINT ToLogical(const Chart2DState& s, LPARAM position) {
    POINT device{GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    return ChartDeviceToLogical(s.hwnd, s.settings.extentX, s.settings.extentY, device);
}

int HitTest(const Chart2DState& s, LPARAM position) {
    POINT logical = ToLogical(s, position);
    int hit = Chart2DHitTest(s.points, s.pointCount, s.columnSpacing, logical.x, logical.y);
    if (hit != -1) NotifyChartParent(s.hwnd, C2N_POINTHIT, hit);
    return hit;
}

LRESULT OnLButtonDown(Chart2DState& s, LPARAM position) {
    s.dragIndex = HitTest(s, position);
    InvalidatePoint(s, s.selected);
    if (s.dragIndex != -1 && s.settings.editable != 0) {
        s.selected = s.dragIndex;
        s.dragging = 1;
        // Captured, so that a drag past the window's edge still reaches the limit and a
        // release outside ends it.
        SetCapture(s.hwnd);
        InvalidatePoint(s, s.selected);
    } else {
        s.selected = -1;
    }
    return 0;
}

LRESULT OnMouseMove(Chart2DState& s, LPARAM position) {
    // The parent may have handed in a shorter array since the press.
    if (s.dragging == 0 || !ValidIndex(s, s.dragIndex)) return 0;
    POINT logical = ToLogical(s, position);
    s.points[s.dragIndex].y = Chart2DDragValue(logical.y, s.yMin, s.yMax);
    InvalidatePoint(s, s.dragIndex);
    NotifyChartParent(s.hwnd, C2N_POINTMOVED, s.dragIndex);
    return 0;
}

// Ends a drag. A drag always ends here, even when editing was switched off during it, so that
// later mouse moves without the button never move the point.
void EndDrag(Chart2DState& s) {
    if (s.dragging == 0) return;
    s.dragging = 0;
    if (s.settings.editable != 0)
        NotifyChartParent(s.hwnd, C2N_DRAGEND, s.selected < 0 ? 0 : s.selected);
}

LRESULT OnLButtonUp(Chart2DState& s) {
    EndDrag(s);
    if (GetCapture() == s.hwnd) ReleaseCapture();
    return 0;
}

// ---- messages from the parent ----

LRESULT OnSetPoints(Chart2DState& s, ChartPoint* points, int count) {
    if (points == nullptr || count < 0) count = 0;
    s.points = points;
    s.pointCount = count;
    s.columnSpacing = ChartSpacing(s.axisLengthX, count);
    if (s.selected >= count) s.selected = -1;
    if (s.dragIndex >= count) s.dragIndex = -1;
    SendMessageA(s.hwnd, C2M_REDRAW, 0, 0);
    return 0;
}

LRESULT OnSelectPoint(Chart2DState& s, int index) {
    if (!ValidIndex(s, index)) index = -1;
    InvalidatePoint(s, s.selected);
    s.selected = index;
    InvalidatePoint(s, s.selected);
    return 0;
}

LRESULT OnGetPoints(const Chart2DState& s, ChartPoint** points, int* count) {
    if (points != nullptr) *points = s.points;
    if (count != nullptr) *count = s.pointCount;
    return 0;
}

LRESULT Dispatch(Chart2DState& s, UINT message, WPARAM wParam, LPARAM lParam) {
    int second = static_cast<int>(lParam);

    LRESULT result = 0;
    if (OnChartSetting(s.hwnd, s.settings, kSettingMessages, message, wParam, lParam, result)) {
        return result;
    }
    switch (message) {
        case WM_PAINT: return OnPaint(s);
        case WM_ERASEBKGND: return 1;
        case WM_LBUTTONDOWN: return OnLButtonDown(s, lParam);
        case WM_MOUSEMOVE: return OnMouseMove(s, lParam);
        case WM_LBUTTONUP: return OnLButtonUp(s);
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != s.hwnd) EndDrag(s);
            return 0;
        case C2M_SETPOINTS: return OnSetPoints(s, reinterpret_cast<ChartPoint*>(wParam), second);
        case C2M_SETCOLUMNLABELS: s.columnLabels = TextParam(static_cast<LPARAM>(wParam)); return 0;
        case kKeep1076: s.kept1076 = second; return 0;
        case kKeep1079: s.kept1079 = static_cast<int>(wParam); return 0;
        case kKeep1086: s.kept1086 = second; return 0;
        case kKeep1087: s.kept1087 = second; return 0;
        case kNothing1088: return 0;
        case C2M_GETPOINTS:
            return OnGetPoints(s, reinterpret_cast<ChartPoint**>(wParam),
                               reinterpret_cast<int*>(lParam));
        case C2M_SELECTPOINT: return OnSelectPoint(s, second);
        case C2M_GETPOINTVALUE: return ValidIndex(s, second) ? s.points[second].y : 0;
        default: return DefWindowProcA(s.hwnd, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK Chart2DProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ControlWindowProc<Chart2DState>(window, message, wParam, lParam, Dispatch);
}
