#include "controls/scope_win.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include "controls/control_state_win.h"
#include "controls/scope.h"
#include "platform/win32_handles.h"

namespace {

constexpr std::size_t kLabelSize = 50;
constexpr int kMaxDecimals = 20;
constexpr int kMaxStep = 65536;

// An off-screen drawing surface of a fixed size.
struct ScopeLayer {
    UniqueGdi<HBITMAP> bitmap;  // declared before the DC, so the DC that holds it goes first
    UniqueMemoryDc dc;
    int width = 0;
    int height = 0;

    explicit operator bool() const { return static_cast<bool>(dc); }
    HDC get() const { return dc.get(); }
    void Reset() {
        dc.reset();
        bitmap.reset();
        width = height = 0;
    }
};

struct ScopeState {
    explicit ScopeState(HWND control) : window(control) {}

    HWND window;                       // the control
    int streaming = 1;                 // 1 strip-chart mode, 0 buffer-view mode
    const uint8_t* buffer = nullptr;   // buffer-view samples, the owner's
    int bufferLength = 0;              // buffer size in bytes
    uint8_t sampleWidth = 1;           // bytes per buffer sample: 1, 2 or 4
    int startOffset = 0;               // byte offset of the first plotted sample
    int step = 3;                      // pixels between successive points, at least 1
    int showGrid = 1;                  // dotted guide lines
    int hexLabels = 0;                 // x-axis labels in hexadecimal
    int decimals = 2;                  // digits after the point in the y-axis labels
    char xLabel[kLabelSize] = "";      // caption under the plot
    char yLabel[kLabelSize] = "";      // caption left of the plot, drawn vertically
    COLORREF bkColor = 0x000000;       // background
    COLORREF axisColor = 0xFFFF00;     // frame, guide dots and labels
    COLORREF traceColor = 0xFFFFFF;    // trace
    double current = 0.0;              // newest value drawn
    double previous = 0.0;             // value before it
    int halfStep = 1;                  // step / 2
    int stepAndHalf = 4;               // step + step / 2
    ScopeLayout layout{};              // client size and plot frame
    double yMin = -10.0, yMax = 10.0;  // value range shown
    double ySpan = 20.0;               // yMax - yMin
    double yScale = 0.0;               // pixels per unit: plotHeight / ySpan (0 for none)
    RECT clientRect{};                 // last client rectangle
    UniqueGdi<HPEN> tracePen{CreatePen(PS_SOLID, 1, traceColor)};  // solid, 1 pixel
    UniqueGdi<HBRUSH> bkBrush{CreateSolidBrush(bkColor)};          // solid bkColor
    ScopeLayer axesLayer;              // frame, guide dots and labels
    ScopeLayer traceLayer;             // the trace on bkColor, which counts as transparent
    ScopeRing history;                 // strip-chart values: capacity, writeIndex, wrapped
};

int Y(const ScopeState& s, double v) {
    return ScopeY(v, s.layout.plotBottom, s.yMin, s.yScale);
}

void Layout(ScopeState& s) {
    GetClientRect(s.window, &s.clientRect);
    s.layout = LayoutScope(s.clientRect.right, s.clientRect.bottom);
    s.yScale = ScopeYScale(s.layout.plotHeight, s.ySpan);
}

bool MakeLayer(ScopeLayer& layer, HWND window, int width, int height) {
    WindowDc screen(window);
    layer.Reset();
    layer.dc.reset(CreateCompatibleDC(screen.get()));
    layer.bitmap.reset(
        CreateCompatibleBitmap(screen.get(), std::max(width, 1), std::max(height, 1)));
    if (!layer.dc || !layer.bitmap) {
        layer.Reset();
        return false;
    }
    SelectObject(layer.dc.get(), layer.bitmap.get());
    layer.width = width;
    layer.height = height;
    return true;
}

void FillLayer(const ScopeState& s, const ScopeLayer& layer) {
    RECT all{0, 0, layer.width, layer.height};
    FillRect(layer.get(), &all, s.bkBrush.get());
}

// ---- the trace ----

// Scrolls the trace one step left and draws the segment from `previous` to `current` at the
// right edge. Only in strip-chart mode.
void StripStep(ScopeState& s) {
    if (!s.traceLayer || s.streaming == 0) return;
    HDC dc = s.traceLayer.get();
    const ScopeLayout& l = s.layout;
    BitBlt(dc, l.plotLeft, l.plotTop + 1, l.plotWidth, l.plotHeight, dc, l.plotLeft + s.step,
           l.plotTop + 1, SRCCOPY);
    RECT band{l.plotRight - s.step, l.plotTop, l.plotRight, l.plotBottom};
    FillRect(dc, &band, s.bkBrush.get());

    int x1 = l.plotRight - s.stepAndHalf, x2 = l.plotRight - s.halfStep;
    int y1 = Y(s, s.previous), y2 = Y(s, s.current);
    {
        SelectGuard pen(dc, s.tracePen.get());
        MoveToEx(dc, x1, y1, nullptr);
        LineTo(dc, x2, y2);
    }
    // The trace never shows outside the plot.
    if (y1 <= l.plotTop || y2 <= l.plotTop) {
        RECT above{x1, 0, x2 + 1, l.plotTop + 1};
        FillRect(dc, &above, s.bkBrush.get());
    }
    if (y1 >= l.plotBottom || y2 >= l.plotBottom) {
        RECT below{x1, l.plotBottom + 1, x2 + 1, l.clientHeight + 1};
        FillRect(dc, &below, s.bkBrush.get());
    }
    s.previous = s.current;
}

// Draws the kept values again, oldest first.
void ReplayHistory(ScopeState& s) {
    bool first = true;
    s.history.Replay([&s, &first](double v) {
        if (first) s.previous = v;
        first = false;
        s.current = v;
        StripStep(s);
    });
}

// Plots the owner's buffer across the plot. Only in buffer-view mode.
void PlotBuffer(ScopeState& s) {
    if (!s.traceLayer || s.streaming != 0) return;
    HDC dc = s.traceLayer.get();
    const ScopeLayout& l = s.layout;
    RECT plot{l.plotLeft, l.plotTop, l.plotRight + 1, l.plotBottom + 1};
    FillRect(dc, &plot, s.bkBrush.get());
    SavedDcState saved(dc);
    // Samples beyond the range would otherwise draw over the labels.
    IntersectClipRect(dc, plot.left, plot.top, plot.right, plot.bottom);
    SelectGuard pen(dc, s.tracePen.get());
    MoveToEx(dc, l.plotLeft, Y(s, s.previous), nullptr);
    uint32_t value = 0;
    int count = ScopePointCount(l.plotWidth, s.step);
    for (int i = 0; i <= count; ++i) {
        int64_t offset = static_cast<int64_t>(s.startOffset) + int64_t{i} * s.sampleWidth;
        // Another sample width leaves the value as it was.
        value = ReadScopeSample(s.buffer, s.bufferLength, offset, s.sampleWidth).value_or(value);
        LineTo(dc, l.plotLeft + i * s.step, Y(s, value));
    }
}

// Draws the whole trace afresh: the history in strip-chart mode, the buffer in buffer view.
void RenderTrace(ScopeState& s) {
    if (!s.traceLayer) return;
    FillLayer(s, s.traceLayer);
    if (s.streaming != 0) {
        ReplayHistory(s);
    } else {
        PlotBuffer(s);
    }
}

// ---- the axes ----

HFONT CreateLabelFont(int escapement) {
    return CreateFontA(14, 0, escapement, escapement, 300, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       VARIABLE_PITCH | FF_SWISS, "Arial");
}

void DrawLabel(HDC dc, UINT align, int x, int y, const char* text) {
    SetTextAlign(dc, align);
    TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
}

struct AxisLabels {
    UniqueGdi<HFONT> flat{CreateLabelFont(0)};
    UniqueGdi<HFONT> turned{CreateLabelFont(900)};
    char top[64];     // yMax
    char bottom[64];  // yMin
};

// The margin the label widths call for: six pixels a character, or more where the font is
// wider, so that no label (a minus sign first of all) is cut at the left edge.
int FitLeftMargin(const ScopeState& s, HDC dc, const AxisLabels& labels) {
    int margin = ScopeLeftMargin(s.decimals, s.yMin, s.yMax);
    SelectGuard font(dc, labels.flat.get());
    for (const char* text : {labels.top, labels.bottom}) {
        SIZE extent{};
        GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent);
        margin = std::max(margin, static_cast<int>(extent.cx) + 5);
    }
    return margin;
}

