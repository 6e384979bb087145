// HexView32 edits that are not typing: clearing the selection or the byte at the caret, and the
// insertion and deletion of byte ranges that the clipboard and drag and drop share.
#include <algorithm>

#include "hexview/hexview_instance_win.h"
#include "hexview/hexview_scroll.h"

namespace {

int ClearInsertMode(HexViewInstance& inst) {
    const bool wholeClient = inst.selAnchor != inst.selEnd;
    inst.modified = 1;
    if (wholeClient) {
        const std::uint32_t start = SelectionMin(inst);
        if (!HexDocDelete(inst.document, start, SelectionLength(inst))) {
            return HexViewFail(inst, inst.document.error);
        }
        inst.caretPos = inst.selAnchor = inst.selEnd = start;
    } else if (inst.caretPos < inst.docSize && !HexDocDelete(inst.document, inst.caretPos, 1)) {
        return HexViewFail(inst, inst.document.error);
    }
    const std::int32_t caretY = inst.caretRow * inst.lineHeight;
    const std::uint32_t oldTop = inst.topRow;
    HexViewRefreshSize(inst);
    HexViewUpdateScrollBars(inst);
    HexViewCaretCellFromPos(inst);
    const bool empty = inst.docSize == 0;
    if (wholeClient || (inst.topRow != oldTop && inst.topRow == HexViewLastTopRow(inst))) {
        HexViewInvalidateAll(inst, empty);
    } else {
        HexViewInvalidateBelow(inst, HexViewColumnX(inst, inst.dataColumn), caretY, empty);
    }
    HexViewPlaceCaret(inst);
    UpdateWindow(inst.hwnd);
    HexViewNotifyCaretAndSelection(inst);
    HexViewNotifyParent(inst, HVN_CHANGED);
    return 1;
}

int ClearOverwriteMode(HexViewInstance& inst) {
    if (inst.selAnchor == inst.selEnd) return 1;
    if (!HexDocFill(inst.document, SelectionMin(inst), 0, SelectionLength(inst))) {
        return HexViewFail(inst, inst.document.error);
    }
    HexViewInvalidateRange(inst, inst.selAnchor, inst.selEnd);
    UpdateWindow(inst.hwnd);
    inst.modified = 1;
    HexViewNotifyParent(inst, HVN_CHANGED);
    return 1;
}

}  // namespace

int HexViewClear(HexViewInstance& inst) {
    if (!HexViewCanEdit(inst)) return 0;
    const int result = inst.insertMode != 0 ? ClearInsertMode(inst) : ClearOverwriteMode(inst);
    if (result != 0) inst.lastError = kHexOk;
    return result;
}

bool HexViewFitsWhole(HexViewInstance& inst, std::uint32_t position, std::uint32_t count) {
    const std::uint32_t room = inst.insertMode != 0 ? 0xFFFFFFFFu - inst.docSize
                                                    : 0xFFFFFFFFu - position;
    if (count <= room) return true;
    inst.lastError = kHexOutOfRange;
    return false;
}

std::uint32_t HexViewInsertData(HexViewInstance& inst, const void* source,
                                std::uint32_t position, std::uint32_t count) {
    if (count == 0 || !HexViewCanEdit(inst) || !HexViewFitsWhole(inst, position, count)) return 0;
    // One undo step of its own: neither typing before it nor typing after it joins it.
    HexDocEndRun(inst.document);
    const bool stored = inst.insertMode != 0
                            ? HexDocInsert(inst.document, position, source, count)
                            : HexDocOverwrite(inst.document, position, source, count);
    HexDocEndRun(inst.document);
    if (!stored) return HexViewFail(inst, inst.document.error);
    inst.modified = 1;
    HexViewRefreshSize(inst);
    HexViewUpdateScrollBars(inst);
    HexViewNotifyParent(inst, HVN_CHANGED);
    return count;
}

int HexViewDeleteRange(HexViewInstance& inst, std::uint32_t start, std::uint32_t length,
                       bool reset) {
    if (inst.insertMode == 0 || !HexViewCanEdit(inst)) return 0;
    if (!HexDocDelete(inst.document, start, length)) return HexViewFail(inst, inst.document.error);
    inst.modified = 1;
    HexViewRefreshSize(inst);
    HexViewUpdateScrollBars(inst);
    if (reset) {
        inst.selAnchor = inst.selEnd = inst.caretPos = 0;
        HexViewSetCaret(inst, start);
        inst.selAnchor = inst.selEnd = inst.caretPos;
        HexViewInvalidateAll(inst, inst.docSize == 0);
        UpdateWindow(inst.hwnd);
        HexViewPlaceCaret(inst);
    }
    HexViewNotifyParent(inst, HVN_CHANGED);
    return 1;
}
