#include "hexview/hexview_layout.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

namespace {

// The digit pairs 00 .. FF in order, indexed by byte * 2.
constexpr std::array<char, 512> MakeDigitPairs(const char* digits) {
    std::array<char, 512> pairs{};
    for (int byte = 0; byte < 256; ++byte) {
        pairs[byte * 2] = digits[byte >> 4];
        pairs[byte * 2 + 1] = digits[byte & 15];
    }
    return pairs;
}
constexpr auto kUpperPairs = MakeDigitPairs("0123456789ABCDEF");
constexpr auto kLowerPairs = MakeDigitPairs("0123456789abcdef");

std::int32_t ClampToInt32(std::int64_t value) {
    constexpr std::int64_t kMin = std::numeric_limits<std::int32_t>::min();
    constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::clamp(value, kMin, kMax));
}

// Writes the digits of byte in the format and returns how many; nothing for an unknown format.
int WriteDigits(std::uint32_t style, std::uint8_t byte, char* out) {
    switch (style & HVS_FORMATMASK) {
        case HVS_FORMAT_HEX: {
            const auto& pairs = (style & HVS_LOWERCASE) != 0 ? kLowerPairs : kUpperPairs;
            out[0] = pairs[byte * 2];
            out[1] = pairs[byte * 2 + 1];
            return 2;
        }
        case HVS_FORMAT_DECIMAL:
            out[0] = static_cast<char>('0' + byte / 100);
            out[1] = static_cast<char>('0' + byte / 10 % 10);
            out[2] = static_cast<char>('0' + byte % 10);
            return 3;
        case HVS_FORMAT_OCTAL:
            out[0] = static_cast<char>('0' + (byte >> 6));
            out[1] = static_cast<char>('0' + ((byte >> 3) & 7));
            out[2] = static_cast<char>('0' + (byte & 7));
            return 3;
        case HVS_FORMAT_BINARY:
            for (int bit = 0; bit < 8; ++bit) out[bit] = ((byte >> (7 - bit)) & 1) != 0 ? '1' : '0';
            return 8;
        default: return 0;
    }
}

int WriteAddress(std::uint32_t style, std::uint32_t offset, char* out) {
    bool lower = (style & HVS_LOWERCASE) != 0;
    int length;
    if ((style & HVS_DECIMALOFFSET) != 0) {
        length = std::snprintf(out, 12, "%010u", static_cast<unsigned>(offset));
    } else if ((style & HVS_SEGOFFSET) != 0) {
        length = std::snprintf(out, 12, lower ? "%04x:%04x" : "%04X:%04X",
                               static_cast<unsigned>(offset >> 16),
                               static_cast<unsigned>(offset & 0xFFFF));
    } else {
        length = std::snprintf(out, 12, lower ? "%08x" : "%08X", static_cast<unsigned>(offset));
    }
    if ((style & HVS_ADDRCOLON) != 0) out[length++] = ':';
    return length;
}

// Appends a run, or lengthens the previous one when it continues it in the same colours.
void PushRun(std::vector<HexTextRun>& runs, std::uint32_t start, std::uint32_t length,
             std::uint32_t text, std::uint32_t back) {
    if (length == 0) return;
    if (!runs.empty()) {
        HexTextRun& last = runs.back();
        if (last.start + last.length == start && last.textColor == text && last.backColor == back) {
            last.length += length;
            return;
        }
    }
    runs.push_back({start, length, text, back});
}

// The colours of byte i's cell and character, whether it is selected and whether it is marked
// as edited. One more class of byte (another colour for some of them) is one more case here.
struct ByteColors {
    std::uint32_t cell;
    std::uint32_t character;
    std::uint32_t back;
};
// A differing byte keeps its text colours on a background of its own; the selection's
// background covers it.
ByteColors ColorsOfByte(const HexViewColors& c, std::uint32_t i, bool selected, bool changed,
                        bool differs) {
    const bool odd = (i & 1) != 0;
    if (selected) {
        if (changed) return {c.selChangedColor, c.selChangedColor, c.selBackColor};
        return {odd ? c.selOddDataColor : c.selEvenDataColor, c.selCharColor, c.selBackColor};
    }
    const std::uint32_t back = differs ? c.diffBackColor : c.backColor;
    if (changed) return {c.changedColor, c.changedColor, back};
    return {odd ? c.oddDataColor : c.evenDataColor, c.charColor, back};
}

}  // namespace

