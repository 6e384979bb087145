#include "controls/grid_control_win.h"

#include <windowsx.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "controls/control_state_win.h"
#include "controls/grid_state_win.h"
#include "platform/win32_handles.h"

namespace {

constexpr COLORREF kDisabledTextColor = RGB(0x78, 0x78, 0x78);
constexpr char kTitleTooLong[] = "Title too long (300 chars max)";

HFONT MakeFont(int weight) {
    return CreateFontA(14, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                       VARIABLE_PITCH | FF_MODERN, "Arial");
}

void SetFont(GridState& state, GridFont& slot, HFONT font, bool owned) {
    GridFont old = slot;
    slot = GridFont{font, owned};
    if (!old.owned || old.handle == font) return;
    for (const GridFont* other : {&state.cellFont, &state.headerFont, &state.titleFont}) {
        if (other->handle == old.handle) return;  // still in use elsewhere
    }
    DeleteObject(old.handle);
}

int TextHeight(HWND window, HFONT font, std::string_view text) {
    WindowDc dc(window);
    SelectGuard selection(dc.get(), font);
    SIZE size{};
    GetTextExtentPoint32A(dc.get(), text.data(), static_cast<int>(text.size()), &size);
    return size.cy;
}

void UpdateTitleHeight(GridState& state) {
    int textHeight =
        state.title.empty() ? 0 : TextHeight(state.window, state.titleFont.handle, state.title);
    state.layout.titleHeight = TitleBandHeight(textHeight, state.title);
}

LRESULT OnSetText(GridState& state, const char* text);

LRESULT OnCreate(GridState& state, const CREATESTRUCTA* create) {
    state.controlId = static_cast<WORD>(GetWindowLongPtrA(state.window, GWLP_ID));
    state.cellList = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                                     WS_CHILD | WS_BORDER | WS_VSCROLL | LBS_SORT | LBS_NOTIFY, 0,
                                     0, 0, 0, state.window, nullptr, create->hInstance, nullptr);
    if (state.cellList == nullptr) return -1;
    const char* title = IS_INTRESOURCE(create->lpszName) ? "" : create->lpszName;
    OnSetText(state, title);
    return 0;
}

LRESULT OnSetText(GridState& state, const char* text) {
    if (text == nullptr) text = "";
    std::size_t length = strnlen(text, kGridMaxTitle + 1);
    state.title = length > kGridMaxTitle ? kTitleTooLong : std::string(text, length);
    DefWindowProcA(state.window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(state.title.c_str()));
    UpdateTitleHeight(state);
    Repaint(state);
    ResizeSelf(state);
    return TRUE;
}

LRESULT OnSetSize(GridState& state, int rows, int columns) {
    state.layout.rowCount = std::clamp(rows, 0, kGridMaxRows);
    state.layout.colCount = columns <= 0 ? 1 : std::min(columns, kGridMaxCols);
    KeepCurrentInGrid(state);
    Repaint(state);
    return 0;
}

LRESULT OnSetColWidth(GridState& state, WPARAM column, int width) {
    if (column > static_cast<WPARAM>(kGridMaxCols) || width < 0) return 0;
    state.layout.colWidth[column] = std::min(width, kGridMaxExtent);
    Repaint(state);
    return 0;
}

LRESULT OnSetRowHeight(GridState& state, int height) {
    state.layout.rowHeight = std::clamp(height, 1, kGridMaxExtent);
    BringCurrentIntoView(state);
    ResizeSelf(state);
    Repaint(state);
    return 0;
}

LRESULT OnSetHeaderHeight(GridState& state, int height) {
    state.layout.headerHeight = std::clamp(height, 0, kGridMaxExtent);
    ResizeSelf(state);
    Repaint(state);
    return 0;
}

LRESULT OnSetTitleHeight(GridState& state, int height) {
    state.layout.titleHeight = std::clamp(height, 0, kGridMaxExtent);
    BringCurrentIntoView(state);
    Repaint(state);
    return 0;
}

// A font handed over by GRM_SETTITLEFONT / GRM_SETHEADERFONT becomes the control's.
LRESULT OnSetOwnedFont(GridState& state, GridFont& slot, HFONT font) {
    if (font == nullptr) return 0;
    SetFont(state, slot, font, true);
    if (&slot == &state.titleFont && !state.title.empty()) {
        UpdateTitleHeight(state);
        ResizeSelf(state);
    }
    Repaint(state);
    return 0;
}

LRESULT OnEnable(GridState& state, bool enabled) {
    state.textColor = enabled ? RGB(0, 0, 0) : kDisabledTextColor;
    Repaint(state);
    return 0;
}

