#include "editor/hex_editor_tools_win.h"

#include <cstring>
#include <functional>

#include "editor/hex_editor_status.h"
#include "document/hex_checksum.h"
#include "document/hex_fill.h"
#include "document/hex_goto.h"
#include "document/hex_search.h"
#include "platform/win32_handles.h"
#include "resources/resource.h"
#include "win32ui/window_helpers_win.h"

namespace {

std::string ItemText(HWND dialog, int id) {
    HWND item = GetDlgItem(dialog, id);
    std::string text(static_cast<std::size_t>(GetWindowTextLengthA(item)) + 1, '\0');
    text.resize(
        static_cast<std::size_t>(GetWindowTextA(item, text.data(), static_cast<int>(text.size()))));
    return text;
}

bool Checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// Says what is wrong with the box's text and puts the focus back on it, the offending character
// selected (the whole text when there is none to point at).
void Refuse(HWND dialog, int box, const char* caption, const char* why, std::size_t at = 0,
            bool pointAt = false) {
    MessageBoxA(dialog, why, caption, MB_OK | MB_ICONWARNING);
    HWND edit = GetDlgItem(dialog, box);
    SetFocus(edit);
    const int from = pointAt ? static_cast<int>(at) : 0;
    SendMessageA(edit, EM_SETSEL, from, pointAt ? from + 1 : -1);
}

// The dialog over its owner, the box holding text, all of it selected, with the focus.
void Begin(HWND dialog, int box, const std::string& text) {
    CenterWindow(dialog, GetWindow(dialog, GW_OWNER));
    SetDlgItemTextA(dialog, box, text.c_str());
    SetFocus(GetDlgItem(dialog, box));
    SendDlgItemMessageA(dialog, box, EM_SETSEL, 0, -1);
}

// Each dialog keeps its context in DWLP_USER from WM_INITDIALOG on.
template <typename Context>
Context& ContextOf(HWND dialog) {
    return *reinterpret_cast<Context*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

template <typename Context>
INT_PTR Run(HWND owner, int templateId, DLGPROC procedure, Context& context) {
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), owner,
                           procedure, reinterpret_cast<LPARAM>(&context));
}

// Go To and Fill: one box whose text is checked on OK ----------------------------------------

// Why the box's text cannot be used, and where; no reason when it can.
struct Objection {
    const char* why = nullptr;
    std::size_t at = 0;
    bool pointAt = false;  // at names the offending character
};

struct BoxContext {
    int box;
    int hint;  // a text below the box
    std::string hintText;
    const char* caption;                                 // of the box that says why
    std::string& text;                                   // kept from one use to the next
    std::function<Objection(const std::string&)> check;  // takes what it needs when usable
};

INT_PTR CALLBACK BoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        const auto& context = *reinterpret_cast<BoxContext*>(lParam);
        SetDlgItemTextA(dialog, context.hint, context.hintText.c_str());
        Begin(dialog, context.box, context.text);
        return FALSE;
    }
    if (message != WM_COMMAND) return FALSE;
    if (LOWORD(wParam) == IDCANCEL) return EndDialog(dialog, IDCANCEL);
    if (LOWORD(wParam) != IDOK) return FALSE;
    auto& context = ContextOf<BoxContext>(dialog);
    context.text = ItemText(dialog, context.box);
    const Objection objection = context.check(context.text);
    if (objection.why == nullptr) return EndDialog(dialog, IDOK);
    Refuse(dialog, context.box, context.caption, objection.why, objection.at, objection.pointAt);
    return TRUE;
}

// Find ----------------------------------------------------------------------------------------

// Case is a question for text only.
void ShowCaseChoice(HWND dialog) {
    EnableWindow(GetDlgItem(dialog, IDC_FIND_IGNORECASE), Checked(dialog, IDC_FIND_TEXTMODE));
}

INT_PTR CALLBACK FindProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        const auto& request = *reinterpret_cast<HexFindRequest*>(lParam);
        CheckRadioButton(dialog, IDC_FIND_HEX, IDC_FIND_TEXTMODE,
                         request.textMode ? IDC_FIND_TEXTMODE : IDC_FIND_HEX);
        CheckDlgButton(dialog, IDC_FIND_IGNORECASE, request.ignoreCase ? BST_CHECKED : 0);
        CheckRadioButton(dialog, IDC_FIND_FORWARD, IDC_FIND_BACKWARD,
                         request.backward ? IDC_FIND_BACKWARD : IDC_FIND_FORWARD);
        ShowCaseChoice(dialog);
        Begin(dialog, IDC_FIND_TEXT, request.text);
        return FALSE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
        case IDC_FIND_HEX:
        case IDC_FIND_TEXTMODE: ShowCaseChoice(dialog); return TRUE;
        case IDCANCEL: return EndDialog(dialog, IDCANCEL);
        case IDOK: break;
        default: return FALSE;
    }
    HexFindRequest asked;
    asked.text = ItemText(dialog, IDC_FIND_TEXT);
    asked.textMode = Checked(dialog, IDC_FIND_TEXTMODE);
    asked.ignoreCase = Checked(dialog, IDC_FIND_IGNORECASE);
    asked.backward = Checked(dialog, IDC_FIND_BACKWARD);
    HexPattern pattern;
    std::size_t at = 0;
    const HexPatternError error = asked.textMode
                                      ? HexParseTextPattern(asked.text, asked.ignoreCase, &pattern)
                                      : HexParseHexPattern(asked.text, &pattern, &at);
    if (error != kHexPatternOk) {
        const bool pointAt = error == kHexPatternBadCharacter || error == kHexPatternHalfWildcard;
        Refuse(dialog, IDC_FIND_TEXT, "Find", HexPatternErrorText(error), at, pointAt);
        return TRUE;
    }
    ContextOf<HexFindRequest>(dialog) = asked;
    return EndDialog(dialog, IDOK);
}

