// Keyboard arithmetic of a HexView32 control: entering a byte digit by digit in the number
// pane, and where the caret keys move the caret. Portable.
#pragma once

#include <cstdint>

#include "hexview/hexview_model.h"

// Digit entry of one number format: digits per byte, radix and the largest digit accepted at
// each position (0 is the most significant), which keeps a typed byte at or below 255.
struct HexDigitRules {
    std::uint32_t digits;
    std::uint32_t radix;
    std::uint8_t largest[8];
};

// The rules of the style's number format; null for a format field that names no format.
const HexDigitRules* HexViewDigitRules(std::uint32_t style);

// The value of character c as the digit at position index, or -1 when the format does not
// accept it there.
int HexViewDigitValue(const HexDigitRules& rules, char c, std::uint32_t index);

// The value of one unit of the digit at position index (radix ^ (digits - 1 - index)).
std::uint32_t HexViewDigitPlace(const HexDigitRules& rules, std::uint32_t index);

// The first digit d of a byte typed over old: d at its place, the lower digits kept unless
// the byte would pass 255, then they are dropped.
std::uint8_t HexViewFirstDigit(std::uint8_t old, std::uint32_t d, std::uint32_t place);

// A later digit d replacing the digit at place of old; the lower digits are dropped when the
// byte would pass 255.
std::uint8_t HexViewReplaceDigit(std::uint8_t old, std::uint32_t d, std::uint32_t place,
                                 std::uint32_t radix);

// Whether a WM_CHAR character is typed as a byte in the character pane. Control characters
// come from keys that are commands (Escape, a Control+letter whose Control came up first) and
// are not; only the carriage return of Enter is, and the control adds its line feed itself.
bool HexViewTypesCharacter(unsigned character);

// The caret keys without Control. Moves caretPos and sets caretCol and caretRow, including the
// end-of-row form (caretCol = bytesPerRow, the caret drawn after the last byte of the row
// above caretPos) that End produces and Up and Down keep. Scrolling is left to the caller.
enum class HexCaretKey { kLeft, kRight, kUp, kDown, kHome, kEnd };
void HexViewMoveCaretByKey(HexViewModel& m, HexCaretKey key);

// Whether the caret cell is in the end-of-row form.
inline bool HexViewEndOfRowForm(const HexViewModel& m) { return m.caretCol == m.bytesPerRow; }

// The caret cell for caretPos, in the end-of-row form when caretPos starts a row after
// another (used where the caret lands on docSize or after a whole row).
void HexViewCaretCellPreferEndOfRow(HexViewModel& m);

// Page Up and Page Down: caretPos moves by a page of rows, stopping at 0 or docSize, and the
// caret cell follows.
void HexViewPageCaret(HexViewModel& m, bool down);