template <typename T>
LRESULT SetAndRepaint(GridState& state, T& field, T value) {
    field = value;
    Repaint(state);
    return 0;
}

LRESULT OnSetFrameColor(GridState& state, COLORREF& field, COLORREF color, bool repaint) {
    EraseFrame(state);
    field = color;
    DrawFrame(state);
    if (repaint) Repaint(state);
    return 0;
}

LRESULT NotifySelection(GridState& state) {
    NotifyCell(state, GRN_CURMOVED);
    NotifyCell(state, GRN_CURCHANGED);
    return 0;
}

}  // namespace

GridState::GridState(HWND control)
    : window(control),
      cellFont{MakeFont(100), true},
      headerFont{MakeFont(400), true},
      titleFont{MakeFont(600), true} {}

GridState::~GridState() {
    // Emptying the slots one by one deletes each owned font once, however they are shared.
    for (GridFont* slot : {&cellFont, &headerFont, &titleFont})
        SetFont(*this, *slot, nullptr, false);
}

void Notify(GridState& state, WORD code, LPARAM lParam) {
    HWND parent = GetParent(state.window);
    if (parent != nullptr) {
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(state.controlId, code), lParam);
    }
}

void NotifyCell(GridState& state, WORD code) {
    Notify(state, code, MAKELPARAM(state.curRow, state.curCol));
}