std::uint32_t HexViewCellWidth(std::uint32_t style, std::uint32_t current) {
    switch (style & HVS_FORMATMASK) {
        case HVS_FORMAT_HEX: return 3;
        case HVS_FORMAT_DECIMAL:
        case HVS_FORMAT_OCTAL: return 4;
        case HVS_FORMAT_BINARY: return 9;
        default: return current;
    }
}

std::uint32_t HexViewAddressWidth(std::uint32_t style) {
    if ((style & HVS_NOADDRESS) != 0) return 0;
    std::uint32_t width = 8;
    if ((style & HVS_DECIMALOFFSET) != 0) {
        width = 10;
    } else if ((style & HVS_SEGOFFSET) != 0) {
        width = 9;
    }
    return width + ((style & HVS_ADDRCOLON) != 0 ? 1 : 0);
}

void HexViewComputeLayout(HexViewModel& m) {
    m.dataColumn = m.addressWidth + m.addressGap;
    m.charColumn = m.dataColumn + m.cellWidth * m.bytesPerRow + m.charGap - 1;
    m.lineWidth = m.charColumn + m.bytesPerRow;
    m.rowCount = HexViewRowsFor(m, m.docSize);
}

std::uint32_t HexViewRowsFor(const HexViewModel& m, std::uint32_t size) {
    return size / m.bytesPerRow + (size % m.bytesPerRow != 0 ? 1 : 0);
}

char HexViewDisplayChar(const HexViewModel& m, std::uint8_t byte) {
    if (byte >= 0x80 && (m.style & HVS_SHOWHIGHCHARS) == 0) return m.substituteChar;
    if (byte < 0x20 && (m.style & HVS_SHOWCONTROLCHARS) == 0) return m.substituteChar;
    return static_cast<char>(byte);
}

char* HexViewFormatLine(const HexViewModel& m, char* text, const std::uint8_t* bytes,
                        std::uint32_t count, std::uint32_t offset) {
    char* out = text;
    if ((m.style & HVS_NOADDRESS) == 0) out += WriteAddress(m.style, offset, out);
    out = std::fill_n(out, m.addressGap, ' ');

    char* numbers = out;
    for (std::uint32_t i = 0; i < count; ++i) {
        out += WriteDigits(m.style, bytes[i], out);
        *out++ = ' ';
    }
    if (out != numbers) --out;  // the last cell has no separator
    out = std::fill_n(out, m.cellWidth * (m.bytesPerRow - count), ' ');
    out = std::fill_n(out, m.charGap, ' ');

    for (std::uint32_t i = 0; i < count; ++i) *out++ = HexViewDisplayChar(m, bytes[i]);
    out = std::fill_n(out, m.bytesPerRow - count, ' ');
    *out = '\0';
    return text;
}

int HexViewFormatByte(std::uint32_t style, std::uint8_t byte, char* out) {
    int length = WriteDigits(style, byte, out);
    out[length] = '\0';
    return length;
}

void HexViewMarkDifferences(const HexDiffList& list, std::uint32_t rowStart, std::uint32_t count,
                            std::uint8_t* marks) {
    const std::uint64_t rowEnd = std::uint64_t{rowStart} + count;
    for (std::size_t i = list.FirstEndingAfter(rowStart); i < list.ListedCount(); ++i) {
        const HexDiffRange range = list.Range(i);
        if (range.start >= rowEnd) break;
        const std::uint32_t from = std::max(range.start, rowStart) - rowStart;
        const auto to =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(range.end, rowEnd) - rowStart);
        for (std::uint32_t k = from; k < to; ++k) marks[k] |= kHexMarkDiffers;
    }
}

