// The view side of a HexView32 control as plain data: style word, colours, column layout,
// caret, selection and scroll state. The window class (hexview_win.cpp) embeds it in its
// instance record; the arithmetic over it (hexview_layout.h, hexview_scroll.h,
// hexview_input.h) is portable and tested natively.
//
// Positions and sizes are unsigned 32-bit byte counts; columns are character cells; fields
// marked "pixels" are pixels. Everything runs on the control's window thread.
#pragma once

#include <cstdint>

// Style bits. Bits not named here are stored and carried without effect.
constexpr std::uint32_t HVS_DECIMALOFFSET = 0x00000001;     // addresses in decimal, 10 digits
constexpr std::uint32_t HVS_ADDRCOLON = 0x00000004;         // a colon after the address
constexpr std::uint32_t HVS_SEGOFFSET = 0x00000008;         // address as segment:offset
constexpr std::uint32_t HVS_NOADDRESS = 0x00000010;         // no address column
constexpr std::uint32_t HVS_FORMATMASK = 0x000000E0;        // number format field
constexpr std::uint32_t HVS_FORMAT_HEX = 0x00000000;
constexpr std::uint32_t HVS_FORMAT_DECIMAL = 0x00000020;
constexpr std::uint32_t HVS_FORMAT_OCTAL = 0x00000040;
constexpr std::uint32_t HVS_FORMAT_BINARY = 0x00000080;
constexpr std::uint32_t HVS_SHOWCONTROLCHARS = 0x00000800;  // bytes < 0x20 shown as themselves
constexpr std::uint32_t HVS_SHOWHIGHCHARS = 0x00001000;     // bytes >= 0x80 shown as themselves
constexpr std::uint32_t HVS_LOWERCASE = 0x00010000;         // lower-case hex digits, addresses
constexpr std::uint32_t HVS_FITTOWINDOW = 0x00020000;       // bytes per row follow the width
constexpr std::uint32_t HVS_MARKCHANGES = 0x00040000;       // edited bytes in changed colours
constexpr std::uint32_t HVS_TYPEREPLACESSEL = 0x00080000;   // typing first deletes the selection
constexpr std::uint32_t HVS_DRAGSOURCE = 0x00100000;        // the selection can be dragged out
constexpr std::uint32_t HVS_INSERTDEFAULT = 0x00200000;     // new documents start in insert mode
constexpr std::uint32_t HVS_DROPMAPPED = 0x00400000;        // dropped files are inserted mapped
constexpr std::uint32_t HVS_DROPACTIVATES = 0x00800000;     // a drag entering raises the window
constexpr std::uint32_t HVS_ADDRESSBITS = 0x0000001F;

constexpr std::uint32_t kHexViewDefaultStyle =
    HVS_DROPACTIVATES | HVS_DROPMAPPED | HVS_DRAGSOURCE | HVS_MARKCHANGES;
static_assert(kHexViewDefaultStyle == 0x00D40000);

constexpr std::uint32_t kHexViewMaxBytesPerRow = 20;  // limit of the explicit setter

// A colour word: with the top bit set the low 24 bits are a system colour index, resolved at
// every use; otherwise an RGB value in 0x00BBGGRR order.
constexpr std::uint32_t kSystemColor = 0x80000000;
constexpr std::uint32_t SystemColor(std::uint32_t index) { return kSystemColor | index; }
constexpr std::uint32_t kColorWindow = SystemColor(5);
constexpr std::uint32_t kColorWindowText = SystemColor(8);
constexpr std::uint32_t kColorHighlight = SystemColor(13);
constexpr std::uint32_t kColorHighlightText = SystemColor(14);

struct HexViewColors {
    std::uint32_t backColor = kColorWindow;               // background outside the selection
    std::uint32_t selBackColor = kColorHighlight;         // background of selected cells
    std::uint32_t addressColor = kColorWindowText;        // address column
    std::uint32_t oddDataColor = 0x00FF0000;              // number cells in odd columns (blue)
    std::uint32_t evenDataColor = 0x00800000;             // number cells in even columns
    std::uint32_t selOddDataColor = kColorHighlightText;  // selected number cells, odd columns
    std::uint32_t selEvenDataColor = kColorHighlightText; // selected number cells, even columns
    std::uint32_t charColor = kColorWindowText;           // character pane and the gap before it
    std::uint32_t selCharColor = kColorHighlightText;     // selected characters
    std::uint32_t changedColor = 0x000000FF;              // edited bytes, unselected (red)
    std::uint32_t selChangedColor = 0x00FFFF00;           // edited bytes, selected (cyan)
    std::uint32_t diffBackColor = 0x0080E0FF;             // background of bytes a compare
                                                          // found different (amber)
};

