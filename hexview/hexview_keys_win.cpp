// HexView32 keyboard: caret movement and selection by key (WM_KEYDOWN), the editing and
// clipboard keys, undo and redo, and bytes typed as digits in the number pane or as characters
// in the character pane (WM_CHAR), in insert or overwrite mode.
#include <algorithm>

#include "hexview/hexview_input.h"
#include "hexview/hexview_instance_win.h"
#include "hexview/hexview_scroll.h"

namespace {

bool KeyDown(int key) { return GetKeyState(key) < 0; }

// The keys that move the caret; with Control the arrows scroll a line instead (a post of the
// scroll message), and Home and End jump to the ends of the document.
struct CaretKey {
    UINT key;
    HexCaretKey move;
    UINT scrollMessage;  // 0 for Home and End
    int scrollCode;
};
constexpr CaretKey kCaretKeys[] = {
    {VK_LEFT, HexCaretKey::kLeft, WM_HSCROLL, SB_LINELEFT},
    {VK_RIGHT, HexCaretKey::kRight, WM_HSCROLL, SB_LINERIGHT},
    {VK_UP, HexCaretKey::kUp, WM_VSCROLL, SB_LINEUP},
    {VK_DOWN, HexCaretKey::kDown, WM_VSCROLL, SB_LINEDOWN},
    {VK_HOME, HexCaretKey::kHome, 0, 0},
    {VK_END, HexCaretKey::kEnd, 0, 0},
};

// The virtual key the keyboard layout gives a letter (Control+Z and Control+Y follow it).
UINT KeyOfLetter(char letter) { return LOBYTE(VkKeyScanA(letter)); }

// Shift extends the selection from its anchor to the caret; the cells in between repaint.
void ExtendSelection(HexViewInstance& inst) {
    HexViewInvalidateRange(inst, inst.selEnd, inst.caretPos);
    inst.selEnd = inst.caretPos;
}

void ClipboardKey(HexViewInstance& inst, int (*operation)(HexViewInstance&), const char* failure) {
    if (operation(inst) == 0) HexViewWarn(inst, failure);
}

// Without Shift the empty selection follows the caret, so that a later Shift+click extends
// from where the caret is.
void SelectOrFollow(HexViewInstance& inst, bool shift) {
    if (shift) {
        ExtendSelection(inst);
    } else {
        inst.selAnchor = inst.selEnd = inst.caretPos;
    }
}

// After the arrow keys, Home, End and Backspace.
void CommonTail(HexViewInstance& inst, bool vertical, bool shift) {
    if (vertical) {
        if (inst.caretRow < 0) {
            HexViewScrollUpLine(inst);
            HexViewCaretCellKeepingEndOfRow(inst);
        } else if (inst.caretRow >= static_cast<std::int32_t>(inst.pageRows) &&
                   inst.pageRows != 0) {
            HexViewScrollDownLine(inst);
            HexViewCaretCellKeepingEndOfRow(inst);
        }
    }
    SelectOrFollow(inst, shift);
    if (inst.caretRow >= static_cast<std::int32_t>(inst.pageRows)) {
        HexViewPostScroll(inst, WM_VSCROLL, SB_LINEDOWN);
    }
    HexViewNotifyCaretAndSelection(inst);
    inst.digitIndex = 0;
    HexViewPlaceCaret(inst);
}

void MoveKey(HexViewInstance& inst, HexCaretKey key, bool shift) {
    HexViewMoveCaretByKey(inst, key);
    CommonTail(inst, key == HexCaretKey::kUp || key == HexCaretKey::kDown, shift);
}

// Control+Home and Control+End.
void JumpKey(HexViewInstance& inst, bool toEnd, bool shift) {
    const std::uint32_t old = inst.caretPos;
    inst.caretPos = toEnd ? inst.docSize : 0;
    if (toEnd) {
        HexViewCaretCellPreferEndOfRow(inst);
    } else {
        HexViewCaretCellFromPos(inst);
    }
    SelectOrFollow(inst, shift);
    HexViewPostScroll(inst, WM_VSCROLL, toEnd ? SB_BOTTOM : SB_TOP);
    if (inst.caretPos != old) {
        HexViewInvalidateAll(inst);
        HexViewPlaceCaret(inst);
    }
    HexViewNotifyParent(inst, HVN_CARETMOVED);
    if (shift) HexViewNotifyParent(inst, HVN_SELCHANGED);
}

void PageKey(HexViewInstance& inst, bool down, bool shift) {
    const std::uint32_t old = inst.caretPos;
    HexViewPageCaret(inst, down);
    SelectOrFollow(inst, shift);
    HexViewPostScroll(inst, WM_VSCROLL, down ? SB_PAGEDOWN : SB_PAGEUP);
    const std::uint32_t page = std::max<std::uint32_t>(inst.pageRows, 1);
    const bool nearEdge = down ? std::uint64_t{inst.topRow} + page > HexViewLastTopRow(inst)
                               : inst.topRow < page;
    if (nearEdge && inst.caretPos != old) HexViewInvalidateAll(inst);
    HexViewPlaceCaret(inst);
    HexViewNotifyParent(inst, HVN_CARETMOVED);
    if (shift) HexViewNotifyParent(inst, HVN_SELCHANGED);
}

void DeleteKey(HexViewInstance& inst) {
    if (inst.readOnly != 0) return;
    if (HexViewClear(inst) == 0 && inst.lastError == kHexNoMemory) {
        HexViewWarn(inst, "Not enough memory to complete this operation");
    }
}

void BackspaceKey(HexViewInstance& inst) {
    const std::uint32_t old = inst.caretPos;
    if (inst.caretPos > 0) inst.caretPos -= 1;
    HexViewCaretCellFromPos(inst);
    if (inst.caretRow < 0) HexViewPostScroll(inst, WM_VSCROLL, SB_LINEUP);
    if (inst.insertMode != 0 && inst.caretPos != old && HexViewCanEdit(inst) &&
        HexDocDelete(inst.document, inst.caretPos, 1)) {
        inst.modified = 1;
        const std::uint32_t oldTop = inst.topRow;
        HexViewRefreshSize(inst);
        HexViewUpdateScrollBars(inst);
        HexViewCaretCellFromPos(inst);
        if (inst.topRow != oldTop) {
            HexViewInvalidateAll(inst);  // the view moved back to the new last page
        } else {
            HexViewInvalidateBelow(inst, HexViewColumnX(inst, inst.dataColumn),
                                   inst.caretRow * inst.lineHeight, true);
        }
        HexViewPlaceCaret(inst);
        HexViewNotifyParent(inst, HVN_CHANGED);
    }
    // Shift does not select here: the byte the selection would reach from may be gone.
    CommonTail(inst, false, false);
}

// Typing: the selection the key found, when nothing has moved since; a character that came
// without a key of its own types over the selection as it is.
struct TypedOverSelection {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
};

TypedOverSelection TakeKeySelection(HexViewInstance& inst) {
    TypedOverSelection selection;
    if (inst.keySelectionSaved && inst.keySelectionCaret == inst.caretPos &&
        inst.keySelectionDocSize == inst.docSize) {
        selection.start = inst.keySelectionStart;
        selection.length = inst.keySelectionLength;
    } else if (!inst.keySelectionSaved) {
        selection.start = SelectionMin(inst);  // a character that came without its key
        selection.length = SelectionLength(inst);
    }
    inst.keySelectionSaved = false;
    return selection;
}

// Insert mode with HVS_TYPEREPLACESSEL: the typed byte replaces what was selected, and the
// deletion and the insertion undo as one step.
bool DeleteTypedOver(HexViewInstance& inst, const TypedOverSelection& selection) {
    if ((inst.style & HVS_TYPEREPLACESSEL) == 0 || selection.length == 0) return false;
    if (!HexDocDelete(inst.document, selection.start, selection.length)) return false;
    inst.document.groupNext = 1;
    inst.caretPos = selection.start;
    HexViewCaretCellFromPos(inst);
    HexViewInvalidateAll(inst);
    return true;
}

// Inserts one byte at the caret (replacing the typed-over selection first); false when the
// document refused, after putting right what a refused insertion left.
bool InsertTyped(HexViewInstance& inst, const TypedOverSelection& selection, std::uint8_t byte) {
    const bool deleted = DeleteTypedOver(inst, selection);
    if (!HexDocInsert(inst.document, inst.caretPos, &byte, 1)) {
        inst.document.groupNext = 0;
        if (deleted) {  // the selection went; say so
            HexViewRefreshSize(inst);
            HexViewUpdateScrollBars(inst);
            inst.modified = 1;
            HexViewNotifyParent(inst, HVN_CHANGED);
        }
        return false;
    }
    HexViewRefreshSize(inst);
    HexViewInvalidateBelow(inst, HexViewColumnX(inst, inst.dataColumn),
                           inst.caretRow * inst.lineHeight, false);
    return true;
}

bool OverwriteTyped(HexViewInstance& inst, std::uint8_t byte) {
    if (!HexDocOverwrite(inst.document, inst.caretPos, &byte, 1)) return false;
    HexViewRefreshSize(inst);
    HexViewPaintCaretByte(inst);
    return true;
}

void Finish(HexViewInstance& inst, std::uint32_t oldRows) {
    inst.selAnchor = inst.selEnd = inst.caretPos;
    if (inst.caretRow >= static_cast<std::int32_t>(inst.pageRows)) {
        HexViewPostScroll(inst, WM_VSCROLL, SB_LINEDOWN);
    }
    HexViewPlaceCaret(inst);
    if (inst.rowCount != oldRows) {
        // New rows need their addresses.
        RECT addresses{0, (inst.caretRow - 1) * inst.lineHeight,
                       HexViewColumnX(inst, inst.dataColumn), inst.clientHeight};
        InvalidateRect(inst.hwnd, &addresses, FALSE);
    }
    inst.modified = 1;
    HexViewNotifyParent(inst, HVN_CHANGED);
}

void MoveCaretAfterTyping(HexViewInstance& inst) {
    HexViewUpdateScrollBars(inst);
    inst.caretPos = std::min(inst.caretPos, inst.docSize);
    HexViewCaretCellFromPos(inst);
}

bool TypeCharacter(HexViewInstance& inst, const TypedOverSelection& selection, std::uint8_t c,
                   std::uint32_t oldRows) {
    const bool typed = inst.insertMode != 0 ? InsertTyped(inst, selection, c)
                                            : OverwriteTyped(inst, c);
    if (!typed) return false;
    if (inst.caretPos < inst.docSize) inst.caretPos += 1;
    MoveCaretAfterTyping(inst);
    Finish(inst, oldRows);
    return true;
}

// Whether the next digit continues the byte whose first digit was typed last.
bool ContinuesByte(HexViewInstance& inst) {
    return inst.digitIndex != 0 && inst.digitPos == inst.caretPos &&
           inst.digitDocLength == HexDocLength(inst.document) &&
           inst.digitByte == HexDocLastAddedByte(inst.document);
}

void TypeDigit(HexViewInstance& inst, const TypedOverSelection& selection, char c,
               std::uint32_t oldRows) {
    const HexDigitRules* rules = HexViewDigitRules(inst.style);
    if (rules == nullptr) return;
    if (!ContinuesByte(inst)) inst.digitIndex = 0;
    const int d = HexViewDigitValue(*rules, c, inst.digitIndex);
    if (d < 0) return;
    const std::uint32_t place = HexViewDigitPlace(*rules, inst.digitIndex);

    if (inst.digitIndex == 0) {
        if (inst.insertMode != 0) {
            if (!InsertTyped(inst, selection, static_cast<std::uint8_t>(d * place))) return;
            UpdateWindow(inst.hwnd);
        } else {
            const std::uint8_t old =
                inst.caretPos < inst.docSize ? HexDocGetByte(inst.document, inst.caretPos) : 0;
            if (!OverwriteTyped(inst, HexViewFirstDigit(old, d, place))) return;
        }
        inst.digitPos = inst.caretPos;
        inst.digitDocLength = HexDocLength(inst.document);
        inst.digitByte = HexDocLastAddedByte(inst.document);
        inst.digitIndex = 1;
    } else {
        const std::uint8_t old = *HexDocLastAddedByte(inst.document);
        if (!HexDocChangeLastAdded(inst.document, inst.caretPos,
                                   HexViewReplaceDigit(old, d, place, rules->radix))) {
            return;
        }
        inst.digitByte = HexDocLastAddedByte(inst.document);  // a new one when a copy held it
        HexViewPaintCaretByte(inst);
        inst.digitIndex += 1;
    }
    if (inst.digitIndex == rules->digits) {
        inst.digitIndex = 0;
        inst.caretPos += 1;
    }
    MoveCaretAfterTyping(inst);
    Finish(inst, oldRows);
}

}  // namespace

