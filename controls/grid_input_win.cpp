// The grid's current cell, in-place editing, keys, mouse and column-border drags.
#include <algorithm>

#include "controls/grid_state_win.h"
#include "platform/win32_handles.h"

namespace {

constexpr LRESULT kDialogCode = DLGC_WANTARROWS | DLGC_DEFPUSHBUTTON | DLGC_WANTCHARS;
static_assert(kDialogCode == 0x91);

bool EditAllowed(GridState& state) {
    if (!state.editEnabled || state.layout.rowCount <= 0) return false;
    RefreshCurProtected(state);
    return !state.curProtected;
}

// Opens an edit on the current cell when one may open; true when one is open.
bool BeginEdit(GridState& state) {
    if (state.editing) return true;
    if (!EditAllowed(state)) return false;
    state.editing = true;
    state.editTyped = false;
    state.editBuffer.clear();
    NotifyCell(state, GRN_EDITBEGIN);
    return true;
}

void TypeCharacter(GridState& state, char character) {
    if (!state.editing && !EditAllowed(state)) return;
    BringCurrentIntoView(state);
    BeginEdit(state);
    state.editTyped = true;
    if (state.editBuffer.size() >= kGridMaxCellText) {
        MessageBeep(0);
        return;
    }
    state.editBuffer += character;
    DrawEdit(state);
}

void Backspace(GridState& state) {
    if (!BeginEdit(state)) return;
    state.editTyped = true;  // Backspace into an empty edit is how a cell is emptied
    if (!state.editBuffer.empty()) state.editBuffer.pop_back();
    DrawEdit(state);
}

void MoveDown(GridState& state) {
    int row = state.curRow;
    if (state.layout.rowCount > 0 && row < state.layout.rowCount) ++row;
    MakeCurrent(state, row, state.curCol, CellNotice::IfMoved);
}

void MoveSideways(GridState& state, int step) {
    int column = NeighbourColumn(state.layout, state.curCol, step);
    MakeCurrent(state, state.curRow, column != 0 ? column : state.curCol, CellNotice::Always);
}

void ShowPointer(GridPointer pointer) {
    SetCursor(LoadCursorA(nullptr, pointer == GridPointer::Resize ? IDC_SIZEWE : IDC_ARROW));
}

void SetPointer(GridState& state, GridPointer pointer) {
    if (pointer == state.pointer) return;
    state.pointer = pointer;
    ShowPointer(pointer);
}

void BeginColumnDrag(GridState& state, int x) {
    const GridLayout& layout = state.layout;
    int column = ColumnAt(layout, x);
    int dragged;
    if (ColumnAt(layout, x + 10) != column) {
        dragged = column;
    } else if (column < 0) {
        dragged = LastShownColumn(layout);  // past the last column: its right border
    } else {
        dragged = column > 0 ? NeighbourColumn(layout, column, -1) : 0;
    }
    if (dragged < 0) return;
    if (!state.resizing) state.dragSavedFitHeight = state.fitHeight;
    state.fitHeight = false;
    state.resizing = true;
    state.resizeStartX = x;
    state.resizeCol = dragged;
    state.resizeStartWidth = layout.colWidth[dragged];
    SetCapture(state.window);
}

// Selects the clicked data cell; a click beside the data cells selects nothing.
void ClickCell(GridState& state, int x, int y) {
    int row = RowAt(state.layout, y);
    int column = ColumnAt(state.layout, x);
    if (row > 0 && column > 0) {
        MakeCurrent(state, row, column, CellNotice::Click);
    } else {
        MakeCurrent(state, state.curRow, state.curCol, CellNotice::None);
    }
}

}  // namespace

void CancelEdit(GridState& state) {
    if (!state.editing) return;
    state.editing = false;
    state.editBuffer.clear();
    HideEditCaret(state);
    Repaint(state);
    NotifyCell(state, GRN_EDITEND);
}

