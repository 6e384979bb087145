// KVTEXTPROGRESS: a progress bar that prints a line of text centred over itself. It answers
// the platform progress bar's message numbers and adds text colour, orientation and flash.
#pragma once

#include <windows.h>

constexpr char kTextProgressClass[] = "KVTEXTPROGRESS";

// Messages beyond the platform progress bar's (PBM_SETRANGE ... PBM_SETBKCOLOR keep theirs).
constexpr UINT TPM_SETTEXTCOLOR = WM_USER + 200;  // lParam colour or -1 (two-tone); previous
constexpr UINT TPM_SETVERTICAL = WM_USER + 203;   // lParam 0 or non-zero
constexpr UINT TPM_GETVERTICAL = WM_USER + 204;
constexpr UINT TPM_GETRANGEPTRS = WM_USER + 205;  // wParam int* minimum, lParam int* maximum
constexpr UINT TPM_FLASH = WM_USER + 206;         // wParam milliseconds, lParam colour
constexpr UINT_PTR FLASH_TIMER_ID = 1025;
constexpr COLORREF kTextProgressDefault = static_cast<COLORREF>(-1);

static_assert(TPM_SETTEXTCOLOR == 1224 && TPM_FLASH == 1230);

// Window procedure; registered by RegisterControlLibrary.
LRESULT CALLBACK TextProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
