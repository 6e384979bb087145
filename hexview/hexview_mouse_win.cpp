// HexView32 mouse: clicks place the caret, a drag with the button held selects (with capture,
// and a 20 ms timer that scrolls while the pointer is outside the client area), a press on the
// selection may drag it out, the wheel scrolls.
#include <algorithm>

#include "hexview/hexview_instance_win.h"
#include "hexview/hexview_scroll.h"

namespace {

bool OnSelection(const HexViewInstance& inst, int x, int y) {
    const std::uint64_t offset = HexViewOffsetAt(inst, x, y);
    return offset < SelectionMax(inst) && offset >= SelectionMin(inst);
}

// The offset of row caretRow (relative to topRow) and column caretCol; a cell past the end of
// the document, or above its start, is the end of the document.
void CaretFromCell(HexViewInstance& inst) {
    const std::int64_t pos = (std::int64_t{inst.caretRow} + inst.topRow) * inst.bytesPerRow +
                             inst.caretCol;
    if (pos > std::int64_t{inst.docSize} || pos < 0) {
        inst.caretPos = inst.docSize;
        HexViewCaretCellFromPos(inst);
    } else {
        inst.caretPos = static_cast<std::uint32_t>(pos);
    }
}

HCURSOR CursorFor(const HexViewInstance& inst, int x, int y) {
    const bool arrow = (inst.style & HVS_DRAGSOURCE) != 0 && inst.dragSelecting == 0 &&
                       inst.selAnchor != inst.selEnd && OnSelection(inst, x, y);
    return LoadCursorA(nullptr, arrow ? IDC_ARROW : IDC_IBEAM);
}

// Starts a drag of the selection out of the control; when it was not dropped the selection is
// let go, as after a cancelled drag.
void DragSelectionOut(HexViewInstance& inst) {
    inst.dragOutActive = 1;
    if (!HexViewStartDrag(inst)) {
        HexViewInvalidateRange(inst, inst.selAnchor, inst.selEnd);
        inst.selAnchor = inst.selEnd = 0;
        if (GetFocus() == inst.hwnd) {
            HexViewCreateCaret(inst);
            HexViewShowCaret(inst);
        }
        HexViewSetCaret(inst, inst.caretPos);
        HexViewPlaceCaret(inst);
    }
    inst.dragOutActive = 0;
    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
}

void StartAutoScroll(HexViewInstance& inst) {
    if (inst.scrollTimer != 0) return;
    inst.scrollTimer = SetTimer(inst.hwnd, kAutoScrollTimer, kAutoScrollPeriod, nullptr);
}

}  // namespace

void HexViewStopAutoScroll(HexViewInstance& inst) {
    if (inst.scrollTimer == 0) return;
    KillTimer(inst.hwnd, kAutoScrollTimer);
    inst.scrollTimer = 0;
}

void HexViewOnLButtonDown(HexViewInstance& inst, WPARAM keys, int x, int y) {
    inst.digitIndex = 0;
    inst.mouseDown = 1;
    const bool shift = (keys & MK_SHIFT) != 0;
    const std::uint32_t oldCaret = inst.caretPos;
    const std::uint32_t oldEnd = inst.selEnd;

    if (inst.selAnchor != inst.selEnd && !shift) {
        if ((inst.style & HVS_DRAGSOURCE) != 0 && OnSelection(inst, x, y)) {
            // Maybe the start of a drag: no capture, no selecting.
            SetCursor(LoadCursorA(nullptr, IDC_ARROW));
            HexViewNotifyParent(inst, HVN_SELCHANGED);
            return;
        }
        HexViewInvalidateRange(inst, inst.selAnchor, inst.selEnd);
    }

    HexViewSetPaneFromX(inst, x);
    inst.caretCol = HexViewHitColumn(inst, x);
    const std::int64_t lastRow = std::int64_t{inst.rowCount} - inst.topRow - 1;
    inst.caretRow = static_cast<std::int32_t>(std::min<std::int64_t>(y / inst.lineHeight, lastRow));
    CaretFromCell(inst);

    if (inst.caretRow >= inst.clientHeight / inst.lineHeight && HexViewScrollDownLine(inst)) {
        inst.caretRow -= 1;  // the click hit the partly visible bottom row
    }

    if (shift) {
        HexViewInvalidateRange(inst, oldEnd, inst.caretPos);
    } else {
        inst.selAnchor = inst.caretPos;
    }
    inst.selEnd = inst.caretPos;
    if (inst.caretPos != oldCaret || !shift) HexViewNotifyCaretAndSelection(inst);
    HexViewPlaceCaret(inst);
    SetCapture(inst.hwnd);
    inst.dragSelecting = 1;
}

