// HexView32 clipboard: copy and cut put a snapshot of the selection on the OLE clipboard (no
// bytes are copied until someone asks), paste inserts what the clipboard offers at the caret,
// and before a document closes its clipboard data is turned into plain bytes.
#include <algorithm>
#include <cstring>

#include "hexview/hexview_transfer.h"
#include "hexview/hexview_transfer_win.h"

namespace {

constexpr ULONG kPastePiece = 65535;  // most bytes read from a stream per step

// A 32-bit value from a global block of the format; false when there is none.
bool ReadDword(IDataObject* data, UINT format, DWORD* value) {
    HexFetchedBlock block(data, format);
    if (block.size() < sizeof *value) return false;
    std::memcpy(value, block.bytes(), sizeof *value);
    return true;
}

// Makes a data object for the selection and puts it on the clipboard, which then holds it (or
// nothing does).
bool PutSelectionOnClipboard(HexViewInstance& inst) {
    UniqueCom<IDataObject> data = HexViewCreateDataObject(inst);
    if (!data) {
        inst.lastError = kHexNoMemory;
        return false;
    }
    const HRESULT hr = OleSetClipboard(data.get());
    if (SUCCEEDED(hr)) gHexClipboardObject = data.get();
    // A clipboard held open by another program has no code of its own.
    if (FAILED(hr)) inst.lastError = kHexOk;
    return SUCCEEDED(hr);
}

// After a paste: caret at `end`, scrolled into view, everything repainted.
void ShowPasted(HexViewInstance& inst, std::uint32_t end) {
    HexViewEnsureVisible(inst, end);
    HexViewSetCaret(inst, end);
    HexViewPlaceCaret(inst);
    HexViewInvalidateAll(inst);
    UpdateWindow(inst.hwnd);
}

// A paste goes in whole or not at all: 1, or 0 with lastError when it could not.
int PasteBlock(HexViewInstance& inst, HGLOBAL block, DWORD announced) {
    GlobalLockScope text(block);
    const auto* bytes = static_cast<const std::uint8_t*>(text.data());
    if (bytes == nullptr) return HexViewFail(inst, kHexNoMemory);
    const std::uint32_t count = HexViewTextCount(announced, bytes, text.size());
    if (count == 0) return 1;
    if (HexViewInsertData(inst, bytes, inst.caretPos, count) == 0) return 0;
    ShowPasted(inst, inst.caretPos + count);
    return 1;
}

// The announced count is read in pieces straight into add-buffer room, and what arrived is
// placed as one edit when the stream ends: a document without room for all of it pastes
// nothing, and a stream that ends early no more than it gave.
int PasteStream(HexViewInstance& inst, IStream* stream, DWORD count) {
    if (count == 0) return 1;
    if (!HexViewFitsWhole(inst, inst.caretPos, count)) return 0;
    std::uint8_t* room = HexDocAddRoom(inst.document, count);
    if (room == nullptr) return HexViewFail(inst, inst.document.error);
    std::uint32_t got = 0;
    while (got < count) {
        ULONG read = 0;
        const ULONG want = std::min<ULONG>(count - got, kPastePiece);
        if (FAILED(stream->Read(room + got, want, &read)) || read == 0) break;
        got += std::min(read, want);
    }
    if (got == 0) return 1;
    const std::uint32_t n = HexViewInsertData(inst, room, inst.caretPos, got);
    if (n == 0) return 0;
    inst.selAnchor = inst.selEnd = 0;
    HexViewUpdateScrollBars(inst);
    ShowPasted(inst, inst.caretPos + n);
    return 1;
}

// Hands a block to the open clipboard, which owns it from then on; else it is freed.
void PlaceOnClipboard(UINT format, UniqueGlobal block) {
    if (block && SetClipboardData(format, block.get()) != nullptr) block.release();
}

// Puts bytes that outlive their document on the clipboard as plain text, with their exact
// count for pasting into a control.
void PutPlainBytes(HexViewInstance& inst, UniqueGlobal text, DWORD count) {
    HWND owner = GetActiveWindow();
    if (owner == nullptr) owner = GetAncestor(inst.hwnd, GA_ROOT);
    UniqueGlobal countBlock = HexDwordBlock(count);
    if (!OpenClipboard(owner)) return;
    EmptyClipboard();
    PlaceOnClipboard(CF_TEXT, std::move(text));
    PlaceOnClipboard(gHexFormats.byteCount, std::move(countBlock));
    CloseClipboard();
}

// The clipboard holds data of this control's document, which is about to go: keep its bytes
// as plain text (asking first when they are many) or empty the clipboard.
int KeepOrEmpty(HexViewInstance& inst, IDataObject* data) {
    DWORD count = 0;
    ReadDword(data, gHexFormats.byteCount, &count);
    if (count >= kHexFlushQuestionBytes) {
        const std::string question = HexViewFlushQuestion(count);
        if (MessageBoxA(GetActiveWindow(), question.c_str(), "HexView32",
                        MB_YESNO | MB_ICONQUESTION) != IDYES) {
            OleSetClipboard(nullptr);
            return 1;
        }
    }
    FORMATETC query = HexFormat(CF_TEXT, TYMED_HGLOBAL);
    UniqueMedium text;
    const HRESULT hr = data->GetData(&query, text.put());
    OleSetClipboard(nullptr);  // lets go of the data object, which may then go
    if (FAILED(hr)) {
        MessageBoxA(GetActiveWindow(),
                    "Failed to allocate sufficient memory to complete this operation.\n"
                    "Clipboard contents has been cleared.",
                    "HexView32", MB_OK | MB_ICONWARNING);
        return 0;
    }
    // Our own data object renders a block of its own, with no release object.
    PutPlainBytes(inst, UniqueGlobal(text.release().hGlobal), count);
    return 1;
}

}  // namespace

