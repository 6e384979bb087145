// HexView32 drag and drop: dragging the selection out (HexDropSource and DoDragDrop), taking
// drops of text and files (HexDropTarget, one per control), auto-scrolling while something
// hovers, and the Insert key switching between inserting and overwriting during the hover.
#include <algorithm>
#include <cstring>
#include <new>

#include "hexview/hexview_transfer.h"
#include "hexview/hexview_transfer_win.h"

namespace {

constexpr int kAutoScrollEdge = 10;  // pixels from an edge within which a hover scrolls
// CreateCaret's bitmap argument for the grey caret of a hovering drag.
const HBITMAP kGreyCaret = reinterpret_cast<HBITMAP>(1);

// The keyboard hook of the one hover there can be at a time, and the control it serves.
HHOOK gDragKeyHook = nullptr;
HWND gDragKeyTarget = nullptr;

LRESULT CALLBACK HexViewDragKeyHook(int code, WPARAM key, LPARAM flags) {
    const auto bits = static_cast<DWORD>(flags);
    HexViewInstance* inst = HexViewFromWindow(gDragKeyTarget);
    if (code >= 0 && key == VK_INSERT && (bits & 0x80000000u) == 0 && inst != nullptr) {
        if ((bits & 0x40000000u) == 0) {  // a held key's repeats do not toggle back and forth
            HexViewSetInsertMode(*inst, inst->insertMode == 0);
            HexViewNotifyParent(*inst, HVN_MODECHANGED);
        }
        return 1;  // the key goes no further
    }
    return CallNextHookEx(gDragKeyHook, code, key, flags);
}

void RemoveKeyHook() {
    if (gDragKeyHook != nullptr) UnhookWindowsHookEx(gDragKeyHook);
    gDragKeyHook = nullptr;
    gDragKeyTarget = nullptr;
}

// The hook watches this thread's keyboard input only: the target control is only known in
// this process, and a hovering drag that brings the window forward gives it the focus.
void InstallKeyHook(HWND control) {
    RemoveKeyHook();
    gDragKeyHook =
        SetWindowsHookExA(WH_KEYBOARD, HexViewDragKeyHook, nullptr, GetCurrentThreadId());
    if (gDragKeyHook != nullptr) gDragKeyTarget = control;
}

// Brings the control's window to the foreground with the focus, even while another program
// (the drag's source) is in the foreground.
void Activate(HexViewInstance& inst) {
    const DWORD self = GetCurrentThreadId();
    const DWORD foreground = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    const bool attach = foreground != 0 && foreground != self;
    if (attach) AttachThreadInput(self, foreground, TRUE);
    HWND top = GetAncestor(inst.hwnd, GA_ROOT);
    SetForegroundWindow(top);
    BringWindowToTop(top);
    SetFocus(inst.hwnd);
    if (attach) AttachThreadInput(self, foreground, FALSE);
}

void ShowDropCaret(HexViewInstance& inst) {
    inst.caretOwned = CreateCaret(inst.hwnd, kGreyCaret, 2, inst.lineHeight) != FALSE;
    HexViewShowCaret(inst);
    HexViewPlaceCaret(inst);
}

// After a hover: the normal caret when the control has the focus, none otherwise.
void EndDropCaret(HexViewInstance& inst) {
    if (inst.caretOwned) {
        DestroyCaret();
        inst.caretOwned = false;
    }
    if (GetFocus() == inst.hwnd) {
        HexViewCreateCaret(inst);
        HexViewShowCaret(inst);
    }
    HexViewPlaceCaret(inst);
}

class HexDropSource final : public HexComObject<IDropSource, HexDropSource> {
  public:
    static bool Answers(REFIID iid) { return iid == IID_IDropSource; }
    STDMETHODIMP QueryContinueDrag(BOOL escapePressed, DWORD keys) override {
        if (escapePressed) return DRAGDROP_S_CANCEL;
        if ((keys & MK_LBUTTON) == 0) return DRAGDROP_S_DROP;
        return S_OK;
    }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

  private:
    friend class HexComObject<IDropSource, HexDropSource>;
    ~HexDropSource() = default;
};

class HexDropTarget final : public HexComObject<IDropTarget, HexDropTarget> {
  public:
    explicit HexDropTarget(HWND window) : window_(window) {}

    static bool Answers(REFIID iid) { return iid == IID_IDropTarget; }

