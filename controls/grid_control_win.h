// KVGRIDCONTROL: a spreadsheet-like child window of up to 32000 rows by 256 columns of text
// cells, with a title band, column letters, row numbers, protection, check-box and
// owner-drawn cells, in-place editing and tab-separated clipboard text. The owner drives it
// with the GRM_ messages below and hears from it through WM_COMMAND notifications:
// LOWORD(wParam) = the control's id, HIWORD(wParam) = one of the GRN_ codes.
#pragma once

#include <windows.h>

#include "controls/grid_rules.h"

constexpr char kGridControlClass[] = "KVGRIDCONTROL";

// A cell, passed by address. Valid: row 0..32000, column 0..256; row 0 holds the column
// headers' texts, column 0 the row headers'. An invalid reference sends GRN_BADREF and the
// message returns its "bad ref" result.
struct GridCellRef {
    int row;
    int column;
};

// Messages. wParam / lParam, then the result.
constexpr UINT GRM_SETCELLPROTECT = WM_USER + 1;     // GridCellRef*, protect; 0, bad ref -1
constexpr UINT GRM_SETDEFAULTPROTECT = WM_USER + 2;  // protect new texts; 0
constexpr UINT GRM_SETCELLTEXT = WM_USER + 3;        // GridCellRef*, text; 1, bad ref 0
// GridCellRef*, buffer of at least kGridMaxCellText + 1 bytes; 1, bad ref 0
constexpr UINT GRM_GETCELLTEXT = WM_USER + 4;
constexpr UINT GRM_CLEARALL = WM_USER + 5;              // removes every cell, 0 rows; 0
constexpr UINT GRM_SETSIZE = WM_USER + 6;               // rows, columns; 0
constexpr UINT GRM_DELETECELL = WM_USER + 7;            // GridCellRef*; 0, bad ref -1
constexpr UINT GRM_SELECTCELL = WM_USER + 8;            // row, column; 0
constexpr UINT GRM_SETAUTOGROW = WM_USER + 9;           // flag; 0
constexpr UINT GRM_GETOWNERDRAWVALUE = WM_USER + 10;    // the number after '~' being drawn
constexpr UINT GRM_SETCOLWIDTH = WM_USER + 11;          // column 0..256, width >= 0; 0
constexpr UINT GRM_SETHEADERHEIGHT = WM_USER + 12;      // height; 0
constexpr UINT GRM_GETCELLTYPE = WM_USER + 13;          // GridCellRef*; 1..5, 0 missing or bad
constexpr UINT GRM_ISCELLPROTECTED = WM_USER + 14;      // GridCellRef*; 1, 0, -1 missing or bad
constexpr UINT GRM_TOGGLECURSOR = WM_USER + 15;         // XORs the current-cell frame; 0
constexpr UINT GRM_SETROWHEIGHT = WM_USER + 16;         // height (0 taken as 1); 0
constexpr UINT GRM_SETCURSORCOLOR = WM_USER + 17;       // colour; 0
constexpr UINT GRM_SETPROTECTEDBKCOLOR = WM_USER + 18;  // colour; 0
constexpr UINT GRM_SETCELLBKCOLOR = WM_USER + 19;       // colour; 0
constexpr UINT GRM_SHOWROWNUMBERS = WM_USER + 20;       // flag; 0
constexpr UINT GRM_SHOWCOLLETTERS = WM_USER + 21;       // flag; 0
constexpr UINT GRM_GETROWS = WM_USER + 23;
constexpr UINT GRM_GETCOLS = WM_USER + 24;
constexpr UINT GRM_NOTIFYSELECTION = WM_USER + 25;   // sends GRN_CURMOVED, GRN_CURCHANGED; 0
constexpr UINT GRM_NOTIFYSELECTION2 = WM_USER + 26;  // the same
constexpr UINT GRM_GETCURROW = WM_USER + 27;
constexpr UINT GRM_GETCURCOL = WM_USER + 28;
constexpr UINT GRM_REDRAW = WM_USER + 29;       // repaints at once; 0
constexpr UINT GRM_GETCOLWIDTH = WM_USER + 30;  // column; its width (0 outside 0..256)
constexpr UINT GRM_GETROWHEIGHT = WM_USER + 31;
constexpr UINT GRM_GETHEADERHEIGHT = WM_USER + 32;
constexpr UINT GRM_SETTITLEHEIGHT = WM_USER + 33;    // height; 0
constexpr UINT GRM_SETSELBKCOLOR = WM_USER + 34;     // colour; 0
constexpr UINT GRM_SETSELTEXTCOLOR = WM_USER + 35;   // colour; 0
constexpr UINT GRM_ENABLEEDIT = WM_USER + 36;        // flag; 0
constexpr UINT GRM_SETGRIDCOLOR = WM_USER + 37;      // colour; 0
constexpr UINT GRM_SETEXTENDLASTCOL = WM_USER + 38;  // flag; 0
constexpr UINT GRM_SETFITHEIGHT = WM_USER + 39;      // flag; 0
constexpr UINT GRM_SETSINGLELINE = WM_USER + 40;     // flag; 0
constexpr UINT GRM_SETAUTOSIZE = WM_USER + 41;       // flag; 0
constexpr UINT GRM_ENABLECOLRESIZE = WM_USER + 42;   // flag; 0
// Font handed over: the control owns it from then on and deletes it; 0
constexpr UINT GRM_SETTITLEFONT = WM_USER + 43;
constexpr UINT GRM_SETHEADERFONT = WM_USER + 44;
constexpr UINT GRM_SETTEXTRIGHT = WM_USER + 45;     // flag (clears number-left); 0
constexpr UINT GRM_SETNUMBERLEFT = WM_USER + 46;    // flag (clears text-right); 0
constexpr UINT GRM_SETHIGHLIGHTROW = WM_USER + 47;  // flag; 0
constexpr UINT GRM_SETHIGHLIGHTCOL = WM_USER + 48;  // flag; 0
constexpr UINT GRM_SETTEXTCOLOR = WM_USER + 49;     // colour; 0
constexpr UINT GRM_COPY = WM_USER + 50;             // whole grid as CF_TEXT; 1, 0 failed
constexpr UINT GRM_PASTE = WM_USER + 51;            // CF_TEXT into the grid from (1, 1); 0

