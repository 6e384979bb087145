// Process-wide start-up state and the settings file.
#pragma once

#include <windows.h>

#include "app/settings.h"
#include "win32ui/window_helpers_win.h"  // gModuleDirectory, where the settings file lives

extern HINSTANCE gInstance;  // the executable's instance handle

// mode 0 loads the settings file into gSettings, mode 1 stores gSettings into it. Returns 0, or
// kErrorFileCorrupt when a load fell back to the defaults.
int AccessSettingsFile(int mode);
