// HexView32: the window class, the instance record's life, the window procedure and the host's
// control functions.
#include "hexview/hexview_win.h"

#include <windowsx.h>

#include <algorithm>
#include <new>

#include "hexview/hexview_instance_win.h"
#include "hexview/hexview_scroll.h"
#include "hexview/hexview_transfer_win.h"

namespace {

ATOM gHexViewAtom = 0;  // the registered class, to tell HexView32 windows from others

void ReleaseClipboardSnapshot(void* context) {
    HexViewFlushClipboard(*static_cast<HexViewInstance*>(context));
}

LRESULT OnNcCreate(HWND window) {
    auto* inst = new (std::nothrow) HexViewInstance;
    if (inst == nullptr) return FALSE;
    inst->hwnd = window;
    HexDocSetReleaseHook(inst->document, ReleaseClipboardSnapshot, inst);
    if (!HexDocOpen(inst->document, kNoFile, nullptr, 0, false)) {
        delete inst;  // no add buffer: the control could not take a single byte
        return FALSE;
    }
    HexViewComputeLayout(*inst);
    SetWindowLongPtrA(window, 0, reinterpret_cast<LONG_PTR>(inst));
    return TRUE;
}

void OnNcDestroy(HWND window, HexViewInstance* inst) {
    HexViewStopAutoScroll(*inst);
    HexDocClose(inst->document);  // lets the clipboard render its snapshot first
    SetWindowLongPtrA(window, 0, 0);
    delete inst;  // the font goes with it
}

LRESULT OnCreate(HexViewInstance& inst) {
    HexViewComputeLayout(inst);
    HexViewCreateFont(inst);
    inst.dropTarget = HexViewRegisterDropTarget(inst);
    return 0;
}

void OnDestroy(HexViewInstance& inst) {
    HexViewRevokeDropTarget(inst);
    if (inst.caretOwned) {
        DestroyCaret();
        inst.caretOwned = false;
    }
}

// Size changes, with the layout and scrolling that depend on the client size.
void Relayout(HexViewInstance& inst) {
    HexViewComputeLayout(inst);
    HexViewOnSize(inst, inst.clientWidth, inst.clientHeight);
    HexViewUpdateScrollBars(inst);
    HexViewCaretCellFromPos(inst);
    HexViewPlaceCaret(inst);
    HexViewInvalidateAll(inst);
    UpdateWindow(inst.hwnd);
}

LRESULT CALLBACK HexViewProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) return OnNcCreate(window);
    HexViewInstance* inst = HexViewFromWindow(window);
    if (inst == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    const int x = GET_X_LPARAM(lParam);
    const int y = GET_Y_LPARAM(lParam);

    switch (message) {
        case WM_NCDESTROY: OnNcDestroy(window, inst); return 0;
        case WM_CREATE: return OnCreate(*inst);
        case WM_DESTROY: OnDestroy(*inst); return 0;
        case WM_SIZE: HexViewOnSize(*inst, LOWORD(lParam), HIWORD(lParam)); return 0;
        case WM_SETFOCUS: HexViewOnSetFocus(*inst); return 0;
        case WM_KILLFOCUS: HexViewOnKillFocus(*inst); return 0;
        case WM_MOUSEACTIVATE: return HexViewOnMouseActivate(*inst);
        case WM_PAINT: return HexViewOnPaint(*inst);
        case WM_ERASEBKGND: return 1;  // every paint covers the whole area itself
        case WM_GETFONT: return reinterpret_cast<LRESULT>(inst->font.get());
        case WM_KEYDOWN: HexViewOnKeyDown(*inst, static_cast<UINT>(wParam)); return 0;
        case WM_CHAR: HexViewOnChar(*inst, static_cast<UINT>(wParam)); return 0;
        case WM_TIMER:
            if (wParam == kScanTimer) {
                HexViewOnScanSlice(*inst, inst->scanSerial);
            } else {
                HexViewOnTimer(*inst, wParam);
            }
            return 0;
        case kScanSliceMessage: HexViewOnScanSlice(*inst, static_cast<UINT>(wParam)); return 0;
        case kUnreadableMessage: HexViewNotifyParent(*inst, HVN_UNREADABLE); return 0;
        case WM_VSCROLL: HexViewOnVScroll(*inst, LOWORD(wParam)); return 0;
        case WM_HSCROLL: HexViewOnHScroll(*inst, LOWORD(wParam)); return 0;
        case WM_MOUSEMOVE: HexViewOnMouseMove(*inst, wParam, x, y); return 0;
        case WM_LBUTTONDOWN: HexViewOnLButtonDown(*inst, wParam, x, y); return 0;
        case WM_LBUTTONUP: HexViewOnLButtonUp(*inst, wParam, x, y); return 0;
        case WM_RBUTTONDOWN: HexViewOnRButtonDown(*inst); return 0;
        case WM_MOUSEWHEEL: HexViewOnMouseWheel(*inst, GET_WHEEL_DELTA_WPARAM(wParam)); return 0;
        case WM_CAPTURECHANGED: HexViewStopAutoScroll(*inst); return 0;
        case WM_SETCURSOR:
            if (reinterpret_cast<HWND>(wParam) == reinterpret_cast<HWND>(1)) return 1;
            if (HexViewOnSetCursor(*inst, reinterpret_cast<HWND>(wParam), LOWORD(lParam))) return 1;
            return DefWindowProcA(window, message, wParam, lParam);
        case WM_CUT: return HexViewCut(*inst);
        case WM_COPY: return HexViewCopy(*inst);
        case WM_PASTE: return HexViewPaste(*inst);
        default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

void RegisterHexViewClass(HINSTANCE instance) {
    RegisterHexViewClipboardFormats();
    WNDCLASSEXA cls{};
    cls.cbSize = sizeof cls;
    cls.lpfnWndProc = HexViewProc;
    cls.cbWndExtra = sizeof(void*);  // the instance record's address
    cls.hInstance = instance;
    cls.lpszClassName = kHexViewClass;
    ATOM atom = RegisterClassExA(&cls);
    if (atom != 0) gHexViewAtom = atom;
}

HexViewInstance* HexViewFromWindow(HWND window) {
    // Slot 0 of another class's window is not ours to read (a dialog keeps its message result
    // there), so the class is checked first.
    if (window == nullptr || gHexViewAtom == 0) return nullptr;
    if (static_cast<ATOM>(GetClassLongA(window, GCW_ATOM)) != gHexViewAtom) return nullptr;
    return reinterpret_cast<HexViewInstance*>(GetWindowLongPtrA(window, 0));
}

void HexViewNotifyParent(HexViewInstance& inst, int code) {
    // Whatever changed the bytes, the parent hears of it: the marks of a compare go here.
    if (code == HVN_CHANGED) HexViewDropDifferences(inst, false);
    HexViewNotify notify{};
    notify.header.hwndFrom = inst.hwnd;
    notify.header.idFrom = static_cast<UINT_PTR>(GetWindowLongPtrA(inst.hwnd, GWLP_ID));
    notify.header.code = static_cast<UINT>(code);
    notify.dragOutActive = inst.dragOutActive;
    notify.dropActive = inst.dropActive;
    notify.caretPos = inst.caretPos;
    notify.selAnchor = inst.selAnchor;
    notify.selEnd = inst.selEnd;
    notify.selLength = SelectionLength(inst);
    notify.docSize = inst.docSize;
    SendMessageA(GetParent(inst.hwnd), WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&notify));
}

void HexViewNotifyCaretAndSelection(HexViewInstance& inst) {
    HexViewNotifyParent(inst, HVN_CARETMOVED);
    HexViewNotifyParent(inst, HVN_SELCHANGED);
}

void HexViewRefreshSize(HexViewInstance& inst) {
    inst.docSize = HexDocLength(inst.document);
    inst.rowCount = HexViewRowsFor(inst, inst.docSize);
}

bool HexViewSetCaret(HexViewInstance& inst, std::uint32_t offset) {
    if (offset > inst.docSize) return false;
    inst.caretPos = offset;
    HexViewCaretCellFromPos(inst);
    return true;
}

bool HexViewSetSelection(HexViewInstance& inst, std::uint32_t start, std::uint32_t length) {
    if (start > inst.docSize || length > inst.docSize - start) return false;
    inst.selAnchor = start;
    inst.selEnd = start + length;
    return HexViewSetCaret(inst, start + length);
}

int HexViewSetInsertMode(HexViewInstance& inst, int on) {
    int previous = static_cast<int>(inst.insertMode);
    if (inst.readOnly == 0) inst.insertMode = on != 0 ? 1 : 0;
    return previous;
}

bool HexViewCanEdit(HexViewInstance& inst) {
    if (inst.readOnly != 0) return HexViewFail(inst, kHexReadOnly);
    if (HexViewScanning(inst)) return HexViewFail(inst, kHexBusy);
    return true;
}

void HexViewWarn(HexViewInstance& inst, const char* text) {
    MessageBoxA(inst.hwnd, text, "HexView32", MB_OK | MB_ICONWARNING);
}

namespace {

// Caret, selection and scroll position back to the start of the document, in the number pane,
// and the whole control repainted.
void ResetCaretAndScroll(HexViewInstance& inst) {
    inst.digitIndex = 0;
    inst.topRow = 0;
    inst.leftCol = 0;
    inst.inTextPane = 0;
    inst.caretPos = inst.caretCol = inst.selAnchor = inst.selEnd = 0;
    inst.caretRow = 0;
    HexViewUpdateScrollBars(inst);
    HexViewInvalidateAll(inst, true);
    UpdateWindow(inst.hwnd);
}

}  // namespace

int HexViewNew(HexViewInstance& inst) {
    HexViewCancelScan(inst);
    HexDocClose(inst.document);
    inst.filePath[0] = '\0';
    HexViewRefreshSize(inst);
    HexViewComputeLayout(inst);
    ResetCaretAndScroll(inst);
    HexViewSetInsertMode(inst, (inst.style & HVS_INSERTDEFAULT) != 0);
    HexViewShowCaret(inst);
    // The add buffer is reserved again; without it the document stays empty and refuses edits.
    bool opened = HexDocOpen(inst.document, kNoFile, nullptr, 0, false);
    inst.modified = inst.readOnly = inst.openedByMapping = 0;
    inst.unreadableTold = false;
    inst.lastError = opened ? kHexOk : inst.document.error;
    HexViewNotifyParent(inst, HVN_CHANGED);
    return 1;
}

int HexViewResetView(HexViewInstance& inst) {
    ResetCaretAndScroll(inst);
    HexViewPlaceCaret(inst);
    HexViewShowCaret(inst);
    inst.lastError = kHexOk;
    HexViewNotifyParent(inst, HVN_CARETMOVED);
    return 1;
}

// The host's functions ------------------------------------------------------------------------

namespace {

// Runs an operation of the control on the window's instance; 0 for a window that is not one.
template <typename... Args, typename... Given>
int Call(HWND control, int (*operation)(HexViewInstance&, Args...), Given... given) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr ? operation(*inst, given...) : 0;
}

// A field of the window's instance; fallback for a window that is not one.
DWORD Field(HWND control, std::uint32_t HexViewModel::*field, DWORD fallback = 0) {
    HexViewInstance* inst = HexViewFromWindow(control);
    return inst != nullptr ? inst->*field : fallback;
}

}  // namespace