void DrawLabels(const ScopeState& s, HDC dc, const AxisLabels& labels) {
    const ScopeLayout& l = s.layout;
    SetTextColor(dc, s.axisColor);
    SetBkMode(dc, TRANSPARENT);
    SelectGuard font(dc, labels.flat.get());
    DrawLabel(dc, TA_RIGHT | TA_TOP, l.plotLeft - 4, l.plotTop, labels.top);
    DrawLabel(dc, TA_RIGHT | TA_BASELINE, l.plotLeft - 4, l.plotBottom, labels.bottom);
    char text[64];
    if (s.hexLabels != 0) {
        std::snprintf(text, sizeof text, "%X", static_cast<unsigned>(s.startOffset));
    } else {
        std::snprintf(text, sizeof text, "%i", s.startOffset);
    }
    DrawLabel(dc, TA_LEFT | TA_TOP, l.plotLeft, l.plotBottom + 4, text);
    long long end = static_cast<long long>(ScopePointCount(l.plotWidth, s.step)) + s.startOffset;
    std::snprintf(text, sizeof text, s.hexLabels != 0 ? "%llX" : "%lld", end);
    DrawLabel(dc, TA_RIGHT | TA_TOP, l.plotRight, l.plotBottom + 4, text);
    DrawLabel(dc, TA_CENTER | TA_TOP, (l.plotLeft + l.plotRight) / 2, l.plotBottom + 4, s.xLabel);
    SelectGuard turnedFont(dc, labels.turned.get());
    DrawLabel(dc, TA_CENTER | TA_BASELINE, (s.clientRect.left + l.plotLeft) / 2,
              (l.plotTop + l.plotBottom) / 2, s.yLabel);
}

