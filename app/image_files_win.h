// Raw image files: the common open/save dialog, loading a file into the image buffer and saving
// the buffer range to a file. Everything is reported as log lines in the programmer window.
#pragma once

#include <windows.h>

#include <cstdint>

// Shows the open (mode 0) or save (mode 1) dialog with path (kPathSize bytes) as the default;
// the chosen path comes back in path, its file name in fileTitle when given. Returns 1 when a
// file was chosen, 0 when cancelled; any other mode shows nothing and returns 1.
int RunFileDialog(HWND owner, int mode, char* path, char* fileTitle, const char* title,
                  DWORD filterIndex);

// "Load File to Buffer...": asks for a file and reads it into the start of image (chipSize
// bytes are zeroed first; a failed read leaves the buffer untouched).
void LoadFileToBuffer(HWND dialog, unsigned char* image, std::int32_t chipSize);

// "Save Buffer to File...": asks for a file and writes the buffer boxes' range of image to it.
// A range that is reversed or leaves the image buffer is refused before any file is touched; the
// file is written under a temporary name and then put in place, so a failed save never leaves
// an existing file half-written.
void SaveBufferToFile(HWND dialog, const unsigned char* image);