void HexViewRowRuns(const HexViewModel& m, std::uint32_t rowStart, std::uint32_t count,
                    const std::uint8_t* marks, std::vector<HexTextRun>& runs) {
    const HexViewColors& c = m.colors;
    const std::uint32_t r = m.bytesPerRow;
    const std::uint32_t selMin = SelectionMin(m);
    const std::uint32_t selMax = SelectionMax(m);

    std::uint32_t markedCount = 0;
    for (std::uint32_t i = 0; i < count; ++i) markedCount += (marks[i] & kHexMarkEdited) != 0;
    const bool marking = (m.style & HVS_MARKCHANGES) != 0 && markedCount > 0;
    const bool allMarked = marking && markedCount == r;

    auto selectedAt = [&](std::uint32_t i) {
        const std::uint64_t offset = std::uint64_t{rowStart} + i;
        return selMin <= offset && offset < selMax;
    };
    // A selected byte of a row whose bytes are all edited shows as edited; an unselected one
    // only by its own mark.
    auto colorsAt = [&](std::uint32_t i) {
        const bool selected = selectedAt(i);
        const std::uint8_t mark = i < count ? marks[i] : 0;
        const bool edited = marking && (mark & kHexMarkEdited) != 0;
        return ColorsOfByte(c, i, selected, edited || (selected && allMarked),
                            (mark & kHexMarkDiffers) != 0);
    };

    runs.clear();
    PushRun(runs, 0, m.dataColumn, c.addressColor, c.backColor);
    ByteColors colors = colorsAt(0);
    for (std::uint32_t i = 0; i < r; ++i) {
        const std::uint32_t start = m.dataColumn + i * m.cellWidth;
        PushRun(runs, start, m.cellWidth - 1, colors.cell, colors.back);
        if (i == r - 1) break;  // the last cell has no separator
        const ByteColors next = colorsAt(i + 1);
        const std::uint32_t between = next.back == colors.back ? colors.back : c.backColor;
        PushRun(runs, start + m.cellWidth - 1, 1, colors.cell, between);
        colors = next;
    }
    PushRun(runs, m.charColumn - m.charGap, m.charGap, c.charColor, c.backColor);
    for (std::uint32_t i = 0; i < r; ++i) {
        const ByteColors colors = colorsAt(i);
        PushRun(runs, m.charColumn + i, 1, colors.character, colors.back);
    }
}

void HexViewRowPaint(const HexViewModel& m, const char* text, const std::vector<HexTextRun>& runs,
                     HexRowPaint& paint) {
    paint.backs.clear();
    paint.passes.clear();
    for (const HexTextRun& run : runs) {
        if (run.backColor != m.colors.backColor) {
            HexTextRun* last = paint.backs.empty() ? nullptr : &paint.backs.back();
            if (last != nullptr && last->backColor == run.backColor &&
                last->start + last->length == run.start) {
                last->length += run.length;
            } else {
                paint.backs.push_back(run);
            }
        }
    }
    // Each pass's size first, then its characters in place.
    auto passFor = [&](std::uint32_t color) {
        std::size_t p = 0;
        while (p < paint.passes.size() && paint.passes[p].color != color) ++p;
        if (p == paint.passes.size()) paint.passes.push_back({color, 0, 0});
        return &paint.passes[p];
    };
    for (const HexTextRun& run : runs) {
        for (std::uint32_t k = 0; k < run.length; ++k) {
            if (text[run.start + k] != ' ') ++passFor(run.textColor)->count;
        }
    }
    std::uint32_t total = 0;
    for (HexTextPass& pass : paint.passes) {
        pass.first = total;
        total += pass.count;
        pass.count = 0;
    }
    paint.chars.resize(total);
    paint.columns.resize(total);
    paint.steps.resize(total);
    for (const HexTextRun& run : runs) {
        for (std::uint32_t column = run.start; column < run.start + run.length; ++column) {
            if (text[column] == ' ') continue;
            HexTextPass& pass = *passFor(run.textColor);
            const std::uint32_t at = pass.first + pass.count++;
            paint.chars[at] = text[column];
            paint.columns[at] = column;
            paint.steps[at] = 1;
            if (pass.count > 1) paint.steps[at - 1] = column - paint.columns[at - 1];
        }
    }
}

std::uint32_t HexViewHitColumn(const HexViewModel& m, std::int32_t x) {
    const std::int64_t w = m.charWidth;
    const std::int64_t q = m.charGap * w / 4;
    const std::int64_t a = x + std::int64_t{m.leftCol} * w;
    if (a < std::int64_t{m.dataColumn} * w) return 0;
    if (a < std::int64_t{m.charColumn} * w - q) {
        std::int64_t column = ((a + w * 14 / 16) / w - m.dataColumn) / m.cellWidth;
        return static_cast<std::uint32_t>(std::min<std::int64_t>(column, m.bytesPerRow));
    }
    if (a >= std::int64_t{m.charColumn + m.bytesPerRow} * w) return m.bytesPerRow;
    std::int64_t column = (a + w * 7 / 16) / w - m.charColumn;
    return static_cast<std::uint32_t>(std::clamp<std::int64_t>(column, 0, m.bytesPerRow));
}

bool HexViewTextPaneAt(const HexViewModel& m, std::int32_t x) {
    const std::int64_t w = m.charWidth;
    return x >= (std::int64_t{m.charColumn} - m.leftCol) * w - m.charGap * w / 4;
}

std::uint64_t HexViewOffsetAt(const HexViewModel& m, std::int32_t x, std::int32_t y) {
    std::int64_t row = std::int64_t{m.topRow} + y / m.lineHeight;
    if (row >= std::int64_t{m.rowCount}) row = std::int64_t{m.rowCount} - 1;
    if (row < 0) row = 0;
    return static_cast<std::uint64_t>(row) * m.bytesPerRow + HexViewHitColumn(m, x);
}

