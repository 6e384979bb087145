// Drawing of the grid control: the picture, the current-cell frame and the in-place edit.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "controls/grid_state_win.h"
#include "platform/win32_handles.h"

namespace {

constexpr COLORREF kUnfocusedHighlight = RGB(0xC8, 0xC8, 0xC8);
constexpr UINT kHeaderText = DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
constexpr UINT kEdgeFlags = BF_RECT | BF_MIDDLE | BF_FLAT;
constexpr int kTallCheckBox = 24;  // taller check box areas are cut to kCheckBoxHeight
constexpr int kCheckBoxHeight = 16;
constexpr int kHeaderPadding = 4;  // header text keeps clear of the etched edge

struct OwnerDrawnCell {
    int value;  // the number after '~'
    RECT rect;  // text rectangle, client coordinates
};

// The cells of the rows being painted, each row sorted by column.
struct VisibleCells {
    std::vector<GridRowCell> headerTexts;  // row 0, for the header row and the corner
    std::vector<std::vector<GridRowCell>> rows;
    std::vector<GridRowCell> rowHeader;  // scratch: column 0 of one row
};

RECT ToRect(const GridRect& rect) {
    return RECT{rect.left, rect.top, rect.right, rect.bottom};
}

// The frame and the cell borders lie on the grid lines, one pixel right of and below the cell.
RECT OnGridLines(const GridRect& rect) {
    return RECT{rect.left, rect.top, rect.right + 1, rect.bottom + 1};
}

const GridRowCell* FindInRow(const std::vector<GridRowCell>& cells, int column) {
    auto found =
        std::lower_bound(cells.begin(), cells.end(), column,
                         [](const GridRowCell& cell, int wanted) { return cell.column < wanted; });
    return found != cells.end() && found->column == column ? &*found : nullptr;
}

bool CurrentCellVisible(const GridState& state) {
    const GridLayout& layout = state.layout;
    return layout.rowCount > 0 && state.curRow >= layout.firstRow &&
           state.curRow <= LastVisibleRow(layout) && state.curCol >= layout.firstCol &&
           state.curCol <= LastVisibleColumn(layout) && layout.colWidth[state.curCol] > 0;
}

int OwnerDrawValue(const std::string& text) {
    errno = 0;
    long value = std::strtol(text.c_str() + 1, nullptr, 10);
    if (errno == ERANGE || value > INT_MAX || value < INT_MIN) return value < 0 ? INT_MIN : INT_MAX;
    return static_cast<int>(value);
}

void XorFrame(const GridState& state, HDC dc, const RECT& rect, int width) {
    UniqueGdi<HPEN> pen(CreatePen(PS_SOLID, width, state.cursorColor));
    SelectGuard penSelection(dc, pen.get());
    SelectGuard brushSelection(dc, GetStockObject(NULL_BRUSH));
    int oldMode = SetROP2(dc, R2_XORPEN);
    Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
    SetROP2(dc, oldMode);
}

void DrawFrameOn(GridState& state, HDC dc) {
    if (state.frameShown || !CurrentCellVisible(state)) return;
    state.cursorRect = OnGridLines(CellRect(state.layout, state.curRow, state.curCol));
    state.frameWidth = state.focused ? 3 : 1;
    XorFrame(state, dc, state.cursorRect, state.frameWidth);
    state.frameShown = true;
}

// Title lines are centred; a title with line breaks is drawn as a centred block of lines.
void DrawTitle(HDC dc, const std::string& title, RECT band) {
    int length = static_cast<int>(title.size());
    if (title.find('\n') == std::string::npos) {
        DrawTextA(dc, title.data(), length, &band, kHeaderText);
        return;
    }
    UINT flags = DT_CENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
    RECT measured = band;
    DrawTextA(dc, title.data(), length, &measured, flags | DT_CALCRECT);
    int height = measured.bottom - measured.top;
    band.top += std::max<LONG>((band.bottom - band.top - height) / 2, 0);
    DrawTextA(dc, title.data(), length, &band, flags);
}

void DrawHeaderCell(HDC dc, RECT rect, const char* text, int length, UINT format) {
    DrawEdge(dc, &rect, EDGE_ETCHED, kEdgeFlags);
    RECT textRect{rect.left + kHeaderPadding, rect.top, rect.right - kHeaderPadding, rect.bottom};
    DrawTextA(dc, text, length, &textRect, format);
}

UINT NumberFormat(const GridState& state) {
    return DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | (state.singleLine ? DT_END_ELLIPSIS : 0) |
           (state.numberLeft ? DT_LEFT : DT_RIGHT);
}

UINT TextFormat(const GridState& state) {
    UINT align = state.textRight ? DT_RIGHT : DT_LEFT;
    if (!state.singleLine) return DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | align;
    return DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS | align;
}

void DrawCheckBox(HDC dc, RECT area, bool checked) {
    area.top += 2;
    area.bottom -= 2;
    if (area.bottom - area.top > kTallCheckBox) {
        area.top += (area.bottom - area.top - kCheckBoxHeight) / 2;
        area.bottom = area.top + kCheckBoxHeight;
    }
    DrawFrameControl(dc, &area, DFC_BUTTON, DFCS_BUTTONCHECK | (checked ? DFCS_CHECKED : 0));
}

void PaintHeaderRow(GridState& state, HDC dc, const VisibleCells& cells, int lastCol) {
    const GridLayout& layout = state.layout;
    SelectGuard font(dc, state.headerFont.handle);
    SetTextColor(dc, state.textColor);
    const GridRowCell* corner = FindInRow(cells.headerTexts, 0);
    DrawHeaderCell(dc, ToRect(CellRect(layout, 0, 0)), corner ? corner->text.data() : "",
                   corner ? static_cast<int>(corner->text.size()) : 0, kHeaderText);
    for (int column = layout.firstCol; column <= lastCol; ++column) {
        if (layout.colWidth[column] <= 0) continue;
        RECT rect = ToRect(CellRect(layout, 0, column));
        if (state.showColLetters) {
            auto letters = ColumnLetters(column);
            DrawHeaderCell(dc, rect, letters.data(), 2, kHeaderText);
        } else {
            const GridRowCell* cell = FindInRow(cells.headerTexts, column);
            DrawHeaderCell(dc, rect, cell ? cell->text.data() : "",
                           cell ? static_cast<int>(cell->text.size()) : 0, kHeaderText);
        }
    }
}

void PaintRowHeader(GridState& state, HDC dc, int row, const GridRowCell* cell) {
    SelectGuard font(dc, state.headerFont.handle);
    SetTextColor(dc, state.textColor);
    RECT rect = ToRect(CellRect(state.layout, row, 0));
    if (state.showRowNumbers) {
        char number[16];
        int length = std::snprintf(number, sizeof number, "%d", row);
        DrawHeaderCell(dc, rect, number, length, NumberFormat(state));
    } else {
        DrawHeaderCell(dc, rect, cell ? cell->text.data() : "",
                       cell ? static_cast<int>(cell->text.size()) : 0, NumberFormat(state));
    }
}

void PaintDataCell(GridState& state, HDC dc, int row, int column, const GridRowCell* cell,
                   std::vector<OwnerDrawnCell>& ownerDrawn) {
    GridRect bounds = CellRect(state.layout, row, column);
    bool highlighted = (state.highlightRow && row == state.curRow) ||
                       (state.highlightCol && column == state.curCol);
    bool isProtected = cell != nullptr && cell->protection == 'P';
    COLORREF back;
    COLORREF text;
    if (highlighted) {
        back = state.focused ? state.selBkColor : kUnfocusedHighlight;
        text = state.focused ? state.selTextColor : RGB(0, 0, 0);
    } else {
        back = isProtected ? state.protectedBkColor : state.cellBkColor;
        text = state.textColor;
    }
    SetDCBrushColor(dc, back);
    RECT border = OnGridLines(bounds);
    Rectangle(dc, border.left, border.top, border.right, border.bottom);
    if (cell == nullptr || cell->text.empty()) return;

    RECT textRect{bounds.left + 2, bounds.top, bounds.right - 2, bounds.bottom};
    int type = CellTypeCode(cell->type);
    int length = static_cast<int>(cell->text.size());
    SetTextColor(dc, text);
    switch (type) {
        case 2: DrawTextA(dc, cell->text.data(), length, &textRect, NumberFormat(state)); break;
        case 3:
        case 4: DrawCheckBox(dc, textRect, type == 3); break;
        case 5: ownerDrawn.push_back(OwnerDrawnCell{OwnerDrawValue(cell->text), textRect}); break;
        default: DrawTextA(dc, cell->text.data(), length, &textRect, TextFormat(state)); break;
    }
}

void ReadVisibleCells(GridState& state, int lastRow, int lastCol, VisibleCells& cells) {
    const GridLayout& layout = state.layout;
    ReadRowCells(state, 0, 0, state.showColLetters ? 0 : lastCol, cells.headerTexts);
    int rows = std::max(lastRow - layout.firstRow + 1, 0);
    cells.rows.resize(static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        ReadRowCells(state, layout.firstRow + i, layout.firstCol, lastCol, cells.rows[i]);
    }
}

void Render(GridState& state, HDC dc, const RECT& client, std::vector<OwnerDrawnCell>& ownerDrawn) {
    const GridLayout& layout = state.layout;
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    SetBkMode(dc, TRANSPARENT);

    if (layout.titleHeight > 0) {
        RECT band{0, 0, client.right, layout.titleHeight};
        DrawEdge(dc, &band, EDGE_ETCHED, kEdgeFlags);
        SelectGuard font(dc, state.titleFont.handle);
        SetTextColor(dc, state.textColor);
        DrawTitle(dc, state.title, band);
    }

    int lastCol = LastVisibleColumn(layout);
    int lastRow = LastVisibleRow(layout);
    VisibleCells cells;
    ReadVisibleCells(state, lastRow, lastCol, cells);
    PaintHeaderRow(state, dc, cells, lastCol);

    UniqueGdi<HPEN> gridPen(CreatePen(PS_SOLID, 1, state.gridColor));
    for (int row = layout.firstRow; row <= lastRow; ++row) {
        const std::vector<GridRowCell>& rowCells = cells.rows[row - layout.firstRow];
        if (layout.colWidth[0] > 0) {
            if (!state.showRowNumbers) ReadRowCells(state, row, 0, 0, cells.rowHeader);
            PaintRowHeader(state, dc, row,
                           state.showRowNumbers ? nullptr : FindInRow(cells.rowHeader, 0));
        }
        SelectGuard pen(dc, gridPen.get());
        SelectGuard brush(dc, GetStockObject(DC_BRUSH));
        SelectGuard font(dc, state.cellFont.handle);
        for (int column = layout.firstCol; column <= lastCol; ++column) {
            if (layout.colWidth[column] <= 0) continue;
            PaintDataCell(state, dc, row, column, FindInRow(rowCells, column), ownerDrawn);
        }
    }
}

}  // namespace

