// HexView32: a child-window control that shows a byte document as rows of numbers with an
// address column and a character column, and lets the user edit it. A host drives it only
// through the functions below, each taking the control's window; standard messages (input,
// paint, WM_CUT, WM_COPY, WM_PASTE) reach it the ordinary way. It reports to its parent with
// WM_NOTIFY (word parameter 0) and a HexViewNotify record.
//
// Every function returns 0 (null for HexViewReadData) when the window is not a HexView32,
// except HexViewIsReadOnly, which returns 1. Functions that can fail return 1 or 0 and leave a
// HexError code (document/hex_document.h) that HexViewGetLastError reads. Window thread only.
#pragma once

#include <windows.h>

#include <vector>

#include "document/hex_document_file.h"
#include "formats/checksums.h"
#include "formats/image_formats.h"
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
constexpr int HVN_SCANPROGRESS = -1033;  // a search, checksum or compare run started or went on
constexpr int HVN_SCANDONE = -1034;      // it ended (HexViewGetScan says how)
// Painting met bytes of the document's file that can no longer be read (the file shrank, or its
// volume went away); once per document, after the paint.
constexpr int HVN_UNREADABLE = -1035;

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

// Opens the file as the document, "mapped": read where it lies (the file stays open, shared for
// reading only), or read into memory. path "*" reopens the document's own file keeping caret
// and scroll position.
[[nodiscard]] int HexViewOpenFile(HWND control, const char* path, BOOL useMapping, BOOL readOnly);

// Saves to path, or over the document's own file when path is null or names it; with a null
// path an unmodified document is not written again. The document then is the saved file, with
// the view (and the differences a compare found) as they were when it was its own. 1 when the
// file holds the document and the document is that file; otherwise 0, and outcome (when given)
// says how far it got (document/hex_document_file.h): not saved, the document keeping its edits
// and the file it was to replace as it was, except when the document had to let go of its file
// and could not take it back (cleared: the view shows an empty document; keptFile names the
// file that holds the edits); or saved, but not opened again as the document (error 3 another
// program has it, 1 no memory; cleared when the document had to go).
[[nodiscard]] int HexViewSaveFile(HWND control, const char* path,
                                  HexSaveOutcome* outcome = nullptr);

// Makes an image read from an Intel HEX or S-record file the document, with its records
// (hex_document_image.h: its bytes from address 0, gaps FF, knowing which addresses hold data);
// resets the view and sends HVN_CHANGED. 1; 0 with 1 (no memory: the document is empty).
int HexViewOpenImage(HWND control, const SparseImage& image, const ImageRecords& records);

// Saves the document's data as an Intel HEX or S-record file (format) at path: its file's
// records and only the addresses that hold data (hex_document_image.h), or, for a document that
// was never such a file, all of it from address 0 with name as the S-record header. The document
// then is what opening the file gives, with the view (and a compare's differences) kept. 1 when
// saved and reopened; otherwise 0 with outcome saying why.
[[nodiscard]] int HexViewSaveImage(HWND control, const char* path, ImageFormat format,
                                   const char* name, HexSaveOutcome* outcome);

// The positions that hold data (hex_document_image.h): all of them, or for a document read from
// an Intel HEX or S-record file those its file gave and every byte typed, pasted, filled or
// inserted since. 1; 0 for a window that is not a HexView32.
int HexViewGetDataRanges(HWND control, std::vector<HexDocRange>* ranges);

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

// Tools: Go To, Select All, Fill, Copy as hex text ----------------------------------------------

// Moves the caret to offset (0 .. size: the size is the end) with nothing selected, and
// scrolls it into view; sends HVN_CARETMOVED and HVN_SELCHANGED. 0 with 9 past the end.
int HexViewGoTo(HWND control, DWORD offset);
// Selects the whole document, the caret at its end; the view stays where it is.
int HexViewSelectAll(HWND control);
// Whether an undo or redo step would do something now (not while a search runs).
int HexViewCanUndo(HWND control);
int HexViewCanRedo(HWND control);
// Overwrites the selection with the pattern's bytes repeated from its first, as one undo step;
// the bytes stay selected. All or nothing: 0 with 21 (nothing selected), 14, 25, or 1 when the
// room left for edits cannot take the selection.
[[nodiscard]] int HexViewFill(HWND control, const BYTE* pattern, DWORD length);
// Puts the selection on the clipboard as CF_TEXT: upper-case hex pairs separated by spaces, 16
// to a line, CR LF between lines. 0 with 21, 27 (more than 16 MiB), 1 (no memory), 23 (a file
// window cannot be read) or 0 (the clipboard is held by another program).
[[nodiscard]] int HexViewCopyHex(HWND control);

// Find and checksums ------------------------------------------------------------------------
//
// A search or a checksum run reads the document where it lies, in slices of a few tens of
// milliseconds on the control's thread, between which the thread's messages run: the window
// paints and scrolls, and Escape in the control (or HexViewCancelScan from the host) stops it.
// One at a time. Meanwhile every edit is refused with 25 (typing, clear, cut, paste, drops,
// undo, file inserts, fill, save); opening another document (New, SetBuffer, OpenFile) ends the
// run as cancelled first. The parent hears HVN_SCANPROGRESS when a run starts and about every
// 100 ms while it goes on, and HVN_SCANDONE once when it ends, after a found match has been
// selected (HVN_CARETMOVED, HVN_SELCHANGED); HexViewGetScan tells it the rest.