static_assert(GRM_SETCELLPROTECT == 1025 && GRM_SETTEXTRIGHT == 1069 && GRM_PASTE == 1075);

// Notification codes. "cell" means lParam = MAKELPARAM(current row, current column).
constexpr WORD GRN_BADREF = 3;       // lParam 0: a message got an invalid cell reference
constexpr WORD GRN_OWNERDRAW = 4;    // lParam RECT* (client coordinates): draw the '~' cell
                                     // whose number GRM_GETOWNERDRAWVALUE returns
constexpr WORD GRN_CURCHANGED = 5;   // cell: the current cell changed (after GRN_CURMOVED)
constexpr WORD GRN_CURMOVED = 7;     // cell: the current cell changed
constexpr WORD GRN_EDITBEGIN = 8;    // cell: an in-place edit opened
constexpr WORD GRN_DELETEKEY = 9;    // cell: the Delete key
constexpr WORD GRN_EDITEND = 10;     // cell: an edit was committed or cancelled, a cell deleted
constexpr WORD GRN_FKEY_FIRST = 11;  // cell: F1 gives 11 ... F12 gives 22
constexpr WORD GRN_FKEY_LAST = 22;
constexpr WORD GRN_SETFOCUS = 23;    // lParam 0
constexpr WORD GRN_KILLFOCUS = 24;   // lParam 0
constexpr WORD GRN_CLICK = 25;       // cell: a data cell was clicked (already current)
constexpr WORD GRN_CELLSTORED = 32;  // lParam MAKELPARAM(row, column) stored by GRM_SETCELLTEXT

// Window procedure; registered by RegisterControlLibrary.
LRESULT CALLBACK GridControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