void ShowEditCaret(GridState& state) {
    if (state.focused && !state.caretShown && ShowCaret(state.window)) state.caretShown = true;
}

void HideEditCaret(GridState& state) {
    if (state.caretShown && HideCaret(state.window)) state.caretShown = false;
}

void PaintGrid(GridState& state) {
    PaintScope paint(state.window);
    RECT client;
    GetClientRect(state.window, &client);
    if (client.right <= 0 || client.bottom <= 0) return;

    // The whole picture is drawn off-screen and copied at once, whatever part was invalid, so
    // the frame drawn on top of it below is the only one on the screen.
    WindowDc target(state.window);
    std::vector<OwnerDrawnCell> ownerDrawn;
    {
        UniqueMemoryDc memory(CreateCompatibleDC(target.get()));
        UniqueGdi<HBITMAP> bitmap(
            CreateCompatibleBitmap(target.get(), client.right, client.bottom));
        SelectGuard selection(memory.get(), bitmap.get());
        Render(state, memory.get(), client, ownerDrawn);
        BitBlt(target.get(), 0, 0, client.right, client.bottom, memory.get(), 0, 0, SRCCOPY);
    }
    // The parent draws owner-drawn cells straight onto the window, so after the copy.
    for (OwnerDrawnCell& cell : ownerDrawn) {
        state.ownerDrawValue = cell.value;
        Notify(state, GRN_OWNERDRAW, reinterpret_cast<LPARAM>(&cell.rect));
    }
    state.frameShown = false;
    if (state.editing) DrawEdit(state, target.get());
    DrawFrameOn(state, target.get());
}

