// Geometry of the grid control: where the title band, the headers and the cells lie, which
// cell a point hits, what is visible, the scroll ranges, and how the view follows a cell.
// Pure arithmetic on GridLayout; the Win32 layer keeps one inside its state record.
#pragma once

#include <array>

#include "controls/grid_rules.h"

// Widths and heights are cut to this many pixels, so that sums of them over every column or
// row stay well inside int.
inline constexpr int kGridMaxExtent = 32767;

struct GridRect {
    int left, top, right, bottom;
};

// Columns 0 to 255 start this wide; column 256 starts hidden.
inline constexpr int kGridDefaultColWidth = 50;

constexpr std::array<int, kGridMaxCols + 1> DefaultColumnWidths() {
    std::array<int, kGridMaxCols + 1> widths{};
    for (int column = 0; column < kGridMaxCols; ++column) widths[column] = kGridDefaultColWidth;
    return widths;
}

struct GridLayout {
    int rowCount = 100;     // rows 1..rowCount, 0..32000
    int colCount = 255;     // columns 1..colCount, 1..256
    int firstRow = 1;       // top data row shown
    int firstCol = 1;       // leftmost data column shown
    int rowHeight = 21;     // every data row, pixels
    int headerHeight = 21;  // the header row with the column letters
    int titleHeight = 0;    // the title band; 0 without a title
    int clientWidth = 0;    // client size, pixels
    int clientHeight = 0;
    bool extendLastCol = true;                     // the last column stretches to the right edge
    // [0] header column, [1..256]; 0 hides
    std::array<int, kGridMaxCols + 1> colWidth = DefaultColumnWidths();
};

// Top of the first data row.
[[nodiscard]] inline int DataTop(const GridLayout& layout) {
    return layout.titleHeight + layout.headerHeight;
}

// The cell's rectangle in client coordinates; row 0 lies in the header row, column 0 in the
// header column. A cell left of firstCol or above firstRow gets the first position.
[[nodiscard]] GridRect CellRect(const GridLayout& layout, int row, int column);

// Row at y: -1 in the title band or below the last row, 0 on the header row.
[[nodiscard]] int RowAt(const GridLayout& layout, int y);

// Column at x: 0 on the header column; right of the last column: colCount when
// extendLastCol is set, else -1. A hidden column is never hit.
[[nodiscard]] int ColumnAt(const GridLayout& layout, int x);

// The last column drawn: from firstCol while the widths fit the client width less the header
// column (the one crossing the edge included), at most colCount.
[[nodiscard]] int LastVisibleColumn(const GridLayout& layout);

// The last row drawn, likewise for the data area; at most rowCount.
[[nodiscard]] int LastVisibleRow(const GridLayout& layout);

// The last column 1..colCount with a non-zero width; 0 when all are hidden.
[[nodiscard]] int LastShownColumn(const GridLayout& layout);

// Whole data rows that fit in the data area (may be 0).
[[nodiscard]] int VisibleRows(const GridLayout& layout);

// Highest vertical scroll position: rowCount - visible rows + 1, at least 1.
[[nodiscard]] int VScrollMax(const GridLayout& layout);

// Columns among 1..last (capped at colCount) with a non-zero width.
[[nodiscard]] int ShownColumnsUpTo(const GridLayout& layout, int last);

// The n-th column with a non-zero width (n from 1); the last such column when n is larger,
// 1 when there is none.
[[nodiscard]] int NthShownColumn(const GridLayout& layout, int n);

// The nearest column left (step -1) or right (step +1) of `column` with a non-zero width,
// within 1..colCount; 0 when there is none.
[[nodiscard]] int NeighbourColumn(const GridLayout& layout, int column, int step);

struct ScrollBarNeeds {
    bool vertical;
    bool horizontal;
};

// Which bars the grid needs. The client size given is without bars; a bar that takes room
// can make the other one necessary, which is taken into account.
[[nodiscard]] ScrollBarNeeds NeededScrollBars(const GridLayout& layout, int fullWidth,
                                              int fullHeight, int vBarWidth, int hBarHeight);

// Moves firstRow and firstCol the least so that the cell is in view. True when they moved.
[[nodiscard]] bool BringCellIntoView(GridLayout& layout, int row, int column);
