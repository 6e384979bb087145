// HexView32 files: opening a file as the document, saving, inserting a file's bytes, and naming
// a selection for export. The document does the file work (hex_document_file.h); these keep
// the control's fields, view and notifications in step with it.
#include <cstring>

#include "document/hex_document_file.h"
#include "document/hex_document_image.h"
#include "hexview/hexview_instance_win.h"
#include "hexview/hexview_names.h"
#include "platform/text.h"

namespace {

bool IsOwnFile(const HexViewInstance& inst, const char* path) {
    return inst.filePath[0] != '\0' && lstrcmpiA(path, inst.filePath) == 0;
}

// After reopening the own file the view stays where it was, inside the document.
void KeepViewInside(HexViewInstance& inst) {
    inst.caretPos = std::min(inst.caretPos, inst.docSize);
    inst.selAnchor = std::min(inst.selAnchor, inst.docSize);
    inst.selEnd = std::min(inst.selEnd, inst.docSize);
    inst.digitIndex = 0;
    HexViewUpdateScrollBars(inst);
    HexViewCaretCellFromPos(inst);
}

// A save had to close the document and it could not come back: the view must not go on over a
// closed document (rows of zeros, edits that go nowhere), nor keep a name that a later save of
// the empty one would overwrite. It starts an empty document; the outcome says where the bytes
// are.
void LoseDocument(HexViewInstance& inst, HexSaveOutcome& outcome) {
    HexViewNew(inst);
    outcome.cleared = true;
}

int AfterFileInserted(HexViewInstance& inst, std::uint32_t position, std::uint32_t count) {
    inst.modified = 1;
    HexViewRefreshSize(inst);
    inst.dragOutActive = 0;
    if (GetFocus() == inst.hwnd) {
        if (inst.caretOwned) DestroyCaret();
        HexViewCreateCaret(inst);
    }
    HexViewUpdateScrollBars(inst);
    inst.selAnchor = position;
    inst.selEnd = inst.caretPos = position + count;
    HexViewCaretCellFromPos(inst);
    HexViewInvalidateAll(inst);
    UpdateWindow(inst.hwnd);
    HexViewPlaceCaret(inst);
    HexViewShowCaret(inst);
    inst.lastError = kHexOk;
    HexViewNotifyParent(inst, HVN_CHANGED);
    HexViewNotifyParent(inst, HVN_CARETMOVED);
    return 1;
}

int InsertFile(HexViewInstance& inst, const char* path, DWORD position, int mode, BOOL limit,
               bool mapped) {
    if (path == nullptr) return HexViewFail(inst, mapped ? kHexOpenFailed : kHexInsertOpenFailed);
    if (!HexViewCanEdit(inst)) return 0;
    if (IsOwnFile(inst, path)) {
        return HexViewFail(inst, mapped ? kHexInsertOwnFileMapped : kHexInsertOwnFileRead);
    }
    const bool insert = mode == 1;
    std::uint32_t maximum = kHexNoLimit;
    if (limit && inst.selAnchor != inst.selEnd && !insert) maximum = SelectionLength(inst);
    const std::uint32_t placed =
        mapped ? HexDocInsertMapped(inst.document, position, path, maximum, insert)
               : HexDocInsertFile(inst.document, position, path, maximum, insert);
    if (placed == 0) return HexViewFail(inst, inst.document.error);
    return AfterFileInserted(inst, position, placed);
}

// A save that writes nothing: already saved, or refused before it began (code).
int SaveDone(HexViewInstance& inst, HexSaveOutcome& outcome, HexError code) {
    outcome.saved = outcome.reopened = code == kHexOk;
    outcome.error = code;
    return code == kHexOk ? HexViewFail(inst, kHexOk) + 1 : HexViewFail(inst, code);
}

// The control again after a save, whatever it came to.
int AfterSave(HexViewInstance& inst, const HexSaveOutcome& outcome) {
    EnableWindow(inst.hwnd, TRUE);
    SetFocus(inst.hwnd);
    HexViewInvalidateAll(inst);
    UpdateWindow(inst.hwnd);
    HexViewPlaceCaret(inst);
    inst.lastError = outcome.error;
    return outcome.saved && outcome.reopened ? 1 : 0;
}

int SaveFile(HexViewInstance& inst, const char* path, HexSaveOutcome& outcome) {
    outcome = HexSaveOutcome{};
    if (HexViewScanning(inst)) return SaveDone(inst, outcome, kHexBusy);  // it reads the file
    const bool ownFile = path == nullptr || IsOwnFile(inst, path);
    if (ownFile) {
        if (inst.filePath[0] == '\0') return SaveDone(inst, outcome, kHexCreateFailed);
        if (inst.readOnly != 0) return SaveDone(inst, outcome, kHexReadOnly);
        // Only a save that names no file may find nothing to do: a save to a named file writes
        // it, whatever the modified flag says.
        if (path == nullptr && inst.modified == 0) return SaveDone(inst, outcome, kHexOk);
    }
    // No input may reach the control while its document is being written and reopened.
    EnableWindow(inst.hwnd, FALSE);
    SetFocus(GetParent(inst.hwnd));
    const bool differences = HexViewShownDifferences(inst) != nullptr;
    outcome = HexDocSaveFile(inst.document, ownFile ? nullptr : path);
    if (!outcome.saved) {
        // The document keeps its edits, unless it had to let go of its file for good.
        if (outcome.keptFile[0] != '\0') LoseDocument(inst, outcome);
        return AfterSave(inst, outcome);
    }
    // Written whole: the file becomes the document, opened the way the old one was.
    const std::uint32_t before = inst.document.changeCount;
    outcome.reopened =
        HexViewOpenFile(inst, ownFile ? "*" : path, inst.openedByMapping != 0,
                        ownFile && inst.readOnly != 0, differences) != 0;
    if (!outcome.reopened) {
        outcome.error = static_cast<HexError>(inst.lastError);
        // A reopen has nothing to go back to; another file may have failed after the old
        // document had to go (and the view then shows an empty one).
        if (ownFile) {
            LoseDocument(inst, outcome);
        } else {
            outcome.cleared = inst.document.changeCount != before;
        }
    }
    return AfterSave(inst, outcome);
}

int SaveImage(HexViewInstance& inst, const char* path, ImageFormat format, const char* name,
              HexSaveOutcome& outcome) {
    outcome = HexSaveOutcome{};
    if (HexViewScanning(inst)) return SaveDone(inst, outcome, kHexBusy);
    EnableWindow(inst.hwnd, FALSE);
    SetFocus(GetParent(inst.hwnd));
    const bool differences = HexViewShownDifferences(inst) != nullptr;
    outcome = HexDocSaveImage(inst.document, path, format, name != nullptr ? name : "");
    if (outcome.saved) {
        // The document is the file's image now, in memory: it has no file of its own to map.
        inst.filePath[0] = '\0';
        inst.openedByMapping = inst.readOnly = inst.modified = 0;
        inst.unreadableTold = false;
        HexViewRefreshSize(inst);
        KeepViewInside(inst);
        HexViewKeepDifferences(inst, differences && outcome.reopened);
        if (!outcome.reopened) outcome.cleared = true;
        HexViewNotifyParent(inst, HVN_CHANGED);
    }
    return AfterSave(inst, outcome);
}

}  // namespace

