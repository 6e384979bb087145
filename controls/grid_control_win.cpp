#include "controls/grid_control_win.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "controls/grid_state_win.h"
#include "platform/win32_handles.h"

namespace {

constexpr LRESULT kDialogCode = DLGC_WANTARROWS | DLGC_DEFPUSHBUTTON | DLGC_WANTCHARS;
static_assert(kDialogCode == 0x91);
constexpr COLORREF kDisabledTextColor = RGB(0x78, 0x78, 0x78);
constexpr char kTitleTooLong[] = "Title too long (300 chars max)";
constexpr int kLinearSearchBelow = 12;  // smaller stores use the list box's own prefix search
constexpr int kWheelLines = 3;

GridState* GetState(HWND window) {
    return reinterpret_cast<GridState*>(GetWindowLongPtrA(window, 0));
}

HFONT MakeFont(int weight) {
    return CreateFontA(14, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                       VARIABLE_PITCH | FF_MODERN, "Arial");
}

int StringCount(const GridState& state) {
    LRESULT count = SendMessageA(state.cellList, LB_GETCOUNT, 0, 0);
    return count == LB_ERR ? 0 : static_cast<int>(count);
}

// Reads string `index` into state.scratch, sized from the list box's own length so that no
// string can overrun it. Empty when there is no such string.
std::string_view ReadString(GridState& state, int index) {
    LRESULT length = SendMessageA(state.cellList, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR) return {};
    state.scratch.resize(static_cast<std::size_t>(length) + 1);
    LRESULT copied = SendMessageA(state.cellList, LB_GETTEXT, index,
                                  reinterpret_cast<LPARAM>(state.scratch.data()));
    state.scratch.resize(copied == LB_ERR ? 0 : static_cast<std::size_t>(copied));
    return state.scratch;
}

int FindCell(GridState& state, int row, int column) {
    int count = StringCount(state);
    auto key = MakeCellKey(row, column);
    if (count > 0 && count < kLinearSearchBelow) {
        LRESULT index = SendMessageA(state.cellList, LB_FINDSTRING, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(key.data()));
        return index == LB_ERR ? -1 : static_cast<int>(index);
    }
    return FindCellIndex(count, key.data(), [&](int index) { return ReadString(state, index); });
}

void DeleteString(GridState& state, int index) {
    SendMessageA(state.cellList, LB_DELETESTRING, index, 0);
}

// Puts `string` in place of string `oldIndex` (-1: a new cell). The old string goes only once
// the new one is in, so a refused string (out of memory) leaves the cell as it was; the user
// hears the refusal.
void StoreString(GridState& state, int oldIndex, const std::string& string) {
    LRESULT index =
        SendMessageA(state.cellList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(string.c_str()));
    if (index == LB_ERR || index == LB_ERRSPACE) {
        MessageBeep(0);
        return;
    }
    if (oldIndex >= 0) DeleteString(state, index <= oldIndex ? oldIndex + 1 : oldIndex);
}

// The reference a message carries, or null after telling the parent it is invalid.
const GridCellRef* CheckRef(GridState& state, WPARAM wParam) {
    auto* ref = reinterpret_cast<const GridCellRef*>(wParam);
    if (ref != nullptr && IsValidGridCell(ref->row, ref->column)) return ref;
    Notify(state, GRN_BADREF, 0);
    return nullptr;
}

int LastRowOf(const GridState& state) {
    return std::max(state.layout.rowCount, 1);
}

void RefreshCurProtected(GridState& state) {
    GridCellRecord record;
    state.curProtected =
        LookupCell(state, state.curRow, state.curCol, record) && record.protection == 'P';
}

void InvalidateCell(GridState& state, int row, int column) {
    const GridLayout& layout = state.layout;
    bool rowShown = row == 0 || (row >= layout.firstRow && row <= LastVisibleRow(layout));
    bool columnShown =
        column == 0 || (column >= layout.firstCol && column <= LastVisibleColumn(layout));
    if (!rowShown || !columnShown) return;
    GridRect cell = CellRect(layout, row, column);
    RECT rect{cell.left, cell.top, cell.right + 1, cell.bottom + 1};
    InvalidateRect(state.window, &rect, FALSE);
}

void BringCurrentIntoView(GridState& state) {
    if (BringCellIntoView(state.layout, state.curRow, state.curCol)) Repaint(state);
}

// Re-runs the size handling (and so the trim to whole rows) from the parent's last size.
void ResizeSelf(GridState& state) {
    SendMessageA(state.window, WM_SIZE, SIZE_MAXIMIZED,
                 MAKELPARAM(state.lastWidth, state.lastHeight));
}

// Sets a bar's range 1..maximum and its position, touching it only when they differ: a new
// range may show the bar, which UpdateScrollBars then settles.
void SetBar(HWND window, int bar, int maximum, int position) {
    SCROLLINFO info{sizeof info, SIF_RANGE | SIF_POS, 0, 0, 0, 0, 0};
    if (GetScrollInfo(window, bar, &info) && info.nMin == 1 && info.nMax == maximum &&
        info.nPos == position) {
        return;
    }
    info = SCROLLINFO{sizeof info, SIF_RANGE | SIF_POS, 1, maximum, 0, position, 0};
    SetScrollInfo(window, bar, &info, TRUE);
}

void ShowBar(HWND window, int bar, DWORD styleBit, bool show) {
    bool shown = (GetWindowLongA(window, GWL_STYLE) & styleBit) != 0;
    if (shown != show) ShowScrollBar(window, bar, show ? TRUE : FALSE);
}

void OnSizeChanged(GridState& state, int width, int height);

// Shows, hides and sets both bars for the current layout. Showing or hiding a bar resizes the
// client; the nested WM_SIZE only records the size, and the change is handled once the bars
// are settled. True when it was: the size the caller worked from is then out of date.
bool UpdateScrollBars(GridState& state) {
    if (state.updatingBars) return false;
    state.updatingBars = true;
    RECT before;
    GetClientRect(state.window, &before);
    int vBar = GetSystemMetrics(SM_CXVSCROLL);
    int hBar = GetSystemMetrics(SM_CYHSCROLL);
    LONG style = GetWindowLongA(state.window, GWL_STYLE);
    int fullWidth = before.right + ((style & WS_VSCROLL) != 0 ? vBar : 0);
    int fullHeight = before.bottom + ((style & WS_HSCROLL) != 0 ? hBar : 0);
    ScrollBarNeeds needs = NeededScrollBars(state.layout, fullWidth, fullHeight, vBar, hBar);

    GridLayout settled = state.layout;
    settled.clientWidth = fullWidth - (needs.vertical ? vBar : 0);
    settled.clientHeight = fullHeight - (needs.horizontal ? hBar : 0);
    state.hScrollMax = ShownColumnsUpTo(settled, settled.colCount);
    SetBar(state.window, SB_VERT, VScrollMax(settled), settled.firstRow);
    SetBar(state.window, SB_HORZ, std::max(state.hScrollMax, 1),
           ShownColumnsUpTo(settled, settled.firstCol));
    ShowBar(state.window, SB_VERT, WS_VSCROLL, needs.vertical);
    ShowBar(state.window, SB_HORZ, WS_HSCROLL, needs.horizontal);
    state.vScrollShown = needs.vertical;
    state.hScrollShown = needs.horizontal;
    state.updatingBars = false;

    RECT after;
    GetClientRect(state.window, &after);
    if (after.right == before.right && after.bottom == before.bottom) return false;
    OnSizeChanged(state, after.right, after.bottom);
    return true;
}

void SetFont(GridState& state, GridFont& slot, HFONT font, bool owned) {
    GridFont old = slot;
    slot = GridFont{font, owned};
    if (!old.owned || old.handle == font) return;
    for (const GridFont* other : {&state.cellFont, &state.headerFont, &state.titleFont}) {
        if (other->handle == old.handle) return;  // still in use elsewhere
    }
    DeleteObject(old.handle);
}

int TextHeight(HWND window, HFONT font, std::string_view text) {
    WindowDc dc(window);
    SelectGuard selection(dc.get(), font);
    SIZE size{};
    GetTextExtentPoint32A(dc.get(), text.data(), static_cast<int>(text.size()), &size);
    return size.cy;
}

void UpdateTitleHeight(GridState& state) {
    int textHeight =
        state.title.empty() ? 0 : TextHeight(state.window, state.titleFont.handle, state.title);
    state.layout.titleHeight = TitleBandHeight(textHeight, state.title);
}

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
    state.editBuffer.clear();
    NotifyCell(state, GRN_EDITBEGIN);
    return true;
}