int HexViewCopy(HexViewInstance& inst) {
    if (inst.selAnchor == inst.selEnd) return HexViewFail(inst, kHexNothingSelected);
    if (!PutSelectionOnClipboard(inst)) return 0;
    inst.lastError = kHexOk;
    return 1;
}

// The snapshot stays readable after the deletion: extents name the document's sources, which
// live until the document closes.
int HexViewCut(HexViewInstance& inst) {
    if (!HexViewCanEdit(inst)) return 0;
    if (inst.insertMode == 0) return HexViewFail(inst, kHexCutNeedsInsert);
    if (inst.selAnchor == inst.selEnd) return HexViewFail(inst, kHexNothingSelected);
    const std::uint32_t start = SelectionMin(inst);
    const std::uint32_t length = SelectionLength(inst);
    if (!PutSelectionOnClipboard(inst)) return 0;
    if (!HexViewDeleteRange(inst, start, length, true)) return 0;
    HexViewNotifyCaretAndSelection(inst);
    inst.lastError = kHexOk;
    return 1;
}

// Pastes at the caret; a selection is let go first, not replaced. Another control's data comes
// as a stream with its exact count, so zero bytes survive; another program's text comes as a
// block, up to its first zero unless it announces a count. Nothing to paste is no failure;
// data that cannot be placed whole is, and leaves the document and its history as they were.
int HexViewPaste(HexViewInstance& inst) {
    if (!HexViewCanEdit(inst)) return 0;
    if (inst.selAnchor != inst.selEnd) {
        HexViewInvalidateRange(inst, inst.selAnchor, inst.selEnd);
        inst.selAnchor = inst.selEnd = inst.caretPos;
    }
    inst.lastError = kHexOk;  // nothing to paste is not a failure
    UniqueCom<IDataObject> data;
    if (FAILED(OleGetClipboard(data.put())) || !data) return 1;

    DWORD count = 0;
    ReadDword(data.get(), gHexFormats.byteCount, &count);
    FORMATETC query = HexFormat(CF_TEXT, TYMED_HGLOBAL | TYMED_ISTREAM);
    UniqueMedium medium;
    if (FAILED(data->GetData(&query, medium.put()))) return 1;
    int pasted = 1;
    const STGMEDIUM& got = medium.get();
    if (got.tymed == TYMED_HGLOBAL && got.hGlobal != nullptr) {
        pasted = PasteBlock(inst, got.hGlobal, count);
    } else if (got.tymed == TYMED_ISTREAM && got.pstm != nullptr) {
        pasted = PasteStream(inst, got.pstm, count);
    }
    HexViewNotifyCaretAndSelection(inst);
    return pasted;
}

int HexViewFlushClipboard(HexViewInstance& inst) {
    int result = 1;
    IDataObject* data = gHexClipboardObject;
    DWORD source = 0;
    if (data != nullptr && OleIsCurrentClipboard(data) == S_OK &&
        ReadDword(data, gHexFormats.sourceWindow, &source) &&
        source == static_cast<DWORD>(reinterpret_cast<UINT_PTR>(inst.hwnd))) {
        result = KeepOrEmpty(inst, data);
    }
    HexSnapshotReader::DetachAll(inst.hwnd);
    return result;
}
