// The grid control's state record and what its two source files share: the cell store
// lookup, notifications, and the drawing of the picture, the current-cell frame and the
// in-place edit. Private to controls/grid_*_win.cpp.
#pragma once

#include <windows.h>

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

struct GridState {
    HWND window = nullptr;         // the control itself
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
    int cursorShape = 0;              // pointer: 0 not set yet, 1 arrow, 2 resize arrow
    bool dragSavedFitHeight = false;  // fitHeight, suspended while a drag runs
    int lastWidth = 100;              // size the last trim started from (the parent's)
    int lastHeight = 100;
    bool ownResize = false;     // the next WM_SIZE comes from the control's own move
    bool updatingBars = false;  // scroll bars are being shown or hidden
    bool caretShown = false;    // the edit caret is visible (ShowCaret calls nest)
    std::string scratch;        // last store string read; GridCellRecord texts borrow it
};

// The cell's store record; false when the cell has no string. The record's text borrows
// state.scratch and lasts until the next lookup.
bool LookupCell(GridState& state, int row, int column, GridCellRecord& record);

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

// Sends WM_COMMAND with the code to the parent; "cell" codes carry the current cell.
void Notify(GridState& state, WORD code, LPARAM lParam);
void NotifyCell(GridState& state, WORD code);

// Settles the scroll bars and invalidates the whole client without erase.
void Repaint(GridState& state);

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
