#include "editor/hex_editor_dialog_win.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "document/hex_document.h"
#include "document/hex_fill.h"
#include "editor/hex_editor_state_win.h"
#include "editor/hex_editor_status.h"
#include "editor/hex_editor_tools_win.h"
#include "formats/text_format.h"
#include "hexview/hexview_win.h"
#include "platform/virtual_memory.h"
#include "resources/resource.h"
#include "win32ui/window_helpers_win.h"

HWND gHexEditorWindow = nullptr;
EditorState gEditor;

namespace {

constexpr DWORD kStatusStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN |
                               SBARS_SIZEGRIP | CCS_NODIVIDER | CCS_NOPARENTALIGN | CCS_NOMOVEY;
static_assert(kStatusStyle == 0x5600014A);
constexpr UINT kStatusId = 2;
// Posted to the dialog when a run's result, held back while another dialog was open, can show.
constexpr UINT kShowScanResult = WM_APP + 1;

struct FormatItem {
    int id;
    DWORD style;  // the number format field of the control's style
};
constexpr FormatItem kFormatItems[] = {{IDM_FORMAT_HEX, HVS_FORMAT_HEX},
                                       {IDM_FORMAT_DECIMAL, HVS_FORMAT_DECIMAL},
                                       {IDM_FORMAT_OCTAL, HVS_FORMAT_OCTAL},
                                       {IDM_FORMAT_BINARY, HVS_FORMAT_BINARY}};

// Escape stops a search, checksum or compare run, or else closes the editor, before the control
// could take it for a character to type. Control+Z and Control+Y are the control's own keys.
constexpr ACCEL kAccelerators[] = {
    {FCONTROL | FVIRTKEY, 'X', IDM_CUT},    {FCONTROL | FVIRTKEY, 'C', IDM_COPY},
    {FCONTROL | FVIRTKEY, 'V', IDM_PASTE},  {FCONTROL | FVIRTKEY, 'A', IDM_SELECT_ALL},
    {FCONTROL | FVIRTKEY, 'F', IDM_FIND},   {FCONTROL | FVIRTKEY, 'G', IDM_GOTO},
    {FVIRTKEY, VK_F3, IDM_FIND_NEXT},       {FSHIFT | FVIRTKEY, VK_F3, IDM_FIND_PREVIOUS},
    {FVIRTKEY, VK_F6, IDM_NEXT_DIFFERENCE}, {FSHIFT | FVIRTKEY, VK_F6, IDM_PREVIOUS_DIFFERENCE},
    {FVIRTKEY, VK_ESCAPE, IDM_ESCAPE}};

// What a step past the end (forward) or the start (backward) says.
constexpr const char* kWrapped[] = {"Passed the end, went on from the start",
                                    "Passed the start, went on from the end"};

// The texts of the tool dialogs, kept from one use (and one editor) to the next.
std::string gGotoText;
HexFindRequest gFind;
std::string gFillText = kHexFillDefaultText;

HINSTANCE Module() {
    return GetModuleHandleA(nullptr);
}

void SetPart(int part, const char* text) {
    if (part < 0 || part >= kEditorStatusParts) return;
    const WPARAM how = part == 0 ? SBT_NOBORDERS : 0;
    SendMessageA(gEditor.status, SB_SETTEXTA, static_cast<WPARAM>(part) | how,
                 reinterpret_cast<LPARAM>(text));
}

void SetPart(int part, const std::string& text) {
    SetPart(part, text.c_str());
}

}  // namespace

void ShowMode() {
    SetPart(4, HexEditorModeText(HexViewIsReadOnly(gEditor.control) != 0,
                                 HexViewGetInsertMode(gEditor.control) != 0));
}

void ShowFileCaption(HWND dialog) {
    SetWindowTextA(dialog, gEditor.file.empty()
                               ? kEditorCaption
                               : HexEditorCaption(gEditor.fileName.c_str()).c_str());
}

void EditorWarn(HWND dialog, const char* text, const char* caption) {
    MessageBoxA(dialog, text, caption, MB_OK | MB_ICONWARNING);
}

