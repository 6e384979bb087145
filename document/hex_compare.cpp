#include "document/hex_compare.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "document/hex_document_image.h"
#include "document/hex_sse2.h"

namespace {

// An image or fill side is produced this many bytes at a time.
constexpr std::uint32_t kMadeSpan = 0x10000;

std::uint64_t Word(const std::uint8_t* p) {
    std::uint64_t word;
    std::memcpy(&word, p, sizeof word);
    return word;
}

// Index of the first byte of an 8-byte word whose bits are set in x (x not 0).
std::size_t FirstByteSet(std::uint64_t x) {
    std::size_t i = 0;
    while ((x & 0xFF) == 0) {
        x >>= 8;
        ++i;
    }
    return i;
}

// same: the first position where a and b agree (true) or differ (false).
std::size_t FirstScalar(const std::uint8_t* a, const std::uint8_t* b, std::size_t i,
                        std::size_t count, bool same) {
    if (!same) {
        for (; i + 8 <= count; i += 8) {
            const std::uint64_t x = Word(a + i) ^ Word(b + i);
            if (x != 0) return i + FirstByteSet(x);
        }
    }
    while (i < count && (a[i] == b[i]) != same) ++i;
    return i;
}

#ifdef HEX_SSE2

HEX_SSE2_FUNCTION inline unsigned EqualLanes(const std::uint8_t* a, const std::uint8_t* b) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(x, y)));
}

HEX_SSE2_FUNCTION std::size_t FirstDifferentSse2(const std::uint8_t* a, const std::uint8_t* b,
                                                 std::size_t count) {
    std::size_t i = 0;
    // 64 bytes a round, one test for all four lanes: the loop runs at the memory's pace.
    for (; i + 64 <= count; i += 64) {
        __m128i all = _mm_set1_epi8(-1);
        for (std::size_t k = 0; k < 64; k += 16) {
            const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + i + k));
            const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + i + k));
            all = _mm_and_si128(all, _mm_cmpeq_epi8(x, y));
        }
        if (_mm_movemask_epi8(all) != 0xFFFF) break;
    }
    for (; i + 16 <= count; i += 16) {
        const unsigned differ = ~EqualLanes(a + i, b + i) & 0xFFFF;
        if (differ != 0) return i + static_cast<std::size_t>(__builtin_ctz(differ));
    }
    return FirstScalar(a, b, i, count, false);
}

HEX_SSE2_FUNCTION std::size_t FirstSameSse2(const std::uint8_t* a, const std::uint8_t* b,
                                            std::size_t count) {
    std::size_t i = 0;
    for (; i + 16 <= count; i += 16) {
        const unsigned same = EqualLanes(a + i, b + i);
        if (same != 0) return i + static_cast<std::size_t>(__builtin_ctz(same));
    }
    return FirstScalar(a, b, i, count, true);
}

#endif

// The index of the first range that starts at or after from (ranges.size() for none).
std::size_t FirstStartingFrom(const std::deque<HexDiffRange>& ranges, std::uint32_t from) {
    const auto at =
        std::lower_bound(ranges.begin(), ranges.end(), from,
                         [](const HexDiffRange& range, std::uint32_t p) { return range.start < p; });
    return static_cast<std::size_t>(at - ranges.begin());
}

}  // namespace

std::size_t HexFirstDifferent(const std::uint8_t* a, const std::uint8_t* b, std::size_t count) {
#ifdef HEX_SSE2
    if (HexHaveSse2()) return FirstDifferentSse2(a, b, count);
#endif
    return FirstScalar(a, b, 0, count, false);
}

std::size_t HexFirstSame(const std::uint8_t* a, const std::uint8_t* b, std::size_t count) {
#ifdef HEX_SSE2
    if (HexHaveSse2()) return FirstSameSse2(a, b, count);
#endif
    return FirstScalar(a, b, 0, count, true);
}

HexCompareSide HexCompareSide::Document(HexDocument& doc) {
    HexCompareSide side(Kind::kDocument, doc.length);
    side.doc_ = &doc;
    return side;
}

HexCompareSide HexCompareSide::Block(const std::uint8_t* bytes, std::uint32_t length) {
    HexCompareSide side(Kind::kBlock, bytes != nullptr ? length : 0);
    side.bytes_ = bytes;
    return side;
}

