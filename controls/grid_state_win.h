// The grid control's state record and what its source files share. Private to
// controls/grid_*_win.cpp:
//   grid_control_win.cpp  the window procedure, creation, fonts, title and settings
//   grid_store_win.cpp    the cell store in the hidden list box, cell messages, clipboard
//   grid_input_win.cpp    the current cell, in-place editing, keys and mouse
//   grid_scroll_win.cpp   scroll bars, scrolling, sizing and the trim to whole rows
//   grid_paint_win.cpp    the picture, the current-cell frame and the in-place edit box
#pragma once

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "controls/grid_control_win.h"
#include "controls/grid_layout.h"

// A font slot: fonts the control made or was handed by GRM_SETTITLEFONT / GRM_SETHEADERFONT
// are its own and deleted by it; a font from WM_SETFONT stays the sender's.
struct GridFont {
    HFONT handle = nullptr;
    bool owned = false;
};

// The mouse pointer over the client area.
enum class GridPointer {
    Unset,   // not set by the control yet
    Arrow,   // the normal arrow
    Resize,  // the left-right arrow over a column border that can be dragged
};

struct GridState {
    explicit GridState(HWND control);  // makes the three fonts
    ~GridState();                      // deletes the fonts it owns, each once
    GridState(const GridState&) = delete;
    GridState& operator=(const GridState&) = delete;

    HWND window;                   // the control itself
    WORD controlId = 0;            // child id, in every notification
    HWND cellList = nullptr;       // hidden sorted list box holding the cells; a child
    char defaultProtection = 'U';  // protection letter of texts stored from now on
    std::string title;             // title band text, at most kGridMaxTitle characters
    std::string editBuffer;        // typed into the current cell, at most kGridMaxCellText
    GridLayout layout;             // counts, scroll origin, sizes, column widths
    int curRow = 1;                // the current cell
    int curCol = 1;
    int ownerDrawValue = 0;  // number after '~' of the owner-drawn cell being painted
    int hScrollMax = 0;      // columns with a non-zero width: the horizontal range
    int caretHeight = 0;     // ascent of the window's default font
    COLORREF cursorColor = RGB(255, 255, 255);       // pen of the XOR current-cell frame
    COLORREF protectedBkColor = RGB(255, 255, 255);  // protected cells
    COLORREF cellBkColor = RGB(255, 255, 255);       // other cells
    COLORREF textColor = RGB(0, 0, 0);               // cell text; grey while disabled
    COLORREF selBkColor = RGB(0, 0, 128);            // highlighted row or column, focused
    COLORREF gridColor = RGB(220, 220, 220);         // cell borders
    COLORREF selTextColor = RGB(255, 255, 255);      // highlighted text, focused
    bool highlightRow = true;                        // the whole current row is highlighted
    bool highlightCol = false;                       // the whole current column is highlighted
    bool curProtected = false;                       // the current cell is protected
    bool focused = false;                            // the control has the keyboard focus
    bool autoGrow = true;                            // storing beyond rowCount raises it
    bool frameShown = false;     // the XOR frame is on the screen, at cursorRect
    RECT cursorRect{};           // where the frame was last drawn
    int frameWidth = 1;          // and with which pen width
    GridFont cellFont;           // cell text
    GridFont headerFont;         // header row and column
    GridFont titleFont;          // title band
    bool showRowNumbers = true;  // header column shows row numbers, else texts of column 0
    bool showColLetters = true;  // header row shows letters, else texts of row 0
    bool editEnabled = false;    // typing edits the current cell
    bool editing = false;        // an in-place edit is open
    bool editTyped = false;      // a key changed the open edit; an untouched one stores nothing
    bool hScrollShown = false;   // the scroll bars as last set
    bool vScrollShown = false;
    bool fitHeight = false;           // WM_SIZE trims the window to whole rows
    bool singleLine = true;           // text cells on one line; else they wrap
    bool autoSize = false;            // storing text grows its row and column to fit
    bool resizing = false;            // a column-border drag is under way
    bool colResizeEnabled = false;    // column borders can be dragged
    bool textRight = false;           // text cells right-aligned (never with numberLeft)
    bool numberLeft = false;          // number cells left-aligned
    int resizeCol = 0;                // column being dragged
    int resizeStartWidth = 0;         // its width when the drag began
    int resizeStartX = 0;             // pointer x when the drag began
    GridPointer pointer = GridPointer::Unset;  // the pointer shape last set
    bool dragSavedFitHeight = false;  // fitHeight, suspended while a drag runs
    int lastWidth = 100;              // size the last trim started from (the parent's)
    int lastHeight = 100;
    bool ownResize = false;     // the next WM_SIZE comes from the control's own move
    bool updatingBars = false;  // scroll bars are being shown or hidden
    bool caretShown = false;    // the edit caret is visible (ShowCaret calls nest)
    std::string scratch;        // last store string read; GridCellRecord texts borrow it
};

// The last row the current cell and the scroll origin may take: row 1 also in a grid of no
// rows.
inline int LastRowOf(const GridState& state) {
    return std::max(state.layout.rowCount, 1);
}

// ---- grid_control_win.cpp ----

