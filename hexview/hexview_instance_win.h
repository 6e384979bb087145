// The per-window record of a HexView32 control and the operations its source files share.
// Internal to the control (hexview/*_win.cpp) and its tests.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "document/hex_checksum.h"
#include "document/hex_compare.h"
#include "document/hex_document.h"
#include "document/hex_search.h"
#include "hexview/hexview_layout.h"
#include "hexview/hexview_model.h"
#include "hexview/hexview_win.h"
#include "platform/win32_handles.h"

constexpr UINT_PTR kAutoScrollTimer = 0xDEADBEEF;
constexpr UINT kAutoScrollPeriod = 20;  // milliseconds
// A search, checksum or compare run goes on by this message to itself (word parameter: the run's
// serial), or by this timer when input or painting waits.
constexpr UINT kScanSliceMessage = WM_USER + 1;
// Posted by a paint that met bytes it could not read, to tell the parent outside the paint.
constexpr UINT kUnreadableMessage = WM_USER + 2;
constexpr UINT_PTR kScanTimer = 0x5CA4;

// One heap record per control, from WM_NCCREATE to WM_NCDESTROY. The view fields (style,
// caret, selection, layout, colours ...) are the HexViewModel base.
struct HexViewInstance : HexViewModel {
    HWND hwnd = nullptr;                // the control itself
    UINT_PTR scrollTimer = 0;           // auto-scroll timer id while it runs, else 0
    UniqueGdi<HFONT> font;              // the fixed-pitch font, created at WM_CREATE
    HexDocument document;               // the bytes shown; opened empty at creation
    BY_HANDLE_FILE_INFORMATION fileInfo{};  // of the original file after each open in place
    char filePath[MAX_PATH] = {};       // the document's file; empty for a memory document
    UniqueCom<IDropTarget> dropTarget;  // registered drop target, or none
    // The data object of this control's own drag while DoDragDrop runs (borrowed), else null: a
    // drop of it into this control moves or copies bytes inside the document.
    IDataObject* outgoingDrag = nullptr;

    bool caretOwned = false;            // this control created the thread's caret
    bool paintUnreadable = false;       // the paint going on met bytes it could not read
    bool unreadableTold = false;        // the parent heard so (HVN_UNREADABLE) for this document
    bool ignoreNextMove = false;        // the move after a mouse activation is not a drag
    int scrollDirectionY = 0;           // auto-scroll: -1 up, +1 down, 0 none
    int scrollDirectionX = 0;           // auto-scroll: -1 left, +1 right, 0 none
    std::uint32_t lastFitBytesPerRow = 0;  // bytes per row of the previous fit to window

    // The selection when the last key went down, for typing over it (HVS_TYPEREPLACESSEL);
    // taken by the character that follows, while caret and document are as the key left them.
    bool keySelectionSaved = false;
    std::uint32_t keySelectionStart = 0;
    std::uint32_t keySelectionLength = 0;
    std::uint32_t keySelectionCaret = 0;
    std::uint32_t keySelectionDocSize = 0;

    // A byte entered digit by digit: later digits change it in place only while it is still
    // the byte at the caret and the document has not changed since its first digit.
    std::uint32_t digitPos = 0;
    std::uint32_t digitDocLength = 0;
    const std::uint8_t* digitByte = nullptr;

    // The running search or checksum run (at most one run of any kind), what the last run came
    // to, and the last search's pattern for Find Next.
    std::optional<HexSearch> search;
    std::optional<HexChecksumRun> checksum;
    HexViewScanInfo scanInfo{};
    UINT scanSerial = 0;         // tells a run's slices from those of the runs before it
    DWORD scanNotifiedTick = 0;  // when the parent last heard of the progress
    HexPattern findPattern;      // empty before the first search

    // The running compare and what it reads beside the document (the file, a copy of bytes, or
    // an image), and what the last one found: shown while the document's changeCount is
    // differencesChange.
    std::unique_ptr<HexDocument> compareFile;
    std::vector<std::uint8_t> compareBytes;
    SparseImage compareImage;
    std::optional<HexCompare> compare;  // after what it borrows, so that it goes first
    std::optional<HexDiffList> differences;
    std::uint32_t differencesChange = 0;

