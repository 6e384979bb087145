// The control gallery's main window: one of each control of the library in its own pane,
// fed with sample data, and a status bar that reports what the charts notify.
#pragma once

#include <windows.h>

constexpr char kGalleryClass[] = "VorlandGallery";
constexpr char kGalleryCaption[] = "Vorland Control Gallery";

// Registers the gallery's window class; the control library must be registered too.
bool RegisterGalleryWindow(HINSTANCE instance);

// Creates and shows the gallery window; null when it could not be created.
HWND CreateGalleryWindow(HINSTANCE instance, int show);
