// The grid's scroll bars and scroll origin, and its size: scrolling by bar and wheel, bringing
// the current cell into view, and the trim of the window to whole rows.
#include <algorithm>

#include "controls/grid_state_win.h"

namespace {

constexpr int kWheelLines = 3;

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

// Where the thumb is being dragged, within 1..maximum; 0 when the bar cannot say.
int TrackPosition(HWND window, int bar, int maximum) {
    SCROLLINFO info{sizeof info, SIF_TRACKPOS, 0, 0, 0, 0, 0};
    if (!GetScrollInfo(window, bar, &info)) return 0;
    return std::clamp(info.nTrackPos, 1, maximum);
}

void ScrollToRow(GridState& state, int row) {
    if (row == state.layout.firstRow) return;
    state.layout.firstRow = row;
    Repaint(state);
}

}  // namespace

void BringCurrentIntoView(GridState& state) {
    if (BringCellIntoView(state.layout, state.curRow, state.curCol)) Repaint(state);
}

void ResizeSelf(GridState& state) {
    SendMessageA(state.window, WM_SIZE, SIZE_MAXIMIZED,
                 MAKELPARAM(state.lastWidth, state.lastHeight));
}

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

void Repaint(GridState& state) {
    UpdateScrollBars(state);
    InvalidateRect(state.window, nullptr, FALSE);
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
        case SB_THUMBTRACK:
            position = TrackPosition(state.window, SB_VERT, maximum);
            if (position == 0) return 0;
            break;
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
        case SB_THUMBTRACK:
            position = TrackPosition(state.window, SB_HORZ, maximum);
            if (position == 0) return 0;
            break;
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

// `width` and `height` are the size to trim from: the new client size, or for a self-sent
// WM_SIZE the parent's last one.
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
        int frameWidth = frame.right - frame.left;
        int frameHeight = frame.bottom - frame.top;
        // The fitted height counts the horizontal bar; a border comes on top.
        if (fitted > 0) fitted += frameHeight - client.bottom - hBar;
        RECT parent{};
        if (HWND owner = GetParent(state.window)) GetClientRect(owner, &parent);
        int fittedWidth = FittedWidth(width, frameWidth - client.right, parent.right, frameWidth);
        if (fitted > 0 && (fitted != frameHeight || fittedWidth != frameWidth)) {
            state.ownResize = true;
            SetWindowPos(state.window, nullptr, 0, 0, fittedWidth, fitted,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            state.ownResize = false;
        }
    }
    BringCurrentIntoView(state);
}