constexpr DWORD HVF_TEXT = 0x1;        // the pattern is text (its ANSI bytes), not hex pairs
constexpr DWORD HVF_IGNORECASE = 0x2;  // text: ASCII letters match in either case
constexpr DWORD HVF_BACKWARD = 0x4;    // towards the start of the document

// Searches for the pattern from the caret: forward, the first match at or after the caret (or
// one past it when the selection starts at the caret, as after a match); backward, the last
// match that starts before the caret. Wraps once at the end (or start). A match ends up selected
// with the caret at its start. Hex patterns are digit pairs, with spaces between pairs allowed
// and ?? for any byte. 1 when the search started; 0 with 26 (the pattern is not usable: see
// HexParseHexPattern) or 25.
int HexViewFind(HWND control, const char* pattern, DWORD flags);
// The last search's pattern again, forward or backward; 0 with 26 before any search, or 25.
int HexViewFindNext(HWND control, BOOL backward);
// Computes the checksums named by kinds (ChecksumKinds) of the selection, or of the whole
// document when nothing is selected. 1 when the run started; 0 with 25.
int HexViewChecksum(HWND control, DWORD kinds);
// Stops a running search, checksum or compare run (HVN_SCANDONE, outcome HVSO_CANCELLED); 1
// when one ran, else 0.
int HexViewCancelScan(HWND control);

constexpr DWORD HVSCAN_FIND = 1;
constexpr DWORD HVSCAN_CHECKSUM = 2;
constexpr DWORD HVSCAN_COMPARE = 3;

// How a run went (HexViewScanInfo::outcome).
enum HexViewScanOutcome : DWORD {
    HVSO_RUNNING = 0,
    HVSO_FOUND = 1,       // position and length name the match
    HVSO_NOTFOUND = 2,    // no match anywhere
    HVSO_DONE = 3,        // the checksums are in checksums; a compare's differences show
    HVSO_CHANGED = 4,     // the document changed under the run (the host changed it)
    HVSO_UNREADABLE = 5,  // a file window could not be read (the file shrank, is gone or locked)
    HVSO_CANCELLED = 6,   // stopped by Escape, HexViewCancelScan or a new document
};

struct HexViewScanInfo {
    DWORD kind;       // HVSCAN_FIND, HVSCAN_CHECKSUM or HVSCAN_COMPARE; 0 before the first run
    DWORD outcome;    // HexViewScanOutcome; HVSO_RUNNING while it runs
    DWORD wrapped;    // find: the search passed the end (start) and went on from the other side
    DWORD backward;   // find: it went towards the start
    DWORD position;   // find: the match; checksum: the first byte summed
    DWORD length;     // find: the match's length; checksum: the bytes summed
    ULONGLONG done;   // bytes read so far
    ULONGLONG total;  // bytes the run reads at most
    ChecksumResults checksums;  // after HVSO_DONE
};

// The running or last run; 1, or 0 (info untouched) for a window that is not a HexView32.
int HexViewGetScan(HWND control, HexViewScanInfo* info);
// 1 while a search, checksum or compare run goes on.
int HexViewIsScanning(HWND control);

// Compare ---------------------------------------------------------------------------------------
//
// A compare is a run like a search (HVSCAN_COMPARE, with its slices, notifications, Escape and
// refused edits). It compares the document with the other side position by position, at the
// positions both give (document/hex_compare.h: a document read from a HEX file, and an image
// compared by its addresses, give only their data); where one is longer than the other's end,
// its extra bytes are one more range, the last. When it is done (HVSO_DONE) the differing bytes
// show on a background of their own in both panes until the document is edited or another
// compare starts, and Next and Previous Difference step through them, the byte differences
// first. done and total count positions both sides have.

// Compares with the file at path, read-only where it lies. 1 when the compare started; 0
// with 25, 2 (it is the document's own file), 3 (another program has it), 6 or 23.
int HexViewCompareFile(HWND control, const char* path);
// Compares with a copy of size bytes. 1 when the compare started; 0 with 25, or 1 when there is
// no memory for the copy.
int HexViewCompareData(HWND control, const void* bytes, DWORD size);
// Compares with the addresses an image gives (a HEX or S-record file's data, by what it says):
// its gaps and the document's bytes past its last data are no differences. 1 when the compare
// started; 0 with 25, or 1 when there is no memory for the copy it keeps.
int HexViewCompareImage(HWND control, const SparseImage& image);

// What the compare whose differences show found (document/hex_compare.h; the document is the
// first side): 1 with counts filled; 0 when no compare result shows.
struct HexDiffCounts;
int HexViewGetDifferences(HWND control, HexDiffCounts* counts);

struct HexViewDifference {
    DWORD start;    // the differing range, as the compare listed it: its first position
    DWORD end;      // one past its last; past the document's end for the other side's extra bytes
    DWORD wrapped;  // the step passed the end (start) and went on from the other side
};
// Selects the next differing range: forward, the first that starts after the selection's start
// (or at or after the caret when nothing is selected); backward, the last that starts before the
// selection's start or the caret. Wraps once. The range is selected with the caret at its start
// and scrolled into view (HVN_CARETMOVED, HVN_SELCHANGED); the other side's extra bytes put the
// caret at the document's end. found, when given, says which range. 1; 0 with 28 (no compare
// result shows), 25, or 0 when the compare found no differences.
int HexViewNextDifference(HWND control, BOOL backward, HexViewDifference* found);