void HexViewOnKeyDown(HexViewInstance& inst, UINT key) {
    if (key == VK_SHIFT || key == VK_CONTROL) return;
    const bool shift = KeyDown(VK_SHIFT);
    const bool control = KeyDown(VK_CONTROL);
    // While a search, checksum or compare runs, Escape stops it and the keys that edit do
    // nothing; the others still move about.
    if (HexViewScanning(inst)) {
        if (key == VK_ESCAPE) return static_cast<void>(HexViewCancelScan(inst));
        if (key == VK_DELETE || key == VK_BACK || (key == VK_INSERT && shift) ||
            (control && (key == KeyOfLetter('z') || key == KeyOfLetter('y')))) {
            return static_cast<void>(MessageBeep(MB_OK));
        }
    }
    // The caret in the end-of-row form stands on the row before its offset's.
    const bool endOfRow = inst.caretCol == inst.bytesPerRow && inst.caretPos > 0;
    if (key != VK_TAB && key != VK_INSERT && !control) {
        HexViewEnsureVisible(inst, inst.caretPos - (endOfRow ? 1 : 0));
    }

    if (key == VK_INSERT && shift) {
        return ClipboardKey(inst, HexViewPaste, "Failed to paste the clipboard contents");
    }
    if (key == VK_INSERT && control) {
        return ClipboardKey(inst, HexViewCopy, "Failed to copy the selected data to the clipboard");
    }
    if (key == VK_DELETE && shift) {
        return ClipboardKey(inst, HexViewCut, "Failed to cut the selected data to the clipboard");
    }
    if (control && key == KeyOfLetter('z')) {
        if (inst.document.undoStack.count != 0) HexViewUndoStep(inst, false);
        return;
    }
    if (control && key == KeyOfLetter('y')) {
        if (inst.document.redoStack.count != 0) HexViewUndoStep(inst, true);
        return;
    }

    inst.keySelectionSaved = true;
    inst.keySelectionStart = SelectionMin(inst);
    inst.keySelectionLength = SelectionLength(inst);
    const bool editKey = key == VK_DELETE || key == VK_TAB || key == VK_INSERT || key == VK_BACK;
    if (!editKey && !shift) {
        if (inst.selAnchor != inst.selEnd) {
            HexViewInvalidateRange(inst, inst.selAnchor, inst.selEnd);
            inst.selAnchor = inst.selEnd = inst.caretPos;
            HexViewPlaceCaret(inst);
            HexViewNotifyParent(inst, HVN_SELCHANGED);
        }
    } else if (inst.selAnchor == inst.selEnd) {
        inst.selAnchor = inst.selEnd = inst.caretPos;  // Shift movement extends from the caret
    }
    inst.keySelectionCaret = inst.caretPos;
    inst.keySelectionDocSize = inst.docSize;
    if (key == VK_BACK && inst.selAnchor != inst.selEnd) key = VK_DELETE;

    for (const CaretKey& caretKey : kCaretKeys) {
        if (caretKey.key != key) continue;
        if (!control) return MoveKey(inst, caretKey.move, shift);
        if (caretKey.scrollMessage != 0) {
            return HexViewPostScroll(inst, caretKey.scrollMessage, caretKey.scrollCode);
        }
        return JumpKey(inst, caretKey.move == HexCaretKey::kEnd, shift);
    }
    switch (key) {
        case VK_PRIOR:
            if (!control) PageKey(inst, false, shift);
            return;
        case VK_NEXT:
            if (!control) PageKey(inst, true, shift);
            return;
        case VK_TAB:
            inst.digitIndex = 0;
            inst.inTextPane ^= 1;
            return HexViewPlaceCaret(inst);
        case VK_INSERT:
            if (inst.readOnly != 0) return;
            HexViewSetInsertMode(inst, inst.insertMode == 0);
            return HexViewNotifyParent(inst, HVN_MODECHANGED);
        case VK_DELETE: return DeleteKey(inst);
        case VK_BACK: return BackspaceKey(inst);
        default: return;
    }
}