void CommitEdit(GridState& state) {
    if (!state.editing) return;
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

void CancelEdit(GridState& state) {
    if (!state.editing) return;
    state.editing = false;
    state.editBuffer.clear();
    HideEditCaret(state);
    Repaint(state);
    NotifyCell(state, GRN_EDITEND);
}

void TypeCharacter(GridState& state, char character) {
    if (!state.editing && !EditAllowed(state)) return;
    BringCurrentIntoView(state);
    BeginEdit(state);
    if (state.editBuffer.size() >= kGridMaxCellText) {
        MessageBeep(0);
        return;
    }
    state.editBuffer += character;
    DrawEdit(state);
}

void Backspace(GridState& state) {
    if (!BeginEdit(state)) return;
    if (!state.editBuffer.empty()) state.editBuffer.pop_back();
    DrawEdit(state);
}

// Makes (row, column) current the way every navigation does: an open edit is committed to
// the cell it was typed into first.
void MoveCurrent(GridState& state, int row, int column, bool notifyAlways) {
    CommitEdit(state);
    EraseFrame(state);
    bool moved = row != state.curRow || column != state.curCol;
    state.curRow = row;
    state.curCol = column;
    if (moved || notifyAlways) {
        NotifyCell(state, GRN_CURMOVED);
        NotifyCell(state, GRN_CURCHANGED);
    }
    DrawFrame(state);
    RefreshCurProtected(state);
    BringCurrentIntoView(state);
    Repaint(state);
}

void MoveDown(GridState& state) {
    int row = state.curRow;
    if (state.layout.rowCount > 0 && row < state.layout.rowCount) ++row;
    MoveCurrent(state, row, state.curCol, false);
}

void MoveSideways(GridState& state, int step) {
    int column = NeighbourColumn(state.layout, state.curCol, step);
    MoveCurrent(state, state.curRow, column != 0 ? column : state.curCol, true);
}

LRESULT OnNcCreate(HWND window, WPARAM wParam, LPARAM lParam) {
    auto* state = new (std::nothrow) GridState{};
    if (state == nullptr) return FALSE;
    state->window = window;
    SetAllColumnWidths(state->layout, 50);
    state->cellFont = GridFont{MakeFont(100), true};
    state->headerFont = GridFont{MakeFont(400), true};
    state->titleFont = GridFont{MakeFont(600), true};
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(state));
    return DefWindowProcA(window, WM_NCCREATE, wParam, lParam);
}

