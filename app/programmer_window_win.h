// The programmer window: the modal dialog of template 129 that drives every chip operation.
// Window thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/settings.h"

// The programmer window once its initialisation has finished; null before and after.
extern HWND gProgrammerWindow;

// The window's address boxes and log pane, as the image files use them too.
std::int32_t ReadBoxAddress(HWND dialog, int id);              // ParseHex of the box's text
void SetBoxAddress(HWND dialog, int id, std::int32_t value);   // "%.6X"
void LogToPane(HWND dialog, const char* text);                 // one line in the log pane

// Keeps the chip and buffer ranges the same length after box boxId (2705..2708) changed.
void SyncAddressRanges(int boxId);

// enable 0 greys the operation controls (busy), 1 enables them again ("Program Chip" and
// "Erase Chip" only for chip types that allow programming).
void EnableOperationControls(HWND window, int enable);

// Checks a program or read request; logs the reasons and returns 0 when it is refused,
// otherwise starts the worker thread and returns 1.
int ValidateAndStartTransfer(const SettingsRecord& settings, HWND logWindow, HWND progressWindow);

INT_PTR CALLBACK ProgrammerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
