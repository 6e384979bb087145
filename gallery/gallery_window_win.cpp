#include "gallery/gallery_window_win.h"

#include <commctrl.h>

#include <cmath>
#include <cstdio>
#include <new>

#include "controls/chart2d_win.h"
#include "controls/chart3d_win.h"
#include "controls/gauge_win.h"
#include "controls/scope_win.h"
#include "controls/text_progress_win.h"
#include "resources/resource.h"

namespace {

enum ControlId {
    kIdStatus = 100,
    kIdProgress,
    kIdTwoTone,
    kIdFlash,
    kIdGrid,
    kIdChart2D,
    kIdScope,
    kIdGauge,
    kIdChart3D,
    kIdResetView,
};

constexpr UINT_PTR kSampleTimer = 1;
constexpr UINT kSamplePeriod = 50;  // milliseconds: twenty scope values a second
constexpr int kPoints = 8;
constexpr int kColumns = 8, kRows = 6;
constexpr int kPeakCell = kColumns * 2 + 3;  // selected at the start, to show its values
constexpr int kCaptionHeight = 22;
constexpr int kGap = 8;

// Pane order: top row left to right, then the bottom row.
enum Pane { kPaneChart2D, kPaneChart3D, kPaneProgress, kPaneGauge, kPaneScope, kPaneGrid, kPanes };

const char* const kCaptions[kPanes] = {
    "2DCHART: drag a point up or down",
    "3DCHART: click a point; Ctrl+drag turns, Shift+drag pans, Ctrl+Shift+drag zooms",
    "KVTEXTPROGRESS: progress with a line of text",
    "KVDIGITALGAUGEREADOUT: its initial texts",
    "KVSCOPE: a noisy sine, twenty values a second",
    "KVGRIDCONTROL",
};

// The gallery shows the table from a little to the side and above; "Reset view" returns here.
Chart3DView StartView() {
    Chart3DView view;
    view.rotY = -0.45f;
    view.rotX = 0.3f;
    return view;
}

// The charts keep pointers into these, so they live as long as the window.
struct GalleryState {
    HWND hwnd = nullptr;
    HWND status = nullptr;
    HWND captions[kPanes] = {};
    HWND progress = nullptr, twoTone = nullptr, flash = nullptr;
    HWND grid = nullptr;  // a note in its place while the grid class is not registered
    HWND chart2d = nullptr, scope = nullptr, gauge = nullptr, chart3d = nullptr;
    HWND resetView = nullptr;
    ChartPoint points[kPoints] = {};
    Chart3DCell cells[kColumns * kRows] = {};
    int32_t tableSize[2] = {kColumns, kRows};
    ChartLabelScale volts{0.0, 0.02, 0};  // the 2-D chart labels 0..255 as 0..5.1 volts
    char pickedColumn[16] = "";           // the 3-D chart's information box shows these
    char pickedRow[16] = "";
    unsigned tick = 0;
    unsigned noise = 12345;  // a fixed seed keeps screenshots alike
};

const char kMonths[] = "Jan\0Feb\0Mar\0Apr\0May\0Jun\0Jul\0Aug\0";

GalleryState* GetState(HWND window) {
    return reinterpret_cast<GalleryState*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

HWND Child(GalleryState& g, const char* cls, const char* text, DWORD style, int id,
           DWORD exStyle = 0) {
    HWND child = CreateWindowExA(
        exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 10, 10, g.hwnd,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(g.hwnd, GWLP_HINSTANCE)), nullptr);
    if (child != nullptr) {
        auto font = reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT));
        SendMessageA(child, WM_SETFONT, font, 0);
    }
    return child;
}

void SetStatus(const GalleryState& g, const char* text) {
    SendMessageA(g.status, SB_SETTEXTA, 0, reinterpret_cast<LPARAM>(text));
}

void FillSampleData(GalleryState& g) {
    for (int i = 0; i < kPoints; ++i) {
        g.points[i] = {i, static_cast<int32_t>(128 + 90 * std::sin(i * 0.8))};
    }
    // A hill, row-major, the first stored row being the last row number.
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kColumns; ++c) {
            double dc = c - 3.5, dr = r - 2.5;
            double height = 20 + 220 * std::exp(-(dc * dc + dr * dr) / 6);
            g.cells[kColumns * r + c] = {c + 1, kRows - r, static_cast<int32_t>(height)};
        }
    }
}