HexCompareSide HexCompareSide::Image(const SparseImage& image, std::uint32_t length,
                                     std::uint8_t fill) {
    HexCompareSide side(Kind::kImage, length);
    side.image_ = &image;
    side.fill_ = fill;
    return side;
}

HexCompareSide HexCompareSide::Given(const SparseImage& image) {
    HexCompareSide side(Kind::kGiven, image.empty() ? 0 : image.highest() + 1);
    side.image_ = &image;
    side.fill_ = 0xFF;
    return side;
}

HexCompareSide HexCompareSide::Filled(std::uint8_t value, std::uint32_t length) {
    HexCompareSide side(Kind::kFilled, length);
    side.fill_ = value;
    return side;
}

std::uint32_t HexCompareSide::Copy(std::uint32_t position, std::uint8_t* out,
                                   std::uint32_t count) const {
    if (position >= length_) return 0;
    count = std::min(count, length_ - position);
    switch (kind_) {
        case Kind::kDocument:
            if (HexDocRead(*doc_, out, position, count) == nullptr) return 0;
            break;
        case Kind::kBlock: std::memcpy(out, bytes_ + position, count); break;
        case Kind::kImage:
        case Kind::kGiven: image_->CopyOut(position, count, fill_, out); break;
        case Kind::kFilled: std::memset(out, fill_, count); break;
    }
    return count;
}

std::size_t HexDiffList::FirstEndingAfter(std::uint32_t position) const {
    const auto at = std::upper_bound(
        listed_.begin(), listed_.end(), position,
        [](std::uint32_t p, const HexDiffRange& range) { return p < range.end; });
    return static_cast<std::size_t>(at - listed_.begin());
}

HexDiffCounts HexDiffList::Counts() const {
    HexDiffCounts counts;
    counts.bytes = bytes_ - extra_;
    counts.ranges = ranges_ - (extra_ > 0 ? 1 : 0);
    counts.compared = compared_;
    counts.extra = extra_;
    counts.firstLonger = extra_ > 0 && longer_ == 0;
    counts.addressed = addressed_;
    return counts;
}

bool HexDiffList::Next(std::uint32_t from, HexDiffRange* range, bool* wrapped) const {
    if (listed_.empty()) return false;
    const std::size_t at = FirstStartingFrom(listed_, from);
    *wrapped = at == listed_.size();
    *range = listed_[*wrapped ? 0 : at];
    return true;
}

bool HexDiffList::Previous(std::uint32_t from, HexDiffRange* range, bool* wrapped) const {
    if (listed_.empty()) return false;
    const std::size_t at = FirstStartingFrom(listed_, from);
    *wrapped = at == 0;
    *range = listed_[*wrapped ? listed_.size() - 1 : at - 1];
    return true;
}

void HexDiffList::Add(std::uint32_t start, std::uint32_t end, bool join, std::size_t maxListed) {
    bytes_ += end - start;
    if (join && ranges_ > 0 && lastEnd_ == start) {
        if (lastListed_) listed_.back().end = end;
    } else {
        ++ranges_;
        lastListed_ = listed_.size() < maxListed || !join;
        if (lastListed_) listed_.push_back({start, end});
    }
    lastEnd_ = end;
}

HexSpan HexCompare::Reader::Span(std::uint32_t position, std::uint32_t count) {
    switch (side.kind_) {
        case HexCompareSide::Kind::kDocument: return HexDocSpanAfter(*side.doc_, position, count);
        case HexCompareSide::Kind::kBlock: return {side.bytes_ + position, count};
        case HexCompareSide::Kind::kImage:
        case HexCompareSide::Kind::kGiven:
            count = std::min(count, kMadeSpan);
            buffer.resize(kMadeSpan);
            side.image_->CopyOut(position, count, side.fill_, buffer.data());
            return {buffer.data(), count};
        case HexCompareSide::Kind::kFilled:
            if (buffer.empty()) buffer.assign(kMadeSpan, side.fill_);
            return {buffer.data(), std::min(count, kMadeSpan)};
    }
    return {};
}

HexCompare::Reader::Reader(HexCompareSide s)
    : side(s), changeCount(s.doc_ != nullptr ? s.doc_->changeCount : 0), all(true) {
    if (side.kind_ == HexCompareSide::Kind::kDocument && side.doc_->addressed) {
        all = false;
        given = HexDocDataRanges(*side.doc_);
    } else if (side.kind_ == HexCompareSide::Kind::kGiven) {
        all = false;
        given = HexImageRanges(*side.image_);
    }
}

