#include "hexview/hexview_scroll.h"

#include <algorithm>

void HexViewComputeScrollLimits(HexViewModel& m) {
    const std::uint32_t rows = static_cast<std::uint32_t>(std::max(m.clientHeight, 0)) /
                               static_cast<std::uint32_t>(m.lineHeight);
    const std::uint32_t cols = static_cast<std::uint32_t>(std::max(m.clientWidth, 0)) /
                               static_cast<std::uint32_t>(m.charWidth);
    m.pageRows = std::min(m.rowCount, rows);
    m.pageCols = std::min(m.lineWidth + 1, cols);
    m.vScrollMax = m.rowCount - 1;
    m.hScrollMax = m.lineWidth;
    m.topRow = std::min(m.topRow, HexViewLastTopRow(m));
    m.leftCol = std::min(m.leftCol, HexViewLastLeftCol(m));
}

std::uint32_t HexViewLastTopRow(const HexViewModel& m) {
    return m.vScrollMax - m.pageRows + 1;  // rowCount - pageRows; 0 for an empty document
}

std::uint32_t HexViewLastLeftCol(const HexViewModel& m) { return m.hScrollMax - m.pageCols + 1; }

std::uint32_t HexViewVScrollTarget(const HexViewModel& m, int code, std::uint32_t trackRow) {
    const std::int64_t page = std::max<std::uint32_t>(m.pageRows, 1);
    std::int64_t top = m.topRow;
    switch (code) {
        case kScrollLineUp:
            if (top > 0) --top;
            break;
        case kScrollLineDown: ++top; break;
        case kScrollPageUp: top = std::max<std::int64_t>(top - page, 0); break;
        case kScrollPageDown: top += page; break;
        case kScrollThumbPosition:
        case kScrollThumbTrack: top = trackRow; break;
        case kScrollTop: top = 0; break;
        case kScrollBottom: top = HexViewLastTopRow(m); break;
        default: break;
    }
    return static_cast<std::uint32_t>(std::min<std::int64_t>(top, HexViewLastTopRow(m)));
}

std::int64_t HexViewHScrollStep(const HexViewModel& m, int code, std::uint32_t trackCol) {
    std::int64_t step;
    switch (code) {
        case kScrollLineUp: step = -1; break;
        case kScrollLineDown: step = 1; break;
        case kScrollPageUp: step = -8; break;
        case kScrollPageDown: step = 8; break;
        case kScrollThumbPosition:
        case kScrollThumbTrack: step = std::int64_t{trackCol} - m.leftCol; break;
        default: step = 0; break;
    }
    const std::int64_t lowest = -std::int64_t{m.leftCol};
    const std::int64_t highest = std::int64_t{HexViewLastLeftCol(m)} - m.leftCol;
    return std::clamp(step, lowest, std::max(lowest, highest));
}

bool HexViewEnsureVisibleTop(const HexViewModel& m, std::uint32_t offset, std::uint32_t* top) {
    const std::uint32_t row = offset / m.bytesPerRow;
    std::uint32_t wanted;
    if (row < m.topRow) {
        wanted = row;
    } else if (std::uint64_t{row} >= std::uint64_t{m.topRow} + std::max(m.pageRows, 1u)) {
        wanted = std::min(row - std::max(m.pageRows, 1u) + 1, HexViewLastTopRow(m));
    } else {
        return false;
    }
    if (wanted == m.topRow) return false;
    *top = wanted;
    return true;
}

bool HexViewResizeMovedView(const HexViewModel& m, std::uint32_t oldTop, std::uint32_t oldLeft) {
    const bool topChanged = m.topRow != oldTop;
    const bool leftChanged = m.leftCol != oldLeft;
    if (m.rowCount <= m.pageRows && topChanged) return true;  // all rows fit
    if (m.hScrollMax < m.pageCols && leftChanged) return true;  // all columns fit
    if (m.topRow != 0 && m.topRow == HexViewLastTopRow(m) && topChanged) return true;
    return m.leftCol != 0 && m.leftCol == HexViewLastLeftCol(m) && leftChanged;
}

int HexViewScrollBarShift(std::uint32_t maximum) { return maximum > 0x7FFFFFFFu ? 1 : 0; }