int HexViewSetBuffer(HWND control, void* block, DWORD size) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr) return 0;  // the caller keeps the block
    HexViewNew(*inst);
    bool opened = HexDocOpen(inst->document, kNoFile, block, size, false);
    if (!opened) {
        inst->lastError = inst->document.error;
        // An empty document instead; when not even that can be had, edits are refused.
        static_cast<void>(HexDocOpen(inst->document, kNoFile, nullptr, 0, false));
    }
    HexViewRefreshSize(*inst);
    inst->modified = 0;
    return opened ? 1 : 0;
}

int HexViewNew(HWND control) {
    return Call(control, HexViewNew);
}

int HexViewResetView(HWND control) {
    return Call(control, HexViewResetView);
}

void* HexViewReadData(HWND control, DWORD position, void* destination, DWORD count) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr || destination == nullptr) return nullptr;
    return HexDocRead(inst->document, destination, position, count);
}

int HexViewIsModified(HWND control) {
    return static_cast<int>(Field(control, &HexViewModel::modified));
}

int HexViewSetModified(HWND control, int value) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr) return 0;
    inst->modified = static_cast<std::uint32_t>(value);
    return value;
}

int HexViewIsReadOnly(HWND control) {
    return static_cast<int>(Field(control, &HexViewModel::readOnly, 1));
}

