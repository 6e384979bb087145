// HexView32 clipboard and drag and drop, as far as the control goes without them: the checks
// that need no clipboard, and no drop target. The OLE data object, the clipboard snapshot and
// the drop target replace this file.
#include "hexview/hexview_instance_win.h"

int HexViewCopy(HexViewInstance& inst) {
    if (inst.selAnchor == inst.selEnd) {
        inst.lastError = kHexNothingSelected;
        return 0;
    }
    return 0;
}

int HexViewCut(HexViewInstance& inst) {
    if (inst.readOnly != 0) {
        inst.lastError = kHexReadOnly;
    } else if (inst.insertMode == 0) {
        inst.lastError = kHexCutNeedsInsert;
    } else if (inst.selAnchor == inst.selEnd) {
        inst.lastError = kHexNothingSelected;
    }
    return 0;
}

int HexViewPaste(HexViewInstance& inst) {
    if (inst.readOnly != 0) {
        inst.lastError = kHexReadOnly;
        return 0;
    }
    inst.lastError = kHexOk;  // nothing to paste is not a failure
    return 1;
}

void HexViewFlushClipboard(HexViewInstance&) {}

bool HexViewStartDrag(HexViewInstance&) { return false; }

IDropTarget* HexViewRegisterDropTarget(HexViewInstance&) { return nullptr; }

void HexViewRevokeDropTarget(HexViewInstance& inst) { inst.dropTarget = nullptr; }