    STDMETHODIMP DragEnter(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragOver(DWORD keys, POINTL point, DWORD* effect) override;
    STDMETHODIMP DragLeave() override;
    STDMETHODIMP Drop(IDataObject* data, DWORD keys, POINTL point, DWORD* effect) override;

    // Lets go of a hover in progress; the control is going.
    void Forget() {
        held_.reset();
        if (gDragKeyTarget == window_) RemoveKeyHook();
    }

  private:
    friend class HexComObject<IDropTarget, HexDropTarget>;
    ~HexDropTarget() = default;

    DWORD Effect(DWORD keys, DWORD allowed) const {
        return HexViewDropEffect(HexDropOffer{canText_, canFileName_}, (keys & MK_CONTROL) != 0,
                                 allowed);
    }
    void AnnounceSize(HexViewInstance& inst) const;
    HRESULT DropFile(HexViewInstance& inst, IDataObject* data, std::uint32_t p, DWORD* effect);
    HRESULT DropText(HexViewInstance& inst, IDataObject* data, std::uint32_t p, bool ownDrag,
                     DWORD* effect);

    UniqueCom<IDataObject> held_;  // the object hovering, from DragEnter to DragLeave or Drop
    bool canText_ = false;         // it offers CF_TEXT as a global block
    bool canFileName_ = false;     // it offers "FileName"
    bool hasSize_ = false;         // it offers "RLE32HexBinary"
    bool offersSnapshot_ = false;  // it offers "HexSnapShot!" (recorded, not used)
    DWORD dropSize_ = 0;           // its announced byte count, 0 when unknown
    HWND window_;                  // the control
};

// The parent hears the incoming byte count as the length of a selection from 0.
void HexDropTarget::AnnounceSize(HexViewInstance& inst) const {
    const std::uint32_t anchor = inst.selAnchor;
    const std::uint32_t end = inst.selEnd;
    inst.selAnchor = 0;
    inst.selEnd = dropSize_;
    HexViewNotifyParent(inst, HVN_DRAGENTER);
    inst.selAnchor = anchor;
    inst.selEnd = end;
}

STDMETHODIMP HexDropTarget::DragEnter(IDataObject* data, DWORD keys, POINTL, DWORD* effect) {
    if (effect == nullptr || data == nullptr) return E_INVALIDARG;
    HexViewInstance* inst = HexViewFromWindow(window_);
    if (inst == nullptr || inst->readOnly != 0) {
        *effect = DROPEFFECT_NONE;
        return E_UNEXPECTED;
    }
    held_.reset();  // an earlier hover that never ended
    if ((inst->style & HVS_DROPACTIVATES) != 0) Activate(*inst);

    canText_ = HexOffers(data, CF_TEXT);
    hasSize_ = HexOffers(data, gHexFormats.byteCount);
    dropSize_ = 0;
    if (hasSize_) {
        HexFetchedBlock count(data, gHexFormats.byteCount);
        if (count.size() < sizeof dropSize_) {
            *effect = DROPEFFECT_NONE;
            return E_FAIL;
        }
        std::memcpy(&dropSize_, count.bytes(), sizeof dropSize_);
    }
    AnnounceSize(*inst);
    canFileName_ = HexOffers(data, gHexFormats.fileName);
    offersSnapshot_ = HexOffers(data, gHexFormats.snapshot);
    *effect = Effect(keys, *effect);

    inst->dropActive = 1;
    ShowDropCaret(*inst);
    HexViewNotifyCaretAndSelection(*inst);
    data->AddRef();
    held_.reset(data);
    InstallKeyHook(window_);
    return S_OK;
}

STDMETHODIMP HexDropTarget::DragOver(DWORD keys, POINTL point, DWORD* effect) {
    if (effect == nullptr) return E_INVALIDARG;
    HexViewInstance* inst = HexViewFromWindow(window_);
    if (inst == nullptr || !held_) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }
    POINT p{point.x, point.y};
    ScreenToClient(window_, &p);
    HexViewSetPaneFromX(*inst, p.x);
    if (p.y <= kAutoScrollEdge) SendMessageA(window_, WM_VSCROLL, SB_LINEUP, 0);
    if (p.y > inst->clientHeight - kAutoScrollEdge - 1) {
        SendMessageA(window_, WM_VSCROLL, SB_LINEDOWN, 0);
    }
    if (p.x <= kAutoScrollEdge) SendMessageA(window_, WM_HSCROLL, SB_LINELEFT, 0);
    if (p.x > inst->clientWidth - kAutoScrollEdge - 1) {
        SendMessageA(window_, WM_HSCROLL, SB_LINERIGHT, 0);
    }

