#include "controls/chart3d_win.h"

#include <windowsx.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include "controls/chart_gdi_win.h"
#include "controls/control_state_win.h"
#include "platform/win32_handles.h"

namespace {

constexpr ChartSettingMessages kSettingMessages{
    C3M_REDRAW,       C3M_SETAXISCAPTIONS, C3M_SETEXTENTS,    C3M_ENABLEEDIT,  C3M_SETBKCOLOR,
    C3M_SETTITLE,     C3M_SETLABELFORMAT,  C3M_SETLABELSCALE, C3M_SETSUBTITLE, C3M_SETUSERDATA1,
    C3M_GETUSERDATA1, C3M_SETUSERDATA2,    C3M_GETUSERDATA2};

// Messages that only keep a value in a field of their own, and one that does nothing.
constexpr UINT kKeep1156 = 1156, kKeep1159 = 1159, kKeep1160 = 1160, kKeep1167 = 1167,
               kKeep1168 = 1168;
constexpr UINT kNothing1169 = 1169;

constexpr COLORREF kInfoBoxColor = 0x9EFAFE;

Chart3DView gView;  // shared by every chart; the window thread alone touches it

struct Chart3DState {
    explicit Chart3DState(HWND window) : hwnd(window) {}
    ~Chart3DState();

    HWND hwnd;                           // the control itself
    RECT clientRect{};                   // client rectangle of the last paint
    int columnMin = 0, columnMax = 255;  // limits of a dragged cell's column number
    int rowMin = 0, rowMax = 255;        // limits of a dragged cell's row number
    int valueMin = 0, valueMax = 255;    // limits of a dragged value
    ChartSettings settings;  // what the parent set through the messages both charts share
    int colorBands = 1;                  // non-zero: markers filled by value band
    Chart3DCell* cells = nullptr;        // the caller's table; a drag writes into it
    int leftMargin = 60;                 // device pixels left of the plot, set by each paint
    int bottomMargin = 60;               // device pixels below the plot, set by each paint
    int columns = 0, rows = 0;           // table size; both 0 for an empty table
    int lockColumn = 1, lockRow = 1;     // non-zero: a drag leaves that part of the cell
    int lockValue = 0;
    int columnSpacing = 0, rowSpacing = 0;     // model distance between columns / rows
    int showSubtitle = 1, showInfo = 1;        // draw the subtitle / the information box
    int axisLengthX = 192, axisLengthZ = 192;  // model width and depth of the table
    int pickX = -1, pickY = -1;                // logical position of the selected point
    int selected = -1;                         // selected cell, -1 for none
    COLORREF subtitleColor = RGB(200, 200, 200);
    COLORREF markerColor = RGB(255, 0, 0);  // selected marker's fill without colour bands
    const char* zCaption = nullptr;
    const char* infoText1 = "";  // texts of the information box, never null
    const char* infoText2 = "";
    const char* infoText3 = "";
    int markerSize = 4;                            // marker diameter in logical units
    int buffered = 1;                              // non-zero: paint off-screen first
    float minZoom = 0.2f;                          // smallest zoom the mouse reaches
    int dataMax = 0, dataMin = 0;                  // value range of the table, set by each paint
    Mat4 transform = ComposeViewTransform(gView);  // model to logical, composed by each paint
    int buttonDown = 0;                            // left button held (the mouse is captured)
    int dragging = 0;                              // a point is being dragged
    int lastX = 0, lastY = 0;                      // previous mouse position, device pixels
    int curX = 0, curY = 0;                        // current mouse position, device pixels
    int cursorShown = 1;                           // 0 while hidden during a view change or drag
    int shiftDown = 0, ctrlDown = 0;               // Shift and Ctrl as the key messages report them
    int kept1156 = 0, kept1159 = 0, kept1160 = 0;  // values the parent stored; never read
    int kept1167 = 0, kept1168 = 0;
    ChartFonts fonts;  // owned
};

int CellCount(const Chart3DState& s) {
    return s.cells != nullptr ? s.columns * s.rows : 0;
}

bool ValidCell(const Chart3DState& s, int index) {
    return index >= 0 && index < CellCount(s);
}

LogicalPoint ProjectCell(const Chart3DState& s, int index) {
    return Project(s.transform,
                   CellModelPoint(s.cells[index], s.rows, s.columnSpacing, s.rowSpacing));
}

void HideCursor(Chart3DState& s) {
    if (s.cursorShown == 0) return;
    ShowCursor(FALSE);
    s.cursorShown = 0;
}

void RestoreCursor(Chart3DState& s) {
    if (s.cursorShown != 0) return;
    ShowCursor(TRUE);
    s.cursorShown = 1;
}

// The cursor count is the thread's, not the window's.
Chart3DState::~Chart3DState() {
    RestoreCursor(*this);
}

// ---- painting ----

enum class MarkerFill { Hollow, ByValue };

void DrawMarker(const Chart3DState& s, HDC dc, LogicalPoint p, int value, const char* text,
                bool selected, MarkerFill fill) {
    int r = s.markerSize / 2;
    SelectGuard pen(dc, GetStockObject(BLACK_PEN));
    bool banded = fill == MarkerFill::ByValue && s.colorBands != 0;
    if (banded && selected) {
        SelectGuard brush(dc, GetStockObject(BLACK_BRUSH));
        Ellipse(dc, p.x - r - 1, p.y + r + 1, p.x + r + 1, p.y - r - 1);
    }
    UniqueGdi<HBRUSH> solid;
    if (banded) {
        solid.reset(CreateSolidBrush(ValueBandColour(value, s.dataMin, s.dataMax)));
    } else if (fill == MarkerFill::ByValue && selected) {
        solid.reset(CreateSolidBrush(s.markerColor));
    }
    SelectGuard brush(dc, solid ? solid.get() : GetStockObject(NULL_BRUSH));
    Ellipse(dc, p.x - r, p.y + r, p.x + r, p.y - r);
    if (text != nullptr) {
        SelectGuard font(dc, s.fonts.get(ChartFonts::kValueLabel));
        DrawChartText(dc, p.x, p.y + 14, text);
    }
}

void FindDataRange(Chart3DState& s) {
    s.dataMax = -32768;
    s.dataMin = 32768;
    for (int i = 0; i < CellCount(s); ++i) {
        s.dataMax = std::max(s.dataMax, s.cells[i].value);
        s.dataMin = std::min(s.dataMin, s.cells[i].value);
    }
}

void DrawAxes(const Chart3DState& s, HDC dc, LogicalPoint origin) {
    struct Axis {
        Vec3 end;
        const char* caption;
    };
    const Axis axes[] = {{{25, 0, 0}, s.settings.xCaption},
                         {{0, 25, 0}, s.settings.yCaption},
                         {{0, 0, 25}, s.zCaption}};
    for (const Axis& axis : axes) {
        LogicalPoint end = Project(s.transform, axis.end);
        DrawMarker(s, dc, end, 0, axis.caption, false, MarkerFill::Hollow);
        MoveToEx(dc, origin.x, origin.y, nullptr);
        LineTo(dc, end.x, end.y);
    }
}

// Lines along each row with a marker on every cell, then lines along each column.
void DrawMesh(const Chart3DState& s, HDC dc) {
    int count = CellCount(s);
    if (count == 0) return;
    const Chart3DCell& first = s.cells[0];
    LogicalPoint start =
        Project(s.transform, {static_cast<float>(first.column) * s.columnSpacing,
                              static_cast<float>(first.value), static_cast<float>(s.rowSpacing)});
    MoveToEx(dc, start.x, start.y, nullptr);
    DrawMarker(s, dc, start, first.value, "", s.selected == 0, MarkerFill::ByValue);
    for (int i = 1; i < count; ++i) {
        LogicalPoint p = ProjectCell(s, i);
        if (s.cells[i].column == 1) {
            MoveToEx(dc, p.x, p.y, nullptr);
        } else {
            LineTo(dc, p.x, p.y);
        }
        DrawMarker(s, dc, p, s.cells[i].value, nullptr, i == s.selected, MarkerFill::ByValue);
    }
    MoveToEx(dc, start.x, start.y, nullptr);
    for (int c = 0; c < s.columns; ++c) {
        for (int r = 0; r < s.rows; ++r) {
            int index = s.columns * r + c;
            LogicalPoint p = ProjectCell(s, index);
            if (s.cells[index].row == s.rows) {
                MoveToEx(dc, p.x, p.y, nullptr);
            } else {
                LineTo(dc, p.x, p.y);
            }
        }
    }
}

const char* OrEmpty(const char* text) {
    return text != nullptr ? text : "";
}

// The selected cell's captions and value in a yellow box at the top right, three lines from
// logical (230, 270) downwards.
void DrawInfoBox(const Chart3DState& s, HDC dc) {
    if (s.showInfo == 0 || !ValidCell(s, s.selected)) return;
    LabelText value =
        FormatChartValue(s.settings.labels, s.cells[s.selected].value, HexStyle::Prefixed);
    const char* parts[3][2] = {{OrEmpty(s.zCaption), s.infoText3},
                               {OrEmpty(s.settings.xCaption), s.infoText1},
                               {OrEmpty(s.settings.yCaption), value.text}};
    char lines[3][256];
    SelectGuard font(dc, s.fonts.get(ChartFonts::kValueLabel));
    TEXTMETRICA metrics{};
    GetTextMetricsA(dc, &metrics);
    int lineHeight = std::abs(static_cast<int>(metrics.tmHeight));
    int width = 0;
    for (int k = 0; k < 3; ++k) {
        std::snprintf(lines[k], sizeof lines[k], "%s: %s", parts[k][0], parts[k][1]);
        SIZE extent{};
        GetTextExtentPoint32A(dc, lines[k], static_cast<int>(std::strlen(lines[k])), &extent);
        width = std::max(width, static_cast<int>(extent.cx));
    }
    const int left = 230, top = 270;
    int bottom = top - 3 * lineHeight;
    UniqueGdi<HBRUSH> fill(CreateSolidBrush(kInfoBoxColor));
    {
        SelectGuard brush(dc, fill.get());
        Rectangle(dc, left - 3, top + 3, left + width + 3, bottom - 3);
    }
    SetTextAlign(dc, TA_LEFT | TA_TOP);
    for (int k = 0; k < 3; ++k) DrawChartText(dc, left, top - k * lineHeight, lines[k]);
    SetTextAlign(dc, TA_CENTER | TA_TOP);
}

void DrawChart(Chart3DState& s, HDC dc, const RECT& client) {
    {
        UniqueGdi<HBRUSH> back(CreateSolidBrush(s.settings.backColor));
        FillRect(dc, &client, back.get());
    }
    ChartMargins margins = ApplyChartMapping(dc, client, s.settings.extentX, s.settings.extentY);
    s.leftMargin = margins.left;
    s.bottomMargin = margins.bottom;
    SetBkMode(dc, TRANSPARENT);
    SetBkColor(dc, s.settings.backColor);
    SetTextColor(dc, RGB(0, 0, 0));
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    DrawChartHeadings(dc, s.fonts, s.settings.extentX / 2, s.settings.extentY, s.settings.title,
                      s.showSubtitle != 0 ? s.settings.subtitle : nullptr, s.subtitleColor);
    FindDataRange(s);
    s.transform = ComposeViewTransform(gView);
    LogicalPoint origin = Project(s.transform, {0, 0, 0});
    DrawMarker(s, dc, origin, 0, "", false, MarkerFill::Hollow);
    UniqueGdi<HPEN> pen(CreatePen(PS_SOLID, 0, RGB(0, 0, 0)));
    SelectGuard penSelection(dc, pen.get());
    DrawAxes(s, dc, origin);
    DrawMesh(s, dc);
    DrawInfoBox(s, dc);
}

LRESULT OnPaint(Chart3DState& s) {
    RECT client;
    GetClientRect(s.hwnd, &client);
    PaintScope paint(s.hwnd);
    s.clientRect = client;
    if (IsRectEmpty(&client)) return 0;
    if (s.buffered == 0) {
        DrawChart(s, paint.dc(), client);
        return 0;
    }
    UniqueMemoryDc dc(CreateCompatibleDC(paint.dc()));
    UniqueGdi<HBITMAP> bitmap(CreateCompatibleBitmap(paint.dc(), client.right, client.bottom));
    SelectGuard selection(dc.get(), bitmap.get());
    DrawChart(s, dc.get(), client);
    // The whole client area, in pixels: a copy in logical units could miss an edge column.
    SetMapMode(dc.get(), MM_TEXT);
    SetViewportOrgEx(dc.get(), 0, 0, nullptr);
    BitBlt(paint.dc(), 0, 0, client.right, client.bottom, dc.get(), 0, 0, SRCCOPY);
    return 0;
}

// ---- picking, dragging and turning ----

POINT ToLogical(const Chart3DState& s, int x, int y) {
    return ChartDeviceToLogical(s.hwnd, s.settings.extentX, s.settings.extentY, POINT{x, y});
}

void NotifyHit(const Chart3DState& s, int index) {
    int32_t place[2] = {s.cells[index].column, s.cells[index].row};
    NotifyChartParent(s.hwnd, C3N_POINTHIT, reinterpret_cast<LPARAM>(place));
}

int Pick(Chart3DState& s, int x, int y) {
    POINT logical = ToLogical(s, x, y);
    int radius = s.markerSize / 2;
    for (int i = 0; i < CellCount(s); ++i) {
        LogicalPoint p = ProjectCell(s, i);
        if (Chart3DHit(p, logical.x, logical.y, radius)) {
            s.pickX = p.x;
            s.pickY = p.y;
            s.selected = i;
            NotifyHit(s, i);
            return i;
        }
    }
    s.pickX = s.pickY = s.selected = -1;
    return -1;
}

LRESULT OnLButtonDown(Chart3DState& s, LPARAM position) {
    SetFocus(s.hwnd);  // the view keys come to the chart the user works with
    s.lastX = s.curX = GET_X_LPARAM(position);
    s.lastY = s.curY = GET_Y_LPARAM(position);
    s.buttonDown = 1;
    SetCapture(s.hwnd);
    s.selected = Pick(s, s.curX, s.curY);
    if (s.selected != -1 && s.settings.editable != 0) s.dragging = 1;
    InvalidateRect(s.hwnd, nullptr, TRUE);
    return 0;
}

void DragSelected(Chart3DState& s) {
    POINT from = ToLogical(s, s.lastX, s.lastY);
    POINT to = ToLogical(s, s.curX, s.curY);
    Chart3DCell& cell = s.cells[s.selected];
    int toY = s.lockValue != 0 ? from.y : to.y;
    cell.value = Chart3DDragValue(cell.value, from.y, toY, gView.rotX, s.valueMin, s.valueMax);
    if (s.lockRow == 0) cell.row = to.y;
    if (s.lockColumn == 0) cell.column = to.x;
    cell.row = std::clamp(cell.row, s.rowMin, s.rowMax);
    cell.column = std::clamp(cell.column, s.columnMin, s.columnMax);
}

LRESULT OnMouseMove(Chart3DState& s, WPARAM keys, LPARAM position) {
    s.curX = GET_X_LPARAM(position);
    s.curY = GET_Y_LPARAM(position);
    if (s.buttonDown != 0) {
        // The modifiers held with the mouse count even when the key messages went elsewhere.
        bool shift = s.shiftDown != 0 || (keys & MK_SHIFT) != 0;
        bool ctrl = s.ctrlDown != 0 || (keys & MK_CONTROL) != 0;
        int dx = s.curX - s.lastX, dy = s.curY - s.lastY;
        if (ApplyViewDrag(gView, dx, dy, shift, ctrl, s.minZoom)) {
            HideCursor(s);
            InvalidateRect(s.hwnd, nullptr, TRUE);
        } else if (s.dragging != 0 && ValidCell(s, s.selected)) {
            HideCursor(s);
            DragSelected(s);
            InvalidateRect(s.hwnd, nullptr, TRUE);
            NotifyChartParent(s.hwnd, C3N_POINTMOVED, s.selected);
        }
    }
    s.lastX = s.curX;
    s.lastY = s.curY;
    return 0;
}

// Ends a press. A drag always ends here, even when editing was switched off during it, so
// that the next press never drags with editing off.
void EndPress(Chart3DState& s) {
    if (s.dragging != 0 && s.settings.editable != 0) {
        NotifyChartParent(s.hwnd, C3N_DRAGEND, s.selected < 0 ? 0 : s.selected);
    }
    s.dragging = 0;
    s.buttonDown = 0;
    RestoreCursor(s);
}

LRESULT OnLButtonUp(Chart3DState& s) {
    EndPress(s);
    if (GetCapture() == s.hwnd) ReleaseCapture();
    return 0;
}

LRESULT OnCaptureChanged(Chart3DState& s, HWND newCapture) {
    if (newCapture != s.hwnd && s.buttonDown != 0) EndPress(s);
    return 0;
}

void SetModifier(Chart3DState& s, WPARAM key, int down) {
    if (key == VK_SHIFT) s.shiftDown = down;
    if (key == VK_CONTROL) s.ctrlDown = down;
}

LRESULT OnKeyDown(Chart3DState& s, WPARAM key) {
    if (key == VK_SHIFT || key == VK_CONTROL) {
        SetModifier(s, key, 1);
    } else if (ApplyViewKey(gView, static_cast<int>(key), s.shiftDown != 0, s.ctrlDown != 0)) {
        InvalidateRect(s.hwnd, nullptr, TRUE);
    }
    return 0;
}

// Releases that happen while another window has the focus never reach the chart.
LRESULT OnSetFocus(Chart3DState& s) {
    s.shiftDown = GetKeyState(VK_SHIFT) < 0;
    s.ctrlDown = GetKeyState(VK_CONTROL) < 0;
    return 0;
}

LRESULT OnKillFocus(Chart3DState& s) {
    s.shiftDown = s.ctrlDown = 0;
    return 0;
}

// ---- messages from the parent ----

LRESULT OnSetData(Chart3DState& s, Chart3DCell* cells, const int32_t* size) {
    long long columns = size != nullptr ? size[0] : 0;
    long long rows = size != nullptr ? size[1] : 0;
    // A table the control cannot index is taken as empty.
    if (cells == nullptr || columns <= 0 || rows <= 0 || columns * rows > INT_MAX) {
        columns = rows = 0;
    }
    s.cells = cells;
    s.columns = static_cast<int>(columns);
    s.rows = static_cast<int>(rows);
    s.columnSpacing = ChartSpacing(s.axisLengthX, s.columns);
    s.rowSpacing = ChartSpacing(s.axisLengthZ, s.rows);
    if (!ValidCell(s, s.selected)) s.selected = -1;
    if (s.selected == -1) s.dragging = 0;
    SendMessageA(s.hwnd, C3M_REDRAW, 0, 0);
    return 0;
}

LRESULT OnSelectPoint(Chart3DState& s, int index) {
    InvalidateRect(s.hwnd, nullptr, TRUE);
    s.selected = ValidCell(s, index) ? index : -1;
    InvalidateRect(s.hwnd, nullptr, TRUE);
    if (s.selected != -1) NotifyHit(s, s.selected);
    return 0;
}

LRESULT OnGetData(const Chart3DState& s, Chart3DCell** cells, int32_t* size) {
    if (cells != nullptr) *cells = s.cells;
    if (size != nullptr) {
        size[0] = s.columns;
        size[1] = s.rows;
    }
    return 0;
}

LRESULT OnSetInfoTexts(Chart3DState& s, const char* text1, const char* text2) {
    if (text1 != nullptr) s.infoText1 = text1;
    if (text2 != nullptr) s.infoText2 = text2;
    return 0;
}

}  // namespace