void DrawFrame(GridState& state) {
    WindowDc dc(state.window);
    DrawFrameOn(state, dc.get());
}

void EraseFrame(GridState& state) {
    if (!state.frameShown) return;
    WindowDc dc(state.window);
    XorFrame(state, dc.get(), state.cursorRect, state.frameWidth);
    state.frameShown = false;
}

void ToggleFrame(GridState& state) {
    if (state.frameShown) {
        EraseFrame(state);
    } else {
        DrawFrame(state);
    }
}

void DrawEdit(GridState& state, HDC dc) {
    HideEditCaret(state);  // the caret is XORed; it must not be drawn over
    if (!state.editing || !CurrentCellVisible(state)) return;
    GridRect cell = CellRect(state.layout, state.curRow, state.curCol);
    RECT box{cell.left + 2, cell.top + 2, cell.right - 2, cell.bottom - 2};
    {
        SelectGuard pen(dc, GetStockObject(BLACK_PEN));
        SelectGuard brush(dc, GetStockObject(WHITE_BRUSH));
        Rectangle(dc, box.left, box.top, box.right, box.bottom);
    }
    RECT inner{box.left + 2, box.top + 2, box.right - 2, box.bottom - 2};
    RECT textRect{inner.left, inner.top, inner.right - 5, inner.bottom};
    SelectGuard font(dc, state.cellFont.handle);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    DrawTextA(dc, state.editBuffer.data(), static_cast<int>(state.editBuffer.size()), &textRect,
              DT_RIGHT | DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    SetCaretPos(inner.right - 4, state.layout.rowHeight / 2 + inner.top - state.caretHeight + 2);
    ShowEditCaret(state);
}

void DrawEdit(GridState& state) {
    WindowDc dc(state.window);
    DrawEdit(state, dc.get());
}