void SetUpProgress(GalleryState& g) {
    g.progress = Child(g, kTextProgressClass, "", 0, kIdProgress, WS_EX_CLIENTEDGE);
    g.twoTone = Child(g, kTextProgressClass, "", 0, kIdTwoTone, WS_EX_CLIENTEDGE);
    g.flash = Child(g, "BUTTON", "Flash", BS_PUSHBUTTON | WS_TABSTOP, kIdFlash);
    SendMessageA(g.twoTone, TPM_SETTEXTCOLOR, 0, static_cast<LPARAM>(kTextProgressDefault));
    SendMessageA(g.twoTone, PBM_SETBKCOLOR, 0, RGB(255, 255, 255));
    SendMessageA(g.twoTone, PBM_SETBARCOLOR, 0, RGB(0, 140, 70));
}

void SetUpChart2D(GalleryState& g) {
    g.chart2d = Child(g, kChart2DClass, "", 0, kIdChart2D, WS_EX_CLIENTEDGE);
    SendMessageA(g.chart2d, C2M_SETTITLE, 0, reinterpret_cast<LPARAM>("Monthly supply voltage"));
    SendMessageA(g.chart2d, C2M_SETSUBTITLE, 0, reinterpret_cast<LPARAM>("labels scaled by 0.02"));
    SendMessageA(g.chart2d, C2M_SETAXISCAPTIONS, reinterpret_cast<WPARAM>("Month"),
                 reinterpret_cast<LPARAM>("Volts"));
    SendMessageA(g.chart2d, C2M_SETCOLUMNLABELS, reinterpret_cast<WPARAM>(kMonths), 0);
    SendMessageA(g.chart2d, C2M_SETLABELFORMAT, 1, reinterpret_cast<LPARAM>(&g.volts));
    SendMessageA(g.chart2d, C2M_SETPOINTS, reinterpret_cast<WPARAM>(g.points), kPoints);
}

void SetUpChart3D(GalleryState& g) {
    Chart3DSharedView() = StartView();
    g.chart3d = Child(g, kChart3DClass, "", 0, kIdChart3D, WS_EX_CLIENTEDGE);
    g.resetView = Child(g, "BUTTON", "Reset view", BS_PUSHBUTTON | WS_TABSTOP, kIdResetView);
    SendMessageA(g.chart3d, C3M_SETTITLE, 0, reinterpret_cast<LPARAM>("Surface"));
    SendMessageA(g.chart3d, C3M_SETSUBTITLE, 0,
                 reinterpret_cast<LPARAM>("click a point for its values"));
    SendMessageA(g.chart3d, C3M_SETAXISCAPTIONS, reinterpret_cast<WPARAM>("Column"),
                 reinterpret_cast<LPARAM>("Value"));
    SendMessageA(g.chart3d, C3M_SETZCAPTION, reinterpret_cast<WPARAM>("Row"), 0);
    SendMessageA(g.chart3d, C3M_SETINFOTEXTS, reinterpret_cast<WPARAM>(g.pickedColumn), 0);
    SendMessageA(g.chart3d, C3M_SETINFOTEXT3, reinterpret_cast<WPARAM>(g.pickedRow), 0);
    SendMessageA(g.chart3d, C3M_SETDATA, reinterpret_cast<WPARAM>(g.cells),
                 reinterpret_cast<LPARAM>(g.tableSize));
}

void SetUpScope(GalleryState& g) {
    g.scope = Child(g, kScopeClass, "", 0, kIdScope, WS_EX_CLIENTEDGE);
    SendMessageA(g.scope, SCM_SETXLABEL, 0, reinterpret_cast<LPARAM>("Samples"));
    SendMessageA(g.scope, SCM_SETYLABEL, 0, reinterpret_cast<LPARAM>("Volts"));
}

// The grid control is created by its class name alone; while the class is not registered the
// pane says so instead.
void SetUpGrid(GalleryState& g) {
    g.grid = Child(g, "KVGRIDCONTROL", "", 0, kIdGrid, WS_EX_CLIENTEDGE);
    if (g.grid == nullptr) {
        g.grid = Child(g, "STATIC", "KVGRIDCONTROL is not registered in this build.",
                       SS_CENTER | SS_CENTERIMAGE, kIdGrid, WS_EX_CLIENTEDGE);
    }
}