// Checksum ------------------------------------------------------------------------------------

struct ChecksumContext {
    const HexViewScanInfo& info;
    std::uint32_t docSize;
};

void CopyText(HWND owner, const std::string& text) {
    UniqueGlobal block(GlobalAlloc(GMEM_MOVEABLE, text.size() + 1));
    if (!block) return;
    {
        GlobalLockScope lock(block.get());
        if (lock.data() == nullptr) return;
        std::memcpy(lock.data(), text.c_str(), text.size() + 1);
    }
    if (!OpenClipboard(owner)) return;
    EmptyClipboard();
    if (SetClipboardData(CF_TEXT, block.get()) != nullptr) block.release();
    CloseClipboard();
}

INT_PTR CALLBACK ChecksumProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        const auto& context = *reinterpret_cast<ChecksumContext*>(lParam);
        const HexViewScanInfo& info = context.info;
        const bool whole = info.position == 0 && info.length == context.docSize;
        const std::string range =
            whole ? "Whole document, " + std::to_string(info.length) + " bytes:"
                  : "Selection " + HexEditorRangeText(info.position, info.length) + ":";
        SetDlgItemTextA(dialog, IDC_CHECKSUM_RANGE, range.c_str());
        SetDlgItemTextA(dialog, IDC_CHECKSUM_TEXT, HexChecksumText(info.checksums).c_str());
        CenterWindow(dialog, GetWindow(dialog, GW_OWNER));
        SetFocus(GetDlgItem(dialog, IDCANCEL));  // not on the text, which would select it all
        return FALSE;
    }
    if (message != WM_COMMAND) return FALSE;
    switch (LOWORD(wParam)) {
        case IDC_CHECKSUM_COPY: CopyText(dialog, ItemText(dialog, IDC_CHECKSUM_TEXT)); return TRUE;
        case IDOK:
        case IDCANCEL: return EndDialog(dialog, IDCANCEL);
        default: return FALSE;
    }
}

}  // namespace

bool RunGotoDialog(HWND owner, std::uint32_t caret, std::uint32_t size, std::string& text,
                   std::uint32_t* offset) {
    BoxContext context{IDC_GOTO_OFFSET, IDC_GOTO_HINT, HexEditorGotoHint(size), "Go To", text, {}};
    context.check = [&](const std::string& typed) {
        const HexGotoResult result = HexParseGoto(typed, caret, size);
        *offset = result.offset;
        Objection objection;
        if (result.error != kHexGotoOk) objection.why = HexGotoErrorText(result.error);
        return objection;
    };
    return Run(owner, IDD_HEX_GOTO, BoxProc, context) == IDOK;
}

bool RunFindDialog(HWND owner, HexFindRequest& request) {
    return Run(owner, IDD_HEX_FIND, FindProc, request) == IDOK;
}

DWORD HexFindFlags(const HexFindRequest& request) {
    return (request.textMode ? HVF_TEXT : 0) | (request.ignoreCase ? HVF_IGNORECASE : 0) |
           (request.backward ? HVF_BACKWARD : 0);
}

bool RunFillDialog(HWND owner, std::uint32_t first, std::uint32_t count, std::string& text,
                   std::vector<std::uint8_t>* bytes) {
    BoxContext context{
        IDC_FILL_PATTERN,
        IDC_FILL_RANGE,
        "Hex bytes, e.g. FF or DE AD BE EF.\nSelection " + HexEditorRangeText(first, count) + ".",
        "Fill Selection",
        text,
        {}};
    context.check = [&](const std::string& typed) {
        Objection objection;
        const HexPatternError error = HexParseFillPattern(typed, bytes, &objection.at);
        if (error != kHexPatternOk) {
            objection.why = HexPatternErrorText(error);
            objection.pointAt =
                error == kHexPatternBadCharacter || error == kHexPatternWildcardInFill;
        }
        return objection;
    };
    return Run(owner, IDD_HEX_FILL, BoxProc, context) == IDOK;
}

void RunChecksumDialog(HWND owner, const HexViewScanInfo& info, std::uint32_t docSize) {
    ChecksumContext context{info, docSize};
    Run(owner, IDD_HEX_CHECKSUM, ChecksumProc, context);
}
