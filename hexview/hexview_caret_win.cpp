// HexView32 caret and focus. A thread has one caret; the control only moves, shows or hides it
// while it owns it (from WM_SETFOCUS to WM_KILLFOCUS), so it never moves another window's.
#include "hexview/hexview_instance_win.h"

void HexViewPlaceCaret(HexViewInstance& inst) {
    const HexPoint point = HexViewCaretPoint(inst);
    if (inst.caretOwned) SetCaretPos(point.x, point.y);
}

void HexViewCreateCaret(HexViewInstance& inst) {
    inst.caretOwned = CreateCaret(inst.hwnd, nullptr, 2, inst.lineHeight) != FALSE;
}

void HexViewShowCaret(HexViewInstance& inst) {
    if (inst.caretOwned) ShowCaret(inst.hwnd);
}

void HexViewOnSetFocus(HexViewInstance& inst) {
    HexViewCreateCaret(inst);
    HexViewPlaceCaret(inst);
    HexViewShowCaret(inst);
}

void HexViewOnKillFocus(HexViewInstance& inst) {
    if (inst.caretOwned) {
        HideCaret(inst.hwnd);
        DestroyCaret();
        inst.caretOwned = false;
    }
    if (inst.dragSelecting != 0 && inst.mouseDown != 0) {
        inst.mouseDown = 0;
        inst.dragSelecting = 0;
        HexViewStopAutoScroll(inst);
        ReleaseCapture();
    }
}
