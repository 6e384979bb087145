// Find in a hex document: what the user typed in the Find box turned into a byte pattern, and a
// search that runs in bounded slices, so that the control can run it from its message loop,
// show progress between slices and cancel it by simply not calling it again.
//
// Threading and ownership: the control's thread only, like the document. A HexSearch borrows
// the document (which must outlive it) and copies the pattern. Nothing may edit, undo, close or
// reopen the document while a HexSearch lives; the search notices it through the document's
// changeCount and then answers kHexScanChanged from every Step, without touching the document
// again. Between slices it holds only positions, never piece or byte addresses.
//
// How it reads: in place, span by span (HexDocSpanAfter / HexDocSpanBefore), never copying the
// document; the last pattern length - 1 bytes of each span are carried over, so a match that
// straddles a piece or a file window edge is found. Candidates are found 16 bytes at a time by
// comparing two of the pattern's least common fixed bytes (SSE2 where the processor has it),
// then checked whole.
//
// How the control runs it:
//   HexSearch search(doc, pattern, caret, backward);  // Find Next after a match at M: from M + 1
//   while (search.Step(8 << 20) == kHexScanMore) { show Done() of Total(); let messages in; on
//       Escape, destroy the search }
//   kHexScanFound: select MatchOffset() .. + MatchLength(), caret at MatchOffset(); Wrapped()
//   asks for the status-bar note.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "document/hex_document_spans.h"

// The longest pattern, in bytes: far beyond what anyone types, small enough that the bytes
// carried over between spans stay cheap.
constexpr std::size_t kHexPatternMaxBytes = 4096;

enum HexPatternError : std::uint32_t {
    kHexPatternOk = 0,
    kHexPatternEmpty = 1,           // nothing to search for (or to fill with)
    kHexPatternBadCharacter = 2,    // hex: not a hex digit, '?' or white space
    kHexPatternOddDigits = 3,       // hex: a group of digits between spaces is not whole pairs
    kHexPatternHalfWildcard = 4,    // hex: a '?' that is not half of "??"
    kHexPatternOnlyWildcards = 5,   // hex: every byte is "??", which would match anywhere
    kHexPatternTooLong = 6,         // more than kHexPatternMaxBytes bytes
    kHexPatternWildcardInFill = 7,  // fill: "??" names no byte to write
};

// A byte pattern: a byte b matches position i when (b & masks[i]) == values[i].
struct HexPattern {
    std::vector<std::uint8_t> values;  // masked bits are clear
    std::vector<std::uint8_t> masks;   // 0xFF this byte; 0xDF an ASCII letter in either case; 0 any
};

// Hex mode: pairs of hex digits (either case), "??" for any byte; spaces, tabs and line breaks
// may stand between pairs, not inside one ("41 42", "4142" and "41??43" are fine; "4 1" is not).
// On failure *errorAt (when given) receives the index of the offending character in text (the
// start of the group for kHexPatternOddDigits, the first character past the limit for
// kHexPatternTooLong, 0 for empty or only wildcards), and *pattern is left empty.
HexPatternError HexParseHexPattern(std::string_view text, HexPattern* pattern,
                                   std::size_t* errorAt = nullptr);

// Text mode: the bytes of the text as they are (the ANSI code page's bytes). With ignoreCase,
// ASCII letters match either case; bytes from 0x80 on always match exactly, because which of
// them are letters, and their other case, depends on a code page the document does not have.
HexPatternError HexParseTextPattern(std::string_view text, bool ignoreCase, HexPattern* pattern);

// A sentence naming the error for a message box, e.g. "The hex digits must come in pairs.".
const char* HexPatternErrorText(HexPatternError error);

// The pattern as a search compares it: candidates are the positions where two of its least
// common fixed bytes (the same one twice when it has only one) are in place.
struct HexMatcher {
    HexPattern pattern;
    std::uint32_t anchorOffset[2];
    std::uint8_t anchorValue[2];
    std::uint8_t anchorMask[2];
};

class HexSearch {
  public:
    // Searches doc for pattern. Forward: the first match that starts at or after `from`; if
    // there is none, the first one before it (the search wrapped at the end). Backward: the last
    // match that starts before `from`; if there is none, the last one at or after it (wrapped at
    // the start; so backward from 0 searches from the end). Each byte position is tried once.
    // from may be 0 to the document's length. Nothing is read until Step.
    HexSearch(HexDocument& doc, const HexPattern& pattern, std::uint32_t from, bool backward);

    // Reads at most budget more bytes (a budget of 0 counts as 1; 4 to 16 MiB keep a slice to a
    // few milliseconds). kHexScanMore: call again. kHexScanFound
    // (MatchOffset), kHexScanNotFound, kHexScanChanged, kHexScanUnreadable and
    // kHexScanBadArgument (empty pattern or only wildcards, from past the length) are final: every
    // later call returns the same.
    HexScanStatus Step(std::uint32_t budget);

    std::uint32_t MatchOffset() const { return match_; }  // after kHexScanFound
    std::uint32_t MatchLength() const {
        return static_cast<std::uint32_t>(matcher_.pattern.values.size());
    }
    // Whether the search has passed the document's end (forward) or start (backward) and gone
    // on from the other side; with kHexScanFound, the match lies on the far side of `from`.
    bool Wrapped() const { return wrapped_; }

    // Progress: bytes read so far, and bytes the whole search reads when it finds nothing.
    std::uint64_t Done() const { return done_; }
    std::uint64_t Total() const { return total_; }

  private:
    struct Pass {
        std::uint32_t first;  // start positions first .. end - 1 are tried
        std::uint32_t end;
    };

    bool NextPass();
    bool TryStarts(const std::uint8_t* data, std::size_t starts, std::uint32_t at);
    bool ScanForward(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t at);
    bool ScanBackward(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t at);

    HexDocument& doc_;  // borrowed
    HexMatcher matcher_;
    bool backward_;
    std::uint32_t changeCount_;    // the document's, when the search began
    Pass passes_[2];               // before and after wrapping; empty ones are skipped
    int pass_ = -1;                // the pass being read
    std::uint32_t cursor_ = 0;     // forward: next byte to read; backward: end of the next span
    std::uint32_t byteFirst_ = 0;  // the bytes the current pass reads
    std::uint32_t byteEnd_ = 0;
    // Up to pattern length - 1 bytes read just beside the cursor, which starts still to be tried
    // reach into: the last ones read (forward), or the first ones (backward).
    std::vector<std::uint8_t> carry_;
    std::uint32_t carryLength_ = 0;
    std::vector<std::uint8_t> joined_;  // carried bytes and the next span's edge, side by side
    HexScanStatus status_ = kHexScanMore;
    std::uint32_t match_ = 0;
    bool wrapped_ = false;
    std::uint64_t done_ = 0;
    std::uint64_t total_ = 0;
};
