#include "document/hex_search.h"

#include <algorithm>
#include <cstring>

#include "document/hex_sse2.h"

namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);
constexpr std::uint8_t kExact = 0xFF;
constexpr std::uint8_t kEitherCase = 0xDF;  // clears the bit that tells a and A apart

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool IsAsciiLetter(std::uint8_t b) {
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z');
}

HexPatternError Refuse(HexPattern* pattern, std::size_t* errorAt, HexPatternError error,
                       std::size_t at) {
    pattern->values.clear();
    pattern->masks.clear();
    if (errorAt != nullptr) *errorAt = at;
    return error;
}

// Roughly how often a byte value turns up in what people search (firmware images, executables,
// text); candidates come from the least common fixed bytes of a pattern.
int Commonness(std::uint8_t b) {
    if (b == 0x00) return 64;
    if (b == 0xFF) return 32;
    if ((b >= 'a' && b <= 'z') || b == ' ') return 8;
    if (b < 0x20 || (b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z')) return 4;
    if (b < 0x80) return 3;
    return 2;
}

int Cost(const HexPattern& pattern, std::size_t i) {
    std::uint8_t value = pattern.values[i];
    if (pattern.masks[i] == kEitherCase) return Commonness(value) + Commonness(value | 0x20);
    return Commonness(value);
}

bool Matches(const HexMatcher& m, const std::uint8_t* data) {
    const std::uint8_t* values = m.pattern.values.data();
    const std::uint8_t* masks = m.pattern.masks.data();
    for (std::size_t i = 0, n = m.pattern.values.size(); i < n; ++i) {
        if ((data[i] & masks[i]) != values[i]) return false;
    }
    return true;
}

bool AnchorsMatch(const HexMatcher& m, const std::uint8_t* data) {
    return (data[m.anchorOffset[0]] & m.anchorMask[0]) == m.anchorValue[0] &&
           (data[m.anchorOffset[1]] & m.anchorMask[1]) == m.anchorValue[1];
}

// The first (or last) start s in [from, end) at which the pattern matches data + s; kNone.
std::size_t FirstScalar(const HexMatcher& m, const std::uint8_t* data, std::size_t from,
                        std::size_t end) {
    for (std::size_t s = from; s < end; ++s) {
        if (AnchorsMatch(m, data + s) && Matches(m, data + s)) return s;
    }
    return kNone;
}

std::size_t LastScalar(const HexMatcher& m, const std::uint8_t* data, std::size_t from,
                       std::size_t end) {
    for (std::size_t s = end; s > from; --s) {
        if (AnchorsMatch(m, data + s - 1) && Matches(m, data + s - 1)) return s - 1;
    }
    return kNone;
}

#ifdef HEX_SSE2

// Sixteen starts at once: a bit for each start at which both anchors are in place.
struct AnchorLanes {
    __m128i mask[2];
    __m128i value[2];
};

HEX_SSE2_FUNCTION inline unsigned Candidates(const HexMatcher& m, const AnchorLanes& lanes,
                                             const std::uint8_t* data) {
    __m128i hit[2];
    for (int k = 0; k < 2; ++k) {
        __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + m.anchorOffset[k]));
        hit[k] = _mm_cmpeq_epi8(_mm_and_si128(bytes, lanes.mask[k]), lanes.value[k]);
    }
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(hit[0], hit[1])));
}

HEX_SSE2_FUNCTION AnchorLanes MakeLanes(const HexMatcher& m) {
    AnchorLanes lanes;
    for (int k = 0; k < 2; ++k) {
        lanes.mask[k] = _mm_set1_epi8(static_cast<char>(m.anchorMask[k]));
        lanes.value[k] = _mm_set1_epi8(static_cast<char>(m.anchorValue[k]));
    }
    return lanes;
}