// Sends WM_COMMAND with the code to the parent; "cell" codes carry the current cell.
void Notify(GridState& state, WORD code, LPARAM lParam);
void NotifyCell(GridState& state, WORD code);

// ---- grid_store_win.cpp ----

// The cell's store record; false when the cell has no string. The record's text borrows
// state.scratch and lasts until the next lookup.
[[nodiscard]] bool LookupCell(GridState& state, int row, int column, GridCellRecord& record);

// A present cell of one row, as painting needs it.
struct GridRowCell {
    int column;
    char protection;
    char type;
    std::string text;
};

// The present cells of `row` with columns first..last, in column order: one search for the
// row's start, then a walk along the sorted store.
void ReadRowCells(GridState& state, int row, int first, int last, std::vector<GridRowCell>& cells);

// Reads whether the current cell is protected into curProtected. An edit open on a cell that
// has become protected is dropped, as Escape would drop it.
void RefreshCurProtected(GridState& state);

// The cell messages and the clipboard; wParam is the message's cell reference where it has one.
LRESULT OnSetCellProtect(GridState& state, WPARAM wParam, bool protect);
LRESULT OnSetCellText(GridState& state, WPARAM wParam, const char* text);
LRESULT OnGetCellText(GridState& state, WPARAM wParam, char* buffer);
LRESULT OnGetCellType(GridState& state, WPARAM wParam);
LRESULT OnIsCellProtected(GridState& state, WPARAM wParam);
LRESULT OnDeleteCell(GridState& state, WPARAM wParam);
LRESULT OnClearAll(GridState& state);
LRESULT OnCopy(GridState& state);
LRESULT OnPaste(GridState& state);

// ---- grid_input_win.cpp ----

// What the parent hears when a cell is made current.
enum class CellNotice {
    None,     // nothing
    IfMoved,  // GRN_CURMOVED and GRN_CURCHANGED when the cell changed
    Always,   // GRN_CURMOVED and GRN_CURCHANGED
    Click,    // GRN_CLICK, then GRN_CURMOVED and GRN_CURCHANGED when the cell changed
};

// Makes (row, column) current, the one way every caller does it: an open edit is committed to
// the cell it was typed into, the frame moves, the parent hears `notice`, curProtected is
// refreshed, the cell is brought into view and the control repaints.
void MakeCurrent(GridState& state, int row, int column, CellNotice notice);

// Stores an open edit into the current cell, or closes it without storing. An edit nothing
// was typed into (a double click to look at a cell) closes without storing.
void CommitEdit(GridState& state);
void CancelEdit(GridState& state);

// After the grid shrank: keeps the scroll origin and the current cell inside it. An edit whose
// cell left the grid is dropped, and a move of the current cell is announced as any move is.
void KeepCurrentInGrid(GridState& state);

LRESULT OnSelectCell(GridState& state, int row, int column);
LRESULT OnSetFocus(GridState& state);
LRESULT OnKillFocus(GridState& state);
LRESULT OnKeyDown(GridState& state, WPARAM key, LPARAM lParam);
LRESULT OnGetDlgCode(GridState& state, const MSG* message);
LRESULT OnMouseMove(GridState& state, int x, int y);
LRESULT OnLButtonDown(GridState& state, int x, int y);
LRESULT OnLButtonDblClk(GridState& state, int x, int y);
LRESULT OnSetCursor(GridState& state, UINT message, WPARAM wParam, LPARAM lParam);
// Ends a column-border drag, if one runs.
void EndColumnDrag(GridState& state);

// ---- grid_scroll_win.cpp ----

// Settles the scroll bars and invalidates the whole client without erase.
void Repaint(GridState& state);

// Shows, hides and sets both bars for the current layout. True when that changed the client
// size (and the change was handled): a size the caller worked from is then out of date.
bool UpdateScrollBars(GridState& state);

// Scrolls the least that brings the current cell into view, repainting when it scrolled.
void BringCurrentIntoView(GridState& state);

// Runs the size handling (and so the trim to whole rows) again from the parent's last size.
void ResizeSelf(GridState& state);

LRESULT OnVScroll(GridState& state, int code);
LRESULT OnHScroll(GridState& state, int code);
LRESULT OnMouseWheel(GridState& state, int delta);
// Records the client size and, for a size the parent (or a scroll bar) set, trims the window
// to whole rows when fitHeight asks for it.
void OnSizeChanged(GridState& state, int width, int height);

// ---- grid_paint_win.cpp ----

// WM_PAINT: renders the whole picture off-screen, copies it, lets the parent draw owner-drawn
// cells, then draws the in-place edit and the current-cell frame on top.
void PaintGrid(GridState& state);

// The current-cell frame, drawn in XOR so that drawing it twice restores the picture.
void DrawFrame(GridState& state);   // draws it at the current cell unless shown or hidden
void EraseFrame(GridState& state);  // takes it off where it was drawn
void ToggleFrame(GridState& state);

// Draws the in-place edit box over the current cell and places the caret; hides the caret
// when the cell is out of view.
void DrawEdit(GridState& state, HDC dc);
void DrawEdit(GridState& state);

// The edit caret exists while the control has the focus; these keep ShowCaret and HideCaret
// balanced, since the platform counts them.
void ShowEditCaret(GridState& state);
void HideEditCaret(GridState& state);