    const std::uint32_t old = inst->caretPos;
    HexViewDropCaret(*inst, p.x, p.y);
    if (inst->caretPos != old) {
        HexViewNotifyParent(*inst, HVN_DROPMOVED);
        HexViewPlaceCaret(*inst);
    }
    HexViewNotifyParent(*inst, HVN_CARETMOVED);
    *effect = Effect(keys, *effect);
    return S_OK;
}

STDMETHODIMP HexDropTarget::DragLeave() {
    held_.reset();
    RemoveKeyHook();
    dropSize_ = 0;
    HexViewInstance* inst = HexViewFromWindow(window_);
    if (inst == nullptr) return S_OK;
    inst->dropActive = inst->dragOutActive = 0;
    EndDropCaret(*inst);
    HexViewNotifyCaretAndSelection(*inst);
    return S_OK;
}

STDMETHODIMP HexDropTarget::Drop(IDataObject* data, DWORD keys, POINTL, DWORD* effect) {
    if (effect == nullptr) return E_INVALIDARG;
    held_.reset();
    RemoveKeyHook();
    HexViewInstance* inst = HexViewFromWindow(window_);
    if (inst == nullptr) {
        *effect = DROPEFFECT_NONE;
        return E_UNEXPECTED;
    }
    // Whatever happens next, the hover is over.
    const bool ownDrag = data != nullptr && data == inst->outgoingDrag;
    inst->mouseDown = inst->dropActive = inst->dragOutActive = 0;
    EndDropCaret(*inst);
    if (data == nullptr || (!canText_ && !canFileName_)) {
        *effect = DROPEFFECT_NONE;
        return E_FAIL;
    }
    // Dropping a selection onto itself does nothing.
    const std::uint32_t p = inst->caretPos;
    if (InSelection(*inst, p)) {
        *effect = DROPEFFECT_NONE;
        return E_FAIL;
    }
    const DWORD chosen = Effect(keys, *effect);
    *effect = chosen;
    if (chosen != DROPEFFECT_NONE) {
        const HRESULT hr = canFileName_ ? DropFile(*inst, data, p, effect)
                                        : DropText(*inst, data, p, ownDrag, effect);
        if (FAILED(hr)) return hr;
    }
    HexViewNotifyParent(*inst, HVN_CHANGED);
    HexViewNotifyParent(*inst, HVN_SELCHANGED);
    return S_OK;
}

// A dropped file is read, never taken: the effect reported back is copy (or none when it could
// not be inserted), so that a source never deletes the file.
HRESULT HexDropTarget::DropFile(HexViewInstance& inst, IDataObject* data, std::uint32_t p,
                                DWORD* effect) {
    char path[MAX_PATH] = {};
    {
        HexFetchedBlock name(data, gHexFormats.fileName);
        if (name.bytes() == nullptr) {
            *effect = DROPEFFECT_NONE;
            HexViewNotifyParent(inst, HVN_SELCHANGED);
            return E_FAIL;
        }
        std::memcpy(path, name.bytes(), std::min<SIZE_T>(name.size(), sizeof path - 1));
    }

    HexViewSetCaret(inst, p + dropSize_);
    HexViewPlaceCaret(inst);
    const int mode = inst.insertMode != 0 ? 1 : 0;
    const int inserted = (inst.style & HVS_DROPMAPPED) != 0
                             ? HexViewInsertFileMapped(inst.hwnd, path, p, mode, FALSE)
                             : HexViewInsertFile(inst.hwnd, path, p, mode, FALSE);
    *effect = inserted != 0 ? DROPEFFECT_COPY : DROPEFFECT_NONE;
    if (inserted == 0) HexViewWarn(inst, "Failed to insert the dropped file");
    return S_OK;
}

// Dropped text is inserted or overwrites at p. Bytes dragged inside this control move (they are
// deleted at their old place first, one undo step with the insertion) unless copied.
HRESULT HexDropTarget::DropText(HexViewInstance& inst, IDataObject* data, std::uint32_t p,
                                bool ownDrag, DWORD* effect) {
    HexFetchedBlock text(data, CF_TEXT);
    if (text.bytes() == nullptr) {
        *effect = DROPEFFECT_NONE;
        HexViewNotifyParent(inst, HVN_SELCHANGED);
        return E_FAIL;
    }
    const std::uint32_t count =
        HexViewTextCount(hasSize_ ? dropSize_ : 0, text.bytes(), text.size());
    // Room first: a drop the add buffer cannot take must not delete the bytes it moves.
    if (HexDocAddRoom(inst.document, count) == nullptr) {
        *effect = DROPEFFECT_NONE;
        return S_OK;
    }

    const bool move = ownDrag && (*effect & DROPEFFECT_MOVE) != 0 && inst.insertMode != 0;
    const std::uint32_t start = SelectionMin(inst);
    const std::uint32_t length = SelectionLength(inst);
    std::uint32_t at = p;
    const bool deleted = move && HexViewDeleteRange(inst, start, length, false);
    if (deleted) {
        inst.document.groupNext = 1;  // the deletion and the insertion undo together
        if (start < p) at -= length;
    }
    const std::uint32_t n = HexViewInsertData(inst, text.bytes(), at, count);
    if (n == 0 && deleted) {
        // Nothing could be inserted: the moved bytes go back where they were (the deletion's
        // record is the one on top).
        inst.document.groupNext = 0;
        static_cast<void>(HexDocUndo(inst.document));
        HexDocClearRedo(inst.document);
        HexViewRefreshSize(inst);
        HexViewUpdateScrollBars(inst);
        at = p;
    }
    dropSize_ = n;
    inst.selAnchor = at;
    inst.selEnd = at + n;
    if (!HexViewEnsureVisible(inst, at + n)) {
        HexViewInvalidateAll(inst);
        UpdateWindow(inst.hwnd);
    }
    HexViewSetCaret(inst, at + n);
    HexViewPlaceCaret(inst);
    // Bytes moved inside this control were moved here: the source must not delete them again.
    if (ownDrag) *effect &= ~DROPEFFECT_MOVE;
    if (n == 0) *effect = DROPEFFECT_NONE;
    return S_OK;
}

}  // namespace