HEX_SSE2_FUNCTION std::size_t FirstSse2(const HexMatcher& m, const std::uint8_t* data,
                                        std::size_t starts) {
    const AnchorLanes lanes = MakeLanes(m);
    std::size_t s = 0;
    for (; s + 16 <= starts; s += 16) {
        for (unsigned bits = Candidates(m, lanes, data + s); bits != 0; bits &= bits - 1) {
            std::size_t at = s + static_cast<std::size_t>(__builtin_ctz(bits));
            if (Matches(m, data + at)) return at;
        }
    }
    return FirstScalar(m, data, s, starts);
}

HEX_SSE2_FUNCTION std::size_t LastSse2(const HexMatcher& m, const std::uint8_t* data,
                                       std::size_t starts) {
    const AnchorLanes lanes = MakeLanes(m);
    std::size_t s = starts;
    for (; s >= 16; s -= 16) {
        for (unsigned bits = Candidates(m, lanes, data + s - 16); bits != 0;) {
            int lane = 31 - __builtin_clz(bits);
            std::size_t at = s - 16 + static_cast<std::size_t>(lane);
            if (Matches(m, data + at)) return at;
            bits &= ~(1u << lane);
        }
    }
    return LastScalar(m, data, 0, s);
}

#endif

// Over data, which holds starts + pattern length - 1 bytes: the first (or last) start at which
// the pattern matches, or kNone.
std::size_t First(const HexMatcher& m, const std::uint8_t* data, std::size_t starts) {
#ifdef HEX_SSE2
    if (HexHaveSse2()) return FirstSse2(m, data, starts);
#endif
    return FirstScalar(m, data, 0, starts);
}

std::size_t Last(const HexMatcher& m, const std::uint8_t* data, std::size_t starts) {
#ifdef HEX_SSE2
    if (HexHaveSse2()) return LastSse2(m, data, starts);
#endif
    return LastScalar(m, data, 0, starts);
}

}  // namespace

HexPatternError HexParseHexPattern(std::string_view text, HexPattern* pattern,
                                   std::size_t* errorAt) {
    pattern->values.clear();
    pattern->masks.clear();
    bool fixed = false;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsSpace(text[i])) {
            ++i;
            continue;
        }
        const std::size_t group = i;
        for (; i < text.size() && !IsSpace(text[i]); i += 2) {
            const char high = text[i];
            if (high != '?' && HexDigit(high) < 0) {
                return Refuse(pattern, errorAt, kHexPatternBadCharacter, i);
            }
            if (i + 1 == text.size() || IsSpace(text[i + 1])) {
                return high == '?' ? Refuse(pattern, errorAt, kHexPatternHalfWildcard, i)
                                   : Refuse(pattern, errorAt, kHexPatternOddDigits, group);
            }
            const char low = text[i + 1];
            if (low != '?' && HexDigit(low) < 0) {
                return Refuse(pattern, errorAt, kHexPatternBadCharacter, i + 1);
            }
            if ((high == '?') != (low == '?')) {
                return Refuse(pattern, errorAt, kHexPatternHalfWildcard, high == '?' ? i : i + 1);
            }
            if (pattern->values.size() == kHexPatternMaxBytes) {
                return Refuse(pattern, errorAt, kHexPatternTooLong, i);
            }
            const bool any = high == '?';
            fixed |= !any;
            pattern->values.push_back(
                any ? 0 : static_cast<std::uint8_t>(HexDigit(high) << 4 | HexDigit(low)));
            pattern->masks.push_back(any ? 0 : kExact);
        }
    }
    if (pattern->values.empty()) return Refuse(pattern, errorAt, kHexPatternEmpty, 0);
    if (!fixed) return Refuse(pattern, errorAt, kHexPatternOnlyWildcards, 0);
    return kHexPatternOk;
}

HexPatternError HexParseTextPattern(std::string_view text, bool ignoreCase, HexPattern* pattern) {
    if (text.empty()) return Refuse(pattern, nullptr, kHexPatternEmpty, 0);
    if (text.size() > kHexPatternMaxBytes) return Refuse(pattern, nullptr, kHexPatternTooLong, 0);
    pattern->values.clear();
    pattern->masks.clear();
    for (char c : text) {
        auto b = static_cast<std::uint8_t>(c);
        const bool fold = ignoreCase && IsAsciiLetter(b);
        pattern->masks.push_back(fold ? kEitherCase : kExact);
        pattern->values.push_back(fold ? b & kEitherCase : b);
    }
    return kHexPatternOk;
}