namespace {

// The byte under the caret is read afresh at every update: typing over it in place changes it
// without moving the caret.
void ShowPosition(const HexViewNotify& notify) {
    HexEditorPosition position;
    position.dragOutActive = notify.dragOutActive != 0;
    position.dropActive = notify.dropActive != 0;
    position.caretPos = notify.caretPos;
    position.selAnchor = notify.selAnchor;
    position.selEnd = notify.selEnd;
    position.selLength = notify.selLength;
    position.docSize = notify.docSize;
    const HexEditorStatusUpdate update = HexEditorPositionUpdate(position);
    SetPart(1, update.cursor);
    if (update.onlyCursor) return;
    SetPart(3, update.count);
    std::uint8_t byte = 0;
    if (update.readValue &&
        HexViewReadData(gEditor.control, notify.caretPos, &byte, 1) != nullptr) {
        SetPart(2, HexEditorValueText(byte));
    } else {
        SetPart(2, "");
    }
}

HexViewScanInfo Scan() {
    HexViewScanInfo info{};
    HexViewGetScan(gEditor.control, &info);
    return info;
}

// Part 0 says how far a run got, or how it ended, until the user moves on; the rest of the time
// what the compare whose marks show found.
void SetNotice(const std::string& text) {
    gEditor.notice = !text.empty();
    HexDiffCounts counts;
    if (text.empty() && HexViewGetDifferences(gEditor.control, &counts)) {
        return SetPart(0, HexEditorDifferencesText(counts));
    }
    SetPart(0, text);
}

// How the editor names a kind of run: in part 0 while it goes on, when it stopped, and as the
// caption of its messages.
struct RunNames {
    const char* progress;
    const char* stopped;
    const char* caption;
};
RunNames NamesOf(DWORD kind) {
    switch (kind) {
        case HVSCAN_FIND: return {"Searching", "Search stopped", "Find"};
        case HVSCAN_COMPARE: return {"Comparing", "Compare stopped", "Compare"};
        default: return {"Checksum", "Checksum stopped", "Checksum"};
    }
}

void ShowScanProgress() {
    const HexViewScanInfo info = Scan();
    SetNotice(HexEditorScanProgressText(NamesOf(info.kind).progress, info.done, info.total));
}

// What a run came to: a found match is selected and differences show already; the rest is said
// here.
void OnScanDone(HWND dialog) {
    const HexViewScanInfo info = Scan();
    const RunNames names = NamesOf(info.kind);
    SetNotice("");
    switch (info.outcome) {
        case HVSO_FOUND:
            if (info.wrapped) SetNotice(kWrapped[info.backward]);
            break;
        case HVSO_NOTFOUND: {
            const std::string text = "Cannot find \"" + gFind.text + "\".";
            MessageBoxA(dialog, text.c_str(), "Find", MB_OK | MB_ICONINFORMATION);
            break;
        }
        case HVSO_DONE:
            if (info.kind == HVSCAN_CHECKSUM) {
                RunChecksumDialog(dialog, info, HexViewGetSize(gEditor.control));
            }
            break;
        case HVSO_CANCELLED: SetNotice(names.stopped); break;
        case HVSO_UNREADABLE: EditorWarn(dialog, kHexEditorUnreadable, names.caption); break;
        default:
            EditorWarn(dialog, "The data changed meanwhile. Nothing was found or computed.",
                       names.caption);
            break;
    }
}

// A run's result waits while another dialog of the editor is open (the editor is disabled then):
// it would open on top of that one, which may take the caret or the data for granted.
void OnScanEnded(HWND dialog) {
    gEditor.scanDonePending = !IsWindowEnabled(dialog);
    if (!gEditor.scanDonePending) OnScanDone(dialog);
}

// The editor is enabled again: a result held back shows once the dialog that closed is gone.
void OnEnable(HWND dialog, bool enabled) {
    if (enabled && gEditor.scanDonePending) PostMessageA(dialog, kShowScanResult, 0, 0);
}

void OnNotify(HWND dialog, const NMHDR* header) {
    if (header == nullptr || header->hwndFrom != gEditor.control) return;
    const auto& notify = *reinterpret_cast<const HexViewNotify*>(header);
    switch (static_cast<int>(header->code)) {
        case HVN_CHANGED:
        case HVN_CARETMOVED:
        case HVN_SELCHANGED: {
            const bool changed = static_cast<int>(header->code) == HVN_CHANGED;
            gEditor.changes += changed ? 1 : 0;
            // A change also ends the differences part 0 tells of.
            if ((gEditor.notice || changed) && !HexViewIsScanning(gEditor.control)) SetNotice("");
            ShowPosition(notify);
            break;
        }
        case HVN_MODECHANGED: ShowMode(); break;
        case HVN_DRAGENTER: SetPart(3, HexEditorDragEnterText(notify.selLength)); break;
        case HVN_DROPMOVED: SetPart(2, ""); break;
        case HVN_SCANPROGRESS: ShowScanProgress(); break;
        case HVN_SCANDONE: OnScanEnded(dialog); break;
        case HVN_UNREADABLE: EditorWarn(dialog, kHexEditorUnreadable); break;
        default: break;
    }
}

void OnSize(int width, int height) {
    gEditor.clientWidth = width;
    gEditor.clientHeight = height;
    const std::array<int, kEditorStatusParts> edges = HexEditorStatusEdges(width);
    SendMessageA(gEditor.status, SB_SETPARTS, kEditorStatusParts,
                 reinterpret_cast<LPARAM>(edges.data()));
    RECT bar;
    GetWindowRect(gEditor.status, &bar);
    const int barHeight = bar.bottom - bar.top;
    MoveWindow(gEditor.status, 0, height - barHeight, width, barHeight, TRUE);
    MoveWindow(gEditor.control, 0, 0, width, height - barHeight, TRUE);
}

LRESULT CALLBACK EditorMessageFilter(int code, WPARAM wParam, LPARAM lParam) {
    if (code == MSGF_DIALOGBOX && HexEditorTranslateAccelerator(reinterpret_cast<MSG*>(lParam))) {
        return 1;
    }
    return CallNextHookEx(gEditor.messageFilter, code, wParam, lParam);
}

void OnFormat(HWND dialog, int id) {
    HMENU menu = GetMenu(dialog);
    for (const FormatItem& item : kFormatItems) {
        CheckMenuItem(menu, item.id, MF_BYCOMMAND | (item.id == id ? MF_CHECKED : MF_UNCHECKED));
        if (item.id == id) HexViewSetStyle(gEditor.control, HVS_FORMATMASK, item.style);
    }
}

// Flips one style bit of the control and the check mark of its menu item.
void OnToggle(HWND dialog, int id, DWORD bit) {
    HexViewSetStyle(gEditor.control, bit, ~HexViewGetStyle(gEditor.control) & bit);
    HMENU menu = GetMenu(dialog);
    const UINT state = GetMenuState(menu, id, MF_BYCOMMAND);
    CheckMenuItem(menu, id, MF_BYCOMMAND | ((state & MF_CHECKED) != 0 ? MF_UNCHECKED : MF_CHECKED));
}

// The clipboard items fail as their keys do in the control, with the same words.
void OnEdit(HWND dialog, int id) {
    HWND control = gEditor.control;
    switch (id) {
        case IDM_CUT:
            if (!HexViewCut(control)) {
                EditorWarn(dialog, "Failed to cut the selected data to the clipboard", "HexView32");
            }
            break;
        case IDM_COPY:
            if (!HexViewCopy(control)) {
                EditorWarn(dialog, "Failed to copy the selected data to the clipboard",
                           "HexView32");
            }
            break;
        case IDM_PASTE:
            if (!HexViewPaste(control))
                EditorWarn(dialog, "Failed to paste the clipboard contents", "HexView32");
            break;
        default:
            if (!HexViewClear(control) && HexViewGetLastError(control) == 1) {
                EditorWarn(dialog, "Not enough memory to complete this operation", "HexView32");
            }
            break;
    }
}

void OnClose(HWND dialog) {
    HexViewCancelScan(gEditor.control);  // a run would only hold the question up
    if (!SettleEdits(dialog)) return;
    HWND owner = GetWindow(dialog, GW_OWNER);
    DestroyWindow(dialog);
    SetWindowPos(owner, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void OnGoto(HWND dialog) {
    std::uint32_t offset = 0;
    if (RunGotoDialog(dialog, HexViewGetCaret(gEditor.control), HexViewGetSize(gEditor.control),
                      gGotoText, &offset)) {
        HexViewGoTo(gEditor.control, offset);
    }
}

// Find Next and Find Previous before any search ask what to find.
void OnFind(HWND dialog, int id) {
    const bool again = id != IDM_FIND;
    if (again && HexViewFindNext(gEditor.control, id == IDM_FIND_PREVIOUS)) return;
    if (again && HexViewGetLastError(gEditor.control) != kHexNoPattern) return;
    if (again) gFind.backward = id == IDM_FIND_PREVIOUS;
    if (RunFindDialog(dialog, gFind)) {
        HexViewFind(gEditor.control, gFind.text.c_str(), HexFindFlags(gFind));
    }
}

// Next and Previous Difference before any compare (or after an edit) ask what to compare with.
void OnDifference(HWND dialog, int id) {
    const bool backward = id == IDM_PREVIOUS_DIFFERENCE;
    HexViewDifference found{};
    HWND control = gEditor.control;
    if (HexViewNextDifference(control, backward, &found)) {
        HexDiffCounts counts;
        if (found.start >= HexViewGetSize(control) && HexViewGetDifferences(control, &counts)) {
            SetNotice(Printf("The file compared is %llu bytes longer",
                             static_cast<unsigned long long>(counts.extra)));
        } else if (found.wrapped) {
            SetNotice(kWrapped[backward ? 1 : 0]);
        }
        return;
    }
    if (HexViewGetLastError(control) == kHexNoCompare) return EditorCompare(dialog);
    if (HexViewGetLastError(control) == kHexOk) MessageBeep(MB_OK);  // part 0 says why
}

void OnFill(HWND dialog) {
    DWORD anchor = 0;
    DWORD end = 0;
    HexViewGetSelection(gEditor.control, &anchor, &end);
    const DWORD first = std::min(anchor, end);
    const DWORD count = std::max(anchor, end) - first;
    if (count > kHexAddBufferSize) {
        // Every filled byte is a new one, and there is room for 256 MiB of them.
        char text[128];
        std::snprintf(text, sizeof text,
                      "A fill is limited to 256 MiB of new bytes, and the selection holds %lu "
                      "bytes.",
                      count);
        return EditorWarn(dialog, text, "Fill Selection");
    }
    std::vector<std::uint8_t> bytes;
    if (!RunFillDialog(dialog, first, count, gFillText, &bytes)) return;
    if (!HexViewFill(gEditor.control, bytes.data(), static_cast<DWORD>(bytes.size())) &&
        HexViewGetLastError(gEditor.control) == kHexNoMemory) {
        EditorWarn(dialog, "Not enough memory to complete this operation", "HexView32");
    }
}

void OnCopyHex(HWND dialog) {
    if (HexViewCopyHex(gEditor.control)) return;
    const char* why = "The clipboard could not be opened.";
    switch (HexViewGetLastError(gEditor.control)) {
        case kHexTooLarge:
            why = "The selection is larger than 16 MiB, too large to copy as hex text.";
            break;
        case kHexNoMemory: why = "Not enough memory to complete this operation"; break;
        case kHexOpenFailed: why = "Part of the file could not be read."; break;
        default: break;
    }
    EditorWarn(dialog, why, "Copy as Hex");
}

HexEditorMenuState MenuState() {
    HexEditorMenuState state;
    HWND control = gEditor.control;
    DWORD anchor = 0;
    DWORD end = 0;
    HexViewGetSelection(control, &anchor, &end);
    state.scanning = HexViewIsScanning(control) != 0;
    state.readOnly = HexViewIsReadOnly(control) != 0;
    state.selection = anchor != end;
    state.canUndo = HexViewCanUndo(control) != 0;
    state.canRedo = HexViewCanRedo(control) != 0;
    return state;
}

// Greys what cannot be done now in a menu about to open (an accelerator opens it too, in
// passing, and is refused with it).
void EnableItems(HMENU menu) {
    const HexEditorMenuState state = MenuState();
    for (int i = 0, n = GetMenuItemCount(menu); i < n; ++i) {
        const UINT id = GetMenuItemID(menu, i);
        if (id == 0 || id == static_cast<UINT>(-1)) continue;  // separators and submenus
        const bool enabled = HexEditorCommandEnabled(static_cast<int>(id), state);
        EnableMenuItem(menu, id, MF_BYCOMMAND | (enabled ? MF_ENABLED : MF_GRAYED));
    }
}

void OnCommand(HWND dialog, int id) {
    // A command that reaches the editor while its item is greyed (sent, not chosen) is refused.
    if (!HexEditorCommandEnabled(id, MenuState())) return static_cast<void>(MessageBeep(MB_OK));
    HWND control = gEditor.control;
    switch (id) {
        case IDOK:
        case IDCANCEL: OnClose(dialog); break;
        case IDM_ESCAPE:
            if (!HexViewCancelScan(control)) OnClose(dialog);
            break;
        case IDM_COMMIT_CHANGES: EditorCommit(dialog); break;
        case IDM_OPEN: EditorOpen(dialog); break;
        case IDM_SAVE_AS: EditorSaveAs(dialog); break;
        case IDM_NEW: EditorNew(dialog); break;
        case IDM_FORMAT_HEX:
        case IDM_FORMAT_DECIMAL:
        case IDM_FORMAT_OCTAL:
        case IDM_FORMAT_BINARY: OnFormat(dialog, id); break;
        case IDM_DECIMAL_OFFSET: OnToggle(dialog, id, HVS_DECIMALOFFSET); break;
        case IDM_FIT_TO_WINDOW: OnToggle(dialog, id, HVS_FITTOWINDOW); break;
        case IDM_CUT:
        case IDM_COPY:
        case IDM_PASTE:
        case IDM_CLEAR: OnEdit(dialog, id); break;
        case IDM_UNDO: HexViewUndo(control); break;
        case IDM_REDO: HexViewRedo(control); break;
        case IDM_SELECT_ALL: HexViewSelectAll(control); break;
        case IDM_COPY_HEX: OnCopyHex(dialog); break;
        case IDM_FILL: OnFill(dialog); break;
        case IDM_CHECKSUM: HexViewChecksum(control, kChecksumAll); break;
        case IDM_FIND:
        case IDM_FIND_NEXT:
        case IDM_FIND_PREVIOUS: OnFind(dialog, id); break;
        case IDM_GOTO: OnGoto(dialog); break;
        case IDM_COMPARE_FILE: EditorCompare(dialog); break;
        case IDM_NEXT_DIFFERENCE:
        case IDM_PREVIOUS_DIFFERENCE: OnDifference(dialog, id); break;
        default: break;
    }
}

// A menu opened from the keyboard (no pointer position) opens at the caret.
void OnContextMenu(HWND dialog, HWND window, LPARAM where) {
    if (window != gEditor.control) return;
    POINT at{GET_X_LPARAM(where), GET_Y_LPARAM(where)};
    if (where == -1) {
        GetCaretPos(&at);
        ClientToScreen(gEditor.control, &at);
    }
    HMENU menu = LoadMenuA(Module(), MAKEINTRESOURCEA(IDM_HEX_CONTEXT));
    if (menu == nullptr) return;
    EnableItems(GetSubMenu(menu, 0));
    const int id = static_cast<int>(TrackPopupMenu(
        GetSubMenu(menu, 0), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, dialog, nullptr));
    DestroyMenu(menu);
    if (id != 0) PostMessageA(dialog, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

// The private copy of the buffer goes to the control, which owns it from then on, also when it
// cannot open a document over it (no room for the bytes the user will type).
bool HandOverCopy() {
    void* copy = nullptr;
    if (gEditor.size > 0) {
        copy = AllocateMemory(gEditor.size);
        if (copy == nullptr) return false;
        std::memcpy(copy, gEditor.buffer, gEditor.size);
    }
    return HexViewSetBuffer(gEditor.control, copy, gEditor.size) != 0;
}

void OnInitDialog(HWND dialog, const HexEditorRequest& request) {
    gEditor = EditorState{};
    gEditor.buffer = request.buffer;
    gEditor.size = request.size;
    gEditor.committedMessage = request.committedMessage;
    HWND owner = GetWindow(dialog, GW_OWNER);
    CenterWindow(dialog, owner);
    gHexEditorWindow = dialog;

    gEditor.control = CreateWindowExA(WS_EX_CLIENTEDGE, "HexView32", "",
                                      WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                      dialog, nullptr, Module(), nullptr);
    INITCOMMONCONTROLSEX classes{sizeof classes, ICC_BAR_CLASSES};
    InitCommonControlsEx(&classes);
    gEditor.status = CreateStatusWindowA(kStatusStyle, "Ready", dialog, kStatusId);
    RECT client;
    GetClientRect(dialog, &client);
    const std::array<int, kEditorStatusParts> edges = HexEditorStatusEdges(client.right);
    SendMessageA(gEditor.status, SB_SETPARTS, kEditorStatusParts,
                 reinterpret_cast<LPARAM>(edges.data()));
    SetPart(0, "");
    SetPart(1, "Cursor: 00000000");
    SetPart(2, "Value: 00");
    SetPart(3, "OVR");

    EnableWindow(owner, FALSE);
    SendMessageA(dialog, WM_SETICON, ICON_BIG, 0);
    SendMessageA(dialog, WM_SIZE, SIZE_RESTORED, MAKELPARAM(client.right, client.bottom));

    if (gEditor.control == nullptr || !HandOverCopy()) {
        // Nothing was changed yet: the buffer is as it was, and the owner comes back.
        EditorWarn(dialog, "There is not enough memory to open the buffer in the editor.");
        DestroyWindow(dialog);
        return;
    }
    HexViewResetView(gEditor.control);
    HexViewSetBytesPerRow(gEditor.control, 16, TRUE);
    HexViewSetInsertMode(gEditor.control, 0);
    // High characters shown as themselves, control characters substituted; an 8-digit
    // hexadecimal address with a colon.
    HexViewSetStyle(gEditor.control, 0x3800, HVS_SHOWHIGHCHARS);
    HexViewSetStyle(gEditor.control, HVS_ADDRESSBITS, HVS_ADDRCOLON);
    HexViewSetStyle(gEditor.control, HVS_TYPEREPLACESSEL, HVS_TYPEREPLACESSEL);
    HexViewSetStyle(gEditor.control, HVS_MARKCHANGES, HVS_MARKCHANGES);
    ShowMode();

    gEditor.accelerators = CreateAcceleratorTableA(const_cast<ACCEL*>(kAccelerators),
                                                   static_cast<int>(std::size(kAccelerators)));
    gEditor.messageFilter =
        SetWindowsHookExA(WH_MSGFILTER, EditorMessageFilter, nullptr, GetCurrentThreadId());
    SetFocus(gEditor.control);
}

void OnDestroy(HWND dialog) {
    if (gEditor.messageFilter != nullptr) UnhookWindowsHookEx(gEditor.messageFilter);
    if (gEditor.accelerators != nullptr) DestroyAcceleratorTable(gEditor.accelerators);
    // No handle of this editor may be used again: the next one starts from nothing.
    gEditor = EditorState{};
    gHexEditorWindow = nullptr;
    EnableWindow(GetWindow(dialog, GW_OWNER), TRUE);
}

}  // namespace

HWND OpenHexEditor(HWND owner, const HexEditorRequest& request) {
    HWND editor = CreateDialogParamA(Module(), MAKEINTRESOURCEA(IDD_HEX_EDITOR), owner,
                                     HexEditorDialogProc, reinterpret_cast<LPARAM>(&request));
    return IsWindow(editor) ? editor : nullptr;  // it closes itself when it cannot start
}

bool HexEditorTranslateAccelerator(MSG* msg) {
    HWND editor = gHexEditorWindow;
    if (editor == nullptr || gEditor.accelerators == nullptr || msg == nullptr) return false;
    if (msg->hwnd != editor && !IsChild(editor, msg->hwnd)) return false;
    return TranslateAcceleratorA(editor, gEditor.accelerators, msg) != 0;
}

INT_PTR CALLBACK HexEditorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            OnInitDialog(dialog, *reinterpret_cast<const HexEditorRequest*>(lParam));
            return 0;
        case WM_DESTROY: OnDestroy(dialog); return 0;
        case WM_SIZE:
            OnSize(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
            return 0;
        case WM_SETFOCUS: SetFocus(gEditor.control); return 0;
        case WM_NOTIFY: OnNotify(dialog, reinterpret_cast<const NMHDR*>(lParam)); return 0;
        case WM_INITMENUPOPUP: EnableItems(reinterpret_cast<HMENU>(wParam)); return 0;
        case WM_CONTEXTMENU:
            OnContextMenu(dialog, reinterpret_cast<HWND>(wParam), lParam);
            return 0;
        case WM_COMMAND: OnCommand(dialog, LOWORD(wParam)); return 0;
        case WM_ENABLE: OnEnable(dialog, wParam != 0); return 0;
        case kShowScanResult: OnScanEnded(dialog); return 0;
        default: return 0;
    }
}
