// HexView32 painting: the font, rows drawn from the colour runs the core computes, the one-cell
// repaint after a keystroke, invalidation of byte ranges, and the layout half of WM_SIZE.
// Nothing is erased on its own: every row paints its whole width opaquely and the areas right
// of and below the rows are filled, so repainting does not flicker.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "hexview/hexview_instance_win.h"
#include "hexview/hexview_scroll.h"

namespace {

// Buffers for one row of the current layout; fit to window has no upper limit on bytes per row.
void EnsureRowBuffers(HexViewInstance& inst) {
    if (inst.rowText.size() < inst.lineWidth + 1) inst.rowText.resize(inst.lineWidth + 1);
    if (inst.rowBytes.size() < inst.bytesPerRow) {
        inst.rowBytes.resize(inst.bytesPerRow);
        inst.rowMarks.resize(inst.bytesPerRow);
    }
    // One advance per character keeps every glyph in its cell whatever the font's own widths.
    if (inst.rowAdvances.size() < inst.lineWidth ||
        (!inst.rowAdvances.empty() && inst.rowAdvances[0] != inst.charWidth)) {
        inst.rowAdvances.assign(inst.lineWidth, inst.charWidth);
    }
}

void DrawText(HDC dc, int x, int y, int height, int charWidth, const char* text, UINT length,
              const INT* advances) {
    RECT cell{x, y, x + static_cast<int>(length) * charWidth, y + height};
    ExtTextOutA(dc, x, y, ETO_OPAQUE, &cell, text, length, const_cast<INT*>(advances));
}

void Fill(HDC dc, RECT area, std::uint32_t color) {
    if (area.left >= area.right || area.top >= area.bottom) return;
    SetBkColor(dc, HexViewResolveColor(color));
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &area, "", 0, nullptr);
}

std::int32_t RowY(const HexViewInstance& inst, std::uint64_t row) {
    std::int64_t y = (static_cast<std::int64_t>(row) - inst.topRow) * inst.lineHeight;
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(y, INT32_MIN / 2, INT32_MAX / 2));
}

void PaintLine(HexViewInstance& inst, HDC dc, std::uint64_t row, const RECT& area) {
    const std::uint64_t rowStart = row * inst.bytesPerRow;
    if (rowStart >= inst.docSize) return;
    const std::uint32_t start = static_cast<std::uint32_t>(rowStart);
    const std::uint32_t count = std::min(inst.bytesPerRow, inst.docSize - start);
    EnsureRowBuffers(inst);
    if (HexDocRead(inst.document, inst.rowBytes.data(), start, count, inst.rowMarks.data()) ==
        nullptr) {
        std::memset(inst.rowBytes.data(), 0, count);
        std::memset(inst.rowMarks.data(), 0, count);
    }
    HexViewFormatLine(inst, inst.rowText.data(), inst.rowBytes.data(), count, start);
    HexViewRowRuns(inst, start, count, inst.rowMarks.data(), inst.runs);

    const int y = RowY(inst, row);
    for (const HexTextRun& run : inst.runs) {
        const int x = HexViewColumnX(inst, run.start);
        if (x >= area.right || x + static_cast<int>(run.length) * inst.charWidth <= area.left) {
            continue;
        }
        SetTextColor(dc, HexViewResolveColor(run.textColor));
        SetBkColor(dc, HexViewResolveColor(run.backColor));
        DrawText(dc, x, y, inst.lineHeight, inst.charWidth, inst.rowText.data() + run.start,
                 run.length, inst.rowAdvances.data());
    }
    SetBkColor(dc, HexViewResolveColor(inst.colors.backColor));
}

}  // namespace

COLORREF HexViewResolveColor(std::uint32_t value) {
    if ((value & kSystemColor) != 0) return GetSysColor(static_cast<int>(value & 0x00FFFFFF));
    return value;
}

void HexViewCreateFont(HexViewInstance& inst) {
    LOGFONTA description{};
    description.lfHeight = 12;
    description.lfWeight = FW_NORMAL;
    description.lfPitchAndFamily = FIXED_PITCH;
    std::strcpy(description.lfFaceName, "Courier");
    inst.font.reset(CreateFontIndirectA(&description));

    WindowDc screen(nullptr);
    SelectGuard selection(screen.get(), inst.font ? static_cast<HGDIOBJ>(inst.font.get())
                                                   : GetStockObject(SYSTEM_FIXED_FONT));
    TEXTMETRICA metrics{};
    if (GetTextMetricsA(screen.get(), &metrics)) {
        inst.charWidth = std::max<LONG>(metrics.tmAveCharWidth, 1);
        inst.lineHeight = std::max<LONG>(metrics.tmHeight + metrics.tmExternalLeading, 1);
    }
}