void HexViewCaretCellFromPos(HexViewModel& m) {
    m.caretCol = m.caretPos % m.bytesPerRow;
    m.caretRow = ClampToInt32(std::int64_t{m.caretPos / m.bytesPerRow} - m.topRow);
}

void HexViewCaretCellKeepingEndOfRow(HexViewModel& m) {
    if (m.caretCol == m.bytesPerRow && m.caretPos != 0 && m.caretPos % m.bytesPerRow == 0) {
        m.caretRow = ClampToInt32(std::int64_t{m.caretPos / m.bytesPerRow} - m.topRow - 1);
    } else {
        HexViewCaretCellFromPos(m);
    }
}

HexPoint HexViewCaretPoint(HexViewModel& m) {
    if (m.docSize == 0) {
        m.caretCol = 0;
        m.caretRow = 0;
    } else if (m.caretPos == m.docSize && m.docSize % m.bytesPerRow == 0) {
        m.caretCol = m.bytesPerRow;
        m.caretRow = ClampToInt32(std::int64_t{m.caretPos / m.bytesPerRow} - m.topRow - 1);
    }
    const std::int64_t w = m.charWidth;
    const std::int64_t y = std::int64_t{m.caretRow} * m.lineHeight;
    const std::int64_t s = std::int64_t{m.leftCol} * w;
    std::int64_t x;
    if (m.inTextPane != 0) {
        x = (std::int64_t{m.charColumn} + m.caretCol) * w - s;
    } else if (m.selAnchor < m.selEnd && m.dragOutActive == 0 && m.dropActive == 0) {
        // A forward selection: the caret stands in the separator after the last selected byte.
        x = (std::int64_t{m.caretCol} * m.cellWidth + m.dataColumn) * w - s;
        if (m.caretCol != 0) x -= w;
    } else if (m.caretCol == m.bytesPerRow) {
        x = (std::int64_t{m.bytesPerRow} * m.cellWidth + m.dataColumn - 1) * w - s;
    } else {
        x = (std::int64_t{m.caretCol} * m.cellWidth + m.dataColumn + m.digitIndex) * w - s;
    }
    return {ClampToInt32(x), ClampToInt32(y)};
}

void HexViewRangeRects(const HexViewModel& m, std::uint32_t from, std::uint32_t to,
                       std::vector<HexRect>& rects) {
    const std::uint64_t r = m.bytesPerRow;
    std::uint64_t low = std::min(from, to);
    std::uint64_t high = std::max(from, to);
    low = std::max<std::uint64_t>(low, m.topRow * r);
    high = std::min<std::uint64_t>(high, (std::uint64_t{m.topRow} + m.pageRows + 1) * r);
    const std::int64_t w = m.charWidth;
    while (low < high) {
        const std::uint64_t row = low / r;
        const std::uint64_t col = low % r;
        const std::uint64_t k = std::min(r - col, high - low);
        const std::int64_t top = static_cast<std::int64_t>(row - m.topRow) * m.lineHeight;
        const std::int64_t numbersLeft =
            static_cast<std::int64_t>(col * m.cellWidth + m.dataColumn) - m.leftCol - 1;
        const std::int64_t numbersRight =
            static_cast<std::int64_t>((col + k) * m.cellWidth + m.dataColumn) - m.leftCol + 1;
        const std::int64_t charsLeft =
            static_cast<std::int64_t>(m.charColumn + col) - m.leftCol;
        rects.push_back({ClampToInt32(numbersLeft * w), ClampToInt32(top),
                         ClampToInt32(numbersRight * w), ClampToInt32(top + m.lineHeight)});
        rects.push_back({ClampToInt32(charsLeft * w), ClampToInt32(top),
                         ClampToInt32((charsLeft + static_cast<std::int64_t>(k)) * w),
                         ClampToInt32(top + m.lineHeight)});
        low += k;
    }
}

std::uint32_t HexViewFitBytesPerRow(const HexViewModel& m) {
    std::int64_t columns = m.clientWidth / m.charWidth;
    std::int64_t fit = (columns - m.charGap - m.addressGap - m.addressWidth) /
                       (std::int64_t{m.cellWidth} + 1);
    return fit < 1 ? 1 : static_cast<std::uint32_t>(fit);
}

std::int32_t HexViewColumnX(const HexViewModel& m, std::uint32_t column) {
    return ClampToInt32((std::int64_t{column} - m.leftCol) * m.charWidth);
}