void OnNcDestroy(HWND window, GridState* state) {
    SetWindowLongPtrA(window, 0, 0);
    // Emptying the slots one by one deletes each owned font once, however they are shared.
    for (GridFont* slot : {&state->cellFont, &state->headerFont, &state->titleFont}) {
        SetFont(*state, *slot, nullptr, false);
    }
    delete state;
}

LRESULT OnSetText(GridState& state, const char* text);

LRESULT OnCreate(GridState& state, const CREATESTRUCTA* create) {
    state.controlId = static_cast<WORD>(GetWindowLongPtrA(state.window, GWLP_ID));
    state.cellList = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                                     WS_CHILD | WS_BORDER | WS_VSCROLL | LBS_SORT | LBS_NOTIFY, 0,
                                     0, 0, 0, state.window, nullptr, create->hInstance, nullptr);
    if (state.cellList == nullptr) return -1;
    const char* title = IS_INTRESOURCE(create->lpszName) ? "" : create->lpszName;
    OnSetText(state, title);
    return 0;
}

LRESULT OnSetText(GridState& state, const char* text) {
    if (text == nullptr) text = "";
    std::size_t length = strnlen(text, kGridMaxTitle + 1);
    state.title = length > kGridMaxTitle ? kTitleTooLong : std::string(text, length);
    DefWindowProcA(state.window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(state.title.c_str()));
    UpdateTitleHeight(state);
    Repaint(state);
    ResizeSelf(state);
    return TRUE;
}

LRESULT OnSetCellProtect(GridState& state, WPARAM wParam, bool protect) {
    const GridCellRef* ref = CheckRef(state, wParam);
    if (ref == nullptr) return -1;
    GridCellRef cell = *ref;
    char letter = protect ? 'P' : 'U';
    std::string string;
    int index = FindCell(state, cell.row, cell.column);
    if (index >= 0 && ReadString(state, index).size() >= kGridTextPos) {
        string = state.scratch;
        string[kGridProtectionPos] = letter;
    } else {
        string = MakeCellString(cell.row, cell.column, letter, "");
    }
    StoreString(state, index, string);
    RefreshCurProtected(state);
    InvalidateCell(state, cell.row, cell.column);
    return 0;
}

// Grows the row (the header row for row 0) and the column to fit the text. A hidden column
// stays hidden.
void AutoSizeCell(GridState& state, int row, int column, std::string_view text) {
    int width = 0;
    int lines = 0;
    TEXTMETRICA metrics{};
    {
        WindowDc dc(state.window);
        SelectGuard selection(dc.get(), row == 0 ? state.headerFont.handle : state.cellFont.handle);
        GetTextMetricsA(dc.get(), &metrics);
        while (true) {
            std::size_t end = text.find('\n');
            std::string_view line = text.substr(0, end);
            SIZE size{};
            GetTextExtentPoint32A(dc.get(), line.data(), static_cast<int>(line.size()), &size);
            width = std::max<int>(width, size.cx);
            ++lines;
            if (end == std::string_view::npos) break;
            text.remove_prefix(end + 1);
        }
    }
    width += 5;
    int height = (row != 0 && state.singleLine) ? metrics.tmHeight : lines * metrics.tmHeight;
    int current = row == 0 ? state.layout.headerHeight : state.layout.rowHeight;
    if (current < height + 5) {
        SendMessageA(state.window, row == 0 ? GRM_SETHEADERHEIGHT : GRM_SETROWHEIGHT, height + 5,
                     0);
    }
    int columnWidth = state.layout.colWidth[column];
    if (columnWidth > 0 && columnWidth < width) {
        SendMessageA(state.window, GRM_SETCOLWIDTH, column, width);
    }
}