void CommitEdit(GridState& state) {
    if (!state.editing) return;
    if (!state.editTyped) {
        CancelEdit(state);
        return;
    }
    std::string text = std::move(state.editBuffer);
    state.editBuffer.clear();
    state.editing = false;
    HideEditCaret(state);
    GridCellRef ref{state.curRow, state.curCol};
    SendMessageA(state.window, GRM_SETCELLTEXT, reinterpret_cast<WPARAM>(&ref),
                 reinterpret_cast<LPARAM>(text.c_str()));
    Repaint(state);
    NotifyCell(state, GRN_EDITEND);
}

void MakeCurrent(GridState& state, int row, int column, CellNotice notice) {
    CommitEdit(state);
    EraseFrame(state);
    bool moved = row != state.curRow || column != state.curCol;
    state.curRow = row;
    state.curCol = column;
    if (notice == CellNotice::Click) NotifyCell(state, GRN_CLICK);
    if (notice == CellNotice::Always || (notice != CellNotice::None && moved)) {
        NotifyCell(state, GRN_CURMOVED);
        NotifyCell(state, GRN_CURCHANGED);
    }
    DrawFrame(state);
    RefreshCurProtected(state);
    BringCurrentIntoView(state);
    Repaint(state);
}

void KeepCurrentInGrid(GridState& state) {
    GridLayout& layout = state.layout;
    layout.firstRow = std::clamp(layout.firstRow, 1, LastRowOf(state));
    layout.firstCol = std::clamp(layout.firstCol, 1, layout.colCount);
    // The typed text has no cell left to go to; stored where the current cell lands, it would
    // overwrite a cell the user never edited.
    if (state.curRow > layout.rowCount || state.curCol > layout.colCount) CancelEdit(state);
    int row = std::clamp(state.curRow, 1, LastRowOf(state));
    int column = std::clamp(state.curCol, 1, layout.colCount);
    if (row != state.curRow || column != state.curCol) {
        MakeCurrent(state, row, column, CellNotice::IfMoved);
    }
}

LRESULT OnSelectCell(GridState& state, int row, int column) {
    if (row < 1 || row > state.layout.rowCount || column < 1 || column > state.layout.colCount) {
        return 0;
    }
    MakeCurrent(state, row, column, CellNotice::None);
    return 0;
}

LRESULT OnSetFocus(GridState& state) {
    EraseFrame(state);
    state.focused = true;  // the frame comes back in its focused width
    MakeCurrent(state, state.curRow, state.curCol, CellNotice::None);
    Notify(state, GRN_SETFOCUS, 0);
    TEXTMETRICA metrics{};
    {
        WindowDc dc(state.window);
        GetTextMetricsA(dc.get(), &metrics);
    }
    state.caretHeight = metrics.tmAscent;
    CreateCaret(state.window, nullptr, 3, state.caretHeight);
    state.caretShown = false;
    Repaint(state);
    return 0;
}

LRESULT OnKillFocus(GridState& state) {
    DestroyCaret();
    state.caretShown = false;
    EraseFrame(state);
    state.focused = false;
    Notify(state, GRN_KILLFOCUS, 0);
    CommitEdit(state);
    Repaint(state);
    return 0;
}