bool HexCompare::Reader::GivenFrom(std::uint32_t position, HexDocRange* range) {
    if (all) {
        *range = {position, side.Length()};
        return position < side.Length();
    }
    while (next < given.size() && given[next].end <= position) ++next;
    if (next == given.size()) return false;
    *range = {std::max(given[next].start, position), given[next].end};
    return true;
}

HexCompare::HexCompare(HexCompareSide a, HexCompareSide b, std::size_t maxListed)
    : a_(a), b_(b), maxListed_(maxListed), common_(std::min(a.Length(), b.Length())), position_(0) {
    list_.addressed_ = !a_.all || !b_.all;
    // A document is the same as itself: nothing to read.
    if (a.doc_ != nullptr && a.doc_ == b.doc_) position_ = common_;
}

bool HexCompare::NextShared(std::uint32_t* from, std::uint32_t* to) {
    for (std::uint32_t at = *from; at < common_;) {
        HexDocRange x{};
        HexDocRange y{};
        if (!a_.GivenFrom(at, &x) || !b_.GivenFrom(at, &y)) return false;
        const std::uint32_t start = std::max(x.start, y.start);
        const std::uint32_t end = std::min({x.end, y.end, common_});
        if (start < end) {
            *from = start;
            *to = end;
            return true;
        }
        at = start;  // the stretch that ends first lies wholly before it
    }
    return false;
}

bool HexCompare::Changed() const {
    const auto moved = [](const Reader& r) {
        return r.side.doc_ != nullptr && r.side.doc_->changeCount != r.changeCount;
    };
    return moved(a_) || moved(b_);
}

void HexCompare::CompareSpan(const std::uint8_t* a, const std::uint8_t* b, std::uint32_t count) {
    std::uint32_t i = 0;
    while (i < count) {
        i += static_cast<std::uint32_t>(HexFirstDifferent(a + i, b + i, count - i));
        if (i == count) break;
        const std::uint32_t end = i + static_cast<std::uint32_t>(HexFirstSame(a + i, b + i,
                                                                              count - i));
        list_.Add(position_ + i, position_ + end, true, maxListed_);
        i = end;
    }
}

HexScanStatus HexCompare::Step(std::uint32_t budget) {
    if (status_ != kHexScanMore) return status_;
    if (Changed()) return status_ = kHexScanChanged;
    std::uint32_t left = std::max<std::uint32_t>(budget, 1);
    while (position_ < common_ && left > 0) {
        std::uint32_t from = position_;
        std::uint32_t to = common_;
        if (!NextShared(&from, &to)) {
            position_ = common_;  // nothing more that both give
            break;
        }
        position_ = from;
        const std::uint32_t end = from + std::min(to - from, left);
        while (position_ < end) {
            const HexSpan x = a_.Span(position_, end - position_);
            if (x.bytes == nullptr) return status_ = kHexScanUnreadable;
            const HexSpan y = b_.Span(position_, x.count);
            if (y.bytes == nullptr) return status_ = kHexScanUnreadable;
            CompareSpan(x.bytes, y.bytes, y.count);
            position_ += y.count;
            left -= y.count;
            list_.compared_ += y.count;
        }
    }
    if (position_ < common_) return kHexScanMore;
    AddExtra();
    return status_ = kHexScanDone;
}

void HexCompare::AddExtra() {
    const bool aLonger = a_.side.Length() > b_.side.Length();
    Reader& longer = aLonger ? a_ : b_;
    const Reader& shorter = aLonger ? b_ : a_;
    if (longer.side.Length() == common_ || shorter.side.kind_ == HexCompareSide::Kind::kGiven) {
        return;
    }
    // Where the extra bytes begin and end, and how many of the positions between it gives.
    std::uint64_t bytes = 0;
    std::uint32_t first = 0;
    std::uint32_t end = 0;
    HexDocRange range{};
    for (std::uint32_t at = common_; longer.GivenFrom(at, &range); at = range.end) {
        if (bytes == 0) first = range.start;
        bytes += range.end - range.start;
        end = range.end;
    }
    if (bytes == 0) return;
    list_.Add(first, end, false, maxListed_);
    list_.bytes_ -= (end - first) - bytes;  // the gaps between are no extra bytes
    list_.extra_ = bytes;
    list_.longer_ = aLonger ? 0 : 1;
}