namespace {

LRESULT Dispatch(GridState& s, UINT message, WPARAM wParam, LPARAM lParam) {
    auto flag = [wParam] { return wParam != 0; };
    auto colour = [wParam] { return static_cast<COLORREF>(wParam); };

    switch (message) {
        case WM_CREATE: return OnCreate(s, reinterpret_cast<const CREATESTRUCTA*>(lParam));
        case WM_SETTEXT: return OnSetText(s, reinterpret_cast<const char*>(lParam));
        case WM_SETFONT:
            if (wParam != 0) SetFont(s, s.cellFont, reinterpret_cast<HFONT>(wParam), false);
            if (LOWORD(lParam) != 0) Repaint(s);
            return 0;
        case WM_GETFONT: return reinterpret_cast<LRESULT>(s.cellFont.handle);
        case WM_ENABLE: return OnEnable(s, wParam != 0);
        case WM_ERASEBKGND: return 1;
        case WM_PAINT:
            UpdateScrollBars(s);
            PaintGrid(s);
            return 0;
        case WM_SIZE: OnSizeChanged(s, LOWORD(lParam), HIWORD(lParam)); return 0;
        case WM_VSCROLL: return OnVScroll(s, LOWORD(wParam));
        case WM_HSCROLL: return OnHScroll(s, LOWORD(wParam));
        case WM_MOUSEWHEEL: return OnMouseWheel(s, GET_WHEEL_DELTA_WPARAM(wParam));
        case WM_SETFOCUS: return OnSetFocus(s);
        case WM_KILLFOCUS: return OnKillFocus(s);
        case WM_GETDLGCODE: return OnGetDlgCode(s, reinterpret_cast<const MSG*>(lParam));
        case WM_KEYDOWN: return OnKeyDown(s, wParam, lParam);
        case WM_MOUSEMOVE: return OnMouseMove(s, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        case WM_LBUTTONDOWN: return OnLButtonDown(s, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        case WM_LBUTTONUP: EndColumnDrag(s); return 0;
        case WM_LBUTTONDBLCLK:
            return OnLButtonDblClk(s, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        case WM_CAPTURECHANGED:
            if (reinterpret_cast<HWND>(lParam) != s.window) EndColumnDrag(s);
            return 0;
        case WM_SETCURSOR: return OnSetCursor(s, message, wParam, lParam);

        case GRM_SETCELLPROTECT: return OnSetCellProtect(s, wParam, lParam != 0);
        case GRM_SETDEFAULTPROTECT: s.defaultProtection = flag() ? 'P' : 'U'; return 0;
        case GRM_SETCELLTEXT:
            return OnSetCellText(s, wParam, reinterpret_cast<const char*>(lParam));
        case GRM_GETCELLTEXT: return OnGetCellText(s, wParam, reinterpret_cast<char*>(lParam));
        case GRM_CLEARALL: return OnClearAll(s);
        case GRM_SETSIZE: return OnSetSize(s, static_cast<int>(wParam), static_cast<int>(lParam));
        case GRM_DELETECELL: return OnDeleteCell(s, wParam);
        case GRM_SELECTCELL:
            return OnSelectCell(s, static_cast<int>(wParam), static_cast<int>(lParam));
        case GRM_SETAUTOGROW: s.autoGrow = flag(); return 0;
        case GRM_GETOWNERDRAWVALUE: return s.ownerDrawValue;
        case GRM_SETCOLWIDTH: return OnSetColWidth(s, wParam, static_cast<int>(lParam));
        case GRM_SETHEADERHEIGHT: return OnSetHeaderHeight(s, static_cast<int>(wParam));
        case GRM_GETCELLTYPE: return OnGetCellType(s, wParam);
        case GRM_ISCELLPROTECTED: return OnIsCellProtected(s, wParam);
        case GRM_TOGGLECURSOR: ToggleFrame(s); return 0;
        case GRM_SETROWHEIGHT: return OnSetRowHeight(s, static_cast<int>(wParam));
        case GRM_SETCURSORCOLOR: return OnSetFrameColor(s, s.cursorColor, colour(), false);
        case GRM_SETPROTECTEDBKCOLOR: return SetAndRepaint(s, s.protectedBkColor, colour());
        case GRM_SETCELLBKCOLOR: return SetAndRepaint(s, s.cellBkColor, colour());
        case GRM_SHOWROWNUMBERS: return SetAndRepaint(s, s.showRowNumbers, flag());
        case GRM_SHOWCOLLETTERS: return SetAndRepaint(s, s.showColLetters, flag());
        case GRM_GETROWS: return s.layout.rowCount;
        case GRM_GETCOLS: return s.layout.colCount;
        case GRM_NOTIFYSELECTION:
        case GRM_NOTIFYSELECTION2: return NotifySelection(s);
        case GRM_GETCURROW: return s.curRow;
        case GRM_GETCURCOL: return s.curCol;
        case GRM_REDRAW:
            InvalidateRect(s.window, nullptr, TRUE);
            UpdateWindow(s.window);
            return 0;
        case GRM_GETCOLWIDTH:
            return wParam <= static_cast<WPARAM>(kGridMaxCols) ? s.layout.colWidth[wParam] : 0;
        case GRM_GETROWHEIGHT: return s.layout.rowHeight;
        case GRM_GETHEADERHEIGHT: return s.layout.headerHeight;
        case GRM_SETTITLEHEIGHT: return OnSetTitleHeight(s, static_cast<int>(wParam));
        case GRM_SETSELBKCOLOR: return SetAndRepaint(s, s.selBkColor, colour());
        case GRM_SETSELTEXTCOLOR: return SetAndRepaint(s, s.selTextColor, colour());
        case GRM_ENABLEEDIT: s.editEnabled = flag(); return 0;
        case GRM_SETGRIDCOLOR: return OnSetFrameColor(s, s.gridColor, colour(), true);
        case GRM_SETEXTENDLASTCOL: return SetAndRepaint(s, s.layout.extendLastCol, flag());
        case GRM_SETFITHEIGHT:
            s.fitHeight = flag();
            ResizeSelf(s);
            Repaint(s);
            return 0;
        case GRM_SETSINGLELINE: return SetAndRepaint(s, s.singleLine, flag());
        case GRM_SETAUTOSIZE: s.autoSize = flag(); return 0;
        case GRM_ENABLECOLRESIZE: s.colResizeEnabled = flag(); return 0;
        case GRM_SETTITLEFONT:
            return OnSetOwnedFont(s, s.titleFont, reinterpret_cast<HFONT>(wParam));
        case GRM_SETHEADERFONT:
            return OnSetOwnedFont(s, s.headerFont, reinterpret_cast<HFONT>(wParam));
        case GRM_SETTEXTRIGHT:
            s.textRight = flag();
            if (s.textRight) s.numberLeft = false;
            Repaint(s);
            return 0;
        case GRM_SETNUMBERLEFT:
            s.numberLeft = flag();
            if (s.numberLeft) s.textRight = false;
            Repaint(s);
            return 0;
        case GRM_SETHIGHLIGHTROW: return SetAndRepaint(s, s.highlightRow, flag());
        case GRM_SETHIGHLIGHTCOL: return SetAndRepaint(s, s.highlightCol, flag());
        case GRM_SETTEXTCOLOR: return SetAndRepaint(s, s.textColor, colour());
        case GRM_COPY: return OnCopy(s);
        case GRM_PASTE: return OnPaste(s);
        default: return DefWindowProcA(s.window, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK GridControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ControlWindowProc<GridState>(window, message, wParam, lParam, Dispatch);
}
