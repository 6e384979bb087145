// 3DCHART: a table of integer values (columns x rows) drawn as a wire mesh seen from an
// adjustable angle, each point a marker coloured by its value. Ctrl with the mouse or the
// arrow keys turns the view, Shift pans it, both zoom; without a modifier the user picks a
// point and drags its value. The control keeps pointers to the caller's cell array and
// texts (they must outlive it or be replaced) and a drag writes into the array.
#pragma once

#include <windows.h>

#include "controls/chart3d.h"
#include "controls/chart_labels.h"

constexpr char kChart3DClass[] = "3DCHART";

// Messages; results are 0 unless stated.
constexpr UINT C3M_SETDATA = 1154;          // wParam Chart3DCell*, lParam int32_t[2] {cols, rows}
constexpr UINT C3M_REDRAW = 1155;           // invalidates the whole chart
constexpr UINT C3M_SETAXISCAPTIONS = 1157;  // wParam x caption, lParam y caption
constexpr UINT C3M_SETZCAPTION = 1158;      // wParam z caption
constexpr UINT C3M_SETEXTENTS = 1161;       // wParam extentX, lParam extentY
constexpr UINT C3M_ENABLEEDIT = 1170;       // lParam 0 or non-zero
constexpr UINT C3M_SETBKCOLOR = 1171;       // lParam colour
constexpr UINT C3M_SETTITLE = 1174;         // lParam text
constexpr UINT C3M_SETLABELFORMAT = 1175;   // wParam formatLabels, lParam ChartLabelScale*
constexpr UINT C3M_SETLABELSCALE = 1176;    // lParam ChartLabelScale*
constexpr UINT C3M_SETSUBTITLE = 1177;      // lParam text
constexpr UINT C3M_GETDATA = 1178;          // wParam Chart3DCell** or null, lParam int32_t[2]
constexpr UINT C3M_SELECTPOINT = 1179;      // lParam cell index; -1 (or none valid) clears
constexpr UINT C3M_SETUSERDATA1 = 1180;     // lParam value
constexpr UINT C3M_GETUSERDATA1 = 1181;     // returns it
constexpr UINT C3M_SETUSERDATA2 = 1182;
constexpr UINT C3M_GETUSERDATA2 = 1183;
constexpr UINT C3M_SETMARKERSIZE = 1184;  // lParam diameter in logical units
constexpr UINT C3M_SETBUFFERED = 1185;    // lParam 0 or non-zero: paint off-screen first
constexpr UINT C3M_SETCOLORBANDS = 1186;  // lParam 0 or non-zero: fill markers by value band
constexpr UINT C3M_SETINFOTEXTS = 1187;   // wParam text 1, lParam text 2; null keeps one
constexpr UINT C3M_SETINFOTEXT3 = 1188;   // wParam text 3
constexpr UINT C3M_GETVALUE = 1189;       // lParam cell index; returns its value (0 outside)

// Notification codes (high word of WM_COMMAND's wParam).
constexpr int C3N_POINTHIT = 1124;    // lParam int32_t[2] {column, row}, valid during the call
constexpr int C3N_POINTMOVED = 1125;  // lParam the cell index
constexpr int C3N_DRAGEND = 1126;     // lParam the selected index, -1 sent as 0

// The view every 3DCHART of the process shares; a change shows at each chart's next paint.
[[nodiscard]] Chart3DView& Chart3DSharedView();

LRESULT CALLBACK Chart3DProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