int HexViewOpenFile(HexViewInstance& inst, const char* path, bool useMapping, bool readOnly,
                    bool keepDifferences) {
    if (path == nullptr) return HexViewFail(inst, kHexOpenFailed);
    HexViewCancelScan(inst);
    const bool reopen = std::strcmp(path, "*") == 0;
    if (!HexDocOpenFile(inst.document, path, useMapping, readOnly)) {
        const std::uint32_t error = inst.document.error;
        // Another file can fail after the old document had to go (no window of it could be
        // read): the view must not go on over a closed document. A reopen has its own way out.
        if (!reopen && inst.document.addSource < 0) HexViewNew(inst);
        return HexViewFail(inst, error);
    }
    inst.openedByMapping = useMapping ? 1 : 0;
    if (!reopen) CopyText(inst.filePath, sizeof inst.filePath, path);
    HexViewRefreshSize(inst);
    const FileHandle file = HexDocOriginalFileTemp(inst.document);
    if (file != kNoFile) {
        GetFileInformationByHandle(reinterpret_cast<HANDLE>(file), &inst.fileInfo);
    }
    inst.modified = 0;
    inst.readOnly = HexDocOriginalReadOnly(inst.document) ? 1 : 0;
    inst.unreadableTold = false;
    if (reopen) {
        KeepViewInside(inst);
    } else {
        HexViewResetView(inst);
    }
    HexViewKeepDifferences(inst, keepDifferences);
    inst.lastError = kHexOk;
    HexViewNotifyParent(inst, HVN_CHANGED);
    return 1;
}