const char* HexPatternErrorText(HexPatternError error) {
    switch (error) {
        case kHexPatternOk: return "";
        case kHexPatternEmpty: return "Enter at least one byte.";
        case kHexPatternBadCharacter: return "Only hex digits, spaces and ?? may be used.";
        case kHexPatternOddDigits: return "The hex digits must come in pairs.";
        case kHexPatternHalfWildcard:
            return "A wildcard is written ?? and stands for a whole byte.";
        case kHexPatternOnlyWildcards: return "At least one byte must be given, not only ??.";
        case kHexPatternTooLong: return "The pattern is longer than 4096 bytes.";
        case kHexPatternWildcardInFill: return "A fill pattern cannot contain ??.";
    }
    return "The pattern is not valid.";
}

HexSearch::HexSearch(HexDocument& doc, const HexPattern& pattern, std::uint32_t from, bool backward)
    : doc_(doc),
      matcher_{pattern, {0, 0}, {0, 0}, {0, 0}},
      backward_(backward),
      changeCount_(doc.changeCount),
      passes_{} {
    HexPattern& p = matcher_.pattern;
    const std::size_t m = p.values.size();
    // The two least common fixed bytes become the anchors.
    std::size_t best[2] = {kNone, kNone};
    for (std::size_t i = 0; i < m && p.masks.size() == m; ++i) {
        p.values[i] &= p.masks[i];
        if (p.masks[i] == 0) continue;
        if (best[0] == kNone || Cost(p, i) < Cost(p, best[0])) {
            best[1] = best[0];
            best[0] = i;
        } else if (best[1] == kNone || Cost(p, i) < Cost(p, best[1])) {
            best[1] = i;
        }
    }
    if (m == 0 || m > kHexPatternMaxBytes || best[0] == kNone || from > doc.length) {
        status_ = kHexScanBadArgument;
        return;
    }
    if (best[1] == kNone) best[1] = best[0];
    for (int k = 0; k < 2; ++k) {
        matcher_.anchorOffset[k] = static_cast<std::uint32_t>(best[k]);
        matcher_.anchorValue[k] = p.values[best[k]];
        matcher_.anchorMask[k] = p.masks[best[k]];
    }
    carry_.resize(std::max<std::size_t>(m - 1, 1));
    joined_.resize(std::max<std::size_t>(2 * (m - 1), 1));

    const auto length = static_cast<std::uint32_t>(m);
    const std::uint32_t lastEnd = doc.length >= length ? doc.length - length + 1 : 0;
    const std::uint32_t split = std::min(from, lastEnd);
    const Pass before{0, split};
    const Pass after{split, lastEnd};
    passes_[0] = backward ? before : after;
    passes_[1] = backward ? after : before;
    for (const Pass& pass : passes_) {
        if (pass.end > pass.first) total_ += std::uint64_t{pass.end - pass.first} + length - 1;
    }
}

HexScanStatus HexSearch::Step(std::uint32_t budget) {
    if (status_ != kHexScanMore) return status_;
    if (doc_.changeCount != changeCount_) return status_ = kHexScanChanged;
    std::uint32_t left = std::max<std::uint32_t>(budget, 1);
    for (;;) {
        if (pass_ < 0 || cursor_ == (backward_ ? byteFirst_ : byteEnd_)) {
            if (!NextPass()) return status_ = kHexScanNotFound;
            continue;
        }
        if (left == 0) return kHexScanMore;
        HexSpan span = backward_
                           ? HexDocSpanBefore(doc_, cursor_, std::min(cursor_ - byteFirst_, left))
                           : HexDocSpanAfter(doc_, cursor_, std::min(byteEnd_ - cursor_, left));
        if (span.bytes == nullptr) return status_ = kHexScanUnreadable;
        const bool found = backward_ ? ScanBackward(span.bytes, span.count, cursor_ - span.count)
                                     : ScanForward(span.bytes, span.count, cursor_);
        done_ += span.count;
        left -= span.count;
        cursor_ = backward_ ? cursor_ - span.count : cursor_ + span.count;
        if (found) return status_ = kHexScanFound;
    }
}

