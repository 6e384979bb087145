#include "controls/grid_layout.h"

#include <algorithm>

namespace {

int DataHeight(const GridLayout& layout) {
    return layout.clientHeight - DataTop(layout);
}

long long TotalWidth(const GridLayout& layout) {
    long long total = layout.colWidth[0];
    for (int column = 1; column <= layout.colCount; ++column) total += layout.colWidth[column];
    return total;
}

}  // namespace

GridRect CellRect(const GridLayout& layout, int row, int column) {
    GridRect rect{};
    if (column <= 0) {
        rect.right = layout.colWidth[0];
    } else {
        rect.left = layout.colWidth[0];
        for (int c = layout.firstCol; c < column; ++c) rect.left += layout.colWidth[c];
        rect.right = rect.left + layout.colWidth[column];
        if (layout.extendLastCol && LastShownColumn(layout) <= column &&
            layout.colWidth[column] < layout.clientWidth - rect.left) {
            rect.right = layout.clientWidth;
        }
    }
    if (row <= 0) {
        rect.top = layout.titleHeight;
        rect.bottom = rect.top + layout.headerHeight;
    } else {
        rect.top = DataTop(layout);
        if (row > layout.firstRow) rect.top += (row - layout.firstRow) * layout.rowHeight;
        rect.bottom = rect.top + layout.rowHeight;
    }
    return rect;
}

int RowAt(const GridLayout& layout, int y) {
    if (y <= layout.titleHeight) return -1;
    if (y <= DataTop(layout)) return 0;
    long long row = (y - DataTop(layout)) / std::max(layout.rowHeight, 1) +
                    static_cast<long long>(layout.firstRow);
    return row > layout.rowCount ? -1 : static_cast<int>(row);
}

int ColumnAt(const GridLayout& layout, int x) {
    if (x <= layout.colWidth[0]) return 0;
    long long rest = x - layout.colWidth[0];
    for (int column = layout.firstCol; column <= layout.colCount; ++column) {
        rest -= layout.colWidth[column];
        if (rest <= 0) return column;
    }
    if (!layout.extendLastCol) return -1;
    int last = LastShownColumn(layout);
    return last >= layout.firstCol ? last : -1;
}

int LastVisibleColumn(const GridLayout& layout) {
    long long room = layout.clientWidth - layout.colWidth[0];
    long long used = 0;
    for (int column = layout.firstCol; column <= layout.colCount; ++column) {
        used += layout.colWidth[column];
        if (used >= room) return column;
    }
    return layout.colCount;
}

int LastVisibleRow(const GridLayout& layout) {
    int room = DataHeight(layout);
    if (room <= 0 || layout.rowHeight <= 0) return layout.firstRow - 1;
    long long count = (room + layout.rowHeight - 1) / layout.rowHeight;
    return static_cast<int>(std::min<long long>(layout.firstRow + count - 1, layout.rowCount));
}

int LastShownColumn(const GridLayout& layout) {
    for (int column = layout.colCount; column >= 1; --column) {
        if (layout.colWidth[column] > 0) return column;
    }
    return 0;
}

int VisibleRows(const GridLayout& layout) {
    int room = DataHeight(layout);
    return room > 0 && layout.rowHeight > 0 ? room / layout.rowHeight : 0;
}

int VScrollMax(const GridLayout& layout) {
    return std::max(1, layout.rowCount - VisibleRows(layout) + 1);
}

int ShownColumnsUpTo(const GridLayout& layout, int last) {
    int count = 0;
    last = std::min(last, layout.colCount);
    for (int column = 1; column <= last; ++column) count += layout.colWidth[column] > 0 ? 1 : 0;
    return count;
}

int NthShownColumn(const GridLayout& layout, int n) {
    int found = 0;
    for (int column = 1; column <= layout.colCount; ++column) {
        if (layout.colWidth[column] <= 0) continue;
        found = column;
        if (--n <= 0) break;
    }
    return found > 0 ? found : 1;
}

int NeighbourColumn(const GridLayout& layout, int column, int step) {
    for (int c = column + step; c >= 1 && c <= layout.colCount; c += step) {
        if (layout.colWidth[c] > 0) return c;
    }
    return 0;
}

ScrollBarNeeds NeededScrollBars(const GridLayout& layout, int fullWidth, int fullHeight,
                                int vBarWidth, int hBarHeight) {
    long long rowsHeight = static_cast<long long>(layout.rowCount) * layout.rowHeight;
    long long width = TotalWidth(layout);
    ScrollBarNeeds needs{false, false};
    // Each bar only takes room, so two rounds settle it.
    for (int round = 0; round < 2; ++round) {
        needs.vertical =
            rowsHeight > fullHeight - (needs.horizontal ? hBarHeight : 0) - DataTop(layout);
        needs.horizontal = width > fullWidth - (needs.vertical ? vBarWidth : 0);
    }
    return needs;
}

bool BringCellIntoView(GridLayout& layout, int row, int column) {
    int oldRow = layout.firstRow;
    int oldCol = layout.firstCol;
    if (row >= 1) {
        if (row >= layout.firstRow && CellRect(layout, row, 0).bottom > layout.clientHeight) {
            int whole = VisibleRows(layout);
            // A row taller than the data area shows its top.
            layout.firstRow = whole > 0 ? row - whole + 1 : row;
        }
        if (row < layout.firstRow) layout.firstRow = row;
        layout.firstRow = std::max(layout.firstRow, 1);
    }
    if (column >= 1) {
        while (layout.firstCol < column && CellRect(layout, 0, column).right > layout.clientWidth) {
            ++layout.firstCol;
        }
        if (column < layout.firstCol) layout.firstCol = column;
        layout.firstCol = std::max(layout.firstCol, 1);
    }
    return layout.firstRow != oldRow || layout.firstCol != oldCol;
}