LRESULT HexViewOnPaint(HexViewInstance& inst) {
    PaintScope paint(inst.hwnd);
    HDC dc = paint.dc();
    const RECT& area = paint.area();
    RECT client;
    GetClientRect(inst.hwnd, &client);
    SelectGuard fontSelection(dc, inst.font.get());

    const std::uint64_t first = std::uint64_t{inst.topRow} + area.top / inst.lineHeight;
    const std::uint64_t last = std::uint64_t{inst.topRow} +
                               (area.bottom + inst.lineHeight - 1) / inst.lineHeight;
    const std::uint64_t end = std::min<std::uint64_t>(inst.rowCount, last);
    const int rowRight = HexViewColumnX(inst, inst.lineWidth);
    for (std::uint64_t row = first; row < end; ++row) {
        PaintLine(inst, dc, row, area);
        const int y = RowY(inst, row);
        Fill(dc, RECT{std::max<LONG>(rowRight, area.left), y, client.right, y + inst.lineHeight},
             inst.colors.backColor);
    }
    const int below = RowY(inst, inst.rowCount);
    Fill(dc, RECT{area.left, std::max<LONG>(below, area.top), area.right, area.bottom},
         inst.colors.backColor);
    return 0;
}

void HexViewPaintCaretByte(HexViewInstance& inst) {
    if (inst.caretPos >= inst.docSize) return;
    const std::uint8_t byte = HexDocGetByte(inst.document, inst.caretPos);
    const bool marks = (inst.style & HVS_MARKCHANGES) != 0;
    if (inst.caretOwned) HideCaret(inst.hwnd);
    {
        WindowDc window(inst.hwnd);
        HDC dc = window.get();
        SelectGuard fontSelection(dc, inst.font.get());
        EnsureRowBuffers(inst);
        const int y = inst.caretRow * inst.lineHeight;
        SetBkColor(dc, HexViewResolveColor(inst.colors.backColor));

        char digits[9];
        const UINT length = static_cast<UINT>(HexViewFormatByte(inst.style, byte, digits));
        const HexViewColors& c = inst.colors;
        std::uint32_t color = marks ? c.changedColor
                                    : (inst.caretCol & 1) != 0 ? c.oddDataColor : c.evenDataColor;
        SetTextColor(dc, HexViewResolveColor(color));
        DrawText(dc, HexViewColumnX(inst, inst.cellWidth * inst.caretCol + inst.dataColumn), y,
                 inst.lineHeight, inst.charWidth, digits, length, inst.rowAdvances.data());

        const char shown = HexViewDisplayChar(inst, byte);
        SetTextColor(dc, HexViewResolveColor(marks ? c.changedColor : c.charColor));
        DrawText(dc, HexViewColumnX(inst, inst.charColumn + inst.caretCol), y, inst.lineHeight,
                 inst.charWidth, &shown, 1, inst.rowAdvances.data());
    }
    if (inst.caretOwned) ShowCaret(inst.hwnd);
}

// Invalidation needs no lock on window updates: nothing paints until WM_PAINT comes round.
void HexViewInvalidateRange(HexViewInstance& inst, std::uint32_t from, std::uint32_t to) {
    inst.rects.clear();
    HexViewRangeRects(inst, from, to, inst.rects);
    for (const HexRect& r : inst.rects) {
        RECT rect{r.left, r.top, r.right, r.bottom};
        InvalidateRect(inst.hwnd, &rect, FALSE);
    }
}

void HexViewInvalidateAll(HexViewInstance& inst, bool erase) {
    InvalidateRect(inst.hwnd, nullptr, erase ? TRUE : FALSE);
}

void HexViewInvalidateBelow(HexViewInstance& inst, std::int32_t x, std::int32_t y, bool erase) {
    RECT client;
    GetClientRect(inst.hwnd, &client);
    RECT area{std::max<LONG>(x, 0), std::max<LONG>(y, 0), client.right, client.bottom};
    if (area.left < area.right && area.top < area.bottom) {
        InvalidateRect(inst.hwnd, &area, erase ? TRUE : FALSE);
    }
}

void HexViewOnSize(HexViewInstance& inst, int width, int height) {
    const std::uint32_t oldTop = inst.topRow;
    const std::uint32_t oldLeft = inst.leftCol;
    inst.clientWidth = width;
    inst.clientHeight = height;
    bool refit = false;
    if ((inst.style & HVS_FITTOWINDOW) != 0) {
        inst.bytesPerRow = HexViewFitBytesPerRow(inst);
        HexViewComputeLayout(inst);
        refit = inst.bytesPerRow != inst.lastFitBytesPerRow;
        inst.lastFitBytesPerRow = inst.bytesPerRow;
    }
    HexViewUpdateScrollBars(inst);
    if (!refit && !HexViewResizeMovedView(inst, oldTop, oldLeft)) return;
    if (refit) {
        HexViewCaretCellFromPos(inst);
    } else {
        HexViewCaretCellKeepingEndOfRow(inst);
    }
    HexViewInvalidateAll(inst);
    UpdateWindow(inst.hwnd);
    HexViewPlaceCaret(inst);
}
