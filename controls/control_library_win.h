// Registration of the control library's window classes.
#pragma once

#include <windows.h>

// Registers every custom control class of the library with the given module. Results are not
// checked: a class that failed to register shows up as a window that cannot be created.
void RegisterControlLibrary(HINSTANCE instance);