int HexViewSetInsertMode(HWND control, int on) {
    return Call(control, HexViewSetInsertMode, on);
}

int HexViewGetInsertMode(HWND control) {
    return static_cast<int>(Field(control, &HexViewModel::insertMode));
}

int HexViewSetBytesPerRow(HWND control, int count, BOOL redraw) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr) return 0;
    const int limit = static_cast<int>(kHexViewMaxBytesPerRow);
    std::uint32_t bytes = static_cast<std::uint32_t>(std::clamp(count, 1, limit));
    bytes -= bytes % inst->rowGranularity;
    inst->bytesPerRow = std::max(bytes, inst->rowGranularity);
    HexViewComputeLayout(*inst);
    HexViewCaretCellFromPos(*inst);
    if (redraw) {
        HexViewUpdateScrollBars(*inst);
        HexViewCaretCellFromPos(*inst);  // topRow may have moved
        HexViewPlaceCaret(*inst);
        HexViewInvalidateAll(*inst);
        UpdateWindow(inst->hwnd);
    }
    return 1;
}

int HexViewGetBytesPerRow(HWND control) {
    return static_cast<int>(Field(control, &HexViewModel::bytesPerRow));
}

DWORD HexViewSetStyle(HWND control, DWORD mask, DWORD value) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr) return 0;
    const DWORD previous = inst->style;
    inst->style = (previous & ~mask) | value;
    const DWORD changed = previous ^ inst->style;
    if ((changed & HVS_FORMATMASK) != 0) inst->cellWidth = HexViewCellWidth(inst->style, inst->cellWidth);
    if ((changed & HVS_ADDRESSBITS) != 0) inst->addressWidth = HexViewAddressWidth(inst->style);
    if ((changed & (HVS_FORMATMASK | HVS_ADDRESSBITS | HVS_LOWERCASE | HVS_FITTOWINDOW)) != 0) {
        Relayout(*inst);
    } else if ((changed & (HVS_SHOWCONTROLCHARS | HVS_SHOWHIGHCHARS | HVS_MARKCHANGES)) != 0) {
        HexViewInvalidateAll(*inst);  // what the rows show changed, their layout did not
    }
    return previous;
}

