// Image files: loading a file into the image buffer and saving the buffer range to a file (the
// file dialog is RunFileDialog, win32ui/window_helpers_win.h). The name's extension names the
// format: Intel HEX, S-record (image_load.h), or else raw binary. Everything is reported as log
// lines in the programmer window.
#pragma once

#include <windows.h>

#include <cstdint>

// "Load File to Buffer...": asks for a file and loads it. A raw binary file goes to the start of
// image (chipSize bytes are zeroed first); a HEX or S-record file goes where its records say,
// in a buffer of FF, and sets both ranges to its data. A file that cannot be read or taken
// leaves the buffer and the boxes untouched.
void LoadFileToBuffer(HWND dialog, unsigned char* image, std::int32_t chipSize);

// "Save Buffer to File...": asks for a file and writes the buffer boxes' range of image to it,
// as raw bytes, or as HEX or S-record records at the buffer addresses.
// A range that is reversed or leaves the image buffer is refused before any file is touched; the
// file is written under a temporary name and then put in place, so a failed save never leaves
// an existing file half-written.
void SaveBufferToFile(HWND dialog, const unsigned char* image);
