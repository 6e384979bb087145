// The decisions of HexView32's clipboard and drag and drop that need no window: which drop
// effect a hover or a drop gets, where a drop lands, how many bytes of a pasted or dropped block
// to take, whether closing a document asks about the clipboard, and the name of an exported
// selection. Portable; hexview_transfer_win.cpp and hexview_drop_win.cpp act on them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "hexview/hexview_model.h"

// Drop effects, numbered as the platform numbers them.
constexpr std::uint32_t kHexDropNone = 0;
constexpr std::uint32_t kHexDropCopy = 1;
constexpr std::uint32_t kHexDropMove = 2;

// What a drag offers the control.
struct HexDropOffer {
    bool text = false;      // CF_TEXT as a global block
    bool fileName = false;  // "FileName": a dropped file, which is read, never taken away
};

// The effect of a hover or drop from the effects the source allows: none without text or file
// name; copy with the Control key held (when allowed); otherwise move when allowed, else copy.
// A file is only ever copied, so that a source never deletes the file whose bytes were taken.
std::uint32_t HexViewDropEffect(const HexDropOffer& offer, bool controlKey, std::uint32_t allowed);

// Puts the caret (caretPos, caretCol, caretRow) under client point (x, y) while a drag hovers:
// on the byte cell under the pointer (after a row's last byte at its right end), or at the end
// of the document past its last byte. A pointer above the first row counts as the first row.
void HexViewDropCaret(HexViewModel& m, std::int32_t x, std::int32_t y);

// Bytes to take from a block of blockSize bytes that arrived as text: the count the source
// announced (0 when none), never more than the block holds; without a count, the bytes before
// the first zero, or the whole block when it has none.
std::uint32_t HexViewTextCount(std::uint32_t announced, const std::uint8_t* block,
                               std::size_t blockSize);

// Closing a document asks whether to keep clipboard data of this many bytes or more.
constexpr std::uint32_t kHexFlushQuestionBytes = 65536;

// The question: "There is %u Kb of data currently in the Clipboard.\nWould you like to leave
// this data for other applications?" with the count in whole KiB, rounded down.
std::string HexViewFlushQuestion(std::uint32_t byteCount);

// The file name part under which a selection of a document without a file is exported.
constexpr char kHexUnnamedExport[] = "HexData.bin";