bool HexSearch::NextPass() {
    const auto keep = static_cast<std::uint32_t>(matcher_.pattern.values.size() - 1);
    while (++pass_ < 2) {
        const Pass& pass = passes_[pass_];
        if (pass.end == pass.first) continue;
        wrapped_ = pass_ == 1;
        byteFirst_ = pass.first;
        byteEnd_ = pass.end + keep;
        cursor_ = backward_ ? byteEnd_ : byteFirst_;
        carryLength_ = 0;
        return true;
    }
    return false;
}

// Tries the starts data[0 .. starts - 1], the first of them at document position at; the first
// (forward) or last (backward) that matches becomes the match.
bool HexSearch::TryStarts(const std::uint8_t* data, std::size_t starts, std::uint32_t at) {
    const std::size_t i = backward_ ? Last(matcher_, data, starts) : First(matcher_, data, starts);
    if (i == kNone) return false;
    match_ = at + static_cast<std::uint32_t>(i);
    return true;
}

// The count bytes at document position at follow the carried ones. Tries every start whose last
// byte is among them, in order.
bool HexSearch::ScanForward(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t at) {
    const auto length = static_cast<std::uint32_t>(matcher_.pattern.values.size());
    const std::uint32_t keep = length - 1;
    if (carryLength_ > 0) {
        // Starts among the carried bytes, whose matches reach into this span.
        const std::uint32_t take = std::min(count, keep);
        std::memcpy(joined_.data(), carry_.data(), carryLength_);
        std::memcpy(joined_.data() + carryLength_, bytes, take);
        const std::uint32_t joined = carryLength_ + take;
        if (joined >= length &&
            TryStarts(joined_.data(), std::min(carryLength_, joined - length + 1),
                      at - carryLength_)) {
            return true;
        }
    }
    if (count >= length && TryStarts(bytes, count - length + 1, at)) return true;
    // Keep the last keep bytes: exactly the starts not yet tried.
    if (count >= keep) {
        std::memcpy(carry_.data(), bytes + count - keep, keep);
        carryLength_ = keep;
    } else {
        const std::uint32_t kept = std::min(carryLength_, keep - count);
        std::memmove(carry_.data(), carry_.data() + carryLength_ - kept, kept);
        std::memcpy(carry_.data() + kept, bytes, count);
        carryLength_ = kept + count;
    }
    return false;
}

// The count bytes at document position at precede the carried ones. Tries every start among
// them, last first.
bool HexSearch::ScanBackward(const std::uint8_t* bytes, std::uint32_t count, std::uint32_t at) {
    const auto length = static_cast<std::uint32_t>(matcher_.pattern.values.size());
    const std::uint32_t keep = length - 1;
    // Starts near this span's end, whose matches reach into the carried bytes.
    const std::uint32_t take = std::min(count, keep);
    std::memcpy(joined_.data(), bytes + count - take, take);
    std::memcpy(joined_.data() + take, carry_.data(), carryLength_);
    const std::uint32_t joined = take + carryLength_;
    if (joined >= length &&
        TryStarts(joined_.data(), std::min(take, joined - length + 1), at + count - take)) {
        return true;
    }
    if (count >= length && TryStarts(bytes, count - length + 1, at)) return true;
    // Keep the first keep bytes, which the starts before them still need.
    if (count >= keep) {
        std::memcpy(carry_.data(), bytes, keep);
        carryLength_ = keep;
    } else {
        const std::uint32_t kept = std::min(carryLength_, keep - count);
        std::memmove(carry_.data() + count, carry_.data(), kept);
        std::memcpy(carry_.data(), bytes, count);
        carryLength_ = count + kept;
    }
    return false;
}
