// HexView32 commands beyond typing and the clipboard: Go To, Select All, Fill and Copy as hex
// text, and whether undo and redo can do anything now.
#include "document/hex_fill.h"
#include "document/hex_text.h"
#include "hexview/hexview_instance_win.h"

void HexViewMoveCaretTo(HexViewInstance& inst, std::uint32_t offset, std::uint32_t anchor) {
    HexViewInvalidateRange(inst, inst.selAnchor, inst.selEnd);
    inst.selAnchor = anchor;
    inst.selEnd = offset;
    inst.digitIndex = 0;
    HexViewSetCaret(inst, offset);
    if (!HexViewEnsureVisible(inst, offset)) HexViewInvalidateRange(inst, anchor, offset);
    HexViewCaretCellFromPos(inst);  // the view may have moved
    HexViewPlaceCaret(inst);
    HexViewNotifyCaretAndSelection(inst);
}

namespace {

int CopyHex(HexViewInstance& inst) {
    const std::uint32_t count = SelectionLength(inst);
    if (count == 0) return HexViewFail(inst, kHexNothingSelected);
    if (count > kHexTextMaxBytes) return HexViewFail(inst, kHexTooLarge);
    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, HexTextLength(count) + 1));
    if (!block) return HexViewFail(inst, kHexNoMemory);
    {
        GlobalLockScope text(block.get());
        if (text.data() == nullptr) return HexViewFail(inst, kHexNoMemory);
        if (!HexDocHexText(inst.document, SelectionMin(inst), count,
                           static_cast<char*>(text.data()))) {
            return HexViewFail(inst, inst.document.error);
        }
    }
    // A clipboard held open by another program has no code of its own.
    if (!OpenClipboard(inst.hwnd)) return HexViewFail(inst, kHexOk);
    EmptyClipboard();  // also lets go of a data object a copy put there
    const bool placed = SetClipboardData(CF_TEXT, block.get()) != nullptr;
    if (placed) block.release();  // the clipboard's now
    CloseClipboard();
    if (!placed) return HexViewFail(inst, kHexNoMemory);
    inst.lastError = kHexOk;
    return 1;
}

int Fill(HexViewInstance& inst, const BYTE* pattern, DWORD length) {
    if (!HexViewCanEdit(inst)) return 0;
    if (inst.selAnchor == inst.selEnd) return HexViewFail(inst, kHexNothingSelected);
    if (!HexDocFillPattern(inst.document, SelectionMin(inst), SelectionLength(inst), pattern,
                           length)) {
        return HexViewFail(inst, inst.document.error);
    }
    inst.modified = 1;
    inst.digitIndex = 0;  // a digit typed next starts a byte of its own
    HexViewInvalidateRange(inst, inst.selAnchor, inst.selEnd);
    UpdateWindow(inst.hwnd);
    inst.lastError = kHexOk;
    HexViewNotifyParent(inst, HVN_CHANGED);
    return 1;
}

}  // namespace

int HexViewGoTo(HWND control, DWORD offset) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr) return 0;
    if (offset > inst->docSize) return HexViewFail(*inst, kHexOutOfRange);
    HexViewMoveCaretTo(*inst, offset, offset);
    inst->lastError = kHexOk;
    return 1;
}

int HexViewSelectAll(HWND control) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr) return 0;
    inst->selAnchor = 0;
    inst->selEnd = inst->docSize;
    inst->digitIndex = 0;
    HexViewSetCaret(*inst, inst->docSize);
    HexViewInvalidateAll(*inst);
    HexViewPlaceCaret(*inst);
    HexViewNotifyCaretAndSelection(*inst);
    return 1;
}

int HexViewCanUndo(HWND control) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr && inst->document.undoStack.count != 0 && !HexViewScanning(*inst);
}

int HexViewCanRedo(HWND control) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr && inst->document.redoStack.count != 0 && !HexViewScanning(*inst);
}

int HexViewFill(HWND control, const BYTE* pattern, DWORD length) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr ? Fill(*inst, pattern, length) : 0;
}

int HexViewCopyHex(HWND control) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr ? CopyHex(*inst) : 0;
}
