// The plain compare that the document compare must agree with: position by position over the
// flat bytes, runs of differing positions, the longer side's extra bytes one more range.
// Header-only: the compare test and its fuzz target share it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "document/hex_compare.h"

struct NaiveDiff {
    std::vector<HexDiffRange> ranges;
    std::uint64_t bytes = 0;
};

inline NaiveDiff NaiveCompare(const std::vector<std::uint8_t>& a,
                              const std::vector<std::uint8_t>& b) {
    NaiveDiff diff;
    const std::size_t common = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (a[i] == b[i]) continue;
        const auto at = static_cast<std::uint32_t>(i);
        if (!diff.ranges.empty() && diff.ranges.back().end == at) {
            ++diff.ranges.back().end;
        } else {
            diff.ranges.push_back({at, at + 1});
        }
        ++diff.bytes;
    }
    const std::size_t longer = std::max(a.size(), b.size());
    if (longer > common) {
        diff.ranges.push_back(
            {static_cast<std::uint32_t>(common), static_cast<std::uint32_t>(longer)});
        diff.bytes += longer - common;
    }
    return diff;
}

inline std::vector<HexDiffRange> ListedRanges(const HexDiffList& list) {
    std::vector<HexDiffRange> ranges;
    for (std::size_t i = 0; i < list.ListedCount(); ++i) ranges.push_back(list.Range(i));
    return ranges;
}

// What Next and Previous must answer, straight from the plain ranges.
inline bool NaiveNext(const std::vector<HexDiffRange>& ranges, std::uint32_t from, bool backward,
                      HexDiffRange* range, bool* wrapped) {
    if (ranges.empty()) return false;
    *wrapped = true;
    *range = backward ? ranges.back() : ranges.front();
    for (const HexDiffRange& r : ranges) {
        if (!backward && r.start >= from) {
            *range = r;
            *wrapped = false;
            return true;
        }
        if (backward && r.start < from) {
            *range = r;
            *wrapped = false;
        }
    }
    return true;
}