void DrawFrame(const ScopeState& s, HDC dc) {
    const ScopeLayout& l = s.layout;
    UniqueGdi<HPEN> pen(CreatePen(PS_SOLID, 1, s.axisColor));
    SelectGuard selection(dc, pen.get());
    const POINT frame[] = {{l.plotLeft, l.plotTop},
                           {l.plotRight + 1, l.plotTop},
                           {l.plotRight + 1, l.plotBottom + 1},
                           {l.plotLeft, l.plotBottom + 1},
                           {l.plotLeft, l.plotTop}};
    Polyline(dc, frame, 5);
    if (s.showGrid == 0) return;
    int mid = (l.plotTop + l.plotBottom) / 2;
    for (int row : {mid, mid - l.plotHeight / 4, mid + l.plotHeight / 4}) {
        for (int x = l.plotLeft; x < l.plotRight; x += 4) SetPixel(dc, x, row, s.axisColor);
    }
}

// Draws the axes layer, fits the plot to the labels and the history to the plot, and draws
// the trace again to match.
void RedrawAxes(ScopeState& s) {
    ScopeLayout& l = s.layout;
    if (!s.axesLayer && !MakeLayer(s.axesLayer, s.window, l.clientWidth, l.clientHeight)) return;
    FillLayer(s, s.axesLayer);
    HDC dc = s.axesLayer.get();
    AxisLabels labels;
    std::snprintf(labels.top, sizeof labels.top, "%.*f", s.decimals, s.yMax);
    std::snprintf(labels.bottom, sizeof labels.bottom, "%.*f", s.decimals, s.yMin);
    l.plotLeft = s.clientRect.left + FitLeftMargin(s, dc, labels);
    l.plotWidth = l.plotRight - l.plotLeft;
    DrawFrame(s, dc);
    DrawLabels(s, dc, labels);
    if (!s.traceLayer) MakeLayer(s.traceLayer, s.window, l.clientWidth, l.clientHeight);
    // Without memory for a ring of the new size the old one stays: replayed values beyond the
    // plot scroll off its left edge.
    static_cast<void>(s.history.Resize(ScopePointCount(l.plotWidth, s.step)));
    RenderTrace(s);
    InvalidateRect(s.window, nullptr, TRUE);
}

// ---- messages ----

LRESULT OnCreate(ScopeState& s) {
    Layout(s);
    RedrawAxes(s);
    return 0;
}

// Layers of the old size would cut the picture, so a new size makes them again.
LRESULT OnSize(ScopeState& s) {
    RECT client;
    GetClientRect(s.window, &client);
    if (IsRectEmpty(&client)) return 0;  // minimised: keep the picture for later
    Layout(s);
    if (s.axesLayer.width != s.layout.clientWidth || s.axesLayer.height != s.layout.clientHeight) {
        s.axesLayer.Reset();
        s.traceLayer.Reset();
    }
    RedrawAxes(s);
    return 0;
}

LRESULT OnPaint(const ScopeState& s) {
    PaintScope paint(s.window);
    HDC target = paint.dc();
    if (!s.axesLayer || !s.traceLayer) {
        FillRect(target, &s.clientRect, s.bkBrush.get());
        return 0;
    }
    int width = s.axesLayer.width, height = s.axesLayer.height;
    UniqueMemoryDc dc(CreateCompatibleDC(target));
    UniqueGdi<HBITMAP> bitmap(CreateCompatibleBitmap(target, width, height));
    SelectGuard selection(dc.get(), bitmap.get());
    BitBlt(dc.get(), 0, 0, width, height, s.axesLayer.get(), 0, 0, SRCCOPY);
    // The trace's background lets the axes show through whatever its colour: combining the
    // layers by OR would only work on black.
    GdiTransparentBlt(dc.get(), 0, 0, width, height, s.traceLayer.get(), 0, 0, width, height,
                      s.bkColor);
    BitBlt(target, 0, 0, width, height, dc.get(), 0, 0, SRCCOPY);
    return 0;
}