    // Painting buffers, sized for the current layout whatever the bytes per row.
    std::vector<char> rowText;
    std::vector<std::uint8_t> rowBytes;
    std::vector<std::uint8_t> rowMarks;
    std::vector<INT> rowAdvances;  // of the pass being drawn
    std::vector<HexTextRun> runs;
    HexRowPaint rowPaint;
    std::vector<HexRect> rects;
};

// The instance of a HexView32 window (borrowed: the window owns it); null for any other window.
HexViewInstance* HexViewFromWindow(HWND window);

// hexview_win.cpp
void HexViewNotifyParent(HexViewInstance& inst, int code);
void HexViewNotifyCaretAndSelection(HexViewInstance& inst);  // HVN_CARETMOVED, HVN_SELCHANGED
void HexViewRefreshSize(HexViewInstance& inst);  // docSize and rowCount from the document
bool HexViewSetCaret(HexViewInstance& inst, std::uint32_t offset);
bool HexViewSetSelection(HexViewInstance& inst, std::uint32_t start, std::uint32_t length);
int HexViewSetInsertMode(HexViewInstance& inst, int on);
[[nodiscard]] int HexViewClear(HexViewInstance& inst);
void HexViewWarn(HexViewInstance& inst, const char* text);
// Leaves code in lastError; 0, the result of a failed operation.
inline int HexViewFail(HexViewInstance& inst, std::uint32_t code) {
    inst.lastError = code;
    return 0;
}
int HexViewNew(HexViewInstance& inst);
int HexViewResetView(HexViewInstance& inst);
// Whether the document may be edited now; when not, lastError says why (14 read-only, 25 a
// search, checksum or compare runs).
bool HexViewCanEdit(HexViewInstance& inst);
// Caret at offset, selected from anchor to there (nothing when they are equal), scrolled into
// view; the parent hears HVN_CARETMOVED and HVN_SELCHANGED.
void HexViewMoveCaretTo(HexViewInstance& inst, std::uint32_t offset, std::uint32_t anchor);

// hexview_paint_win.cpp
LRESULT HexViewOnPaint(HexViewInstance& inst);
void HexViewCreateFont(HexViewInstance& inst);
void HexViewPaintCaretByte(HexViewInstance& inst);
void HexViewInvalidateRange(HexViewInstance& inst, std::uint32_t from, std::uint32_t to);
void HexViewInvalidateAll(HexViewInstance& inst, bool erase = false);
void HexViewInvalidateBelow(HexViewInstance& inst, std::int32_t x, std::int32_t y, bool erase);
void HexViewOnSize(HexViewInstance& inst, int width, int height);
COLORREF HexViewResolveColor(std::uint32_t value);

// hexview_scroll_win.cpp
void HexViewUpdateScrollBars(HexViewInstance& inst);
void HexViewOnVScroll(HexViewInstance& inst, int code);
void HexViewOnHScroll(HexViewInstance& inst, int code);
int HexViewScrollUpLine(HexViewInstance& inst);
int HexViewScrollDownLine(HexViewInstance& inst);
int HexViewEnsureVisible(HexViewInstance& inst, std::uint32_t offset);
void HexViewPostScroll(HexViewInstance& inst, UINT message, int code);

// hexview_caret_win.cpp
void HexViewPlaceCaret(HexViewInstance& inst);
void HexViewCreateCaret(HexViewInstance& inst);
void HexViewShowCaret(HexViewInstance& inst);
void HexViewOnSetFocus(HexViewInstance& inst);
void HexViewOnKillFocus(HexViewInstance& inst);