struct HexViewModel {
    std::uint32_t style = kHexViewDefaultStyle;  // HVS_* bits
    std::uint32_t dropActive = 0;       // 1 while an OLE drag hovers over the control
    std::uint32_t dragOutActive = 0;    // 1 while a drag started here is running
    std::uint32_t mouseDown = 0;        // the left button went down here and is not yet up
    std::uint32_t dragSelecting = 0;    // a left-button drag extends the selection (capture)
    std::uint32_t openedByMapping = 0;  // the current file was mapped rather than read
    std::uint32_t readOnly = 0;         // the document may not be changed
    std::uint32_t modified = 0;         // changed since opened, saved or committed
    std::uint32_t insertMode = 0;       // 1 insert, 0 overwrite
    std::uint32_t inTextPane = 0;       // caret in the character pane (1) or number pane (0)
    std::uint32_t digitIndex = 0;       // next typed digit's position inside the caret's byte
    std::uint32_t lastError = 0;        // HexError code of the last failed operation
    std::int32_t clientWidth = 0;       // pixels
    std::int32_t clientHeight = 0;      // pixels
    std::int32_t charWidth = 12;        // pixels per character
    std::int32_t lineHeight = 12;       // pixels per row
    std::uint32_t caretPos = 0;         // 0 .. docSize
    std::uint32_t selAnchor = 0;        // fixed end of the selection
    std::uint32_t selEnd = 0;           // moving end; empty selection when equal to selAnchor
    std::uint32_t caretCol = 0;         // 0 .. bytesPerRow; bytesPerRow is the end-of-row form
    std::int32_t caretRow = 0;          // row of the caret's cell relative to topRow
    std::uint32_t topRow = 0;           // first visible row (vertical scroll position)
    std::uint32_t leftCol = 0;          // first visible character column
    std::uint32_t vScrollMax = 0;       // rowCount - 1 (wraps to all ones when empty)
    std::uint32_t hScrollMax = 0;       // lineWidth
    std::uint32_t pageRows = 0;         // whole rows in the client, at most rowCount
    std::uint32_t pageCols = 0;         // whole columns in the client, at most lineWidth + 1
    std::uint32_t rowCount = 0;         // docSize / bytesPerRow rounded up
    std::uint32_t docSize = 0;          // document length, copied after every change
    HexViewColors colors;
    std::uint32_t addressWidth = 8;     // characters of the address column
    std::uint32_t bytesPerRow = 16;     // 1 .. 20 from the setter; unbounded under fit to window
    std::uint32_t addressGap = 2;       // blanks before the number pane
    std::uint32_t charGap = 2;          // blanks before the character pane
    std::uint32_t charColumn = 0;       // first column of the character pane
    std::uint32_t dataColumn = 0;       // first column of the number pane
    std::uint32_t lineWidth = 0;        // characters of one row
    std::uint32_t cellWidth = 3;        // characters per byte cell with its separator
    std::uint32_t rowGranularity = 1;   // bytes per row are a multiple of this
    char substituteChar = '.';          // shown for bytes not shown as themselves
};

inline std::uint32_t SelectionMin(const HexViewModel& m) {
    return m.selAnchor < m.selEnd ? m.selAnchor : m.selEnd;
}
inline std::uint32_t SelectionMax(const HexViewModel& m) {
    return m.selAnchor < m.selEnd ? m.selEnd : m.selAnchor;
}
inline std::uint32_t SelectionLength(const HexViewModel& m) {
    return SelectionMax(m) - SelectionMin(m);
}
inline bool InSelection(const HexViewModel& m, std::uint32_t offset) {
    return SelectionMin(m) <= offset && offset < SelectionMax(m);
}
