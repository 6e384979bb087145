// HexView32 painting: the font, rows drawn from the colour passes the core computes, the one-cell
// repaint after a keystroke, invalidation of byte ranges, and the layout half of WM_SIZE.
// Nothing is erased on its own: every row fills its whole width, right edge included, and the
// area below the rows is filled, so repainting does not flicker. A row costs one call per text
// colour (its first one also fills the background) and one per other background, whatever the
// number of bytes: text output, not the bytes, is what takes the time.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

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
    if (inst.rowAdvances.size() < inst.lineWidth) inst.rowAdvances.resize(inst.lineWidth);
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

// Draws the characters of one pass in one call, each at its own column whatever the font's own
// widths; with a rectangle, that is filled with the background colour first.
void DrawPass(HexViewInstance& inst, HDC dc, int y, const HexTextPass& pass, const RECT* fill) {
    const HexRowPaint& paint = inst.rowPaint;
    INT* advances = inst.rowAdvances.data();
    for (std::uint32_t k = 0; k < pass.count; ++k) {
        advances[k] = static_cast<INT>(paint.steps[pass.first + k]) * inst.charWidth;
    }
    SetTextColor(dc, HexViewResolveColor(pass.color));
    ExtTextOutA(dc, HexViewColumnX(inst, paint.columns[pass.first]), y, fill ? ETO_OPAQUE : 0,
                fill, paint.chars.data() + pass.first, pass.count, advances);
}

// One row and the area right of it, up to the client's right edge.
void PaintLine(HexViewInstance& inst, HDC dc, std::uint64_t row, LONG right) {
    const std::uint64_t rowStart = row * inst.bytesPerRow;
    if (rowStart >= inst.docSize) return;
    const std::uint32_t start = static_cast<std::uint32_t>(rowStart);
    const std::uint32_t count = std::min(inst.bytesPerRow, inst.docSize - start);
    EnsureRowBuffers(inst);
    if (HexDocRead(inst.document, inst.rowBytes.data(), start, count, inst.rowMarks.data()) ==
        nullptr) {
        std::memset(inst.rowBytes.data(), 0, count);
        std::memset(inst.rowMarks.data(), 0, count);
        inst.paintUnreadable = true;
    }
    if (const HexDiffList* differences = HexViewShownDifferences(inst)) {
        HexViewMarkDifferences(*differences, start, count, inst.rowMarks.data());
    }
    HexViewFormatLine(inst, inst.rowText.data(), inst.rowBytes.data(), count, start);
    HexViewRowRuns(inst, start, count, inst.rowMarks.data(), inst.runs);
    HexRowPaint& paint = inst.rowPaint;
    HexViewRowPaint(inst, inst.rowText.data(), inst.runs, paint);

    const int y = RowY(inst, row);
    const RECT whole{HexViewColumnX(inst, 0), y, right, y + inst.lineHeight};
    std::size_t next = 0;
    if (paint.backs.empty() && !paint.passes.empty()) {
        SetBkColor(dc, HexViewResolveColor(inst.colors.backColor));
        DrawPass(inst, dc, y, paint.passes[next++], &whole);
    } else {
        Fill(dc, whole, inst.colors.backColor);
        for (const HexTextRun& back : paint.backs) {
            const int x = HexViewColumnX(inst, back.start);
            Fill(dc, RECT{x, y, x + static_cast<int>(back.length) * inst.charWidth,
                          y + inst.lineHeight},
                 back.backColor);
        }
    }
    for (; next < paint.passes.size(); ++next) DrawPass(inst, dc, y, paint.passes[next], nullptr);
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
    // Text goes over backgrounds the rows fill first.
    const int oldMode = SetBkMode(dc, TRANSPARENT);

    const std::uint64_t first = std::uint64_t{inst.topRow} + area.top / inst.lineHeight;
    const std::uint64_t last = std::uint64_t{inst.topRow} +
                               (area.bottom + inst.lineHeight - 1) / inst.lineHeight;
    const std::uint64_t end = std::min<std::uint64_t>(inst.rowCount, last);
    inst.paintUnreadable = false;
    for (std::uint64_t row = first; row < end; ++row) PaintLine(inst, dc, row, client.right);
    const int below = RowY(inst, inst.rowCount);
    Fill(dc, RECT{area.left, std::max<LONG>(below, area.top), area.right, area.bottom},
         inst.colors.backColor);
    SetBkMode(dc, oldMode);
    // Part of a file that shrank or went away under the document: the parent hears it once per
    // document, after the paint, so that it may show a message.
    if (inst.paintUnreadable && !inst.unreadableTold) {
        inst.unreadableTold = true;
        PostMessageA(inst.hwnd, kUnreadableMessage, 0, 0);
    }
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
        const int y = inst.caretRow * inst.lineHeight;
        SetBkColor(dc, HexViewResolveColor(inst.colors.backColor));
        INT advances[9];
        std::fill(std::begin(advances), std::end(advances), inst.charWidth);
        // Opaque over the cell, as wide as the text.
        auto draw = [&](std::uint32_t column, const char* text, UINT length) {
            const int x = HexViewColumnX(inst, column);
            const RECT cell{x, y, x + static_cast<int>(length) * inst.charWidth,
                            y + inst.lineHeight};
            ExtTextOutA(dc, x, y, ETO_OPAQUE, &cell, text, length, advances);
        };

        char digits[9];
        const UINT length = static_cast<UINT>(HexViewFormatByte(inst.style, byte, digits));
        const HexViewColors& c = inst.colors;
        std::uint32_t color = marks ? c.changedColor
                                    : (inst.caretCol & 1) != 0 ? c.oddDataColor : c.evenDataColor;
        SetTextColor(dc, HexViewResolveColor(color));
        draw(inst.cellWidth * inst.caretCol + inst.dataColumn, digits, length);

        const char shown = HexViewDisplayChar(inst, byte);
        SetTextColor(dc, HexViewResolveColor(marks ? c.changedColor : c.charColor));
        draw(inst.charColumn + inst.caretCol, &shown, 1);
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
