// Image files: loading a file into the image buffer and saving the buffer range to a file (the
// file dialog is RunFileDialog, win32ui/window_helpers_win.h). The name's extension names the
// format: Intel HEX, S-record (image_load.h), or else raw binary. Everything is reported as log
// lines in the programmer window.
#pragma once

#include <windows.h>

#include <cstdint>

// What a load put into the image buffer: nothing (cancelled, or the file could not be read or
// taken: the buffer is as it was), or the buffer range from start to end, inclusive, and whether
// the file's records gave those addresses.
struct LoadedRange {
    bool loaded = false;
    bool addressed = false;
    std::int32_t start = 0;
    std::int32_t end = 0;
};

// "Load File to Buffer...": asks for a file and loads it. A raw binary file goes to the start of
// image (chipSize bytes are zeroed first); a HEX or S-record file goes where its records say,
// in a buffer of FF, its range widened to whole 64-byte blocks. A name without a known extension
// is read in the format of the filter chosen in the dialog (all files: raw binary). The caller
// sets the address boxes.
LoadedRange LoadFileToBuffer(HWND dialog, unsigned char* image, std::int32_t chipSize);

// "Save Buffer to File...": asks for a file and writes the buffer boxes' range of image to it,
// as raw bytes, or as HEX or S-record records at the buffer addresses: the format of the name's
// extension, or of the chosen filter, whose extension a name typed without one receives.
// A range that is reversed or leaves the image buffer is refused before any file is touched; the
// file is written under a temporary name and then put in place, so a failed save never leaves
// an existing file half-written.
void SaveBufferToFile(HWND dialog, const unsigned char* image);