LRESULT OnCreate(GalleryState& g) {
    FillSampleData(g);
    g.status = CreateStatusWindowA(WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP,
                                   "Press, drag and turn the charts; what they notify shows here.",
                                   g.hwnd, kIdStatus);
    for (int pane = 0; pane < kPanes; ++pane) {
        g.captions[pane] = Child(g, "STATIC", kCaptions[pane], SS_LEFT | SS_CENTERIMAGE, -1);
    }
    SetUpProgress(g);
    SetUpChart2D(g);
    SetUpChart3D(g);
    SetUpGrid(g);
    SetUpScope(g);
    g.gauge = Child(g, kGaugeClass, "", 0, kIdGauge);
    SendMessageA(g.chart3d, C3M_SELECTPOINT, 0, kPeakCell);
    SetTimer(g.hwnd, kSampleTimer, kSamplePeriod, nullptr);
    return 0;
}

void Place(HWND window, const RECT& r) {
    if (window != nullptr)
        MoveWindow(window, r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
}

// Panes: the two charts side by side on top; below them a narrow column with the progress
// bars over the gauge, then the scope and the grid.
void LayOutPanes(int width, int height, RECT (&panes)[kPanes]) {
    int topHeight = (height - 3 * kGap) * 45 / 100;
    int half = (width - 3 * kGap) / 2;
    panes[kPaneChart2D] = {kGap, kGap, kGap + half, kGap + topHeight};
    panes[kPaneChart3D] = {2 * kGap + half, kGap, width - kGap, kGap + topHeight};
    int top = 2 * kGap + topHeight, bottom = height - kGap;
    constexpr int kNarrow = 300, kProgressHeight = 150;
    int wide = (width - kNarrow - 4 * kGap) / 2;
    panes[kPaneProgress] = {kGap, top, kGap + kNarrow, top + kProgressHeight};
    panes[kPaneGauge] = {kGap, top + kProgressHeight + kGap, kGap + kNarrow, bottom};
    panes[kPaneScope] = {2 * kGap + kNarrow, top, 2 * kGap + kNarrow + wide, bottom};
    panes[kPaneGrid] = {3 * kGap + kNarrow + wide, top, width - kGap, bottom};
}

LRESULT OnSize(GalleryState& g, int width, int height) {
    SendMessageA(g.status, WM_SIZE, 0, 0);
    RECT bar{};
    GetWindowRect(g.status, &bar);
    RECT panes[kPanes];
    LayOutPanes(width, height - (bar.bottom - bar.top), panes);
    for (int pane = 0; pane < kPanes; ++pane) {
        RECT r = panes[pane];
        Place(g.captions[pane], {r.left, r.top, r.right, r.top + kCaptionHeight});
        r.top += kCaptionHeight;
        switch (pane) {
            case kPaneProgress:
                Place(g.progress, {r.left, r.top + 6, r.right, r.top + 34});
                Place(g.twoTone, {r.left, r.top + 44, r.right, r.top + 72});
                Place(g.flash, {r.left, r.top + 84, r.left + 90, r.top + 110});
                break;
            case kPaneChart2D: Place(g.chart2d, r); break;
            case kPaneChart3D:
                Place(g.chart3d, {r.left, r.top, r.right, r.bottom - 32});
                Place(g.resetView, {r.left, r.bottom - 27, r.left + 90, r.bottom});
                break;
            case kPaneGrid: Place(g.grid, r); break;
            case kPaneScope: Place(g.scope, r); break;
            case kPaneGauge: Place(g.gauge, r); break;
        }
    }
    return 0;
}

double NextNoise(GalleryState& g) {
    g.noise = g.noise * 1103515245u + 12345u;
    return static_cast<double>((g.noise >> 16) & 0x7FFF) / 0x7FFF - 0.5;
}

LRESULT OnTimer(GalleryState& g) {
    ++g.tick;
    double value = 8 * std::sin(g.tick * 0.12) + 1.5 * NextNoise(g);
    SendMessageA(g.scope, SCM_ADDSAMPLE, 0, reinterpret_cast<LPARAM>(&value));

    char text[64];
    int position = static_cast<int>(SendMessageA(g.progress, PBM_STEPIT, 0, 0)) + 1;
    std::snprintf(text, sizeof text, "Writing Address %.6X", position * 256);
    SendMessageA(g.progress, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    int reading = static_cast<int>(g.tick / 2 % 256);
    SendMessageA(g.twoTone, PBM_SETPOS, reading, 0);
    std::snprintf(text, sizeof text, "Reading Address %.6X", reading * 256);
    SendMessageA(g.twoTone, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    return 0;
}

void OnChart2DNotify(GalleryState& g, int code, int index) {
    char text[128];
    int value = static_cast<int>(SendMessageA(g.chart2d, C2M_GETPOINTVALUE, 0, index));
    const char* what = code == C2N_POINTHIT ? "hit" : code == C2N_POINTMOVED ? "moved" : "dropped";
    std::snprintf(text, sizeof text, "2DCHART: point %d %s at %d (%.2f V)", index, what, value,
                  value * g.volts.scale);
    SetStatus(g, text);
}

void OnChart3DNotify(GalleryState& g, int code, LPARAM detail) {
    char text[128];
    if (code == C3N_POINTHIT) {
        // The information box shows the texts the chart points to: fill them in.
        const auto* place = reinterpret_cast<const int32_t*>(detail);
        std::snprintf(g.pickedColumn, sizeof g.pickedColumn, "%d", place[0]);
        std::snprintf(g.pickedRow, sizeof g.pickedRow, "%d", place[1]);
        std::snprintf(text, sizeof text, "3DCHART: point at column %d, row %d hit", place[0],
                      place[1]);
    } else {
        int index = static_cast<int>(detail);
        int value = static_cast<int>(SendMessageA(g.chart3d, C3M_GETVALUE, 0, index));
        std::snprintf(text, sizeof text, "3DCHART: cell %d %s at %d", index,
                      code == C3N_POINTMOVED ? "moved" : "dropped", value);
    }
    SetStatus(g, text);
}

LRESULT OnCommand(GalleryState& g, int id, int code, LPARAM detail) {
    switch (id) {
        case kIdFlash: SendMessageA(g.progress, TPM_FLASH, 500, RGB(220, 40, 40)); break;
        case kIdResetView:
            Chart3DSharedView() = StartView();
            InvalidateRect(g.chart3d, nullptr, TRUE);
            break;
        case kIdChart2D: OnChart2DNotify(g, code, static_cast<int>(detail)); break;
        case kIdChart3D: OnChart3DNotify(g, code, detail); break;
    }
    return 0;
}

LRESULT CALLBACK GalleryProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* state = new (std::nothrow) GalleryState;
        if (state == nullptr) return FALSE;
        state->hwnd = window;
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(state));
        return DefWindowProcA(window, message, wParam, lParam);
    }
    GalleryState* g = GetState(window);
    if (g == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
        case WM_CREATE: return OnCreate(*g);
        case WM_SIZE: return OnSize(*g, LOWORD(lParam), HIWORD(lParam));
        case WM_TIMER: return wParam == kSampleTimer ? OnTimer(*g) : 0;
        case WM_COMMAND: return OnCommand(*g, LOWORD(wParam), HIWORD(wParam), lParam);
        case WM_GETMINMAXINFO: {
            auto* limits = reinterpret_cast<MINMAXINFO*>(lParam);
            limits->ptMinTrackSize = {640, 480};
            return 0;
        }
        case WM_DESTROY:
            KillTimer(window, kSampleTimer);
            PostQuitMessage(0);
            return 0;
        case WM_NCDESTROY:
            SetWindowLongPtrA(window, GWLP_USERDATA, 0);
            delete g;  // the children, which point into it, are gone by now
            return 0;
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

bool RegisterGalleryWindow(HINSTANCE instance) {
    WNDCLASSEXA cls{};
    cls.cbSize = sizeof cls;
    cls.style = CS_HREDRAW | CS_VREDRAW;
    cls.lpfnWndProc = GalleryProc;
    cls.hInstance = instance;
    cls.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_VORLAND));
    cls.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = kGalleryClass;
    return RegisterClassExA(&cls) != 0;
}

HWND CreateGalleryWindow(HINSTANCE instance, int show) {
    HWND window = CreateWindowExA(0, kGalleryClass, kGalleryCaption,
                                  WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT,
                                  CW_USEDEFAULT, 1200, 860, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) return nullptr;
    ShowWindow(window, show);
    UpdateWindow(window);
    return window;
}
