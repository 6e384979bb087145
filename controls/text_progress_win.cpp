#include "controls/text_progress_win.h"

#include <commctrl.h>

#include <cstring>

#include "controls/control_state_win.h"
#include "platform/text.h"
#include "platform/win32_handles.h"

namespace {

constexpr std::size_t kTextSize = 260;

HFONT CreateControlFont() {
    LOGFONTA description{};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof description, &description);
    description.lfWeight = 500;
    return CreateFontIndirectA(&description);
}

struct TextProgressState {
    explicit TextProgressState(HWND window) : hwnd(window) {}

    HWND hwnd;                                   // the control itself
    char text[kTextSize] = "";                   // drawn centred over the bar
    COLORREF textColor = RGB(0, 0, 0);           // -1: two-tone text
    COLORREF backColor = kTextProgressDefault;   // -1: the system's button face
    COLORREF barColor = RGB(0, 100, 210);        // the filled part
    int vertical = 0;                            // 0 grows from the left edge, else from the bottom
    int maxValue = 255;                          // upper end of the range
    int minValue = 0;                            // lower end; also where STEPIT wraps to
    int step = 1;                                // increment of PBM_STEPIT
    int position = 0;                            // current value, drawn unreduced by minValue
    UniqueGdi<HFONT> font{CreateControlFont()};  // the default GUI font at weight 500
    COLORREF savedBackColor = 0;                 // background to restore when a flash ends
    bool flashing = false;  // a flash timer runs; savedBackColor holds the real background
    RECT shownBar{};        // the bar as last drawn on the screen
};

COLORREF ResolveBack(COLORREF color) {
    return color == kTextProgressDefault ? GetSysColor(COLOR_BTNFACE) : color;
}

void Paint(TextProgressState& state, HDC target, RECT client);

// Repaints at once. A transfer waits for every repaint (two per 256-byte block), so the picture
// goes straight to a window DC: an invalidate-and-update round costs several times as much for
// the same pixels, under Wine ten times as much.
void Redraw(TextProgressState& state) {
    RECT client;
    GetClientRect(state.hwnd, &client);
    if (!IsWindowVisible(state.hwnd) || client.right <= 0 || client.bottom <= 0) return;
    {
        WindowDc dc(state.hwnd);
        Paint(state, dc.get(), client);
    }
    ValidateRect(state.hwnd, nullptr);  // every pixel is current: no paint is owed any more
}

LRESULT OnSetText(TextProgressState& state, const char* text) {
    char previous[kTextSize];
    CopyText(previous, sizeof previous, state.text);
    CopyText(state.text, sizeof state.text, text);  // a longer text is cut to what fits
    if (std::strcmp(previous, state.text) != 0) Redraw(state);
    return 0;
}

// Honours the caller's buffer size (wParam) like any window: a fixed 260-byte copy would
// overrun a smaller buffer. Returns the characters copied.
LRESULT OnGetText(const TextProgressState& state, WPARAM capacity, char* buffer) {
    if (buffer == nullptr) return 0;
    return static_cast<LRESULT>(CopyText(buffer, capacity, state.text));
}

// Where the bar ends along its axis, in pixels; -1 when there is no bar (empty range).
long BarFill(const TextProgressState& state, long extent) {
    long double span = static_cast<long double>(state.maxValue) - state.minValue;
    if (span == 0) return -1;
    long double fill = static_cast<long double>(state.position) / span * extent;
    if (!(fill > 0)) return 0;  // negative positions (and NaN) draw no bar
    if (fill > extent) return extent;
    return static_cast<long>(fill);
}