int HexViewOpenFile(HWND control, const char* path, BOOL useMapping, BOOL readOnly) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr ? HexViewOpenFile(*inst, path, useMapping != 0, readOnly != 0) : 0;
}

int HexViewSaveFile(HWND control, const char* path, HexSaveOutcome* outcome) {
    HexViewInstance* inst = HexViewFromWindow(control);
    HexSaveOutcome ignored;
    return inst != nullptr ? SaveFile(*inst, path, outcome != nullptr ? *outcome : ignored) : 0;
}

int HexViewSaveImage(HWND control, const char* path, ImageFormat format, const char* name,
                     HexSaveOutcome* outcome) {
    HexViewInstance* inst = HexViewFromWindow(control);
    HexSaveOutcome ignored;
    if (inst == nullptr || path == nullptr) return 0;
    return SaveImage(*inst, path, format, name, outcome != nullptr ? *outcome : ignored);
}

int HexViewOpenImage(HWND control, const SparseImage& image, const ImageRecords& records) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr) return 0;
    HexViewNew(*inst);
    const bool opened = HexDocOpenImage(inst->document, image, records);
    const std::uint32_t error = inst->document.error;
    HexViewRefreshSize(*inst);
    HexViewResetView(*inst);
    HexViewNotifyParent(*inst, HVN_CHANGED);
    inst->lastError = opened ? kHexOk : error;
    return opened ? 1 : 0;
}

int HexViewGetDataRanges(HWND control, std::vector<HexDocRange>* ranges) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr || ranges == nullptr) return 0;
    *ranges = HexDocDataRanges(inst->document);
    return 1;
}

int HexViewInsertFile(HWND control, const char* path, DWORD position, int mode, BOOL limit) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr ? InsertFile(*inst, path, position, mode, limit, false) : 0;
}

int HexViewInsertFileMapped(HWND control, const char* path, DWORD position, int mode,
                            BOOL limit) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr ? InsertFile(*inst, path, position, mode, limit, true) : 0;
}

int HexViewSnapshotName(HWND control, char* destination) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr || destination == nullptr || inst->filePath[0] == '\0') return 0;
    char full[MAX_PATH];
    char* name = nullptr;
    DWORD length = GetFullPathNameA(inst->filePath, sizeof full, full, &name);
    if (length == 0 || length >= sizeof full || name == nullptr) return 0;
    HexViewFormatSnapshotName(name, inst->selAnchor, inst->selEnd, destination, MAX_PATH);
    return 0;
}

// Rendering a selection for another program reads the document; it does not change it, so
// the modified flag is left alone.
DWORD HexViewReadExtents(HWND control, const HexExtent* extents, DWORD extentCount,
                         void* destination, DWORD skip, DWORD count) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr || extents == nullptr || destination == nullptr) return 0;
    return HexDocReadExtents(inst->document, extents, extentCount, destination, skip, count);
}
