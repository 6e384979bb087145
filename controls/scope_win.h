// KVSCOPE: an oscilloscope-like strip chart. In strip-chart mode the owner pushes one value at
// a time and the trace scrolls left by a fixed step; a history ring lets it draw the trace
// again after a range change or a resize. In buffer-view mode it plots unsigned 8-, 16- or
// 32-bit samples straight from the owner's buffer (borrowed; it must outlive the control or
// be replaced).
#pragma once

#include <windows.h>

constexpr char kScopeClass[] = "KVSCOPE";

// Messages; results are 0 unless stated. Values travel by address as doubles.
constexpr UINT SCM_ADDSAMPLE = WM_USER + 0;        // lParam const double*
constexpr UINT SCM_SETRANGE = WM_USER + 1;         // wParam const double* yMax, lParam yMin
constexpr UINT SCM_SETXLABEL = WM_USER + 2;        // lParam text, cut to 49 characters
constexpr UINT SCM_SETYLABEL = WM_USER + 3;        // lParam text, cut to 49 characters
constexpr UINT SCM_SETAXISCOLOR = WM_USER + 4;     // lParam colour
constexpr UINT SCM_SETTRACECOLOR = WM_USER + 5;    // lParam colour
constexpr UINT SCM_SETBKCOLOR = WM_USER + 6;       // lParam colour
constexpr UINT SCM_SETDECIMALS = WM_USER + 8;      // lParam digits after the point, 0 to 20
constexpr UINT SCM_SETSTEP = WM_USER + 9;          // lParam pixels per value, 1 to 65536
constexpr UINT SCM_GETSTEP = WM_USER + 10;         // returns the step
constexpr UINT SCM_REFRESH = WM_USER + 11;         // redraws axes (and the buffer view)
constexpr UINT SCM_GETPOINTCOUNT = WM_USER + 12;   // returns the points the plot holds
constexpr UINT SCM_SETBUFFER = WM_USER + 13;       // wParam address, lParam length in bytes
constexpr UINT SCM_GETBUFFER = WM_USER + 14;       // returns the buffer's address
constexpr UINT SCM_SETSTARTOFFSET = WM_USER + 15;  // lParam byte offset of the first sample
constexpr UINT SCM_SETSAMPLEWIDTH = WM_USER + 16;  // lParam 1, 2 or 4
constexpr UINT SCM_SHOWGRID = WM_USER + 17;        // wParam flag; lParam non-zero redraws
constexpr UINT SCM_SETHEXLABELS = WM_USER + 18;    // wParam flag; lParam non-zero redraws
constexpr UINT SCM_SETMODE = WM_USER + 19;         // lParam 1 strip chart, 0 buffer view

static_assert(SCM_ADDSAMPLE == 1024 && SCM_SETMODE == 1043);

LRESULT CALLBACK ScopeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