void HexViewOnChar(HexViewInstance& inst, UINT character) {
    if (KeyDown(VK_CONTROL) || !HexViewTypesCharacter(character)) return;
    const TypedOverSelection selection = TakeKeySelection(inst);
    if (!HexViewCanEdit(inst)) return;
    if (inst.selAnchor != inst.selEnd) {
        HexViewInvalidateRange(inst, inst.selAnchor, inst.selEnd);
        inst.selAnchor = inst.selEnd = inst.caretPos;
    }
    if (inst.caretCol == inst.bytesPerRow) {  // from the end-of-row form to the next row
        inst.caretCol = 0;
        inst.caretRow += 1;
    }
    const std::uint32_t oldRows = inst.rowCount;
    if (inst.inTextPane != 0) {
        // Enter types a line break: the carriage return, then its line feed.
        if (TypeCharacter(inst, selection, static_cast<std::uint8_t>(character), oldRows) &&
            character == '\r') {
            TypeCharacter(inst, TypedOverSelection{}, '\n', inst.rowCount);
        }
    } else {
        TypeDigit(inst, selection, static_cast<char>(character), oldRows);
    }
}

int HexViewUndoStep(HexViewInstance& inst, bool redo) {
    if (!HexViewCanEdit(inst)) return 0;
    bool any = false;
    while (redo ? HexDocRedo(inst.document) : HexDocUndo(inst.document)) {
        any = true;
        if (inst.document.groupNext == 0) break;
    }
    if (!any) return 0;
    inst.modified = 1;
    HexViewRefreshSize(inst);
    const std::uint32_t start = std::min(inst.document.undoPos, inst.docSize);
    inst.selAnchor = start;
    inst.selEnd = inst.caretPos = start + std::min(inst.document.undoSpan, inst.docSize - start);
    HexViewUpdateScrollBars(inst);
    const bool scrolled = HexViewEnsureVisible(inst, inst.caretPos) != 0;
    HexViewCaretCellFromPos(inst);
    if (!scrolled || inst.docSize == 0) {
        HexViewInvalidateAll(inst, inst.docSize == 0);
        UpdateWindow(inst.hwnd);
    }
    inst.digitIndex = 0;
    HexViewPlaceCaret(inst);
    HexViewNotifyCaretAndSelection(inst);
    HexViewNotifyParent(inst, HVN_CHANGED);
    return 1;
}
