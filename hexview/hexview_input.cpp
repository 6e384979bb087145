#include "hexview/hexview_input.h"

#include <algorithm>

#include "hexview/hexview_layout.h"

namespace {

constexpr HexDigitRules kHexRules{2, 16, {15, 15}};
constexpr HexDigitRules kDecimalRules{3, 10, {2, 5, 5}};
constexpr HexDigitRules kOctalRules{3, 8, {3, 7, 7}};
constexpr HexDigitRules kBinaryRules{8, 2, {1, 1, 1, 1, 1, 1, 1, 1}};

int DigitOf(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

bool HexViewTypesCharacter(unsigned character) {
    return character == '\r' || (character >= 0x20 && character != 0x7F);
}

const HexDigitRules* HexViewDigitRules(std::uint32_t style) {
    switch (style & HVS_FORMATMASK) {
        case HVS_FORMAT_HEX: return &kHexRules;
        case HVS_FORMAT_DECIMAL: return &kDecimalRules;
        case HVS_FORMAT_OCTAL: return &kOctalRules;
        case HVS_FORMAT_BINARY: return &kBinaryRules;
        default: return nullptr;
    }
}

int HexViewDigitValue(const HexDigitRules& rules, char c, std::uint32_t index) {
    if (index >= rules.digits) return -1;
    int d = DigitOf(c);
    if (d < 0 || d >= static_cast<int>(rules.radix) || d > rules.largest[index]) return -1;
    return d;
}

std::uint32_t HexViewDigitPlace(const HexDigitRules& rules, std::uint32_t index) {
    std::uint32_t place = 1;
    for (std::uint32_t i = index + 1; i < rules.digits; ++i) place *= rules.radix;
    return place;
}

std::uint8_t HexViewFirstDigit(std::uint8_t old, std::uint32_t d, std::uint32_t place) {
    std::uint32_t value = d * place + old % place;
    if (value > 255) value = d * place;
    return static_cast<std::uint8_t>(value);
}

std::uint8_t HexViewReplaceDigit(std::uint8_t old, std::uint32_t d, std::uint32_t place,
                                 std::uint32_t radix) {
    std::uint32_t value = old + d * place - (old / place) % radix * place;
    if (value >= 256) value -= old % place;
    return static_cast<std::uint8_t>(value);
}

void HexViewCaretCellPreferEndOfRow(HexViewModel& m) {
    HexViewCaretCellFromPos(m);
    if (m.caretCol == 0 && m.caretPos != 0) {
        m.caretCol = m.bytesPerRow;
        m.caretRow -= 1;
    }
}

void HexViewMoveCaretByKey(HexViewModel& m, HexCaretKey key) {
    const std::uint32_t r = m.bytesPerRow;
    const std::uint32_t old = m.caretPos;
    const bool endOfRow = HexViewEndOfRowForm(m);
    std::uint64_t pos = m.caretPos;
    switch (key) {
        case HexCaretKey::kLeft:
            if (pos > 0) --pos;
            break;
        case HexCaretKey::kRight: ++pos; break;
        case HexCaretKey::kUp:
            if (pos > r || (pos == r && !endOfRow)) pos -= r;
            break;
        case HexCaretKey::kDown: {
            const std::uint64_t next = pos + r;
            const std::uint32_t lastColumns = m.docSize % r;
            if (next < m.docSize) {
                pos = next;
            } else if (endOfRow || (lastColumns > 0 && m.caretCol >= lastColumns)) {
                pos = m.docSize;  // the short last row ends left of the caret's column
            }
            break;
        }
        case HexCaretKey::kHome:
            if (endOfRow && pos > 0) --pos;
            pos -= pos % r;
            break;
        case HexCaretKey::kEnd:
            if (endOfRow && pos > 0) --pos;
            pos = pos - pos % r + r - 1;
            break;
    }
    m.caretPos = static_cast<std::uint32_t>(std::min<std::uint64_t>(pos, m.docSize));

    const bool vertical = key == HexCaretKey::kUp || key == HexCaretKey::kDown;
    if (vertical && endOfRow && m.caretPos % r == 0) {
        // The end-of-row form is kept: the caret moves one row along the right edge.
        if (m.caretPos != old) m.caretRow += key == HexCaretKey::kUp ? -1 : 1;
        return;
    }
    HexViewCaretCellFromPos(m);
    if (key == HexCaretKey::kEnd && m.caretPos < m.docSize) {
        // After the row's last byte: the end-of-row form of the next offset.
        m.caretPos += 1;
        m.caretCol = r;
    }
}

void HexViewPageCaret(HexViewModel& m, bool down) {
    const std::uint64_t step = std::uint64_t{m.bytesPerRow} * m.pageRows;
    if (down) {
        const std::uint64_t pos = m.caretPos + step;
        if (pos >= m.docSize) {
            m.caretPos = m.docSize;
            HexViewCaretCellPreferEndOfRow(m);
            return;
        }
        m.caretPos = static_cast<std::uint32_t>(pos);
    } else {
        m.caretPos = m.caretPos > step ? static_cast<std::uint32_t>(m.caretPos - step) : 0;
    }
    HexViewCaretCellFromPos(m);
}