LRESULT OnSetCellText(GridState& state, WPARAM wParam, const char* text) {
    const GridCellRef* ref = CheckRef(state, wParam);
    if (ref == nullptr) return 0;
    GridCellRef cell = *ref;
    std::string_view value = text != nullptr
                                 ? std::string_view(text, strnlen(text, kGridMaxCellText))
                                 : std::string_view();

    StoreString(state, FindCell(state, cell.row, cell.column),
                MakeCellString(cell.row, cell.column, state.defaultProtection, value));
    InvalidateCell(state, cell.row, cell.column);
    if (cell.row == state.curRow && cell.column == state.curCol) RefreshCurProtected(state);

    if (state.autoGrow) {
        int count = StringCount(state);
        GridCellRecord last;
        int highest =
            count > 0 && ParseCellString(ReadString(state, count - 1), last) ? last.row : 0;
        if (highest > state.layout.rowCount) {
            SendMessageA(state.window, GRM_SETSIZE, highest, state.layout.colCount);
        }
    }
    if (state.autoSize && !value.empty()) AutoSizeCell(state, cell.row, cell.column, value);
    Notify(state, GRN_CELLSTORED, MAKELPARAM(cell.row, cell.column));
    return 1;
}

LRESULT OnGetCellText(GridState& state, WPARAM wParam, char* buffer) {
    const GridCellRef* ref = CheckRef(state, wParam);
    if (ref == nullptr || buffer == nullptr) return 0;
    GridCellRecord record;
    std::string_view text;
    if (LookupCell(state, ref->row, ref->column, record)) {
        text = record.text.substr(0, kGridMaxCellText);
    }
    std::memcpy(buffer, text.data(), text.size());
    buffer[text.size()] = '\0';
    return 1;
}

LRESULT OnGetCellType(GridState& state, WPARAM wParam) {
    const GridCellRef* ref = CheckRef(state, wParam);
    GridCellRecord record;
    if (ref == nullptr || !LookupCell(state, ref->row, ref->column, record)) return 0;
    return CellTypeCode(record.type);
}

LRESULT OnIsCellProtected(GridState& state, WPARAM wParam) {
    const GridCellRef* ref = CheckRef(state, wParam);
    GridCellRecord record;
    if (ref == nullptr || !LookupCell(state, ref->row, ref->column, record)) return -1;
    return record.protection == 'P' ? 1 : 0;
}

LRESULT OnDeleteCell(GridState& state, WPARAM wParam) {
    const GridCellRef* ref = CheckRef(state, wParam);
    if (ref == nullptr) return -1;
    int index = FindCell(state, ref->row, ref->column);
    if (index >= 0) {
        DeleteString(state, index);
        InvalidateCell(state, ref->row, ref->column);
        RefreshCurProtected(state);
    }
    NotifyCell(state, GRN_EDITEND);
    return 0;
}

// Keeps the current cell and the scroll origin inside the grid when it shrinks.
void ClampToSize(GridState& state) {
    GridLayout& layout = state.layout;
    state.curRow = std::clamp(state.curRow, 1, LastRowOf(state));
    state.curCol = std::clamp(state.curCol, 1, layout.colCount);
    layout.firstRow = std::clamp(layout.firstRow, 1, LastRowOf(state));
    layout.firstCol = std::clamp(layout.firstCol, 1, layout.colCount);
}

LRESULT OnClearAll(GridState& state) {
    CancelEdit(state);
    SendMessageA(state.cellList, LB_RESETCONTENT, 0, 0);
    state.layout.rowCount = 0;
    state.curRow = 1;
    state.layout.firstRow = 1;
    state.layout.firstCol = 1;
    state.curProtected = false;
    InvalidateRect(state.window, nullptr, TRUE);
    UpdateScrollBars(state);
    return 0;
}

LRESULT OnSetSize(GridState& state, int rows, int columns) {
    state.layout.rowCount = std::clamp(rows, 0, kGridMaxRows);
    state.layout.colCount = columns <= 0 ? 1 : std::min(columns, kGridMaxCols);
    ClampToSize(state);
    Repaint(state);
    return 0;
}

LRESULT OnSelectCell(GridState& state, int row, int column) {
    if (row < 1 || row > state.layout.rowCount || column < 1 || column > state.layout.colCount) {
        return 0;
    }
    CommitEdit(state);
    EraseFrame(state);
    state.curRow = row;
    state.curCol = column;
    DrawFrame(state);
    RefreshCurProtected(state);
    BringCurrentIntoView(state);
    Repaint(state);
    return 0;
}

LRESULT OnSetColWidth(GridState& state, WPARAM column, int width) {
    if (column > static_cast<WPARAM>(kGridMaxCols) || width < 0) return 0;
    state.layout.colWidth[column] = std::min(width, kGridMaxExtent);
    Repaint(state);
    return 0;
}