void DrawCentredText(const TextProgressState& state, HDC dc, RECT client, COLORREF color) {
    SetTextColor(dc, color);
    DrawTextA(dc, state.text, -1, &client, DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
}

void DrawClippedText(const TextProgressState& state, HDC dc, RECT client, RECT clip,
                     COLORREF color) {
    if (IsRectEmpty(&clip)) return;
    UniqueGdi<HRGN> region(CreateRectRgnIndirect(&clip));
    SelectClipRgn(dc, region.get());
    DrawCentredText(state, dc, client, color);
    SelectClipRgn(dc, nullptr);
}

// The filled part of the client area; empty when there is no bar.
RECT BarRect(const TextProgressState& state, RECT client) {
    long fill = BarFill(state, state.vertical != 0 ? client.bottom : client.right);
    RECT bar = client;
    if (fill < 0) {
        SetRectEmpty(&bar);
    } else if (state.vertical != 0) {
        bar.top = client.bottom - fill;
    } else {
        bar.right = fill;
    }
    return bar;
}

void Paint(TextProgressState& state, HDC target, RECT client) {
    UniqueMemoryDc dc(CreateCompatibleDC(target));
    // A DIB section rather than a device bitmap: it is made without a trip to the display.
    BITMAPINFO format{};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = client.right;
    format.bmiHeader.biHeight = -client.bottom;
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    UniqueGdi<HBITMAP> bitmap(
        CreateDIBSection(target, &format, DIB_RGB_COLORS, &bits, nullptr, 0));
    SelectGuard bitmapSelection(dc.get(), bitmap.get());

    RECT bar = BarRect(state, client);
    RECT beside = client;
    if (!IsRectEmpty(&bar)) {
        if (state.vertical != 0) {
            beside.bottom = bar.top;
        } else {
            beside.left = bar.right;
        }
    }

    if (state.backColor == kTextProgressDefault) {
        FillRect(dc.get(), &beside, GetSysColorBrush(COLOR_BTNFACE));  // borrowed brush
    } else {
        UniqueGdi<HBRUSH> back(CreateSolidBrush(state.backColor));
        FillRect(dc.get(), &beside, back.get());
    }
    if (!IsRectEmpty(&bar)) {
        UniqueGdi<HBRUSH> barBrush(CreateSolidBrush(state.barColor));
        FillRect(dc.get(), &bar, barBrush.get());
    }

    SetBkMode(dc.get(), TRANSPARENT);
    SelectGuard fontSelection(dc.get(), state.font.get());
    if (state.textColor != kTextProgressDefault) {
        DrawCentredText(state, dc.get(), client, state.textColor);
    } else {
        // Two-tone: background colour over the bar, bar colour beside it. With both colours
        // at their defaults the button face stands in for the background.
        DrawClippedText(state, dc.get(), client, bar, ResolveBack(state.backColor));
        DrawClippedText(state, dc.get(), client, beside, state.barColor);
    }

    BitBlt(target, 0, 0, client.right, client.bottom, dc.get(), 0, 0, SRCCOPY);
    state.shownBar = bar;
}

LRESULT OnPaint(TextProgressState& state) {
    RECT client;
    GetClientRect(state.hwnd, &client);
    PaintScope paint(state.hwnd);
    if (client.right > 0 && client.bottom > 0) Paint(state, paint.dc(), client);
    return 0;
}

// A new position repaints only when the bar it gives differs from the one on the screen: a
// transfer steps once a block, thousands of times across a few hundred pixels, and waits for
// each repaint. A range or orientation change since the last paint counts too.
LRESULT MovePosition(TextProgressState& state, int position) {
    int previous = state.position;
    state.position = position;
    RECT client;
    GetClientRect(state.hwnd, &client);
    RECT bar = BarRect(state, client);
    if (!EqualRect(&bar, &state.shownBar)) Redraw(state);
    return previous;
}

LRESULT OnStepIt(TextProgressState& state) {
    int position = state.position + state.step;
    if (position > state.maxValue) position = state.minValue;
    return MovePosition(state, position);
}

LRESULT OnGetRange(const TextProgressState& state, WPARAM which, PBRANGE* range) {
    if (range != nullptr) {
        range->iLow = state.minValue;
        range->iHigh = state.maxValue;
        return 0;
    }
    if (which == 1) return state.minValue;
    if (which == 0) return state.maxValue;
    return 0;
}

LRESULT OnGetRangePointers(const TextProgressState& state, int* minimum, int* maximum) {
    if (minimum != nullptr) *minimum = state.minValue;
    if (maximum != nullptr) *maximum = state.maxValue;
    return 0;
}

// A second flash while one runs keeps the background saved by the first, so the end of the
// flash always brings back the real background.
LRESULT OnFlash(TextProgressState& state, UINT milliseconds, COLORREF color) {
    if (!state.flashing) state.savedBackColor = state.backColor;
    state.flashing = true;
    state.backColor = color;
    Redraw(state);
    SetTimer(state.hwnd, FLASH_TIMER_ID, milliseconds, nullptr);
    return 0;
}

LRESULT OnTimer(TextProgressState& state, UINT_PTR id) {
    if (id != FLASH_TIMER_ID) return 0;
    KillTimer(state.hwnd, FLASH_TIMER_ID);
    state.flashing = false;
    state.backColor = state.savedBackColor;
    Redraw(state);
    return 0;
}

template <typename T>
LRESULT Exchange(TextProgressState& state, T& field, T value, bool redraw) {
    T previous = field;
    field = value;
    if (redraw) Redraw(state);
    return static_cast<LRESULT>(previous);
}

LRESULT Dispatch(TextProgressState& s, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SETTEXT: return OnSetText(s, reinterpret_cast<const char*>(lParam));
        case WM_GETTEXT: return OnGetText(s, wParam, reinterpret_cast<char*>(lParam));
        case WM_GETTEXTLENGTH: return static_cast<LRESULT>(std::strlen(s.text));
        case WM_PAINT: return OnPaint(s);
        case WM_ERASEBKGND: return 1;
        case WM_TIMER: return OnTimer(s, wParam);
        case PBM_SETRANGE:
            s.minValue = LOWORD(lParam);
            s.maxValue = HIWORD(lParam);
            return 0;
        case PBM_SETRANGE32:
            s.minValue = static_cast<int>(wParam);
            s.maxValue = static_cast<int>(lParam);
            return 0;
        case PBM_SETPOS: return MovePosition(s, static_cast<int>(wParam));
        case PBM_SETSTEP: return Exchange(s, s.step, static_cast<int>(wParam), false);
        case PBM_STEPIT: return OnStepIt(s);
        case PBM_GETRANGE: return OnGetRange(s, wParam, reinterpret_cast<PBRANGE*>(lParam));
        case PBM_SETBARCOLOR: return Exchange(s, s.barColor, static_cast<COLORREF>(lParam), true);
        case PBM_SETBKCOLOR: return Exchange(s, s.backColor, static_cast<COLORREF>(lParam), true);
        case TPM_SETTEXTCOLOR: return Exchange(s, s.textColor, static_cast<COLORREF>(lParam), true);
        case TPM_SETVERTICAL: s.vertical = static_cast<int>(lParam); return 0;
        case TPM_GETVERTICAL: return s.vertical;
        case TPM_GETRANGEPTRS:
            return OnGetRangePointers(s, reinterpret_cast<int*>(wParam),
                                      reinterpret_cast<int*>(lParam));
        case TPM_FLASH: return OnFlash(s, static_cast<UINT>(wParam), static_cast<COLORREF>(lParam));
        default: return DefWindowProcA(s.hwnd, message, wParam, lParam);
    }
}

}  // namespace

LRESULT CALLBACK TextProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ControlWindowProc<TextProgressState>(window, message, wParam, lParam, Dispatch);
}
