// KVDIGITALGAUGEREADOUT: a square read-out panel with a title line, a large value and a units
// line, optionally framed, scaled to fill the shorter side of the window (never below 100
// pixels). No message sets its texts: an instance shows its initial ones.
#pragma once

#include <windows.h>

constexpr char kGaugeClass[] = "KVDIGITALGAUGEREADOUT";

LRESULT CALLBACK GaugeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