Chart3DView& Chart3DSharedView() {
    return gView;
}

namespace {

LRESULT Dispatch(Chart3DState& s, UINT message, WPARAM wParam, LPARAM lParam) {
    int first = static_cast<int>(wParam);
    int second = static_cast<int>(lParam);

    LRESULT result = 0;
    if (OnChartSetting(s.hwnd, s.settings, kSettingMessages, message, wParam, lParam, result)) {
        return result;
    }
    switch (message) {
        case WM_PAINT: return OnPaint(s);
        case WM_ERASEBKGND: return 1;
        case WM_GETDLGCODE: return DLGC_WANTARROWS;
        case WM_KEYDOWN: return OnKeyDown(s, wParam);
        case WM_KEYUP: SetModifier(s, wParam, 0); return 0;
        case WM_SETFOCUS: return OnSetFocus(s);
        case WM_KILLFOCUS: return OnKillFocus(s);
        case WM_LBUTTONDOWN: return OnLButtonDown(s, lParam);
        case WM_MOUSEMOVE: return OnMouseMove(s, wParam, lParam);
        case WM_LBUTTONUP: return OnLButtonUp(s);
        case WM_CAPTURECHANGED: return OnCaptureChanged(s, reinterpret_cast<HWND>(lParam));
        case C3M_SETDATA:
            return OnSetData(s, reinterpret_cast<Chart3DCell*>(wParam),
                             reinterpret_cast<const int32_t*>(lParam));
        case C3M_SETZCAPTION: s.zCaption = TextParam(static_cast<LPARAM>(wParam)); return 0;
        case C3M_GETDATA:
            return OnGetData(s, reinterpret_cast<Chart3DCell**>(wParam),
                             reinterpret_cast<int32_t*>(lParam));
        case C3M_SELECTPOINT: return OnSelectPoint(s, second);
        case C3M_SETMARKERSIZE: s.markerSize = second; return 0;
        case C3M_SETBUFFERED: s.buffered = second != 0; return 0;
        case C3M_SETCOLORBANDS: s.colorBands = second != 0; return 0;
        case C3M_SETINFOTEXTS:
            return OnSetInfoTexts(s, TextParam(static_cast<LPARAM>(wParam)), TextParam(lParam));
        case C3M_SETINFOTEXT3:
            s.infoText3 = OrEmpty(TextParam(static_cast<LPARAM>(wParam)));
            return 0;
        case C3M_GETVALUE: return ValidCell(s, second) ? s.cells[second].value : 0;
        case kKeep1156: s.kept1156 = second; return 0;
        case kKeep1167: s.kept1167 = second; return 0;
        case kKeep1168: s.kept1168 = second; return 0;
        case kKeep1159: s.kept1159 = first; return 0;
        case kKeep1160: s.kept1160 = first; return 0;
        case kNothing1169: return 0;
        default: return DefWindowProcA(s.hwnd, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK Chart3DProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ControlWindowProc<Chart3DState>(window, message, wParam, lParam, Dispatch);
}