DWORD HexViewGetStyle(HWND control) {
    return Field(control, &HexViewModel::style);
}

DWORD HexViewGetLastError(HWND control) {
    return Field(control, &HexViewModel::lastError);
}

DWORD HexViewGetSize(HWND control) {
    return Field(control, &HexViewModel::docSize);
}

DWORD HexViewGetCaret(HWND control) {
    return Field(control, &HexViewModel::caretPos);
}

int HexViewSetCaret(HWND control, DWORD offset) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr || !HexViewSetCaret(*inst, offset)) return 0;
    HexViewPlaceCaret(*inst);
    return 1;
}

int HexViewSetSelection(HWND control, DWORD start, DWORD length) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr) return 0;
    HexViewInvalidateRange(*inst, inst->selAnchor, inst->selEnd);
    if (!HexViewSetSelection(*inst, start, length)) return 0;
    HexViewInvalidateRange(*inst, inst->selAnchor, inst->selEnd);
    HexViewPlaceCaret(*inst);
    return 1;
}

int HexViewGetSelection(HWND control, DWORD* anchor, DWORD* end) {
    HexViewInstance* inst = HexViewFromWindow(control);
    if (inst == nullptr || anchor == nullptr || end == nullptr) return 0;
    *anchor = inst->selAnchor;
    *end = inst->selEnd;
    return 1;
}

int HexViewClear(HWND control) {
    return Call(control, HexViewClear);
}

int HexViewUndo(HWND control) {
    return Call(control, HexViewUndoStep, false);
}

int HexViewRedo(HWND control) {
    return Call(control, HexViewUndoStep, true);
}

int HexViewCut(HWND control) {
    return Call(control, HexViewCut);
}

int HexViewCopy(HWND control) {
    return Call(control, HexViewCopy);
}

int HexViewPaste(HWND control) {
    return Call(control, HexViewPaste);
}