LRESULT OnKeyDown(GridState& state, WPARAM key, LPARAM lParam) {
    const GridLayout& layout = state.layout;
    int page = std::max(VisibleRows(layout), 1);
    switch (key) {
        case VK_BACK: Backspace(state); break;
        case VK_TAB: SetFocus(GetParent(state.window)); break;
        case VK_RETURN:
        case VK_DOWN: MoveDown(state); break;
        case VK_ESCAPE: CancelEdit(state); break;
        case VK_PRIOR:
            MakeCurrent(state, std::max(state.curRow - page, 1), state.curCol, CellNotice::Always);
            break;
        case VK_NEXT:
            MakeCurrent(state, std::clamp(state.curRow + page, 1, LastRowOf(state)), state.curCol,
                        CellNotice::Always);
            break;
        case VK_LEFT: MoveSideways(state, -1); break;
        case VK_UP:
            MakeCurrent(state, std::max(state.curRow - 1, 1), state.curCol, CellNotice::IfMoved);
            break;
        case VK_RIGHT: MoveSideways(state, +1); break;
        case VK_DELETE: NotifyCell(state, GRN_DELETEKEY); break;
        default:
            if (key >= VK_F1 && key <= VK_F12) {
                NotifyCell(state, static_cast<WORD>(GRN_FKEY_FIRST + (key - VK_F1)));
                break;
            }
            BYTE keys[256];
            GetKeyboardState(keys);
            WORD translated = 0;
            UINT scanCode = (static_cast<UINT>(lParam) >> 16) & 0xFF;
            if (ToAscii(static_cast<UINT>(key), scanCode, keys, &translated, 0) == 1) {
                char character = static_cast<char>(translated & 0xFF);
                if (character >= 32 && character <= 125) TypeCharacter(state, character);
            }
            break;
    }
    return 0;
}

// Inside a dialog, Enter and Escape reach the control only as this question; Enter commits
// and moves down here. An open edit also claims Escape, so that cancelling the edit does not
// cancel the dialog as well (the key then arrives as WM_KEYDOWN and finds the edit closed).
LRESULT OnGetDlgCode(GridState& state, const MSG* message) {
    LRESULT code = kDialogCode;
    if (message == nullptr || message->message != WM_KEYDOWN) return code;
    if (message->wParam == VK_RETURN) {
        MoveDown(state);
    } else if (message->wParam == VK_ESCAPE && state.editing) {
        CancelEdit(state);
        code |= DLGC_WANTMESSAGE;
    }
    return code;
}

LRESULT OnMouseMove(GridState& state, int x, int y) {
    const GridLayout& layout = state.layout;
    int row = RowAt(layout, y);
    int column = ColumnAt(layout, x);
    int right = ColumnAt(layout, x + 10);
    int left = ColumnAt(layout, x - 10);
    if (state.resizing) {
        int width = std::max(x + state.resizeStartWidth - state.resizeStartX, 0);
        SendMessageA(state.window, GRM_SETCOLWIDTH, state.resizeCol, width);
    }
    bool onBorder = state.colResizeEnabled && row == 0 && !(column == right && column == left);
    SetPointer(state, state.resizing || onBorder ? GridPointer::Resize : GridPointer::Arrow);
    return 0;
}

void EndColumnDrag(GridState& state) {
    if (!state.resizing) return;
    state.resizing = false;
    if (GetCapture() == state.window) ReleaseCapture();
    SetPointer(state, GridPointer::Arrow);
    state.fitHeight = state.dragSavedFitHeight;
    ResizeSelf(state);
}

LRESULT OnLButtonDown(GridState& state, int x, int y) {
    if (state.pointer == GridPointer::Resize && state.colResizeEnabled) BeginColumnDrag(state, x);
    if (state.editing) {
        CommitEdit(state);
    } else if (!state.focused) {
        SetFocus(state.window);  // the first click only takes the focus
        return 0;
    }
    ClickCell(state, x, y);
    return 0;
}

// Opens an edit with an empty buffer on the double-clicked data cell. The first click of the
// pair selected it, unless it only took the focus; then it is selected here.
LRESULT OnLButtonDblClk(GridState& state, int x, int y) {
    if (state.pointer == GridPointer::Resize) return OnLButtonDown(state, x, y);
    int row = RowAt(state.layout, y);
    int column = ColumnAt(state.layout, x);
    if (row <= 0 || column <= 0) return 0;
    if (row != state.curRow || column != state.curCol) ClickCell(state, x, y);
    if (BeginEdit(state)) DrawEdit(state);
    return 0;
}

LRESULT OnSetCursor(GridState& state, UINT message, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(lParam) != HTCLIENT) return DefWindowProcA(state.window, message, wParam, lParam);
    ShowPointer(state.pointer);
    return TRUE;
}
