// 2DCHART: a line chart of the caller's points over equally spaced columns, with axes, grid,
// captions, column and value labels; the user drags a point up and down with the mouse. The
// control keeps pointers to the caller's array and texts (they must outlive it or be
// replaced) and a drag writes into the array.
#pragma once

#include <windows.h>

#include "controls/chart2d.h"
#include "controls/chart_labels.h"

constexpr char kChart2DClass[] = "2DCHART";

// Messages; results are 0 unless stated.
constexpr UINT C2M_SETPOINTS = 1074;        // wParam ChartPoint*, lParam count
constexpr UINT C2M_REDRAW = 1075;           // invalidates the whole chart
constexpr UINT C2M_SETAXISCAPTIONS = 1077;  // wParam x caption, lParam y caption
constexpr UINT C2M_SETCOLUMNLABELS = 1078;  // wParam packed list "A\0B\0...\0"
constexpr UINT C2M_SETEXTENTS = 1080;       // wParam extentX, lParam extentY
constexpr UINT C2M_ENABLEEDIT = 1089;       // lParam 0 or non-zero
constexpr UINT C2M_SETBKCOLOR = 1090;       // lParam colour
constexpr UINT C2M_SETTITLE = 1093;         // lParam text
constexpr UINT C2M_SETLABELFORMAT = 1094;   // wParam formatLabels, lParam ChartLabelScale*
constexpr UINT C2M_SETLABELSCALE = 1095;    // lParam ChartLabelScale*
constexpr UINT C2M_SETSUBTITLE = 1096;      // lParam text
constexpr UINT C2M_GETPOINTS = 1097;        // wParam ChartPoint** or null, lParam int* or null
constexpr UINT C2M_SELECTPOINT = 1098;      // lParam index, -1 for none
constexpr UINT C2M_SETUSERDATA1 = 1099;     // lParam value
constexpr UINT C2M_GETUSERDATA1 = 1100;     // returns it
constexpr UINT C2M_SETUSERDATA2 = 1101;
constexpr UINT C2M_GETUSERDATA2 = 1102;
constexpr UINT C2M_GETPOINTVALUE = 1103;  // lParam index; returns its y (0 outside the array)

// Notification codes (high word of WM_COMMAND's wParam; lParam is the point index, -1 sent
// as 0).
constexpr int C2N_POINTHIT = 1044;    // a press hit a point (also with editing off)
constexpr int C2N_POINTMOVED = 1045;  // each mouse move of a drag
constexpr int C2N_DRAGEND = 1046;     // the drag ended

LRESULT CALLBACK Chart2DProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
