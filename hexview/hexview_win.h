// HexView32: a child-window control that shows a byte document as rows of numbers with an
// address column and a character column, and lets the user edit it. A host drives it only
// through the functions below, each taking the control's window; standard messages (input,
// paint, WM_CUT, WM_COPY, WM_PASTE) reach it the ordinary way. It reports to its parent with
// WM_NOTIFY (word parameter 0) and a HexViewNotify record.
//
// Every function returns 0 (null for HexViewReadData) when the window is not a HexView32,
// except HexViewIsReadOnly, which returns 1. Functions that can fail return 1 or 0 and leave a
// HexError code (hexview/hex_document.h) that HexViewGetLastError reads. Window thread only.
#pragma once

#include <windows.h>

#include "hexview/hexview_model.h"

constexpr char kHexViewClass[] = "HexView32";

// Registers the class with the executable's module, and the clipboard formats of
// RegisterHexViewClipboardFormats; once, at start-up.
void RegisterHexViewClass(HINSTANCE instance);

// Registers the six clipboard formats the control uses ("FileName", "FileGroupDescriptor",
// "FileContents", "RLE32HexBinary", "HexSnapShot!", "HexHWND"); calling it again is harmless.
void RegisterHexViewClipboardFormats();

// Notification codes (NMHDR code, as signed values).
constexpr int HVN_CARETMOVED = -1024;  // the caret moved
constexpr int HVN_SELCHANGED = -1025;  // the selection changed
constexpr int HVN_CHANGED = -1029;     // content, size or file changed
constexpr int HVN_MODECHANGED = -1030; // insert mode toggled
constexpr int HVN_DRAGENTER = -1031;   // a drag entered; selLength carries its byte count
constexpr int HVN_DROPMOVED = -1032;   // the drop position moved during a drag

struct HexViewNotify {
    NMHDR header;         // sending control, its identifier, the HVN_ code
    DWORD dragOutActive;  // a drag started by this control runs
    DWORD dropActive;     // a drag hovers over the control
    DWORD caretPos;
    DWORD selAnchor;
    DWORD selEnd;
    DWORD selLength;      // |selEnd - selAnchor|
    DWORD docSize;
};

// Documents -------------------------------------------------------------------------------------

// Makes the memory block the document, after HexViewNew. The control owns the block from the
// call on, whatever the result, and releases it with VirtualFree when the document closes: it
// must be the base of a VirtualAlloc allocation. No repaint: call HexViewResetView next.
[[nodiscard]] int HexViewSetBuffer(HWND control, void* block, DWORD size);

// Closes the document and starts an empty one; repaints and sends HVN_CHANGED.
int HexViewNew(HWND control);

// Caret, selection and scroll position back to 0; repaints and sends HVN_CARETMOVED.
int HexViewResetView(HWND control);

// Copies count bytes from position into destination; destination, or null when position is
// not inside the document.
[[nodiscard]] void* HexViewReadData(HWND control, DWORD position, void* destination, DWORD count);

// Opens the file as the document, mapped (the file stays open, shared for reading only) or read
// into memory. path "*" reopens the document's own file keeping caret and scroll position.
[[nodiscard]] int HexViewOpenFile(HWND control, const char* path, BOOL useMapping, BOOL readOnly);

// Saves to path, or over the document's own file when path is null or names it; with a null
// path an unmodified document is not written again. The document then is the saved file. A
// failed save keeps the document and its edits, and the file it was to replace, except in one
// case: when the document had to let go of its file and could not take it back, it is closed
// (the view shows an empty document) and HexViewGetKeptFile names the file that holds it.
[[nodiscard]] int HexViewSaveFile(HWND control, const char* path);

// After the last save: the file that holds a document the save had to close, copied into
// destination (size bytes); 1, or 0 and an empty text when the save lost nothing.
int HexViewGetKeptFile(HWND control, char* destination, DWORD size);

// Puts a file's bytes at position: inserted (mode 1) or overwriting, limited to the selection's
// length when limit is set, the selection is not empty and the mode overwrites. The new bytes
// end up selected. Mapped: the file becomes a source of the document (nothing is copied).
[[nodiscard]] int HexViewInsertFile(HWND control, const char* path, DWORD position, int mode,
                                    BOOL limit);
[[nodiscard]] int HexViewInsertFileMapped(HWND control, const char* path, DWORD position, int mode,
                                          BOOL limit);

// Writes the name of a file holding the selection, "name-[anchor-end].ext" (hexadecimal,
// 8 digits), into destination (MAX_PATH bytes); nothing when the document has no file. 0.
int HexViewSnapshotName(HWND control, char* destination);

// Copies count bytes of the listed extents, after skip bytes, into destination; bytes copied.
struct HexExtent;
DWORD HexViewReadExtents(HWND control, const HexExtent* extents, DWORD extentCount,
                         void* destination, DWORD skip, DWORD count);

// State -----------------------------------------------------------------------------------------

int HexViewIsModified(HWND control);
int HexViewSetModified(HWND control, int value);  // returns value
int HexViewIsReadOnly(HWND control);
int HexViewSetInsertMode(HWND control, int on);   // previous mode; nothing when read-only
int HexViewGetInsertMode(HWND control);
// 1 .. 20 bytes per row, rounded down to the row granularity; repaints when redraw is set.
int HexViewSetBytesPerRow(HWND control, int count, BOOL redraw);
int HexViewGetBytesPerRow(HWND control);
// New style = (old without mask) | value; returns the previous style.
DWORD HexViewSetStyle(HWND control, DWORD mask, DWORD value);
DWORD HexViewGetStyle(HWND control);
DWORD HexViewGetLastError(HWND control);
DWORD HexViewGetSize(HWND control);
DWORD HexViewGetCaret(HWND control);
// Moves the caret (no selection change, no repaint); 0 when offset passes the document.
int HexViewSetCaret(HWND control, DWORD offset);
// Selects length bytes from start with the caret at the end, and repaints them.
int HexViewSetSelection(HWND control, DWORD start, DWORD length);
int HexViewGetSelection(HWND control, DWORD* anchor, DWORD* end);  // both required

// Editing ---------------------------------------------------------------------------------------

// Insert mode: deletes the selection, or the byte at the caret. Overwrite mode: zeroes the
// selected bytes. 0 with 14 for a read-only document.
[[nodiscard]] int HexViewClear(HWND control);
// Undo or redo the last user action (edits made as one action go back together).
int HexViewUndo(HWND control);
int HexViewRedo(HWND control);
[[nodiscard]] int HexViewCut(HWND control);
[[nodiscard]] int HexViewCopy(HWND control);
[[nodiscard]] int HexViewPaste(HWND control);
