// Small Win32 helpers that several dialogs share (the programmer window, the hex editor): where
// the program lives, centring a window, and the common open/save dialog. Window thread only.
#pragma once

#include <windows.h>

#include "platform/files.h"

// The executable's folder with its trailing backslash: where the settings file lives and where
// the file dialogs start. Filled at start-up by GetModuleDirectory.
extern char gModuleDirectory[kFilePathSize];

// Writes the executable's folder, with trailing backslash, into out (kFilePathSize bytes,
// zero-filled beforehand: no terminator is written). Nothing when the path holds no backslash,
// so the settings file is then looked for in the current directory.
void GetModuleDirectory(HINSTANCE instance, char* out);

// Moves window so that its centre lies on reference's centre (the desktop when reference is
// null), without sizing, activating or changing its z-order.
void CenterWindow(HWND window, HWND reference);

// Shows the open (mode 0) or save (mode 1) dialog with path (kFilePathSize bytes) as the default,
// starting in gModuleDirectory; the chosen path comes back in path, its file name in fileTitle
// when given. filter is the dialog's list of name and pattern pairs (null: all files only),
// filterIndex the one shown first, and chosenFilter (when given) receives the one chosen. The
// open dialog takes only files that exist; the save dialog gives a name without an extension
// the chosen filter's first one. Returns 1 when a file was chosen, 0 when cancelled; any other
// mode shows nothing and returns 1.
int RunFileDialog(HWND owner, int mode, char* path, char* fileTitle, const char* title,
                  DWORD filterIndex, const char* filter = nullptr, DWORD* chosenFilter = nullptr);
