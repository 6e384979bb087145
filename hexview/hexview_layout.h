// Column layout, row text, colour runs of a row, hit testing and caret placement of a
// HexView32 control, as arithmetic over HexViewModel. Portable; the window class only draws
// and positions what these compute.
#pragma once

#include <cstdint>
#include <vector>

#include "document/hex_compare.h"
#include "hexview/hexview_model.h"

// Characters per byte cell, separator included, for the style's number format: 3 hexadecimal,
// 4 decimal or octal, 9 binary; current for a format field value that names no format.
std::uint32_t HexViewCellWidth(std::uint32_t style, std::uint32_t current);

// Characters of the address column for the style's address bits.
std::uint32_t HexViewAddressWidth(std::uint32_t style);

// dataColumn, charColumn, lineWidth from the widths and gaps, and rowCount from docSize.
void HexViewComputeLayout(HexViewModel& m);

// Rows that size bytes take at the current bytes per row, rounded up.
std::uint32_t HexViewRowsFor(const HexViewModel& m, std::uint32_t size);

// The character shown for a byte in the character pane.
char HexViewDisplayChar(const HexViewModel& m, std::uint8_t byte);

// Writes the text of one row: count bytes (1 .. bytesPerRow) starting at document offset.
// text must hold lineWidth + 1 characters; every row is exactly lineWidth characters.
char* HexViewFormatLine(const HexViewModel& m, char* text, const std::uint8_t* bytes,
                        std::uint32_t count, std::uint32_t offset);

// The digits of one byte alone in the style's number format (2, 3, 3 or 8 characters), with a
// terminator; out holds at least 9. Returns the number of digits.
int HexViewFormatByte(std::uint32_t style, std::uint8_t byte, char* out);

// A stretch of a formatted row drawn in one colour pair. Colours are unresolved colour words.
struct HexTextRun {
    std::uint32_t start;      // first character in the row text
    std::uint32_t length;     // characters
    std::uint32_t textColor;
    std::uint32_t backColor;
};

// Marks of a row's bytes, bits that combine: the document's read gives kHexMarkEdited, the
// differences of a compare add kHexMarkDiffers.
constexpr std::uint8_t kHexMarkEdited = 1;   // the byte comes from an edit
constexpr std::uint8_t kHexMarkDiffers = 2;  // the last compare found it different

// Adds kHexMarkDiffers to the marks of the count bytes from rowStart that lie in a listed range.
void HexViewMarkDifferences(const HexDiffList& list, std::uint32_t rowStart, std::uint32_t count,
                            std::uint8_t* marks);

// How to draw the row that starts at rowStart and holds count bytes (0 .. bytesPerRow): the
// address, the number pane with selection, edited and differing bytes, the gap and the
// character pane, left to right, covering exactly lineWidth characters. marks holds count
// entries (kHexMark bits). A background runs through the separator between two bytes that
// share it and stops right after the digits of the last. Neighbouring stretches of one colour
// pair are merged, so a row of uniform colours takes a handful of runs.
void HexViewRowRuns(const HexViewModel& m, std::uint32_t rowStart, std::uint32_t count,
                    const std::uint8_t* marks, std::vector<HexTextRun>& runs);

// A row as few drawing calls: the stretches whose background is not backColor, and one pass per
// text colour holding every character of that colour, left to right. Blanks are left out (the
// background shows there). steps[k] is the number of columns from character k to the next one
// of its pass (1 after the pass's last), so that one call can draw a whole pass.
struct HexTextPass {
    std::uint32_t color;  // unresolved colour word
    std::uint32_t first;  // its characters: chars[first .. first + count)
    std::uint32_t count;
};
struct HexRowPaint {
    std::vector<HexTextRun> backs;  // textColor unused; neighbours of one colour merged
    std::vector<HexTextPass> passes;
    std::vector<char> chars;
    std::vector<std::uint32_t> columns;  // the column of each character
    std::vector<std::uint32_t> steps;
};
void HexViewRowPaint(const HexViewModel& m, const char* text, const std::vector<HexTextRun>& runs,
                     HexRowPaint& paint);

// The byte column under client x (pixels), 0 .. bytesPerRow.
std::uint32_t HexViewHitColumn(const HexViewModel& m, std::int32_t x);

// Whether client x lies in the character pane (the number pane keeps the first three quarters
// of the gap between the panes).
bool HexViewTextPaneAt(const HexViewModel& m, std::int32_t x);
inline void HexViewSetPaneFromX(HexViewModel& m, std::int32_t x) {
    m.inTextPane = HexViewTextPaneAt(m, x) ? 1 : 0;
}

// The document offset under a client point; rows past the last one count as the last row.
// The result may pass docSize (a click right of a short last row); callers clamp it.
std::uint64_t HexViewOffsetAt(const HexViewModel& m, std::int32_t x, std::int32_t y);

// caretCol and caretRow from caretPos (caretPos mod bytesPerRow, its row relative to topRow).
void HexViewCaretCellFromPos(HexViewModel& m);

// As HexViewCaretCellFromPos, but a caret in the end-of-row form keeps that form.
void HexViewCaretCellKeepingEndOfRow(HexViewModel& m);

// Where the system caret goes, in client pixels. At the end of a document whose size is a
// multiple of bytesPerRow, first puts the caret cell into the end-of-row form.
struct HexPoint {
    std::int32_t x;
    std::int32_t y;
};
HexPoint HexViewCaretPoint(HexViewModel& m);

// Client rectangles (pixels) that hold the cells of the bytes between two offsets (either
// order), limited to the rows on the screen. Appended to rects.
struct HexRect {
    std::int32_t left, top, right, bottom;
};
void HexViewRangeRects(const HexViewModel& m, std::uint32_t from, std::uint32_t to,
                       std::vector<HexRect>& rects);

// Bytes per row that fit the client width for fit to window: at least 1, no upper limit.
std::uint32_t HexViewFitBytesPerRow(const HexViewModel& m);

// The left edge of the number pane and of the address column in client pixels.
std::int32_t HexViewColumnX(const HexViewModel& m, std::uint32_t column);
