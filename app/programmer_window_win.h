// The programmer window: the modal dialog of template 129 that drives every chip operation.
#pragma once

#include <windows.h>

// The programmer window once its initialisation has finished; null before and after.
extern HWND gProgrammerWindow;

// Moves window so that its centre lies on reference's centre (the desktop when reference is
// null), without sizing, activating or changing its z-order.
void CenterWindow(HWND window, HWND reference);

INT_PTR CALLBACK ProgrammerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
