// HexView32 scrolling: both scroll bars with 32-bit positions, the scroll messages, and the
// one-row scrolls and scroll-into-view that keys, mouse and clipboard use. Scrolling moves the
// pixels already drawn and repaints only the rows it uncovers.
#include <algorithm>

#include "hexview/hexview_instance_win.h"
#include "hexview/hexview_scroll.h"

namespace {

int VShift(const HexViewInstance& inst) { return HexViewScrollBarShift(inst.vScrollMax); }

void SetVerticalPosition(HexViewInstance& inst) {
    SetScrollPos(inst.hwnd, SB_VERT, static_cast<int>(inst.topRow >> VShift(inst)), TRUE);
}

// The thumb's position while it is dragged, 32 bits wide (the message carries only 16).
std::uint32_t TrackPosition(HWND window, int bar) {
    SCROLLINFO info{};
    info.cbSize = sizeof info;
    info.fMask = SIF_TRACKPOS;
    if (!GetScrollInfo(window, bar, &info)) return 0;
    return static_cast<std::uint32_t>(std::max(info.nTrackPos, 0));
}

// Sets a bar only when something changed: redrawing a bar costs more than the keystroke that
// asked for it.
void SetBar(HWND window, int bar, SCROLLINFO& wanted) {
    SCROLLINFO current{};
    current.cbSize = sizeof current;
    current.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    if (GetScrollInfo(window, bar, &current) && current.nMin == wanted.nMin &&
        current.nMax == wanted.nMax && current.nPage == wanted.nPage &&
        current.nPos == wanted.nPos) {
        return;
    }
    SetScrollInfo(window, bar, &wanted, TRUE);
}

bool IsThumbCode(int code) { return code == SB_THUMBTRACK || code == SB_THUMBPOSITION; }

// Moves the drawn rows by rows (positive: the view went down) and invalidates what is uncovered.
void ScrollRows(HexViewInstance& inst, std::int64_t rows) {
    if (rows == 0) return;
    if (rows > std::int64_t{inst.pageRows} + 1 || -rows > std::int64_t{inst.pageRows} + 1) {
        HexViewInvalidateAll(inst);
        return;
    }
    ScrollWindowEx(inst.hwnd, 0, static_cast<int>(-rows * inst.lineHeight), nullptr, nullptr,
                   nullptr, nullptr, SW_INVALIDATE);
}

}  // namespace

static_assert(SB_LINEUP == kScrollLineUp && SB_LINEDOWN == kScrollLineDown &&
              SB_PAGEUP == kScrollPageUp && SB_PAGEDOWN == kScrollPageDown &&
              SB_THUMBPOSITION == kScrollThumbPosition && SB_THUMBTRACK == kScrollThumbTrack &&
              SB_TOP == kScrollTop && SB_BOTTOM == kScrollBottom && SB_ENDSCROLL == kScrollEnd);

void HexViewUpdateScrollBars(HexViewInstance& inst) {
    HexViewComputeScrollLimits(inst);
    const int shift = VShift(inst);
    SCROLLINFO vertical{};
    vertical.cbSize = sizeof vertical;
    vertical.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_DISABLENOSCROLL;
    if (inst.rowCount == 0) {
        vertical.nPage = 1;  // an empty document: the bar is disabled
    } else {
        vertical.nMax = static_cast<int>(inst.vScrollMax >> shift);
        vertical.nPage = std::min(inst.pageRows, inst.rowCount) >> shift;
        vertical.nPos = static_cast<int>(inst.topRow >> shift);
    }
    SetBar(inst.hwnd, SB_VERT, vertical);

    // Showing or hiding this bar resizes the client and comes back here through WM_SIZE.
    SCROLLINFO horizontal{};
    horizontal.cbSize = sizeof horizontal;
    horizontal.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    horizontal.nMax = static_cast<int>(inst.hScrollMax);
    horizontal.nPage = std::min(inst.pageCols, inst.hScrollMax + 1);
    horizontal.nPos = static_cast<int>(inst.leftCol);
    SetBar(inst.hwnd, SB_HORZ, horizontal);
}

void HexViewOnVScroll(HexViewInstance& inst, int code) {
    if (inst.caretOwned) HideCaret(inst.hwnd);
    const std::uint32_t track =
        IsThumbCode(code) ? TrackPosition(inst.hwnd, SB_VERT) << VShift(inst) : 0;
    const std::uint32_t top = HexViewVScrollTarget(inst, code, track);
    if (top != inst.topRow) {
        const std::int64_t rows = std::int64_t{top} - inst.topRow;
        inst.topRow = top;
        ScrollRows(inst, rows);
        SetVerticalPosition(inst);
        HexViewCaretCellKeepingEndOfRow(inst);
        UpdateWindow(inst.hwnd);
    }
    HexViewPlaceCaret(inst);
    if (inst.caretOwned) ShowCaret(inst.hwnd);
}

void HexViewOnHScroll(HexViewInstance& inst, int code) {
    const std::uint32_t track = IsThumbCode(code) ? TrackPosition(inst.hwnd, SB_HORZ) : 0;
    const std::int64_t step = HexViewHScrollStep(inst, code, track);
    if (step == 0) return;
    inst.leftCol = static_cast<std::uint32_t>(inst.leftCol + step);
    ScrollWindowEx(inst.hwnd, static_cast<int>(-step * inst.charWidth), 0, nullptr, nullptr,
                   nullptr, nullptr, SW_INVALIDATE);
    SetScrollPos(inst.hwnd, SB_HORZ, static_cast<int>(inst.leftCol), TRUE);
    UpdateWindow(inst.hwnd);
    HexViewPlaceCaret(inst);
}

int HexViewScrollUpLine(HexViewInstance& inst) {
    inst.lastError = kHexOk;
    if (inst.topRow == 0) return 0;
    inst.topRow -= 1;
    ScrollRows(inst, -1);
    SetVerticalPosition(inst);
    HexViewPlaceCaret(inst);
    return 1;
}

int HexViewScrollDownLine(HexViewInstance& inst) {
    inst.lastError = kHexOk;
    const std::uint32_t lastTop = HexViewLastTopRow(inst);
    if (inst.topRow >= lastTop) {
        if (inst.topRow != lastTop) {
            inst.topRow = lastTop;
            SetVerticalPosition(inst);
            HexViewInvalidateAll(inst);
        }
        return 0;
    }
    inst.topRow += 1;
    ScrollRows(inst, 1);
    SetVerticalPosition(inst);
    // The row that was partly visible at the bottom is only partly drawn.
    HexViewInvalidateBelow(inst, 0, (static_cast<int>(inst.pageRows) - 1) * inst.lineHeight, false);
    HexViewPlaceCaret(inst);
    return 1;
}

int HexViewEnsureVisible(HexViewInstance& inst, std::uint32_t offset) {
    inst.lastError = kHexOk;
    std::uint32_t top = 0;
    if (!HexViewEnsureVisibleTop(inst, offset, &top)) return 0;
    inst.topRow = top;
    SetVerticalPosition(inst);
    HexViewInvalidateAll(inst);
    UpdateWindow(inst.hwnd);
    return 1;
}

void HexViewPostScroll(HexViewInstance& inst, UINT message, int code) {
    PostMessageA(inst.hwnd, message, MAKEWPARAM(code, 0), 0);
}
