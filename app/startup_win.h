// Process-wide start-up state and the settings file.
#pragma once

#include <windows.h>

#include "app/settings.h"

extern HINSTANCE gInstance;                 // the executable's instance handle
extern char gModuleDirectory[kPathSize];    // the executable's folder with its trailing backslash

// Writes the executable's folder, with trailing backslash, into out (kPathSize bytes, zero-filled
// beforehand: no terminator is written). Nothing when the path holds no backslash, so the
// settings file is then looked for in the current directory.
void GetModuleDirectory(HINSTANCE instance, char* out);

// mode 0 loads the settings file into gSettings, mode 1 stores gSettings into it. Returns 0, or
// kErrorFileCorrupt when a load fell back to the defaults.
int AccessSettingsFile(int mode);
