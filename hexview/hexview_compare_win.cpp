// HexView32 compares: one started against a file or a copy of bytes (the run itself goes as a
// search's, hexview_scan_win.cpp), the differences it found while they still belong to the
// document, and stepping through them.
#include <limits>
#include <new>

#include "document/hex_document_file.h"
#include "hexview/hexview_instance_win.h"

const HexDiffList* HexViewShownDifferences(const HexViewInstance& inst) {
    if (!inst.differences || inst.document.changeCount != inst.differencesChange) return nullptr;
    return &*inst.differences;
}

void HexViewDropDifferences(HexViewInstance& inst, bool all) {
    if (!inst.differences || (!all && HexViewShownDifferences(inst) != nullptr)) return;
    inst.differences.reset();
    HexViewInvalidateAll(inst);
}

void HexViewKeepDifferences(HexViewInstance& inst, bool shown) {
    if (shown && inst.differences) inst.differencesChange = inst.document.changeCount;
}

namespace {

int StartCompare(HexViewInstance& inst, HexCompareSide other) {
    HexViewDropDifferences(inst, true);
    inst.compare.emplace(HexCompareSide::Document(inst.document), other);
    HexViewScanInfo info{};
    info.kind = HVSCAN_COMPARE;
    HexViewStartScan(inst, info);
    return 1;
}

int CompareFile(HexViewInstance& inst, const char* path) {
    if (HexViewScanning(inst)) return HexViewFail(inst, kHexBusy);
    if (path == nullptr) return HexViewFail(inst, kHexOpenFailed);
    // The document holds its own file open for writing, which no reader may share; its unedited
    // bytes are that file's anyway, and the edited ones show as such.
    if (inst.filePath[0] != '\0' && lstrcmpiA(path, inst.filePath) == 0) {
        return HexViewFail(inst, kHexAlreadyOpen);
    }
    auto file = std::make_unique<HexDocument>();
    if (!HexDocOpenFile(*file, path, true, true)) return HexViewFail(inst, file->error);
    inst.compareFile = std::move(file);
    return StartCompare(inst, HexCompareSide::Document(*inst.compareFile));
}

int CompareData(HexViewInstance& inst, const void* bytes, DWORD size) {
    if (HexViewScanning(inst)) return HexViewFail(inst, kHexBusy);
    if (bytes == nullptr && size > 0) return HexViewFail(inst, kHexOutOfRange);
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    try {
        inst.compareBytes.assign(first, first + size);
    } catch (const std::bad_alloc&) {
        return HexViewFail(inst, kHexNoMemory);
    }
    return StartCompare(inst, HexCompareSide::Block(inst.compareBytes.data(), size));
}

int CompareImage(HexViewInstance& inst, const SparseImage& image) {
    if (HexViewScanning(inst)) return HexViewFail(inst, kHexBusy);
    try {
        inst.compareImage = image;
    } catch (const std::bad_alloc&) {
        return HexViewFail(inst, kHexNoMemory);
    }
    return StartCompare(inst, HexCompareSide::Given(inst.compareImage));
}

int NextDifference(HexViewInstance& inst, bool backward, HexViewDifference* found) {
    if (HexViewScanning(inst)) return HexViewFail(inst, kHexBusy);
    const HexDiffList* list = HexViewShownDifferences(inst);
    if (list == nullptr) return HexViewFail(inst, kHexNoCompare);
    const bool selection = inst.selAnchor != inst.selEnd;
    const std::uint32_t at = selection ? SelectionMin(inst) : inst.caretPos;
    HexDiffRange range{};
    bool wrapped = false;
    bool any;
    if (backward) {
        any = list->Previous(at, &range, &wrapped);
    } else {
        // Past the range the caret stands on; at the end, past the other side's extra bytes,
        // which put the caret there.
        const bool past =
            (selection || at == inst.docSize) && at != std::numeric_limits<std::uint32_t>::max();
        any = list->Next(past ? at + 1 : at, &range, &wrapped);
    }
    inst.lastError = kHexOk;
    if (!any) return 0;
    const std::uint32_t start = std::min(range.start, inst.docSize);
    HexViewMoveCaretTo(inst, start, std::min(range.end, inst.docSize));
    if (found != nullptr) *found = {range.start, range.end, wrapped ? 1u : 0u};
    return 1;
}

}  // namespace

int HexViewCompareFile(HWND control, const char* path) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr ? CompareFile(*inst, path) : 0;
}

int HexViewCompareData(HWND control, const void* bytes, DWORD size) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr ? CompareData(*inst, bytes, size) : 0;
}

int HexViewCompareImage(HWND control, const SparseImage& image) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr ? CompareImage(*inst, image) : 0;
}

int HexViewGetDifferences(HWND control, HexDiffCounts* counts) {
    HexViewInstance* inst = HexViewFromWindow(control);
    const HexDiffList* list = inst != nullptr ? HexViewShownDifferences(*inst) : nullptr;
    if (list == nullptr || counts == nullptr) return 0;
    *counts = list->Counts();
    return 1;
}

int HexViewNextDifference(HWND control, BOOL backward, HexViewDifference* found) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr ? NextDifference(*inst, backward != 0, found) : 0;
}