void HexViewOnMouseMove(HexViewInstance& inst, WPARAM keys, int x, int y) {
    if (inst.ignoreNextMove) {
        inst.ignoreNextMove = false;
        return;
    }
    const bool hasSelection = inst.selAnchor != inst.selEnd;
    if ((inst.style & HVS_DRAGSOURCE) != 0 && inst.dragSelecting == 0 && hasSelection) {
        const bool onSelection = OnSelection(inst, x, y);
        SetCursor(CursorFor(inst, x, y));
        if (inst.mouseDown != 0 && (keys & MK_LBUTTON) != 0 && onSelection) {
            DragSelectionOut(inst);
            return;
        }
    } else {
        SetCursor(LoadCursorA(nullptr, IDC_IBEAM));
    }
    if (inst.mouseDown == 0 || inst.dragSelecting == 0) return;

    const std::uint32_t oldCaret = inst.caretPos;
    inst.caretCol = HexViewHitColumn(inst, x);
    inst.caretRow = y / inst.lineHeight;
    HexViewSetPaneFromX(inst, x);
    if (y < 0) {
        inst.scrollDirectionY = -1;
        inst.caretRow = 0;
    } else if (inst.caretRow >= inst.clientHeight / inst.lineHeight) {
        inst.scrollDirectionY = 1;
        inst.caretRow = static_cast<std::int32_t>(inst.pageRows) - 1;
    } else {
        inst.scrollDirectionY = 0;
    }
    inst.scrollDirectionX = x < 0 ? -1 : x > inst.clientWidth ? 1 : 0;
    if (inst.scrollDirectionY != 0 || inst.scrollDirectionX != 0) {
        StartAutoScroll(inst);
    } else {
        HexViewStopAutoScroll(inst);
    }

    CaretFromCell(inst);
    if (inst.selEnd != inst.caretPos) {
        HexViewInvalidateRange(inst, inst.selEnd, inst.caretPos);
        inst.selEnd = inst.caretPos;
    }
    if (inst.caretPos != oldCaret) {
        HexViewNotifyCaretAndSelection(inst);
        HexViewPlaceCaret(inst);
    }
}

void HexViewOnTimer(HexViewInstance& inst, UINT_PTR id) {
    if (id != kAutoScrollTimer) return;
    const std::uint32_t oldEnd = inst.selEnd;
    bool moved = false;
    if (inst.scrollDirectionY < 0 && inst.topRow > 0) {
        if (inst.caretPos >= inst.bytesPerRow) inst.caretPos -= inst.bytesPerRow;
        inst.selEnd = inst.caretPos;
        HexViewScrollUpLine(inst);
        moved = true;
    } else if (inst.scrollDirectionY > 0 && inst.topRow < HexViewLastTopRow(inst)) {
        inst.caretPos += std::min(inst.bytesPerRow, inst.docSize - inst.caretPos);
        inst.selEnd = inst.caretPos;
        HexViewScrollDownLine(inst);
        moved = true;
    }
    if (moved) {
        // The rows that stayed on the screen were scrolled, not repainted: their selection
        // changed too.
        HexViewInvalidateRange(inst, oldEnd, inst.selEnd);
        HexViewCaretCellFromPos(inst);
        HexViewPlaceCaret(inst);
    }
    if (inst.scrollDirectionX < 0 && inst.leftCol > 0) {
        SendMessageA(inst.hwnd, WM_HSCROLL, MAKEWPARAM(SB_LINELEFT, 0), 0);
        moved = true;
    } else if (inst.scrollDirectionX > 0 && inst.leftCol < HexViewLastLeftCol(inst)) {
        SendMessageA(inst.hwnd, WM_HSCROLL, MAKEWPARAM(SB_LINERIGHT, 0), 0);
        moved = true;
    }
    if (moved) HexViewNotifyCaretAndSelection(inst);
}

void HexViewOnLButtonUp(HexViewInstance& inst, WPARAM keys, int x, int y) {
    const bool pressedOnSelection = inst.mouseDown != 0 && inst.dragSelecting == 0;
    inst.mouseDown = 0;
    inst.dragSelecting = 0;
    HexViewStopAutoScroll(inst);
    ReleaseCapture();
    if (!pressedOnSelection || inst.selAnchor == inst.selEnd || (keys & MK_SHIFT) != 0) return;
    if (!OnSelection(inst, x, y)) return;
    // A click on the selection that did not become a drag: the caret goes where it was clicked.
    const std::uint32_t offset = static_cast<std::uint32_t>(HexViewOffsetAt(inst, x, y));
    SetCursor(LoadCursorA(nullptr, IDC_IBEAM));
    HexViewInvalidateRange(inst, inst.selAnchor, inst.selEnd);
    inst.selAnchor = inst.selEnd = offset;
    HexViewSetPaneFromX(inst, x);
    HexViewSetCaret(inst, offset);
    HexViewPlaceCaret(inst);
    HexViewNotifyCaretAndSelection(inst);
}

void HexViewOnRButtonDown(HexViewInstance& inst) {
    HexViewStopAutoScroll(inst);
    if (inst.dragSelecting != 0) {
        inst.dragSelecting = 0;
        ReleaseCapture();
    }
}

void HexViewOnMouseWheel(HexViewInstance& inst, int delta) {
    UINT lines = 3;
    SystemParametersInfoA(SPI_GETWHEELSCROLLLINES, 0, &lines, 0);
    if (lines == 0) return;
    if (lines == WHEEL_PAGESCROLL) {
        HexViewPostScroll(inst, WM_VSCROLL, delta > 0 ? SB_PAGEUP : SB_PAGEDOWN);
        return;
    }
    for (UINT i = 0; i < lines; ++i) {
        HexViewPostScroll(inst, WM_VSCROLL, delta > 0 ? SB_LINEUP : SB_LINEDOWN);
    }
}

LRESULT HexViewOnMouseActivate(HexViewInstance& inst) {
    inst.ignoreNextMove = true;
    if (GetFocus() != inst.hwnd) SetFocus(inst.hwnd);
    return MA_ACTIVATE;
}

bool HexViewOnSetCursor(HexViewInstance& inst, HWND window, UINT hitTest) {
    if (window != inst.hwnd || hitTest != HTCLIENT) return false;
    POINT point;
    GetCursorPos(&point);
    ScreenToClient(inst.hwnd, &point);
    SetCursor(CursorFor(inst, point.x, point.y));
    return true;
}
