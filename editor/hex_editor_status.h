// What the hex editor's five-part status bar shows and where its parts end, from the values a
// HexView32 notification carries. Portable; hex_editor_dialog_win.cpp writes these texts.
//
// Parts: 0 empty (drawn without borders), 1 caret or selection, 2 value of the byte at the
// caret, 3 byte count, 4 edit mode.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "document/hex_compare.h"
#include "document/hex_document_file.h"

constexpr int kEditorStatusParts = 5;

// Right edges of the parts for a client width: m - 390, m - 210, m - 150, m - 50 and the width,
// with m = max(width, 400), so the texts keep their room in a narrow window.
std::array<int, kEditorStatusParts> HexEditorStatusEdges(int clientWidth);

// The values of a notification that the status bar reads.
struct HexEditorPosition {
    bool dragOutActive = false;  // the control's own drag is running
    bool dropActive = false;     // a drag hovers over the control
    std::uint32_t caretPos = 0;
    std::uint32_t selAnchor = 0;
    std::uint32_t selEnd = 0;
    std::uint32_t selLength = 0;
    std::uint32_t docSize = 0;
};

// A position update. While a drag hovers only the caret part changes. Otherwise the caret or
// selection part, the count part and the value part change; the value part shows the byte at
// the caret (readValue: the caller reads the byte and formats it with HexEditorValueText) or
// nothing.
struct HexEditorStatusUpdate {
    std::string cursor;  // part 1
    bool onlyCursor = false;
    std::string count;       // part 3
    bool readValue = false;  // part 2 is the value of the byte at caretPos, else empty
};
HexEditorStatusUpdate HexEditorPositionUpdate(const HexEditorPosition& p);

std::string HexEditorValueText(std::uint8_t byte);  // "Value: %02X"

// Part 4: "READ", "INS" or "OVR".
const char* HexEditorModeText(bool readOnly, bool insertMode);

// Part 3 while a drag enters: "%d bytes *", or "??? bytes *" when the count is not known (0).
std::string HexEditorDragEnterText(std::uint32_t byteCount);

// The caption after a save under a new name: "<file title> - Hex Editor".
std::string HexEditorCaption(const char* fileTitle);

// Bytes that "Commit Changes" copies back into an image buffer of bufferSize bytes: what the
// document holds, at most the buffer's size. The rest of the buffer keeps its content.
std::uint32_t HexEditorCommitLength(std::uint32_t docSize, std::uint32_t bufferSize);

// Part 0 while a search, checksum or compare run goes on: what it does ("Searching",
// "Checksum", "Comparing"), how far it got and how to stop it, e.g. "Searching... 42% (Esc
// stops)".
std::string HexEditorScanProgressText(const char* what, std::uint64_t done, std::uint64_t total);

// Part 0 while a compare's differences show (the document the first side): "Differences: 3 ranges, 19 bytes" or "No
// differences", then "; 16 bytes compared" when a side gave only its data, and "; the document
// is 458,752 bytes longer" (or the file) when one side is.
std::string HexEditorDifferencesText(const HexDiffCounts& found);

// Why a save to path did not end with the file as the document, as its message says it, built
// from the outcome alone: the system's words where it gave a reason.
std::string HexEditorSaveFailureText(const std::string& path, const HexSaveOutcome& outcome);

// Why "Commit Changes" commits nothing: a document read from a HEX or S-record file has data from
// first to last past the bufferSize bytes of the buffer, which Load of that file would refuse too.
std::string HexEditorCommitRefusal(std::uint32_t first, std::uint32_t last,
                                   std::uint32_t bufferSize);

// What the editor says when part of the document's file could not be read.
inline constexpr char kHexEditorUnreadable[] =
    "Part of the file could not be read. It may have been moved or locked.";

// count bytes from first, as the Fill and Checksum dialogs name them:
// "00000010 - 0000001F, 16 bytes" (first and last byte).
std::string HexEditorRangeText(std::uint32_t first, std::uint32_t count);

// What the Go To dialog says the box takes, with where the data ends.
std::string HexEditorGotoHint(std::uint32_t size);

// The state the hex editor's menu items are enabled or greyed by.
struct HexEditorMenuState {
    bool scanning = false;   // a search, checksum or compare run goes on
    bool readOnly = false;   // the document may not be changed
    bool selection = false;  // something is selected
    bool canUndo = false;
    bool canRedo = false;
};

// Whether the item with this command id (resources/resource.h) is enabled: edits need an
// editable document and no run going on, Fill and Copy as Hex a selection, Undo and Redo
// something to do, and Go To and whatever starts a run or replaces the document no run going on.
bool HexEditorCommandEnabled(int command, const HexEditorMenuState& state);