// hexview_mouse_win.cpp
void HexViewOnLButtonDown(HexViewInstance& inst, WPARAM keys, int x, int y);
void HexViewOnMouseMove(HexViewInstance& inst, WPARAM keys, int x, int y);
void HexViewOnLButtonUp(HexViewInstance& inst, WPARAM keys, int x, int y);
void HexViewOnRButtonDown(HexViewInstance& inst);
void HexViewOnTimer(HexViewInstance& inst, UINT_PTR id);
void HexViewOnMouseWheel(HexViewInstance& inst, int delta);
LRESULT HexViewOnMouseActivate(HexViewInstance& inst);
bool HexViewOnSetCursor(HexViewInstance& inst, HWND window, UINT hitTest);
void HexViewStopAutoScroll(HexViewInstance& inst);

// hexview_keys_win.cpp
void HexViewOnKeyDown(HexViewInstance& inst, UINT key);
void HexViewOnChar(HexViewInstance& inst, UINT character);
int HexViewUndoStep(HexViewInstance& inst, bool redo);

// hexview_edit_win.cpp: edits shared by the clipboard and drag and drop
// Whether count bytes can go in at position whole, as the mode places them, without the
// document passing 4 GiB - 1; when not, lastError is 9.
[[nodiscard]] bool HexViewFitsWhole(HexViewInstance& inst, std::uint32_t position,
                                    std::uint32_t count);
// Inserts (insert mode) or overwrites count bytes of source at position, as one undo step of its
// own; source may be room of HexDocAddRoom. All of them or none: count, or 0 with lastError
// (read-only, a run going on, 9 when they do not all fit, or the document's error). Caret and
// selection are the caller's.
[[nodiscard]] std::uint32_t HexViewInsertData(HexViewInstance& inst, const void* source,
                                              std::uint32_t position, std::uint32_t count);
[[nodiscard]] int HexViewDeleteRange(HexViewInstance& inst, std::uint32_t start,
                                     std::uint32_t length, bool reset);

// hexview_files_win.cpp
// keepDifferences: the file holds the bytes the document showed (it was just saved there), so
// that what a compare found stays shown.
[[nodiscard]] int HexViewOpenFile(HexViewInstance& inst, const char* path, bool useMapping,
                                  bool readOnly, bool keepDifferences = false);

// hexview_transfer_win.cpp: clipboard (hexview_transfer_win.h has the COM objects)
[[nodiscard]] int HexViewCut(HexViewInstance& inst);
[[nodiscard]] int HexViewCopy(HexViewInstance& inst);
[[nodiscard]] int HexViewPaste(HexViewInstance& inst);
// Before the document closes or its file changes: renders clipboard data of this control's
// document as plain bytes (asking first from 64 KiB on) and cuts every reader of it off.
// Returns 0 when the bytes could not be kept.
int HexViewFlushClipboard(HexViewInstance& inst);

// hexview_scan_win.cpp: searches, checksum runs and compares in slices
bool HexViewScanning(const HexViewInstance& inst);
void HexViewOnScanSlice(HexViewInstance& inst, UINT serial);
// Ends a running search, checksum run or compare as cancelled (HVN_SCANDONE); false when none ran.
bool HexViewCancelScan(HexViewInstance& inst);
// Starts the run just put in search, checksum or compare, described by info.
void HexViewStartScan(HexViewInstance& inst, const HexViewScanInfo& info);

// hexview_compare_win.cpp
// The differences of the last compare while they belong to the document as it is, else null.
const HexDiffList* HexViewShownDifferences(const HexViewInstance& inst);
// Lets go of differences the document has moved away from (or of any, with all), repainting.
void HexViewDropDifferences(HexViewInstance& inst, bool all);
// The document was opened again over the bytes it showed (a save): differences shown before
// (shown) show on.
void HexViewKeepDifferences(HexViewInstance& inst, bool shown);

// hexview_drop_win.cpp: drag and drop
[[nodiscard]] bool HexViewStartDrag(HexViewInstance& inst);  // true when the drag ended in a drop
UniqueCom<IDropTarget> HexViewRegisterDropTarget(HexViewInstance& inst);
void HexViewRevokeDropTarget(HexViewInstance& inst);