LRESULT OnSetRowHeight(GridState& state, int height) {
    state.layout.rowHeight = std::clamp(height, 1, kGridMaxExtent);
    BringCurrentIntoView(state);
    ResizeSelf(state);
    Repaint(state);
    return 0;
}

LRESULT OnSetHeaderHeight(GridState& state, int height) {
    state.layout.headerHeight = std::clamp(height, 0, kGridMaxExtent);
    ResizeSelf(state);
    Repaint(state);
    return 0;
}

LRESULT OnSetTitleHeight(GridState& state, int height) {
    state.layout.titleHeight = std::clamp(height, 0, kGridMaxExtent);
    BringCurrentIntoView(state);
    Repaint(state);
    return 0;
}

// A font handed over by GRM_SETTITLEFONT / GRM_SETHEADERFONT becomes the control's.
LRESULT OnSetOwnedFont(GridState& state, GridFont& slot, HFONT font) {
    if (font == nullptr) return 0;
    SetFont(state, slot, font, true);
    if (&slot == &state.titleFont && !state.title.empty()) {
        UpdateTitleHeight(state);
        ResizeSelf(state);
    }
    Repaint(state);
    return 0;
}

LRESULT OnCopy(GridState& state) {
    GridTextWriter writer(state.layout.rowCount, state.layout.colCount);
    int count = StringCount(state);
    GridCellRecord record;
    for (int index = 0; index < count; ++index) {
        if (ParseCellString(ReadString(state, index), record)) {
            writer.Add(record.row, record.column, record.text);
        }
    }
    std::string text = writer.Finish();

    // The text is ready before the clipboard is touched, so a failure leaves it as it was.
    UniqueGlobal memory(GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
    {
        GlobalLockScope bytes(memory.get());
        if (bytes.data() == nullptr) return 0;
        std::memcpy(bytes.data(), text.c_str(), text.size() + 1);
    }
    if (!OpenClipboard(state.window)) return 0;
    EmptyClipboard();
    bool placed = SetClipboardData(CF_TEXT, memory.get()) != nullptr;
    if (placed) memory.release();  // the clipboard owns it now
    CloseClipboard();
    return placed ? 1 : 0;
}

// Clipboard text, read no further than its memory block reaches.
std::string ClipboardText(HWND window) {
    std::string text;
    if (!IsClipboardFormatAvailable(CF_TEXT) || !OpenClipboard(window)) return text;
    {
        GlobalLockScope data(GetClipboardData(CF_TEXT));  // the clipboard's block, borrowed
        if (const auto* bytes = static_cast<const char*>(data.data())) {
            text.assign(bytes, strnlen(bytes, data.size()));
        }
    }
    CloseClipboard();
    return text;
}

LRESULT OnPaste(GridState& state) {
    std::string text = ClipboardText(state.window);
    ParsedGridText parsed = ParseGridText(text);
    std::string value;
    for (const GridTextCell& cell : parsed.cells) {
        GridCellRef ref{cell.row, cell.column};
        value.assign(cell.text.substr(0, kGridMaxCellText));
        SendMessageA(state.window, GRM_SETCELLTEXT, reinterpret_cast<WPARAM>(&ref),
                     reinterpret_cast<LPARAM>(value.c_str()));
    }
    if (parsed.clipped) Notify(state, GRN_BADREF, 0);  // part of the text had no cell to go to
    return 0;
}

void ScrollToRow(GridState& state, int row) {
    if (row == state.layout.firstRow) return;
    state.layout.firstRow = row;
    Repaint(state);
}

LRESULT OnVScroll(GridState& state, int code) {
    SetFocus(state.window);
    const GridLayout& layout = state.layout;
    int maximum = VScrollMax(layout);
    int page = std::max(VisibleRows(layout), 1);
    int position = layout.firstRow;
    switch (code) {
        case SB_LINEUP: position = std::max(position - 1, 1); break;
        case SB_LINEDOWN: position = std::min(position + 1, maximum); break;
        case SB_PAGEUP: position = std::max(position - page, 1); break;
        case SB_PAGEDOWN: position = std::min(position + page, maximum); break;
        case SB_THUMBTRACK: {
            SCROLLINFO info{sizeof info, SIF_TRACKPOS, 0, 0, 0, 0, 0};
            if (!GetScrollInfo(state.window, SB_VERT, &info)) return 0;
            position = std::clamp(info.nTrackPos, 1, maximum);
            break;
        }
        default: return 0;
    }
    ScrollToRow(state, position);
    return 0;
}

LRESULT OnHScroll(GridState& state, int code) {
    SetFocus(state.window);
    GridLayout& layout = state.layout;
    int maximum = std::max(ShownColumnsUpTo(layout, layout.colCount), 1);
    int position = ShownColumnsUpTo(layout, layout.firstCol);
    switch (code) {
        case SB_LINERIGHT:
        case SB_PAGERIGHT: position = std::min(position + 1, maximum); break;
        case SB_LINELEFT:
        case SB_PAGELEFT: position = std::max(position - 1, 1); break;
        case SB_THUMBTRACK: {
            SCROLLINFO info{sizeof info, SIF_TRACKPOS, 0, 0, 0, 0, 0};
            if (!GetScrollInfo(state.window, SB_HORZ, &info)) return 0;
            position = std::clamp(info.nTrackPos, 1, maximum);
            break;
        }
        default: return 0;
    }
    int column = NthShownColumn(layout, position);
    if (column != layout.firstCol) {
        layout.firstCol = column;
        Repaint(state);
    }
    return 0;
}

LRESULT OnMouseWheel(GridState& state, int delta) {
    if (!state.vScrollShown) return 0;
    int lines = -delta * kWheelLines / WHEEL_DELTA;
    ScrollToRow(state, std::clamp(state.layout.firstRow + lines, 1, VScrollMax(state.layout)));
    return 0;
}

// Records the client size and, for a size the parent (or a scroll bar) set, trims the height
// to whole rows when fitHeight asks for it. `width` and `height` are the size to trim from:
// the new client size, or for a self-sent WM_SIZE the parent's last one.
void OnSizeChanged(GridState& state, int width, int height) {
    RECT client;
    GetClientRect(state.window, &client);
    state.layout.clientWidth = client.right;
    state.layout.clientHeight = client.bottom;
    if (state.updatingBars) return;
    if (state.ownResize) {
        state.ownResize = false;
        return;
    }
    state.lastWidth = width;
    state.lastHeight = height;
    if (UpdateScrollBars(state)) return;
    if (state.fitHeight && state.vScrollShown) {
        const GridLayout& layout = state.layout;
        int hBar = state.hScrollShown ? GetSystemMetrics(SM_CYHSCROLL) : 0;
        int fitted =
            FittedHeight(height, layout.headerHeight, layout.titleHeight, layout.rowHeight, hBar);
        RECT frame;
        GetWindowRect(state.window, &frame);
        if (fitted > 0 && fitted != frame.bottom - frame.top) {
            // Only the height is trimmed; the window keeps its place and width.
            state.ownResize = true;
            SetWindowPos(state.window, nullptr, 0, 0, frame.right - frame.left, fitted,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            state.ownResize = false;
        }
    }
    BringCurrentIntoView(state);
}

LRESULT OnSetFocus(GridState& state) {
    EraseFrame(state);
    state.focused = true;
    DrawFrame(state);
    RefreshCurProtected(state);
    BringCurrentIntoView(state);
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
            MoveCurrent(state, std::max(state.curRow - page, 1), state.curCol, true);
            break;
        case VK_NEXT:
            MoveCurrent(state, std::clamp(state.curRow + page, 1, LastRowOf(state)), state.curCol,
                        true);
            break;
        case VK_LEFT: MoveSideways(state, -1); break;
        case VK_UP: MoveCurrent(state, std::max(state.curRow - 1, 1), state.curCol, false); break;
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

void SetPointer(GridState& state, int shape) {
    if (shape == state.cursorShape) return;
    state.cursorShape = shape;
    SetCursor(LoadCursorA(nullptr, shape == 2 ? IDC_SIZEWE : IDC_ARROW));
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
    SetPointer(state, state.resizing || onBorder ? 2 : 1);
    return 0;
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

void EndColumnDrag(GridState& state) {
    if (!state.resizing) return;
    state.resizing = false;
    if (GetCapture() == state.window) ReleaseCapture();
    SetPointer(state, 1);
    state.fitHeight = state.dragSavedFitHeight;
    ResizeSelf(state);
}

// Selects the clicked data cell: GRN_CLICK, then GRN_CURMOVED and GRN_CURCHANGED when it is
// a different cell.
void ClickCell(GridState& state, int x, int y) {
    EraseFrame(state);
    int row = RowAt(state.layout, y);
    int column = ColumnAt(state.layout, x);
    if (row > 0 && column > 0) {
        bool changed = row != state.curRow || column != state.curCol;
        state.curRow = row;
        state.curCol = column;
        NotifyCell(state, GRN_CLICK);
        if (changed) {
            NotifyCell(state, GRN_CURMOVED);
            NotifyCell(state, GRN_CURCHANGED);
        }
    }
    DrawFrame(state);
    RefreshCurProtected(state);
    BringCurrentIntoView(state);
    Repaint(state);
}

LRESULT OnLButtonDown(GridState& state, int x, int y) {
    if (state.cursorShape == 2 && state.colResizeEnabled) BeginColumnDrag(state, x);
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
    if (state.cursorShape == 2) return OnLButtonDown(state, x, y);
    int row = RowAt(state.layout, y);
    int column = ColumnAt(state.layout, x);
    if (row <= 0 || column <= 0) return 0;
    if (row != state.curRow || column != state.curCol) ClickCell(state, x, y);
    if (!BeginEdit(state)) return 0;
    state.editBuffer.clear();
    DrawEdit(state);
    return 0;
}

LRESULT OnSetCursor(GridState& state, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (LOWORD(lParam) != HTCLIENT) return DefWindowProcA(window, message, wParam, lParam);
    SetCursor(LoadCursorA(nullptr, state.cursorShape == 2 ? IDC_SIZEWE : IDC_ARROW));
    return TRUE;
}

LRESULT OnEnable(GridState& state, bool enabled) {
    state.textColor = enabled ? RGB(0, 0, 0) : kDisabledTextColor;
    Repaint(state);
    return 0;
}

template <typename T>
LRESULT SetAndRepaint(GridState& state, T& field, T value) {
    field = value;
    Repaint(state);
    return 0;
}

LRESULT OnSetFrameColor(GridState& state, COLORREF& field, COLORREF color, bool repaint) {
    EraseFrame(state);
    field = color;
    DrawFrame(state);
    if (repaint) Repaint(state);
    return 0;
}

LRESULT NotifySelection(GridState& state) {
    NotifyCell(state, GRN_CURMOVED);
    NotifyCell(state, GRN_CURCHANGED);
    return 0;
}

}  // namespace

bool LookupCell(GridState& state, int row, int column, GridCellRecord& record) {
    int index = FindCell(state, row, column);
    return index >= 0 && ParseCellString(ReadString(state, index), record);
}

void ReadRowCells(GridState& state, int row, int first, int last, std::vector<GridRowCell>& cells) {
    cells.clear();
    int count = StringCount(state);
    auto key = MakeCellKey(row, first);
    int index = LowerBoundCellIndex(count, key.data(), [&](int i) { return ReadString(state, i); });
    GridCellRecord record;
    for (; index < count; ++index) {
        if (!ParseCellString(ReadString(state, index), record)) continue;
        if (record.row != row || record.column > last) break;
        cells.push_back(
            GridRowCell{record.column, record.protection, record.type, std::string(record.text)});
    }
}

void Notify(GridState& state, WORD code, LPARAM lParam) {
    HWND parent = GetParent(state.window);
    if (parent != nullptr) {
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(state.controlId, code), lParam);
    }
}

void NotifyCell(GridState& state, WORD code) {
    Notify(state, code, MAKELPARAM(state.curRow, state.curCol));
}

void Repaint(GridState& state) {
    UpdateScrollBars(state);
    InvalidateRect(state.window, nullptr, FALSE);
}

LRESULT CALLBACK GridControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) return OnNcCreate(window, wParam, lParam);
    GridState* state = GetState(window);
    if (state == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    GridState& s = *state;
    auto flag = [wParam] { return wParam != 0; };
    auto colour = [wParam] { return static_cast<COLORREF>(wParam); };

    switch (message) {
        case WM_NCDESTROY: OnNcDestroy(window, state); return 0;
        case WM_CREATE: return OnCreate(s, reinterpret_cast<const CREATESTRUCTA*>(lParam));
        case WM_SETTEXT: return OnSetText(s, reinterpret_cast<const char*>(lParam));
        case WM_SETFONT:
            if (wParam != 0) SetFont(s, s.cellFont, reinterpret_cast<HFONT>(wParam), false);
            if (LOWORD(lParam) != 0) Repaint(s);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(s.cellFont.handle);
        case WM_ENABLE: return OnEnable(s, wParam != 0);
        case WM_ERASEBKGND: return 1;
        case WM_PAINT:
            UpdateScrollBars(s);
            PaintGrid(s);
            return 0;
        case WM_SIZE: OnSizeChanged(s, LOWORD(lParam), HIWORD(lParam)); return 0;
        case WM_VSCROLL: return OnVScroll(s, LOWORD(wParam));
        case WM_HSCROLL: return OnHScroll(s, LOWORD(wParam));
        case WM_MOUSEWHEEL: return OnMouseWheel(s, GET_WHEEL_DELTA_WPARAM(wParam));
        case WM_SETFOCUS: return OnSetFocus(s);
        case WM_KILLFOCUS: return OnKillFocus(s);
        case WM_GETDLGCODE: return OnGetDlgCode(s, reinterpret_cast<const MSG*>(lParam));
        case WM_KEYDOWN: return OnKeyDown(s, wParam, lParam);
        case WM_MOUSEMOVE: return OnMouseMove(s, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        case WM_LBUTTONDOWN: return OnLButtonDown(s, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        case WM_LBUTTONUP: EndColumnDrag(s); return 0;
        case WM_LBUTTONDBLCLK:
            return OnLButtonDblClk(s, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != window) EndColumnDrag(s);
            return 0;
        case WM_SETCURSOR: return OnSetCursor(s, window, message, wParam, lParam);

        case GRM_SETCELLPROTECT: return OnSetCellProtect(s, wParam, lParam != 0);
        case GRM_SETDEFAULTPROTECT: s.defaultProtection = flag() ? 'P' : 'U'; return 0;
        case GRM_SETCELLTEXT:
            return OnSetCellText(s, wParam, reinterpret_cast<const char*>(lParam));
        case GRM_GETCELLTEXT: return OnGetCellText(s, wParam, reinterpret_cast<char*>(lParam));
        case GRM_CLEARALL: return OnClearAll(s);
        case GRM_SETSIZE: return OnSetSize(s, static_cast<int>(wParam), static_cast<int>(lParam));
        case GRM_DELETECELL: return OnDeleteCell(s, wParam);
        case GRM_SELECTCELL:
            return OnSelectCell(s, static_cast<int>(wParam), static_cast<int>(lParam));
        case GRM_SETAUTOGROW: s.autoGrow = flag(); return 0;
        case GRM_GETOWNERDRAWVALUE: return s.ownerDrawValue;
        case GRM_SETCOLWIDTH: return OnSetColWidth(s, wParam, static_cast<int>(lParam));
        case GRM_SETHEADERHEIGHT: return OnSetHeaderHeight(s, static_cast<int>(wParam));
        case GRM_GETCELLTYPE: return OnGetCellType(s, wParam);
        case GRM_ISCELLPROTECTED: return OnIsCellProtected(s, wParam);
        case GRM_TOGGLECURSOR: ToggleFrame(s); return 0;
        case GRM_SETROWHEIGHT: return OnSetRowHeight(s, static_cast<int>(wParam));
        case GRM_SETCURSORCOLOR: return OnSetFrameColor(s, s.cursorColor, colour(), false);
        case GRM_SETPROTECTEDBKCOLOR: return SetAndRepaint(s, s.protectedBkColor, colour());
        case GRM_SETCELLBKCOLOR: return SetAndRepaint(s, s.cellBkColor, colour());
        case GRM_SHOWROWNUMBERS: return SetAndRepaint(s, s.showRowNumbers, flag());
        case GRM_SHOWCOLLETTERS: return SetAndRepaint(s, s.showColLetters, flag());
        case GRM_GETROWS: return s.layout.rowCount;
        case GRM_GETCOLS: return s.layout.colCount;
        case GRM_NOTIFYSELECTION:
        case GRM_NOTIFYSELECTION2: return NotifySelection(s);
        case GRM_GETCURROW: return s.curRow;
        case GRM_GETCURCOL: return s.curCol;
        case GRM_REDRAW:
            InvalidateRect(window, nullptr, TRUE);
            UpdateWindow(window);
            return 0;
        case GRM_GETCOLWIDTH:
            return wParam <= static_cast<WPARAM>(kGridMaxCols) ? s.layout.colWidth[wParam] : 0;
        case GRM_GETROWHEIGHT: return s.layout.rowHeight;
        case GRM_GETHEADERHEIGHT: return s.layout.headerHeight;
        case GRM_SETTITLEHEIGHT: return OnSetTitleHeight(s, static_cast<int>(wParam));
        case GRM_SETSELBKCOLOR: return SetAndRepaint(s, s.selBkColor, colour());
        case GRM_SETSELTEXTCOLOR: return SetAndRepaint(s, s.selTextColor, colour());
        case GRM_ENABLEEDIT: s.editEnabled = flag(); return 0;
        case GRM_SETGRIDCOLOR: return OnSetFrameColor(s, s.gridColor, colour(), true);
        case GRM_SETEXTENDLASTCOL: return SetAndRepaint(s, s.layout.extendLastCol, flag());
        case GRM_SETFITHEIGHT:
            s.fitHeight = flag();
            ResizeSelf(s);
            Repaint(s);
            return 0;
        case GRM_SETSINGLELINE: return SetAndRepaint(s, s.singleLine, flag());
        case GRM_SETAUTOSIZE: s.autoSize = flag(); return 0;
        case GRM_ENABLECOLRESIZE: s.colResizeEnabled = flag(); return 0;
        case GRM_SETTITLEFONT:
            return OnSetOwnedFont(s, s.titleFont, reinterpret_cast<HFONT>(wParam));
        case GRM_SETHEADERFONT:
            return OnSetOwnedFont(s, s.headerFont, reinterpret_cast<HFONT>(wParam));
        case GRM_SETTEXTRIGHT:
            s.textRight = flag();
            if (s.textRight) s.numberLeft = false;
            Repaint(s);
            return 0;
        case GRM_SETNUMBERLEFT:
            s.numberLeft = flag();
            if (s.numberLeft) s.textRight = false;
            Repaint(s);
            return 0;
        case GRM_SETHIGHLIGHTROW: return SetAndRepaint(s, s.highlightRow, flag());
        case GRM_SETHIGHLIGHTCOL: return SetAndRepaint(s, s.highlightCol, flag());
        case GRM_SETTEXTCOLOR: return SetAndRepaint(s, s.textColor, colour());
        case GRM_COPY: return OnCopy(s);
        case GRM_PASTE: return OnPaste(s);
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
