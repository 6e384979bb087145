#include "controls/chart_gdi_win.h"

#include <cstring>
#include <utility>

ChartMargins ChartMarginsFor(const RECT& client) {
    return {(client.right - client.left) / 11, (client.bottom - client.top) / 8};
}

ChartMargins ApplyChartMapping(HDC dc, const RECT& client, int extentX, int extentY) {
    ChartMargins margins = ChartMarginsFor(client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowExtEx(dc, extentX, extentY, nullptr);
    SetViewportExtEx(dc, width - margins.left, margins.bottom - height, nullptr);
    SetViewportOrgEx(dc, margins.left, height - margins.bottom, nullptr);
    return margins;
}

POINT ChartDeviceToLogical(HWND window, int extentX, int extentY, POINT device) {
    RECT client;
    GetClientRect(window, &client);
    WindowDc dc(window);
    SavedDcState saved(dc.get());
    ApplyChartMapping(dc.get(), client, extentX, extentY);
    DPtoLP(dc.get(), &device, 1);
    return device;
}

RECT ChartLogicalToDevice(HWND window, int extentX, int extentY, const RECT& logical) {
    RECT client;
    GetClientRect(window, &client);
    POINT corners[2] = {{logical.left, logical.top}, {logical.right, logical.bottom}};
    {
        WindowDc dc(window);
        SavedDcState saved(dc.get());
        ApplyChartMapping(dc.get(), client, extentX, extentY);
        LPtoDP(dc.get(), corners, 2);
    }
    RECT device{corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    if (device.left > device.right) std::swap(device.left, device.right);
    if (device.top > device.bottom) std::swap(device.top, device.bottom);
    return device;
}

namespace {

HFONT CreateChartFont(int height, int weight, int escapement) {
    return CreateFontA(height, 0, escapement, escapement, weight, FALSE, FALSE, FALSE, ANSI_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                       VARIABLE_PITCH | FF_MODERN, "Arial");
}

}  // namespace

ChartFonts::ChartFonts() {
    fonts_[kColumnLabel].reset(CreateChartFont(10, 400, 900));
    fonts_[kYCaption].reset(CreateChartFont(10, 600, -900));
    fonts_[kXCaption].reset(CreateChartFont(10, 600, 0));
    fonts_[kValueLabel].reset(CreateChartFont(8, 600, 0));
    fonts_[kTickLabel].reset(CreateChartFont(10, 400, 0));
    fonts_[kTitle].reset(CreateChartFont(14, 700, 0));
    fonts_[kSubtitle].reset(CreateChartFont(8, 100, 0));
}

namespace {

// The label-format record a parent passes by address; a null one changes nothing.
void ApplyLabelScale(ChartLabelFormat& format, LPARAM address) {
    const auto* record = reinterpret_cast<const ChartLabelScale*>(address);
    if (record == nullptr) return;
    format.labelOffset = record->offset;
    format.labelScale = record->scale;
    format.labelMode = record->mode;
}

}  // namespace

bool OnChartSetting(HWND window, ChartSettings& settings, const ChartSettingMessages& ids,
                    UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    int first = static_cast<int>(wParam);
    int second = static_cast<int>(lParam);
    result = 0;
    if (message == ids.redraw) {
        InvalidateRect(window, nullptr, TRUE);
    } else if (message == ids.axisCaptions) {
        settings.xCaption = TextParam(static_cast<LPARAM>(wParam));
        settings.yCaption = TextParam(lParam);
    } else if (message == ids.extents) {
        settings.extentX = first;
        settings.extentY = second;
    } else if (message == ids.enableEdit) {
        settings.editable = second != 0;
    } else if (message == ids.bkColor) {
        settings.backColor = static_cast<COLORREF>(lParam);
    } else if (message == ids.title) {
        settings.title = TextParam(lParam);
    } else if (message == ids.labelFormat) {
        settings.labels.formatLabels = first;
        ApplyLabelScale(settings.labels, lParam);
    } else if (message == ids.labelScale) {
        ApplyLabelScale(settings.labels, lParam);
    } else if (message == ids.subtitle) {
        settings.subtitle = TextParam(lParam);
    } else if (message == ids.setUserData1) {
        settings.userData1 = second;
    } else if (message == ids.getUserData1) {
        result = settings.userData1;
    } else if (message == ids.setUserData2) {
        settings.userData2 = second;
    } else if (message == ids.getUserData2) {
        result = settings.userData2;
    } else {
        return false;
    }
    return true;
}

void NotifyChartParent(HWND control, int code, LPARAM value) {
    HWND parent = GetParent(control);
    if (parent == nullptr) return;
    WPARAM wParam = MAKEWPARAM(GetDlgCtrlID(control), code);
    SendMessageA(parent, WM_COMMAND, wParam, value);
}

void DrawChartHeadings(HDC dc, const ChartFonts& fonts, int centreX, int extentY, const char* title,
                       const char* subtitle, COLORREF subtitleColor) {
    if (title != nullptr) {
        SelectGuard font(dc, fonts.get(ChartFonts::kTitle));
        DrawChartText(dc, centreX, extentY - 12, title);
    }
    if (subtitle != nullptr) {
        SelectGuard font(dc, fonts.get(ChartFonts::kSubtitle));
        COLORREF old = SetTextColor(dc, subtitleColor);
        DrawChartText(dc, centreX, extentY - 2, subtitle);
        SetTextColor(dc, old);
    }
}

void DrawChartText(HDC dc, int x, int y, const char* text) {
    TextOutA(dc, x, y, text, static_cast<int>(std::strlen(text)));
}
