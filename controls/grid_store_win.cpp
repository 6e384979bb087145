// The grid's cell store: each present cell is one string of a hidden sorted list box (key,
// protection, type, text), found by the list box's prefix search or by bisection; the cell
// messages and the clipboard work on it.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "controls/grid_state_win.h"
#include "platform/win32_handles.h"

namespace {

constexpr int kLinearSearchBelow = 12;  // smaller stores use the list box's own prefix search

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

}  // namespace

void RefreshCurProtected(GridState& state) {
    GridCellRecord record;
    state.curProtected =
        LookupCell(state, state.curRow, state.curCol, record) && record.protection == 'P';
    // Protection is asked when an edit opens; the owner may protect the cell while it is open.
    if (state.curProtected) CancelEdit(state);
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

LRESULT OnClearAll(GridState& state) {
    SendMessageA(state.cellList, LB_RESETCONTENT, 0, 0);
    state.layout.rowCount = 0;
    state.layout.firstRow = 1;
    state.layout.firstCol = 1;
    KeepCurrentInGrid(state);  // back to row 1
    state.curProtected = false;
    InvalidateRect(state.window, nullptr, TRUE);
    UpdateScrollBars(state);
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
