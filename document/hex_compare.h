// Comparing two byte sequences position by position (a document with a file opened as a second
// document, a chip's bytes with the image meant for it, two image files) in bounded slices like
// Find, and the differences found: merged runs of differing positions, counted, listed in order
// and looked up from a position.
//
// Threading and ownership: one thread at a time; a document side ties a compare to the
// document's thread (the control's). A HexCompareSide borrows what it names and a HexCompare
// borrows both sides' data, which must outlive it. Nothing may edit, undo, close or reopen a side's document while a
// HexCompare lives; it notices through the document's changeCount and then answers
// kHexScanChanged from every Step without touching the documents again. Between slices it
// holds only positions. A HexDiffList owns its ranges and refers to nothing.
//
// How it reads: in place, span by span (HexDocSpanAfter), never copying a document; 16 bytes at
// a time with SSE2 where the processor has it, else 8-byte words. Images and fills are produced
// 64 KiB at a time into buffers of the run.
//
// How the editor runs it (as HexSearch):
//   HexCompare compare(HexCompareSide::Document(doc), HexCompareSide::Document(otherDoc));
//   while (compare.Step(8 << 20) == kHexScanMore) { show Done() of Total(); let messages in;
//       on Escape destroy it }
//   kHexScanDone: keep compare.TakeDifferences() and doc.changeCount; drop the list (and its
//   marks) when the changeCount moves. The other document may be closed then.
//   Painting: from FirstEndingAfter(first visible byte), ranges while they start before the
//   last visible byte. F6: Next(selection ? selection start + 1 : caret); Shift+F6:
//   Previous(selection start or caret); select the range and say so when wrapped.
// A verify that has read the chip: run it on two blocks to the end in one Step(kHexNoLimit).
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

#include "document/hex_document_spans.h"
#include "formats/sparse_image.h"

// Differing ranges listed at most: 32 MiB of list, every 1 KiB of a 4 GiB pair. Past it ranges
// are counted but not listed; a compare of realistic files never gets there.
constexpr std::size_t kHexDiffMaxListed = std::size_t{1} << 22;

// Positions start to end - 1, all differing; end is never below start + 1.
struct HexDiffRange {
    std::uint32_t start;
    std::uint32_t end;
    std::uint32_t length() const { return end - start; }
    bool operator==(const HexDiffRange&) const = default;
};

// One side of a comparison; its positions are 0 to Length() - 1, and it gives all of them or,
// when it is addressed, only some: a compare reads only the positions both sides give. Borrows
// what it names.
class HexCompareSide {
  public:
    // The document's data (hex_document_image.h): the positions an Intel HEX or S-record file
    // gave it and the bytes edited since, or all of it.
    static HexCompareSide Document(HexDocument& doc);
    static HexCompareSide Block(const std::uint8_t* bytes, std::uint32_t length);
    // The image's addresses 0 to length - 1, what it does not hold as fill (so a HEX file
    // compares as it loads into a buffer of fill).
    static HexCompareSide Image(const SparseImage& image, std::uint32_t length, std::uint8_t fill);
    // Only the addresses the image gives (a HEX or S-record file compared as what it says, not as
    // a buffer it would fill): up to its last data byte, and it has no end of its own, so that a
    // shorter side's end is no difference from it.
    static HexCompareSide Given(const SparseImage& image);
    // length bytes of value: a blank chip is FF throughout.
    static HexCompareSide Filled(std::uint8_t value, std::uint32_t length);

    std::uint32_t Length() const { return length_; }
    HexDocument* DocumentTemp() const { return doc_; }  // null for the other kinds

    // Copies up to count bytes from position into out: the number copied (fewer at the end),
    // 0 when position is past the end or a document's file window cannot be read.
    std::uint32_t Copy(std::uint32_t position, std::uint8_t* out, std::uint32_t count) const;

  private:
    friend class HexCompare;
    enum class Kind : std::uint8_t { kDocument, kBlock, kImage, kGiven, kFilled };
    HexCompareSide(Kind kind, std::uint32_t length) : kind_(kind), length_(length) {}

    Kind kind_;
    std::uint32_t length_;
    HexDocument* doc_ = nullptr;           // kDocument
    const std::uint8_t* bytes_ = nullptr;  // kBlock
    const SparseImage* image_ = nullptr;   // kImage, kGiven
    std::uint8_t fill_ = 0;                // kImage, kGiven, kFilled
};

// What a compare found, counted as a user is told it: the byte differences apart from the longer
// side's extra bytes.
struct HexDiffCounts {
    std::uint64_t bytes = 0;     // differing bytes among those compared, and their ranges
    std::uint64_t ranges = 0;
    std::uint64_t compared = 0;  // positions compared
    std::uint64_t extra = 0;     // the longer side's extra bytes; 0 when neither is longer
    bool firstLonger = false;    // they are side a's (the document's, in the editor)
    bool addressed = false;      // a side gave only some positions: the others were skipped
};

