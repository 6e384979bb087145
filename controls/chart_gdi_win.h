// What the 2-D and 3-D charts share on the Win32 side: their coordinate system, their seven
// fonts, the label-format messages and the command notifications to the parent.
#pragma once

#include <windows.h>

#include "controls/chart_labels.h"
#include "platform/win32_handles.h"

// Pixels left of and below the plot area for a client area of this size.
struct ChartMargins {
    int left;    // client width / 11
    int bottom;  // client height / 8
};
[[nodiscard]] ChartMargins ChartMarginsFor(const RECT& client);

// Sets up a chart's coordinate system on `dc`: anisotropic, (extentX, extentY) logical units
// from the plot origin at the margins to the top right corner of the client area, y upwards.
ChartMargins ApplyChartMapping(HDC dc, const RECT& client, int extentX, int extentY);

// Converts between device pixels of `window` and the chart's logical units, with the mapping
// set up the same way as for painting.
[[nodiscard]] POINT ChartDeviceToLogical(HWND window, int extentX, int extentY, POINT device);
// A logical rectangle (any corner order) as a normalised device rectangle.
[[nodiscard]] RECT ChartLogicalToDevice(HWND window, int extentX, int extentY, const RECT& logical);

// The seven "Arial" fonts of a chart, heights and weights in logical units.
class ChartFonts {
  public:
    enum Role {
        kColumnLabel,  // 10 / 400, turned 90 degrees
        kYCaption,     // 10 / 600, turned -90 degrees
        kXCaption,     // 10 / 600
        kValueLabel,   // 8 / 600: point labels, marker captions, information box
        kTickLabel,    // 10 / 400
        kTitle,        // 14 / 700
        kSubtitle,     // 8 / 100
        kCount
    };
    ChartFonts();
    HFONT get(Role role) const { return fonts_[role].get(); }

  private:
    UniqueGdi<HFONT> fonts_[kCount];
};

// A text a message carries by address.
inline const char* TextParam(LPARAM value) {
    return reinterpret_cast<const char*>(value);
}

// What both charts keep from their parent's messages.
struct ChartSettings {
    int extentX = 300, extentY = 300;         // logical size of the plot area
    ChartLabelFormat labels;                  // how value labels print
    int editable = 1;                         // non-zero: a hit point can be selected and dragged
    COLORREF backColor = RGB(255, 255, 255);  // background
    const char* xCaption = nullptr;           // the caller's texts, null when not set
    const char* yCaption = nullptr;
    const char* title = nullptr;
    const char* subtitle = nullptr;
    int userData1 = 0, userData2 = 0;  // kept for the parent
};

// The numbers of the messages that set them, which differ between the charts.
struct ChartSettingMessages {
    UINT redraw;        // invalidates the whole chart
    UINT axisCaptions;  // wParam x caption, lParam y caption
    UINT extents;       // wParam extentX, lParam extentY
    UINT enableEdit;    // lParam 0 or non-zero
    UINT bkColor;       // lParam colour
    UINT title;         // lParam text
    UINT labelFormat;   // wParam formatLabels, lParam ChartLabelScale* or null
    UINT labelScale;    // lParam ChartLabelScale* or null
    UINT subtitle;      // lParam text
    UINT setUserData1, getUserData1, setUserData2, getUserData2;
};

// Answers one of the messages `ids` names, leaving its result in `result`; false for any
// other message.
bool OnChartSetting(HWND window, ChartSettings& settings, const ChartSettingMessages& ids,
                    UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

// Sends the parent WM_COMMAND with the control's identifier and `code` in wParam.
void NotifyChartParent(HWND control, int code, LPARAM value);

// The title at (centreX, extentY - 12) and, when not null, the subtitle above it at
// (centreX, extentY - 2) in its colour; either may be null.
void DrawChartHeadings(HDC dc, const ChartFonts& fonts, int centreX, int extentY, const char* title,
                       const char* subtitle, COLORREF subtitleColor);

// Draws `text` with the DC's current font, colour and alignment at a logical point.
void DrawChartText(HDC dc, int x, int y, const char* text);