bool HexViewStartDrag(HexViewInstance& inst) {
    const DWORD allowed = DROPEFFECT_COPY | (inst.insertMode != 0 ? DROPEFFECT_MOVE : 0);
    const std::uint32_t start = SelectionMin(inst);
    const std::uint32_t length = SelectionLength(inst);
    UniqueCom<IDataObject> data = HexViewCreateDataObject(inst);
    UniqueCom<IDropSource> source(new (std::nothrow) HexDropSource);
    bool dropped = false;
    if (data && source) {
        const HWND window = inst.hwnd;
        inst.outgoingDrag = data.get();
        DWORD effect = DROPEFFECT_NONE;
        const HRESULT hr = DoDragDrop(data.get(), source.get(), allowed, &effect);
        // The modal loop ran the program: make sure the control is still there.
        if (HexViewFromWindow(window) == &inst) {
            inst.outgoingDrag = nullptr;
            inst.mouseDown = 0;  // the button came up over the drag's own window
            // A move inside this control reports no effect (it was done by the drop): it
            // still counts as dropped.
            dropped = hr == DRAGDROP_S_DROP;
            if (dropped && (effect & DROPEFFECT_MOVE) != 0 && inst.insertMode != 0 &&
                HexViewDeleteRange(inst, start, length, true)) {
                HexViewNotifyCaretAndSelection(inst);
            }
        }
    }
    return dropped;
}

UniqueCom<IDropTarget> HexViewRegisterDropTarget(HexViewInstance& inst) {
    UniqueCom<IDropTarget> target(new (std::nothrow) HexDropTarget(inst.hwnd));
    if (!target) return target;
    CoLockObjectExternal(target.get(), TRUE, FALSE);
    if (FAILED(RegisterDragDrop(inst.hwnd, target.get()))) {
        CoLockObjectExternal(target.get(), FALSE, TRUE);
        target.reset();
    }
    return target;
}

void HexViewRevokeDropTarget(HexViewInstance& inst) {
    if (inst.dropTarget) {
        static_cast<HexDropTarget*>(inst.dropTarget.get())->Forget();
        RevokeDragDrop(inst.hwnd);
        CoLockObjectExternal(inst.dropTarget.get(), FALSE, TRUE);
    }
    inst.dropTarget.reset();
}