LRESULT OnAddSample(ScopeState& s, const double* value) {
    if (value == nullptr) return 0;
    s.history.Add(*value);
    s.current = *value;
    StripStep(s);
    InvalidateRect(s.window, nullptr, TRUE);
    return 0;
}

LRESULT OnSetRange(ScopeState& s, const double* yMax, const double* yMin) {
    if (yMax != nullptr) s.yMax = *yMax;
    if (yMin != nullptr) s.yMin = *yMin;
    s.ySpan = s.yMax - s.yMin;
    s.yScale = ScopeYScale(s.layout.plotHeight, s.ySpan);
    RenderTrace(s);
    InvalidateRect(s.window, nullptr, TRUE);
    return 0;
}

LRESULT OnSetLabel(ScopeState& s, char (&field)[kLabelSize], const char* text) {
    std::snprintf(field, kLabelSize, "%s", text != nullptr ? text : "");
    RedrawAxes(s);
    return 0;
}

LRESULT OnSetTraceColor(ScopeState& s, COLORREF color) {
    s.traceColor = color;
    s.tracePen.reset(CreatePen(PS_SOLID, 1, color));
    RedrawAxes(s);
    return 0;
}

LRESULT OnSetBkColor(ScopeState& s, COLORREF color) {
    s.bkColor = color;
    s.bkBrush.reset(CreateSolidBrush(color));
    RedrawAxes(s);
    return 0;
}

LRESULT OnSetStep(ScopeState& s, int pixels) {
    // A step below one pixel would hold no points and divide by zero; one far beyond any
    // screen would overflow the step-and-a-half.
    s.step = std::clamp(pixels, 1, kMaxStep);
    s.halfStep = s.step / 2;
    s.stepAndHalf = s.step + s.step / 2;
    return 0;
}

LRESULT SetFlag(ScopeState& s, int& field, WPARAM flag, LPARAM redraw) {
    field = static_cast<int>(flag);
    if (redraw != 0) RedrawAxes(s);
    return 0;
}

LRESULT Dispatch(ScopeState& s, UINT message, WPARAM wParam, LPARAM lParam) {
    int second = static_cast<int>(lParam);

    switch (message) {
        case WM_CREATE: return OnCreate(s);
        case WM_SIZE: return OnSize(s);
        case WM_PAINT: return OnPaint(s);
        case WM_ERASEBKGND: return 1;
        case SCM_ADDSAMPLE: return OnAddSample(s, reinterpret_cast<const double*>(lParam));
        case SCM_SETRANGE:
            return OnSetRange(s, reinterpret_cast<const double*>(wParam),
                              reinterpret_cast<const double*>(lParam));
        case SCM_SETXLABEL: return OnSetLabel(s, s.xLabel, reinterpret_cast<const char*>(lParam));
        case SCM_SETYLABEL: return OnSetLabel(s, s.yLabel, reinterpret_cast<const char*>(lParam));
        case SCM_SETAXISCOLOR:
            s.axisColor = static_cast<COLORREF>(lParam);
            RedrawAxes(s);
            return 0;
        case SCM_SETTRACECOLOR: return OnSetTraceColor(s, static_cast<COLORREF>(lParam));
        case SCM_SETBKCOLOR: return OnSetBkColor(s, static_cast<COLORREF>(lParam));
        case SCM_SETDECIMALS: s.decimals = std::clamp(second, 0, kMaxDecimals); return 0;
        case SCM_SETSTEP: return OnSetStep(s, second);
        case SCM_GETSTEP: return s.step;
        case SCM_REFRESH: RedrawAxes(s); return 0;
        case SCM_GETPOINTCOUNT: return ScopePointCount(s.layout.plotWidth, s.step);
        case SCM_SETBUFFER:
            s.buffer = reinterpret_cast<const uint8_t*>(wParam);
            s.bufferLength = second;
            return 0;
        case SCM_GETBUFFER: return reinterpret_cast<LRESULT>(s.buffer);
        case SCM_SETSTARTOFFSET: s.startOffset = second; return 0;
        case SCM_SETSAMPLEWIDTH: s.sampleWidth = static_cast<uint8_t>(lParam); return 0;
        case SCM_SHOWGRID: return SetFlag(s, s.showGrid, wParam, lParam);
        case SCM_SETHEXLABELS: return SetFlag(s, s.hexLabels, wParam, lParam);
        case SCM_SETMODE: s.streaming = second; return 0;
        default: return DefWindowProcA(s.window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK ScopeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ControlWindowProc<ScopeState>(window, message, wParam, lParam, Dispatch);
}