// What a compare found. The positions both sides have and give are compared byte by byte; where
// one side is longer than another that ends (any side but a Given one), the positions it gives
// from the shorter side's length on are its extra bytes: one more range, the last, even when it
// touches a range before it, and listed even past the limit.
class HexDiffList {
  public:
    std::uint64_t ByteCount() const { return bytes_; }    // differing positions, extra included
    std::uint64_t RangeCount() const { return ranges_; }  // all ranges, listed or not
    // The same apart from the extra bytes, with what was compared.
    HexDiffCounts Counts() const;
    std::size_t ListedCount() const { return listed_.size(); }
    bool Complete() const { return listed_.size() == ranges_; }
    // The index-th listed range, in position order (index below ListedCount()).
    HexDiffRange Range(std::size_t index) const { return listed_[index]; }

    // The index of the first listed range that ends after position; ListedCount() for none.
    std::size_t FirstEndingAfter(std::uint32_t position) const;
    // The first listed range that starts at or after from; when there is none, the first of all
    // (*wrapped set). False when nothing is listed.
    bool Next(std::uint32_t from, HexDiffRange* range, bool* wrapped) const;
    // The last listed range that starts before from; when there is none, the last of all
    // (*wrapped set). False when nothing is listed.
    bool Previous(std::uint32_t from, HexDiffRange* range, bool* wrapped) const;

  private:
    friend class HexCompare;
    // Counts the differing positions start to end - 1, joining them to the range before when it
    // ends at start (and join is set).
    void Add(std::uint32_t start, std::uint32_t end, bool join, std::size_t maxListed);

    std::deque<HexDiffRange> listed_;  // a deque: no copy of millions of ranges as it grows
    std::uint64_t bytes_ = 0;
    std::uint64_t ranges_ = 0;
    std::uint64_t compared_ = 0;  // positions compared
    std::uint64_t extra_ = 0;     // the longer side's extra bytes, 0 when neither is longer
    int longer_ = 0;              // which side has them: 0 a, 1 b
    bool addressed_ = false;      // a side gave only some of its positions
    std::uint32_t lastEnd_ = 0;  // end of the last range added, listed or not
    bool lastListed_ = false;    // whether that range is listed_.back()
};

class HexCompare {
  public:
    // Compares a with b; maxListed limits the listed ranges (tests use small limits). Nothing is
    // read until Step. A document compared with itself has no differences.
    HexCompare(HexCompareSide a, HexCompareSide b, std::size_t maxListed = kHexDiffMaxListed);

    // Compares at most budget more positions (a budget of 0 counts as 1). kHexScanMore: call
    // again. kHexScanDone (Differences), kHexScanChanged and kHexScanUnreadable are final:
    // every later call returns the same.
    HexScanStatus Step(std::uint32_t budget);

    // The differences so far: complete after kHexScanDone.
    const HexDiffList& Differences() const { return list_; }
    HexDiffList TakeDifferences() { return std::move(list_); }

    // Progress: positions compared, and positions both sides have.
    std::uint64_t Done() const { return position_; }
    std::uint64_t Total() const { return common_; }

  private:
    struct Reader {
        explicit Reader(HexCompareSide s);
        HexCompareSide side;
        std::uint32_t changeCount;         // the document's, when the compare began
        std::vector<std::uint8_t> buffer;  // image and fill sides: the bytes of one span
        bool all;                          // it gives every position; else those in given
        std::vector<HexDocRange> given;
        std::size_t next = 0;  // the first of given that may end after the compare's position
        HexSpan Span(std::uint32_t position, std::uint32_t count);
        // The first stretch it gives that ends after position, from position on at the earliest;
        // false when there is none.
        bool GivenFrom(std::uint32_t position, HexDocRange* range);
    };
    bool Changed() const;
    // The first stretch from *from on that both sides give, below common_, in *from and *to.
    bool NextShared(std::uint32_t* from, std::uint32_t* to);
    void CompareSpan(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t count);
    // The longer side's extra bytes, when the other side has an end of its own.
    void AddExtra();

    Reader a_;
    Reader b_;
    std::size_t maxListed_;
    std::uint32_t common_;    // positions both sides have
    std::uint32_t position_;  // next position to compare
    HexScanStatus status_ = kHexScanMore;
    HexDiffList list_;
};

// The index of the first position where a and b differ, or count when they agree throughout;
// and of the first where they agree, or count. Exposed for the tests and benchmarks.
std::size_t HexFirstDifferent(const std::uint8_t* a, const std::uint8_t* b, std::size_t count);
std::size_t HexFirstSame(const std::uint8_t* a, const std::uint8_t* b, std::size_t count);
